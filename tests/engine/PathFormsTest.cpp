// Every form a path can take, once: what the path module calls it, its
// ordinary form (for the shell and the report), its long form, the length
// of its root, and whether it is a drive's root.
#include <gtest/gtest.h>

#include "engine/PathForms.h"

#include <string>
#include <vector>

using namespace sorvane;

namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

constexpr const wchar_t* kNone = L"<no ordinary form>";

TEST(PathForms, EveryFormOnce)
{
    struct Case {
        const wchar_t* path;
        PathForm form;
        const wchar_t* ordinary; // kNone: none (a volume or device name)
        const wchar_t* longForm;
        size_t root;
        bool driveRoot;
    };
    const Case cases[] = {
        {L"C:\\Data\\a.txt", PathForm::Drive, L"C:\\Data\\a.txt", L"\\\\?\\C:\\Data\\a.txt", 3, false},
        {L"c:\\", PathForm::Drive, L"c:\\", L"\\\\?\\c:\\", 3, true},
        {L"C:/Data", PathForm::Drive, L"C:/Data", L"\\\\?\\C:/Data", 3, false},
        {L"\\\\srv\\share\\x", PathForm::Share, L"\\\\srv\\share\\x", L"\\\\?\\UNC\\srv\\share\\x", 11, false},
        {L"\\\\srv\\share", PathForm::Share, L"\\\\srv\\share", L"\\\\?\\UNC\\srv\\share", 11, false},
        {L"\\\\srv", PathForm::Share, L"\\\\srv", L"\\\\?\\UNC\\srv", 0, false},
        {L"\\\\?\\C:\\Data", PathForm::LongDrive, L"C:\\Data", L"\\\\?\\C:\\Data", 7, false},
        {L"\\\\?\\D:\\", PathForm::LongDrive, L"D:\\", L"\\\\?\\D:\\", 7, true},
        {L"\\\\?\\C:", PathForm::LongDrive, L"C:", L"\\\\?\\C:", 6, false},
        {L"\\\\?\\UNC\\srv\\share\\x", PathForm::LongShare, L"\\\\srv\\share\\x", L"\\\\?\\UNC\\srv\\share\\x", 17, false},
        {L"\\\\?\\unc\\srv\\share\\x", PathForm::LongShare, L"\\\\srv\\share\\x", L"\\\\?\\unc\\srv\\share\\x", 17, false},
        {L"\\\\?\\Volume{0b1c}\\x", PathForm::LongOther, kNone, L"\\\\?\\Volume{0b1c}\\x", 17, false},
        {L"\\\\?\\", PathForm::LongOther, kNone, L"\\\\?\\", 4, false},
        {L"\\\\.\\C:\\Data", PathForm::DeviceDrive, L"C:\\Data", L"\\\\.\\C:\\Data", 7, false},
        {L"\\\\.\\UNC\\srv\\share\\x", PathForm::DeviceShare, L"\\\\srv\\share\\x", L"\\\\.\\UNC\\srv\\share\\x", 17, false},
        {L"\\\\.\\PhysicalDrive0", PathForm::DeviceOther, kNone, L"\\\\.\\PhysicalDrive0", 18, false},
        {L"C:Data", PathForm::DriveRelative, L"C:Data", L"C:Data", 0, false},
        {L"\\Data", PathForm::Rooted, L"\\Data", L"\\Data", 0, false},
        {L"Data\\x", PathForm::Relative, L"Data\\x", L"Data\\x", 0, false},
        {L"", PathForm::Empty, L"", L"", 0, false},
    };
    for (const Case& c : cases) {
        const std::string name = narrow(c.path);
        EXPECT_EQ(pathFormOf(c.path), c.form) << name;
        wchar_t out[64];
        const DWORD converted = ordinaryPathForm(c.path, out, 64);
        if (c.ordinary == kNone) {
            EXPECT_EQ(converted, static_cast<DWORD>(ERROR_BAD_PATHNAME)) << name;
            // The report shows such a path as it is.
            EXPECT_EQ(ordinaryFormOf(c.path), c.path) << name;
        } else {
            EXPECT_EQ(converted, 0u) << name;
            EXPECT_STREQ(out, c.ordinary) << name;
            EXPECT_EQ(ordinaryFormOf(c.path), c.ordinary) << name;
        }
        EXPECT_EQ(longFormOf(c.path), c.longForm) << name;
        EXPECT_EQ(rootLength(c.path), c.root) << name;
        EXPECT_EQ(isDriveRoot(c.path, std::wcslen(c.path)), c.driveRoot) << name;
    }
}

TEST(PathForms, RoomPrefixesSourceListsAndNames)
{
    // The ordinary form within the room given: "C:\" and 256 more units make
    // 259, the most the shell takes.
    wchar_t out[MAX_PATH];
    const std::wstring fits = L"\\\\?\\C:\\" + std::wstring(256, L'f');
    EXPECT_EQ(ordinaryPathForm(fits.c_str(), out, MAX_PATH), 0u);
    EXPECT_EQ(ordinaryPathForm((fits + L"g").c_str(), out, MAX_PATH), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));

    // Prefixes alone name no place.
    for (const wchar_t* bare : {L"", L"\\\\", L"\\\\?\\", L"\\\\.\\", L"\\\\?\\UNC\\", L"\\\\?\\unc\\"}) {
        EXPECT_TRUE(isBarePrefix(bare)) << narrow(bare);
    }
    for (const wchar_t* place : {L"C:\\", L"\\\\?\\C:\\", L"\\\\srv\\share", L"\\\\?\\UNC\\srv"}) {
        EXPECT_FALSE(isBarePrefix(place)) << narrow(place);
    }

    // The source list that stands for a drive's root, in both spellings.
    for (const wchar_t* list : {L"C:\\;", L"d:\\;;"}) EXPECT_TRUE(isDriveRootList(list)) << narrow(list);
    for (const wchar_t* list : {L"C:\\", L"C:\\;a;", L"C:\\;;;", L"1:\\;", L"C:;", L"\\\\srv\\share\\;"}) {
        EXPECT_FALSE(isDriveRootList(list)) << narrow(list);
    }

    // A source list taken apart as the walk takes it: empty elements are no
    // names, text after the last ';' is one.
    struct Split {
        const wchar_t* list;
        const wchar_t* folder;
        bool oneFolder;
        std::vector<std::wstring> names;
    };
    const Split splits[] = {
        {L"C:\\a", L"C:\\a", true, {}},
        {L"C:\\a\\", L"C:\\a\\", true, {}},
        {L"C:\\a\\;x;y;", L"C:\\a\\", false, {L"x", L"y"}},
        {L"C:\\a;x;;y", L"C:\\a", false, {L"x", L"y"}},
        {L"C:\\;", L"C:\\", false, {}},
        {L"C:\\;;", L"C:\\", false, {}},
        {L";x;", L"", false, {L"x"}},
        {L"", L"", true, {}},
    };
    for (const Split& split : splits) {
        const SourceListParts parts = splitSourceList(split.list);
        EXPECT_EQ(parts.folder, split.folder) << narrow(split.list);
        EXPECT_EQ(parts.oneFolder, split.oneFolder) << narrow(split.list);
        EXPECT_EQ(parts.names, split.names) << narrow(split.list);
    }

    // Name parts.
    EXPECT_STREQ(fileNamePart(L"C:\\a\\b.txt"), L"b.txt");
    EXPECT_STREQ(fileNamePart(L"C:b.txt"), L"b.txt");
    EXPECT_STREQ(fileNamePart(L"x/y"), L"y");
    EXPECT_STREQ(fileNamePart(L"plain"), L"plain");
    EXPECT_EQ(lastSeparator(L"plain"), nullptr);
    EXPECT_STREQ(extensionDot(L"C:\\a.b\\c.txt"), L".txt");
    EXPECT_EQ(extensionDot(L"C:\\a.b\\c"), nullptr);
    EXPECT_STREQ(extensionDot(L"a.tar.gz"), L".gz");

    EXPECT_TRUE(isMissing(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(isMissing(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(isMissing(ERROR_ACCESS_DENIED));
}

} // namespace
