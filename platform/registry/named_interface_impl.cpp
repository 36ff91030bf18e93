// The registry: linear lists searched by exact name, as the tables stay short.
#include "registry/named_interface_impl.h"

#include "contracts/diagnostics.h"
#include "registry/interface_members.h"

#include <cstring>
#include <new>

namespace {

NamedInterfaceImpl* g_registry = nullptr;

// The file name fatal reports give for lookups that miss.
const char* const registrySourceName = "NamedInterface";
const unsigned missingInterfaceLine = 86;
const unsigned missingFactoryLine = 109;

typedef std::list<RegistryEntry> Table;

// A null name is never registered, so it is never found.
Table::iterator find(Table& table, const char* name) {
    if (!name)
        return table.end();
    for (Table::iterator entry = table.begin(); entry != table.end(); ++entry) {
        if (std::strcmp(entry->name.c_str(), name) == 0)
            return entry;
    }
    return table.end();
}

void* lookup(Table& table, const char* name, unsigned line, const char* format) {
    Table::iterator entry = find(table, name);
    if (entry != table.end())
        return entry->object;
    g_dbFilename = registrySourceName;
    g_dbLineNum = line;
    dbFatalfAux(format, name ? name : "(null)");
    return nullptr;
}

// The entry's node and name copy come from the heap; when it runs out the entry is not added
// and nothing changes, as for a name that is taken.
bool add(Table& table, const char* name, void* object) {
    if (!name || find(table, name) != table.end())
        return false;
    try {
        table.push_back(RegistryEntry{object, name});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool remove(Table& table, const char* name) {
    Table::iterator entry = find(table, name);
    if (entry == table.end())
        return false;
    table.erase(entry);
    return true;
}

} // namespace

DEFINE_INTERFACE_MEMBERS(NamedInterface)

NamedInterface* NamedInterface::i() {
    return g_registry;
}

NamedInterfaceImpl::NamedInterfaceImpl()
    : m_interfaces(new (std::nothrow) Table), m_factories(new (std::nothrow) Table) {}

// Frees the entries only; whoever registered the objects still owns them.
NamedInterfaceImpl::~NamedInterfaceImpl() {
    delete m_factories;
    m_factories = nullptr;
    delete m_interfaces;
    m_interfaces = nullptr;
}

bool NamedInterfaceImpl::hasTables() const {
    return m_interfaces && m_factories;
}

void* NamedInterfaceImpl::getInterface(const char* name) {
    return lookup(*m_interfaces, name, missingInterfaceLine, "Cannot find interface '%s'");
}

void* NamedInterfaceImpl::getFactory(const char* name) {
    return lookup(*m_factories, name, missingFactoryLine, "Cannot find factory '%s'");
}

bool NamedInterfaceImpl::addInterface(const char* name, void* object) {
    return add(*m_interfaces, name, object);
}

bool NamedInterfaceImpl::addFactory(const char* name, void* factory) {
    return add(*m_factories, name, factory);
}

bool NamedInterfaceImpl::removeInterface(const char* name) {
    return remove(*m_interfaces, name);
}

bool NamedInterfaceImpl::removeFactory(const char* name) {
    return remove(*m_factories, name);
}

bool createRegistry() {
    g_registry = new (std::nothrow) NamedInterfaceImpl;
    // Without both tables the registry could hold nothing: it is dropped, so the services are
    // left unregistered exactly as when the registry itself could not be allocated.
    if (g_registry && !g_registry->hasTables())
        destroyRegistry();
    return true;
}

bool destroyRegistry() {
    delete g_registry;
    g_registry = nullptr;
    return true;
}
