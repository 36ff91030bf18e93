// Directory paths rebuilt from their components, for the loader's search directories.
#include "sys/directory_path.h"

#include <cstring>

namespace {

const char* const separators = "\\/";

} // namespace

DirectoryPath::DirectoryPath(const char* text) {
    append(text);
}

void DirectoryPath::append(const char* text) {
    if (!text)
        return;
    while (*text) {
        size_t length = std::strcspn(text, separators);
        if (length > 0)
            m_components.emplace_back(text, length);
        text += length;
        text += std::strspn(text, separators);
    }
}

std::string DirectoryPath::toString() const {
    std::string joined;
    for (const std::string& component : m_components) {
        if (!joined.empty())
            joined += '\\';
        joined += component;
    }
    return joined;
}
