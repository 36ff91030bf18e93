// The call-frame reader's pieces over one .eh_frame section held in memory: the entry scan
// (eh_frame_entries.cpp), the rule program (eh_frame_rules.cpp) and the expression machine
// (eh_frame_expression.cpp). They read only inside the section they are given, so they run
// as well over a fuzzer's buffer as over a loaded module. Crash-time code: no heap.
#pragma once

#include "eh_frame.h"

// Little-endian reads bounded by end; a read past it marks the reader failed and gives 0.
struct Reader {
    const BYTE* at;
    const BYTE* end;
    bool failed;

    // A reader whose start lies past its end has nothing left, not a huge count.
    bool has(ULONG_PTR count) {
        if (failed || at > end || static_cast<ULONG_PTR>(end - at) < count)
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

// A Frame Description Entry: one function's extent and its rule program.
struct FunctionEntry {
    ULONG_PTR begin;
    ULONG_PTR end;
    CommonEntry common;
    const BYTE* instructions;
    const BYTE* instructionsEnd;
};

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

// An address in a pointer encoding (DW_EH_PE_*): absolute or relative to the field itself,
// the two forms mingw's toolchain writes; false for the others.
bool readAddress(Reader& reader, BYTE encoding, ULONG_PTR* address);

// The entry at entry, which must be a CIE lying wholly before sectionEnd.
bool parseCommonEntry(const BYTE* entry, const BYTE* sectionEnd, CommonEntry* common);

// The FDE in [section, sectionEnd) whose function holds address.
bool findFunctionEntry(const BYTE* section, const BYTE* sectionEnd, ULONG_PTR address,
                       FunctionEntry* function);

// Turns registers (by X86Register) of a frame of function, at lookupPc, into its caller's.
CallFrameResult unwindByRules(const FunctionEntry& function, ULONG_PTR lookupPc,
                              ULONG_PTR* registers);

// Evaluates a rule's expression on a stack that starts with *start, or empty when start is
// null; false for an operation outside the small set that frame rules use.
bool evaluateExpression(const Rule& rule, const ULONG_PTR* registers, const ULONG_PTR* start,
                        ULONG_PTR* result);
