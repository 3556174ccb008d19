// The Windows side of the console program's tests: starts SorvaneCmd.exe
// (its command line read from a UTF-8 file) and watches it as only another
// Windows process can, then ends with its exit code.
//
//   console_probe watch   <command file> <report>
//       the program on this console; every few milliseconds until it ends,
//       the top-level windows whose process is the program's are counted.
//   console_probe console <command file> <report>
//       the program on a console of its own (CREATE_NEW_CONSOLE); this
//       probe attaches to that console and reads its screen buffer with
//       ReadConsoleOutputCharacterW while the program runs and at its end.
//   console_probe ctrlc   <command file> <report> <results file> <delay ms> <target folder>
//       as "console"; once the JSON Lines file holds a moved row and a
//       temporary copy of at least 1 MB lies in the target folder (a large
//       file in hand), after the delay, the probe sends Ctrl+C to its
//       console (and Ctrl+Break if the program is still running ten
//       seconds later).
//
// The report is UTF-8 text of "key=value" lines (screen lines as
// "row=<index>|<text>").
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                             nullptr);
    std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], needed, nullptr, nullptr);
    }
    return out;
}

std::wstring wide(const std::string& text)
{
    if (text.empty()) return {};
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], needed);
    return out;
}

std::string readAll(const std::wstring& path)
{
    // Shared for writing: the program appends to its results meanwhile.
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

struct Child {
    PROCESS_INFORMATION info = {};
    bool started = false;
    ~Child()
    {
        if (info.hProcess) ::CloseHandle(info.hProcess);
        if (info.hThread) ::CloseHandle(info.hThread);
    }
};

bool start(const std::wstring& commandFile, DWORD flags, Child& child)
{
    std::string line = readAll(commandFile);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::wstring command = wide(line);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    child.started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, flags == 0, flags, nullptr, nullptr,
                                     &startup, &child.info) != 0;
    return child.started;
}

struct WindowCount {
    DWORD process;
    std::set<HWND> windows;
    std::set<HWND> visible;
    std::set<std::wstring> classes;
};

BOOL CALLBACK countWindow(HWND window, LPARAM data) noexcept
{
    auto* count = reinterpret_cast<WindowCount*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == count->process) {
        count->windows.insert(window);
        wchar_t name[256] = {};
        ::GetClassNameW(window, name, 256);
        count->classes.insert(name);
        if (::IsWindowVisible(window)) count->visible.insert(window);
    }
    return TRUE;
}

// The console of the child, attached to this process: its output buffer.
HANDLE attachTo(DWORD process)
{
    ::FreeConsole();
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::AttachConsole(process)) {
            // This probe never takes its own Ctrl+C.
            ::SetConsoleCtrlHandler(nullptr, TRUE);
            return ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        }
        ::Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
}

// Every line of the screen buffer, blanks at the end kept.
std::vector<std::wstring> screenLines(HANDLE output, SHORT& width)
{
    std::vector<std::wstring> lines;
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!::GetConsoleScreenBufferInfo(output, &info)) return lines;
    width = info.dwSize.X;
    const SHORT last = info.dwCursorPosition.Y;
    for (SHORT y = 0; y <= last && y < info.dwSize.Y; ++y) {
        std::wstring line(static_cast<size_t>(width), L' ');
        DWORD read = 0;
        COORD at = {0, y};
        ::ReadConsoleOutputCharacterW(output, &line[0], static_cast<DWORD>(width), at, &read);
        line.resize(read);
        lines.push_back(line);
    }
    return lines;
}

// Rows of the progress display: the counters' "/<total> files" part.
bool isProgressRow(const std::wstring& line) { return line.find(L" files  ") != std::wstring::npos; }

// The size of the largest temporary copy the program has in `folder`.
ULONGLONG largestTemporary(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"\\~sorvane-*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    ULONGLONG largest = 0;
    do {
        const ULONGLONG size = (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (size > largest) largest = size;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return largest;
}

size_t movedRows(const std::string& results)
{
    size_t rows = 0;
    for (size_t at = 0; (at = results.find("\"action\":\"move\"", at)) != std::string::npos; ++at) {
        const size_t end = results.find('\n', at);
        const std::string rest = results.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (rest.find("\"status\":\"success\"") != std::string::npos ||
            rest.find("\"status\":\"verified\"") != std::string::npos) {
            ++rows;
        }
    }
    return rows;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: console_probe watch|console|ctrlc <command file> <report> [results delay]\n");
        return 100;
    }
    const std::wstring mode = argv[1];
    std::ofstream report(utf8(argv[3]), std::ios::binary);
    Child child;

    if (mode == L"watch") {
        if (!start(argv[2], 0, child)) return 101;
        WindowCount count{child.info.dwProcessId, {}, {}, {}};
        int polls = 0;
        do {
            ::EnumWindows(countWindow, reinterpret_cast<LPARAM>(&count));
            ++polls;
        } while (::WaitForSingleObject(child.info.hProcess, 5) == WAIT_TIMEOUT);
        DWORD code = 0;
        ::GetExitCodeProcess(child.info.hProcess, &code);
        report << "windows=" << count.windows.size() << "\nvisible=" << count.visible.size() << "\npolls=" << polls
               << "\nexit=" << code << "\n";
        for (const std::wstring& name : count.classes) report << "class=" << utf8(name) << "\n";
        return static_cast<int>(code);
    }

    if (mode != L"console" && mode != L"ctrlc") return 100;
    if (mode == L"ctrlc" && argc < 7) return 100;
    if (!start(argv[2], CREATE_NEW_CONSOLE, child)) return 101;
    HANDLE output = attachTo(child.info.dwProcessId);
    report << "attached=" << (output != INVALID_HANDLE_VALUE ? 1 : 0) << "\n";

    std::set<std::pair<SHORT, std::wstring>> progress; // every progress row seen, with its line
    SHORT width = 0;
    const ULONGLONG started = ::GetTickCount64();
    bool sent = false;
    bool breakSent = false;
    ULONGLONG sentAt = 0;
    ULONGLONG rowsSeenAt = 0;
    for (;;) {
        const bool ended = ::WaitForSingleObject(child.info.hProcess, 10) == WAIT_OBJECT_0;
        if (output != INVALID_HANDLE_VALUE) {
            const std::vector<std::wstring> lines = screenLines(output, width);
            for (size_t y = 0; y < lines.size(); ++y) {
                if (isProgressRow(lines[y])) progress.insert({static_cast<SHORT>(y), lines[y]});
            }
            if (ended) {
                for (size_t y = 0; y < lines.size(); ++y) report << "row=" << y << "|" << utf8(lines[y]) << "\n";
            }
        }
        if (ended) break;
        if (mode == L"ctrlc" && !sent) {
            if (rowsSeenAt == 0 && movedRows(readAll(argv[4])) > 0 && largestTemporary(argv[6]) >= (1u << 20)) {
                rowsSeenAt = ::GetTickCount64();
            }
            // After the delay, the event goes while a large file is in hand:
            // one that was in hand when the delay began may be whole by now,
            // and the next one comes a moment later.
            const ULONGLONG inHand = rowsSeenAt != 0 ? largestTemporary(argv[6]) : 0;
            if (rowsSeenAt != 0 && ::GetTickCount64() - rowsSeenAt >= static_cast<ULONGLONG>(_wtoi(argv[5])) &&
                inHand >= (1u << 20)) {
                report << "moved_rows_before=" << movedRows(readAll(argv[4])) << "\n";
                report << "in_hand=" << inHand << "\n";
                report << "ctrl_c=" << (::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) ? 1 : 0) << "\n";
                sent = true;
                sentAt = ::GetTickCount64();
            }
        }
        if (sent && !breakSent && ::GetTickCount64() - sentAt > 10000) {
            report << "ctrl_break=" << (::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0) ? 1 : 0) << "\n";
            breakSent = true;
        }
        if (::GetTickCount64() - started > 240000) {
            report << "timeout=1\n";
            ::TerminateProcess(child.info.hProcess, 99);
        }
    }
    DWORD code = 0;
    ::GetExitCodeProcess(child.info.hProcess, &code);
    report << "width=" << width << "\n";
    for (const auto& [y, text] : progress) report << "progress=" << y << "|" << utf8(text) << "\n";
    report << "sent=" << (sent ? 1 : 0) << "\nbreak=" << (breakSent ? 1 : 0) << "\nexit=" << code << "\n";
    if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
    return static_cast<int>(code);
}
