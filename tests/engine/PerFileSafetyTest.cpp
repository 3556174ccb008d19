// What guards each file on its own, on real files under Wine: how an entry
// is classified by its reparse tag; when two names are one file (what
// identity Wine gives a hard link and a file link, and the fallbacks when a
// platform call is not there); a source held from its judgement to its
// deletion; a folder that cannot be listed; links inside the selection and
// in the target; names that differ only by case landing on one name; a
// name listed twice.
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "common/Raii.h"
#include "engine/HeldSource.h"
#include "engine/Listing.h"
#include "engine/SameFile.h"
#include "engine/SelectedItem.h"
#include "engine/WrittenNames.h"

#include <cwctype>

using namespace sorvane;
using namespace sorvane::test;

namespace {

const FILETIME kOld = fileTimeOf(2019, 1, 1);
const FILETIME kNew = fileTimeOf(2021, 1, 1);

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A Unix symbolic link at `link` (a Windows path) that leads to `to`.
bool makeUnixLink(const std::wstring& to, const std::wstring& link)
{
    const std::string from = unixPathOf(to);
    const std::wstring folder = link.substr(0, link.rfind(L'\\'));
    const std::string at = unixPathOf(folder) + "/" + narrow(link.substr(link.rfind(L'\\') + 1));
    runUnix(L"Z:\\bin\\ln", L"ln -s " + widen(from) + L" " + widen(at));
    for (int i = 0; i < 250 && ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(20);
    return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A second file in `folder` whose name differs from an existing one only by
// case, made on the Unix side (Windows would open the existing one).
bool makeCaseTwin(const std::wstring& folder, const std::wstring& existing, const std::wstring& twin,
                  const std::string& bytes)
{
    const std::wstring staged = folder + L"\\staged.tmp";
    if (!writeBytes(staged, bytes)) return false;
    const std::string base = unixPathOf(folder);
    runUnix(L"Z:\\bin\\mv", L"mv " + widen(base) + L"/staged.tmp " + widen(base) + L"/" + twin);
    for (int i = 0; i < 250 && exists(staged); ++i) ::Sleep(20);
    // Both names are there: a listing shows the two.
    const std::vector<std::wstring> names = listFolder(folder);
    return std::count(names.begin(), names.end(), existing) == 1 && std::count(names.begin(), names.end(), twin) == 1;
}

// ------------------------------------------------------------ classification

TEST(EntryKind, EveryReparseTagIsALinkOrTheFileItHolds)
{
    constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;
    struct Case {
        const char* what;
        DWORD attributes;
        DWORD tag;
        bool tagRead;
        SelectedKind expected;
    };
    const Case cases[] = {
        {"symbolic link to a file", kReparse, IO_REPARSE_TAG_SYMLINK, true, SelectedKind::FileLink},
        {"symbolic link to a folder", kReparse | kFolder, IO_REPARSE_TAG_SYMLINK, true, SelectedKind::FolderLink},
        {"junction", kReparse | kFolder, IO_REPARSE_TAG_MOUNT_POINT, true, SelectedKind::FolderLink},
        {"mount point of a volume", kReparse | kFolder, IO_REPARSE_TAG_MOUNT_POINT, true, SelectedKind::FolderLink},
        {"tag 0 (Wine's Unix link to a folder)", kReparse | kFolder, 0, true, SelectedKind::FolderLink},
        {"tag that could not be read", kReparse, 0x9000001Au, false, SelectedKind::FileLink},
        {"folder tag that could not be read", kReparse | kFolder, 0x9000001Au, false, SelectedKind::FolderLink},
        {"cloud file placeholder", kReparse | FILE_ATTRIBUTE_ARCHIVE, 0x9000001Au, true, SelectedKind::File},
        {"cloud folder placeholder", kReparse | kFolder, 0x9000601Au, true, SelectedKind::Folder},
        {"deduplicated file", kReparse, 0x80000013u, true, SelectedKind::File},
        {"compressed (WOF) file", kReparse, 0x80000017u, true, SelectedKind::File},
        {"unknown tag that is no name surrogate", kReparse, 0x8000FFFFu, true, SelectedKind::File},
        {"unknown name surrogate", kReparse, 0xA000FFFFu, true, SelectedKind::FileLink},
        {"plain file", FILE_ATTRIBUTE_ARCHIVE, 0, true, SelectedKind::File},
        {"plain folder", kFolder, 0, true, SelectedKind::Folder},
    };
    for (const Case& c : cases) {
        WIN32_FIND_DATAW found = {};
        found.dwFileAttributes = c.attributes;
        found.dwReserved0 = c.tag;
        EXPECT_EQ(foundKind(found, c.tagRead), c.expected) << c.what;
        if (c.tagRead) { EXPECT_EQ(selectedItemKind(c.attributes, c.tag), c.expected) << c.what << " (selected)"; }
    }
}

// ------------------------------------------------------------ identity

TEST(SameFileJudge, OneVolumeDecidesOtherwiseSizeAndTimeMustAgreeToo)
{
    FileFacts base;
    base.known = true;
    base.wideId = true;
    base.volume = 0x1234;
    base.idLow = 77;
    base.idHigh = 5;
    base.size = 100;
    base.lastWrite = kOld;
    struct Case {
        const char* what;
        void (*change)(FileFacts&);
        SameFile expected;
    };
    const Case cases[] = {
        {"the same id on one volume", [](FileFacts&) {}, SameFile::Yes},
        {"the same id on one volume, other size (one file seen at two moments)",
         [](FileFacts& f) { f.size = 5; }, SameFile::Yes},
        {"another id", [](FileFacts& f) { f.idLow = 78; }, SameFile::No},
        {"another high half of the id", [](FileFacts& f) { f.idHigh = 6; }, SameFile::No},
        {"another serial, equal id, size and time", [](FileFacts& f) { f.volume = 0x9999; }, SameFile::Possibly},
        {"serial 0, equal id, size and time", [](FileFacts& f) { f.volume = 0; }, SameFile::Possibly},
        {"another serial and size", [](FileFacts& f) { f.volume = 0x9999; f.size = 7; }, SameFile::No},
        {"another serial and time", [](FileFacts& f) { f.volume = 0x9999; f.lastWrite = kNew; }, SameFile::No},
        {"unknown facts", [](FileFacts& f) { f.known = false; }, SameFile::No},
        {"the index of a fallback against the 128-bit id",
         [](FileFacts& f) { f.wideId = false; f.idHigh = 0; f.volume = 0x1234; }, SameFile::Yes},
    };
    for (const Case& c : cases) {
        FileFacts other = base;
        c.change(other);
        EXPECT_EQ(judgeSameFile(base, other), c.expected) << c.what;
        EXPECT_EQ(judgeSameFile(other, base), c.expected) << c.what << " (the other way round)";
    }
}

// Injected platform answers: the 128-bit id call missing, failing, or there.
BOOL WINAPI idInfoMissing(HANDLE, FileIdInformation*)
{
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
BOOL WINAPI idInfoFixed(HANDLE, FileIdInformation* out)
{
    out->volumeSerialNumber = 0xABCDEF0012345678ull;
    for (int i = 0; i < 16; ++i) out->fileId[i] = static_cast<BYTE>(i + 1);
    return TRUE;
}
BOOL WINAPI byHandleFixed(HANDLE, BY_HANDLE_FILE_INFORMATION* out)
{
    *out = {};
    out->dwVolumeSerialNumber = 0x12345678;
    out->nFileIndexHigh = 0x01;
    out->nFileIndexLow = 0x02;
    out->nFileSizeLow = 42;
    return TRUE;
}
BOOL WINAPI byHandleFailing(HANDLE, BY_HANDLE_FILE_INFORMATION*)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST(SameFileJudge, EachFallbackIsChosenByWhatThePlatformAnswers)
{
    struct Case {
        const char* what;
        IdentityCalls calls;
        bool known;
        bool wideId;
        uint64_t volume;
        uint64_t idLow;
    };
    const Case cases[] = {
        {"128-bit ids", {idInfoFixed, byHandleFixed}, true, true, 0xABCDEF0012345678ull, 0x0807060504030201ull},
        {"no 128-bit ids: the file index", {idInfoMissing, byHandleFixed}, true, false, 0x12345678, 0x0000000100000002ull},
        {"no such call at all: the file index", {nullptr, byHandleFixed}, true, false, 0x12345678, 0x0000000100000002ull},
        {"nothing readable", {idInfoFixed, byHandleFailing}, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        const FileFacts facts = readFileFacts(INVALID_HANDLE_VALUE, c.calls);
        EXPECT_EQ(facts.known, c.known) << c.what;
        if (!c.known) continue;
        EXPECT_EQ(facts.wideId, c.wideId) << c.what;
        EXPECT_EQ(facts.volume, c.volume) << c.what;
        EXPECT_EQ(facts.idLow, c.idLow) << c.what;
        EXPECT_EQ(facts.size, 42u) << c.what;
    }
}

class PerFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CreateDirectoryW(src().c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(dst().c_str(), nullptr));
    }
    std::wstring src(const std::wstring& rest = L"") const { return rest.empty() ? root / L"src" : root / (L"src\\" + rest); }
    std::wstring dst(const std::wstring& rest = L"") const { return rest.empty() ? root / L"dst" : root / (L"dst\\" + rest); }
    void file(const std::wstring& path, const std::string& bytes, const FILETIME& time = kOld)
    {
        ASSERT_TRUE(writeBytes(path, bytes));
        ASSERT_TRUE(setWriteTime(path, time));
    }
    TempFolder root;
};

TEST_F(PerFile, WineGivesAHardLinkAndAFileLinkTheIdentityOfTheirFile)
{
    file(src(L"a.txt"), "the only real file");
    file(src(L"b.txt"), "the only real file");
    ASSERT_TRUE(::CreateHardLinkW(dst(L"hard.txt").c_str(), src(L"a.txt").c_str(), nullptr));
    ASSERT_TRUE(makeUnixLink(src(L"a.txt"), dst(L"link.txt")));
    // Wine shows the file link as a plain file.
    EXPECT_FALSE(attributesOf(dst(L"link.txt")) & FILE_ATTRIBUTE_REPARSE_POINT);
    DWORD error = 0;
    const FileFacts real = readFileFacts(src(L"a.txt").c_str(), error);
    ASSERT_TRUE(real.known);
    EXPECT_TRUE(real.wideId) << "Wine answers the 128-bit id call";
    EXPECT_NE(real.volume, 0u);
    for (const std::wstring& name : {dst(L"hard.txt"), dst(L"link.txt")}) {
        EXPECT_EQ(judgeSameFile(real, readFileFacts(name.c_str(), error)), SameFile::Yes) << narrow(name);
    }
    EXPECT_EQ(judgeSameFile(real, readFileFacts(src(L"b.txt").c_str(), error)), SameFile::No)
        << "an equal file is another file";
    removeUnixLink(dst(L"link.txt"));
}

TEST_F(PerFile, ATargetThatIsTheSourceItselfIsNeverReplacedAndNeverCostsTheSource)
{
    struct Case {
        const char* what;
        uint32_t kind;
        uint32_t overwrite;
        bool hardLink; // else a Unix file link
    };
    const Case cases[] = {
        {"move, newer only, equal times, hard link", kOperationMove, 1, true},
        {"move, newer only, equal times, file link", kOperationMove, 1, false},
        {"move without condition, hard link", kOperationMove, 0, true},
        {"copy without condition, file link", kOperationCopy, 0, false},
        {"copy without condition, hard link", kOperationCopy, 0, true},
    };
    for (const Case& c : cases) {
        file(src(L"a.txt"), "the only real file");
        file(src(L"other.txt"), "an ordinary file");
        if (c.hardLink) {
            ASSERT_TRUE(::CreateHardLinkW(dst(L"a.txt").c_str(), src(L"a.txt").c_str(), nullptr));
        } else {
            ASSERT_TRUE(makeUnixLink(src(L"a.txt"), dst(L"a.txt")));
        }
        EngineRun run(c.kind);
        run.settings.overwrite = c.overwrite;
        run.settings.setSources(sourceList(src(), {L"a.txt", L"other.txt"}).c_str());
        run.settings.setTarget(dst().c_str());
        run.both();
        EXPECT_EQ(readBytes(src(L"a.txt")), "the only real file") << c.what;
        EXPECT_EQ(readBytes(dst(L"a.txt")), "the only real file") << c.what;
        const LogRow* row = run.log.find(L"a.txt");
        ASSERT_NE(row, nullptr) << c.what;
        EXPECT_EQ(row->status, kStatusFailed) << c.what;
        EXPECT_EQ(row->reason, static_cast<UINT>(kReasonSameFile)) << c.what;
        EXPECT_EQ(readBytes(dst(L"other.txt")), "an ordinary file") << c.what << ": the other file is processed";
        EXPECT_EQ(run.settings.failedFiles.load(), 1u) << c.what;
        if (!c.hardLink) removeUnixLink(dst(L"a.txt"));
        ::DeleteFileW(dst(L"a.txt").c_str());
        ::DeleteFileW(dst(L"other.txt").c_str());
        ::DeleteFileW(src(L"a.txt").c_str());
        ::DeleteFileW(src(L"other.txt").c_str());
    }
}

// ------------------------------------------------------------ held sources

TEST_F(PerFile, AHeldSourceKeepsWritersAndRenamesOutAndIsDeletedThroughItsHandle)
{
    file(src(L"a.txt"), "judged content");
    Listing listing;
    ASSERT_TRUE(listDirectory(src(L"a.txt").c_str(), listing, 0));
    ASSERT_NE(listing.first(), nullptr);
    HeldSource held;
    ASSERT_EQ(held.hold(src(L"a.txt").c_str(), *listing.first()), HoldResult::Held);
    UniqueFile writer(::CreateFileW(src(L"a.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                        FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "no writer while held";
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::MoveFileW(src(L"a.txt").c_str(), src(L"b.txt").c_str())) << "no rename while held";
    EXPECT_FALSE(::DeleteFileW(src(L"a.txt").c_str())) << "no delete by others while held";
    UniqueFile reader(::CreateFileW(src(L"a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reader) << "readers that let it go may read it (the system copy routine opens so)";
    reader.reset();
    EXPECT_TRUE(held.unchanged());
    EXPECT_EQ(held.remove(), 0u);
    EXPECT_FALSE(exists(src(L"a.txt")));
}

BOOL WINAPI extendedNotThere(HANDLE, DWORD)
{
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
BOOL WINAPI extendedDenied(HANDLE, DWORD)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
size_t g_classicCalls = 0;
BOOL WINAPI classicCounted(HANDLE file)
{
    ++g_classicCalls;
    FILE_DISPOSITION_INFO information = {};
    information.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &information, sizeof(information));
}

TEST_F(PerFile, DeletingThroughTheHandleFallsBackOnlyWhereTheExtendedWayIsNotThere)
{
    struct Case {
        const char* what;
        DispositionCalls calls;
        bool readOnly;
        DWORD result;
        size_t classicCalls;
    };
    const Case cases[] = {
        {"extended way missing: the classic one", {extendedNotThere, classicCounted}, false, 0, 1},
        {"extended way missing, read-only file: made writable first", {extendedNotThere, classicCounted}, true, 0, 1},
        {"extended way refusing: no second try", {extendedDenied, classicCounted}, false, ERROR_ACCESS_DENIED, 0},
    };
    for (const Case& c : cases) {
        file(src(L"a.txt"), "content");
        if (c.readOnly) { ASSERT_TRUE(makeReadOnly(src(L"a.txt"))); }
        Listing listing;
        ASSERT_TRUE(listDirectory(src(L"a.txt").c_str(), listing, 0));
        overrideDispositionCalls(&c.calls);
        g_classicCalls = 0;
        DWORD result;
        {
            HeldSource held;
            ASSERT_EQ(held.hold(src(L"a.txt").c_str(), *listing.first()), HoldResult::Held) << c.what;
            result = held.remove();
        }
        overrideDispositionCalls(nullptr);
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(g_classicCalls, c.classicCalls) << c.what;
        EXPECT_EQ(exists(src(L"a.txt")), c.result != 0) << c.what;
        if (c.result != 0) { EXPECT_EQ(isReadOnly(src(L"a.txt")), c.readOnly) << c.what << ": attributes as they were"; }
        ::SetFileAttributesW(src(L"a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(src(L"a.txt").c_str());
    }
}

// The copy routine of a move to another volume, checking what holds while
// it copies: the source is there, whole, and cannot be written.
bool g_sourceWholeDuringCopy = false;
std::wstring g_copiedSource;
BOOL WINAPI copyCheckingTheSource(LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress, LPVOID data,
                                  LPBOOL cancel, DWORD flags)
{
    const BOOL copied = systemCopyRoutines().copyFileEx(source, target, progress, data, cancel, flags);
    UniqueFile writer(::CreateFileW(source, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    // Read as the copy routine reads it, letting a later deletion through.
    std::string bytes;
    UniqueFile reader(::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    0, nullptr));
    char chunk[65536];
    DWORD got = 0;
    while (reader && ::ReadFile(reader.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    g_sourceWholeDuringCopy = copied && !writer && reader && bytes == readBytes(target);
    g_copiedSource = source;
    return copied;
}

TEST_F(PerFile, AMovedSourceGoesOnlyOnceItsCopyIsWholeAndARewrittenOneIsKept)
{
    OtherVolumeFolder other;
    ASSERT_TRUE(other.valid()) << "no Z:\\dev\\shm here";
    file(src(L"a.txt"), std::string(100000, 'a'));
    {
        RoutineOverride routines({copyCheckingTheSource, systemCopyRoutines().moveFileWithProgress});
        EngineRun run(kOperationMove);
        run.settings.setSources(sourceList(src(), {L"a.txt"}).c_str());
        run.settings.setTarget(other.path().c_str());
        run.both();
        EXPECT_TRUE(g_sourceWholeDuringCopy) << "the source stayed whole and held until its copy was";
        EXPECT_FALSE(exists(src(L"a.txt")));
        EXPECT_EQ(readBytes(other / L"a.txt"), std::string(100000, 'a'));
    }

    // Rewritten by another program between its listing and its open, as
    // the engine shows the file's name: kept, for a move to another volume,
    // a delete for good and the deletion of an outdated source alike.
    struct Case {
        const char* what;
        uint32_t kind;
        uint32_t overwrite;
        bool otherVolume;
        bool targetThere;
    };
    const Case cases[] = {
        {"move to another volume", kOperationMove, 0, true, false},
        {"delete for good", kOperationDelete, 0, false, false},
        {"move whose newer target stays", kOperationMove, 1, false, true},
    };
    for (const Case& c : cases) {
        file(src(L"b.txt"), "as listed");
        file(src(L"c.txt"), "untouched");
        const std::wstring target = c.otherVolume ? other.path() : dst();
        if (c.targetThere) {
            file(target + L"\\b.txt", "the newer target", kNew);
            file(target + L"\\c.txt", "the newer target of c", kNew);
        }
        EngineRun run(c.kind);
        run.settings.overwrite = c.overwrite;
        run.settings.setSources(sourceList(src(), {L"b.txt", L"c.txt"}).c_str());
        if (c.kind != kOperationDelete) run.settings.setTarget(target.c_str());
        run.counting();
        run.progress.onFileText = [&](const std::wstring& name) {
            if (name == L"b.txt") writeBytes(src(L"b.txt"), "the latest edit, longer");
        };
        run.executing();
        EXPECT_EQ(readBytes(src(L"b.txt")), "the latest edit, longer") << c.what;
        const LogRow* row = run.log.find(L"b.txt");
        ASSERT_NE(row, nullptr) << c.what;
        EXPECT_EQ(row->status, kStatusFailed) << c.what;
        EXPECT_EQ(row->reason, static_cast<UINT>(kReasonSourceChanged)) << c.what;
        EXPECT_FALSE(exists(src(L"c.txt"))) << c.what << ": the other file went its way";
        if (c.targetThere) { EXPECT_EQ(readBytes(target + L"\\b.txt"), "the newer target") << c.what; }
        else if (c.kind == kOperationMove) { EXPECT_FALSE(exists(target + L"\\b.txt")) << c.what << ": nothing copied"; }
        ::DeleteFileW(src(L"b.txt").c_str());
        ::DeleteFileW((target + L"\\b.txt").c_str());
        ::DeleteFileW((target + L"\\c.txt").c_str());
    }
}

// ------------------------------------------------------------ folders and links

TEST_F(PerFile, AFolderThatCannotBeListedGetsOneRowAndTheRestGoesOn)
{
    for (const uint32_t kind : {kOperationCopy, kOperationMove, kOperationDelete}) {
        ASSERT_TRUE(::CreateDirectoryW(src(L"closed").c_str(), nullptr));
        file(src(L"closed\\inside.txt"), "unseen");
        file(src(L"open.txt"), "seen");
        // Held open without sharing: nobody else can list it (the tests run
        // as root, so permissions would not deny).
        UniqueFile holder(::CreateFileW(src(L"closed").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(holder);
        Listing listing;
        DWORD error = 0;
        ASSERT_FALSE(listDirectory((src(L"closed") + L"\\*.*").c_str(), listing, 0, &error)) << "listing it fails";
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));

        EngineRun run(kind);
        run.settings.setSources(sourceList(src(), {L"closed", L"open.txt"}).c_str());
        if (kind != kOperationDelete) run.settings.setTarget(dst().c_str());
        run.both();
        holder.reset();
        const LogRow* row = run.log.find(L"\\closed");
        ASSERT_NE(row, nullptr) << kind;
        EXPECT_EQ(row->status, kStatusFolderFailed) << kind;
        EXPECT_EQ(row->error, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << kind;
        EXPECT_EQ(run.log.count(kStatusFolderFailed), 1u) << kind << ": one row, no second one for its removal";
        EXPECT_EQ(run.settings.failedFolders.load(), 1u) << kind;
        EXPECT_EQ(readBytes(src(L"closed\\inside.txt")), "unseen") << kind;
        EXPECT_EQ(run.settings.completedFiles.load(), 1u) << kind << ": open.txt";
        removeTree(src(L"closed"));
        removeTree(dst());
        ::CreateDirectoryW(dst().c_str(), nullptr);
        ::DeleteFileW(src(L"open.txt").c_str());
    }
}

TEST_F(PerFile, LinksInsideTheSelectionAreLeftAloneWithARowAndOnlyADeleteRemovesThem)
{
    TempFolder elsewhere;
    file(elsewhere / L"precious.txt", "never reached");
    for (const uint32_t kind : {kOperationCopy, kOperationMove, kOperationDelete}) {
        ASSERT_TRUE(::CreateDirectoryW(src(L"docs").c_str(), nullptr));
        file(src(L"docs\\a.txt"), "a");
        ASSERT_TRUE(makeUnixLink(elsewhere.path(), src(L"docs\\away")));
        ASSERT_EQ(readSelectedItemKind(src(L"docs\\away").c_str()), SelectedKind::FolderLink);
        EngineRun run(kind);
        run.settings.setSources(sourceList(src(), {L"docs"}).c_str());
        if (kind != kOperationDelete) run.settings.setTarget(dst().c_str());
        run.both();
        EXPECT_EQ(readBytes(elsewhere / L"precious.txt"), "never reached") << kind;
        const LogRow* row = run.log.find(L"\\away");
        ASSERT_NE(row, nullptr) << kind << ": the link has a row";
        EXPECT_EQ(run.settings.totalFiles.load(), 2u) << kind;
        if (kind == kOperationDelete) {
            // A delete removes the link itself, through a handle on the
            // link. Wine opens what a Unix link leads to even when asked for
            // the link, so the engine sees no reparse point there and
            // removes nothing; on Windows the link goes.
            EXPECT_EQ(row->status, kStatusFailed) << kind;
            EXPECT_EQ(row->error, static_cast<DWORD>(ERROR_NOT_A_REPARSE_POINT)) << kind;
            EXPECT_EQ(run.settings.skippedLinks.load(), 0u);
            removeUnixLink(src(L"docs\\away"));
        } else {
            EXPECT_EQ(row->status, kStatusSkipped) << kind;
            EXPECT_EQ(row->reason, static_cast<UINT>(kReasonLinkInside)) << kind;
            EXPECT_EQ(run.settings.failedFiles.load(), 1u) << kind;
            EXPECT_EQ(run.settings.skippedLinks.load(), 1u) << kind;
            EXPECT_FALSE(exists(dst(L"docs\\away"))) << kind << ": nothing made for it in the target";
            EXPECT_EQ(readBytes(dst(L"docs\\a.txt")), "a") << kind;
            removeUnixLink(src(L"docs\\away"));
        }
        removeTree(src(L"docs"));
        removeTree(dst());
        ::CreateDirectoryW(dst().c_str(), nullptr);
    }
}

TEST_F(PerFile, NothingIsWrittenThroughALinkInTheTarget)
{
    TempFolder elsewhere;
    file(elsewhere / L"keep.txt", "elsewhere");
    ASSERT_TRUE(::CreateDirectoryW(src(L"sub").c_str(), nullptr));
    file(src(L"sub\\keep.txt"), "from the source");
    file(src(L"away"), "a file named like the target's link");
    // The target holds links named like a source file and a source folder.
    ASSERT_TRUE(makeUnixLink(elsewhere.path(), dst(L"away")));
    ASSERT_TRUE(makeUnixLink(elsewhere.path(), dst(L"sub")));
    for (const uint32_t overwrite : {0u, 1u, 2u}) {
        for (const bool oneFolder : {false, true}) {
            EngineRun run(kOperationCopy);
            run.settings.overwrite = overwrite;
            run.settings.setSources(oneFolder ? src().c_str() : sourceList(src(), {L"sub", L"away"}).c_str());
            run.settings.setTarget(dst().c_str());
            run.both();
            EXPECT_EQ(readBytes(elsewhere / L"keep.txt"), "elsewhere") << overwrite << oneFolder;
            EXPECT_EQ(listFolder(elsewhere.path()), std::vector<std::wstring>{L"keep.txt"}) << overwrite << oneFolder;
            const LogRow* file = run.log.find(L"src\\away");
            ASSERT_NE(file, nullptr) << overwrite << oneFolder;
            EXPECT_EQ(file->reason, static_cast<UINT>(kReasonLinkInTheWay)) << overwrite << oneFolder;
            const LogRow* inFolder = run.log.find(L"sub\\keep.txt");
            ASSERT_NE(inFolder, nullptr) << overwrite << oneFolder;
            EXPECT_EQ(inFolder->reason, static_cast<UINT>(kReasonTargetFolderIsLink)) << overwrite << oneFolder;
            EXPECT_EQ(run.settings.failedFiles.load(), 2u) << overwrite << oneFolder;
        }
    }
    removeUnixLink(dst(L"away"));
    removeUnixLink(dst(L"sub"));
}

TEST_F(PerFile, NamesThatDifferOnlyByCaseLandOnOneNameOnce)
{
    for (const uint32_t kind : {kOperationMove, kOperationCopy}) {
        for (const uint32_t overwrite : {0u, 1u, 2u}) {
            file(src(L"a.txt"), "lower");
            ASSERT_TRUE(makeCaseTwin(src(), L"a.txt", L"A.txt", "upper")) << "the Unix side made the twin";
            file(src(L"b.txt"), "another");
            EngineRun run(kind);
            run.settings.overwrite = overwrite;
            run.settings.setSources(src().c_str());
            run.settings.setTarget(dst().c_str());
            run.both();
            const std::vector<std::wstring> landed = listFolder(dst());
            ASSERT_EQ(landed.size(), 2u) << kind << overwrite;
            const std::string first = readBytes(dst(L"a.txt"));
            ASSERT_TRUE(first == "lower" || first == "upper") << kind << overwrite;
            const std::wstring secondName = first == "lower" ? L"A.txt" : L"a.txt";
            const std::string second = first == "lower" ? "upper" : "lower";
            // The second twin stays at its source, with a row that names the first.
            const std::vector<std::wstring> left = listFolder(src());
            EXPECT_EQ(std::count(left.begin(), left.end(), secondName), 1) << kind << overwrite;
            const LogRow* row = run.log.find(L"\\" + secondName);
            ASSERT_NE(row, nullptr) << kind << overwrite;
            EXPECT_EQ(row->status, kStatusFailed);
            EXPECT_EQ(row->reason, static_cast<UINT>(kReasonNameWritten));
            EXPECT_NE(row->detail.find(secondName == L"A.txt" ? L"a.txt" : L"A.txt"), std::wstring::npos)
                << narrow(row->detail);
            EXPECT_EQ(readBytes(dst(L"b.txt")), "another") << kind << overwrite;
            removeTree(src());
            removeTree(dst());
            ::CreateDirectoryW(src().c_str(), nullptr);
            ::CreateDirectoryW(dst().c_str(), nullptr);
        }
    }
}

bool g_folderCaseSensitive = false;
bool answeredCaseSensitivity(HANDLE) { return g_folderCaseSensitive; }

TEST_F(PerFile, NamesWrittenCompareAsTheirFolderComparesThem)
{
    struct Case {
        bool caseSensitive;
        const wchar_t* written;
        const wchar_t* asked;
        bool conflict;
    };
    const Case cases[] = {
        {false, L"a.txt", L"a.txt", true},   {false, L"a.txt", L"A.TXT", true},
        {false, L"\x00e9.txt", L"\x00c9.TXT", true}, {false, L"a.txt", L"b.txt", false},
        {true, L"a.txt", L"a.txt", true},    {true, L"a.txt", L"A.TXT", false},
    };
    WrittenNames::overrideCaseSensitivityQuery(answeredCaseSensitivity);
    for (const Case& c : cases) {
        g_folderCaseSensitive = c.caseSensitive;
        WrittenNames names; // a folder's sensitivity is read once, when it is first met
        WrittenFolder* folder = names.folder((dst() + L"\\").c_str());
        ASSERT_NE(folder, nullptr);
        EXPECT_EQ(folder->caseSensitive(), c.caseSensitive);
        folder->add(c.written, L"C:\\from\\here");
        const std::wstring* writer = folder->writer(c.asked);
        EXPECT_EQ(writer != nullptr, c.conflict) << narrow(c.written) << " / " << narrow(c.asked) << " " << c.caseSensitive;
        if (writer) { EXPECT_EQ(*writer, L"C:\\from\\here"); }
        // The same folder under another spelling is the same record.
        EXPECT_EQ(names.folder(dst().c_str()), folder);
        EXPECT_EQ(names.folder(src().c_str())->writer(c.written), nullptr) << "another folder";
    }
    WrittenNames::overrideCaseSensitivityQuery(nullptr);
    EXPECT_EQ(WrittenNames().folder((dst() + L"\\missing").c_str()), nullptr) << "no folder, no record";
}

TEST_F(PerFile, ANameListedTwiceIsHandledOnce)
{
    file(src(L"a.txt"), "once");
    EngineRun run(kOperationMove);
    run.settings.setSources(sourceList(src(), {L"a.txt", L"a.txt"}).c_str());
    run.settings.setTarget(dst().c_str());
    run.both();
    EXPECT_EQ(run.settings.totalFiles.load(), 1u);
    ASSERT_EQ(run.log.rows.size(), 1u) << "no \"Not Exist\" row for the second mention";
    EXPECT_EQ(run.log.rows[0].status, kStatusSuccess);
    EXPECT_EQ(readBytes(dst(L"a.txt")), "once");
}

} // namespace
