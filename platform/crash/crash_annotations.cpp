// The game's crash annotations in fixed slots. Setters take turns through a flag of their own;
// the crash filter never waits for it: each slot carries a version that is odd while the slot
// is written, and a copy made across a change of version is discarded.
#include "crash/crash_annotations.h"

#include "PlatApp.h"
#include "contracts/diagnostics.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

namespace {

struct AnnotationSlot {
    volatile LONG version;
    char key[Plat::App::crashAnnotationKeyLength + 1]; // empty: the slot is free
    char value[Plat::App::crashAnnotationValueLength + 1];
};

AnnotationSlot g_slots[Plat::App::crashAnnotationCapacity];
volatile LONG g_setting = 0;

bool isKeyCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

// Why a pair is refused, or null when it is acceptable.
const char* refusal(const char* key, const char* value) {
    if (!key || !*key)
        return "the key is empty";
    int length = 0;
    for (; key[length]; ++length) {
        if (length == Plat::App::crashAnnotationKeyLength)
            return "the key is too long";
        if (!isKeyCharacter(key[length]))
            return "the key holds a character other than letters, digits, '_', '-' and '.'";
    }
    for (length = 0; value && value[length]; ++length) {
        if (length == Plat::App::crashAnnotationValueLength)
            return "the value is too long";
        if (static_cast<unsigned char>(value[length]) < 0x20 || value[length] == 0x7f)
            return "the value holds a control character";
    }
    return nullptr;
}

// The slot holding key, else a free one (when a value is to be stored), else null.
AnnotationSlot* slotFor(const char* key, bool storing) {
    AnnotationSlot* free = nullptr;
    for (AnnotationSlot& slot : g_slots) {
        if (std::strcmp(slot.key, key) == 0)
            return &slot;
        if (!slot.key[0] && !free && storing)
            free = &slot;
    }
    return free;
}

void copyText(char* target, const char* source) {
    while ((*target++ = *source++) != 0) {
    }
}

int append(char* text, int length, int size, const char* part) {
    for (; *part && length < size - 1; ++part)
        text[length++] = *part;
    return length;
}

} // namespace

bool Plat::App::SetCrashAnnotation(const char* key, const char* value) {
    if (const char* why = refusal(key, value)) {
        dbTracefAux("SetCrashAnnotation: \"%.64s\" refused: %s", key ? key : "", why);
        return false;
    }
    while (InterlockedCompareExchange(&g_setting, 1, 0) != 0)
        Sleep(0);
    AnnotationSlot* slot = slotFor(key, value != nullptr);
    if (slot) {
        InterlockedIncrement(&slot->version);
        copyText(slot->key, value ? key : "");
        copyText(slot->value, value ? value : "");
        InterlockedIncrement(&slot->version);
    }
    InterlockedExchange(&g_setting, 0);
    if (!slot && value)
        dbTracefAux("SetCrashAnnotation: \"%s\" refused: %d annotations are set already", key,
                    crashAnnotationCapacity);
    return slot || !value;
}

void Plat::App::AddCrashBreadcrumb(const char* text) {
    if (text)
        dbAddBreadcrumb(text);
}

int copyCrashAnnotations(char* text, int size, const char* between, const char* end) {
    int length = 0;
    for (const AnnotationSlot& slot : g_slots) {
        const LONG version = slot.version;
        if (version & 1)
            continue;
        AnnotationSlot copy;
        CopyMemory(copy.key, slot.key, sizeof copy.key);
        CopyMemory(copy.value, slot.value, sizeof copy.value);
        if (slot.version != version || !copy.key[0])
            continue;
        copy.key[sizeof copy.key - 1] = copy.value[sizeof copy.value - 1] = 0;
        for (const char* part : {static_cast<const char*>(copy.key), between,
                                 static_cast<const char*>(copy.value), end})
            length = append(text, length, size, part);
    }
    if (size > 0)
        text[length] = 0;
    return length;
}
