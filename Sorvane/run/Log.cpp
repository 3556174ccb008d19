#include "run/Log.h"

#include "engine/PathUtil.h"

#include <cstring>
#include <cwchar>

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

CLog::CLog() : mutex_(openSharedMutex(false, kMutexName, true)) { buffer_.reserve(kFlushBytes + 4096); }

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
    Flush();
    buffer_.clear();
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
    Flush();
    closeFile();
    if (mutex_) {
        ::CloseHandle(mutex_);
        mutex_ = nullptr;
    }
}

void CLog::Flush()
{
    if (buffer_.empty()) return;
    Lock lock(mutex_);
    if (file_ != INVALID_HANDLE_VALUE) {
        // One block of whole records in one critical section. Write errors
        // are not reported; a short write goes on from where it stopped.
        const char* at = buffer_.data();
        size_t left = buffer_.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
            if (!::WriteFile(file_, at, chunk, &written, nullptr) || written == 0) break;
            at += written;
            left -= written;
        }
    }
    buffer_.clear();
}

void CLog::endRecord() noexcept
{
    if (recordDepth_ > 0) --recordDepth_;
    if (recordDepth_ > 0 || buffer_.empty()) return;
    const unsigned long long now = ::GetTickCount64();
    if (bufferSince_ == 0) bufferSince_ = now;
    if (buffer_.size() >= kFlushBytes || now - bufferSince_ >= kFlushMilliseconds) {
        Flush();
        bufferSince_ = 0;
    }
}

void CLog::Write(const char* bytes, bool newline)
{
    Record record(*this);
    if (file_ == INVALID_HANDLE_VALUE) return;
    if (bytes && *bytes) buffer_.append(bytes);
    if (newline) buffer_.append("\r\n", 2);
}

void CLog::WriteText(const wchar_t* text, bool newline)
{
    WriteText(text, text ? std::wcslen(text) : 0, newline);
}

void CLog::WriteText(const wchar_t* text, size_t length, bool newline)
{
    Record record(*this);
    if (file_ == INVALID_HANDLE_VALUE) return;
    if (text && length > 0) {
        // Every name as it is, whatever the code page: UTF-8, which the
        // report's head declares. A lone surrogate becomes U+FFFD.
        const int units = length > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(length);
        const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
        if (needed > 0) {
            const size_t used = buffer_.size();
            buffer_.resize(used + static_cast<size_t>(needed));
            const int converted =
                ::WideCharToMultiByte(CP_UTF8, 0, text, units, &buffer_[used], needed, nullptr, nullptr);
            buffer_.resize(used + static_cast<size_t>(converted > 0 ? converted : 0));
        }
    }
    if (newline) buffer_.append("\r\n", 2);
}

} // namespace sorvane
