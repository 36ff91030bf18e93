// Running out of memory inside the library gives each call its defined failure, never an
// exception across the module boundary, which the 32-bit runtime cannot unwind.
#include "CmdLine.h"
#include "InputInterface.h"
#include "PlatApp.h"
#include "SysUtilInterface.h"
#include "contracts/memory.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Longer than any string kept without a heap block.
const char* const longUrl = "http://a-host-name-longer-than-a-small-string.example/and/a/path";

void noCrashWork() {}

struct OutOfMemoryCase {
    const char* call;
    bool (*failsCleanly)();
};

const OutOfMemoryCase cases[] = {
    {"CmdLine::Get",
     [] {
         std::string value = "old";
         return !CmdLine::Get("longvalue", value) && value.empty();
     }},
    {"splitUrl",
     [] {
         std::string host, path;
         return !SysUtilInterface::i()->splitUrl(longUrl, host, path);
     }},
    {"AddCrashCallback", [] { return !Plat::App::AddCrashCallback(noCrashWork, nullptr); }},
};

TEST(OutOfMemory, EachCallFailsCleanly) {
    for (const OutOfMemoryCase& c : cases) {
        MemFailAllocationAfter(1);
        EXPECT_TRUE(c.failsCleanly()) << c.call;
        EXPECT_EQ(0u, MemFailAllocationAfter(0)) << c.call << " reached its allocation";
    }
}

} // namespace
