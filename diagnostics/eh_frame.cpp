// DWARF call-frame information (.eh_frame) of i686 modules: the entries (CIE, FDE), the
// rule program that says where each register was saved, and the small expressions that
// frames with a realigned stack use. Reads stay inside the section, which is checked
// readable once; stack words go through the checked reads.
#include "eh_frame.h"

#include "module_image.h"
#include "process_memory.h"

#include <cstring>

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

// Little-endian reads bounded by end; a read past it marks the reader failed and gives 0.
struct Reader {
    const BYTE* at;
    const BYTE* end;
    bool failed;

    bool has(ULONG_PTR count) {
        if (failed || static_cast<ULONG_PTR>(end - at) < count)
            failed = true;
        return !failed;
    }
    ULONG_PTR fixed(unsigned bytes) {
        if (!has(bytes))
            return 0;
        ULONG_PTR value = 0;
        for (unsigned i = 0; i < bytes; ++i)
            value |= static_cast<ULONG_PTR>(at[i]) << (8 * i);
        at += bytes;
        return value;
    }
    BYTE byte() { return static_cast<BYTE>(fixed(1)); }
    // A LEB128 number's 7-bit groups, least significant first; shift ends past the last
    // group and last holds it, for the sign of the signed form.
    ULONG_PTR leb(unsigned* shift, BYTE* last) {
        ULONG_PTR value = 0;
        *shift = 0;
        do {
            *last = byte();
            if (*shift < 8 * sizeof value)
                value |= static_cast<ULONG_PTR>(*last & 0x7f) << *shift;
            *shift += 7;
        } while ((*last & 0x80) && !failed);
        return value;
    }
    ULONG_PTR uleb() {
        unsigned shift;
        BYTE last;
        return leb(&shift, &last);
    }
    LONG_PTR sleb() {
        unsigned shift;
        BYTE last;
        ULONG_PTR value = leb(&shift, &last);
        if ((last & 0x40) && shift < 8 * sizeof value)
            value |= ~static_cast<ULONG_PTR>(0) << shift;
        return static_cast<LONG_PTR>(value);
    }
};

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

// An address: absolute (the image's relocations fixed it at load) or relative to the
// field itself, the two forms mingw's toolchain writes.
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

// A Common Information Entry: what the frame descriptions that refer to it share.
struct CommonEntry {
    ULONG_PTR codeAlignment;
    LONG_PTR dataAlignment;
    unsigned returnRegister;
    BYTE addressEncoding;
    bool hasAugmentationData;
    const BYTE* instructions;
    const BYTE* end;
};

bool parseCommonEntry(const BYTE* entry, const BYTE* sectionEnd, CommonEntry* common) {
    Reader reader = {entry, sectionEnd, false};
    ULONG_PTR length = reader.fixed(4);
    if (length == 0 || length == 0xffffffff || !reader.has(length))
        return false;
    reader.end = reader.at + length;
    BYTE version = 0;
    if (reader.fixed(4) != 0 || ((version = reader.byte()) != 1 && version != 3))
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
        ULONG_PTR size = reader.uleb();
        if (!reader.has(size))
            return false;
        Reader data = {reader.at, reader.at + size, false};
        for (const char* letter = augmentation + 1; *letter && !data.failed; ++letter) {
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
        if (data.failed)
            return false;
        reader.at += size;
    } else if (augmentation[0] != 0) {
        return false;
    }
    common->instructions = reader.at;
    common->end = reader.end;
    return !reader.failed && common->codeAlignment != 0 &&
           common->returnRegister < x86RegisterCount;
}

// NOTE: a section name longer than eight characters, like ".eh_frame", lives in the file's
// string table and the section table says "/N"; the string table is not loaded with the
// image. So the section is known by its contents: the first loaded, readable, non-code
// section named "/N" (or ".eh_fram", as linkers that cut long names write it) that begins
// with a valid CIE. Debug sections, which may be "/N" too, are discardable and skipped.
bool findCallFrameSection(ULONG_PTR address, const BYTE** begin, const BYTE** end) {
    const BYTE* image = moduleImageOf(address);
    const IMAGE_NT_HEADERS* headers = image ? moduleHeaders(image) : nullptr;
    if (!headers)
        return false;
    const DWORD imageSize = headers->OptionalHeader.SizeOfImage;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        bool named = section->Name[0] == '/' || std::memcmp(section->Name, ".eh_fram", 8) == 0;
        DWORD flags = section->Characteristics;
        DWORD size = section->Misc.VirtualSize;
        if (!named || !(flags & IMAGE_SCN_MEM_READ) ||
            (flags & (IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_DISCARDABLE)) ||
            section->VirtualAddress >= imageSize || size > imageSize - section->VirtualAddress)
            continue;
        const BYTE* data = image + section->VirtualAddress;
        CommonEntry common;
        if (isReadable(reinterpret_cast<ULONG_PTR>(data), size) &&
            parseCommonEntry(data, data + size, &common)) {
            *begin = data;
            *end = data + size;
            return true;
        }
    }
    return false;
}

// A Frame Description Entry: one function's extent and its rule program.
struct FunctionEntry {
    ULONG_PTR begin;
    ULONG_PTR end;
    CommonEntry common;
    const BYTE* instructions;
    const BYTE* instructionsEnd;
};

// The section holds no index in a PE image, so the entries are scanned in order; the CIE
// of the last entry is kept, as consecutive entries mostly share one.
bool findFunctionEntry(ULONG_PTR address, FunctionEntry* function) {
    const BYTE* section = nullptr;
    const BYTE* sectionEnd = nullptr;
    if (!findCallFrameSection(address, &section, &sectionEnd))
        return false;
    const BYTE* parsedCommon = nullptr;
    bool commonValid = false;
    Reader reader = {section, sectionEnd, false};
    while (reader.at < sectionEnd) {
        ULONG_PTR length = reader.fixed(4);
        if (length == 0 || length == 0xffffffff || !reader.has(length))
            return false;
        const BYTE* next = reader.at + length;
        const BYTE* idField = reader.at;
        ULONG_PTR id = reader.fixed(4);
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

enum RuleKind : BYTE {
    ruleSameValue,
    ruleUndefined,
    ruleAtOffset,     // saved at CFA + offset
    ruleIsOffset,     // the value CFA + offset
    ruleInRegister,   // in register reg (for the CFA: reg + offset)
    ruleAtExpression, // saved at the expression's result
    ruleIsExpression, // the expression's result
};

struct Rule {
    RuleKind kind;
    unsigned reg;
    LONG_PTR offset;
    const BYTE* expression;
    ULONG_PTR expressionSize;
};

struct RuleRow {
    Rule cfa;
    Rule registers[x86RegisterCount];
};

const int rememberDepth = 8;

// The rule program's operations (DW_CFA_*); the first three carry an operand in their low
// six bits.
enum : BYTE {
    cfaAdvanceLoc = 0x40,
    cfaOffset = 0x80,
    cfaRestore = 0xc0,
    cfaNop = 0x00,
    cfaSetLoc = 0x01,
    cfaAdvanceLoc1 = 0x02,
    cfaAdvanceLoc2 = 0x03,
    cfaAdvanceLoc4 = 0x04,
    cfaOffsetExtended = 0x05,
    cfaRestoreExtended = 0x06,
    cfaUndefined = 0x07,
    cfaSameValue = 0x08,
    cfaRegister = 0x09,
    cfaRememberState = 0x0a,
    cfaRestoreState = 0x0b,
    cfaDefCfa = 0x0c,
    cfaDefCfaRegister = 0x0d,
    cfaDefCfaOffset = 0x0e,
    cfaDefCfaExpression = 0x0f,
    cfaExpression = 0x10,
    cfaOffsetExtendedSf = 0x11,
    cfaDefCfaSf = 0x12,
    cfaDefCfaOffsetSf = 0x13,
    cfaValOffset = 0x14,
    cfaValOffsetSf = 0x15,
    cfaValExpression = 0x16,
    cfaGnuArgsSize = 0x2e,
    cfaGnuNegativeOffsetExtended = 0x2f,
};

// Runs the program in [code, end) up to the row in force at target. initial is the row
// after the CIE's program, which DW_CFA_restore returns to; null while running that one.
class RuleProgram {
public:
    RuleProgram(const CommonEntry& common, RuleRow* row, const RuleRow* initial)
        : m_common(common), m_row(row), m_initial(initial) {}

    bool run(const BYTE* code, const BYTE* end, ULONG_PTR location, ULONG_PTR target) {
        m_reader = {code, end, false};
        m_location = location;
        m_target = target;
        m_reachedTarget = false;
        while (m_reader.at < m_reader.end && !m_reachedTarget) {
            if (!step())
                return false;
        }
        return !m_reader.failed;
    }

private:
    bool step() {
        BYTE op = m_reader.byte();
        BYTE low = op & 0x3f;
        switch (op & 0xc0) {
        case cfaAdvanceLoc:
            return advance(low);
        case cfaOffset:
            return setRule(low, ruleAtOffset, factored(m_reader.uleb()));
        case cfaRestore:
            return restore(low);
        default:
            return extendedStep(op);
        }
    }

    bool extendedStep(BYTE op) {
        Reader& r = m_reader;
        unsigned reg = 0;
        switch (op) {
        case cfaNop:
            return true;
        case cfaGnuArgsSize:
            r.uleb();
            return !r.failed;
        case cfaSetLoc: {
            ULONG_PTR location = 0;
            if (!readAddress(r, m_common.addressEncoding, &location))
                return false;
            return moveTo(location);
        }
        case cfaAdvanceLoc1:
            return advance(r.fixed(1));
        case cfaAdvanceLoc2:
            return advance(r.fixed(2));
        case cfaAdvanceLoc4:
            return advance(r.fixed(4));
        case cfaOffsetExtended:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleAtOffset, factored(r.uleb()));
        case cfaOffsetExtendedSf:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleAtOffset, r.sleb() * m_common.dataAlignment);
        case cfaGnuNegativeOffsetExtended:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleAtOffset, -factored(r.uleb()));
        case cfaValOffset:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleIsOffset, factored(r.uleb()));
        case cfaValOffsetSf:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleIsOffset, r.sleb() * m_common.dataAlignment);
        case cfaRestoreExtended:
            return restore(static_cast<unsigned>(r.uleb()));
        case cfaUndefined:
            return setRule(static_cast<unsigned>(r.uleb()), ruleUndefined, 0);
        case cfaSameValue:
            return setRule(static_cast<unsigned>(r.uleb()), ruleSameValue, 0);
        case cfaRegister:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleInRegister, 0, static_cast<unsigned>(r.uleb()));
        case cfaExpression:
        case cfaValExpression:
            reg = static_cast<unsigned>(r.uleb());
            return setExpressionRule(reg,
                                     op == cfaExpression ? ruleAtExpression : ruleIsExpression);
        case cfaRememberState:
            if (m_depth == rememberDepth)
                return false;
            m_remembered[m_depth++] = *m_row;
            return true;
        case cfaRestoreState:
            if (m_depth == 0)
                return false;
            *m_row = m_remembered[--m_depth];
            return true;
        default:
            return cfaStep(op);
        }
    }

    // The operations that define the CFA.
    bool cfaStep(BYTE op) {
        Reader& r = m_reader;
        Rule& cfa = m_row->cfa;
        switch (op) {
        case cfaDefCfa:
            cfa.reg = static_cast<unsigned>(r.uleb());
            cfa.offset = static_cast<LONG_PTR>(r.uleb());
            break;
        case cfaDefCfaSf:
            cfa.reg = static_cast<unsigned>(r.uleb());
            cfa.offset = r.sleb() * m_common.dataAlignment;
            break;
        case cfaDefCfaRegister:
            cfa.reg = static_cast<unsigned>(r.uleb());
            break;
        case cfaDefCfaOffset:
            cfa.offset = static_cast<LONG_PTR>(r.uleb());
            break;
        case cfaDefCfaOffsetSf:
            cfa.offset = r.sleb() * m_common.dataAlignment;
            break;
        case cfaDefCfaExpression:
            cfa.expressionSize = r.uleb();
            cfa.expression = r.at;
            cfa.kind = ruleIsExpression;
            if (!r.has(cfa.expressionSize))
                return false;
            r.at += cfa.expressionSize;
            return true;
        default:
            return false;
        }
        cfa.kind = ruleInRegister;
        return cfa.reg < x86RegisterCount;
    }

    LONG_PTR factored(ULONG_PTR value) const {
        return static_cast<LONG_PTR>(value) * m_common.dataAlignment;
    }

    bool advance(ULONG_PTR delta) { return moveTo(m_location + delta * m_common.codeAlignment); }

    bool moveTo(ULONG_PTR location) {
        if (location > m_target)
            m_reachedTarget = true;
        else
            m_location = location;
        return true;
    }

    // Rules for registers the unwinder does not track (x87, SSE) are read and dropped.
    bool setRule(unsigned reg, RuleKind kind, LONG_PTR offset, unsigned other = 0) {
        if (reg >= x86RegisterCount)
            return !m_reader.failed;
        Rule& rule = m_row->registers[reg];
        rule.kind = kind;
        rule.offset = offset;
        rule.reg = other;
        return other < x86RegisterCount && !m_reader.failed;
    }

    bool setExpressionRule(unsigned reg, RuleKind kind) {
        ULONG_PTR size = m_reader.uleb();
        const BYTE* expression = m_reader.at;
        if (!m_reader.has(size))
            return false;
        m_reader.at += size;
        if (!setRule(reg, kind, 0) || reg >= x86RegisterCount)
            return !m_reader.failed;
        m_row->registers[reg].expression = expression;
        m_row->registers[reg].expressionSize = size;
        return true;
    }

    bool restore(unsigned reg) {
        if (reg < x86RegisterCount)
            m_row->registers[reg] = m_initial ? m_initial->registers[reg] : Rule{};
        return !m_reader.failed;
    }

    const CommonEntry& m_common;
    RuleRow* m_row;
    const RuleRow* m_initial;
    Reader m_reader = {nullptr, nullptr, false};
    ULONG_PTR m_location = 0;
    ULONG_PTR m_target = 0;
    bool m_reachedTarget = false;
    RuleRow m_remembered[rememberDepth];
    int m_depth = 0;
};

// The row of rules in force at address inside function.
bool rulesAt(const FunctionEntry& function, ULONG_PTR address, RuleRow* row) {
    RuleRow initial;
    std::memset(&initial, 0, sizeof initial);
    initial.cfa.kind = ruleUndefined;
    const CommonEntry& common = function.common;
    if (!RuleProgram(common, &initial, nullptr)
             .run(common.instructions, common.end, function.begin, function.begin))
        return false;
    *row = initial;
    return RuleProgram(common, row, &initial)
        .run(function.instructions, function.instructionsEnd, function.begin, address);
}

// DWARF expression operations (DW_OP_*) that CFA and register rules use.
enum : BYTE {
    opDeref = 0x06,
    opConst1u = 0x08,
    opConst1s = 0x09,
    opConst2u = 0x0a,
    opConst2s = 0x0b,
    opConst4u = 0x0c,
    opConst4s = 0x0d,
    opConstu = 0x10,
    opConsts = 0x11,
    opDup = 0x12,
    opDrop = 0x13,
    opAnd = 0x1a,
    opMinus = 0x1c,
    opPlus = 0x22,
    opPlusUconst = 0x23,
    opLit0 = 0x30,
    opLit31 = 0x4f,
    opBreg0 = 0x70,
    opBreg31 = 0x8f,
};

// Evaluates an expression on a stack that starts with start (for register rules: the CFA)
// or empty. Operations outside this set fail, and the frame is then unwound another way.
class ExpressionMachine {
public:
    explicit ExpressionMachine(const ULONG_PTR* registers) : m_registers(registers) {}

    bool evaluate(const Rule& rule, const ULONG_PTR* start, ULONG_PTR* result) {
        m_depth = 0;
        if (start)
            push(*start);
        Reader reader = {rule.expression, rule.expression + rule.expressionSize, false};
        while (reader.at < reader.end) {
            if (!operate(reader.byte(), reader) || reader.failed)
                return false;
        }
        if (m_depth == 0)
            return false;
        *result = m_stack[m_depth - 1];
        return true;
    }

private:
    bool operate(BYTE op, Reader& r) {
        if (op >= opLit0 && op <= opLit31)
            return push(op - opLit0);
        if (op >= opBreg0 && op <= opBreg31) {
            unsigned reg = op - opBreg0;
            LONG_PTR offset = r.sleb();
            return reg < x86RegisterCount && push(m_registers[reg] + offset);
        }
        switch (op) {
        case opConst1u:
            return push(r.fixed(1));
        case opConst1s:
            return push(static_cast<ULONG_PTR>(static_cast<signed char>(r.fixed(1))));
        case opConst2u:
            return push(r.fixed(2));
        case opConst2s:
            return push(static_cast<ULONG_PTR>(static_cast<SHORT>(r.fixed(2))));
        case opConst4u:
            return push(r.fixed(4));
        case opConst4s:
            return push(static_cast<ULONG_PTR>(static_cast<LONG>(r.fixed(4))));
        case opConstu:
            return push(r.uleb());
        case opConsts:
            return push(static_cast<ULONG_PTR>(r.sleb()));
        case opDup:
            return m_depth > 0 && push(m_stack[m_depth - 1]);
        case opDrop:
            if (m_depth == 0)
                return false;
            --m_depth;
            return true;
        case opDeref:
            return m_depth > 0 && readWord(m_stack[m_depth - 1], &m_stack[m_depth - 1]);
        case opPlusUconst:
            if (m_depth == 0)
                return false;
            m_stack[m_depth - 1] += r.uleb();
            return true;
        case opAnd:
        case opMinus:
        case opPlus:
            return binary(op);
        default:
            return false;
        }
    }

    bool binary(BYTE op) {
        if (m_depth < 2)
            return false;
        ULONG_PTR right = m_stack[--m_depth];
        ULONG_PTR& left = m_stack[m_depth - 1];
        left = op == opAnd ? left & right : op == opMinus ? left - right : left + right;
        return true;
    }

    bool push(ULONG_PTR value) {
        if (m_depth == stackSize)
            return false;
        m_stack[m_depth++] = value;
        return true;
    }

    static const int stackSize = 8;
    const ULONG_PTR* m_registers;
    ULONG_PTR m_stack[stackSize];
    int m_depth = 0;
};

// The caller's value of one register under rule, the frame's registers and CFA given.
bool recover(const Rule& rule, unsigned reg, const ULONG_PTR* registers, ULONG_PTR cfa,
             ULONG_PTR* value) {
    ExpressionMachine machine(registers);
    ULONG_PTR address = 0;
    switch (rule.kind) {
    case ruleSameValue:
        *value = registers[reg];
        return true;
    case ruleUndefined:
        *value = 0;
        return true;
    case ruleAtOffset:
        return readWord(cfa + rule.offset, value);
    case ruleIsOffset:
        *value = cfa + rule.offset;
        return true;
    case ruleInRegister:
        *value = registers[rule.reg];
        return true;
    case ruleAtExpression:
        return machine.evaluate(rule, &cfa, &address) && readWord(address, value);
    case ruleIsExpression:
        return machine.evaluate(rule, &cfa, value);
    }
    return false;
}

} // namespace

bool callFrameFunction(ULONG_PTR address, ULONG_PTR* begin, ULONG_PTR* end) {
    FunctionEntry function;
    if (!findFunctionEntry(address, &function))
        return false;
    *begin = function.begin;
    *end = function.end;
    return true;
}

CallFrameResult unwindByCallFrameInfo(ULONG_PTR lookupPc, ULONG_PTR* registers) {
    FunctionEntry function;
    RuleRow row;
    if (!findFunctionEntry(lookupPc, &function) || !rulesAt(function, lookupPc, &row))
        return callFrameUnknown;
    ULONG_PTR cfa = 0;
    if (row.cfa.kind == ruleInRegister)
        cfa = registers[row.cfa.reg] + row.cfa.offset;
    else if (row.cfa.kind != ruleIsExpression ||
             !ExpressionMachine(registers).evaluate(row.cfa, nullptr, &cfa))
        return callFrameUnknown;
    unsigned returnRegister = function.common.returnRegister;
    if (row.registers[returnRegister].kind == ruleUndefined)
        return callFrameOutermost;
    ULONG_PTR caller[x86RegisterCount];
    for (unsigned reg = 0; reg < x86RegisterCount; ++reg) {
        if (!recover(row.registers[reg], reg, registers, cfa, &caller[reg]))
            return callFrameUnknown;
    }
    caller[x86Esp] = cfa; // by definition the stack pointer before the call
    caller[x86Eip] = caller[returnRegister];
    std::memcpy(registers, caller, sizeof caller);
    return callFrameUnwound;
}
