// The cost of the crash report: the whole report (log and minidump) against the minidump
// alone, for a live process with the platform's modules loaded; what the annotations, recent
// events and signature add to it; and the heap allocations of an annotation and a breadcrumb
// (none). Runs the library's own report code, so it links the library's objects rather than
// the DLL.
#include "PlatApp.h"
#include "contracts/diagnostics.h"
#include "contracts/memory.h"
#include "crash/exception_report.h"
#include "support/import_patch.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string besideExecutable(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path);
    return directory.substr(0, directory.find_last_of('\\') + 1) + name;
}

// Removes the report files the runs left beside the executable.
void removeReports() {
    for (const char* pattern : {"*_ErrorLog.txt", "*_MiniDump.dmp"}) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(besideExecutable(pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do
            DeleteFileA(besideExecutable(found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
}

// Every heap allocation of the library's code and the diagnostics library: the memory
// library's, the runtime's and the system heap's.
unsigned g_heapCalls = 0;
void* __cdecl countedMalloc(size_t size) {
    ++g_heapCalls;
    return std::malloc(size);
}
LPVOID WINAPI countedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    ++g_heapCalls;
    return HeapAlloc(heap, flags, size);
}

template <class Body> unsigned heapAllocations(Body body) {
    HMODULE modules[] = {GetModuleHandleA(nullptr), GetModuleHandleA("diagnostics.dll")};
    ImportPatch patches[] = {{modules[0], "msvcrt.dll", "malloc", countedMalloc},
                             {modules[0], "kernel32.dll", "HeapAlloc", countedHeapAlloc},
                             {modules[1], "msvcrt.dll", "malloc", countedMalloc},
                             {modules[1], "kernel32.dll", "HeapAlloc", countedHeapAlloc}};
    MemStats before, after;
    MemGetStats(&before);
    g_heapCalls = 0;
    body();
    MemGetStats(&after);
    return g_heapCalls + unsigned(after.allocations[0] + after.allocations[1] -
                                  before.allocations[0] - before.allocations[1]);
}

// The size of the newest error log and of the part before its annotations.
void measureLog(DWORD* whole, DWORD* before, DWORD* dump) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(besideExecutable("*_ErrorLog.txt").c_str(), &found);
    std::string log;
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        log.resize(found.nFileSizeLow);
        HANDLE file = CreateFileA(besideExecutable(found.cFileName).c_str(), GENERIC_READ, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD got = 0;
        ReadFile(file, &log[0], DWORD(log.size()), &got, nullptr);
        CloseHandle(file);
    }
    *whole = DWORD(log.size());
    *before = DWORD(log.find("\r\nAnnotations:\r\n"));
    search = FindFirstFileA(besideExecutable("*_MiniDump.dmp").c_str(), &found);
    *dump = search == INVALID_HANDLE_VALUE ? 0 : found.nFileSizeLow;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

template <class Body> double millisecondsPerRun(int runs, Body body) {
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < runs; ++i)
        body();
    QueryPerformanceCounter(&stop);
    return double(stop.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart) / runs;
}

} // namespace

int main() {
    CONTEXT context;
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.NumberParameters = 2;
    record.ExceptionInformation[1] = 16;
    EXCEPTION_POINTERS info = {&record, &context};
    // Prepares what the filter's installation prepares, and binds dbghelp.
    prepareReportFacts();
    dbPrepareCrashServices();

    const int runs = 5;
    std::string dump = besideExecutable("bench_MiniDump.dmp");
    double dumpOnly = millisecondsPerRun(runs, [&] { dbSaveMiniDump(dump.c_str(), &info); });
    double report = millisecondsPerRun(runs, [&] { recordExceptionInfo(&info); });
    std::printf("== crashReport\n");
    std::printf("%-44s ours %9.1f ms  raw %9.1f ms  ratio %5.2fx\n",
                "whole report vs MiniDumpWriteDump alone", report, dumpOnly,
                dumpOnly > 0 ? report / dumpOnly : 0.0);
    DeleteFileA(dump.c_str());

    // A game's usual context: 8 annotations and a full ring of events, each of a common size.
    unsigned annotationHeap = heapAllocations([] {
        char key[8] = "key0";
        for (; key[3] < '8'; ++key[3])
            Plat::App::SetCrashAnnotation(key, "a value of forty characters, like a path");
    });
    unsigned breadcrumbHeap = heapAllocations([] {
        for (int i = 0; i < dbRecentCapacity; ++i)
            Plat::App::AddCrashBreadcrumb("entered the harbour level with 4 players on 2 teams");
    });
    ExceptionReport* sections = new ExceptionReport();
    sections->exceptionRecord = &record;
    sections->contextRecord = &context;
    sections->reportFile =
        CreateFileA(besideExecutable("bench_sections.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                    CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    double added = millisecondsPerRun(runs, [&] {
        writeAnnotations(sections);
        writeRecentEvents(sections);
        writeSignature(sections, &info);
    });
    CloseHandle(sections->reportFile);
    delete sections;
    std::printf("%-44s ours %9.2f ms  whole %9.1f ms  share %5.1f%%\n",
                "annotations, events, signature: time", added, report,
                report > 0 ? 100.0 * added / report : 0.0);
    removeReports();
    recordExceptionInfo(&info);
    DWORD log = 0, before = 0, dumpBytes = 0;
    measureLog(&log, &before, &dumpBytes);
    std::printf("%-44s %6lu of %lu bytes (log %lu)  %5.1f%%\n",
                "annotations, events, signature in the report", log - before, log + dumpBytes, log,
                100.0 * (log - before) / double(log + dumpBytes));
    std::printf("%-44s %u\n", "heap allocations, 8 SetCrashAnnotation", annotationHeap);
    std::printf("%-44s %u\n", "heap allocations, 64 AddCrashBreadcrumb", breadcrumbHeap);
    removeReports();
    return 0;
}
