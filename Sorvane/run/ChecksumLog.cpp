#include "run/ChecksumLog.h"

#include "engine/PathForms.h"
#include "engine/PathUtil.h"
#include "res/SorvaneRes.h"
#include "run/LogHtml.h"

#include <cwchar>

namespace sorvane {

namespace {

enum : UINT {
    kIdsChecksumFile = IDS_REPORT_CHECKSUM_FILE,
};

bool samePath(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

} // namespace

ChecksumLog::~ChecksumLog() { writer_.close(); }

DWORD ChecksumLog::open(const std::wstring& path)
{
    path_ = ordinaryFormOf(path);
    missed_ = 0;
    writeError_ = 0;
    // Its folder is the target folder or one above it, which the run
    // would make anyway.
    const DWORD folders = ensureFolderPath(longFormOf(path).c_str(), true, false);
    if (folders != 0) return folders;
    return writer_.open(path.c_str());
}

ILogSink* ChecksumLog::wrap(ILogSink* next, CLogHtml* report)
{
    next_ = next;
    if (!writer_.isOpen()) return next;
    if (report) {
        report->BeginTable();
        report->WriteLinkRow(kIdsChecksumFile, path_.c_str(), fileUrlOf(path_).c_str());
        report->EndTable();
    }
    return this;
}

void ChecksumLog::WriteOutcome(const wchar_t* path, const Outcome& outcome)
{
    if (next_) next_->WriteOutcome(path, outcome);
    if (outcome.status != kStatusVerified || !outcome.digest || !path) return;
    try {
        // The row of a verified copy names the copy itself. The checksum
        // file is never one of them: it is no source of the run.
        if (samePath(ordinaryFormOf(path), path_)) return;
        if (!writer_.add(path, *outcome.digest)) {
            ++missed_;
            if (writeError_ == 0) writeError_ = ::GetLastError();
        }
    } catch (...) {
        // The engine's call must not fail for the checksum file: the copy
        // is done; the file lacks its line, which close() reports.
        ++missed_;
    }
}

DWORD ChecksumLog::close()
{
    if (!writer_.isOpen()) return 0;
    const DWORD error = writer_.close();
    if (error != 0) return error;
    if (missed_ != 0) return writeError_ != 0 ? writeError_ : ERROR_WRITE_FAULT;
    return 0;
}

std::wstring dialogChecksumPath(const std::wstring& targetFolder, const SYSTEMTIME& start)
{
    wchar_t name[48];
    std::swprintf(name, 48, L"Sorvane-%04u%02u%02u-%02u%02u%02u.xxh128", start.wYear, start.wMonth, start.wDay,
                  start.wHour, start.wMinute, start.wSecond);
    std::wstring path = targetFolder;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + name;
}

std::wstring fileUrlOf(const std::wstring& path)
{
    const std::wstring plain = ordinaryFormOf(path);
    std::wstring url = L"file:///";
    size_t start = 0;
    // A share's path, "\\server\share\...", is "file://server/share/...".
    if (plain.compare(0, 2, L"\\\\") == 0) {
        url = L"file://";
        start = 2;
    }
    for (size_t i = start; i < plain.size(); ++i) {
        const wchar_t c = plain[i];
        switch (c) {
        case L'\\': url += L'/'; break;
        case L'%': url += L"%25"; break;
        case L'#': url += L"%23"; break;
        case L'?': url += L"%3F"; break;
        case L' ': url += L"%20"; break;
        default: url += c; break;
        }
    }
    return url;
}

} // namespace sorvane
