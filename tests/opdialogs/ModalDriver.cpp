#include "ModalDriver.h"

#include <algorithm>
#include <iterator>
#include <cwchar>

namespace sorvane::test {

namespace {

thread_local ModalDriver* t_driver = nullptr;
constexpr UINT kTickMs = 30;

bool isDialogBox(HWND window)
{
    wchar_t name[16] = {};
    return ::GetClassNameW(window, name, 16) > 0 && std::wcscmp(name, L"#32770") == 0;
}

BOOL CALLBACK collect(HWND window, LPARAM list)
{
    if (isDialogBox(window) && ::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> threadDialogs()
{
    std::vector<HWND> dialogs;
    ::EnumThreadWindows(::GetCurrentThreadId(), collect, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

bool pumpMessages(DWORD ms, const std::function<bool()>& done)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done && done()) return true;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (done && done()) return true;
        if (::GetTickCount() - start >= ms) return !done;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

ModalDriver::ModalDriver(DWORD limitMs) : limit_(limitMs)
{
    for (HWND window : threadDialogs()) known_.insert(window);
    t_driver = this;
    timer_ = ::SetTimer(nullptr, 0, kTickMs, tick);
}

ModalDriver::~ModalDriver()
{
    if (timer_) ::KillTimer(nullptr, timer_);
    if (t_driver == this) t_driver = nullptr;
}

void ModalDriver::onNextDialog(Script script) { scripts_.push_back(std::move(script)); }

void CALLBACK ModalDriver::tick(HWND, UINT, UINT_PTR, DWORD) noexcept
{
    if (!t_driver) return;
    try {
        t_driver->check();
    } catch (...) {
    }
}

void ModalDriver::check()
{
    // The safety net: a dialog left open too long is cancelled, then ended.
    const DWORD now = ::GetTickCount();
    for (Seen& seen : open_) {
        if (!::IsWindow(seen.window) || now - seen.since < limit_) continue;
        timedOut_ = true;
        if (!seen.cancelled) {
            seen.cancelled = true;
            ::PostMessageW(seen.window, WM_COMMAND, IDCANCEL, 0);
        } else if (now - seen.since >= limit_ + 2000) {
            ::EndDialog(seen.window, 0);
        }
    }
    open_.erase(std::remove_if(open_.begin(), open_.end(), [](const Seen& s) { return !::IsWindow(s.window); }),
                open_.end());

    // Handles of windows that are gone may come back for new ones.
    for (auto it = known_.begin(); it != known_.end();) it = ::IsWindow(*it) ? std::next(it) : known_.erase(it);

    if (checking_ && scripts_.empty()) return;
    for (HWND window : threadDialogs()) {
        if (!known_.insert(window).second) continue;
        open_.push_back({window, now, false});
        if (scripts_.empty()) continue;
        Script script = std::move(scripts_.front());
        scripts_.pop_front();
        ++scriptsRun_;
        const bool wasChecking = checking_;
        checking_ = true;
        script(window);
        checking_ = wasChecking;
        return; // the window list may have changed meanwhile
    }
}

} // namespace sorvane::test
