// The create and destroy shape shared by every service row after the registry.
#pragma once

#include "NamedInterface.h"

#include <new>

// Allocates and constructs the service (null if memory runs out), publishes it through its
// instance pointer and registers it. The registration result is not looked at.
template <class Impl> bool createService(Impl*& instance, const char* name) {
    instance = new (std::nothrow) Impl;
    if (NamedInterface* registry = NamedInterface::i())
        registry->addInterface(name, instance);
    return true;
}

// Unregisters the service, destroys it and clears its instance pointer.
template <class Impl> bool destroyService(Impl*& instance, const char* name) {
    bool removed = false;
    if (NamedInterface* registry = NamedInterface::i())
        removed = registry->removeInterface(name);
    delete instance;
    instance = nullptr;
    return removed;
}
