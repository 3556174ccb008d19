#include "HandOff.h"

#include "Raii.h"

#include <cwchar>

namespace sorvane::handoff {

namespace {

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

std::wstring buildCommandText(const wchar_t* operationSwitch, const wchar_t* targetFolder,
                              const std::vector<std::wstring>& selectedPaths)
{
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
        const std::wstring dir = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
        const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
        if (first) {
            text += dir;
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

CommandText obtainCommandText(const wchar_t* commandLine)
{
    if (!commandLine || !*commandLine) return nullptr;
    if (const wchar_t* switchAt = std::wcsstr(commandLine, L"/F:")) {
        const wchar_t* path = switchAt + 3;
        wchar_t* text = path[0] ? readHandOffFile(path) : nullptr;
        if (path[0]) ::DeleteFileW(path);
        return CommandText(text);
    }
    return CommandText(heapCopy(commandLine, std::wcslen(commandLine)));
}

CommandText obtainCommandText() { return obtainCommandText(::GetCommandLineW()); }

} // namespace sorvane::handoff
