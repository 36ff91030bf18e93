// Running out of memory inside the library gives each call its defined failure, never an
// exception across the module boundary, which the 32-bit runtime cannot unwind.
#include "CmdLine.h"
#include "PlatApp.h"
#include "SysUtilInterface.h"
#include "contracts/memory.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void noCrashWork() {}

// Each call reaches the failing allocation; the value and URL need heap blocks.
TEST(OutOfMemory, EachCallFailsCleanly) {
    std::string value = "old", host, path;
    MemFailAllocationAfter(1);
    EXPECT_FALSE(CmdLine::Get("longvalue", value));
    EXPECT_EQ(0u, MemFailAllocationAfter(1)) << "CmdLine::Get reached its allocation";
    EXPECT_EQ("", value);
    EXPECT_FALSE(SysUtilInterface::i()->splitUrl(
        "http://a-host-name-longer-than-a-small-string.example/and/a/path", host, path));
    EXPECT_EQ(0u, MemFailAllocationAfter(1)) << "splitUrl reached its allocation";
    EXPECT_FALSE(Plat::App::AddCrashCallback(noCrashWork, nullptr));
    EXPECT_EQ(0u, MemFailAllocationAfter(0)) << "AddCrashCallback reached its allocation";
}

} // namespace
