// The service registration table and the two walks that create and destroy every service.
#pragma once

// label is for people reading the table; services are found by their registered names.
struct ServiceRegistration {
    const char* label;
    bool (*create)();
    bool (*destroy)();
};

// Calls each row's create function, first row to last; null functions are passed over and
// results are ignored.
void createServices(const ServiceRegistration* table, unsigned rows);
// Calls each row's destroy function, last row to first, with the same rules.
void destroyServices(const ServiceRegistration* table, unsigned rows);

// The walks over the library's own table: the registry first, the main loop last.
void createAllServices();
void destroyAllServices();
