// Temporary copies left behind by a process that died: their names carry
// the process id and start time, and the next run that writes into their
// folder removes them, but only those whose process is gone (also when its
// id has come round again) and that nobody holds open; never a live run's,
// never a file that merely looks alike.
#include <gtest/gtest.h>

#include "EngineFakes.h"
#include "common/Raii.h"
#include "engine/Listing.h"
#include "engine/Temporaries.h"

#include <cwchar>

using namespace sorvane;
using namespace sorvane::test;

namespace {

std::wstring temporaryName(DWORD processId, uint64_t startTime, unsigned counter)
{
    wchar_t name[kTemporaryNameCapacity];
    std::swprintf(name, kTemporaryNameCapacity, L"~sorvane-%lx-%llx-%x.tmp", static_cast<unsigned long>(processId),
                  static_cast<unsigned long long>(startTime), counter);
    return name;
}

// A process that has come and gone: its id and start time.
struct EndedProcess {
    DWORD id = 0;
    uint64_t start = 0;
};
EndedProcess endedProcess()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    wchar_t command[] = L"cmd.exe /c exit";
    EndedProcess ended;
    if (!::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &info)) {
        return ended;
    }
    ::WaitForSingleObject(info.hProcess, 30000);
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(info.hProcess, &created, &exited, &kernel, &user);
    ended.id = info.dwProcessId;
    ended.start = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return ended;
}

TEST(Temporaries, NamesCarryTheProcessAndItsStartTime)
{
    wchar_t name[kTemporaryNameCapacity];
    makeTemporaryName(name);
    DWORD id = 0;
    uint64_t start = 0;
    ASSERT_TRUE(parseTemporaryName(name, id, start)) << std::wstring(name).c_str();
    EXPECT_EQ(id, ::GetCurrentProcessId());
    EXPECT_EQ(start, currentProcessStartTime());
    EXPECT_NE(start, 0u);
    wchar_t second[kTemporaryNameCapacity];
    makeTemporaryName(second);
    EXPECT_STRNE(name, second) << "every temporary has a name of its own";

    EXPECT_TRUE(parseTemporaryName(L"~sorvane-1a-01d9aa55bb66cc77-0.tmp", id, start));
    EXPECT_EQ(id, 0x1au);
    EXPECT_EQ(start, 0x01d9aa55bb66cc77u);
    EXPECT_TRUE(parseTemporaryName(L"~SORVANE-1A-FF-3.TMP", id, start));
    // The archiver library's temporaries beside an archive.
    EXPECT_TRUE(parseTemporaryName(L"lzh-2b-01d9aa55bb66cc77-4.tmp", id, start));
    EXPECT_EQ(id, 0x2bu);
    EXPECT_EQ(start, 0x01d9aa55bb66cc77u);
    for (const wchar_t* other : {L"lzh12.tmp", L"lzhA3F.tmp", L"lzh-2b-4.tmp", L"lzh--ff-3.tmp", L"xlzh-2b-ff-3.tmp",
                                 L"~sorvane-1a-2.tmp", L"~sorvane-1a-ff-3.tmp.txt", L"~sorvane--ff-3.tmp",
                                 L"~sorvane-1a-ff-.tmp", L"~sorvane-1g-ff-3.tmp", L"sorvane-1a-ff-3.tmp",
                                 L"~sorvane-123456789-ff-3.tmp", L"~sorvane-1a-11112222333344445-3.tmp",
                                 L"~sorvane-1a-ff-3x.tmp", L"report.tmp"}) {
        EXPECT_FALSE(parseTemporaryName(other, id, start)) << std::wstring(other).c_str();
    }
}

TEST(Temporaries, AnOwnerIsGoneOnlyWhenItsProcessIs)
{
    EXPECT_FALSE(temporaryOwnerGone(::GetCurrentProcessId(), currentProcessStartTime())) << "this run is alive";
    EXPECT_TRUE(temporaryOwnerGone(::GetCurrentProcessId(), currentProcessStartTime() - 1))
        << "the same id with another start time: an earlier process that had the id";
    const EndedProcess ended = endedProcess();
    ASSERT_NE(ended.id, 0u);
    EXPECT_TRUE(temporaryOwnerGone(ended.id, ended.start));
    // A running process of another start time is not the owner either.
    ChildProcess running;
    ASSERT_TRUE(running.start(L"C:\\windows\\system32\\cmd.exe", L"/c ping -n 30 127.0.0.1 >nul"));
    UniqueHandle handle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, running.id()));
    ASSERT_TRUE(handle);
    FILETIME created, exited, kernel, user;
    ASSERT_TRUE(::GetProcessTimes(handle.get(), &created, &exited, &kernel, &user));
    const uint64_t start = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    EXPECT_FALSE(temporaryOwnerGone(running.id(), start)) << "a live process keeps its temporaries";
    EXPECT_TRUE(temporaryOwnerGone(running.id(), start + 10000000));
}

TEST(Temporaries, TheSweepRemovesOnlyDeadUnheldTemporaries)
{
    TempFolder folder;
    const EndedProcess ended = endedProcess();
    ASSERT_NE(ended.id, 0u);
    const std::wstring dead1 = temporaryName(ended.id, ended.start, 0);
    const std::wstring dead2 = temporaryName(ended.id, ended.start, 1);
    const std::wstring deadReadOnly = temporaryName(ended.id, ended.start, 2);
    const std::wstring deadHeld = temporaryName(ended.id, ended.start, 3);
    const std::wstring reused = temporaryName(::GetCurrentProcessId(), currentProcessStartTime() - 5, 4);
    const std::wstring live = temporaryName(::GetCurrentProcessId(), currentProcessStartTime(), 5);
    for (const auto& name : {dead1, dead2, deadReadOnly, deadHeld, reused, live}) {
        ASSERT_TRUE(writeBytes(folder / name, "partial copy"));
    }
    ASSERT_TRUE(makeReadOnly(folder / deadReadOnly));
    ASSERT_TRUE(writeBytes(folder / L"~sorvane-notes.tmp", "a user's file"));
    ASSERT_TRUE(writeBytes(folder / L"data.txt", "data"));
    ASSERT_TRUE(::CreateDirectoryW((folder / temporaryName(ended.id, ended.start, 6)).c_str(), nullptr));
    UniqueFile held(::CreateFileW((folder / deadHeld).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    std::vector<wchar_t> buffer(kRunPathCapacity);
    const std::wstring path = folder.path() + L"\\";
    std::wcscpy(buffer.data(), path.c_str());
    EXPECT_EQ(sweepTemporaries(buffer.data(), buffer.size(), nullptr), 4u);
    EXPECT_EQ(std::wstring(buffer.data()), path) << "the folder is put back";
    EXPECT_FALSE(exists(folder / dead1));
    EXPECT_FALSE(exists(folder / dead2));
    EXPECT_FALSE(exists(folder / deadReadOnly)) << "a copy of a read-only file goes too";
    EXPECT_FALSE(exists(folder / reused)) << "an id that came round again is no live owner";
    EXPECT_TRUE(exists(folder / deadHeld)) << "held open by someone: never removed";
    EXPECT_TRUE(exists(folder / live)) << "a live run's temporary stays";
    EXPECT_EQ(readBytes(folder / L"~sorvane-notes.tmp"), "a user's file");
    EXPECT_EQ(readBytes(folder / L"data.txt"), "data");
    EXPECT_TRUE(exists(folder / temporaryName(ended.id, ended.start, 6))) << "folders are never swept";

    // From a listing the same holds, without searching the folder again.
    held.reset();
    Listing listing;
    ASSERT_TRUE(listDirectory((path + L"*.*").c_str(), listing, FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(sweepTemporaries(buffer.data(), buffer.size(), &listing), 1u);
    EXPECT_FALSE(exists(folder / deadHeld));
    EXPECT_TRUE(exists(folder / live));
}

TEST(Temporaries, TheNextRunIntoAFolderSweepsItsDeadTemporaries)
{
    TempFolder root;
    ASSERT_TRUE(::CreateDirectoryW((root / L"src").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root / L"src\\sub").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root / L"dst").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root / L"dst\\sub").c_str(), nullptr));
    ASSERT_TRUE(writeBytes(root / L"src\\a.txt", "a"));
    ASSERT_TRUE(writeBytes(root / L"src\\sub\\b.txt", "b"));
    const EndedProcess ended = endedProcess();
    ASSERT_NE(ended.id, 0u);
    ASSERT_TRUE(writeBytes(root / (L"dst\\" + temporaryName(ended.id, ended.start, 7)), "left behind"));
    ASSERT_TRUE(writeBytes(root / (L"dst\\sub\\" + temporaryName(ended.id, ended.start, 8)), "left behind"));
    ASSERT_TRUE(writeBytes(root / L"dst\\kept.txt", "kept"));
    EngineRun run(kOperationCopy);
    run.settings.setSources(sourceList(root / L"src", {L"a.txt", L"sub"}).c_str());
    run.settings.setTarget((root / L"dst").c_str());
    run.counting();
    EXPECT_EQ(countTemporaries(root / L"dst"), 2u) << "the counting pass changes nothing";
    run.executing();
    EXPECT_EQ(countTemporaries(root / L"dst"), 0u);
    EXPECT_EQ(readBytes(root / L"dst\\kept.txt"), "kept");
    EXPECT_EQ(readBytes(root / L"dst\\sub\\b.txt"), "b");
}

} // namespace
