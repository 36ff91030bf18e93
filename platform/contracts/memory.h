// The memory library: every heap block of the platform comes from here.
#pragma once

#ifdef MEMORY_BUILD
#define MEM_API __declspec(dllexport)
#else
#define MEM_API __declspec(dllimport)
#endif

// Which operator asked: a release passes the allocation's kind plus 10.
enum MemKind { memKindSingle = 0, memKindArray = 1, memKindReleaseOffset = 10 };

// Heap statistics per allocation kind (0 single, 1 array).
struct MemStats {
    unsigned liveBlocks[2];
    unsigned long long liveBytes[2];
    unsigned long long allocations[2]; // every successful allocation since load
    unsigned mismatchedReleases;       // releases whose kind did not match the allocation
};

extern "C" {
// Returns a block of at least size bytes, or null.
MEM_API void* MemCRTAlloc(unsigned size, int kind);
// Returns a block; null is ignored.
MEM_API void MemCRTFree(void* block, int kind);
// Copies the current statistics; safe to call from any thread.
MEM_API void MemGetStats(MemStats* stats);
// Test hook: the n-th allocation from now returns null, and only that one; 0 turns it off.
// Returns how many allocations the previous setting still had to wait for, so 0 once the
// failure has been handed out.
MEM_API unsigned MemFailAllocationAfter(unsigned n);
}
