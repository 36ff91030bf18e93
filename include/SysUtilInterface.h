// Small system services for the game: quit, file times, URLs, the executable's path.
#pragma once

#include "PlatformExport.h"

#include <string>

// Failures report nothing; each is only its result (0 or false).
class PLAT_API SysUtilInterface {
public:
    SysUtilInterface();
    SysUtilInterface(const SysUtilInterface&);
    SysUtilInterface& operator=(const SysUtilInterface&);

    // Queues WM_QUIT for the calling thread only, so call it on the thread that pumps the
    // main loop: its pumpMessages then answers false.
    virtual void postQuit(int exitCode) = 0;
    // Last modification, in seconds since 1 January 1970 UTC; 0 when the file cannot be
    // examined (a file stamped exactly 0 reads the same).
    virtual long getFileTime(const char* path) = 0;
    // Splits a URL into host name and path (from its first slash); on failure both strings
    // keep what they held. The strings are assigned inside the platform DLL, so a game
    // module links the memory library's operators like every module of the product.
    virtual bool splitUrl(const char* url, std::string& host, std::string& path) = 0;
    // The executable's full path, cut to fit and always terminated; false when nothing
    // was written (also for a null buffer or size 0).
    virtual bool getExecutablePath(char* buffer, unsigned size) = 0;

    // The library's utility service, or null outside the library's lifetime.
    static SysUtilInterface* i();

protected:
    virtual ~SysUtilInterface();
};
