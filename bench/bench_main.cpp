// Runs every registered benchmark case in order.
#include "bench.h"

#include <vector>

namespace {

struct BenchCaseEntry {
    const char* name;
    BenchFunction function;
};

std::vector<BenchCaseEntry>& cases() {
    static std::vector<BenchCaseEntry> all;
    return all;
}

} // namespace

BenchRegistration::BenchRegistration(const char* name, BenchFunction function) {
    cases().push_back(BenchCaseEntry{name, function});
}

int main() {
    for (const BenchCaseEntry& entry : cases()) {
        std::printf("== %s\n", entry.name);
        entry.function();
    }
    return 0;
}
