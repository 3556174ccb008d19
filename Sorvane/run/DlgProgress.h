// The modeless progress dialog of a copy, move or delete run: phase,
// animation, counters, bar and remaining time; Cancel, the closing
// countdown and the report.
#pragma once

#include "../../common/ui/DialogImpl.h"
#include "../engine/EngineSinks.h"

#include <cstdint>
#include <string>

namespace sorvane {

struct OperationJob;

// Messages between the parts of a run (all WM_USER with fixed pairs).
constexpr WPARAM kDialogClosedNotice = 0xAAAA5555;
constexpr WPARAM kCountdownRequest = 0x12345678;
constexpr LPARAM kCountdownRequestParam = 0x87654321;

class CDlgProgress : public ui::CDialogImpl<CDlgProgress, ui::CWindow>, public IProgressSink {
public:
    enum { IDD = 213 };
    enum Phase : uint32_t { kScanning = 0, kRunning = 1, kFinished = 2 };

    explicit CDlgProgress(OperationJob& job);
    ~CDlgProgress() override;

    // Called from the worker thread.
    void SetPhase(uint32_t phase);
    void UpdateCounters(bool duringCopy) override;
    void SetFolderText(const wchar_t* text) override;
    void SetFileText(const wchar_t* text) override;
    // The file field from string `id`, formatted with one number.
    void SetFileText(UINT id, int number);
    void StopAnimation();

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
    void playAnimation(UINT resourceId);
    void setValue(int id, const wchar_t* text);
    void setNumber(int id, uint32_t value);
    void updateRemainingTime();
    void startCountdown(int seconds);
    void countdownTick();
    void openReport();

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
};

} // namespace sorvane
