#include "run/DlgProgress.h"

#include "base/AppState.h"
#include "base/Help.h"
#include "base/Shell.h"
#include "base/Strings.h"
#include "engine/FileTimes.h"
#include "engine/PathForms.h"
#include "res/SorvaneRes.h"
#include "run/OperationJob.h"
#include "run/ProgressText.h"

#include <commctrl.h>

#include <cstdlib>

namespace sorvane {

namespace {

enum : int {
    kIdCompleted = IDOK,
    kIdCancel = IDCANCEL,
    kIdViewLog = IDC_VIEW_LOG,
    kIdRetryElevated = IDC_RETRY_ELEVATED, // shown at the end of a delete that was denied files
    kIdFolderField = IDC_PROGRESS_FOLDER,
    kIdFileField = IDC_PROGRESS_FILE,
    kIdTotalFiles = IDC_PROGRESS_TOTAL_FILES,
    kIdCompletedFiles = IDC_PROGRESS_COMPLETED_FILES,
    kIdFailedFiles = IDC_PROGRESS_FAILED_FILES,
    kIdTotalSize = IDC_PROGRESS_TOTAL_SIZE,
    kIdCompletedSize = IDC_PROGRESS_COMPLETED_SIZE,
    kIdRemainTime = IDC_PROGRESS_REMAIN_TIME,
    kIdCompletedFilesLabel = IDC_PROGRESS_COMPLETED_FILES_LABEL,
    kIdFailedFilesLabel = IDC_PROGRESS_FAILED_FILES_LABEL,
    kIdCompletedSizeLabel = IDC_PROGRESS_COMPLETED_SIZE_LABEL,
    kIdRemainTimeLabel = IDC_PROGRESS_REMAIN_TIME_LABEL,
    kIdAnimationPlaceholder = IDC_ANIMATION_PLACEHOLDER,
    kIdAnimation = IDC_ANIMATION,
    kIdBarPlaceholder = IDC_BAR_PLACEHOLDER,
    kIdBar = IDC_BAR,
};

enum : UINT {
    kIdsCompleted = IDS_COMPLETED,
    kIdsScanning = IDS_SCANNING,
    kIdsCompleteCountdown = IDS_COMPLETE_COUNTDOWN,
    kIdsCloseCountdown = IDS_CLOSE_COUNTDOWN,
    kIdsCanceled = IDS_CANCELED,
    kIdsCaptionFirst = IDS_CAPTION_COPY,
};

constexpr UINT kAnimationScanning = IDR_AVI_SCAN;
constexpr UINT_PTR kCountdownTimer = 1;
constexpr UINT_PTR kRefreshTimer = 2;
constexpr int kBarRange = 32767;
constexpr DWORD kHelpCounting = 133140;
constexpr DWORD kHelpRunning = 133141;
// The worker changes the phase through the dialog's own thread, which owns
// the windows it creates and destroys.
constexpr UINT kMsgSetPhase = WM_APP + 1;

struct Layout {
    const int* hidden;
    size_t hiddenCount;
    const int* shown;
    size_t shownCount;
};

const int kScanningHidden[] = {kIdCompleted, kIdAnimationPlaceholder, kIdBarPlaceholder, kIdCompletedFilesLabel,
                               kIdBar, kIdCompletedFiles, kIdFailedFilesLabel, kIdFailedFiles,
                               kIdCompletedSizeLabel, kIdCompletedSize, kIdRemainTimeLabel, kIdRemainTime,
                               kIdViewLog};
const int kScanningShown[] = {kIdCancel, kIdAnimation};
const int kRunningHidden[] = {kIdCompleted, kIdAnimationPlaceholder, kIdBarPlaceholder};
const int kRunningShown[] = {kIdCancel, kIdAnimation, kIdCompletedFilesLabel, kIdBar, kIdCompletedFiles,
                             kIdFailedFilesLabel, kIdFailedFiles, kIdCompletedSizeLabel, kIdCompletedSize,
                             kIdRemainTimeLabel, kIdRemainTime};
const int kFinishedHidden[] = {kIdCancel, kIdAnimationPlaceholder, kIdBarPlaceholder, kIdAnimation};
const int kFinishedShown[] = {kIdCompleted, kIdViewLog};

const Layout kLayouts[] = {
    {kScanningHidden, std::size(kScanningHidden), kScanningShown, std::size(kScanningShown)},
    {kRunningHidden, std::size(kRunningHidden), kRunningShown, std::size(kRunningShown)},
    {kFinishedHidden, std::size(kFinishedHidden), kFinishedShown, std::size(kFinishedShown)},
};

uint64_t nowAsFileTime()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return fileTimeValue(now);
}

bool isPathBreak(wchar_t c) { return c == L'\\' || c == L' '; }

// Long paths wrap after a backslash or a blank.
int CALLBACK pathWordBreak(LPWSTR text, int current, int length, int code)
{
    switch (code) {
    case WB_ISDELIMITER:
        return current < length && isPathBreak(text[current]);
    case WB_LEFT: {
        int i = current;
        while (i > 0 && !isPathBreak(text[i - 1])) --i;
        return i;
    }
    case WB_RIGHT: {
        int i = current;
        while (i < length && !isPathBreak(text[i])) ++i;
        return i < length ? i + 1 : length;
    }
    default:
        return 0;
    }
}

HWND createOver(HWND dialog, int placeholder, const wchar_t* className, DWORD style, int id)
{
    RECT rect = ui::CWindow(dialog).ChildRect(placeholder);
    HWND control = ::CreateWindowExW(0, className, nullptr, WS_CHILD | style, rect.left, rect.top,
                                     rect.right - rect.left, rect.bottom - rect.top, dialog,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                     nullptr);
    ::ShowWindow(::GetDlgItem(dialog, placeholder), SW_HIDE);
    return control;
}

} // namespace

CDlgProgress::CDlgProgress(OperationJob& job) : job_(&job) {}

CDlgProgress::~CDlgProgress() = default;

BOOL CDlgProgress::OnInitDialog(HWND, LPARAM)
{
    HINSTANCE program = ::GetModuleHandleW(nullptr);
    if (HICON icon = ::LoadIconW(program, MAKEINTRESOURCEW(IDI_SORVANE))) {
        SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    const uint32_t kind = job_->kind();
    SetWindowText(loadString(kIdsCaptionFirst + (kind <= kOperationDelete ? kind : 0)).c_str());
    folderField_ = GetDlgItem(kIdFolderField);
    fileField_ = GetDlgItem(kIdFileField);

    switch (kind) {
    case kOperationMove: runningAnimation_ = IDR_AVI_MOVE; break;
    case kOperationDelete: runningAnimation_ = job_->deleteToRecycleBin() ? IDR_AVI_RECYCLE : IDR_AVI_SHRED; break;
    default: runningAnimation_ = IDR_AVI_COPY; break;
    }

    animation_ = createOver(m_hWnd, kIdAnimationPlaceholder, ANIMATE_CLASSW, ACS_CENTER | ACS_TRANSPARENT,
                            kIdAnimation);
    progressBar_ = createOver(m_hWnd, kIdBarPlaceholder, PROGRESS_CLASSW, 0, kIdBar);
    if (progressBar_) {
        ::SendMessageW(progressBar_, PBM_SETRANGE32, 0, kBarRange);
        ::SendMessageW(progressBar_, PBM_SETSTEP, 1, 0);
    }
    applyLayout(kScanning);
    for (HWND field : {folderField_, fileField_}) {
        if (field) ::SendMessageW(field, EM_SETWORDBREAKPROC, 0, reinterpret_cast<LPARAM>(pathWordBreak));
    }
    // A button of its own on the taskbar and an entry in Alt+Tab: the main
    // window it belongs to is hidden when the run was started from
    // Explorer, and a user who clicked elsewhere must find the run again.
    // Set before the dialog is first shown, so that the shell sees it.
    const LONG_PTR extended = ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, extended | WS_EX_APPWINDOW);
    ::SetTimer(m_hWnd, kRefreshTimer, kRefreshInterval, nullptr);
    return TRUE;
}

void CDlgProgress::applyLayout(uint32_t phase)
{
    const Layout& layout = kLayouts[phase <= kFinished ? phase : kFinished];
    for (size_t i = 0; i < layout.hiddenCount; ++i) {
        if (HWND control = GetDlgItem(layout.hidden[i])) ::ShowWindow(control, SW_HIDE);
    }
    for (size_t i = 0; i < layout.shownCount; ++i) {
        if (HWND control = GetDlgItem(layout.shown[i])) ::ShowWindow(control, SW_SHOW);
    }
}

void CDlgProgress::playAnimation(UINT resourceId)
{
    if (!animation_) return;
    ::SendMessageW(animation_, ACM_OPENW, reinterpret_cast<WPARAM>(::GetModuleHandleW(nullptr)),
                   reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(resourceId)));
    ::SendMessageW(animation_, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
}

void CDlgProgress::StopAnimation()
{
    if (animation_) ::SendMessageW(animation_, ACM_STOP, 0, 0);
}

void CDlgProgress::SetPhase(uint32_t phase)
{
    // Runs the change on the dialog's thread; a closed dialog ignores it.
    HWND window = m_hWnd;
    if (window) ::SendMessageW(window, kMsgSetPhase, phase, 0);
}

void CDlgProgress::setValue(int id, const wchar_t* text)
{
    HWND window = m_hWnd;
    if (window) ::SetDlgItemTextW(window, id, text);
}

void CDlgProgress::setNumber(int id, uint32_t value) { setValue(id, std::to_wstring(value).c_str()); }

void CDlgProgress::SetFolderText(const wchar_t* text)
{
    std::lock_guard<std::mutex> lock(textLock_);
    folderText_.assign(text ? text : L"");
    ++folderChange_;
}

void CDlgProgress::SetFileText(const wchar_t* text)
{
    std::lock_guard<std::mutex> lock(textLock_);
    fileText_.assign(text ? text : L"");
    ++fileChange_;
}

void CDlgProgress::SetFileText(UINT id, int number) { SetFileText(formatNumber(id, number).c_str()); }

void CDlgProgress::Refresh()
{
    if (!m_hWnd) return;
    switch (phase_) {
    case kScanning: showScanning(); break;
    case kRunning: showRunning(); break;
    default: break; // the finished values were shown once, at the change
    }
}

void CDlgProgress::showTexts()
{
    std::wstring folder;
    std::wstring file;
    bool folderChanged = false;
    bool fileChanged = false;
    {
        std::lock_guard<std::mutex> lock(textLock_);
        if (folderChange_ != folderShown_) {
            folder = folderText_;
            folderShown_ = folderChange_;
            folderChanged = true;
        }
        if (phase_ == kRunning && fileChange_ != fileShown_) {
            file = fileText_;
            fileShown_ = fileChange_;
            fileChanged = true;
        }
    }
    if (folderChanged && folderField_) ::SetWindowTextW(folderField_, ordinaryFormOf(folder).c_str());
    if (fileChanged && fileField_) ::SetWindowTextW(fileField_, ordinaryFormOf(file).c_str());
}

void CDlgProgress::showScanning()
{
    showTexts();
    const uint32_t scanned = job_->scannedFiles;
    if (scanned != lastScannedCount_) {
        lastScannedCount_ = scanned;
        if (fileField_) ::SetWindowTextW(fileField_, formatNumber(kIdsScanning, static_cast<int>(scanned)).c_str());
    }
    const uint32_t total = job_->totalFiles;
    if (total != lastTotalCount_) {
        lastTotalCount_ = total;
        setNumber(kIdTotalFiles, total);
    }
    std::wstring size;
    const uint32_t key = FormatSize(static_cast<int64_t>(job_->totalBytes), size);
    if (key != lastTotalSizeKey_) {
        lastTotalSizeKey_ = key;
        setValue(kIdTotalSize, size.c_str());
    }
}

void CDlgProgress::showRunning()
{
    showTexts();
    const int position = barPosition(job_->doneBytes, job_->totalBytes);
    if (position != lastBarPosition_) {
        lastBarPosition_ = position;
        if (progressBar_) ::SendMessageW(progressBar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    const uint32_t failed = job_->failedFiles;
    if (failed != lastFailedCount_) {
        lastFailedCount_ = failed;
        setNumber(kIdFailedFiles, failed);
    }
    const uint32_t completed = job_->completedFiles;
    if (completed != lastCompletedCount_) {
        lastCompletedCount_ = completed;
        setNumber(kIdCompletedFiles, completed);
    }
    std::wstring size;
    const uint32_t key = FormatSize(static_cast<int64_t>(job_->doneBytes), size);
    if (key != lastSizeKey_) {
        lastSizeKey_ = key;
        setValue(kIdCompletedSize, size.c_str());
    }
    updateRemainingTime();
}

void CDlgProgress::showFinished()
{
    std::wstring size;
    lastFailedCount_ = job_->failedFiles;
    setNumber(kIdFailedFiles, lastFailedCount_);
    lastCompletedCount_ = job_->completedFiles;
    setNumber(kIdCompletedFiles, lastCompletedCount_);
    lastSizeKey_ = FormatSize(static_cast<int64_t>(job_->doneBytes), size);
    setValue(kIdCompletedSize, size.c_str());
    if (!job_->cancel) {
        if (progressBar_) ::SendMessageW(progressBar_, PBM_SETPOS, kBarRange, 0);
        if (fileField_) ::SetWindowTextW(fileField_, loadString(kIdsCompleted).c_str());
    } else if (fileField_) {
        ::SetWindowTextW(fileField_, loadString(kIdsCanceled).c_str());
    }
    setValue(kIdRemainTime, L"0");
}

void CDlgProgress::updateRemainingTime()
{
    if (job_->doneBytes == 0) return;
    const uint64_t start = fileTimeValue(job_->startTime);
    const int64_t elapsed = static_cast<int64_t>(nowAsFileTime() - start);
    int64_t remaining = remainingSeconds(elapsed, job_->doneBytes, job_->totalBytes);
    if (remaining < 0) remaining = 0; // an estimate below the time spent means "about done"
    const int64_t threshold = remaining <= 60000 ? 1 : 3;
    if (std::llabs(remaining - static_cast<int64_t>(lastRemainingSeconds_)) < threshold) return;
    lastRemainingSeconds_ = static_cast<uint32_t>(remaining);
    setValue(kIdRemainTime, FormatRemaining(remaining).c_str());
}

void CDlgProgress::changePhase(uint32_t phase)
{
    // What the ending phase reached is shown first: its last values stay
    // on the fields that the next phase keeps ("Total Files", "Total Size").
    Refresh();
    phase_ = phase <= kFinished ? phase : kFinished;
    if (phase_ == kScanning) {
        playAnimation(kAnimationScanning);
        applyLayout(kScanning);
        {
            // The selection stands in the folder field until the engine
            // names a folder.
            std::lock_guard<std::mutex> lock(textLock_);
            folderShown_ = folderChange_;
        }
        if (folderField_) ::SetWindowTextW(folderField_, ordinaryFormOf(job_->sources).c_str());
        lastFailedCount_ = 0;
        setValue(kIdFailedFiles, L"0");
        Refresh();
    } else if (phase_ == kRunning) {
        applyLayout(kRunning);
        playAnimation(runningAnimation_);
        ::GetSystemTimeAsFileTime(&job_->startTime);
        Refresh();
    } else {
        applyLayout(kFinished);
        if (animation_) {
            ::SendMessageW(animation_, ACM_PLAY, 1, MAKELONG(0, 0));
            StopAnimation();
            ::DestroyWindow(animation_);
            animation_ = nullptr;
        }
        showTexts();
        showFinished();
        if (!job_->cancel) {
            ::MessageBeep(MB_OK);
            // Files were denied: the user chooses whether to delete them as
            // administrator, and no countdown closes the dialog meanwhile.
            if (job_->offersElevatedRetry()) offerElevatedRetry();
            else PostMessage(WM_USER, kCountdownRequest, kCountdownRequestParam);
        }
    }
}

bool CDlgProgress::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case kMsgSetPhase:
        changePhase(static_cast<uint32_t>(wParam));
        result = 0;
        return true;
    case WM_USER:
        if (wParam == kCountdownRequest && lParam == kCountdownRequestParam) {
            ::SetForegroundWindow(m_hWnd);
            ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            startCountdown(10);
            result = 0;
            return true;
        }
        return false;
    case WM_CTLCOLORSTATIC:
        if (animation_ && reinterpret_cast<HWND>(lParam) == animation_) {
            ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
            result = reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
            return true;
        }
        return false;
    case WM_HELP:
        showContextHelp(m_hWnd, job_->isCountingPass() ? kHelpCounting : kHelpRunning);
        result = TRUE;
        return true;
    default:
        return false;
    }
}

bool CDlgProgress::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case kIdCancel:
        job_->cancel = 1;
        startCountdown(5);
        return true;
    case kIdCompleted:
        ::KillTimer(m_hWnd, kCountdownTimer);
        DestroyWindow();
        return true;
    case kIdViewLog:
        openReport();
        return true;
    case kIdRetryElevated:
        if (::IsWindowVisible(GetDlgItem(kIdRetryElevated)) && startElevatedRetry(m_hWnd, job_->elevatedRetryList())) {
            // Handed over: the dialog ends as any other.
            SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(kIdCompleted)), TRUE);
            ::ShowWindow(GetDlgItem(kIdRetryElevated), SW_HIDE);
            startCountdown(10);
        }
        return true;
    default:
        return false;
    }
}

void CDlgProgress::offerElevatedRetry()
{
    HWND retry = GetDlgItem(kIdRetryElevated);
    if (!retry) return;
    ::ShowWindow(retry, SW_SHOW);
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(retry), TRUE);
    ::SetForegroundWindow(m_hWnd);
    ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CDlgProgress::openReport()
{
    openDocument(m_hWnd, job_->reportPath.c_str());
    reportViewed_ = 1;
}

void CDlgProgress::startCountdown(int seconds)
{
    countdown_ = seconds;
    ::SetTimer(m_hWnd, kCountdownTimer, 1000, nullptr);
    countdownTick();
}

bool CDlgProgress::OnTimer(UINT_PTR timer)
{
    if (timer == kRefreshTimer) {
        Refresh();
        return true;
    }
    if (timer != kCountdownTimer) return false;
    countdownTick();
    return true;
}

void CDlgProgress::countdownTick()
{
    if (!m_hWnd) return;
    --countdown_;
    if (countdown_ >= 0) {
        const UINT id = job_->cancel ? kIdsCloseCountdown : kIdsCompleteCountdown;
        SetDlgItemText(kIdCompleted, formatNumber(id, countdown_).c_str());
        return;
    }
    ::KillTimer(m_hWnd, kCountdownTimer);
    if (job_->failedFiles != 0 && !reportViewed_) openReport();
    DestroyWindow();
}

void CDlgProgress::OnDestroy()
{
    ::KillTimer(m_hWnd, kCountdownTimer);
    ::KillTimer(m_hWnd, kRefreshTimer);
    if (animation_) {
        StopAnimation();
        ::SendMessageW(animation_, ACM_OPENW, 0, 0); // closes the clip
        ::DestroyWindow(animation_);
        animation_ = nullptr;
    }
    folderField_ = nullptr;
    fileField_ = nullptr;
    progressBar_ = nullptr;
    if (HWND owner = ::GetWindow(m_hWnd, GW_OWNER)) ::PostMessageW(owner, WM_USER, kDialogClosedNotice, 0);
}

void ReleaseProgressDialog(OperationJob& job)
{
    if (CDlgProgress* dialog = job.ownedDialog) {
        if (dialog->m_hWnd && ::IsWindow(dialog->m_hWnd)) ::DestroyWindow(dialog->m_hWnd);
        delete dialog;
    }
    job.ownedDialog = nullptr;
    job.progress = nullptr;
}

} // namespace sorvane
