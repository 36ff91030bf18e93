// The system utilities: quit, file modification times, URL splitting, the executable path.
#include "sys/sys_util_impl.h"

#include "registry/interface_members.h"
#include "registry/service_lifetime.h"

#include <windows.h>
#include <wininet.h>

#include <sys/stat.h>

#include <cstring>
#include <new>

SysUtilImpl* g_sysUtilImpl = nullptr;

namespace {

const char* const sysUtilServiceName = "SysUtil";

// One part of a cracked URL; the system may leave the pointer null for an absent part.
std::string urlPart(const char* text, DWORD length) {
    return text ? std::string(text, length) : std::string();
}

} // namespace

DEFINE_INTERFACE_MEMBERS(SysUtilInterface)

SysUtilInterface* SysUtilInterface::i() {
    return g_sysUtilImpl;
}

void SysUtilImpl::postQuit(int exitCode) {
    PostQuitMessage(exitCode);
}

long SysUtilImpl::getFileTime(const char* path) {
    struct _stat status;
    if (!path || _stat(path, &status) == -1)
        return 0;
    return static_cast<long>(status.st_mtime);
}

bool SysUtilImpl::splitUrl(const char* url, std::string& host, std::string& path) {
    if (!url)
        return false;
    URL_COMPONENTSA parts = {};
    static_assert(sizeof(void*) != 4 || sizeof parts == 60, "the 32-bit record is 60 bytes");
    parts.dwStructSize = sizeof parts;
    // A length of 1 with a null text asks for a pointer into the URL itself.
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    if (!InternetCrackUrlA(url, static_cast<DWORD>(std::strlen(url)), 0, &parts))
        return false;
    // Out of memory is a failed split, not an exception across the module boundary.
    try {
        host = urlPart(parts.lpszHostName, parts.dwHostNameLength);
        path = urlPart(parts.lpszUrlPath, parts.dwUrlPathLength);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool SysUtilImpl::getExecutablePath(char* buffer, unsigned size) {
    if (!buffer || size == 0)
        return false;
    DWORD written = GetModuleFileNameA(nullptr, buffer, size);
    // NOTE: Windows XP and older leave a cut path unterminated; later systems end it at
    // size - 1, so terminating there keeps both the same.
    if (written >= size)
        buffer[size - 1] = '\0';
    return written > 0;
}

bool createSysUtilService() {
    return createService(g_sysUtilImpl, sysUtilServiceName);
}

bool destroySysUtilService() {
    return destroyService(g_sysUtilImpl, sysUtilServiceName);
}
