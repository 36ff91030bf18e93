// What the fuzz targets share: a failed invariant stops the run, and the input cut into strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

// Stops the run with the broken invariant's text; libFuzzer then saves the input.
#define REQUIRE(condition)                                                                         \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// The input cut into strings at its NUL bytes. Each string lives in a heap block of exactly
// its length plus the terminator, and the pointer array is exactly as long as the count, so
// AddressSanitizer reports any read past the end of either.
class FuzzStrings {
public:
    // Every NUL ends a string, so n NULs give n + 1 strings.
    FuzzStrings(const std::uint8_t* data, std::size_t size) {
        const std::uint8_t* const end = data + size;
        for (;;) {
            const void* nul = data < end ? std::memchr(data, 0, end - data) : nullptr;
            const std::uint8_t* stop = nul ? static_cast<const std::uint8_t*>(nul) : end;
            m_blocks.emplace_back(new char[stop - data + 1]);
            if (stop > data)
                std::memcpy(m_blocks.back().get(), data, stop - data);
            m_blocks.back()[stop - data] = '\0';
            if (!nul)
                return;
            data = stop + 1;
        }
    }

    int count() const { return static_cast<int>(m_blocks.size()); }
    const char* at(int index) const { return m_blocks[index].get(); }

    typedef std::unique_ptr<char*[]> Vector;

    // The strings from first on as an exact-length array, as the runtime's argv would be.
    Vector vector(int first) const {
        Vector pointers(new char*[m_blocks.size() - first]);
        for (std::size_t index = first; index < m_blocks.size(); ++index)
            pointers[index - first] = m_blocks[index].get();
        return pointers;
    }

private:
    std::vector<std::unique_ptr<char[]>> m_blocks;
};
