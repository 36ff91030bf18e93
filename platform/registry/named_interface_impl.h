// The registry's private implementation: two lists of named entries.
#pragma once

#include "NamedInterface.h"

#include <list>
#include <string>

struct RegistryEntry {
    void* object; // never called, copied or freed by the registry
    std::string name;
};

class NamedInterfaceImpl : public NamedInterface {
public:
    NamedInterfaceImpl();
    ~NamedInterfaceImpl() override;

    void* getInterface(const char* name) override;
    void* getFactory(const char* name) override;
    bool addInterface(const char* name, void* object) override;
    bool addFactory(const char* name, void* factory) override;
    bool removeInterface(const char* name) override;
    bool removeFactory(const char* name) override;

    // False when either table could not be allocated.
    bool hasTables() const;

private:
    typedef std::list<RegistryEntry> Table;

    Table* m_interfaces;
    Table* m_factories;
};

// Row 1 of the service table: the registry is created first and destroyed last.
bool createRegistry();
bool destroyRegistry();
