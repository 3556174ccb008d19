#include "run/Log.h"

#include "engine/PathUtil.h"

#include <atomic>
#include <cstring>
#include <cwchar>

namespace sorvane {

namespace {

std::atomic<DWORD> g_lockWait{CLog::kLockWaitMilliseconds};
std::atomic<const wchar_t*> g_mutexName{CLog::kMutexName};

} // namespace

HANDLE openSharedMutex(bool initialOwner, const wchar_t* name)
{
    if (!name || !*name) return ::CreateMutexW(nullptr, initialOwner, nullptr);
    // The session's own namespace and the account's default security: no
    // other session, and no account outside this session, can hold it.
    return ::CreateMutexW(nullptr, initialOwner, (std::wstring(L"Local\\") + name).c_str());
}

DWORD CLog::setLockWait(DWORD milliseconds) noexcept
{
    return g_lockWait.exchange(milliseconds ? milliseconds : kLockWaitMilliseconds);
}

DWORD CLog::lockWait() noexcept { return g_lockWait.load(); }

const wchar_t* CLog::setMutexName(const wchar_t* name) noexcept
{
    return g_mutexName.exchange(name ? name : kMutexName);
}

CLog::Lock::Lock(CLog& log) noexcept : mutex_(log.mutex_)
{
    if (!mutex_) return;
    // Once a wait gave up, the log takes the mutex only when it is free:
    // one stalled holder costs the run one wait, not one per write.
    const DWORD wait = ::WaitForSingleObject(mutex_, log.lockGivenUp_ ? 0 : log.lockWait_);
    if (wait == WAIT_TIMEOUT) log.lockGivenUp_ = true;
    // An abandoned mutex is ours now; anything else means no lock.
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) mutex_ = nullptr;
}

CLog::Lock::~Lock()
{
    if (mutex_) ::ReleaseMutex(mutex_);
}

CLog::CLog() : mutex_(openSharedMutex(false, g_mutexName.load())), lockWait_(lockWait())
{
    buffer_.reserve(kFlushBytes + 4096);
}

CLog::~CLog() { Close(); }

void CLog::closeFile()
{
    Lock lock(*this);
    if (file_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

bool CLog::Open(const wchar_t* path)
{
    Flush();
    buffer_.clear();
    Lock lock(*this);
    closeFile();
    if (!path || !*path) return false;
    if (std::wcslen(path) >= MAX_PATH) return false; // a report path always fits; anything else is refused
    std::wcscpy(path_, path);
    ensureFolderPath(path_, true, false);
    // Shared for reading: a browser opens the report with read and write
    // sharing while the run goes on. Nobody else may write it.
    file_ = ::CreateFileW(path_, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
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
    Lock lock(*this);
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
