#include "TestSupport.h"

#include "common/Raii.h"
#include "base/UserMessage.h"

#include <tlhelp32.h>

#include <algorithm>
#include <utility>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace sorvane::test {

namespace {

std::vector<RecordedMessage>& recorded()
{
    static std::vector<RecordedMessage> list;
    return list;
}

int recordMessage(HWND, const std::wstring& text, const std::wstring& caption, UINT flags)
{
    recorded().push_back({text, caption, flags});
    return IDOK;
}

std::wstring folderOf(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

} // namespace

std::wstring uniqueScratchName(const wchar_t* stem)
{
    static std::atomic<unsigned> counter{0};
    static const std::wstring identity = [] {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring program = path;
        const size_t slash = program.rfind(L'\\');
        if (slash != std::wstring::npos) program.erase(0, slash + 1);
        const size_t dot = program.rfind(L'.');
        if (dot != std::wstring::npos) program.erase(dot);
        FILETIME created = {}, exited = {}, kernel = {}, user = {};
        ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
        wchar_t text[64];
        std::swprintf(text, 64, L"-%lx-%lx%08lx", ::GetCurrentProcessId(), created.dwHighDateTime,
                      created.dwLowDateTime);
        return program + text;
    }();
    return std::wstring(stem) + L"-" + identity + L"-" + std::to_wstring(counter++);
}

TempFolder::TempFolder()
{
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring name = base + uniqueScratchName(L"sorvane-test");
        if (::CreateDirectoryW(name.c_str(), nullptr)) {
            path_ = name;
            break;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    // A test without its scratch folder would work on paths under the root
    // of the drive: stop here instead, loudly.
    if (path_.empty()) {
        std::fprintf(stderr, "no scratch folder could be made in %ls (error %lu)\n", base, ::GetLastError());
        std::abort();
    }
}

TempFolder::~TempFolder()
{
    if (path_.empty()) return;
    // A program a test started (a script run through the shell, say) may
    // still hold the folder as its current directory for a moment: wait for
    // it to let go rather than leave the folder behind.
    removeTree(path_);
    for (int attempt = 0; attempt < 100 && exists(path_); ++attempt) {
        ::Sleep(100);
        removeTree(path_);
    }
}

void removeTree(const std::wstring& path)
{
    const std::wstring longPath = path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((longPath + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = longPath + L"\\" + name;
            // A link is never followed: what it leads to is no part of the tree.
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!::RemoveDirectoryW(child.c_str())) ::DeleteFileW(child.c_str());
                continue;
            }
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeTree(child);
            else ::DeleteFileW(child.c_str());
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(longPath.c_str());
}

bool writeBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = bytes.empty() ||
                    (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                     written == bytes.size());
    ::CloseHandle(file);
    return ok;
}

bool writeText(const std::wstring& path, const std::wstring& utf16)
{
    return writeBytes(path, std::string(reinterpret_cast<const char*>(utf16.data()), utf16.size() * sizeof(wchar_t)));
}

std::string readBytes(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    ::CloseHandle(file);
    return bytes;
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> listFolder(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find.get(), &found));
    std::sort(names.begin(), names.end());
    return names;
}

MessageRecorder::MessageRecorder()
{
    recorded().clear();
    setMessageHook(recordMessage);
}
MessageRecorder::~MessageRecorder() { setMessageHook(nullptr); }
const std::vector<RecordedMessage>& MessageRecorder::messages() const { return recorded(); }
void MessageRecorder::clear() { recorded().clear(); }

std::wstring programFolder()
{
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return folderOf(path);
}

std::wstring distFolder()
{
#ifdef SORVANE_DIST_DIR
    return std::wstring(L"" SORVANE_DIST_DIR) + L"\\";
#else
    return programFolder();
#endif
}

ChildProcess::~ChildProcess()
{
    if (info_.hProcess) {
        if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(info_.hProcess, 99);
            ::WaitForSingleObject(info_.hProcess, 5000);
        }
        ::CloseHandle(info_.hProcess);
        ::CloseHandle(info_.hThread);
    }
}

bool ChildProcess::start(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &info_) != 0;
}

DWORD ChildProcess::wait(DWORD ms)
{
    if (!info_.hProcess) return STILL_ACTIVE;
    if (::WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

namespace {
struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};
BOOL CALLBACK matchWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    if (search->className) {
        wchar_t name[256] = {};
        ::GetClassNameW(window, name, 256);
        if (std::wcscmp(name, search->className) != 0) return TRUE;
    }
    if (!::IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}
} // namespace

HWND findProcessWindow(DWORD processId, const wchar_t* className, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        WindowSearch search = {processId, className, nullptr};
        ::EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (::GetTickCount() - start > ms) return nullptr;
        ::Sleep(50);
    }
}

std::wstring windowText(HWND window)
{
    wchar_t text[4096] = {};
    ::GetWindowTextW(window, text, 4096);
    return text;
}

std::vector<std::wstring> processModules(DWORD processId)
{
    std::vector<std::wstring> modules;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) return modules;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Module32FirstW(snapshot, &entry); more; more = ::Module32NextW(snapshot, &entry))
        modules.push_back(entry.szExePath);
    ::CloseHandle(snapshot);
    return modules;
}

ImportHook::ImportHook(HMODULE module, const char* dll, const char* function, const void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name; ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            slot_ = reinterpret_cast<void**>(&slots->u1.Function);
            DWORD old = 0;
            ::VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old);
            original_ = *slot_;
            *slot_ = const_cast<void*>(replacement);
            ::VirtualProtect(slot_, sizeof(void*), old, &old);
            return;
        }
    }
}

ImportHook::~ImportHook()
{
    if (!slot_) return;
    DWORD old = 0;
    ::VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old);
    *slot_ = original_;
    ::VirtualProtect(slot_, sizeof(void*), old, &old);
}

std::vector<std::vector<std::string>> htmlTableRows(const std::string& page)
{
    const auto cellText = [](const std::string& html) {
        std::string text;
        bool inTag = false;
        for (char c : html) {
            if (c == '<') inTag = true;
            else if (c == '>') inTag = false;
            else if (!inTag && c != '\r' && c != '\n') text += c;
        }
        const std::pair<std::string, std::string> entities[] = {
            {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}};
        for (const auto& [entity, plain] : entities) {
            for (size_t at; (at = text.find(entity)) != std::string::npos;) text.replace(at, entity.size(), plain);
        }
        return text;
    };
    std::vector<std::vector<std::string>> rows;
    for (size_t at = 0; (at = page.find("<tr>", at)) != std::string::npos;) {
        const size_t end = page.find("</tr>", at);
        if (end == std::string::npos) break;
        std::vector<std::string> cells;
        for (size_t cell = page.find("<td>", at); cell != std::string::npos && cell < end;
             cell = page.find("<td>", cell + 4)) {
            cells.push_back(cellText(page.substr(cell + 4, page.find("</td>", cell) - cell - 4)));
        }
        rows.push_back(std::move(cells));
        at = end;
    }
    return rows;
}

} // namespace sorvane::test
