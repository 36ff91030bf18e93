// The QVX_Root cleaning: DirectoryPath over a fuzzed root and a fuzzed appended part, split
// at the input's first NUL. The cleaned text must be the reference's components joined by
// single backslashes, no longer than what it was made from, and unchanged when cleaned again.
#include "sys/directory_path.h"

#include "fuzz_support.h"

#include <string>
#include <vector>

namespace {

// The pieces between separators, collected one character at a time.
std::vector<std::string> referenceComponents(const std::string& text) {
    std::vector<std::string> components(1);
    for (char c : text) {
        if (c != '\\' && c != '/')
            components.back() += c;
        else if (!components.back().empty())
            components.emplace_back();
    }
    if (components.back().empty())
        components.pop_back();
    return components;
}

std::string referenceJoin(const std::vector<std::string>& components) {
    std::string joined;
    for (const std::string& component : components)
        joined += (joined.empty() ? "" : "\\") + component;
    return joined;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzStrings strings(data, size);
    const std::string root = strings.at(0);
    const char* appended = strings.count() > 1 ? strings.at(1) : nullptr;

    DirectoryPath path(root.c_str());
    path.append(appended);
    const std::string cleaned = path.toString();

    std::vector<std::string> components = referenceComponents(root);
    for (const std::string& component : referenceComponents(appended ? appended : ""))
        components.push_back(component);
    REQUIRE(cleaned == referenceJoin(components));
    REQUIRE(cleaned.size() <= root.size() + 1 + (appended ? std::strlen(appended) : 0));
    REQUIRE(DirectoryPath(cleaned.c_str()).toString() == cleaned);
    REQUIRE(DirectoryPath(nullptr).toString().empty());
    return 0;
}
