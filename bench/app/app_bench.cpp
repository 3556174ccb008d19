// The contenders of bench/app/run.sh that run under Wine (not a test; it
// prints figures). Each mode prints one line of key=value pairs.
//
//   app_bench program EXE copy|move|delete SOURCE TARGET PATTERNS
//       Starts the real Sorvane.exe as the Explorer extension starts it
//       (ShellExecuteW from the program's folder, the selection being every
//       item of SOURCE, the hand-off file when the list is long), fills its
//       operation dialog (target, patterns; a delete keeps the dialog's own
//       "Send to the Recycle Bin"), presses Start and times from there to
//       the moment the progress dialog shows "Completed": the worker closes
//       the report before it says so. Then checks that the report is closed
//       and complete, counts its rows, presses "Completed" and waits for
//       the process to end. TARGET is ignored for a delete. Any further
//       argument "tick=ID" ticks the dialog's check box ID before Start
//       (for options a run is to be measured with).
//   app_bench copy   SOURCE TARGET PATTERN    bare loop: walk + CopyFileW
//   app_bench tmpren SOURCE TARGET PATTERN    bare loop: walk + CopyFileW to a
//                                             temporary name + MoveFileExW
//   app_bench move   SOURCE TARGET PATTERN    bare loop: walk + MoveFileExW
//   app_bench recycle SOURCE PATTERN          bare loop: walk + one
//                                             SHFileOperationW per file
//   app_bench console|redirected EXE ARGUMENTS...
//       Runs a console program (SorvaneCmd.exe) on a console of its own,
//       or with its output redirected to a file, and times it from its
//       start to its end; prints its exit code.
//
// PATTERN of a bare loop is one "*.ext" or "*" (the program and the engine
// take the full pattern syntax). Times are wall milliseconds.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include "Driver.h"
#include "common/HandOff.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

double nowMs()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool isDots(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// "*" or "*.ext", compared without regard to case.
bool matches(const wchar_t* name, const std::wstring& pattern)
{
    if (pattern == L"*" || pattern == L"*.*") return true;
    if (pattern.size() < 2 || pattern[0] != L'*') return false;
    const std::wstring tail = pattern.substr(1);
    const size_t length = std::wcslen(name);
    return length >= tail.size() &&
           ::CompareStringOrdinal(name + length - tail.size(), static_cast<int>(tail.size()), tail.c_str(),
                                  static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

struct Tally {
    unsigned long long files = 0, failed = 0, bytes = 0;
};

// A bare recursive walk (basic information, large fetch) that hands each
// matching file to `act(source, target)`; target folders are made as met.
template <typename Act>
void walk(const std::wstring& source, const std::wstring& target, const std::wstring& pattern, bool makeFolders,
          Tally& tally, Act act)
{
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileExW((source + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    bool folderMade = !makeFolders;
    do {
        if (isDots(found.cFileName)) continue;
        const std::wstring from = source + L"\\" + found.cFileName;
        const std::wstring to = target.empty() ? std::wstring() : target + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            walk(from, to, pattern, makeFolders, tally, act);
            continue;
        }
        if (!matches(found.cFileName, pattern)) continue;
        if (!folderMade) {
            ::SHCreateDirectoryExW(nullptr, target.c_str(), nullptr);
            folderMade = true;
        }
        ++tally.files;
        tally.bytes += (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (!act(from, to)) ++tally.failed;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

int printTally(const wchar_t* mode, const Tally& tally, double ms)
{
    std::printf("mode=%ls files=%llu failed=%llu bytes=%llu ms=%.1f\n", mode, tally.files, tally.failed, tally.bytes,
                ms);
    return tally.failed == 0 ? 0 : 1;
}

unsigned g_temporaryCounter = 0;

bool copyThroughTemporary(const std::wstring& from, const std::wstring& to)
{
    const size_t slash = to.rfind(L'\\');
    wchar_t name[64];
    std::swprintf(name, 64, L"~bench-%lx-%x.tmp", ::GetCurrentProcessId(), g_temporaryCounter++);
    const std::wstring temporary = to.substr(0, slash + 1) + name;
    if (!::CopyFileW(from.c_str(), temporary.c_str(), TRUE)) return false;
    if (::MoveFileExW(temporary.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}

bool recycle(const std::wstring& from)
{
    std::vector<wchar_t> list(from.begin(), from.end());
    list.push_back(0);
    list.push_back(0);
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.data();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_FILESONLY | FOF_NOERRORUI;
    return ::SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}

size_t countOf(const std::string& text, const char* what)
{
    size_t n = 0;
    const size_t length = std::strlen(what);
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + length)) ++n;
    return n;
}

// The report, read only when no one holds it open any more.
bool readClosedReport(const std::wstring& path, std::string& text)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    ::GetFileSizeEx(file, &size);
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    const BOOL ok = text.empty() || ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    ::CloseHandle(file);
    return ok && read == text.size();
}

// The total in the report's totals row labelled `label`, or -1.
long totalOf(const std::string& report, const std::string& label)
{
    const std::string key = ">" + label + "</font></td>\r\n<td><font color=\"";
    const size_t at = report.find(key);
    if (at == std::string::npos) return -1;
    const size_t value = report.find("\">", at + key.size());
    return value == std::string::npos ? -1 : std::strtol(report.c_str() + value + 2, nullptr, 10);
}

int runProgram(const std::wstring& exe, const std::wstring& operation, const std::wstring& source,
               const std::wstring& target, const std::wstring& patterns, const std::vector<int>& ticks)
{
    // Every item of the source folder, as Explorer hands over a selection.
    std::vector<std::wstring> selection;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((source + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!isDots(found.cFileName)) selection.push_back(source + L"\\" + found.cFileName);
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    const handoff::Operation kind = operation == L"move"     ? handoff::Operation::Move
                                    : operation == L"delete" ? handoff::Operation::Delete
                                                             : handoff::Operation::Copy;
    const std::wstring command = handoff::buildCommandText(kind, nullptr, selection);
    const std::wstring folder = exe.substr(0, exe.rfind(L'\\') + 1);
    const std::wstring parameters = handoff::programParameters(folder.c_str(), command);

    const int reportNumber = e2e::nextReportNumber();
    const std::wstring report = e2e::dataFolder() + L"SorvaneLog" + std::to_wstring(reportNumber) + L".htm";
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS;
    execute.lpVerb = L"open"; // as the extension starts every command
    execute.lpFile = exe.c_str();
    execute.lpParameters = parameters.c_str();
    execute.lpDirectory = folder.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&execute) || !execute.hProcess) {
        std::fprintf(stderr, "cannot start the program\n");
        return 2;
    }
    const DWORD processId = ::GetProcessId(execute.hProcess);
    HWND dialog = e2e::waitForDialog(processId, e2e::kPatterns, 60000);
    if (!dialog) {
        std::fprintf(stderr, "the operation dialog did not open\n");
        ::TerminateProcess(execute.hProcess, 1);
        return 2;
    }
    if (kind != handoff::Operation::Delete) e2e::setControlText(dialog, e2e::kTarget, target);
    e2e::setControlText(dialog, e2e::kPatterns, patterns);
    for (int id : ticks) e2e::setChecked(dialog, id, true);

    const double start = nowMs();
    e2e::press(dialog, e2e::kStart);
    HWND progress = nullptr;
    double finished = 0;
    while (nowMs() - start < 3600000.0) {
        if (!progress) progress = e2e::waitForDialog(processId, e2e::kFolderField, 0);
        if (progress && ::IsWindowVisible(::GetDlgItem(progress, e2e::kCompleted))) {
            finished = nowMs();
            break;
        }
        if (::WaitForSingleObject(execute.hProcess, 0) == WAIT_OBJECT_0) break;
        ::Sleep(5);
    }
    if (finished == 0) {
        std::fprintf(stderr, "the run did not finish\n");
        ::TerminateProcess(execute.hProcess, 1);
        return 2;
    }
    std::string text;
    const bool closed = readClosedReport(report, text);
    const std::wstring fileText = progress ? e2e::controlText(progress, e2e::kFileField) : L"";
    e2e::press(progress, e2e::kCompleted);
    ::WaitForSingleObject(execute.hProcess, 60000);
    ::CloseHandle(execute.hProcess);

    const size_t rows = countOf(text, "</td><td>Success</td></tr>");
    // The rows of files whose copies were read back and compared ("Verify copies").
    const size_t verifiedRows = countOf(text, "</td><td>Success (verified)</td></tr>");
    const bool complete = text.size() >= 18 && text.compare(text.size() - 18, 18, "</body>\r\n</html>\r\n") == 0;
    std::printf("mode=program op=%ls ms=%.1f report_closed=%d report_complete=%d success_rows=%zu verified_rows=%zu "
                "total=%ld completed=%ld verified=%ld failed=%ld shown=\"%ls\"\n",
                operation.c_str(), finished - start, closed ? 1 : 0, complete ? 1 : 0, rows, verifiedRows,
                totalOf(text, "Total Files"), totalOf(text, "Completed Files"),
                totalOf(text, "Verified Files"), totalOf(text, "Failed Files"),
                fileText.c_str());
    return closed && complete ? 0 : 1;
}

// Runs `exe` with `arguments` on a new console, or with standard output
// and error going to a file; the time from its start to its end.
int runConsoleProgram(bool onConsole, const wchar_t* exe, int count, wchar_t** arguments)
{
    std::wstring line = L"\"" + std::wstring(exe) + L"\"";
    for (int i = 0; i < count; ++i) line += L" \"" + std::wstring(arguments[i]) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    HANDLE output = INVALID_HANDLE_VALUE;
    DWORD flags = CREATE_NEW_CONSOLE;
    if (!onConsole) {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        wchar_t folder[MAX_PATH] = {};
        wchar_t path[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        ::GetTempFileNameW(folder, L"out", 0, path);
        output = ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        flags = 0;
    }
    PROCESS_INFORMATION process = {};
    const double start = nowMs();
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, !onConsole, flags, nullptr, nullptr, &startup,
                          &process)) {
        std::printf("mode=%ls started=0\n", onConsole ? L"console" : L"redirected");
        return 1;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    const double finished = nowMs();
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
    std::printf("mode=%ls ms=%.1f exit=%lu\n", onConsole ? L"console" : L"redirected", finished - start,
                static_cast<unsigned long>(code));
    return code == 0 ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: app_bench program EXE copy|move|delete SOURCE TARGET PATTERNS [tick=ID...]\n"
                         "       app_bench copy|tmpren|move SOURCE TARGET PATTERN\n"
                         "       app_bench recycle SOURCE PATTERN\n"
                         "       app_bench console|redirected EXE ARGUMENTS...\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return usage();
    const std::wstring mode = argv[1];
    if (mode == L"program") {
        if (argc < 7) return usage();
        std::vector<int> ticks;
        for (int i = 7; i < argc; ++i) {
            if (std::wcsncmp(argv[i], L"tick=", 5) != 0) return usage();
            ticks.push_back(static_cast<int>(std::wcstol(argv[i] + 5, nullptr, 10)));
        }
        return runProgram(argv[2], argv[3], argv[4], argv[5], argv[6], ticks);
    }
    if (mode == L"console" || mode == L"redirected") {
        if (argc < 3) return usage();
        return runConsoleProgram(mode == L"console", argv[2], argc - 3, argv + 3);
    }
    Tally tally;
    const double start = nowMs();
    if (mode == L"recycle") {
        if (argc != 4) return usage();
        walk(argv[2], L"", argv[3], false, tally, [](const std::wstring& from, const std::wstring&) {
            return recycle(from);
        });
        return printTally(L"recycle", tally, nowMs() - start);
    }
    if (argc != 5) return usage();
    if (mode == L"copy") {
        walk(argv[2], argv[3], argv[4], true, tally, [](const std::wstring& from, const std::wstring& to) {
            return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
        });
    } else if (mode == L"tmpren") {
        walk(argv[2], argv[3], argv[4], true, tally, copyThroughTemporary);
    } else if (mode == L"move") {
        walk(argv[2], argv[3], argv[4], true, tally, [](const std::wstring& from, const std::wstring& to) {
            return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
        });
    } else {
        return usage();
    }
    return printTally(mode.c_str(), tally, nowMs() - start);
}
