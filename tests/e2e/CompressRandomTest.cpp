// Random trees, selections and filters, compressed with our UnLha32.dll by
// the compress operation itself (CompressFiles in this process, with a
// settings record as the dialog leaves it): each archive, checked by lhasa
// and 7zz, must hold exactly the files the test works out on its own, byte
// for byte, and every run that must fail must say why and leave the
// archive as it was. Fixed seed; a failure names the seed and the case
// (SORVANE_COMPRESS_CASE=<n> runs that case alone).
#include <gtest/gtest.h>

#include "CompressModel.h"
#include "LhaCheck.h"
#include "TestSupport.h"
#include "UnixSide.h"
#include "archive/CompressFiles.h"
#include "archive/LhaLibrary.h"
#include "base/Strings.h"
#include "engine/FileTreeSetting.h"
#include "res/SorvaneRes.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using namespace sorvane;
using namespace sorvane::e2e;

namespace {

constexpr unsigned kSeed = 20240607;
constexpr int kCases = 200;

std::string narrow(const std::wstring& text)
{
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed > 0 ? needed : 1), '\0');
    if (needed > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], needed, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::vector<std::string> sorted(std::vector<std::string> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

std::wstring lowered(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

// One random case: a tree, what is selected, the filter and the archive.
class Case {
public:
    Case(unsigned seed, bool japanese) : rng_(seed), japanese_(japanese) {}

    Tree tree;
    Selection selection;
    Filter filter;
    std::vector<std::wstring> timedIn; // files written inside the time range
    bool timeRange = false;
    bool archiveInside = false;        // the archive lies in the selected folder
    bool oldArchive = false;           // a file of the archive's name exists
    unsigned mode = 0;
    std::string description;

    void make()
    {
        folder(L"", 0);
        // Now and then a name the ANSI code page cannot spell.
        if (chance(15)) {
            const std::wstring outside = pick(outsideNames());
            std::vector<std::wstring> folders(tree.folders.begin(), tree.folders.end());
            const std::wstring where = folders.empty() || chance(50) ? std::wstring() : pick(folders);
            if (chance(70)) addFile(where.empty() ? outside : where + L"\\" + outside);
            else tree.addFile((where.empty() ? outside : where + L"\\" + outside) + L"\\inner.txt", "inner");
        }
        choose();
    }

private:
    bool chance(int percent) { return static_cast<int>(rng_() % 100) < percent; }
    size_t below(size_t n) { return n == 0 ? 0 : rng_() % n; }
    template <typename T>
    const T& pick(const std::vector<T>& list)
    {
        return list[below(list.size())];
    }

    std::vector<std::wstring> fileNames() const
    {
        std::vector<std::wstring> names = {L"a.txt",     L"b.doc",     L"c d.txt",   L"My File.txt", L"same.txt",
                                           L"notes.md",  L"x.tmp",     L"-dash.txt", L"@at.txt",     L"e.f.txt",
                                           L"noext",     L"UPPER.TXT", L"y.bak",     L"z z.doc"};
        if (japanese_) {
            names.insert(names.end(), {L"\u8868.txt", L"\u30c6\u30b9\u30c8 \u30d5\u30a1\u30a4\u30eb.doc"});
        } else {
            names.insert(names.end(), {L"caf\u00e9.txt", L"\u00dcber \u00df.doc"});
        }
        return names;
    }
    std::vector<std::wstring> folderNames() const
    {
        std::vector<std::wstring> names = {L"Sub", L"My Folder", L"same", L"deep dir", L"-d", L"x.y"};
        names.push_back(japanese_ ? L"\u30bd\u30fc\u30b9" : L"na\u00efve");
        return names;
    }
    std::vector<std::wstring> outsideNames() const
    {
        if (japanese_) return {L"snow\u2603.txt", L"caf\u00e9 2.txt"};
        return {L"\u65e5\u672c.txt", L"snow\u2603.txt"};
    }

    void addFile(const std::wstring& path)
    {
        std::string bytes;
        const int kind = static_cast<int>(rng_() % 100);
        const size_t length = kind < 70 ? below(200) : kind < 95 ? 200 + below(5000) : 5000 + below(60000);
        const bool text = chance(60);
        for (size_t i = 0; i < length; ++i) {
            bytes += text ? "abcde fghij\r\n"[below(13)] : static_cast<char>(rng_());
        }
        tree.addFile(path, bytes);
    }

    void folder(const std::wstring& path, int depth)
    {
        const std::wstring prefix = path.empty() ? std::wstring() : path + L"\\";
        std::vector<std::wstring> used;
        auto fresh = [&](const std::vector<std::wstring>& pool) {
            for (int attempt = 0; attempt < 20; ++attempt) {
                const std::wstring name = pick(pool);
                if (std::find(used.begin(), used.end(), lowered(name)) == used.end()) {
                    used.push_back(lowered(name));
                    return name;
                }
            }
            return std::wstring();
        };
        const size_t files = depth == 0 ? 1 + below(5) : below(5);
        for (size_t i = 0; i < files; ++i) {
            const std::wstring name = fresh(fileNames());
            if (!name.empty()) addFile(prefix + name);
        }
        const size_t folders = depth >= 3 ? 0 : depth == 0 ? 1 + below(3) : below(3);
        for (size_t i = 0; i < folders; ++i) {
            const std::wstring name = fresh(folderNames());
            if (name.empty()) continue;
            tree.addFolder(prefix + name);
            folder(prefix + name, depth + 1);
        }
    }

    std::vector<std::wstring> itemsOf(const std::wstring& parent) const
    {
        const std::wstring prefix = parent.empty() ? std::wstring() : parent + L"\\";
        std::vector<std::wstring> items;
        auto direct = [&](const std::wstring& path) {
            if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return;
            const std::wstring rest = path.substr(prefix.size());
            if (rest.find(L'\\') == std::wstring::npos) items.push_back(rest);
        };
        for (const auto& f : tree.files) direct(f.path);
        for (const auto& f : tree.folders) direct(f);
        return items;
    }

    void choose()
    {
        // The folder the selection lies in: the tree's root, or one of its
        // folders whose name the code page spells.
        std::vector<std::wstring> parents = {L""};
        for (const auto& f : tree.folders) {
            if (ansiSpells(f)) parents.push_back(f);
        }
        selection.parent = chance(75) ? std::wstring() : pick(parents);
        const int form = static_cast<int>(rng_() % 100);
        if (form < 25) {
            selection.wholeFolder = true;
            description += "whole folder; ";
        } else {
            std::vector<std::wstring> items = itemsOf(selection.parent);
            std::shuffle(items.begin(), items.end(), rng_);
            const size_t count = items.empty() ? 0 : 1 + below(items.size());
            selection.names.assign(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(count));
            if (chance(30)) selection.names.push_back(L"gone 1.txt");
            if (chance(15)) selection.names.push_back(L"gone dir");
            if (selection.names.empty()) selection.names.push_back(L"gone 2");
            std::shuffle(selection.names.begin(), selection.names.end(), rng_);
        }
        static const std::vector<std::wstring> patterns = {L"*.*", L"*.txt", L"*.doc;*.txt", L"*.tmp;*.md",
                                                           L"a*.*", L"*e*.txt", L"?.txt", L"*.bak;*.tmp;noext"};
        filter.patterns = pick(patterns);
        filter.exclude = chance(25);
        filter.subfolders = chance(70);
        timeRange = chance(20);
        if (timeRange) {
            for (const auto& f : tree.files) {
                if (chance(60)) timedIn.push_back(f.path);
            }
            filter.inTimeRange = [this](const Tree::File& file) {
                return std::find(timedIn.begin(), timedIn.end(), file.path) != timedIn.end();
            };
        }
        archiveInside = chance(20);
        oldArchive = chance(30);
        mode = static_cast<unsigned>(below(3));
        if (oldArchive && chance(60)) mode = 0;
        description += "patterns " + narrow(filter.patterns) + (filter.exclude ? " excluded" : "") +
                       (filter.subfolders ? ", subfolders" : ", no subfolders") + (timeRange ? ", time range" : "") +
                       (archiveInside ? ", archive inside" : "") + (oldArchive ? ", old archive" : "") + ", mode " +
                       std::to_string(mode);
    }

    std::mt19937 rng_;
    bool japanese_;
};

void setWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour)
{
    SYSTEMTIME utc = {year, month, 0, day, hour, 17, 5, 0};
    FILETIME time = {};
    ::SystemTimeToFileTime(&utc, &time);
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    ::SetFileTime(file, nullptr, nullptr, &time);
    ::CloseHandle(file);
}

// Files of the tree a run left behind that are no file of the tree: its
// temporaries.
std::vector<std::wstring> strayFiles(const std::wstring& folder)
{
    std::vector<std::wstring> found;
    for (const std::wstring& name : test::listFolder(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            for (const auto& inner : strayFiles(path)) found.push_back(inner);
        } else if (name.rfind(L"~sorvane-", 0) == 0 || name.rfind(L"lzh", 0) == 0) {
            found.push_back(path);
        }
    }
    return found;
}

class CompressRandom : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::exists(test::distFolder() + L"UnLha32.dll")) << "build the library first";
        ASSERT_TRUE(test::exists(L"Z:\\usr\\bin\\lhasa")) << "lhasa must be installed";
        ASSERT_TRUE(test::exists(L"Z:\\usr\\bin\\7zz")) << "7zz must be installed";
        LhaLibrary::setSearchFolder(test::distFolder().c_str());
    }
    void TearDown() override { LhaLibrary::setSearchFolder(nullptr); }

    // Nothing to compress, a name the code page cannot spell, the library
    // refused, archived.
    int outcomes[4] = {};

    void runCase(int index)
    {
        const unsigned seed = kSeed + static_cast<unsigned>(index) * 7919u;
        Case c(seed, ::GetACP() == 932);
        c.make();
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", case " + std::to_string(index) + ": " + c.description);

        test::TempFolder root;
        const std::wstring top = root / L"src dir";
        const std::wstring out = root / L"out";
        ASSERT_TRUE(::CreateDirectoryW(top.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
        ASSERT_TRUE(c.tree.write(top));
        if (c.timeRange) {
            for (const auto& f : c.tree.files) {
                const bool in = std::find(c.timedIn.begin(), c.timedIn.end(), f.path) != c.timedIn.end();
                setWriteTime(top + L"\\" + f.path, in ? 2023 : 2021, 6, 15, 10);
            }
        }
        const std::wstring parent = c.selection.parent.empty() ? top : top + L"\\" + c.selection.parent;
        // Inside: in the folder the selection lies in (so in the archive's
        // folder form it is a file of the selection itself).
        const std::wstring archiveFolder = c.archiveInside ? parent : out;
        const std::wstring archive = archiveFolder + L"\\arc.lzh";
        const std::wstring archiveInTree =
            c.archiveInside ? (c.selection.parent.empty() ? L"arc.lzh" : c.selection.parent + L"\\arc.lzh") : L"";
        const std::string oldBytes = "not an archive, but the user's file of that name";
        if (c.oldArchive) {
            ASSERT_TRUE(test::writeBytes(archive, oldBytes));
        }

        FILE_TREE_SETTING settings;
        settings.operation = kOperationCompress;
        std::wstring list = parent;
        if (!c.selection.wholeFolder) {
            list += L"\\;";
            for (const auto& name : c.selection.names) list += name + L";";
        }
        settings.setSources(list.c_str());
        settings.setTarget(archive.c_str());
        settings.setPatterns(c.filter.patterns.c_str());
        settings.excludePatterns = c.filter.exclude ? 1 : 0;
        settings.includeSubfolders = c.filter.subfolders ? 1 : 0;
        settings.overwrite = c.mode;
        if (c.timeRange) {
            settings.timeMode = 1;
            SYSTEMTIME from = {2023, 1, 0, 1, 0, 0, 0, 0};
            SYSTEMTIME to = {2023, 12, 0, 31, 23, 59, 0, 0};
            ::SystemTimeToFileTime(&from, &settings.timeFrom);
            ::SystemTimeToFileTime(&to, &settings.timeTo);
        }

        // The test's own expectation.
        const Expectation expected = expectedMembers(c.tree, c.selection, c.filter, archiveInTree);
        const size_t selectedItems = c.selection.wholeFolder ? 1 : c.selection.names.size();
        std::vector<std::wstring> unspelled;
        for (const auto& member : expected.members) {
            if (!ansiSpells(member)) unspelled.push_back(parent + L"\\" + member);
        }

        wchar_t buffer[256] = {};
        const int result = CompressFiles(settings, buffer, 256);
        const std::wstring message = buffer;
        EXPECT_TRUE(strayFiles(root.path()).empty()) << "a temporary was left behind";

        if (expected.members.empty()) {
            ++outcomes[0];
            EXPECT_EQ(result, 0);
            std::wstring why = expected.missing == selectedItems ? loadString(IDS_COMPRESS_NOTHING_EXISTS)
                                                                 : loadString(IDS_COMPRESS_NOTHING_QUALIFIES);
            if (expected.missing > 0 && expected.missing < selectedItems) {
                why += L"\n" + formatNumber(IDS_COMPRESS_ITEMS_MISSING, expected.missing);
            }
            EXPECT_EQ(message, why) << narrow(message);
        } else if (!unspelled.empty()) {
            ++outcomes[1];
            EXPECT_EQ(result, 0);
            bool named = false;
            for (const auto& path : unspelled) {
                named = named || message == formatString(IDS_COMPRESS_NO_ANSI_NAME, path.c_str());
            }
            EXPECT_TRUE(named) << narrow(message);
        } else if (c.oldArchive && c.mode != 0) {
            // An update of a file that is no archive: the library refuses.
            ++outcomes[2];
            EXPECT_EQ(result, 0);
            EXPECT_EQ(message.rfind(formatString(IDS_COMPRESS_LIBRARY_FAILED, L""), 0), 0u) << narrow(message);
        } else {
            ++outcomes[3];
            EXPECT_EQ(result, 1) << narrow(message);
            EXPECT_EQ(message,
                      expected.missing > 0 ? formatNumber(IDS_COMPRESS_ITEMS_MISSING, expected.missing) : std::wstring());
            checkMembers(archive, c.tree, c.selection.parent, expected);
            return;
        }
        // A run that fails leaves the archive as it was.
        if (c.oldArchive) {
            EXPECT_EQ(test::readBytes(archive), oldBytes);
        } else {
            EXPECT_FALSE(test::exists(archive));
        }
    }

    void checkMembers(const std::wstring& archive, const Tree& tree, const std::wstring& base,
                      const Expectation& expected)
    {
        const ArchiveCheck check = checkArchive(archive);
        ASSERT_TRUE(check.ran) << check.output;
        EXPECT_EQ(check.lhasaTest, 0) << check.output;
        EXPECT_EQ(check.sevenTest, 0) << check.output;
        EXPECT_EQ(check.lhasaExtract, 0) << check.output;
        std::vector<std::string> paths, shown, extracted;
        for (const auto& member : expected.members) {
            paths.push_back(memberPath(member));
            shown.push_back(lhasaShown(paths.back()));
        }
        EXPECT_EQ(sorted(check.lhasaNames), sorted(shown)) << check.output;
        std::vector<std::string> sevenPaths;
        for (const auto& path : paths) sevenPaths.push_back(sevenShown(path));
        EXPECT_EQ(sorted(check.sevenNames), sorted(sevenPaths)) << check.output;
        std::vector<std::string> lhasaPaths;
        for (const auto& path : paths) lhasaPaths.push_back(lhasaCase(path));
        for (const auto& entry : check.extracted) extracted.push_back(entry.first);
        EXPECT_EQ(sorted(extracted), sorted(lhasaPaths));
        for (const auto& member : expected.members) {
            const Tree::File* file = tree.findFile(base.empty() ? member : base + L"\\" + member);
            ASSERT_NE(file, nullptr);
            const auto found = check.extracted.find(lhasaCase(memberPath(member)));
            if (found != check.extracted.end()) {
                EXPECT_EQ(found->second, file->bytes) << narrow(member);
            }
        }
    }
};

TEST_F(CompressRandom, TwoHundredTreesSelectionsAndFilters)
{
    const char* only = std::getenv("SORVANE_COMPRESS_CASE");
    const DWORD start = ::GetTickCount();
    for (int index = 0; index < kCases; ++index) {
        if (only && std::atoi(only) != index) continue;
        runCase(index);
        if (::testing::Test::HasFatalFailure()) return;
    }
    std::printf("%d cases in %lu s: %d with nothing to compress, %d with an unspellable name, %d refused by the "
                "library, %d archived\n",
                kCases, (::GetTickCount() - start) / 1000, outcomes[0], outcomes[1], outcomes[2], outcomes[3]);
    if (!only) {
        EXPECT_GE(outcomes[3], kCases / 2) << "most cases must make an archive";
    }
}

} // namespace
