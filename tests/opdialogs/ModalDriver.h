// Driving modal dialogs from a test: scripts run on the dialog boxes this
// thread opens, from inside their own message loops (a thread timer finds
// each new dialog box). A dialog left open by its script is cancelled after
// a time limit, so that no test hangs on a window.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace sorvane::test {

class ModalDriver {
public:
    using Script = std::function<void(HWND dialog)>;

    explicit ModalDriver(DWORD limitMs = 20000);
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    // The next dialog box this thread shows runs `script` once it is
    // visible (dialogs opened by a script get the scripts queued after it).
    void onNextDialog(Script script);
    int scriptsRun() const { return scriptsRun_; }
    // True when the time limit had to close a dialog box.
    bool timedOut() const { return timedOut_; }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) noexcept;
    void check();

    UINT_PTR timer_ = 0;
    DWORD limit_;
    std::deque<Script> scripts_;
    std::set<HWND> known_;
    struct Seen {
        HWND window;
        DWORD since;
        bool cancelled;
    };
    std::vector<Seen> open_;
    int scriptsRun_ = 0;
    bool timedOut_ = false;
    bool checking_ = false;
};

// Dispatches this thread's messages for up to `ms`, or until `done` holds.
// True when `done` held (always true without `done` once the time is up).
bool pumpMessages(DWORD ms, const std::function<bool()>& done = {});

// Visible dialog boxes of this thread (class "#32770").
std::vector<HWND> threadDialogs();

} // namespace sorvane::test
