#include "Log.h"

#include "../engine/PathUtil.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace sorvane {

namespace {

// One process-wide descriptor without an access-control list: every
// account may use the mutex, whichever session created it.
SECURITY_ATTRIBUTES* openSecurityAttributes()
{
    static SECURITY_DESCRIPTOR descriptor;
    static SECURITY_ATTRIBUTES attributes;
    static bool ready = false;
    if (!ready) {
        if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
            return nullptr;
        }
        attributes.nLength = sizeof(attributes);
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
        ready = true;
    }
    return &attributes;
}

HANDLE createOrOpenMutex(bool initialOwner, const std::wstring& name)
{
    HANDLE mutex = ::CreateMutexW(openSecurityAttributes(), initialOwner, name.c_str());
    if (!mutex && ::GetLastError() == ERROR_ACCESS_DENIED) mutex = ::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    return mutex;
}

} // namespace

HANDLE openSharedMutex(bool initialOwner, const wchar_t* name, bool tryGlobal)
{
    if (!name || !*name) return ::CreateMutexW(openSecurityAttributes(), initialOwner, nullptr);
    HANDLE mutex = nullptr;
    if (tryGlobal) mutex = createOrOpenMutex(initialOwner, std::wstring(L"Global\\") + name);
    if (!mutex) mutex = createOrOpenMutex(initialOwner, name);
    return mutex;
}

CLog::Lock::Lock(HANDLE mutex) noexcept : mutex_(mutex)
{
    if (mutex_) {
        const DWORD wait = ::WaitForSingleObject(mutex_, INFINITE);
        // An abandoned mutex is ours now; anything else means no lock.
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) mutex_ = nullptr;
    }
}

CLog::Lock::~Lock()
{
    if (mutex_) ::ReleaseMutex(mutex_);
}

CLog::CLog() : mutex_(openSharedMutex(false, kMutexName, true)) {}

CLog::~CLog() { Close(); }

void CLog::closeFile()
{
    Lock lock(mutex_);
    if (file_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

bool CLog::Open(const wchar_t* path)
{
    Lock lock(mutex_);
    closeFile();
    if (!path || !*path) return false;
    if (std::wcslen(path) >= MAX_PATH) return false; // a report path always fits; anything else is refused
    std::wcscpy(path_, path);
    ensureFolderPath(path_, true, false);
    file_ = ::CreateFileW(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        closeFile();
        return false;
    }
    return true;
}

void CLog::Close()
{
    closeFile();
    if (mutex_) {
        ::CloseHandle(mutex_);
        mutex_ = nullptr;
    }
}

void CLog::Write(const char* bytes, bool newline)
{
    Lock lock(mutex_);
    if (file_ == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (bytes && *bytes) ::WriteFile(file_, bytes, static_cast<DWORD>(std::strlen(bytes)), &written, nullptr);
    if (newline) ::WriteFile(file_, "\r\n", 2, &written, nullptr);
}

void CLog::WriteText(const wchar_t* text, bool newline)
{
    if (!text) {
        conversion_.clear();
        Write(nullptr, newline);
        return;
    }
    const UINT codePage = ::GetACP();
    const DWORD flags = (codePage == 65000 || codePage == 65001) ? 0 : WC_COMPOSITECHECK;
    const int needed = ::WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        conversion_.clear();
    } else {
        std::vector<char> buffer(static_cast<size_t>(needed));
        ::WideCharToMultiByte(CP_ACP, flags, text, -1, buffer.data(), needed, nullptr, nullptr);
        conversion_.assign(buffer.data());
    }
    Write(conversion_.c_str(), newline);
}

} // namespace sorvane
