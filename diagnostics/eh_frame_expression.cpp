// The small DWARF expressions (DW_OP_*) that the rules of frames with a realigned stack
// use. Crash-time code: no heap, a fixed stack, memory through the checked reads.
#include "eh_frame_parts.h"

#include "process_memory.h"

namespace {

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

} // namespace

bool evaluateExpression(const Rule& rule, const ULONG_PTR* registers, const ULONG_PTR* start,
                        ULONG_PTR* result) {
    return ExpressionMachine(registers).evaluate(rule, start, result);
}
