// Crash reports come home: at start, a thread of its own sends the reports that earlier runs
// left, through WinInet, so the game's first frame never waits for the network. Runs in a
// sound process; nothing here is on the crash path.
#include "PlatApp.h"
#include "contracts/diagnostics.h"
#include "crash/exception_report.h"
#include "crash/pending_reports.h"
#include "crash/upload_form.h"

#include <windows.h>
#include <wininet.h>

#include <string>

namespace {

const DWORD connectTimeout = 15000, transferTimeout = 60000;
const int textLimit = 2048;

struct UploadSettings {
    char url[textLimit];
    char product[256];
    char version[256];
};

UploadSettings g_settings;
volatile LONG g_uploadStarted = 0;
HMODULE g_self = nullptr;

bool fits(const char* text, int size) {
    return text && *text && lstrlenA(text) < size;
}

std::string readWholeFile(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(file, &bytes[0], DWORD(bytes.size()), &got, nullptr))
        got = 0;
    bytes.resize(got);
    CloseHandle(file);
    return bytes;
}

std::string fileNameOf(const std::string& path) {
    return path.substr(path.find_last_of('\\') + 1);
}

// One WinInet handle, closed when it goes.
struct Internet {
    HINTERNET handle;
    explicit Internet(HINTERNET h) : handle(h) {}
    ~Internet() {
        if (handle)
            InternetCloseHandle(handle);
    }
    Internet(const Internet&) = delete;
    Internet& operator=(const Internet&) = delete;
};

struct Address {
    bool secure;
    INTERNET_PORT port;
    char host[256];
    char path[textLimit];
};

bool crackAddress(const char* url, Address* address) {
    URL_COMPONENTSA parts;
    ZeroMemory(&parts, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = address->host;
    parts.dwHostNameLength = sizeof address->host;
    parts.lpszUrlPath = address->path;
    parts.dwUrlPathLength = sizeof address->path;
    if (!InternetCrackUrlA(url, 0, 0, &parts))
        return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return false;
    address->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    address->port = parts.nPort;
    if (!address->path[0])
        lstrcpynA(address->path, "/", sizeof address->path);
    return address->host[0] != 0;
}

// The server's status for one POST of the form, or 0 when none came.
DWORD post(HINTERNET session, const Address& address, const UploadForm& form) {
    Internet connection(InternetConnectA(session, address.host, address.port, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.handle)
        return 0;
    const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                        (address.secure ? INTERNET_FLAG_SECURE : 0);
    Internet request(HttpOpenRequestA(connection.handle, "POST", address.path, nullptr, nullptr,
                                      nullptr, flags, 0));
    if (!request.handle)
        return 0;
    const std::string headers = "Content-Type: " + form.contentType + "\r\n";
    if (!HttpSendRequestA(request.handle, headers.c_str(), DWORD(headers.size()),
                          const_cast<char*>(form.body.data()), DWORD(form.body.size())))
        return 0;
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoA(request.handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr))
        return 0;
    return status;
}

UploadForm formOf(const PendingReport& report) {
    const std::string log = readWholeFile(report.logPath);
    LogFacts facts = readLogFacts(log);
    std::vector<std::pair<std::string, std::string>> fields = {
        {"prod", g_settings.product}, {"ver", g_settings.version}, {"signature", facts.signature}};
    // An annotation named as one of the form's own fields stays out, rather than override it.
    for (const auto& annotation : facts.annotations) {
        const std::string& key = annotation.first;
        if (key != "prod" && key != "ver" && key != "signature" &&
            key.rfind("upload_file_", 0) != 0)
            fields.push_back(annotation);
    }
    return buildUploadForm(fields, {{"upload_file_minidump", fileNameOf(report.dumpPath),
                                     readWholeFile(report.dumpPath)},
                                    {"upload_file_errorlog", fileNameOf(report.logPath), log}});
}

// Beside the executable, and the per-user folder a refused report goes to.
std::vector<std::string> reportFolders() {
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0)
        return {};
    char drive[4], directory[256], baseName[256], extension[256];
    splitPath(path, drive, directory, baseName, extension);
    char programName[MAX_PATH], userFolder[MAX_PATH];
    wsprintfA(programName, "%s%s", baseName, extension);
    prepareFallbackFolder(baseName, programName, userFolder);
    std::vector<std::string> folders = {std::string(drive) + directory};
    if (*userFolder)
        folders.push_back(userFolder);
    return folders;
}

void sendPendingReports() {
    Address address;
    std::vector<PendingReport> reports =
        capPendingReports(findPendingReports(reportFolders()), Plat::App::pendingReportLimit,
                          Plat::App::pendingReportBytes);
    Internet session(InternetOpenA("GamePlatform crash upload", INTERNET_OPEN_TYPE_PRECONFIG,
                                   nullptr, nullptr, 0));
    int sent = 0;
    if (session.handle && crackAddress(g_settings.url, &address)) {
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT}) {
            DWORD timeout =
                option == INTERNET_OPTION_CONNECT_TIMEOUT ? connectTimeout : transferTimeout;
            InternetSetOptionA(session.handle, option, &timeout, sizeof timeout);
        }
        for (const PendingReport& report : reports) {
            const DWORD status = post(session.handle, address, formOf(report));
            if (status < 200 || status > 299) {
                dbTracefAux("Crash upload: %s stays pending (status %lu, error %lu)",
                            report.logPath.c_str(), static_cast<unsigned long>(status),
                            static_cast<unsigned long>(GetLastError()));
                continue;
            }
            removePendingReport(report);
            ++sent;
        }
    }
    dbTracefAux("Crash upload: %d sent, %d pending", sent, int(reports.size()) - sent);
}

// The thread keeps the library loaded while it runs, so a game that unloads it early does not
// pull the code from under it.
DWORD WINAPI uploadThread(void*) {
    sendPendingReports();
    FreeLibraryAndExitThread(g_self, 0);
}

} // namespace

bool Plat::App::EnableCrashUpload(const char* url, const char* product, const char* version,
                                  bool playerConsented) {
    if (!playerConsented || !fits(url, sizeof g_settings.url) ||
        !fits(product, sizeof g_settings.product) || !fits(version, sizeof g_settings.version))
        return false;
    Address address;
    if (!crackAddress(url, &address)) {
        dbTracefAux("EnableCrashUpload: %s is not an http or https address", url);
        return false;
    }
    if (InterlockedCompareExchange(&g_uploadStarted, 1, 0) != 0)
        return false;
    lstrcpynA(g_settings.url, url, sizeof g_settings.url);
    lstrcpynA(g_settings.product, product, sizeof g_settings.product);
    lstrcpynA(g_settings.version, version, sizeof g_settings.version);
    char self[MAX_PATH];
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(reinterpret_cast<void*>(&uploadThread), &region, sizeof region) ||
        !GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), self, MAX_PATH))
        return false;
    g_self = LoadLibraryA(self);
    HANDLE thread = g_self ? CreateThread(nullptr, 0, uploadThread, nullptr, 0, nullptr) : nullptr;
    if (!thread) {
        if (g_self)
            FreeLibrary(g_self);
        return false;
    }
    CloseHandle(thread);
    return true;
}
