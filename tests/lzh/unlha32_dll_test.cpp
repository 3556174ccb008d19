// UnLha32.dll through its exports, under Wine: the commands that the
// compress operation sends, updates of archives written by other programs,
// failures that must leave a good archive alone, and the self-extractor.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "lzh_archive.h"

using namespace lzh;

namespace {

using UnlhaFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
using VersionFn = WORD(WINAPI*)();

HMODULE library() {
    static HMODULE lib = LoadLibraryW(L"" LZH_DIST_DIR L"\\UnLha32.dll");
    return lib;
}

template <class F>
F entry(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library(), name)));
}

std::string last_message;

int unlha(const std::string& cmd) {
    char out[512] = {};
    int rc = entry<UnlhaFn>("Unlha")(nullptr, cmd.c_str(), out, sizeof out);
    last_message = out;
    return rc;
}

std::string narrow(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

std::vector<uint8_t> read_all(const std::wstring& path) {
    std::vector<uint8_t> v;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return v;
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    v.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!v.empty()) ReadFile(h, v.data(), static_cast<DWORD>(v.size()), &got, nullptr);
    CloseHandle(h);
    v.resize(got);
    return v;
}

void write_all(const std::wstring& path, const std::vector<uint8_t>& data) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << narrow(path);
    DWORD done = 0;
    if (!data.empty()) WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &done, nullptr);
    CloseHandle(h);
    ASSERT_EQ(done, data.size());
}

void set_local_mtime(const std::wstring& path, int y, int mo, int d, int h, int mi, int s = 0) {
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    SetFileTime(f, nullptr, nullptr, &utc);
    CloseHandle(f);
}

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> random_data(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<uint8_t> text_data(size_t n) {
    static const char* words[] = {"alpha ", "beta ", "gamma\r\n", "delta ", "archive ", "folder "};
    std::mt19937 rng(3);
    std::vector<uint8_t> v;
    while (v.size() < n)
        for (const char* p = words[rng() % 6]; *p && v.size() < n; ++p) v.push_back(static_cast<uint8_t>(*p));
    return v;
}

struct Member {
    ListedMember listed;
    std::vector<uint8_t> content;  // decoded
    std::vector<uint8_t> stored;   // header and data bytes as in the archive
    Status status = Status::Ok;
};

// Reads an archive with the codec: every member listed, decoded and checked.
std::map<std::string, Member> read_archive(const std::wstring& path, Status* list_status = nullptr) {
    std::map<std::string, Member> out;
    std::vector<uint8_t> arc = read_all(path);
    std::vector<ListedMember> ms;
    MemoryIn in(arc);
    Status st = list_archive(in, ms);
    if (list_status) *list_status = st;
    if (st != Status::Ok) return out;
    for (const auto& m : ms) {
        Member mem;
        mem.listed = m;
        mem.stored.assign(arc.begin() + static_cast<std::ptrdiff_t>(m.header_offset),
                          arc.begin() + static_cast<std::ptrdiff_t>(m.data_offset + m.header.packed_size));
        if (!m.header.is_dir) {
            MemoryIn din(arc);
            din.skip(m.data_offset);
            VectorOut vo(mem.content);
            mem.status = extract_member(m.header, din, vo);
        }
        out[m.header.path] = std::move(mem);
    }
    return out;
}

class TempTree : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(library(), nullptr) << "UnLha32.dll not found in " << LZH_DIST_DIR;
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        // The process id alone is not enough: Wine hands a dead process's id
        // to the next one quickly, and its leftovers may still be there.
        FILETIME created = {}, exited = {}, kernel = {}, user = {};
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        const std::wstring stem = std::wstring(tmp) + L"lzhtest" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                  std::to_wstring(created.dwHighDateTime) + L"_" +
                                  std::to_wstring(created.dwLowDateTime) + L"_";
        bool made = false;
        for (int attempt = 0; attempt < 1000 && !made; ++attempt) {
            root_ = stem + std::to_wstring(++counter_) + L"\\";
            made = CreateDirectoryW(root_.c_str(), nullptr) != FALSE;
            if (!made && GetLastError() != ERROR_ALREADY_EXISTS) break;
        }
        ASSERT_TRUE(made) << "no scratch folder: " << narrow(root_) << " error " << GetLastError();
    }
    void TearDown() override { remove_tree(root_); }

    static void remove_tree(const std::wstring& dir) {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring n = fd.cFileName;
                if (n == L"." || n == L"..") continue;
                std::wstring p = dir + n;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    remove_tree(p + L"\\");
                } else {
                    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(p.c_str());
                }
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }

    std::wstring path(const std::wstring& rel) const { return root_ + rel; }
    std::string apath(const std::wstring& rel) const { return narrow(root_ + rel); }
    void mkdir(const std::wstring& rel) { ASSERT_TRUE(CreateDirectoryW(path(rel).c_str(), nullptr)); }
    void file(const std::wstring& rel, const std::vector<uint8_t>& data) { write_all(path(rel), data); }
    // The response file lies in a folder with a blank, as a user's temporary
    // folder may; its path goes unquoted after the '@'.
    void response(const std::string& text) {
        CreateDirectoryW(path(L"resp dir").c_str(), nullptr);
        write_all(path(L"resp dir\\resp.tmp"), bytes(text));
    }
    std::string at_response() const { return "@" + apath(L"resp dir\\resp.tmp"); }

    // Names of the files directly in the tree's root (to spot leftovers).
    std::vector<std::wstring> root_files() const {
        std::vector<std::wstring> out;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((root_ + L"*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return out;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(fd.cFileName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return out;
    }

    std::wstring root_;
    static int counter_;
};
int TempTree::counter_ = 0;

TEST(Library, ExportsAndVersion) {
    ASSERT_NE(library(), nullptr);
    ASSERT_NE(entry<VersionFn>("UnlhaGetVersion"), nullptr);
    ASSERT_NE(entry<UnlhaFn>("Unlha"), nullptr);
    EXPECT_GE(entry<VersionFn>("UnlhaGetVersion")(), 65);
    EXPECT_NE(unlha("z nothing.lzh"), 0);
    EXPECT_FALSE(last_message.empty());
}

using Add = TempTree;

// The example of the compress operation: a file and the patterns inside a
// folder, with paths, recursing.
TEST_F(Add, NamesAndPatternsFromAResponseFile) {
    mkdir(L"Data");
    mkdir(L"Data\\Sub");
    mkdir(L"Data\\Sub\\Deeper");
    file(L"Data\\a.txt", bytes("A"));
    file(L"Data\\b.txt", bytes("B, not listed"));
    file(L"Data\\Sub\\x.txt", bytes("X"));
    file(L"Data\\Sub\\y.doc", bytes("Y"));
    file(L"Data\\Sub\\n.bin", bytes("N, no pattern"));
    file(L"Data\\Sub\\Deeper\\z.txt", bytes("Z"));
    response("a.txt Sub\\*.txt Sub\\*.doc ");
    ASSERT_EQ(unlha("a " + apath(L"Data.lzh") + " " + apath(L"Data\\") + " -x1 -r1 " + at_response()), 0)
        << last_message;
    auto m = read_archive(path(L"Data.lzh"));
    std::vector<std::string> names;
    for (auto& kv : m) names.push_back(kv.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Sub\\Deeper\\z.txt", "Sub\\x.txt", "Sub\\y.doc", "a.txt"}));
    EXPECT_EQ(m["Sub\\Deeper\\z.txt"].content, bytes("Z"));
    for (auto& kv : m) {
        EXPECT_EQ(kv.second.status, Status::Ok) << kv.first;
        EXPECT_EQ(kv.second.listed.header.level, 2);
    }
}

// The list the compress operation hands over: exact names relative to the
// base, no -r1. A listed name is that file alone, never its namesakes in
// subfolders; names that start like switches arrive quoted.
TEST_F(Add, ExplicitListTakesExactlyTheNamedFiles) {
    mkdir(L"Base");
    mkdir(L"Base\\My Docs");
    mkdir(L"Base\\My Docs\\sub");
    mkdir(L"Base\\other");
    file(L"Base\\My Docs\\a b.txt", bytes("A B"));
    file(L"Base\\My Docs\\sub\\c.txt", bytes("C"));
    file(L"Base\\plain.txt", bytes("plain"));
    file(L"Base\\other\\plain.txt", bytes("other plain"));
    file(L"Base\\x y.txt", bytes("X Y"));
    file(L"Base\\-r1.txt", bytes("dash"));
    file(L"Base\\@at.txt", bytes("at"));
    response("\"My Docs\\a b.txt\" \"My Docs\\sub\\c.txt\" plain.txt \"x y.txt\" \"-r1.txt\" \"@at.txt\" PLAIN.TXT "
             "missing.txt ");
    ASSERT_EQ(unlha("a " + apath(L"out.lzh") + " " + apath(L"Base\\") + " -x1 " + at_response()), 0) << last_message;
    auto m = read_archive(path(L"out.lzh"));
    std::vector<std::string> names;
    for (auto& kv : m) names.push_back(kv.first);
    EXPECT_EQ(names, (std::vector<std::string>{"-r1.txt", "@at.txt", "My Docs\\a b.txt", "My Docs\\sub\\c.txt",
                                               "plain.txt", "x y.txt"}));
    EXPECT_EQ(m["plain.txt"].content, bytes("plain"));
    EXPECT_EQ(m["-r1.txt"].content, bytes("dash"));
}

// Thousands of names in one folder: each is looked up, not searched for.
TEST_F(Add, LongListsStayQuick) {
    mkdir(L"Many");
    std::string text;
    const int count = 3000;
    for (int i = 0; i < count; ++i) {
        const std::wstring name = L"file " + std::to_wstring(i) + L".txt";
        file(L"Many\\" + name, bytes(std::to_string(i)));
        if (i % 2 == 0) text += "\"" + narrow(name) + "\" ";
    }
    response(text);
    const DWORD start = GetTickCount();
    ASSERT_EQ(unlha("a " + apath(L"many.lzh") + " " + apath(L"Many\\") + " -x1 -o5 " + at_response()), 0)
        << last_message;
    const DWORD took = GetTickCount() - start;
    auto m = read_archive(path(L"many.lzh"));
    EXPECT_EQ(m.size(), static_cast<size_t>(count / 2));
    EXPECT_EQ(m["file 1234.txt"].content, bytes("1234"));
    EXPECT_EQ(m.count("file 1235.txt"), 0u);
    EXPECT_LT(took, 10000u) << "a name list must not cost a folder search per name";
    std::printf("%d names in %lu ms\n", count / 2, took);
}

TEST_F(Add, EveryKindOfFileRoundTrips) {
    mkdir(L"My Data");
    mkdir(L"My Data\\nested one");
    mkdir(L"My Data\\nested one\\two");
    std::map<std::wstring, std::vector<uint8_t>> want;
    want[L"empty.txt"] = {};
    want[L"one.bin"] = {0x7F};
    want[L"noise.bin"] = random_data(300000, 1);
    want[L"zeros.bin"] = std::vector<uint8_t>(2000000, 0);
    want[L"text with blanks.txt"] = text_data(200000);
    want[L"nested one\\two\\deep.txt"] = text_data(5000);
    want[std::wstring(180, L'L') + L".txt"] = bytes("long name");
    // A name in the ANSI code page: letters of code page 1252, or kana and
    // kanji under code page 932.
    const std::wstring ansi_name =
        GetACP() == 932 ? L"\u8868\u30c6\u30b9\u30c8 name.txt" : L"caf\u00e9 \u00e0 la carte.txt";
    want[ansi_name] = bytes("ANSI name");
    for (auto& kv : want) file(L"My Data\\" + kv.first, kv.second);
    ASSERT_EQ(unlha("a \"" + apath(L"My Out.lzh") + "\" \"" + apath(L"My Data\\") + "\" -x1 -r1 *.*"), 0)
        << last_message;
    auto m = read_archive(path(L"My Out.lzh"));
    ASSERT_EQ(m.size(), want.size());
    for (auto& kv : want) {
        const std::string name = narrow(kv.first);
        ASSERT_TRUE(m.count(name)) << name;
        EXPECT_EQ(m[name].status, Status::Ok) << name;
        EXPECT_TRUE(m[name].content == kv.second) << name;
    }
    EXPECT_EQ(std::memcmp(m["noise.bin"].listed.header.method_id, "-lh0-", 5), 0) << "random data is stored";
    EXPECT_EQ(std::memcmp(m["zeros.bin"].listed.header.method_id, "-lh7-", 5), 0);
    EXPECT_LT(m["zeros.bin"].listed.header.packed_size, 10000u);
    // The name is stored in the ANSI code page.
    if (GetACP() == 1252) {
        EXPECT_EQ(static_cast<uint8_t>(narrow(ansi_name)[3]), 0xE9);
    } else if (GetACP() == 932) {
        EXPECT_EQ(narrow(ansi_name).substr(0, 2), "\x95\x5C");
    }
}

// Under a Japanese system (code page 932) names are stored in Shift_JIS;
// U+8868 ends in the byte 0x5C, which must not split the path. Runs when
// the test runs with that code page (LC_ALL=ja_JP.UTF-8 under Wine).
TEST_F(Add, ShiftJisNamesKeepTrailBackslashBytes) {
    ASSERT_EQ(GetACP(), 932u) << "needs code page 932: its ctest entry runs it under LC_ALL=ja_JP.UTF-8";
    mkdir(L"s");
    mkdir(L"s\\\u8868");
    file(L"s\\\u8868\\\u8868.txt", bytes("sjis"));
    ASSERT_EQ(unlha("a " + apath(L"j.lzh") + " " + apath(L"s\\") + " -x1 -r1 *.*"), 0) << last_message;
    auto m = read_archive(path(L"j.lzh"));
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m.begin()->first, "\x95\x5C\\\x95\x5C.txt");
    EXPECT_EQ(m.begin()->second.content, bytes("sjis"));
    const std::vector<uint8_t> raw = m.begin()->second.listed.raw;
    const std::vector<uint8_t> dir = {0x02, 0x95, 0x5C, 0xFF};
    EXPECT_NE(std::search(raw.begin(), raw.end(), dir.begin(), dir.end()), raw.end());
}

TEST_F(Add, ExclusionTimeRangeAndMethod) {
    mkdir(L"src");
    for (const wchar_t* n : {L"keep.txt", L"skip.tmp", L"skip.bak", L"old.txt", L"late.txt"})
        file(std::wstring(L"src\\") + n, text_data(3000));
    set_local_mtime(path(L"src\\keep.txt"), 2024, 3, 5, 8, 7, 0);    // first second of the range
    set_local_mtime(path(L"src\\skip.tmp"), 2024, 3, 5, 12, 0);
    set_local_mtime(path(L"src\\skip.bak"), 2024, 3, 5, 12, 0);
    set_local_mtime(path(L"src\\old.txt"), 2024, 3, 5, 8, 6, 59);    // a second too early
    set_local_mtime(path(L"src\\late.txt"), 2024, 3, 6, 9, 1, 0);    // after the last minute
    response("*.* -jx*.tmp -jx*.bak ");
    ASSERT_EQ(unlha("a " + apath(L"x.lzh") + " " + apath(L"src\\") + " -x1 -jol202403050807 -jobl202403060900 -o5 " +
                    at_response()),
              0)
        << last_message;
    auto m = read_archive(path(L"x.lzh"));
    ASSERT_EQ(m.size(), 1u);
    ASSERT_TRUE(m.count("keep.txt"));
    EXPECT_EQ(std::memcmp(m["keep.txt"].listed.header.method_id, "-lh5-", 5), 0);
    // The member keeps the file's time.
    FILETIME local;
    SYSTEMTIME st = {2024, 3, 0, 5, 8, 7, 0, 0};
    SystemTimeToFileTime(&st, &local);
    FILETIME utc;
    LocalFileTimeToFileTime(&local, &utc);
    const int64_t unix_time =
        static_cast<int64_t>(((static_cast<uint64_t>(utc.dwHighDateTime) << 32 | utc.dwLowDateTime) -
                              116444736000000000ull) / 10000000ull);
    EXPECT_EQ(m["keep.txt"].listed.header.unix_time, unix_time);
}

TEST_F(Add, ReplacesMembersOfTheSameNameAndKeepsOthers) {
    mkdir(L"s");
    file(L"s\\one.txt", bytes("first"));
    file(L"s\\two.txt", bytes("second"));
    ASSERT_EQ(unlha("a " + apath(L"r.lzh") + " " + apath(L"s\\") + " -x1 *.txt"), 0) << last_message;
    auto before = read_archive(path(L"r.lzh"));
    file(L"s\\one.txt", bytes("first, changed"));
    file(L"s\\three.txt", bytes("third"));
    ASSERT_EQ(unlha("a " + apath(L"r.lzh") + " " + apath(L"s\\") + " -x1 one.txt three.txt"), 0) << last_message;
    auto after = read_archive(path(L"r.lzh"));
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after["one.txt"].content, bytes("first, changed"));
    EXPECT_TRUE(after["two.txt"].stored == before["two.txt"].stored) << "untouched member copied as is";
    EXPECT_EQ(after["three.txt"].content, bytes("third"));
}

TEST_F(Add, NameOutsideTheCodePageIsRefused) {
    mkdir(L"s");
    file(L"s\\plain.txt", bytes("plain"));
    // Hangul has no form in code page 1252 nor in 932.
    file(L"s\\\uD55C.txt", bytes("hangul"));
    EXPECT_NE(unlha("a " + apath(L"h.lzh") + " " + apath(L"s\\") + " *.*"), 0);
    EXPECT_NE(last_message.find("code page"), std::string::npos) << last_message;
    EXPECT_EQ(GetFileAttributesW(path(L"h.lzh").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Add, NoMatchingFilesIsAnErrorAndWritesNothing) {
    mkdir(L"empty");
    EXPECT_NE(unlha("a " + apath(L"none.lzh") + " " + apath(L"empty\\") + " -x1 *.txt"), 0);
    EXPECT_EQ(GetFileAttributesW(path(L"none.lzh").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Add, UnreadableSourceLeavesTheArchiveAsItWas) {
    mkdir(L"s");
    file(L"s\\a.txt", bytes("a"));
    file(L"s\\b.txt", bytes("b"));
    ASSERT_EQ(unlha("a " + apath(L"k.lzh") + " " + apath(L"s\\") + " *.txt"), 0) << last_message;
    const std::vector<uint8_t> good = read_all(path(L"k.lzh"));
    file(L"s\\b.txt", bytes("b changed"));
    // Another program holds b.txt open without sharing.
    HANDLE lock = CreateFileW(path(L"s\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_NE(unlha("a " + apath(L"k.lzh") + " " + apath(L"s\\") + " *.txt"), 0);
    CloseHandle(lock);
    EXPECT_TRUE(read_all(path(L"k.lzh")) == good);
    EXPECT_EQ(root_files(), (std::vector<std::wstring>{L"k.lzh"})) << "no temporary file left behind";
}

TEST_F(Add, ReadOnlyArchiveIsNotReplaced) {
    mkdir(L"s");
    file(L"s\\a.txt", bytes("a"));
    ASSERT_EQ(unlha("a " + apath(L"ro.lzh") + " " + apath(L"s\\") + " *.txt"), 0) << last_message;
    const std::vector<uint8_t> good = read_all(path(L"ro.lzh"));
    SetFileAttributesW(path(L"ro.lzh").c_str(), FILE_ATTRIBUTE_READONLY);
    file(L"s\\a.txt", bytes("a changed"));
    EXPECT_NE(unlha("a " + apath(L"ro.lzh") + " " + apath(L"s\\") + " *.txt"), 0);
    EXPECT_TRUE(read_all(path(L"ro.lzh")) == good);
    EXPECT_EQ(root_files(), (std::vector<std::wstring>{L"ro.lzh"}));
}

using Update = TempTree;

std::vector<std::wstring> reference_archives() {
    std::vector<std::wstring> out;
    const std::wstring root = L"" SORVANE_TESTDATA_DIR L"\\lzh\\";
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((root + L"*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        std::wstring sub = d.cFileName;
        if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || sub == L"." || sub == L"..") continue;
        WIN32_FIND_DATAW f;
        HANDLE g = FindFirstFileW((root + sub + L"\\*.lzh").c_str(), &f);
        if (g == INVALID_HANDLE_VALUE) continue;
        do out.push_back(root + sub + L"\\" + f.cFileName);
        while (FindNextFileW(g, &f));
        FindClose(g);
    } while (FindNextFileW(h, &d));
    FindClose(h);
    return out;
}

// Every archive the other programs wrote, at every header level: an older
// file leaves it alone, a newer one replaces its member, a new one is added,
// and the members not replaced keep their bytes.
TEST_F(Update, ReferenceArchivesOfEveryProgramAndLevel) {
    auto refs = reference_archives();
    ASSERT_GE(refs.size(), 40u) << "reference archives not found";
    int replaced = 0;
    for (const auto& ref : refs) {
        SCOPED_TRACE(narrow(ref));
        const std::wstring arc = path(L"u.lzh");
        write_all(arc, read_all(ref));
        Status st;
        auto before = read_archive(arc, &st);
        ASSERT_EQ(st, Status::Ok);
        // The first file member with a path we can create.
        std::string target;
        for (auto& kv : before)
            if (!kv.second.listed.header.is_dir && kv.first.find('|') == std::string::npos) target = kv.first;
        remove_tree(path(L"src\\"));
        mkdir(L"src");
        std::string rel = target;
        while (!rel.empty() && rel[0] == '\\') rel.erase(0, 1);
        if (!target.empty()) {
            for (size_t p = rel.find('\\'); p != std::string::npos; p = rel.find('\\', p + 1))
                CreateDirectoryW(path(L"src\\" + std::wstring(rel.begin(), rel.begin() + static_cast<std::ptrdiff_t>(p))).c_str(), nullptr);
            const std::wstring f = path(L"src\\" + std::wstring(rel.begin(), rel.end()));
            write_all(f, bytes("replacement"));
            set_local_mtime(f, 2000, 1, 1, 0, 0);
            // Older than the member: nothing changes, not even a byte.
            const std::vector<uint8_t> original = read_all(arc);
            ASSERT_EQ(unlha("u " + narrow(arc) + " " + apath(L"src\\") + " -x1 -r1 *.*"), 0) << last_message;
            EXPECT_TRUE(read_all(arc) == original);
            set_local_mtime(f, 2030, 1, 1, 0, 0);
        }
        write_all(path(L"src\\added.txt"), bytes("added"));
        ASSERT_EQ(unlha("u " + narrow(arc) + " " + apath(L"src\\") + " -x1 -r1 *.*"), 0) << last_message;
        auto after = read_archive(arc, &st);
        ASSERT_EQ(st, Status::Ok);
        ASSERT_EQ(after.size(), before.size() + 1);
        if (!target.empty()) {
            EXPECT_EQ(after[rel].listed.header.level, 2);
        }
        EXPECT_EQ(after["added.txt"].content, bytes("added"));
        for (auto& kv : before) {
            if (kv.first == target) {
                // Stored again as a relative path (one program wrote it with
                // a leading backslash).
                EXPECT_EQ(after[rel].content, bytes("replacement"));
                ++replaced;
            } else {
                EXPECT_TRUE(after[kv.first].stored == kv.second.stored) << kv.first << " changed";
            }
        }
    }
    EXPECT_GE(replaced, 35);
}

TEST_F(Update, DamagedArchivesAreLeftUntouched) {
    mkdir(L"src");
    file(L"src\\gpl-2", bytes("newer"));
    std::vector<uint8_t> good = read_all(L"" SORVANE_TESTDATA_DIR L"\\lzh\\lha_unix114i\\h1_lh5.lzh");
    ASSERT_FALSE(good.empty());
    std::vector<std::vector<uint8_t>> bad;
    bad.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));  // truncated
    bad.emplace_back(good.begin(), good.begin() + 10);  // cut inside the header
    std::vector<uint8_t> sum = good;
    sum[1] ^= 0x55;  // header checksum wrong
    bad.push_back(sum);
    std::vector<uint8_t> level = good;
    level[20] = 7;  // unknown header level
    bad.push_back(level);
    for (const auto& b : bad) {
        write_all(path(L"d.lzh"), b);
        EXPECT_NE(unlha("u " + apath(L"d.lzh") + " " + apath(L"src\\") + " -x1 *.*"), 0);
        EXPECT_TRUE(read_all(path(L"d.lzh")) == b);
        EXPECT_NE(unlha("a " + apath(L"d.lzh") + " " + apath(L"src\\") + " -x1 *.*"), 0);
        EXPECT_TRUE(read_all(path(L"d.lzh")) == b);
    }
}

using Sfx = TempTree;

DWORD run_program(const std::wstring& exe, const std::wstring& args) {
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFF;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 0xFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST_F(Sfx, NoDialogModeExtractsBesideItself) {
    mkdir(L"s");
    mkdir(L"s\\inner dir");
    file(L"s\\top.txt", text_data(40000));
    file(L"s\\inner dir\\data.bin", random_data(5000, 9));
    file(L"s\\inner dir\\empty", {});
    set_local_mtime(path(L"s\\top.txt"), 2021, 6, 7, 8, 9, 10);
    mkdir(L"out dir");
    // As the compress operation sends it: archive quoted, output folder not.
    ASSERT_EQ(unlha("a \"" + apath(L"out dir\\pack.lzh") + "\" " + apath(L"s\\") + " -x1 -r1 *.*"), 0)
        << last_message;
    ASSERT_EQ(unlha("s -gwe2 \"" + apath(L"out dir\\pack.lzh") + "\" " + apath(L"out dir\\")), 0) << last_message;
    const std::wstring exe = path(L"out dir\\pack.exe");
    ASSERT_NE(GetFileAttributesW(exe.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(path(L"out dir\\pack.lzh").c_str()), INVALID_FILE_ATTRIBUTES) << "the archive stays";
    ASSERT_EQ(run_program(exe, L"/q"), 0u);
    EXPECT_TRUE(read_all(path(L"out dir\\top.txt")) == read_all(path(L"s\\top.txt")));
    EXPECT_TRUE(read_all(path(L"out dir\\inner dir\\data.bin")) == read_all(path(L"s\\inner dir\\data.bin")));
    EXPECT_NE(GetFileAttributesW(path(L"out dir\\inner dir\\empty").c_str()), INVALID_FILE_ATTRIBUTES);
    WIN32_FILE_ATTRIBUTE_DATA a, b;
    GetFileAttributesExW(path(L"out dir\\top.txt").c_str(), GetFileExInfoStandard, &a);
    GetFileAttributesExW(path(L"s\\top.txt").c_str(), GetFileExInfoStandard, &b);
    EXPECT_EQ(CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime), 0) << "times are restored";
}

// Writes an archive by hand whose second member tries to leave the folder.
std::vector<uint8_t> archive_with(const std::vector<std::string>& names) {
    std::vector<uint8_t> arc;
    VectorOut out(arc);
    for (const auto& n : names) {
        std::vector<uint8_t> data = bytes("payload of " + n);
        MemoryIn in(data);
        MemberHeader h;
        h.path = n;
        h.orig_size = data.size();
        EXPECT_EQ(write_file_member(out, h, in, Method::Lh5), Status::Ok);
    }
    write_archive_end(out);
    return arc;
}

TEST_F(Sfx, UnsafeMemberPathsAreRefusedBeforeWriting) {
    mkdir(L"box");
    mkdir(L"box\\inner");
    for (const std::string evil : {"..\\escaped.txt", "C:\\escaped.txt", "\\escaped.txt", "ok\\..\\..\\escaped.txt"}) {
        SCOPED_TRACE(evil);
        write_all(path(L"box\\inner\\evil.lzh"), archive_with({"harmless.txt", evil}));
        ASSERT_EQ(unlha("s -gw2 " + apath(L"box\\inner\\evil.lzh")), 0) << last_message;
        EXPECT_EQ(run_program(path(L"box\\inner\\evil.exe"), L"/q"), 2u);
        EXPECT_EQ(GetFileAttributesW(path(L"box\\escaped.txt").c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetFileAttributesW(path(L"box\\inner\\harmless.txt").c_str()), INVALID_FILE_ATTRIBUTES)
            << "nothing is written when one path is unsafe";
    }
}

TEST_F(Sfx, DamagedArchivesAreRefused) {
    mkdir(L"d");
    std::vector<uint8_t> arc = archive_with({"a.txt", "b.txt"});
    std::vector<uint8_t> broken(arc.begin(), arc.begin() + static_cast<std::ptrdiff_t>(arc.size() - 8));
    write_all(path(L"d\\cut.lzh"), broken);
    EXPECT_NE(unlha("s -gw2 " + apath(L"d\\cut.lzh")), 0) << "a damaged archive makes no self-extractor";
    EXPECT_EQ(GetFileAttributesW(path(L"d\\cut.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    // A self-extractor whose data was damaged afterwards reports it.
    write_all(path(L"d\\ok.lzh"), arc);
    ASSERT_EQ(unlha("s -gw2 " + apath(L"d\\ok.lzh")), 0) << last_message;
    std::vector<uint8_t> exe = read_all(path(L"d\\ok.exe"));
    std::vector<ListedMember> ms;
    MemoryIn ain(arc);
    ASSERT_EQ(list_archive(ain, ms), Status::Ok);
    const size_t trailer = 32;
    const size_t stub = exe.size() - arc.size() - trailer;
    exe[stub + ms[1].data_offset + 3] ^= 0xFF;  // inside the last member's data
    write_all(path(L"d\\ok.exe"), exe);
    EXPECT_EQ(run_program(path(L"d\\ok.exe"), L"/q"), 3u);
    EXPECT_EQ(GetFileAttributesW(path(L"d\\b.txt").c_str()), INVALID_FILE_ATTRIBUTES) << "no damaged file left";
}

struct WindowSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK find_process_window(HWND h, LPARAM lp) {
    auto* ws = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == ws->pid && IsWindowVisible(h)) {
        ws->found = h;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK collect_text(HWND h, LPARAM lp) {
    wchar_t buf[512] = {};
    GetWindowTextW(h, buf, 511);
    *reinterpret_cast<std::wstring*>(lp) += std::wstring(buf) + L"\n";
    return TRUE;
}

// The folder question in the language chosen when the self-extractor was
// made; cancelling it extracts nothing. Needs a display.
TEST_F(Sfx, WindowAsksForTheFolderInItsLanguage) {
    wchar_t display[256];
    if (!GetEnvironmentVariableW(L"DISPLAY", display, 256)) GTEST_FAIL() << "no display";
    mkdir(L"s");
    file(L"s\\a.txt", bytes("a"));
    ASSERT_EQ(unlha("a " + apath(L"ask.lzh") + " " + apath(L"s\\") + " *.*"), 0) << last_message;
    struct Case {
        const char* option;
        const wchar_t* prompt;
    };
    const Case cases[] = {{"-gwe", L"Choose the folder to extract the files to."},
                          {"-gw", L"\u30d5\u30a1\u30a4\u30eb\u3092\u5c55\u958b\u3059\u308b\u30d5\u30a9\u30eb\u30c0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        ASSERT_EQ(unlha(std::string("s ") + c.option + " " + apath(L"ask.lzh")), 0) << last_message;
        std::wstring cmd = L"\"" + path(L"ask.exe") + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        WindowSearch ws = {pi.dwProcessId, nullptr};
        for (int i = 0; i < 200 && !ws.found; ++i) {
            Sleep(100);
            EnumWindows(find_process_window, reinterpret_cast<LPARAM>(&ws));
        }
        std::wstring texts;
        if (ws.found) {
            Sleep(300);  // let the dialog fill its controls
            EnumChildWindows(ws.found, collect_text, reinterpret_cast<LPARAM>(&texts));
            PostMessageW(ws.found, WM_COMMAND, IDCANCEL, 0);
        }
        if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        ASSERT_NE(ws.found, nullptr) << "no window appeared";
        EXPECT_NE(texts.find(c.prompt), std::wstring::npos) << narrow(texts);
        EXPECT_EQ(code, 1u) << "cancelled";
        EXPECT_EQ(GetFileAttributesW(path(L"a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

}  // namespace
