// The progress dialog on a real window: the controls of each phase, the
// counters shown by its refresh timer and at each phase change, a worker
// that never waits for it, plain paths, its own taskbar button, Cancel and
// the countdowns, the report opened by itself, and the notice to the owner
// when it closes.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/Shell.h"
#include "base/Strings.h"
#include "run/DlgProgress.h"
#include "run/OperationJob.h"
#include "res/SorvaneRes.h"

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace sorvane;

namespace {

// A hidden owner that records the notices it is posted.
class Owner {
public:
    Owner()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = proc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"SorvaneTestOwner";
        ::RegisterClassW(&windowClass);
        window = ::CreateWindowExW(0, L"SorvaneTestOwner", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                   nullptr, ::GetModuleHandleW(nullptr), nullptr);
        notices().clear();
    }
    ~Owner() { ::DestroyWindow(window); }
    static std::vector<WPARAM>& notices()
    {
        static std::vector<WPARAM> list;
        return list;
    }
    HWND window = nullptr;

private:
    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        if (m == WM_USER) notices().push_back(wp);
        return ::DefWindowProcW(w, m, wp, lp);
    }
};

std::vector<std::wstring>& opened()
{
    static std::vector<std::wstring> list;
    return list;
}
bool recordOpen(HWND, const wchar_t* path)
{
    opened().push_back(path);
    return true;
}

// Pumps messages for `ms` milliseconds, or until `done` holds.
template <typename Done>
void pump(DWORD ms, Done done)
{
    const DWORD start = ::GetTickCount();
    while (!done() && ::GetTickCount() - start < ms) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(10);
    }
}

class ProgressDialogWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        opened().clear();
        previousHook = setOpenDocumentHook(recordOpen);
        settings.operation = kOperationCopy;
        settings.setSources(L"C:\\src\\;a;");
        settings.setTarget(L"D:\\out");
        job = std::make_unique<OperationJob>(settings, L"C:\\report.htm");
        dialog = new CDlgProgress(*job);
        job->ownedDialog = dialog;
        job->progress = dialog;
        ASSERT_NE(dialog->Create(owner.window), nullptr) << "needs a display";
    }
    void TearDown() override
    {
        job.reset();
        setOpenDocumentHook(previousHook);
    }
    bool visible(int id) const { return ::IsWindowVisible(::GetDlgItem(dialog->m_hWnd, id)) != FALSE; }
    std::wstring text(int id) const { return dialog->GetDlgItemText(id); }
    // The text of control `id` once the refresh timer has shown `expected`
    // (or whatever it shows after a second).
    std::wstring shown(int id, const std::wstring& expected)
    {
        pump(1000, [&] { return text(id) == expected; });
        return text(id);
    }
    LRESULT barPosition() const { return ::SendMessageW(::GetDlgItem(dialog->m_hWnd, IDC_BAR), PBM_GETPOS, 0, 0); }
    bool closed() const { return dialog->m_hWnd == nullptr; }

    Owner owner;
    FILE_TREE_SETTING settings;
    std::unique_ptr<OperationJob> job;
    CDlgProgress* dialog = nullptr;
    OpenDocumentHook previousHook = nullptr;
};

TEST_F(ProgressDialogWindow, OpensWithCaptionControlsAndTargetBackslash)
{
    EXPECT_EQ(dialog->GetWindowText(), L"Filtering Copy");
    EXPECT_STREQ(job->target, L"D:\\out\\");
    ASSERT_NE(dialog->animation(), nullptr);
    EXPECT_NE(::GetDlgItem(dialog->m_hWnd, IDC_BAR), nullptr) << "the progress bar over its placeholder";
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog->m_hWnd, IDC_BAR), PBM_GETRANGE, FALSE, 0), 32767);
    EXPECT_FALSE(visible(IDC_ANIMATION_PLACEHOLDER));
    EXPECT_FALSE(visible(IDC_BAR_PLACEHOLDER));
}

TEST_F(ProgressDialogWindow, PhasesShowTheirControls)
{
    dialog->SetPhase(CDlgProgress::kScanning);
    EXPECT_TRUE(visible(IDCANCEL));
    EXPECT_TRUE(visible(IDC_ANIMATION));
    for (int id : {IDOK, IDC_VIEW_LOG, IDC_PROGRESS_COMPLETED_FILES_LABEL, IDC_BAR, IDC_PROGRESS_COMPLETED_FILES,
                   IDC_PROGRESS_FAILED_FILES_LABEL, IDC_PROGRESS_FAILED_FILES, IDC_PROGRESS_COMPLETED_SIZE_LABEL,
                   IDC_PROGRESS_COMPLETED_SIZE, IDC_PROGRESS_REMAIN_TIME_LABEL, IDC_PROGRESS_REMAIN_TIME}) {
        EXPECT_FALSE(visible(id)) << id;
    }
    EXPECT_EQ(text(IDC_PROGRESS_FOLDER), L"C:\\src\\;a;");

    job->scannedFiles = 12;
    job->totalFiles = 3;
    job->totalBytes = 1536;
    EXPECT_EQ(shown(IDC_PROGRESS_FILE, L"12 ...Scanning Files..."), L"12 ...Scanning Files...");
    EXPECT_EQ(shown(IDC_PROGRESS_TOTAL_FILES, L"3"), L"3");
    EXPECT_EQ(shown(IDC_PROGRESS_TOTAL_SIZE, L"1.50 K Bytes"), L"1.50 K Bytes");

    dialog->SetPhase(CDlgProgress::kRunning);
    for (int id : {IDCANCEL, IDC_ANIMATION, IDC_PROGRESS_COMPLETED_FILES_LABEL, IDC_BAR, IDC_PROGRESS_COMPLETED_FILES,
                   IDC_PROGRESS_FAILED_FILES_LABEL, IDC_PROGRESS_FAILED_FILES, IDC_PROGRESS_COMPLETED_SIZE_LABEL,
                   IDC_PROGRESS_COMPLETED_SIZE, IDC_PROGRESS_REMAIN_TIME_LABEL, IDC_PROGRESS_REMAIN_TIME}) {
        EXPECT_TRUE(visible(id)) << id;
    }
    EXPECT_FALSE(visible(IDOK));
    job->completedFiles = 1;
    job->failedFiles = 1;
    job->doneBytes = 768;
    dialog->SetFileText(L"a.txt");
    EXPECT_EQ(shown(IDC_PROGRESS_COMPLETED_FILES, L"1"), L"1");
    EXPECT_EQ(shown(IDC_PROGRESS_FAILED_FILES, L"1"), L"1");
    EXPECT_EQ(shown(IDC_PROGRESS_COMPLETED_SIZE, L"768 Bytes"), L"768 Bytes");
    EXPECT_EQ(shown(IDC_PROGRESS_FILE, L"a.txt"), L"a.txt");
    pump(1000, [&] { return barPosition() == 16383; });
    EXPECT_EQ(barPosition(), 16383);
    EXPECT_FALSE(text(IDC_PROGRESS_REMAIN_TIME).empty()) << "a first remaining-time estimate is always shown";
    // The display follows the run as it goes.
    job->completedFiles = 2;
    job->doneBytes = 1536;
    EXPECT_EQ(shown(IDC_PROGRESS_COMPLETED_FILES, L"2"), L"2");
    EXPECT_EQ(shown(IDC_PROGRESS_COMPLETED_SIZE, L"1.50 K Bytes"), L"1.50 K Bytes");

    dialog->SetPhase(CDlgProgress::kFinished);
    EXPECT_TRUE(visible(IDOK));
    EXPECT_TRUE(visible(IDC_VIEW_LOG));
    EXPECT_FALSE(visible(IDCANCEL));
    EXPECT_EQ(dialog->animation(), nullptr);
    EXPECT_EQ(text(IDC_PROGRESS_FILE), L"Completed.");
    EXPECT_EQ(text(IDC_PROGRESS_COMPLETED_FILES), L"2");
    EXPECT_EQ(text(IDC_PROGRESS_REMAIN_TIME), L"0");
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog->m_hWnd, IDC_BAR), PBM_GETPOS, 0, 0), 32767);
    pump(300, [&] { return text(IDOK) != L"Completed"; });
    EXPECT_EQ(text(IDOK), L"Complete[9]") << "the finished run starts its ten-second countdown";
}

TEST_F(ProgressDialogWindow, CancelCountsDownFromFourThenClosesAndTellsTheOwner)
{
    dialog->SetPhase(CDlgProgress::kScanning);
    ::SendMessageW(dialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(job->cancel, 1u);
    EXPECT_EQ(text(IDOK), L"Close[4]");
    pump(8000, [&] { return closed(); });
    EXPECT_TRUE(closed());
    pump(500, [] { return !Owner::notices().empty(); });
    ASSERT_EQ(Owner::notices().size(), 1u);
    EXPECT_EQ(Owner::notices()[0], kDialogClosedNotice);
    EXPECT_TRUE(opened().empty()) << "no failed file: the report is not opened";
}

TEST_F(ProgressDialogWindow, FailedFilesOpenTheReportUnlessViewed)
{
    job->failedFiles = 2;
    dialog->SetPhase(CDlgProgress::kFinished);
    pump(13000, [&] { return closed(); });
    ASSERT_TRUE(closed());
    ASSERT_EQ(opened().size(), 1u);
    EXPECT_EQ(opened()[0], L"C:\\report.htm");
}

TEST_F(ProgressDialogWindow, ViewedReportIsNotOpenedAgainAndCompletedCloses)
{
    job->failedFiles = 1;
    dialog->SetPhase(CDlgProgress::kFinished);
    ::SendMessageW(dialog->m_hWnd, WM_COMMAND, IDC_VIEW_LOG, 0);
    EXPECT_TRUE(dialog->reportViewed());
    ::SendMessageW(dialog->m_hWnd, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(closed());
    EXPECT_EQ(opened().size(), 1u);
}

TEST_F(ProgressDialogWindow, CancelledRunFinishesWithItsMessage)
{
    job->cancel = 1;
    dialog->SetPhase(CDlgProgress::kFinished);
    EXPECT_EQ(text(IDC_PROGRESS_FILE), L"Action has been canceled.");
    pump(300, [] { return false; });
    EXPECT_EQ(text(IDOK), L"Completed") << "no countdown request after a cancel";
}

TEST_F(ProgressDialogWindow, TheWorkerNeverWaitsForTheDialog)
{
    dialog->SetPhase(CDlgProgress::kScanning);
    dialog->SetPhase(CDlgProgress::kRunning);
    // This thread does not dispatch messages while the "worker" reports:
    // anything that waited for the dialog's thread would never return.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (uint32_t i = 1; i <= 20000; ++i) {
            wchar_t name[32];
            std::swprintf(name, 32, L"file%u.txt", i);
            dialog->SetFolderText(L"\\\\?\\UNC\\server\\share\\out\\");
            dialog->SetFileText(name);
            ++job->completedFiles;
            job->doneBytes += 10;
        }
        done = true;
    });
    const DWORD start = ::GetTickCount();
    while (!done && ::GetTickCount() - start < 10000) ::Sleep(10);
    EXPECT_TRUE(done) << "20,000 files reported without a message dispatched";
    pump(60000, [&] { return done.load(); });
    worker.join();
    // The timer then shows where the run stands, the folder as the user knows it.
    job->totalBytes = 200000;
    EXPECT_EQ(shown(IDC_PROGRESS_FILE, L"file20000.txt"), L"file20000.txt");
    EXPECT_EQ(shown(IDC_PROGRESS_FOLDER, L"\\\\server\\share\\out\\"), L"\\\\server\\share\\out\\");
    EXPECT_EQ(shown(IDC_PROGRESS_COMPLETED_FILES, L"20000"), L"20000");
    EXPECT_EQ(shown(IDC_PROGRESS_COMPLETED_SIZE, L"195.31 K Bytes"), L"195.31 K Bytes");
}

TEST_F(ProgressDialogWindow, EachPhaseChangeShowsWhatThePhaseReached)
{
    // No message is dispatched between the counting and the change: the
    // change itself shows the last totals of the counting pass...
    dialog->SetPhase(CDlgProgress::kScanning);
    job->scannedFiles = 40;
    job->totalFiles = 30;
    job->totalBytes = 2048;
    dialog->SetFolderText(L"\\\\?\\C:\\target\\sub\\");
    dialog->SetPhase(CDlgProgress::kRunning);
    EXPECT_EQ(text(IDC_PROGRESS_TOTAL_FILES), L"30");
    EXPECT_EQ(text(IDC_PROGRESS_TOTAL_SIZE), L"2.00 K Bytes");
    EXPECT_EQ(text(IDC_PROGRESS_FOLDER), L"C:\\target\\sub\\");
    // ...and the end of the run its final values, whatever the timer saw.
    job->completedFiles = 29;
    job->failedFiles = 1;
    job->doneBytes = 2048;
    dialog->SetFileText(L"last.txt");
    dialog->SetPhase(CDlgProgress::kFinished);
    EXPECT_EQ(text(IDC_PROGRESS_COMPLETED_FILES), L"29");
    EXPECT_EQ(text(IDC_PROGRESS_FAILED_FILES), L"1");
    EXPECT_EQ(text(IDC_PROGRESS_COMPLETED_SIZE), L"2.00 K Bytes");
    EXPECT_EQ(text(IDC_PROGRESS_FILE), L"Completed.");
    EXPECT_EQ(text(IDC_PROGRESS_REMAIN_TIME), L"0");
    EXPECT_EQ(barPosition(), 32767);
    pump(400, [] { return false; });
    EXPECT_EQ(text(IDC_PROGRESS_FILE), L"Completed.") << "the timer leaves the finished values alone";
    EXPECT_EQ(text(IDC_PROGRESS_TOTAL_FILES), L"30");
}

TEST_F(ProgressDialogWindow, TheSelectionIsShownAsTheUserKnowsIt)
{
    job->setSources(L"\\\\?\\C:\\src\\;a;");
    dialog->SetPhase(CDlgProgress::kScanning);
    EXPECT_EQ(text(IDC_PROGRESS_FOLDER), L"C:\\src\\;a;");
}

TEST_F(ProgressDialogWindow, HasItsOwnTaskbarButtonWhileItsOwnerIsHidden)
{
    // A run started from Explorer: the main window that owns the dialog is
    // never shown. An owned window has a taskbar button and an Alt+Tab
    // entry only with WS_EX_APPWINDOW.
    EXPECT_FALSE(::IsWindowVisible(owner.window));
    EXPECT_EQ(::GetWindow(dialog->m_hWnd, GW_OWNER), owner.window);
    const LONG_PTR extended = ::GetWindowLongPtrW(dialog->m_hWnd, GWL_EXSTYLE);
    EXPECT_TRUE(extended & WS_EX_APPWINDOW);
    EXPECT_FALSE(extended & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(::IsWindowVisible(dialog->m_hWnd));
}

TEST(ProgressDialogJob, DiskSpaceQueryPath)
{
    EXPECT_EQ(diskSpaceQueryPath(L"\\\\?\\C:\\out\\x\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(diskSpaceQueryPath(L"\\\\?\\UNC\\srv\\share\\x\\"), L"\\\\srv\\share\\");
    EXPECT_EQ(diskSpaceQueryPath(L"\\\\?\\unc\\srv\\share"), L"\\\\srv\\share\\");
    EXPECT_EQ(diskSpaceQueryPath(L"relative\\"), L"relative\\");
    EXPECT_EQ(diskSpaceQueryPath(L"C:\\x"), L"C:\\");
}

} // namespace
