// The memory library: blocks from the process heap behind a small header that
// records size and kind, so releases can be checked and statistics kept.
#include "contracts/memory.h"

#include <windows.h>

namespace {

const unsigned blockMagic = 0x4D454D42; // "MEMB"

// 16 bytes keep the caller's block aligned for any type on both architectures.
struct alignas(16) BlockHeader {
    unsigned long long size;
    int kind;
    unsigned magic;
};

SRWLOCK g_statsLock = SRWLOCK_INIT;
MemStats g_stats;

bool isKnownKind(int kind) {
    return kind == memKindSingle || kind == memKindArray;
}

BlockHeader* headerOf(void* block) {
    return static_cast<BlockHeader*>(block) - 1;
}

void recordAllocation(int kind, unsigned long long size) {
    AcquireSRWLockExclusive(&g_statsLock);
    ++g_stats.liveBlocks[kind];
    g_stats.liveBytes[kind] += size;
    ++g_stats.allocations[kind];
    ReleaseSRWLockExclusive(&g_statsLock);
}

void recordRelease(int kind, unsigned long long size, bool kindMatches) {
    AcquireSRWLockExclusive(&g_statsLock);
    --g_stats.liveBlocks[kind];
    g_stats.liveBytes[kind] -= size;
    if (!kindMatches)
        ++g_stats.mismatchedReleases;
    ReleaseSRWLockExclusive(&g_statsLock);
}

void recordForeignRelease() {
    AcquireSRWLockExclusive(&g_statsLock);
    ++g_stats.mismatchedReleases;
    ReleaseSRWLockExclusive(&g_statsLock);
}

} // namespace

void* MemCRTAlloc(unsigned size, int kind) {
    if (!isKnownKind(kind))
        return nullptr;
    void* raw = HeapAlloc(GetProcessHeap(), 0, sizeof(BlockHeader) + size);
    if (!raw)
        return nullptr;
    BlockHeader* header = static_cast<BlockHeader*>(raw);
    header->size = size;
    header->kind = kind;
    header->magic = blockMagic;
    recordAllocation(kind, size);
    return header + 1;
}

void MemCRTFree(void* block, int kind) {
    if (!block)
        return;
    BlockHeader* header = headerOf(block);
    // A block we never handed out is left alone: freeing it would corrupt the heap.
    if (header->magic != blockMagic || !isKnownKind(header->kind)) {
        recordForeignRelease();
        return;
    }
    header->magic = 0;
    recordRelease(header->kind, header->size, kind == header->kind + memKindReleaseOffset);
    HeapFree(GetProcessHeap(), 0, header);
}

void MemGetStats(MemStats* stats) {
    if (!stats)
        return;
    AcquireSRWLockShared(&g_statsLock);
    *stats = g_stats;
    ReleaseSRWLockShared(&g_statsLock);
}
