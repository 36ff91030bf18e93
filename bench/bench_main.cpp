// Runs every registered benchmark case in order, inside PlatWinMain's guarded run as a
// game's frames run, so that the window procedure's crash guard is in every figure.
#include "bench.h"

#include "AppInterface.h"
#include "PlatApp.h"

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

class BenchGame : public AppInterface {
public:
    const char* name() const override { return "benchmarks"; }
    int run() override {
        for (const BenchCaseEntry& entry : cases()) {
            std::printf("== %s\n", entry.name);
            entry.function();
        }
        return 0;
    }
};

} // namespace

BenchRegistration::BenchRegistration(const char* name, BenchFunction function) {
    cases().push_back(BenchCaseEntry{name, function});
}

int main() {
    BenchGame game;
    return Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0, &game);
}
