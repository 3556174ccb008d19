// Whole runs on the worker thread under a real progress dialog: the files
// on disk, the report's tables and rows, the disk-space question, and the
// job's start rules.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/Shell.h"
#include "base/UserMessage.h"
#include "run/DlgProgress.h"
#include "run/OperationJob.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

int g_answer = IDYES;
int g_questions = 0;
std::vector<std::wstring> g_messages;
int answerQuestion(HWND, const std::wstring& text, const std::wstring&, UINT flags)
{
    if (flags & MB_YESNO) ++g_questions;
    g_messages.push_back(text);
    return g_answer;
}
bool failingFreeSpace(const wchar_t*, uint64_t*) { throw std::runtime_error("the query broke down"); }
bool noFreeSpace(const wchar_t*, uint64_t* freeBytes)
{
    *freeBytes = 0;
    return true;
}
bool ignoreOpen(HWND, const wchar_t*) { return true; }

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class WorkerRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_answer = IDYES;
        g_questions = 0;
        g_messages.clear();
        previousMessage = setMessageHook(answerQuestion);
        previousOpen = setOpenDocumentHook(ignoreOpen);
        owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr) << "needs a display";
        ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((src + L"\\sub").c_str(), nullptr));
        ASSERT_TRUE(test::writeBytes(src + L"\\a.txt", "alpha"));
        ASSERT_TRUE(test::writeBytes(src + L"\\b.doc", "bravo"));
        ASSERT_TRUE(test::writeBytes(src + L"\\sub\\c.txt", "charlie"));
        settings.operation = kOperationCopy;
        settings.setSources((src + L"\\;a.txt;b.doc;sub;").c_str());
        settings.setTarget(out.c_str());
        settings.setPatterns(L"*.txt");
    }
    void TearDown() override
    {
        setFreeSpaceQuery(nullptr);
        setMessageHook(previousMessage);
        setOpenDocumentHook(previousOpen);
        ::DestroyWindow(owner);
    }

    // Starts the job, waits for its end, closes the dialog.
    void run()
    {
        job = std::make_unique<OperationJob>(settings, report);
        ASSERT_NE(StartOperation(*job, owner), nullptr);
        const DWORD start = ::GetTickCount();
        while (::WaitForSingleObject(job->workerThread, 0) == WAIT_TIMEOUT && ::GetTickCount() - start < 60000) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
            ::Sleep(10);
        }
        ASSERT_EQ(::WaitForSingleObject(job->workerThread, 0), WAIT_OBJECT_0) << "the worker ended";
        ASSERT_NE(job->ownedDialog, nullptr);
        EXPECT_EQ(job->ownedDialog->phase(), CDlgProgress::kFinished);
        ReleaseProgressDialog(*job);
        EXPECT_EQ(job->ownedReport, nullptr);
        text = test::readBytes(report);
    }

    test::TempFolder root;
    std::wstring src = root / L"src";
    std::wstring out = root / L"out";
    std::wstring report = root / L"log\\SorvaneLog3.htm";
    FILE_TREE_SETTING settings;
    std::unique_ptr<OperationJob> job;
    std::string text;
    HWND owner = nullptr;
    MessageHook previousMessage = nullptr;
    OpenDocumentHook previousOpen = nullptr;
};

TEST_F(WorkerRun, CopyRunsBothPassesAndWritesTheReport)
{
    run();
    EXPECT_EQ(test::readBytes(out + L"\\a.txt"), "alpha");
    EXPECT_EQ(test::readBytes(out + L"\\sub\\c.txt"), "charlie");
    EXPECT_FALSE(test::exists(out + L"\\b.doc"));
    EXPECT_EQ(job->totalFiles, 2u);
    EXPECT_EQ(job->completedFiles, 2u);
    EXPECT_EQ(job->totalBytes, 12u);
    EXPECT_EQ(job->doneBytes, 12u);
    EXPECT_STREQ(job->patterns, L"*.TXT") << "the job's own copy is upper-cased";

    EXPECT_EQ(text.rfind("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n", 0), 0u);
    EXPECT_NE(text.find("<title>Sorvane Log File</title>"), std::string::npos);
    EXPECT_EQ(count(text, "<table border=\"1\">"), 3u) << "settings, items, totals";
    EXPECT_EQ(count(text, "</td><td>Success</td></tr>"), 2u);
    EXPECT_NE(text.find("<td><font color=\"#008000\">Total Files</font></td>\r\n<td><font color=\"#008000\">2</font>"),
              std::string::npos);
    EXPECT_NE(text.find("<td><font color=\"#FF0000\">Failed Files</font></td>\r\n<td><font color=\"#FF0000\">0</font>"),
              std::string::npos);
    EXPECT_EQ(text.find("Failed Folders"), std::string::npos) << "only when folders failed";
    EXPECT_EQ(text.find("Verified Files"), std::string::npos) << "only when copies are verified";
    EXPECT_NE(text.find("<tr><td>Verify copies</td><td>No</td></tr>"), std::string::npos);
    EXPECT_EQ(text.find("Action has been canceled."), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 18), "</body>\r\n</html>\r\n");
}

TEST_F(WorkerRun, VerifiedCopiesCountTheirReadBackAndSaySoInTheReport)
{
    settings.verifyCopies = 1;
    run();
    EXPECT_EQ(test::readBytes(out + L"\\a.txt"), "alpha");
    EXPECT_EQ(test::readBytes(out + L"\\sub\\c.txt"), "charlie");
    EXPECT_EQ(job->totalBytes, 24u) << "each byte written and read back";
    EXPECT_EQ(job->doneBytes, 24u) << "the bar ends full";
    EXPECT_EQ(job->verifiedFiles, 2u);
    EXPECT_NE(text.find("<tr><td>Verify copies</td><td>Yes</td></tr>"), std::string::npos);
    EXPECT_EQ(count(text, "</td><td>Success (verified)</td></tr>"), 2u);
    EXPECT_EQ(count(text, "</td><td>Success</td></tr>"), 0u);
    const auto total = [](const char* label, const char* value, const char* colour) {
        return std::string("<tr><td><font color=\"") + colour + "\">" + label + "</font></td>\r\n<td><font color=\"" +
               colour + "\">" + value + "</font></td>\r\n</tr>\r\n";
    };
    EXPECT_NE(text.find(total("Total Files", "2", "#008000") + total("Completed Files", "2", "#008000") +
                        total("Verified Files", "2", "#008000") + total("Failed Files", "0", "#FF0000")),
              std::string::npos)
        << "one more totals row, after the completed files";

    // A move within one volume renames: the row of totals says none was read back.
    settings.operation = kOperationMove;
    settings.setSources((src + L"\\;b.doc;").c_str());
    settings.setPatterns(L"*.*");
    run();
    EXPECT_EQ(test::readBytes(out + L"\\b.doc"), "bravo");
    EXPECT_EQ(job->verifiedFiles, 0u);
    EXPECT_EQ(job->totalBytes, 5u);
    EXPECT_NE(text.find(total("Verified Files", "0", "#008000")), std::string::npos);
    EXPECT_EQ(count(text, "</td><td>Success</td></tr>"), 1u);
}

TEST_F(WorkerRun, NothingQualifyingSkipsTheExecutingPass)
{
    settings.setPatterns(L"*.none");
    run();
    EXPECT_FALSE(test::exists(out));
    EXPECT_EQ(count(text, "<table border=\"1\">"), 2u) << "settings and totals only";
    EXPECT_NE(text.find("<td><font color=\"#008000\">0</font>"), std::string::npos);
}

TEST_F(WorkerRun, MissingItemIsOneFailedFile)
{
    settings.setSources((src + L"\\;gone.txt;a.txt;").c_str());
    run();
    EXPECT_EQ(job->failedFiles, 1u);
    EXPECT_EQ(job->completedFiles, 1u);
    EXPECT_NE(text.find("gone.txt</font></td>\r\n<td><font color=\"#FF0000\">Not Exist</font>"), std::string::npos);
}

TEST_F(WorkerRun, NoToTheDiskSpaceQuestionCancels)
{
    setFreeSpaceQuery(noFreeSpace);
    g_answer = IDNO;
    run();
    EXPECT_EQ(g_questions, 1);
    EXPECT_EQ(job->cancel, 1u);
    EXPECT_FALSE(test::exists(out + L"\\a.txt"));
    EXPECT_EQ(count(text, "<table border=\"1\">"), 2u);
    EXPECT_NE(text.find("<p><font color=\"#FF0000\">Action has been canceled.</font></p>"), std::string::npos);
}

TEST_F(WorkerRun, YesToTheDiskSpaceQuestionGoesOn)
{
    setFreeSpaceQuery(noFreeSpace);
    g_answer = IDYES;
    run();
    EXPECT_EQ(g_questions, 1);
    EXPECT_EQ(test::readBytes(out + L"\\a.txt"), "alpha");
}

TEST_F(WorkerRun, DeleteIsNeverAskedAboutSpace)
{
    setFreeSpaceQuery(noFreeSpace);
    settings.operation = kOperationDelete;
    settings.setSources((src + L"\\;a.txt;").c_str());
    run();
    EXPECT_EQ(g_questions, 0);
    EXPECT_FALSE(test::exists(src + L"\\a.txt"));
    EXPECT_TRUE(test::exists(src + L"\\b.doc"));
}

TEST_F(WorkerRun, ATargetThatOverlapsTheSelectionIsRefusedBeforeAnythingRuns)
{
    // As a command line's target may come: the folder of the selection.
    settings.operation = kOperationMove;
    settings.setTarget(src.c_str());
    run();
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], L"The target folder is the folder that holds the selection. Choose another target.");
    EXPECT_NE(text.find("<p><font color=\"#FF0000\">The target folder is the folder that holds the selection."),
              std::string::npos)
        << text;
    EXPECT_EQ(test::readBytes(src + L"\\a.txt"), "alpha");
    EXPECT_EQ(test::readBytes(src + L"\\sub\\c.txt"), "charlie");
    EXPECT_EQ(job->totalFiles, 0u);
    EXPECT_NE(text.find("Action has been canceled."), std::string::npos);
    EXPECT_NE(text.find("</html>"), std::string::npos);
}

TEST_F(WorkerRun, ARelativeTargetIsTakenFromTheFolderOfTheSelection)
{
    settings.setTarget(L"..\\out");
    run();
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(test::readBytes(out + L"\\a.txt"), "alpha");
}

// A run of twenty thousand files: the report, written through its buffer,
// has one row for each and the right totals, and it is complete on disk at
// the moment the dialog shows the run as finished.
TEST_F(WorkerRun, TwentyThousandFilesMakeTwentyThousandRowsAndTheRightTotals)
{
    constexpr int kFolders = 100;
    constexpr int kPerFolder = 200;
    const std::wstring big = src + L"\\big";
    ASSERT_TRUE(::CreateDirectoryW(big.c_str(), nullptr));
    for (int f = 0; f < kFolders; ++f) {
        const std::wstring folder = big + L"\\d" + std::to_wstring(f);
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        for (int i = 0; i < kPerFolder; ++i) {
            ASSERT_TRUE(test::writeBytes(folder + L"\\f" + std::to_wstring(i) + L".txt", "0123456789"));
        }
        ASSERT_TRUE(test::writeBytes(folder + L"\\skip.doc", "not chosen"));
    }
    settings.setSources((src + L"\\;big;").c_str());

    job = std::make_unique<OperationJob>(settings, report);
    ASSERT_NE(StartOperation(*job, owner), nullptr);
    std::string atFinish;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 240000) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        if (atFinish.empty() && job->ownedDialog && job->ownedDialog->phase() == CDlgProgress::kFinished) {
            atFinish = test::readBytes(report);
        }
        if (!atFinish.empty() && ::WaitForSingleObject(job->workerThread, 0) == WAIT_OBJECT_0) break;
        ::Sleep(10);
    }
    ASSERT_EQ(::WaitForSingleObject(job->workerThread, 0), WAIT_OBJECT_0) << "the worker ended";
    ReleaseProgressDialog(*job);
    ASSERT_FALSE(atFinish.empty()) << "the dialog reached its end";
    EXPECT_EQ(atFinish.substr(atFinish.size() - 18), "</body>\r\n</html>\r\n") << "complete when shown finished";
    EXPECT_EQ(atFinish, test::readBytes(report));

    constexpr uint32_t kFiles = kFolders * kPerFolder;
    EXPECT_EQ(job->totalFiles, kFiles);
    EXPECT_EQ(job->completedFiles, kFiles);
    EXPECT_EQ(job->failedFiles, 0u);
    EXPECT_EQ(count(atFinish, "</td><td>Success</td></tr>\r\n"), static_cast<size_t>(kFiles)) << "one row per file";
    const std::string total = std::to_string(kFiles);
    EXPECT_NE(atFinish.find("<td><font color=\"#008000\">Total Files</font></td>\r\n<td><font color=\"#008000\">" +
                            total + "</font>"),
              std::string::npos);
    EXPECT_NE(atFinish.find("<td><font color=\"#008000\">Completed Files</font></td>\r\n<td><font color=\"#008000\">" +
                            total + "</font>"),
              std::string::npos);
    // Every file has its own row, whole: none lost, none twice, none torn.
    for (int f = 0; f < kFolders; f += 33) {
        for (int i = 0; i < kPerFolder; i += 41) {
            const std::string row = "\\big\\d" + std::to_string(f) + "\\f" + std::to_string(i) + ".txt</td><td>Success</td></tr>";
            EXPECT_EQ(count(atFinish, row), 1u) << row;
        }
    }
    EXPECT_EQ(test::readBytes(out + L"\\big\\d99\\f199.txt"), "0123456789");
    EXPECT_FALSE(test::exists(out + L"\\big\\d0\\skip.doc"));
}

TEST_F(WorkerRun, AnExceptionOnTheWorkerStillEndsTheReportAndTheDialog)
{
    setFreeSpaceQuery(failingFreeSpace);
    run();
    EXPECT_NE(text.find("The run stopped because of an unexpected error."), std::string::npos) << text;
    EXPECT_NE(text.find("Total Files"), std::string::npos) << "the totals are still written";
    EXPECT_NE(text.find("</html>"), std::string::npos) << "and the report is closed";
    EXPECT_EQ(count(text, "<table border=\"1\">"), count(text, "</table>"));
    EXPECT_FALSE(test::exists(out + L"\\a.txt")) << "nothing ran after the fault";
    EXPECT_EQ(job->operation & kCountingPassFlag, 0u);
}

TEST(WorkerStart, RefusesCompressAndStartedJobs)
{
    FILE_TREE_SETTING settings;
    settings.operation = kOperationCompress;
    OperationJob compress(settings, L"");
    EXPECT_EQ(StartOperation(compress, nullptr), nullptr);
    EXPECT_EQ(compress.ownedDialog, nullptr);
    settings.operation = kOperationCopy;
    OperationJob started(settings, L"");
    started.jobState = OperationJob::kStarted;
    EXPECT_EQ(StartOperation(started, nullptr), nullptr);
    EXPECT_STREQ(started.target, L"") << "an empty target never becomes a root";
}

} // namespace
