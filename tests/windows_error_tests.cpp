// Error boxes with localised texts and traces of failed system calls.
#include "app/windows_error.h"
#include "support/import_patch.h"
#include "support/records.h"
#include "test_resources.h"

#include <gtest/gtest.h>

namespace {

std::string g_traceFormat;
void recordTrace(const char* format, ...) {
    g_traceFormat = format;
}

TEST(TraceLastWindowsError, TracesTheCodesTextAsTheWholeFormatAndClearsTheCode) {
    ImportPatch trace(GetModuleHandleA(nullptr), "diagnostics.dll", "dbTracefAux",
                      reinterpret_cast<void*>(recordTrace));
    ASSERT_TRUE(trace.active());
    const struct {
        DWORD code;
        const char* text;
    } cases[] = {{ERROR_INVALID_PARAMETER, "Windows Error: Invalid Parameter"},
                 {ERROR_INSUFFICIENT_BUFFER, "Windows Error: Insufficient Buffer"},
                 {ERROR_INVALID_FLAGS, "Windows Error: Invalid Flags"},
                 {ERROR_FILE_NOT_FOUND, "Windows Error: unknown error"},
                 {0, "Windows Error: unknown error"}};
    for (const auto& c : cases) {
        SetLastError(c.code);
        traceLastWindowsError();
        EXPECT_EQ(0u, GetLastError());
        EXPECT_EQ(c.text, g_traceFormat) << "code " << c.code;
    }
}

TEST(ShowLocalizedMessageBox, AnEmptyStringShowsNoBoxAndIsTraced) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(showLocalizedMessageBox(testStringMissing));
    EXPECT_EQ(dbRecordTrace, lastRecord().kind);
    EXPECT_EQ("Windows Error: Invalid Parameter", lastText());
    EXPECT_EQ(0u, GetLastError());
}

struct BoxCall {
    int calls;
    HWND owner;
    std::string text;
    const char* caption;
    UINT style;
} g_boxCall;

int WINAPI recordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    g_boxCall = BoxCall{g_boxCall.calls + 1, owner, text, caption, style};
    return IDCANCEL;
}

TEST(ShowLocalizedMessageBox, AsksForATaskModalTopmostErrorBoxOverTheActiveWindow) {
    ImportPatch patch(GetModuleHandleA(nullptr), "user32.dll", "MessageBoxA",
                      reinterpret_cast<void*>(recordMessageBox));
    ASSERT_TRUE(patch.active());
    g_boxCall = BoxCall{0, nullptr, "", "unset", 0};
    EXPECT_TRUE(showLocalizedMessageBox(testStringColourDepth)) << "the answer is not looked at";
    EXPECT_EQ(1, g_boxCall.calls);
    EXPECT_EQ(GetActiveWindow(), g_boxCall.owner);
    EXPECT_EQ("Needs more colours than 256", g_boxCall.text);
    EXPECT_EQ(nullptr, g_boxCall.caption);
    EXPECT_EQ(0x52010u, g_boxCall.style);
}

} // namespace
