// Reading back what the library reported through the diagnostics library.
#pragma once

#include "contracts/diagnostics.h"

#include <vector>

inline std::vector<DbRecord> recordsSince(unsigned firstIndex) {
    std::vector<DbRecord> records;
    DbRecord record;
    for (unsigned index = firstIndex; dbReadRecord(index, &record); ++index)
        records.push_back(record);
    return records;
}

// The newest record, or one of kind -1 when the store is empty (index 0 - 1 reads nothing).
inline DbRecord lastRecord() {
    DbRecord record = {};
    record.kind = -1;
    dbReadRecord(dbRecordCount() - 1, &record);
    return record;
}
