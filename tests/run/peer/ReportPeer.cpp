// Another process beside a run, for the report tests:
//   report_peer read <file> <copy> <share>   opens <file> for reading with the
//       share mode <share> (decimal) as a browser does, copies what it holds
//       into <copy>; exits with 0 or the error of the open.
//   report_peer hold <mutex name> <ms>       creates and holds the named mutex
//       for <ms> milliseconds, then ends.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc == 5 && std::wcscmp(argv[1], L"read") == 0) {
        HANDLE file = ::CreateFileW(argv[2], GENERIC_READ, static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10)),
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return static_cast<int>(::GetLastError());
        std::string bytes(1 << 20, '\0');
        DWORD read = 0;
        const BOOL ok = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        ::CloseHandle(file);
        if (!ok) return 1000;
        HANDLE copy = ::CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (copy == INVALID_HANDLE_VALUE) return 1001;
        DWORD written = 0;
        ::WriteFile(copy, bytes.data(), read, &written, nullptr);
        ::CloseHandle(copy);
        return written == read ? 0 : 1002;
    }
    if (argc == 4 && std::wcscmp(argv[1], L"hold") == 0) {
        // Created or opened, then taken: a mutex that already exists is not
        // owned by creating it.
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, argv[2]);
        if (!mutex) return 1003;
        const DWORD taken = ::WaitForSingleObject(mutex, INFINITE);
        if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) return 1004;
        ::Sleep(std::wcstoul(argv[3], nullptr, 10));
        ::ReleaseMutex(mutex);
        ::CloseHandle(mutex);
        return 0;
    }
    return 2;
}
