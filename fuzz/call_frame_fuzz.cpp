// The call-frame reader over a fuzzed .eh_frame section: the entry scan, the CIE, the rule
// program up to the looked-up address and the expression machine. Input: the looked-up
// address as a signed 32-bit offset from the section's start, the nine registers as 16-bit
// offsets from it, then the section. The section lies in a block of exactly its size, so
// AddressSanitizer reports any read outside it; an input that runs too long is a finding
// too. The seeds are whole CIEs with the FDEs that follow them, cut from the .eh_frame
// sections of the i686 DLLs (objcopy --only-section=.eh_frame), with crafted entries.
#include "../diagnostics/eh_frame_parts.h"
#include "../diagnostics/process_memory.h"
#include "fuzz_support.h"

namespace {

const std::size_t headerSize = 4 + 2 * x86RegisterCount;

const BYTE* g_section = nullptr;
std::size_t g_sectionSize = 0;

ULONG_PTR readLittleEndian(const std::uint8_t* data, unsigned bytes) {
    ULONG_PTR value = 0;
    for (unsigned i = 0; i < bytes; ++i)
        value |= static_cast<ULONG_PTR>(data[i]) << (8 * i);
    return value;
}

bool insideSection(const BYTE* begin, const BYTE* end) {
    return g_section <= begin && begin <= end && end <= g_section + g_sectionSize;
}

} // namespace

// The fuzzed section stands for the stack as well: a word is readable when it lies in it.
bool readWord(ULONG_PTR address, ULONG_PTR* value) {
    const ULONG_PTR base = reinterpret_cast<ULONG_PTR>(g_section);
    if (address < base || g_sectionSize < sizeof *value ||
        address - base > g_sectionSize - sizeof *value)
        return false;
    std::memcpy(value, g_section + (address - base), sizeof *value);
    return true;
}

// A hang is what a broken loop in the reader looks like, so an input gets seconds, not the
// default twenty minutes, unless the command line says otherwise.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> arguments(*argv, *argv + *argc);
    static char timeout[] = "-timeout=10";
    for (char* argument : arguments) {
        if (std::strncmp(argument, "-timeout=", 9) == 0)
            return 0;
    }
    arguments.insert(arguments.begin() + 1, timeout);
    *argc = static_cast<int>(arguments.size());
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < headerSize)
        return 0;
    std::unique_ptr<BYTE[]> section(new BYTE[size - headerSize]);
    std::memcpy(section.get(), data + headerSize, size - headerSize);
    g_section = section.get();
    g_sectionSize = size - headerSize;
    const ULONG_PTR base = reinterpret_cast<ULONG_PTR>(g_section);
    const ULONG_PTR address =
        base + static_cast<ULONG_PTR>(static_cast<LONG>(readLittleEndian(data, 4)));
    ULONG_PTR registers[x86RegisterCount];
    for (unsigned reg = 0; reg < x86RegisterCount; ++reg)
        registers[reg] = base + readLittleEndian(data + 4 + 2 * reg, 2);

    FunctionEntry function;
    if (findFunctionEntry(g_section, g_section + g_sectionSize, address, &function)) {
        REQUIRE(address - function.begin < function.end - function.begin);
        REQUIRE(insideSection(function.instructions, function.instructionsEnd));
        REQUIRE(insideSection(function.common.instructions, function.common.end));
        unwindByRules(function, address, registers);
    }
    // The whole section as one expression, on an empty stack and on one holding the CFA.
    const Rule expression = {ruleIsExpression, 0, 0, g_section, g_sectionSize};
    ULONG_PTR result = 0;
    evaluateExpression(expression, registers, nullptr, &result);
    evaluateExpression(expression, registers, &base, &result);
    return 0;
}
