// A directory held as its components, whatever separators the text was written with.
#pragma once

#include <string>
#include <vector>

class DirectoryPath {
public:
    // Cuts text at every backslash and forward slash and keeps the non-empty pieces, so
    // doubled, leading and trailing separators vanish. Null is the empty path.
    explicit DirectoryPath(const char* text);

    // Adds the pieces of text, cut the same way, at the end.
    void append(const char* text);
    // The components joined by single backslashes, with no leading or trailing one.
    std::string toString() const;

private:
    std::vector<std::string> m_components;
};
