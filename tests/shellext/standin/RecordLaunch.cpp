// Stands in for Sorvane.exe beside a copy of the extension: records how it was
// started (its command line and working folder) in "launch.txt" next to
// itself, then ends. The hand-off file, if any, is left for the test.
#include <windows.h>

#include <string>

int wmain()
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.erase(folder.rfind(L'\\') + 1);

    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring record = std::wstring(::GetCommandLineW()) + L"\n" + current;

    // Written under another name and renamed, so that the test never reads
    // half a record.
    const std::wstring partial = folder + L"launch.part";
    HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
    return ::MoveFileExW(partial.c_str(), (folder + L"launch.txt").c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 2;
}
