// The report while a run writes it, seen from another process: a browser
// reads it, no one else writes it, and a process that holds the report's
// mutex stalls a run for the set wait only, which the report then states.
// And the cut of a settings value never splits a surrogate pair.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/AppState.h"
#include "base/Strings.h"
#include "run/LogHtml.h"
#include "run/OperationJob.h"

#include <string>

using namespace sorvane;

namespace {

std::wstring peer() { return test::programFolder() + L"report_peer.exe"; }

TEST(ReportSharing, AnotherProcessReadsTheReportAsABrowserOpensItBeforeTheTotals)
{
    test::TempFolder folder;
    const std::wstring path = folder / L"report.htm";
    CLogHtml report;
    ASSERT_TRUE(report.Open(path.c_str()));
    report.WriteHead(L"Sorvane", L"Sorvane Log File");
    report.BeginTable();
    report.WriteOutcome(L"C:\\data\\first.txt", {kStatusSuccess});
    report.Flush();
    // The sharing rules: a reader must share writing with the run, which
    // writes; the run shares reading only, so a writer is refused.
    const struct {
        const wchar_t* share;
        DWORD expected;
    } readers[] = {
        {L"3", 0},                           // FILE_SHARE_READ | FILE_SHARE_WRITE, as browsers open a page
        {L"7", 0},                           // and with FILE_SHARE_DELETE
        {L"1", ERROR_SHARING_VIOLATION},     // a reader that denies writing cannot open a file being written
    };
    for (const auto& reader : readers) {
        SCOPED_TRACE(testing::Message() << "share mode " << reader.share);
        const std::wstring copy = folder / (std::wstring(L"copy") + reader.share + L".htm");
        test::ChildProcess process;
        ASSERT_TRUE(process.start(peer(), L"read \"" + path + L"\" \"" + copy + L"\" " + reader.share));
        ASSERT_EQ(process.wait(30000), reader.expected);
        if (reader.expected != 0) continue;
        const std::string seen = test::readBytes(copy);
        EXPECT_EQ(seen.rfind("<!DOCTYPE html>\r\n<html>", 0), 0u) << "the doctype first, no byte-order mark";
        const size_t charset = seen.find("<meta charset=\"utf-8\">");
        EXPECT_LT(charset, 1024u) << "declared within the first 1024 bytes";
        EXPECT_NE(seen.find("first.txt</td><td>Success"), std::string::npos) << seen;
    }
    HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "nobody else writes the report";
    if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
}

TEST(ReportSharing, CutsAt255UnitsNeverSplitASurrogatePair)
{
    const std::wstring pair = L"\U0001F600";
    const struct {
        size_t before; // units ahead of the pair
        size_t kept;   // units the cell keeps
    } cases[] = {
        {254, 254}, // the pair would be units 255 and 256: it goes whole
        {253, 255}, // units 254 and 255: it fits whole
        {255, 255}, // starts after the cut
    };
    test::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        const std::wstring value = std::wstring(c.before, L'a') + pair + std::wstring(20, L'z');
        const std::wstring path = folder / (L"cut" + std::to_wstring(c.before) + L".htm");
        {
            CLogHtml report;
            ASSERT_TRUE(report.Open(path.c_str()));
            report.WriteLabelRow(1390, value.c_str());
        }
        const std::string bytes = test::readBytes(path);
        EXPECT_EQ(bytes.find("\xEF\xBF\xBD"), std::string::npos) << "no half pair becomes U+FFFD";
        const size_t start = bytes.find("</td><td>") + 9;
        const std::string cell = bytes.substr(start, bytes.find("</td></tr>") - start);
        const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, cell.data(), static_cast<int>(cell.size()),
                                                nullptr, 0);
        EXPECT_EQ(static_cast<size_t>(units), c.kept);
    }
}

TEST(ReportSharing, AHeldMutexStallsARunForTheSetWaitOnlyAndTheReportSaysSo)
{
    loadString(1100, app().appName, 50);
    test::TempFolder folder;
    ASSERT_TRUE(test::writeBytes(folder / L"a.txt", "a"));
    ASSERT_TRUE(test::writeBytes(folder / L"b.txt", "b"));
    const DWORD previous = CLog::setLockWait(1000);
    // A mutex of this test's own: the runs of other tests beside it keep
    // theirs, and nothing else holds this one.
    static const std::wstring ownName =
        std::wstring(CLog::kMutexName) + L"-test-" + std::to_wstring(::GetCurrentProcessId());
    const wchar_t* previousName = CLog::setMutexName(ownName.c_str());
    const std::wstring mutexName = L"Local\\" + ownName;
    for (const bool held : {true, false}) {
        SCOPED_TRACE(held ? "held" : "free");
        test::ChildProcess holder;
        if (held) {
            ASSERT_TRUE(holder.start(peer(), L"hold " + mutexName + L" 60000"));
            // A program start can take many seconds on a busy machine: the
            // wait is for the holder to be there, not a measure of anything.
            bool taken = false;
            for (int i = 0; i < 1200 && !taken; ++i, ::Sleep(50)) {
                HANDLE mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, mutexName.c_str());
                const DWORD wait = mutex ? ::WaitForSingleObject(mutex, 0) : WAIT_FAILED;
                taken = wait == WAIT_TIMEOUT;
                // Taken here instead (the holder not there yet): given back.
                if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ::ReleaseMutex(mutex);
                if (mutex) ::CloseHandle(mutex);
            }
            ASSERT_TRUE(taken) << "the other process holds the report's mutex";
        }
        FILE_TREE_SETTING settings;
        settings.operation = kOperationCopy;
        settings.setSources((folder.path() + L"\\;a.txt;b.txt;").c_str());
        settings.setTarget((folder / (held ? L"out1" : L"out2")).c_str());
        settings.setPatterns(L"*.*");
        const std::wstring reportPath = folder / (held ? L"held.htm" : L"free.htm");
        OperationJob job(settings, reportPath);
        const DWORD start = ::GetTickCount();
        RunOperation(job);
        const DWORD elapsed = ::GetTickCount() - start;
        EXPECT_EQ(job.completedFiles, 2u);
        const std::string report = test::readBytes(reportPath);
        const bool noted = report.find("held the report's lock for more than 1 seconds") != std::string::npos;
        EXPECT_EQ(noted, held) << report;
        EXPECT_NE(report.find("Completed Files"), std::string::npos) << "the run wrote on to its end";
        if (held) {
            EXPECT_GE(elapsed, 900u) << "it waited";
            EXPECT_LT(elapsed, 4000u) << "once, not at every write";
        }
    }
    CLog::setLockWait(previous);
    CLog::setMutexName(previousName);
}

} // namespace
