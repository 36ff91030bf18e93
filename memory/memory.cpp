// The memory library: blocks from the process heap behind a small header that
// records size and kind, so releases can be checked and statistics kept.
#include "contracts/memory.h"

#include <windows.h>

namespace {

const unsigned blockMagic = 0x4D454D42; // "MEMB"
const ULONG_PTR blockAlignment = 16;

// Sits directly before the caller's block. The process heap aligns to 8 bytes on 32-bit
// Windows, so each block is placed at the next 16-byte boundary and remembers where its
// heap block starts.
struct alignas(blockAlignment) BlockHeader {
    unsigned long long size;
    void* heapBlock;
    int kind;
    unsigned magic;
};

// A critical section, since the reader-writer locks came only with Vista. Initialised by
// the library's own static initialiser, which runs before any module that imports it.
struct StatsLock {
    CRITICAL_SECTION section;
    StatsLock() { InitializeCriticalSection(&section); }
    ~StatsLock() { DeleteCriticalSection(&section); }
};
StatsLock g_statsLock;
MemStats g_stats;
// Allocations still to go before the one that a test asked to fail; 0 when none is asked.
unsigned g_failCountdown = 0;

struct StatsGuard {
    StatsGuard() { EnterCriticalSection(&g_statsLock.section); }
    ~StatsGuard() { LeaveCriticalSection(&g_statsLock.section); }
};

bool isKnownKind(int kind) {
    return kind == memKindSingle || kind == memKindArray;
}

BlockHeader* headerOf(void* block) {
    return static_cast<BlockHeader*>(block) - 1;
}

void recordAllocation(int kind, unsigned long long size) {
    StatsGuard guard;
    ++g_stats.liveBlocks[kind];
    g_stats.liveBytes[kind] += size;
    ++g_stats.allocations[kind];
}

// True for the allocation that MemFailAllocationAfter picked, which ends the countdown.
bool injectedFailure() {
    StatsGuard guard;
    return g_failCountdown != 0 && --g_failCountdown == 0;
}

void recordRelease(int kind, unsigned long long size, bool kindMatches) {
    StatsGuard guard;
    --g_stats.liveBlocks[kind];
    g_stats.liveBytes[kind] -= size;
    if (!kindMatches)
        ++g_stats.mismatchedReleases;
}

void recordForeignRelease() {
    StatsGuard guard;
    ++g_stats.mismatchedReleases;
}

} // namespace

void* MemCRTAlloc(unsigned size, int kind) {
    if (!isKnownKind(kind))
        return nullptr;
    const SIZE_T overhead = sizeof(BlockHeader) + blockAlignment;
    if (size > ~SIZE_T(0) - overhead || injectedFailure())
        return nullptr;
    void* raw = HeapAlloc(GetProcessHeap(), 0, overhead + size);
    if (!raw)
        return nullptr;
    ULONG_PTR block =
        (reinterpret_cast<ULONG_PTR>(raw) + sizeof(BlockHeader) + blockAlignment - 1) &
        ~(blockAlignment - 1);
    BlockHeader* header = headerOf(reinterpret_cast<void*>(block));
    header->heapBlock = raw;
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
    HeapFree(GetProcessHeap(), 0, header->heapBlock);
}

void MemGetStats(MemStats* stats) {
    if (!stats)
        return;
    StatsGuard guard;
    *stats = g_stats;
}

unsigned MemFailAllocationAfter(unsigned n) {
    StatsGuard guard;
    const unsigned left = g_failCountdown;
    g_failCountdown = n;
    return left;
}
