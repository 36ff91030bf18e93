// Where the loader looks. QVX_Root is read once per process, so each root case starts the
// loader in a child process of its own, with the case's environment and current directory,
// and reads back which file it loaded. The probe library lies only in a temporary tree,
// never where the system's own search would find it.
#include "SharedLibraryInterface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Lines;

const std::string probeName = "qvx_probe.dll";

// The tree's directories in creation order; the probe is copied into the bin directories.
const char* const treeDirectories[] = {"",      "App\\",        "App\\bin\\",       "bin\\",
                                       "srv\\", "srv\\share\\", "srv\\share\\bin\\"};
const char* const binDirectories[] = {"App\\bin\\", "bin\\", "srv\\share\\bin\\"};

// The directory of this test program, with a trailing backslash.
std::string programDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string directory(path);
    return directory.substr(0, directory.rfind('\\') + 1);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

Lines splitLines(const std::string& text) {
    Lines lines;
    size_t end = 0;
    for (size_t start = 0; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// This process's environment without QVX_Root, plus QVX_Root=root unless root is null.
std::string environmentWith(const char* root) {
    std::string environment;
    char* block = GetEnvironmentStringsA();
    for (char* entry = block; *entry; entry += std::strlen(entry) + 1) {
        if (_strnicmp(entry, "QVX_Root=", 9) != 0)
            environment.append(entry).push_back('\0');
    }
    FreeEnvironmentStringsA(block);
    if (root)
        environment.append("QVX_Root=").append(root).push_back('\0');
    environment.push_back('\0');
    return environment;
}

// Runs loader_child with the arguments and returns the lines it printed.
Lines runChild(const char* root, const std::string& directory, const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return {"no pipe"};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string commandLine = "\"" + programDirectory() + "loader_child.exe\" " + arguments;
    std::string environment = environmentWith(root);
    PROCESS_INFORMATION child = {};
    BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                  &environment[0], directory.c_str(), &startup, &child);
    CloseHandle(writeEnd);
    std::string output;
    char chunk[512];
    DWORD read = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &read, nullptr) && read > 0)
        output.append(chunk, read);
    CloseHandle(readEnd);
    if (!started)
        return {"not started"};
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return splitLines(replaceAll(output, "\r", ""));
}

class LibrarySearchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char temp[MAX_PATH] = {};
        char longTemp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        GetLongPathNameA(temp, longTemp, sizeof longTemp);
        s_tree = longTemp + ("loader_search_" + std::to_string(GetCurrentProcessId())) + "\\";
        for (const char* directory : treeDirectories)
            CreateDirectoryA((s_tree + directory).c_str(), nullptr);
        std::string library = programDirectory() + "bind_ok.dll";
        for (const char* directory : binDirectories)
            CopyFileA(library.c_str(), (s_tree + directory + probeName).c_str(), FALSE);
    }
    static void TearDownTestSuite() {
        for (const char* directory : binDirectories)
            DeleteFileA((s_tree + directory + probeName).c_str());
        for (size_t index = std::size(treeDirectories); index > 0; --index)
            RemoveDirectoryA((s_tree + treeDirectories[index - 1]).c_str());
    }

    // What the child prints when loadLibrary loads the probe from directory, which
    // libraryExists never looks in.
    static Lines loadedFrom(const std::string& directory) {
        return {"missing", s_tree + directory + probeName};
    }

    static std::string s_tree;
};

std::string LibrarySearchTest::s_tree;

TEST_F(LibrarySearchTest, AnAbsoluteRootInAnySpellingGivesItsBinDirectory) {
    const std::string root = s_tree + "App";
    for (const std::string& spelling :
         {root, root + "\\", replaceAll(root, "\\", "/"), replaceAll(root, "\\", "\\\\") + "\\\\"})
        EXPECT_EQ(loadedFrom("App\\bin\\"), runChild(spelling.c_str(), s_tree, probeName))
            << spelling;
}

TEST_F(LibrarySearchTest, AnEmptyRootSearchesBinUnderTheCurrentDirectory) {
    EXPECT_EQ(loadedFrom("bin\\"), runChild("", s_tree, probeName));
}

TEST_F(LibrarySearchTest, LeadingSeparatorsAreDroppedSoTheRootBecomesRelative) {
    EXPECT_EQ(loadedFrom("App\\bin\\"), runChild("\\App", s_tree, probeName));
    EXPECT_EQ(loadedFrom("srv\\share\\bin\\"), runChild("\\\\srv\\share", s_tree, probeName));
}

TEST_F(LibrarySearchTest, WithoutARootOnlyTheSystemSearchRunsAndALaterRootIsNotRead) {
    std::string lateRoot = "\"" + s_tree + "App\"";
    EXPECT_EQ((Lines{"missing", "null", "null"}),
              runChild(nullptr, s_tree, probeName + " " + lateRoot));
}

TEST_F(LibrarySearchTest, LibraryExistsLooksInTheCurrentDirectoryWithOrWithoutExtension) {
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    SharedLibraryInterface* loader = SharedLibraryInterface::i();
    ASSERT_TRUE(SetCurrentDirectoryA((s_tree + "App\\bin").c_str()));
    EXPECT_TRUE(loader->libraryExists("qvx_probe"));
    EXPECT_TRUE(loader->libraryExists(probeName.c_str()));
    ASSERT_TRUE(SetCurrentDirectoryA(s_tree.c_str()));
    EXPECT_FALSE(loader->libraryExists("qvx_probe"));
    SetCurrentDirectoryA(previous);
}

} // namespace
