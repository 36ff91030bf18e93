// The special members every exported interface class shares: they make the object an
// instance of the class and copy nothing, since interfaces have no data.
#pragma once

#define DEFINE_INTERFACE_MEMBERS(Interface)                                                        \
    Interface::Interface() {}                                                                      \
    Interface::Interface(const Interface&) {}                                                      \
    Interface& Interface::operator=(const Interface&) {                                            \
        return *this;                                                                              \
    }                                                                                              \
    Interface::~Interface() {}
