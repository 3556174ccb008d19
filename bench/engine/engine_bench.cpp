// Times the engine on a prepared tree, for bench/engine/run.sh:
//   engine_bench copy  SOURCE TARGET PATTERNS  filtered copy (both passes)
//   engine_bench move  SOURCE TARGET PATTERNS  filtered move (both passes)
//   engine_bench recycle SOURCE PATTERNS       filtered delete to the Recycle Bin
//   engine_bench count SOURCE [TARGET]         counting pass of a copy only
//   engine_bench walk  SOURCE                  bare recursive enumeration (baseline)
// Prints one line of key=value pairs with the time in milliseconds.
#include <windows.h>

#include "engine/EngineSinks.h"
#include "engine/FileTreeSetting.h"
#include "engine/SourceWalk.h"

#include <cstdio>
#include <cwchar>
#include <string>

using namespace sorvane;

namespace {

// Stand-ins for the dialog and the report that only count what they get.
class CountingProgress : public IProgressSink {
public:
    void SetFolderText(const wchar_t*) override { ++texts; }
    void SetFileText(const wchar_t*) override { ++texts; }
    void UpdateCounters(bool) override { ++updates; }
    unsigned long long texts = 0, updates = 0;
};
class CountingLog : public ILogSink {
public:
    // A plain success, a row with a reason or a failure, anything else.
    void WriteOutcome(const wchar_t*, const Outcome& outcome) override
    {
        if (outcome.reason != kReasonNone || outcome.status == kStatusFailed || outcome.status == kStatusFolderFailed) {
            ++failed;
        } else if (outcome.status == kStatusSuccess || outcome.status == kStatusVerified) {
            ++ok;
        } else {
            ++other;
        }
    }
    unsigned long long ok = 0, other = 0, failed = 0;
};

double nowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

unsigned long long bareWalk(std::wstring folder)
{
    unsigned long long files = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (found.cFileName[0] == L'.' &&
            (found.cFileName[1] == 0 || (found.cFileName[1] == L'.' && found.cFileName[2] == 0))) {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) files += bareWalk(folder + L"\\" + found.cFileName);
        else ++files;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return files;
}

int usage()
{
    std::fwprintf(stderr, L"usage: engine_bench copy|move SOURCE TARGET PATTERNS | recycle SOURCE PATTERNS |\n"
                          L"       count SOURCE [TARGET] | walk SOURCE\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return usage();
    const std::wstring mode = argv[1];
    if (mode == L"walk") {
        const double start = nowMs();
        const unsigned long long files = bareWalk(argv[2]);
        std::printf("mode=walk files=%llu ms=%.1f\n", files, nowMs() - start);
        return 0;
    }

    FILE_TREE_SETTING settings;
    CountingProgress progress;
    CountingLog log;
    settings.progress = &progress;
    settings.log = &log;
    settings.setSources(argv[2]);
    const bool executes = mode != L"count";
    if (mode == L"copy" || mode == L"move") {
        if (argc < 5) return usage();
        settings.operation = mode == L"copy" ? kOperationCopy : kOperationMove;
        settings.setTarget(argv[3]);
        settings.setPatterns(argv[4]);
        ::CharUpperW(settings.patterns);
    } else if (mode == L"recycle") {
        if (argc < 4) return usage();
        settings.operation = kOperationDelete;
        settings.overwrite = 1; // the Recycle Bin
        settings.setPatterns(argv[3]);
        ::CharUpperW(settings.patterns);
    } else if (mode == L"count") {
        settings.operation = kOperationCopy;
        settings.setTarget(argc > 3 ? argv[3] : L"C:\\sorvane-bench-unused");
        settings.setPatterns(L"*.*");
    } else {
        return usage();
    }

    const double start = nowMs();
    settings.operation |= kCountingPassFlag;
    processSourceList(settings);
    settings.operation &= ~kCountingPassFlag;
    const double counted = nowMs();
    if (executes) processSourceList(settings);
    const double end = nowMs();

    std::printf("mode=%ls scanned=%u total=%u bytes=%llu completed=%u failed=%u count_ms=%.1f copy_ms=%.1f ms=%.1f\n",
                mode.c_str(), settings.scannedFiles.load(), settings.totalFiles.load(),
                static_cast<unsigned long long>(settings.totalBytes), settings.completedFiles.load(),
                settings.failedFiles.load(),
                counted - start, end - counted, end - start);
    return settings.failedFiles == 0 && log.failed == 0 ? 0 : 1;
}
