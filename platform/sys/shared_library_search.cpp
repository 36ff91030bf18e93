// The loader's search directories: empty from load, filled from QVX_Root at the first load.
#include "sys/directory_path.h"
#include "sys/shared_library_impl.h"

#include <cstdlib>
#include <new>

std::vector<std::string>* SharedLibraryImpl::s_searchDirectories = nullptr;
bool SharedLibraryImpl::s_searchDirectoriesReady = false;

namespace {

// Adds the bin directory under QVX_Root, however the root's separators were written.
void addRootBinDirectory(std::vector<std::string>& directories) {
    const char* root = std::getenv("QVX_Root");
    if (!root)
        return;
    // Out of memory leaves the root's directory out of the search; nothing may throw out
    // of the loader.
    try {
        DirectoryPath bin(root);
        bin.append("bin");
        // The path ends with "bin" and never with a separator.
        directories.push_back(bin.toString() + '\\');
    } catch (const std::bad_alloc&) {
        return;
    }
}

} // namespace

void SharedLibraryImpl::createSearchDirectories() {
    s_searchDirectories = new (std::nothrow) std::vector<std::string>;
}

void SharedLibraryImpl::destroySearchDirectories() {
    delete s_searchDirectories;
    s_searchDirectories = nullptr;
}

const std::vector<std::string>* SharedLibraryImpl::searchDirectories() {
    if (s_searchDirectories && !s_searchDirectoriesReady) {
        addRootBinDirectory(*s_searchDirectories);
        s_searchDirectoriesReady = true;
    }
    return s_searchDirectories;
}
