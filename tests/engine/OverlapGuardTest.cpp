// The check that a copy or move never writes into what it reads, on real
// folders under Wine: what identity Wine gives (two drive letters mapped
// onto one folder are one place), targets that are a selected item, lie
// inside one or are the folder of the selection, in every spelling (case,
// trailing separators and dots, short names, "\\?\", "..", the Z: path of
// a C: folder, another drive letter), and the targets that are fine.
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "engine/FileIdentity.h"
#include "engine/OverlapGuard.h"
#include "engine/TargetPath.h"

#include <cwctype>

using namespace sorvane;
using namespace sorvane::test;

namespace {

std::wstring upper(std::wstring text)
{
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// The Z: spelling of a folder on C: (the same Linux folder).
std::wstring zSpelling(const std::wstring& path)
{
    std::string unix = unixPathOf(path);
    std::wstring z = L"Z:" + std::wstring(unix.begin(), unix.end());
    for (auto& c : z) c = c == L'/' ? L'\\' : c;
    return z;
}

class Overlap : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CreateDirectoryW(a().c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((a() + L"\\Photos").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((a() + L"\\Photos\\Trip").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((a() + L"\\Long Folder Name").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((root / L"Sibling").c_str(), nullptr));
        ASSERT_TRUE(writeBytes(a() + L"\\Photos\\p.jpg", "photo"));
        ASSERT_TRUE(writeBytes(a() + L"\\note.txt", "note"));
    }
    std::wstring a() const { return root / L"A"; }
    std::wstring list() const { return a() + L"\\;Photos;note.txt;Long Folder Name;"; }
    UINT check(const std::wstring& target) const { return checkOverlap(list().c_str(), target.c_str()); }
    TempFolder root;
};

TEST_F(Overlap, WineGivesOnePlaceOneIdentityWhateverTheSpelling)
{
    const std::wstring photos = a() + L"\\Photos";
    FileIdentity plain, other;
    ASSERT_TRUE(readIdentity(photos.c_str(), plain));
    for (const std::wstring& spelling : {upper(photos), photos + L"\\", L"\\\\?\\" + photos, zSpelling(photos)}) {
        ASSERT_TRUE(readIdentity(spelling.c_str(), other)) << std::string(spelling.begin(), spelling.end());
        EXPECT_TRUE(sameIdentity(plain, other)) << std::string(spelling.begin(), spelling.end());
    }
    // Two drive letters mapped onto one folder: the same place.
    const std::string unix = unixPathOf(a());
    ASSERT_FALSE(unix.empty());
    MappedDrive first(unix, L'x');
    MappedDrive second(unix, L'w');
    ASSERT_TRUE(first.ready() && second.ready()) << "could not map two test drives through dosdevices";
    // Wine makes a volume's serial number from the drive letter whose root
    // is the nearest folder above the file, so mapping a letter changes it:
    // identities compare as read at one time, as the checks read them.
    FileIdentity viaFirst, viaSecond;
    ASSERT_TRUE(readIdentity((first.root() + L"Photos").c_str(), viaFirst));
    ASSERT_TRUE(readIdentity((second.root() + L"Photos").c_str(), viaSecond));
    ASSERT_TRUE(readIdentity(photos.c_str(), plain));
    EXPECT_TRUE(sameIdentity(viaFirst, viaSecond));
    EXPECT_TRUE(sameIdentity(viaFirst, plain)) << "and the same as by its C: path";
    // Different folders differ.
    ASSERT_TRUE(readIdentity((a() + L"\\Photos\\Trip").c_str(), other));
    EXPECT_FALSE(sameIdentity(plain, other));
    EXPECT_FALSE(samePlace(photos.c_str(), (a() + L"\\Photos\\Trip").c_str()));
    EXPECT_TRUE(samePlace(photos.c_str(), (first.root() + L"photos\\").c_str()));
    // A place that does not exist is no existing place.
    EXPECT_FALSE(samePlace(photos.c_str(), (a() + L"\\Nothing").c_str()));
    // The comparable form: full, ordinary, long names, no trailing separator.
    std::wstring text;
    ASSERT_TRUE(comparablePath((L"\\\\?\\" + a() + L"\\Photos\\..\\Photos\\").c_str(), text));
    EXPECT_TRUE(samePathText(text, photos));
    ASSERT_TRUE(comparablePath((a() + L"\\Photos\\not-yet\\deeper").c_str(), text));
    EXPECT_TRUE(samePathText(text, photos + L"\\not-yet\\deeper"));
}

// The guard's comparison where a volume gave no serial number (Wine at a
// busy moment): the index decides then, and only then.
TEST(OverlapIdentity, AnIndexWhoseVolumeGaveNoSerialMayBeTheSamePlace)
{
    struct Row {
        FileIdentity a, b;
        bool same, maybe;
    };
    const FileIdentity unknown;
    const Row rows[] = {
        {{7, 42, true}, {7, 42, true}, true, true},
        {{7, 42, true}, {0, 42, true}, false, true},
        {{0, 42, true}, {7, 42, true}, false, true},
        {{0, 42, true}, {0, 42, true}, true, true},
        {{7, 42, true}, {8, 42, true}, false, false}, // two volumes: the same index means nothing
        {{7, 42, true}, {0, 43, true}, false, false},
        {{7, 42, true}, {7, 43, true}, false, false},
        {unknown, {7, 42, true}, false, false},
        {unknown, unknown, false, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(sameIdentity(row.a, row.b), row.same) << row.a.volume << "/" << row.b.volume;
        EXPECT_EQ(mayBeSameIdentity(row.a, row.b), row.maybe) << row.a.volume << "/" << row.b.volume;
        EXPECT_EQ(mayBeSameIdentity(row.b, row.a), row.maybe) << "either way round";
    }
}

TEST_F(Overlap, TheSelectionItselfInAnySpellingIsRefused)
{
    const std::wstring photos = a() + L"\\Photos";
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW((a() + L"\\Long Folder Name").c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), a() + L"\\Long Folder Name") << "Wine gives long names a short one";
    const std::string unix = unixPathOf(a());
    MappedDrive alias(unix, L'v');
    ASSERT_TRUE(alias.ready()) << "could not map a test drive through dosdevices";
    for (const std::wstring& target : {photos, upper(photos), photos + L"\\", photos + L".", L"\\\\?\\" + photos,
                                       zSpelling(photos), a() + L"\\Sub\\..\\Photos", alias.root() + L"PHOTOS",
                                       std::wstring(shortName)}) {
        EXPECT_EQ(check(target), static_cast<UINT>(kRefusalTargetIsSelected))
            << std::string(target.begin(), target.end());
    }
}

TEST_F(Overlap, TargetsInsideASelectedFolderAreRefusedWhetherOrNotTheyExist)
{
    const std::wstring photos = a() + L"\\Photos";
    const std::string unix = unixPathOf(a());
    MappedDrive alias(unix, L'u');
    ASSERT_TRUE(alias.ready()) << "could not map a test drive through dosdevices";
    for (const std::wstring& target : {photos + L"\\Trip", photos + L"\\backup", photos + L"\\backup\\deeper\\still",
                                       upper(photos) + L"\\TRIP\\x", zSpelling(photos) + L"\\backup",
                                       alias.root() + L"Photos\\backup", L"\\\\?\\" + photos + L"\\Trip\\"}) {
        EXPECT_EQ(check(target), static_cast<UINT>(kRefusalTargetInsideSelection))
            << std::string(target.begin(), target.end());
    }
}

TEST_F(Overlap, TheFolderOfTheSelectionIsRefusedOtherPlacesPass)
{
    for (const std::wstring& target : {a(), a() + L"\\", upper(a()), zSpelling(a()), a() + L"\\Photos\\.."}) {
        EXPECT_EQ(check(target), static_cast<UINT>(kRefusalTargetIsSourceFolder))
            << std::string(target.begin(), target.end());
    }
    for (const std::wstring& target : {root / L"Sibling", root.path(), root / L"Sibling\\new", a() + L"\\Other",
                                       a() + L"\\Photosx", root / L"new"}) {
        EXPECT_EQ(check(target), 0u) << std::string(target.begin(), target.end());
    }
    // A missing selected item cannot be overlapped: it fails on its own.
    EXPECT_EQ(checkOverlap((a() + L"\\;gone;").c_str(), (a() + L"\\gone\\x").c_str()), 0u);
}

TEST_F(Overlap, OneFolderAndDriveRootForms)
{
    // A source list without ';' is the content of one folder.
    EXPECT_EQ(checkOverlap(a().c_str(), a().c_str()), static_cast<UINT>(kRefusalTargetIsSelected));
    EXPECT_EQ(checkOverlap(a().c_str(), (a() + L"\\Photos\\x").c_str()),
              static_cast<UINT>(kRefusalTargetInsideSelection));
    EXPECT_EQ(checkOverlap(a().c_str(), root.path().c_str()), 0u) << "the content may go up one level";
    // The whole drive: every target on it lies inside.
    EXPECT_EQ(checkOverlap(L"C:\\;", (root / L"Sibling").c_str()), static_cast<UINT>(kRefusalTargetInsideSelection));
    EXPECT_EQ(checkOverlap(L"C:\\;;", L"C:\\"), static_cast<UINT>(kRefusalTargetIsSelected));
    EXPECT_EQ(checkOverlap(L"", (root / L"Sibling").c_str()), 0u) << "nothing selected, nothing to overlap";
}

TEST_F(Overlap, EachItemsOwnTargetMayNotLandOnTheSelection)
{
    // root\Foo holds a folder "Foo" of its own: copied into root, the inner
    // one's target would be the outer one, the folder of the selection.
    const std::wstring foo = root / L"Foo";
    ASSERT_TRUE(::CreateDirectoryW(foo.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((foo + L"\\Foo").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((foo + L"\\Bar").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(foo + L"\\README.txt", "outer"));
    ASSERT_TRUE(writeBytes(foo + L"\\Foo\\README.txt", "inner"));
    // root\A\Deep\A: an item named like the folder two levels up.
    ASSERT_TRUE(::CreateDirectoryW((a() + L"\\Deep").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((a() + L"\\Deep\\A").c_str(), nullptr));
    struct Case {
        std::wstring list;
        std::wstring target;
        std::wstring item;     // empty: allowed
        std::wstring landing;
    };
    const Case cases[] = {
        {foo + L"\\;Foo;README.txt;", root.path(), foo + L"\\Foo", root / L"Foo"},
        {foo + L"\\;README.txt;FOO;", upper(root.path()), foo + L"\\Foo", L""},
        {foo, root.path(), foo + L"\\Foo", root / L"Foo"},                    // the one-folder form
        {foo, zSpelling(root.path()), foo + L"\\Foo", L""},
        {a() + L"\\Deep\\;A;", root.path(), a() + L"\\Deep\\A", root / L"A"}, // lands on a folder above the holder
        {a() + L"\\Deep", root.path(), a() + L"\\Deep\\A", root / L"A"},
        // Allowed: beside the selection, or up one level with no entry of
        // the folder's own name.
        {foo + L"\\;README.txt;Bar;", root.path(), L"", L""},
        {foo + L"\\;Foo;", foo + L"\\Bar", L"", L""},
        {a(), root.path(), L"", L""},
        {a() + L"\\;Photos;", a() + L"\\Other", L"", L""},
    };
    for (const Case& c : cases) {
        OverlapDetail detail;
        const UINT refusal = checkOverlap(c.list.c_str(), c.target.c_str(), &detail);
        const std::string name = std::string(c.list.begin(), c.list.end()) + " -> " +
                                 std::string(c.target.begin(), c.target.end());
        if (c.item.empty()) {
            EXPECT_EQ(refusal, 0u) << name;
            continue;
        }
        EXPECT_EQ(refusal, static_cast<UINT>(kRefusalLandsOnSelection)) << name;
        EXPECT_EQ(upper(detail.item), upper(c.item)) << name;
        if (!c.landing.empty()) { EXPECT_EQ(upper(detail.landing), upper(c.landing)) << name; }
    }

    // The engine refuses it again when the run begins, before anything is
    // written, with one row that names the item.
    EngineRun run(kOperationCopy);
    run.settings.setSources((foo + L"\\;Foo;README.txt;").c_str());
    run.settings.setTarget(root.path().c_str());
    run.both();
    ASSERT_EQ(run.log.rows.size(), 1u);
    EXPECT_EQ(run.log.rows[0].reason, static_cast<UINT>(kRefusalLandsOnSelection));
    EXPECT_EQ(readBytes(foo + L"\\README.txt"), "outer");
    EXPECT_EQ(readBytes(foo + L"\\Foo\\README.txt"), "inner");
}

TEST_F(Overlap, PreparingARunNormalisesTheTargetOrRefusesIt)
{
    FILE_TREE_SETTING settings;
    settings.operation = kOperationMove;
    settings.setSources(list().c_str());
    settings.setTarget(L"../Sibling/");
    EXPECT_EQ(prepareRunTarget(settings), 0u);
    EXPECT_EQ(std::wstring(settings.target), root / L"Sibling") << "relative to the folder of the selection";
    settings.setTarget(L"Photos\\new");
    EXPECT_EQ(prepareRunTarget(settings), static_cast<UINT>(kRefusalTargetInsideSelection));
    EXPECT_EQ(std::wstring(settings.target), L"Photos\\new") << "a refused target is left as it was";
    settings.setTarget(L".");
    EXPECT_EQ(prepareRunTarget(settings), static_cast<UINT>(kRefusalTargetIsSourceFolder));
    settings.operation = kOperationDelete;
    EXPECT_EQ(prepareRunTarget(settings), 0u) << "a delete has no target";
}

} // namespace
