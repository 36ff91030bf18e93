// The string-table library: localised texts from the game module's string table.
#pragma once

#include <string>

#ifdef STRINGTABLE_BUILD
#define LOC_API __declspec(dllexport)
#else
#define LOC_API __declspec(dllimport)
#endif

class LOC_API Localizer {
public:
    // The string with this id from the executable's resources; empty when there is none.
    static std::wstring GetString(int id);
};
