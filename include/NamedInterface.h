// The registry of services and factories by name.
#pragma once

#include "PlatformExport.h"

// Maps names (compared byte for byte, case-sensitively) to untyped pointers in two
// independent tables. The registry never calls, copies or frees what it stores.
// A null name is never stored (adds and removes answer false) and a lookup of it misses,
// reported as '(null)'; the empty name is a name like any other.
// Not safe against concurrent changes: serialise your own adds and removes.
class PLAT_API NamedInterface {
public:
    NamedInterface();
    NamedInterface(const NamedInterface&);
    NamedInterface& operator=(const NamedInterface&);

    // The object registered under name; a missing name is reported as a fatal error and gives null.
    virtual void* getInterface(const char* name) = 0;
    // The factory registered under name; a missing name is reported as a fatal error and gives
    // null.
    virtual void* getFactory(const char* name) = 0;
    // Appends an entry; false (and nothing changes) if the name is taken or memory runs out.
    virtual bool addInterface(const char* name, void* object) = 0;
    virtual bool addFactory(const char* name, void* factory) = 0;
    // Erases the entry (never the object); false if the name is absent.
    virtual bool removeInterface(const char* name) = 0;
    virtual bool removeFactory(const char* name) = 0;

    // The library's registry, or null before load and after unload.
    static NamedInterface* i();

protected:
    virtual ~NamedInterface();
};
