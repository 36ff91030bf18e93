// Global allocation operators routed to the memory library. Linked into every
// module of the product so that a block made in one DLL can be released in another.
#include "contracts/memory.h"

#include <new>

namespace {

void* allocateOrThrow(std::size_t size, int kind) {
    void* block = MemCRTAlloc(static_cast<unsigned>(size), kind);
    if (!block)
        throw std::bad_alloc();
    return block;
}

} // namespace

void* operator new(std::size_t size) {
    return allocateOrThrow(size, memKindSingle);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size, memKindArray);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return MemCRTAlloc(static_cast<unsigned>(size), memKindSingle);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return MemCRTAlloc(static_cast<unsigned>(size), memKindArray);
}

void operator delete(void* block) noexcept {
    MemCRTFree(block, memKindSingle + memKindReleaseOffset);
}
void operator delete[](void* block) noexcept {
    MemCRTFree(block, memKindArray + memKindReleaseOffset);
}
void operator delete(void* block, std::size_t) noexcept {
    MemCRTFree(block, memKindSingle + memKindReleaseOffset);
}
void operator delete[](void* block, std::size_t) noexcept {
    MemCRTFree(block, memKindArray + memKindReleaseOffset);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    MemCRTFree(block, memKindSingle + memKindReleaseOffset);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    MemCRTFree(block, memKindArray + memKindReleaseOffset);
}
