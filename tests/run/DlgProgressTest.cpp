// The progress dialog on a real window: the controls of each phase, the
// counters, Cancel and the countdowns, the report opened by itself, and the
// notice to the owner when it closes.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "base/Shell.h"
#include "base/Strings.h"
#include "run/DlgProgress.h"
#include "run/OperationJob.h"

#include <commctrl.h>

#include <memory>
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
    EXPECT_NE(::GetDlgItem(dialog->m_hWnd, 3114), nullptr) << "the progress bar over its placeholder";
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog->m_hWnd, 3114), PBM_GETRANGE, FALSE, 0), 32767);
    EXPECT_FALSE(visible(3110));
    EXPECT_FALSE(visible(3113));
}

TEST_F(ProgressDialogWindow, PhasesShowTheirControls)
{
    dialog->SetPhase(CDlgProgress::kScanning);
    EXPECT_TRUE(visible(2));
    EXPECT_TRUE(visible(3112));
    for (int id : {1, 3, 2219, 3114, 2209, 2220, 2210, 2222, 2213, 2223, 2215}) EXPECT_FALSE(visible(id)) << id;
    EXPECT_EQ(text(2052), L"C:\\src\\;a;");

    job->scannedFiles = 12;
    job->totalFiles = 3;
    job->totalBytes = 1536;
    dialog->UpdateCounters(false);
    EXPECT_EQ(text(2053), L"12 ...Scanning Files...");
    EXPECT_EQ(text(2208), L"3");
    EXPECT_EQ(text(2211), L"1.50 K Bytes");

    dialog->SetPhase(CDlgProgress::kRunning);
    for (int id : {2, 3112, 2219, 3114, 2209, 2220, 2210, 2222, 2213, 2223, 2215}) EXPECT_TRUE(visible(id)) << id;
    EXPECT_FALSE(visible(1));
    job->completedFiles = 1;
    job->failedFiles = 1;
    job->doneBytes = 768;
    dialog->UpdateCounters(false);
    EXPECT_EQ(text(2209), L"1");
    EXPECT_EQ(text(2210), L"1");
    EXPECT_EQ(text(2213), L"768 Bytes");
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog->m_hWnd, 3114), PBM_GETPOS, 0, 0), 16383);
    EXPECT_FALSE(text(2215).empty()) << "a first remaining-time estimate is always shown";
    // During a copy only bytes move: the file counts are left alone.
    job->completedFiles = 2;
    job->doneBytes = 1536;
    dialog->UpdateCounters(true);
    EXPECT_EQ(text(2209), L"1");
    EXPECT_EQ(text(2213), L"1.50 K Bytes");

    dialog->SetPhase(CDlgProgress::kFinished);
    EXPECT_TRUE(visible(1));
    EXPECT_TRUE(visible(3));
    EXPECT_FALSE(visible(2));
    EXPECT_EQ(dialog->animation(), nullptr);
    EXPECT_EQ(text(2053), L"Completed.");
    EXPECT_EQ(text(2209), L"2");
    EXPECT_EQ(text(2215), L"0");
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog->m_hWnd, 3114), PBM_GETPOS, 0, 0), 32767);
    pump(300, [&] { return text(1) != L"Completed"; });
    EXPECT_EQ(text(1), L"Complete[9]") << "the finished run starts its ten-second countdown";
}

TEST_F(ProgressDialogWindow, CancelCountsDownFromFourThenClosesAndTellsTheOwner)
{
    dialog->SetPhase(CDlgProgress::kScanning);
    ::SendMessageW(dialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(job->cancel, 1u);
    EXPECT_EQ(text(1), L"Close[4]");
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
    ::SendMessageW(dialog->m_hWnd, WM_COMMAND, 3, 0);
    EXPECT_TRUE(dialog->reportViewed());
    ::SendMessageW(dialog->m_hWnd, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(closed());
    EXPECT_EQ(opened().size(), 1u);
}

TEST_F(ProgressDialogWindow, CancelledRunFinishesWithItsMessage)
{
    job->cancel = 1;
    dialog->SetPhase(CDlgProgress::kFinished);
    EXPECT_EQ(text(2053), L"Action has been canceled.");
    pump(300, [] { return false; });
    EXPECT_EQ(text(1), L"Completed") << "no countdown request after a cancel";
}

TEST(ProgressDialogJob, DiskSpaceQueryPath)
{
    EXPECT_EQ(diskSpaceQueryPath(L"\\\\?\\C:\\out\\x\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(diskSpaceQueryPath(L"\\\\?\\UNC\\srv\\share\\x\\"), L"\\\\?\\UNC\\");
    EXPECT_EQ(diskSpaceQueryPath(L"relative\\"), L"relative\\");
    EXPECT_EQ(diskSpaceQueryPath(L"C:\\x"), L"C:\\x");
}

} // namespace
