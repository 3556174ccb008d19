#include "engine/HeldSource.h"

#include "engine/Listing.h"

#include <atomic>

namespace sorvane {

namespace {

// FILE_DISPOSITION_INFO_EX and its flags, which this platform's headers
// may lack.
constexpr int kFileDispositionInfoEx = 21;
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
struct DispositionInfoEx {
    DWORD flags;
};

BOOL WINAPI extendedDisposition(HANDLE file, DWORD flags)
{
    DispositionInfoEx information = {flags};
    return ::SetFileInformationByHandle(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileDispositionInfoEx),
                                        &information, sizeof(information));
}

BOOL WINAPI classicDisposition(HANDLE file)
{
    FILE_DISPOSITION_INFO information = {};
    information.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &information, sizeof(information));
}

std::atomic<const DispositionCalls*> g_dispositionOverride{nullptr};
// Set once the extended call has said it is not there: every later file
// goes straight to the classic one.
std::atomic<bool> g_noExtendedDisposition{false};

const DispositionCalls& activeDispositionCalls()
{
    const DispositionCalls* calls = g_dispositionOverride.load();
    return calls ? *calls : systemDispositionCalls();
}

bool notSupported(DWORD error)
{
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

bool sameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool setAttributes(HANDLE file, DWORD attributes)
{
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) != 0;
}

} // namespace

const DispositionCalls& systemDispositionCalls()
{
    static const DispositionCalls calls = {extendedDisposition, classicDisposition};
    return calls;
}

void overrideDispositionCalls(const DispositionCalls* calls)
{
    g_dispositionOverride.store(calls);
    g_noExtendedDisposition.store(false);
}

HoldResult HeldSource::hold(const wchar_t* path, const ListingRecord& listed)
{
    file_.reset(::CreateFileW(path, DELETE | GENERIC_READ | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file_) {
        error_ = ::GetLastError();
        return error_ == ERROR_SHARING_VIOLATION || error_ == ERROR_LOCK_VIOLATION ? HoldResult::InUse
                                                                                   : HoldResult::Failed;
    }
    facts_ = readFileFacts(file_.get());
    if (!facts_.known) {
        error_ = ::GetLastError();
        file_.reset();
        return HoldResult::Failed;
    }
    const FILETIME listedTime = listed.lastWrite;
    if (facts_.size != listed.size || !sameTime(facts_.lastWrite, listedTime)) {
        file_.reset();
        return HoldResult::Changed;
    }
    error_ = 0;
    return HoldResult::Held;
}

HoldResult HeldSource::lockForCopy(const wchar_t* path)
{
    file_.reset(::CreateFileW(path, GENERIC_READ | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (!file_) {
        error_ = ::GetLastError();
        return error_ == ERROR_SHARING_VIOLATION || error_ == ERROR_LOCK_VIOLATION ? HoldResult::InUse
                                                                                   : HoldResult::Failed;
    }
    error_ = 0;
    return HoldResult::Held;
}

bool HeldSource::unchanged()
{
    if (!file_) return false;
    const FileFacts now = readFileFacts(file_.get());
    return now.known && now.size == facts_.size && sameTime(now.lastWrite, facts_.lastWrite);
}

DWORD HeldSource::remove()
{
    if (!file_) return ERROR_INVALID_HANDLE;
    const DispositionCalls& calls = activeDispositionCalls();
    const DWORD attributes = facts_.attributes;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (calls.extended && !g_noExtendedDisposition.load()) {
        if (calls.extended(file_.get(), kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly)) {
            file_.reset();
            return 0;
        }
        const DWORD error = ::GetLastError();
        if (!notSupported(error)) return error;
        g_noExtendedDisposition.store(true);
    }
    // The classic disposition refuses a read-only file: it is made
    // writable through the same handle first.
    if (readOnly && !setAttributes(file_.get(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
        return ::GetLastError();
    }
    if (!calls.classic(file_.get())) {
        const DWORD error = ::GetLastError();
        if (readOnly) setAttributes(file_.get(), attributes);
        return error;
    }
    file_.reset();
    return 0;
}

} // namespace sorvane
