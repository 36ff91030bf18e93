// The rule program of an FDE and its CIE (DW_CFA_*): which rules are in force at an
// address, and the caller's registers they give. Crash-time code: no heap, reads bounded by
// the section, stack words through the checked reads.
#include "eh_frame_parts.h"

#include "process_memory.h"

#include <cstring>

namespace {

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
        // A failed read leaves the reader where it was and gives 0, a DW_CFA_nop: the
        // program ends there, or it would read that nop for ever.
        while (!m_reader.failed && m_reader.at < m_reader.end && !m_reachedTarget) {
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
            return setRule(reg, ruleAtOffset, factored(static_cast<ULONG_PTR>(r.sleb())));
        case cfaGnuNegativeOffsetExtended:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleAtOffset, factored(0 - r.uleb()));
        case cfaValOffset:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleIsOffset, factored(r.uleb()));
        case cfaValOffsetSf:
            reg = static_cast<unsigned>(r.uleb());
            return setRule(reg, ruleIsOffset, factored(static_cast<ULONG_PTR>(r.sleb())));
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
            cfa.offset = factored(static_cast<ULONG_PTR>(r.sleb()));
            break;
        case cfaDefCfaRegister:
            cfa.reg = static_cast<unsigned>(r.uleb());
            break;
        case cfaDefCfaOffset:
            cfa.offset = static_cast<LONG_PTR>(r.uleb());
            break;
        case cfaDefCfaOffsetSf:
            cfa.offset = factored(static_cast<ULONG_PTR>(r.sleb()));
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

    // Offsets wrap as the addresses they are added to do: a hostile entry's huge factor
    // must give some offset, not signed overflow.
    LONG_PTR factored(ULONG_PTR value) const {
        return static_cast<LONG_PTR>(value * static_cast<ULONG_PTR>(m_common.dataAlignment));
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

// The caller's value of one register under rule, the frame's registers and CFA given.
bool recover(const Rule& rule, unsigned reg, const ULONG_PTR* registers, ULONG_PTR cfa,
             ULONG_PTR* value) {
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
        return evaluateExpression(rule, registers, &cfa, &address) && readWord(address, value);
    case ruleIsExpression:
        return evaluateExpression(rule, registers, &cfa, value);
    }
    return false;
}

} // namespace

CallFrameResult unwindByRules(const FunctionEntry& function, ULONG_PTR lookupPc,
                              ULONG_PTR* registers) {
    RuleRow row;
    if (!rulesAt(function, lookupPc, &row))
        return callFrameUnknown;
    ULONG_PTR cfa = 0;
    if (row.cfa.kind == ruleInRegister)
        cfa = registers[row.cfa.reg] + row.cfa.offset;
    else if (row.cfa.kind != ruleIsExpression ||
             !evaluateExpression(row.cfa, registers, nullptr, &cfa))
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
