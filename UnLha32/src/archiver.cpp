#include "archiver.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <vector>

#include "lzh_archive.h"
#include "win_streams.h"

namespace unlha {

namespace {

// Lead-byte flags of the ANSI code page, for splitting member paths.
const bool* ansi_lead_bytes() {
    struct Table {
        bool lead[256];
        Table() {
            for (int c = 0; c < 256; ++c) lead[c] = IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
        }
    };
    static const Table table;  // built once, safely across threads
    return table.lead;
}

std::wstring full_path(const std::wstring& p) {
    DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (n == 0) return p;
    std::wstring out(n, L'\0');
    n = GetFullPathNameW(p.c_str(), n, &out[0], nullptr);
    out.resize(n);
    return out;
}

std::wstring upper(std::wstring s) {
    if (!s.empty()) CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

std::wstring parent_of(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring(L".\\") : path.substr(0, cut + 1);
}

void with_backslash(std::wstring& dir) {
    if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') dir.push_back(L'\\');
}

uint64_t filetime_u64(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME u64_filetime(uint64_t v) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(v);
    ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
    return ft;
}

constexpr uint64_t kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in FILETIME units
constexpr uint64_t kSecond = 10000000ull;

int64_t filetime_to_unix(const FILETIME& ft) {
    return static_cast<int64_t>((filetime_u64(ft) - kUnixEpoch) / kSecond);
}

// Last-write time of an archive member in UTC FILETIME units.
uint64_t member_time(const lzh::MemberHeader& h) {
    if (h.has_unix_time) return kUnixEpoch + static_cast<uint64_t>(h.unix_time) * kSecond;
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(static_cast<WORD>(h.dos_time >> 16), static_cast<WORD>(h.dos_time & 0xFFFF),
                               &local) ||
        !LocalFileTimeToFileTime(&local, &utc))
        return 0;
    return filetime_u64(utc);
}

// A local minute as UTC-independent local FILETIME value.
bool local_minute(const LocalTime& t, uint64_t& out) {
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft)) return false;
    out = filetime_u64(ft);
    return true;
}

struct SourceFile {
    std::wstring full;   // path on disk
    std::wstring rel;    // member path (wide)
    uint64_t mtime = 0;  // UTC FILETIME
    uint64_t size = 0;
    DWORD attr = 0;
};

// Deletes a file on destruction unless released.
class TempFile {
public:
    explicit TempFile(std::wstring path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::wstring path_;
};

// Owns a find handle.
class FindHandle {
public:
    explicit FindHandle(HANDLE h) : h_(h) {}
    ~FindHandle() {
        if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

class Collector {
public:
    Collector(const Command& cmd, std::wstring base, std::vector<std::wstring> skip)
        : cmd_(cmd), base_(std::move(base)), skip_(std::move(skip)) {
        for (const std::string& x : cmd.excludes) excludes_.push_back(from_ansi(x));
        have_newer_ = cmd.has_newer && local_minute(cmd.newer, newer_);
        have_older_ = cmd.has_older && local_minute(cmd.older, older_);
        if (have_older_) older_ += 60 * kSecond;  // the whole minute counts
    }

    // Adds the files that one name or wildcard stands for.
    bool add(const std::string& name_ansi) {
        std::wstring name = from_ansi(name_ansi);
        std::replace(name.begin(), name.end(), L'/', L'\\');
        size_t cut = name.find_last_of(L'\\');
        std::wstring sub = cut == std::wstring::npos ? std::wstring() : name.substr(0, cut + 1);
        std::wstring pattern = cut == std::wstring::npos ? name : name.substr(cut + 1);
        if (pattern.empty()) pattern = L"*.*";
        const bool absolute = (sub.size() >= 2 && sub[1] == L':') || (!sub.empty() && sub[0] == L'\\');
        std::wstring dir = absolute ? sub : base_ + sub;
        const std::wstring rel = absolute ? std::wstring() : sub;
        // A plain name without -r1 is one file: looked up, not searched
        // for, so that a list of thousands of names stays quick.
        if (!cmd_.recurse && pattern.find_first_of(L"*?") == std::wstring::npos) return add_exact(dir, rel, pattern);
        return walk(dir, rel, pattern);
    }

    std::vector<SourceFile>& files() { return files_; }

private:
    bool excluded(const std::wstring& name, const std::wstring& rel) const {
        for (const std::wstring& x : excludes_) {
            const bool with_path = x.find(L'\\') != std::wstring::npos;
            if (wildcard_match(x, with_path ? rel : name)) return true;
        }
        return false;
    }

    // Takes one found entry when it is a file that passes the exclusions
    // and the time range.
    void take(const std::wstring& dir, const std::wstring& rel, const WIN32_FIND_DATAW& fd) {
        const std::wstring n = fd.cFileName;
        const std::wstring r = rel + n;
        if (excluded(n, r)) return;
        if (!time_ok(fd.ftLastWriteTime)) return;
        SourceFile f;
        f.full = dir + n;
        f.rel = cmd_.store_paths ? r : n;
        f.mtime = filetime_u64(fd.ftLastWriteTime);
        f.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        f.attr = fd.dwFileAttributes;
        const std::wstring key = upper(f.full);
        if (std::find(skip_.begin(), skip_.end(), key) != skip_.end()) return;
        if (!seen_.insert(key).second) return;
        files_.push_back(std::move(f));
    }

    // One file named exactly; its long name must be the name given (never
    // a short-name alias of another file). A missing name adds nothing.
    bool add_exact(const std::wstring& dir, const std::wstring& rel, const std::wstring& name) {
        WIN32_FIND_DATAW fd;
        FindHandle fh(FindFirstFileExW((dir + name).c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0));
        if (fh.get() == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        }
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return true;
        if (CompareStringOrdinal(fd.cFileName, -1, name.c_str(), -1, TRUE) != CSTR_EQUAL) return true;
        take(dir, rel, fd);
        return true;
    }

    bool walk(const std::wstring& dir, const std::wstring& rel, const std::wstring& pattern) {
        WIN32_FIND_DATAW fd;
        FindHandle fh(FindFirstFileExW((dir + L"*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (fh.get() == INVALID_HANDLE_VALUE) return true;  // a missing folder adds nothing
        std::vector<std::wstring> subdirs;
        do {
            const std::wstring n = fd.cFileName;
            if (n == L"." || n == L"..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (cmd_.recurse && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) subdirs.push_back(n);
                continue;
            }
            if (!wildcard_match(pattern, n)) continue;
            take(dir, rel, fd);
        } while (FindNextFileW(fh.get(), &fd));
        if (GetLastError() != ERROR_NO_MORE_FILES) return false;
        for (const std::wstring& s : subdirs)
            if (!walk(dir + s + L"\\", rel + s + L"\\", pattern)) return false;
        return true;
    }

    bool time_ok(const FILETIME& utc) const {
        if (!have_newer_ && !have_older_) return true;
        FILETIME local;
        if (!FileTimeToLocalFileTime(&utc, &local)) return false;
        const uint64_t t = filetime_u64(local);
        if (have_newer_ && t < newer_) return false;
        if (have_older_ && t >= older_) return false;
        return true;
    }

    const Command& cmd_;
    std::wstring base_;
    std::vector<std::wstring> skip_;  // upper-cased paths never to archive
    std::vector<std::wstring> excludes_;
    bool have_newer_ = false, have_older_ = false;
    uint64_t newer_ = 0, older_ = 0;
    std::vector<SourceFile> files_;
    std::set<std::wstring> seen_;
};

// One member of the archive being written: copied from the old archive or
// made from a file.
struct Slot {
    const lzh::ListedMember* old = nullptr;
    const SourceFile* file = nullptr;
};

bool copy_bytes(WinFileIn& in, uint64_t offset, uint64_t n, lzh::OutStream& out) {
    if (!in.seek(offset)) return false;
    std::vector<uint8_t> buf(1 << 16);
    while (n > 0) {
        size_t want = n < buf.size() ? static_cast<size_t>(n) : buf.size();
        size_t got = in.read(buf.data(), want);
        if (got != want) return false;
        if (!out.write(buf.data(), got)) return false;
        n -= got;
    }
    return true;
}

// This process's start time (100 ns units), read once.
uint64_t process_start_time() {
    static const uint64_t start = [] {
        FILETIME created = {}, exited, kernel, user;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    }();
    return start;
}

// A new file in the archive's folder for the replacement archive. Its name
// says which process made it and when that process started
// ("lzh-<process id>-<start time>-<n>.tmp", hexadecimal), so that a later
// run can tell a temporary whose process died (and remove it) from one
// that a running process still writes.
bool make_temp_beside(const std::wstring& target, std::wstring& temp) {
    static std::atomic<unsigned> counter{0};
    std::wstring dir = parent_of(target);
    with_backslash(dir);
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[64];
        swprintf(name, 64, L"lzh-%lx-%llx-%x.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                 static_cast<unsigned long long>(process_start_time()), counter.fetch_add(1));
        const std::wstring candidate = dir + name;
        HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            temp = candidate;
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

int fail(std::string& message, int code, const std::string& text) {
    message = text;
    return code;
}

int add_or_update(const Command& cmd, std::string& message) {
    const std::wstring archive = full_path(from_ansi(cmd.archive));
    std::wstring base = cmd.base_dir.empty() ? full_path(L".") : full_path(from_ansi(cmd.base_dir));
    with_backslash(base);

    // The existing archive, if any, is read completely before anything is
    // written; a damaged one stops the command and stays as it is.
    std::vector<lzh::ListedMember> members;
    std::unique_ptr<WinFileIn> old;
    const DWORD attrs = GetFileAttributesW(archive.c_str());
    const bool exists = attrs != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) return fail(message, kErrArchive, "archive name is a folder");
        if (attrs & FILE_ATTRIBUTE_READONLY) return fail(message, kErrWrite, "the archive is read-only");
        old = std::make_unique<WinFileIn>(archive);
        if (!old->ok()) return fail(message, kErrRead, "cannot open the archive");
        lzh::Status st = lzh::list_archive(*old, members);
        if (st != lzh::Status::Ok)
            return fail(message, kErrArchive, std::string("damaged archive: ") + lzh::status_text(st));
    }

    Collector col(cmd, base, {upper(archive)});
    std::vector<std::string> names = cmd.names;
    if (names.empty()) names.push_back("*.*");
    for (const std::string& n : names)
        if (!col.add(n)) return fail(message, kErrRead, "cannot list " + n);
    std::vector<SourceFile>& files = col.files();
    if (files.empty()) return fail(message, kErrNoFiles, "no files matched");

    // Place every file: over an old member with the same path, or at the end.
    std::vector<Slot> slots;
    std::map<std::wstring, size_t> by_path;
    for (const auto& m : members) {
        Slot s;
        s.old = &m;
        std::wstring key = from_ansi(m.header.path);
        while (!key.empty() && key[0] == L'\\') key.erase(0, 1);
        by_path[upper(key)] = slots.size();
        slots.push_back(s);
    }
    size_t changes = 0;
    for (const SourceFile& f : files) {
        auto it = by_path.find(upper(f.rel));
        if (it != by_path.end()) {
            Slot& s = slots[it->second];
            if (s.file) continue;  // two sources for one member: the first wins
            if (cmd.verb == 'u' && s.old) {
                // Newer by at least the resolution of the member's time.
                const uint64_t mt = member_time(s.old->header);
                const uint64_t slack = s.old->header.has_unix_time ? kSecond : 2 * kSecond;
                if (f.mtime < mt + slack) continue;
            }
            s.file = &f;
            ++changes;
        } else {
            Slot s;
            s.file = &f;
            by_path[upper(f.rel)] = slots.size();
            slots.push_back(s);
            ++changes;
        }
    }
    if (changes == 0) return kOk;  // everything in the archive is up to date

    std::wstring temp_path;
    if (!make_temp_beside(archive, temp_path)) return fail(message, kErrWrite, "cannot create a temporary file");
    TempFile temp(temp_path);
    {
        WinFileOut out(temp.path(), CREATE_ALWAYS);
        if (!out.ok()) return fail(message, kErrWrite, "cannot open the temporary file");
        lzh::EncodeOptions opt = cmd.thorough ? lzh::EncodeOptions::thorough() : lzh::EncodeOptions();
        for (const Slot& s : slots) {
            if (s.file) {
                WinFileIn in(s.file->full);
                if (!in.ok()) return fail(message, kErrRead, "cannot open " + to_ansi(s.file->full));
                lzh::MemberHeader h;
                bool exact = true;
                h.path = to_ansi(s.file->rel, &exact);
                // A name the code page cannot spell would come back as
                // another name (or none): refuse rather than lose the file.
                if (!exact)
                    return fail(message, kErrRead,
                                "name has no form in the ANSI code page: " + to_ansi(s.file->rel));
                h.lead_bytes = ansi_lead_bytes();
                h.orig_size = s.file->size;
                h.unix_time = filetime_to_unix(u64_filetime(s.file->mtime));
                h.has_unix_time = true;
                h.attr = static_cast<uint8_t>(s.file->attr & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
                lzh::Status st = lzh::write_file_member(out, h, in, cmd.method, opt);
                if (st != lzh::Status::Ok) {
                    const bool read_side = st == lzh::Status::ReadError && in.failed();
                    return fail(message, read_side ? kErrRead : kErrWrite,
                                std::string(lzh::status_text(st)) + ": " + to_ansi(s.file->full));
                }
            } else {
                const lzh::ListedMember& m = *s.old;
                if (!out.write(m.raw.data(), m.raw.size()) ||
                    !copy_bytes(*old, m.data_offset, m.header.packed_size, out))
                    return fail(message, kErrWrite, "cannot copy member " + m.header.path);
            }
        }
        if (lzh::write_archive_end(out) != lzh::Status::Ok || !out.truncate() || !out.finish())
            return fail(message, kErrWrite, "cannot write the archive");
    }
    old.reset();  // the old archive must be closed before it is replaced
    if (!MoveFileExW(temp.path().c_str(), archive.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(message, kErrWrite, "cannot replace the archive");
    temp.release();
    return kOk;
}

int make_sfx(HMODULE self, const Command& cmd, std::string& message) {
    const std::wstring archive = full_path(from_ansi(cmd.archive));
    std::wstring out_dir = cmd.output_dir.empty() ? parent_of(archive) : full_path(from_ansi(cmd.output_dir));
    with_backslash(out_dir);
    std::wstring stem = archive.substr(archive.find_last_of(L"\\/") + 1);
    size_t dot = stem.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) stem.resize(dot);
    const std::wstring exe = out_dir + stem + L".exe";

    // Only a sound archive becomes a self-extractor.
    WinFileIn in(archive);
    if (!in.ok()) return fail(message, kErrRead, "cannot open the archive");
    std::vector<lzh::ListedMember> members;
    lzh::Status st = lzh::list_archive(in, members);
    if (st != lzh::Status::Ok)
        return fail(message, kErrArchive, std::string("damaged archive: ") + lzh::status_text(st));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(in.handle(), &size)) return fail(message, kErrRead, "cannot read the archive");

    HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(kSfxStubResource), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = res ? LoadResource(self, res) : nullptr;
    const void* stub = loaded ? LockResource(loaded) : nullptr;
    const DWORD stub_size = res ? SizeofResource(self, res) : 0;
    if (!stub || stub_size == 0) return fail(message, kErrSfx, "self-extractor stub missing");

    std::wstring temp_path;
    if (!make_temp_beside(exe, temp_path)) return fail(message, kErrWrite, "cannot create a temporary file");
    TempFile temp(temp_path);
    {
        WinFileOut out(temp.path(), CREATE_ALWAYS);
        if (!out.ok()) return fail(message, kErrWrite, "cannot open the temporary file");
        SfxTrailer tr = {};
        std::memcpy(tr.magic, "SVLZHSFX", 8);
        tr.archive_offset = stub_size;
        tr.archive_size = static_cast<uint64_t>(size.QuadPart);
        tr.flags = (cmd.sfx_english ? kSfxEnglish : 0) | (cmd.sfx_no_dialog ? kSfxNoDialog : 0);
        if (!out.write(static_cast<const uint8_t*>(stub), stub_size) ||
            !copy_bytes(in, 0, tr.archive_size, out) ||
            !out.write(reinterpret_cast<const uint8_t*>(&tr), sizeof tr) || !out.finish())
            return fail(message, kErrWrite, "cannot write the self-extractor");
    }
    if (!MoveFileExW(temp.path().c_str(), exe.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(message, kErrWrite, "cannot put the self-extractor in place");
    temp.release();
    return kOk;
}

bool read_response_file(const std::string& path, std::string& content) {
    WinFileIn in(from_ansi(path));
    if (!in.ok()) return false;
    content.clear();
    char buf[4096];
    for (;;) {
        size_t got = in.read(reinterpret_cast<uint8_t*>(buf), sizeof buf);
        if (got == 0) break;
        content.append(buf, got);
    }
    return !in.failed();
}

}  // namespace

int run_command_line(HMODULE self, const std::string& line, std::string& message) {
    Command cmd;
    std::string error;
    if (!parse_command(line, read_response_file, cmd, error)) return fail(message, kErrCommand, error);
    if (cmd.verb == 's') return make_sfx(self, cmd, message);
    return add_or_update(cmd, message);
}

}  // namespace unlha
