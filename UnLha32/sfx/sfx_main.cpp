// Self-extracting archive stub. The library's "s" command appends an LZH
// archive and a trailer (see archiver.h) to a copy of this program. Run, it
// asks for a folder (English or Japanese, as chosen when it was made) or,
// made with "2", extracts into its own folder without asking. Member paths
// are checked before anything is written: an archive with a damaged header
// or with a path that leaves the folder ("..", a drive, an absolute path) is
// refused as a whole.
//
// Command line: "/q" suppresses every message box (the exit code tells the
// outcome: 0 extracted, 1 cancelled, 2 damaged or unsafe archive, 3 write or
// data error); "/d<folder>" extracts to that folder without asking.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../src/archiver.h"
#include "../src/win_streams.h"
#include "lzh_archive.h"

namespace {

using unlha::FileHandle;
using unlha::from_ansi;

struct Texts {
    const wchar_t* title;
    const wchar_t* choose;
    const wchar_t* done;
    const wchar_t* damaged;
    const wchar_t* unsafe;
    const wchar_t* write_error;
    const wchar_t* data_error;
};

const Texts kEnglish = {
    L"Self-extracting archive",
    L"Choose the folder to extract the files to.",
    L"%u files were extracted to\n%s",
    L"This archive is damaged and was not extracted.",
    L"This archive holds a file whose path leaves the destination folder:\n%s\nNothing was extracted.",
    L"The file could not be written:\n%s",
    L"The data of this file is damaged:\n%s",
};

const Texts kJapanese = {
    L"自己解凍書庫",
    L"ファイルを展開するフォルダを選んでください。",
    L"%u 個のファイルを次のフォルダに展開しました。\n%s",
    L"この書庫は壊れているため、展開しませんでした。",
    L"この書庫には展開先フォルダの外を指すファイルがあります:\n%s\n何も展開しませんでした。",
    L"ファイルを書き込めませんでした:\n%s",
    L"このファイルのデータが壊れています:\n%s",
};

bool g_quiet = false;

// Everything the stub tells the user passes through here.
void report(const Texts& t, UINT icon, const wchar_t* format, const std::wstring& arg, unsigned count = 0) {
    if (g_quiet) return;
    std::vector<wchar_t> buf(arg.size() + 512);
    if (std::wcsstr(format, L"%u"))
        _snwprintf(buf.data(), buf.size() - 1, format, count, arg.c_str());
    else
        _snwprintf(buf.data(), buf.size() - 1, format, arg.c_str());
    buf.back() = 0;
    MessageBoxW(nullptr, buf.data(), t.title, MB_OK | icon);
}

// Reads the part [start, start + size) of a file as a stream.
class WindowIn : public lzh::InStream {
public:
    WindowIn(unlha::WinFileIn& f, uint64_t start, uint64_t size) : f_(f), start_(start), size_(size) {}
    bool begin() {
        pos_ = 0;
        return f_.seek(start_);
    }
    bool seek(uint64_t pos) {
        if (pos > size_) return false;
        pos_ = pos;
        return f_.seek(start_ + pos);
    }
    size_t read(uint8_t* dst, size_t n) override {
        if (n > size_ - pos_) n = static_cast<size_t>(size_ - pos_);
        size_t got = n ? f_.read(dst, n) : 0;
        pos_ += got;
        return got;
    }
    bool skip(uint64_t n) override {
        if (n > size_ - pos_) return false;
        return seek(pos_ + n);
    }
    bool failed() const override { return f_.failed(); }

private:
    unlha::WinFileIn& f_;
    uint64_t start_, size_, pos_ = 0;
};

// Member path in the local form, or empty when it must not be created.
std::wstring safe_member_path(const std::string& ansi) {
    std::wstring p = from_ansi(ansi);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    if (p.empty() || p[0] == L'\\' || p.find(L':') != std::wstring::npos) return std::wstring();
    size_t start = 0;
    bool any = false;
    while (start <= p.size()) {
        size_t end = p.find(L'\\', start);
        if (end == std::wstring::npos) end = p.size();
        std::wstring comp = p.substr(start, end - start);
        if (comp == L"..") return std::wstring();
        // Trailing dots and blanks are dropped by Windows: ". ." would be "..".
        std::wstring trimmed = comp;
        while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' ')) trimmed.pop_back();
        if (trimmed.empty() && !comp.empty() && comp != L".") return std::wstring();
        if (!comp.empty() && comp != L".") any = true;
        start = end + 1;
    }
    return any ? p : std::wstring();
}

bool make_dirs(const std::wstring& root, const std::wstring& rel_dir) {
    size_t start = 0;
    while (start < rel_dir.size()) {
        size_t end = rel_dir.find(L'\\', start);
        if (end == std::wstring::npos) end = rel_dir.size();
        std::wstring d = root + rel_dir.substr(0, end);
        if (!CreateDirectoryW(d.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        start = end + 1;
    }
    return true;
}

FILETIME member_filetime(const lzh::MemberHeader& h) {
    FILETIME ft = {};
    if (h.has_unix_time) {
        uint64_t v = 116444736000000000ull + static_cast<uint64_t>(h.unix_time) * 10000000ull;
        ft.dwLowDateTime = static_cast<DWORD>(v);
        ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
    } else {
        FILETIME local;
        if (DosDateTimeToFileTime(static_cast<WORD>(h.dos_time >> 16), static_cast<WORD>(h.dos_time), &local))
            LocalFileTimeToFileTime(&local, &ft);
    }
    return ft;
}

std::wstring ask_folder(const Texts& t) {
    BROWSEINFOW bi = {};
    bi.lpszTitle = t.choose;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
    if (!pidl) return std::wstring();
    std::vector<wchar_t> path(32768);
    bool ok = SHGetPathFromIDListEx(pidl, path.data(), static_cast<DWORD>(path.size()), 0) != 0;
    CoTaskMemFree(pidl);
    return ok ? std::wstring(path.data()) : std::wstring();
}

int run(const std::wstring& cmdline) {
    std::wstring forced_dir;
    if (cmdline.find(L"/q") != std::wstring::npos) g_quiet = true;
    const size_t d = cmdline.find(L"/d");
    if (d != std::wstring::npos) {
        forced_dir = cmdline.substr(d + 2);
        size_t end = forced_dir.find(L" /");
        if (end != std::wstring::npos) forced_dir.resize(end);
        while (!forced_dir.empty() && (forced_dir.back() == L' ' || forced_dir.back() == L'"'))
            forced_dir.pop_back();
        if (!forced_dir.empty() && forced_dir[0] == L'"') forced_dir.erase(0, 1);
    }

    std::vector<wchar_t> self(32768);
    DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0 || n >= self.size()) return 2;
    const std::wstring self_path(self.data(), n);

    unlha::WinFileIn file(self_path);
    LARGE_INTEGER size;
    unlha::SfxTrailer tr = {};
    bool sound = file.ok() && GetFileSizeEx(file.handle(), &size) &&
                 static_cast<uint64_t>(size.QuadPart) >= sizeof tr &&
                 file.seek(static_cast<uint64_t>(size.QuadPart) - sizeof tr) &&
                 file.read(reinterpret_cast<uint8_t*>(&tr), sizeof tr) == sizeof tr &&
                 std::memcmp(tr.magic, "SVLZHSFX", 8) == 0 &&
                 tr.archive_offset + tr.archive_size + sizeof tr == static_cast<uint64_t>(size.QuadPart);
    const Texts& t = (sound && (tr.flags & unlha::kSfxEnglish)) ? kEnglish : kJapanese;
    if (!sound) {
        report(t, MB_ICONERROR, L"%s", t.damaged);
        return 2;
    }

    // Read and check every header before anything is written.
    WindowIn arc(file, tr.archive_offset, tr.archive_size);
    std::vector<lzh::ListedMember> members;
    if (!arc.begin() || lzh::list_archive(arc, members) != lzh::Status::Ok) {
        report(t, MB_ICONERROR, L"%s", t.damaged);
        return 2;
    }
    std::vector<std::wstring> paths;
    for (const auto& m : members) {
        std::wstring p = safe_member_path(m.header.path);
        if (p.empty()) {
            report(t, MB_ICONERROR, t.unsafe, from_ansi(m.header.path));
            return 2;
        }
        if (!m.header.is_dir && m.header.method == lzh::Method::Unknown) {
            report(t, MB_ICONERROR, L"%s", t.damaged);
            return 2;
        }
        paths.push_back(p);
    }

    std::wstring dest = forced_dir;
    if (dest.empty()) {
        if (tr.flags & unlha::kSfxNoDialog) {
            dest = self_path.substr(0, self_path.find_last_of(L'\\') + 1);
        } else {
            dest = ask_folder(t);
            if (dest.empty()) return 1;
        }
    }
    if (dest.back() != L'\\') dest.push_back(L'\\');

    unsigned count = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        const lzh::MemberHeader& h = members[i].header;
        const std::wstring& rel = paths[i];
        const size_t cut = rel.find_last_of(L'\\');
        if (h.is_dir) {
            if (!make_dirs(dest, rel)) {
                report(t, MB_ICONERROR, t.write_error, dest + rel);
                return 3;
            }
            continue;
        }
        if (cut != std::wstring::npos && !make_dirs(dest, rel.substr(0, cut))) {
            report(t, MB_ICONERROR, t.write_error, dest + rel);
            return 3;
        }
        const std::wstring target = dest + rel;
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);  // an older read-only copy
        unlha::WinFileOut out(target, CREATE_ALWAYS);
        if (!out.ok()) {
            report(t, MB_ICONERROR, t.write_error, target);
            return 3;
        }
        lzh::Status st = arc.seek(members[i].data_offset) ? lzh::extract_member(h, arc, out)
                                                          : lzh::Status::ReadError;
        bool written = out.finish();
        if (st != lzh::Status::Ok || !written) {
            DeleteFileW(target.c_str());
            report(t, MB_ICONERROR, st == lzh::Status::Ok ? t.write_error : t.data_error, target);
            return 3;
        }
        {
            FileHandle fh(CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            FILETIME ft = member_filetime(h);
            if (fh.valid()) SetFileTime(fh.get(), nullptr, nullptr, &ft);
        }
        const DWORD keep = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (h.attr & keep) SetFileAttributesW(target.c_str(), h.attr & keep);
        ++count;
    }
    if (!forced_dir.empty() || !(tr.flags & unlha::kSfxNoDialog))
        report(t, MB_ICONINFORMATION, t.done, dest, count);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmdline, int) {
    HRESULT co = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int rc = run(cmdline ? std::wstring(cmdline) : std::wstring());
    if (SUCCEEDED(co)) CoUninitialize();
    return rc;
}
