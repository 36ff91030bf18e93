// The system utilities' private implementation.
#pragma once

#include "SysUtilInterface.h"

class SysUtilImpl : public SysUtilInterface {
public:
    void postQuit(int exitCode) override;
    long getFileTime(const char* path) override;
    bool splitUrl(const char* url, std::string& host, std::string& path) override;
    bool getExecutablePath(char* buffer, unsigned size) override;
};

// The service's instance pointer, which SysUtilInterface::i() returns.
extern SysUtilImpl* g_sysUtilImpl;

// Row 5 of the service table, registered as "SysUtil".
bool createSysUtilService();
bool destroySysUtilService();
