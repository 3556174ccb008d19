#include "EngineFakes.h"

#include "Raii.h"

#include <atomic>
#include <cwchar>

namespace sorvane::test {

uint64_t g_chunkedCopyFailAfterBytes = 0;
size_t g_chunkedCopyCalls = 0;

OtherVolumeFolder::OtherVolumeFolder()
{
    static std::atomic<unsigned> counter{0};
    const DWORD shm = ::GetFileAttributesW(L"Z:\\dev\\shm");
    if (shm == INVALID_FILE_ATTRIBUTES || !(shm & FILE_ATTRIBUTE_DIRECTORY)) return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[MAX_PATH];
        std::swprintf(name, MAX_PATH, L"Z:\\dev\\shm\\sorvane-test-%lu-%u", ::GetCurrentProcessId(), counter++);
        if (::CreateDirectoryW(name, nullptr)) {
            path_ = name;
            return;
        }
    }
}

OtherVolumeFolder::~OtherVolumeFolder()
{
    if (!path_.empty()) removeTree(path_);
}

BOOL WINAPI chunkedCopyFileEx(LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress, LPVOID data,
                              LPBOOL cancel, DWORD flags)
{
    ++g_chunkedCopyCalls;
    UniqueFile in(::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!in) return FALSE;
    LARGE_INTEGER total;
    if (!::GetFileSizeEx(in.get(), &total)) return FALSE;
    const DWORD disposition = (flags & COPY_FILE_FAIL_IF_EXISTS) ? CREATE_NEW : CREATE_ALWAYS;
    UniqueFile out(::CreateFileW(target, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return FALSE;

    auto abandon = [&](DWORD error, bool removePartial) {
        out.reset();
        if (removePartial) ::DeleteFileW(target);
        ::SetLastError(error);
        return FALSE;
    };

    LARGE_INTEGER done = {};
    if (progress) {
        const DWORD answer = progress(total, done, total, done, 1, CALLBACK_STREAM_SWITCH, in.get(), out.get(), data);
        if (answer == PROGRESS_CANCEL) return abandon(ERROR_REQUEST_ABORTED, true);
    }
    static char chunk[65536];
    for (;;) {
        if (cancel && *cancel) return abandon(ERROR_REQUEST_ABORTED, true);
        DWORD got = 0;
        if (!::ReadFile(in.get(), chunk, sizeof(chunk), &got, nullptr)) return abandon(::GetLastError(), true);
        if (got == 0) break;
        if (g_chunkedCopyFailAfterBytes && static_cast<uint64_t>(done.QuadPart) + got > g_chunkedCopyFailAfterBytes) {
            // A fault halfway: part of the data written, the rest never comes.
            DWORD written = 0;
            ::WriteFile(out.get(), chunk, got / 2, &written, nullptr);
            return abandon(ERROR_GEN_FAILURE, false);
        }
        DWORD written = 0;
        if (!::WriteFile(out.get(), chunk, got, &written, nullptr) || written != got) {
            return abandon(::GetLastError(), true);
        }
        done.QuadPart += got;
        if (progress) {
            const DWORD answer =
                progress(total, done, total, done, 1, CALLBACK_CHUNK_FINISHED, in.get(), out.get(), data);
            if (answer == PROGRESS_CANCEL) return abandon(ERROR_REQUEST_ABORTED, true);
        }
    }
    FILETIME created, accessed, written;
    if (::GetFileTime(in.get(), &created, &accessed, &written)) ::SetFileTime(out.get(), &created, &accessed, &written);
    out.reset();
    ::SetFileAttributesW(target, ::GetFileAttributesW(source));
    return TRUE;
}

} // namespace sorvane::test
