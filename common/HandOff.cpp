#include "common/HandOff.h"

#include "common/Raii.h"

#include <cwchar>
#include <cwctype>

namespace sorvane::handoff {

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool sameText(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// The full path of `path`, in its long form where the file system gives
// one; empty when it cannot be made.
std::wstring fullLongPath(const std::wstring& path)
{
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD got = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (got == 0 || got >= needed) return {};
    full.resize(got);
    const DWORD longNeeded = ::GetLongPathNameW(full.c_str(), nullptr, 0);
    if (longNeeded != 0) {
        std::wstring longForm(longNeeded, L'\0');
        const DWORD longGot = ::GetLongPathNameW(full.c_str(), longForm.data(), longNeeded);
        if (longGot != 0 && longGot < longNeeded) {
            longForm.resize(longGot);
            full = std::move(longForm);
        }
    }
    return full;
}

// A folder in a form that compares: full, long, without a trailing
// backslash (but "C:\" keeps its own).
std::wstring comparableFolder(const std::wstring& folder)
{
    if (folder.empty()) return {};
    std::wstring full = fullLongPath(folder.back() == L'\\' ? folder : folder + L'\\');
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

// "Sor", one to four hexadecimal digits, ".tmp": the names GetTempFileNameW
// gives for the prefix "Sorvane" and a number it chooses.
bool hasHandOffName(const std::wstring& name)
{
    if (name.size() < 3 + 1 + 4 || !sameText(name.substr(0, 3), L"Sor")) return false;
    size_t digits = 0;
    while (3 + digits < name.size() && std::iswxdigit(name[3 + digits])) ++digits;
    return digits >= 1 && digits <= 4 && sameText(name.substr(3 + digits), L".tmp");
}

// The first "/F:" (either case) in `text`, or null.
const wchar_t* findHandOffSwitch(const wchar_t* text)
{
    for (const wchar_t* p = text; *p; ++p) {
        if (p[0] == L'/' && (p[1] == L'F' || p[1] == L'f') && p[2] == L':') return p;
    }
    return nullptr;
}

wchar_t* heapCopy(const wchar_t* text, size_t length)
{
    auto* copy = static_cast<wchar_t*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, (length + 1) * sizeof(wchar_t)));
    if (copy) std::wmemcpy(copy, text, length);
    return copy;
}

// Reads the whole hand-off file into a zero-filled buffer with room for a
// terminator even when the writer left none. Null when missing or empty.
wchar_t* readHandOffFile(const wchar_t* path)
{
    UniqueFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    // Only a file on a disk: a pipe or a device could block the start.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) return nullptr;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart == 0) return nullptr;
    // A real hand-off file holds one command text; anything larger than a
    // few megabytes is not one and is not read into memory.
    if (size.QuadPart > 64 * 1024 * 1024) return nullptr;
    const DWORD bytes = static_cast<DWORD>(size.QuadPart);
    auto* buffer = static_cast<wchar_t*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes + 4));
    if (!buffer) return nullptr;
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, bytes, &read, nullptr) || read != bytes) {
        ::HeapFree(::GetProcessHeap(), 0, buffer);
        return nullptr;
    }
    return buffer;
}

} // namespace

std::wstring buildCommandText(Operation operation, const wchar_t* targetFolder,
                              const std::vector<std::wstring>& selectedPaths)
{
    const wchar_t* operationSwitch = L"";
    switch (operation) {
    case Operation::Copy: operationSwitch = L"/C:"; break;
    case Operation::Move: operationSwitch = L"/M:"; break;
    case Operation::Delete: operationSwitch = L"/D:"; break;
    }
    return buildCommandText(operationSwitch, targetFolder, selectedPaths);
}

std::wstring parentFolder(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool oneParentFolder(const std::vector<std::wstring>& selectedPaths)
{
    if (selectedPaths.empty()) return true;
    const std::wstring first = parentFolder(selectedPaths.front());
    for (const std::wstring& path : selectedPaths) {
        if (!sameText(parentFolder(path), first)) return false;
    }
    return true;
}

std::wstring buildCommandText(const wchar_t* operationSwitch, const wchar_t* targetFolder,
                              const std::vector<std::wstring>& selectedPaths)
{
    // The names are resolved against one folder: a name from another folder
    // would name a different item there.
    if (!oneParentFolder(selectedPaths)) return {};
    std::wstring text;
    if (targetFolder && *targetFolder) {
        text += L"/T:";
        text += targetFolder;
        text += L' ';
    }
    if (operationSwitch) text += operationSwitch;
    bool first = true;
    for (const std::wstring& path : selectedPaths) {
        const size_t slash = path.rfind(L'\\');
        const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
        if (first) {
            text += parentFolder(path);
            text += L"\\;";
            first = false;
        }
        text += name;
        text += L';';
    }
    return text;
}

std::wstring writeHandOffFile(const wchar_t* folder, const std::wstring& commandText)
{
    wchar_t name[MAX_PATH] = {};
    if (::GetTempFileNameW(folder, L"Sorvane", 0, name) == 0) return {};
    bool written = false;
    {
        UniqueFile file(::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            const DWORD bytes = static_cast<DWORD>((commandText.size() + 1) * sizeof(wchar_t));
            DWORD done = 0;
            written = ::WriteFile(file.get(), commandText.c_str(), bytes, &done, nullptr) && done == bytes;
        }
    }
    if (!written) {
        // The program is not started; leave no half-written file behind.
        ::DeleteFileW(name);
        return {};
    }
    return name;
}

std::wstring userTempFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH) return {};
    std::wstring folder(path, length);
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring programParameters(const wchar_t* folder, const std::wstring& commandText)
{
    if (commandText.size() <= kMaxCommandLineText) return commandText;
    std::wstring file = writeHandOffFile(folder, commandText);
    if (file.empty()) {
        // The program deletes the file after reading it, wherever it lies.
        const std::wstring temp = userTempFolder();
        if (!temp.empty()) file = writeHandOffFile(temp.c_str(), commandText);
    }
    if (file.empty()) return {};
    return L"/F:" + file;
}

const wchar_t* skipProgramPath(const wchar_t* commandLine)
{
    if (!commandLine) return nullptr;
    const wchar_t* p = commandLine;
    while (isBlank(*p)) ++p;
    if (*p == L'"') {
        const wchar_t* close = std::wcschr(p + 1, L'"');
        p = close ? close + 1 : p + std::wcslen(p);
    } else if (*p != L'/') {
        // Unquoted: blanks may stand inside the path, switches follow one.
        while (*p) {
            if (isBlank(*p)) {
                const wchar_t* next = p;
                while (isBlank(*next)) ++next;
                if (*next == L'/') break;
                p = next;
            } else {
                ++p;
            }
        }
    }
    while (isBlank(*p)) ++p;
    return p;
}

bool isHandOffFile(const wchar_t* path, const std::vector<std::wstring>& folders)
{
    if (!path || !*path) return false;
    const std::wstring full = fullLongPath(path);
    const size_t slash = full.rfind(L'\\');
    if (slash == std::wstring::npos || !hasHandOffName(full.substr(slash + 1))) return false;
    const std::wstring folder = comparableFolder(full.substr(0, slash + 1));
    if (folder.empty()) return false;
    for (const std::wstring& allowed : folders) {
        const std::wstring candidate = comparableFolder(allowed);
        if (!candidate.empty() && sameText(candidate, folder)) return true;
    }
    return false;
}

std::vector<std::wstring> handOffFolders()
{
    std::vector<std::wstring> folders;
    wchar_t self[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length != 0 && length < MAX_PATH) {
        std::wstring program(self, length);
        const size_t slash = program.rfind(L'\\');
        if (slash != std::wstring::npos) folders.push_back(program.substr(0, slash + 1));
    }
    const std::wstring temp = userTempFolder();
    if (!temp.empty()) folders.push_back(temp);
    return folders;
}

CommandText obtainCommandText(const wchar_t* commandLine, const std::vector<std::wstring>& folders)
{
    const wchar_t* arguments = skipProgramPath(commandLine);
    if (!arguments || !*arguments) return nullptr;
    if (const wchar_t* switchAt = findHandOffSwitch(arguments)) {
        const wchar_t* path = switchAt + 3;
        if (!path[0]) return nullptr;
        CommandText text(readHandOffFile(path));
        // Ours once the program has started: read, then removed. Any other
        // file named here is the user's and stays.
        if (isHandOffFile(path, folders)) ::DeleteFileW(path);
        return text;
    }
    return CommandText(heapCopy(arguments, std::wcslen(arguments)));
}

CommandText obtainCommandText(const wchar_t* commandLine)
{
    return obtainCommandText(commandLine, handOffFolders());
}

CommandText obtainCommandText() { return obtainCommandText(::GetCommandLineW()); }

} // namespace sorvane::handoff
