// The entry scan of an .eh_frame section: its CIEs and FDEs, and the pointer encodings
// they use. Crash-time code: no heap, reads bounded by the section.
#include "eh_frame_parts.h"

namespace {

// Pointer encodings (DW_EH_PE_*): a value format in the low nibble, how to apply it above.
enum : BYTE {
    encodingFormat = 0x0f,
    encodingApplication = 0x70,
    encodingIndirect = 0x80,
    encodingAbsolute = 0x00,
    encodingUleb128 = 0x01,
    encodingUdata2 = 0x02,
    encodingUdata4 = 0x03,
    encodingSleb128 = 0x09,
    encodingSdata2 = 0x0a,
    encodingSdata4 = 0x0b,
    encodingPcRelative = 0x10,
};

// Every entry holds at least its id (0 for a CIE, the distance back to it for an FDE).
const ULONG_PTR entryIdSize = 4;

// A value in one of the encodings' formats, without applying it.
bool readValue(Reader& reader, BYTE encoding, ULONG_PTR* value) {
    switch (encoding & encodingFormat) {
    case encodingAbsolute:
        *value = reader.fixed(sizeof(ULONG_PTR));
        break;
    case encodingUleb128:
        *value = reader.uleb();
        break;
    case encodingUdata2:
        *value = reader.fixed(2);
        break;
    case encodingUdata4:
        *value = reader.fixed(4);
        break;
    case encodingSleb128:
        *value = static_cast<ULONG_PTR>(reader.sleb());
        break;
    case encodingSdata2:
        *value = static_cast<ULONG_PTR>(static_cast<SHORT>(reader.fixed(2)));
        break;
    case encodingSdata4:
        *value = static_cast<ULONG_PTR>(static_cast<LONG>(reader.fixed(4)));
        break;
    default:
        return false;
    }
    return !reader.failed;
}

// An entry's length field and its end; false for the terminator, the 64-bit form, and an
// entry too short to hold its id or reaching past the section.
bool readEntryLength(Reader& reader, const BYTE** next) {
    ULONG_PTR length = reader.fixed(4);
    if (length < entryIdSize || length == 0xffffffff || !reader.has(length))
        return false;
    *next = reader.at + length;
    return true;
}

// The augmentation data of a "z" CIE: the encodings that its letters announce.
bool readAugmentation(Reader& reader, const char* letters, CommonEntry* common) {
    ULONG_PTR size = reader.uleb();
    if (!reader.has(size))
        return false;
    Reader data = {reader.at, reader.at + size, false};
    for (const char* letter = letters; *letter && !data.failed; ++letter) {
        if (*letter == 'R') {
            common->addressEncoding = data.byte();
        } else if (*letter == 'P') {
            BYTE encoding = data.byte();
            ULONG_PTR personality = 0;
            readValue(data, encoding, &personality);
        } else if (*letter == 'L') {
            data.byte();
        } else if (*letter != 'S') {
            break; // the size says where the rest ends
        }
    }
    reader.at += size;
    return !data.failed;
}

} // namespace

bool readAddress(Reader& reader, BYTE encoding, ULONG_PTR* address) {
    ULONG_PTR field = reinterpret_cast<ULONG_PTR>(reader.at);
    if ((encoding & encodingIndirect) || !readValue(reader, encoding, address))
        return false;
    switch (encoding & encodingApplication) {
    case encodingAbsolute:
        return true;
    case encodingPcRelative:
        *address += field;
        return true;
    default:
        return false;
    }
}

bool parseCommonEntry(const BYTE* entry, const BYTE* sectionEnd, CommonEntry* common) {
    Reader reader = {entry, sectionEnd, false};
    const BYTE* next = nullptr;
    if (!readEntryLength(reader, &next))
        return false;
    reader.end = next;
    BYTE version = 0;
    if (reader.fixed(entryIdSize) != 0 || ((version = reader.byte()) != 1 && version != 3))
        return false;
    const char* augmentation = reinterpret_cast<const char*>(reader.at);
    while (reader.byte() != 0) {
    }
    common->codeAlignment = reader.uleb();
    common->dataAlignment = reader.sleb();
    common->returnRegister = version == 1 ? reader.byte() : static_cast<unsigned>(reader.uleb());
    common->addressEncoding = encodingAbsolute;
    common->hasAugmentationData = augmentation[0] == 'z';
    if (common->hasAugmentationData) {
        if (!readAugmentation(reader, augmentation + 1, common))
            return false;
    } else if (augmentation[0] != 0) {
        return false;
    }
    common->instructions = reader.at;
    common->end = reader.end;
    return !reader.failed && common->codeAlignment != 0 &&
           common->returnRegister < x86RegisterCount;
}

// The section holds no index in a PE image, so the entries are scanned in order; the CIE
// of the last entry is kept, as consecutive entries mostly share one.
bool findFunctionEntry(const BYTE* section, const BYTE* sectionEnd, ULONG_PTR address,
                       FunctionEntry* function) {
    const BYTE* parsedCommon = nullptr;
    bool commonValid = false;
    Reader reader = {section, sectionEnd, false};
    while (reader.at < sectionEnd) {
        const BYTE* next = nullptr;
        if (!readEntryLength(reader, &next))
            return false;
        const BYTE* idField = reader.at;
        ULONG_PTR id = reader.fixed(entryIdSize);
        if (id != 0 && id <= static_cast<ULONG_PTR>(idField - section)) {
            const BYTE* common = idField - id; // an FDE's id is the distance back to its CIE
            if (common != parsedCommon) {
                parsedCommon = common;
                commonValid = parseCommonEntry(common, sectionEnd, &function->common);
            }
            Reader entry = {reader.at, next, false};
            ULONG_PTR begin = 0, range = 0;
            if (commonValid && readAddress(entry, function->common.addressEncoding, &begin) &&
                readValue(entry, function->common.addressEncoding, &range) &&
                address - begin < range) {
                ULONG_PTR augmentationSize =
                    function->common.hasAugmentationData ? entry.uleb() : 0;
                if (!entry.has(augmentationSize))
                    return false;
                entry.at += augmentationSize;
                function->begin = begin;
                function->end = begin + range;
                function->instructions = entry.at;
                function->instructionsEnd = next;
                return !entry.failed;
            }
        }
        reader.at = next;
    }
    return false;
}
