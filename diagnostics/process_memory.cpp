// Checked reads of process memory. Runs after the fault: no heap, VirtualQuery only.
#include "process_memory.h"

#include <cstring>

namespace {

const DWORD readableProtection = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY |
                                 PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                                 PAGE_EXECUTE_WRITECOPY;
const DWORD executableProtection =
    PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

bool queryRegion(ULONG_PTR address, MEMORY_BASIC_INFORMATION* region) {
    return VirtualQuery(reinterpret_cast<void*>(address), region, sizeof *region) != 0 &&
           region->State == MEM_COMMIT;
}

bool readableRegion(const MEMORY_BASIC_INFORMATION& region) {
    return (region.Protect & readableProtection) != 0 && (region.Protect & PAGE_GUARD) == 0;
}

ULONG_PTR regionEnd(const MEMORY_BASIC_INFORMATION& region) {
    return reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
}

} // namespace

bool isReadable(ULONG_PTR address, ULONG_PTR size) {
    if (address + size < address)
        return false;
    ULONG_PTR end = address + size;
    do {
        MEMORY_BASIC_INFORMATION region;
        if (!queryRegion(address, &region) || !readableRegion(region))
            return false;
        address = regionEnd(region);
    } while (address < end);
    return true;
}

bool readWord(ULONG_PTR address, ULONG_PTR* value) {
    if (!isReadable(address, sizeof *value))
        return false;
    std::memcpy(value, reinterpret_cast<const void*>(address), sizeof *value);
    return true;
}

bool isModuleCode(ULONG_PTR address) {
    MEMORY_BASIC_INFORMATION region;
    return queryRegion(address, &region) && region.Type == MEM_IMAGE &&
           (region.Protect & executableProtection) != 0 && (region.Protect & PAGE_GUARD) == 0;
}

// The committed regions of the stack's allocation lie above its guard page in one run, so
// the range grows region by region until the allocation or the committed run ends.
StackRange stackAbove(ULONG_PTR stackPointer) {
    StackRange range = {stackPointer, stackPointer};
    MEMORY_BASIC_INFORMATION region;
    if (!queryRegion(stackPointer, &region) || !readableRegion(region))
        return range;
    void* allocation = region.AllocationBase;
    range.high = regionEnd(region);
    while (queryRegion(range.high, &region) && region.AllocationBase == allocation &&
           readableRegion(region))
        range.high = regionEnd(region);
    return range;
}
