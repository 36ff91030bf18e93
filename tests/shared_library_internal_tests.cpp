// The loader's own code without the DLL's start-up: the directory path it builds from
// QVX_Root, and binding through the virtual operations.
#include "libraries/bind_table.h"
#include "sys/directory_path.h"
#include "sys/shared_library_impl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Calls;

TEST(DirectoryPath, KeepsTheComponentsWhateverTheSeparators) {
    const struct {
        const char* text;
        const char* joined;
    } cases[] = {
        {"C:\\Games\\App", "C:\\Games\\App"},
        {"C:/Games/App/", "C:\\Games\\App"},
        {"C:\\\\Games/\\App\\\\", "C:\\Games\\App"},
        {"\\\\server\\share", "server\\share"},
        {"\\/", ""},
        {"", ""},
        {nullptr, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.joined, DirectoryPath(c.text).toString()) << (c.text ? c.text : "null");

    DirectoryPath path("C:\\Games");
    path.append("/mods//bin/");
    path.append(nullptr);
    EXPECT_EQ("C:\\Games\\mods\\bin", path.toString());
}

// Records the operations that loadAndBindLibrary reaches, then does what the loader does.
class RecordingLoader : public SharedLibraryImpl {
public:
    HMODULE loadLibrary(const char* name) override {
        calls.push_back(std::string("load ") + name);
        return SharedLibraryImpl::loadLibrary(name);
    }
    bool unloadLibrary(HMODULE library) override {
        calls.push_back("unload");
        return SharedLibraryImpl::unloadLibrary(library);
    }
    void* getFunction(HMODULE library, const char* name, unsigned unused) override {
        calls.push_back(std::string("find ") + name);
        return SharedLibraryImpl::getFunction(library, name, unused);
    }

    Calls calls;
};

TEST(LoadAndBind, GoesThroughTheVirtualOperationsAndAsksForAnIdOnlyWhenOneIsRequired) {
    RecordingLoader loader;
    BindTable table = {};
    HMODULE library = loader.loadAndBindLibrary("bind_ok.dll", &table, 0);
    ASSERT_NE(nullptr, library);
    EXPECT_EQ((Calls{"load bind_ok.dll", "find setupFunctionTable"}), loader.calls);
    EXPECT_EQ(boundLibraryId, loader.getLibraryId(library));
    EXPECT_TRUE(loader.unloadLibrary(library));

    loader.calls.clear();
    EXPECT_EQ(nullptr, loader.loadAndBindLibrary("bind_other_id.dll", &table, boundLibraryId));
    EXPECT_EQ((Calls{"load bind_other_id.dll", "find getLibraryID", "unload"}), loader.calls);
    EXPECT_EQ(1, table.setupCalls);
    EXPECT_EQ(0u, loader.getLibraryId(nullptr));
}

} // namespace
