// The modeless progress dialog of a copy, move or delete run: phase,
// animation, counters, bar and remaining time; Cancel, the closing
// countdown and the report; at the end of a delete that was denied files,
// "Retry as administrator".
//
// The worker never waits for the dialog. What the engine reports from the
// worker thread is only recorded: the counters are the run's own atomics,
// the folder and file texts are kept under a small lock. The dialog shows
// what the run has reached on a timer of its own, ten times a second, and
// at each phase change (which the worker hands to the dialog's thread and
// waits for), so that the values of a phase are always shown as they stood
// at its end and the final values as the run left them.
#pragma once

#include "common/ui/DialogImpl.h"
#include "engine/EngineSinks.h"
#include "res/SorvaneRes.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace sorvane {

struct OperationJob;

// Messages between the parts of a run (all WM_USER with fixed pairs).
constexpr WPARAM kDialogClosedNotice = 0xAAAA5555;
constexpr WPARAM kCountdownRequest = 0x12345678;
constexpr LPARAM kCountdownRequestParam = 0x87654321;

class CDlgProgress : public ui::CDialogImpl<CDlgProgress, ui::CWindow>, public IProgressSink {
public:
    enum { IDD = IDD_PROGRESS };
    enum Phase : uint32_t { kScanning = 0, kRunning = 1, kFinished = 2 };

    explicit CDlgProgress(OperationJob& job);
    ~CDlgProgress() override;

    // How often the dialog shows what the run has reached (milliseconds).
    static constexpr UINT kRefreshInterval = 100;

    // Called from the worker thread. SetPhase runs on the dialog's thread
    // and returns when the new phase is shown; the others never wait.
    void SetPhase(uint32_t phase);
    void SetFolderText(const wchar_t* text) override;
    void SetFileText(const wchar_t* text) override;
    // The file field from string `id`, formatted with one number.
    void SetFileText(UINT id, int number);
    void StopAnimation();

    // On the dialog's thread: shows the counters, bar, times and texts as
    // the run has reached them, by the rules of the current phase.
    void Refresh();

    uint32_t phase() const noexcept { return phase_; }
    bool reportViewed() const noexcept { return reportViewed_ != 0; }
    HWND animation() const noexcept { return animation_; }

protected:
    BOOL OnInitDialog(HWND focus, LPARAM initParam) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnTimer(UINT_PTR timer) override;
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void applyLayout(uint32_t phase);
    void changePhase(uint32_t phase);
    void showScanning();
    void showRunning();
    void showFinished();
    void showTexts();
    void playAnimation(UINT resourceId);
    void setValue(int id, const wchar_t* text);
    void setNumber(int id, uint32_t value);
    void updateRemainingTime();
    void startCountdown(int seconds);
    void countdownTick();
    void openReport();
    void offerElevatedRetry();

    HWND animation_ = nullptr;
    OperationJob* job_;
    HWND folderField_ = nullptr;
    HWND fileField_ = nullptr;
    HWND progressBar_ = nullptr;
    uint32_t phase_ = kScanning;
    int32_t lastBarPosition_ = 0;
    uint32_t lastFailedCount_ = 0;
    uint32_t lastSizeKey_ = 0;
    uint32_t lastRemainingSeconds_ = 0xFFFFFFFF;
    uint32_t runningAnimation_ = 0;
    int32_t countdown_ = 0;
    uint32_t reportViewed_ = 0;

    // The texts the engine gave last, each with a number that grows with
    // every change, under `textLock_`; the numbers last shown.
    std::mutex textLock_;
    std::wstring folderText_;
    std::wstring fileText_;
    uint64_t folderChange_ = 0;
    uint64_t fileChange_ = 0;
    uint64_t folderShown_ = 0;
    uint64_t fileShown_ = 0;
    // Values last written, so that an unchanged field is not rewritten.
    uint32_t lastCompletedCount_ = 0xFFFFFFFF;
    uint32_t lastScannedCount_ = 0xFFFFFFFF;
    uint32_t lastTotalCount_ = 0xFFFFFFFF;
    uint32_t lastTotalSizeKey_ = 0xFFFFFFFF;
};

} // namespace sorvane
