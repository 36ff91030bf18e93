// The call-frame reader over a fuzzed .eh_frame section: entry scan, CIE, rule program and
// expression machine. Input: the looked-up address as a 32-bit offset from the section,
// nine 16-bit register offsets from it, then the section, in a block of exactly its size so
// that AddressSanitizer sees any read outside it. Seeds: CIEs with their FDEs cut from the
// i686 DLLs (objcopy --only-section=.eh_frame), and the inputs of faults found before.
#include "../diagnostics/eh_frame_parts.h"
#include "../diagnostics/process_memory.h"
#include "fuzz_support.h"

namespace {

const BYTE* g_section = nullptr;
std::size_t g_size = 0;

bool inSection(const BYTE* begin, const BYTE* end) {
    return g_section <= begin && begin <= end && end <= g_section + g_size;
}

} // namespace

// The section stands for the stack too: a word is readable where it lies in it.
bool readWord(ULONG_PTR address, ULONG_PTR* value) {
    const ULONG_PTR offset = address - reinterpret_cast<ULONG_PTR>(g_section);
    if (g_size < sizeof *value || offset > g_size - sizeof *value)
        return false;
    std::memcpy(value, g_section + offset, sizeof *value);
    return true;
}

// A broken loop in the reader shows as a hang: an input gets seconds, not twenty minutes.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> arguments(*argv, *argv + *argc);
    static char timeout[] = "-timeout=10";
    arguments.insert(arguments.begin() + 1, timeout); // a later -timeout still wins
    *argc = static_cast<int>(arguments.size());
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int32_t lookup;
    std::uint16_t offsets[x86RegisterCount];
    if (size < sizeof lookup + sizeof offsets)
        return 0;
    std::memcpy(&lookup, data, sizeof lookup);
    std::memcpy(offsets, data + sizeof lookup, sizeof offsets);
    g_size = size - sizeof lookup - sizeof offsets;
    std::unique_ptr<BYTE[]> section(new BYTE[g_size]);
    std::memcpy(section.get(), data + size - g_size, g_size);
    g_section = section.get();
    const ULONG_PTR base = reinterpret_cast<ULONG_PTR>(g_section);
    ULONG_PTR registers[x86RegisterCount];
    for (unsigned reg = 0; reg < x86RegisterCount; ++reg)
        registers[reg] = base + offsets[reg];
    const ULONG_PTR address = base + static_cast<ULONG_PTR>(static_cast<LONG_PTR>(lookup));
    FunctionEntry function;
    if (findFunctionEntry(g_section, g_section + g_size, address, &function)) {
        REQUIRE(address - function.begin < function.end - function.begin);
        REQUIRE(inSection(function.instructions, function.instructionsEnd));
        REQUIRE(inSection(function.common.instructions, function.common.end));
        unwindByRules(function, address, registers);
    }
    const Rule expression = {ruleIsExpression, 0, 0, g_section, g_size};
    ULONG_PTR result = 0;
    evaluateExpression(expression, registers, nullptr, &result);
    evaluateExpression(expression, registers, &base, &result);
    return 0;
}
