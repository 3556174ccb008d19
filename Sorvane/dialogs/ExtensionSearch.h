// The background search of the extension browser: walks the source list
// and collects the file extensions it meets.
//
// The thread owns what it uses. The search object is shared between the
// dialog and the thread (a shared pointer each); the thread keeps its own
// copy of the source list and its own set of extensions already reported,
// and hands new extensions over through a queue under a lock. It never
// touches the dialog's records or its list: it posts the dialog a message,
// and the dialog takes the queue on its own thread. When the dialog lets go
// (Release), no message is posted any more; a thread that is still running
// then finishes on its own object and frees it.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/Raii.h"

namespace sorvane {

class ExtensionSearch {
public:
    // What the dialog is told: `updateMessage` (no parameters) when new
    // extensions or a new animation frame wait, and WM_COMMAND with
    // `endCommand` and no sender when the search has ended.
    ExtensionSearch(std::wstring sources, HWND dialog, UINT updateMessage, WORD endCommand);
    ExtensionSearch(const ExtensionSearch&) = delete;
    ExtensionSearch& operator=(const ExtensionSearch&) = delete;

    // Starts the thread, which holds `self` until it ends. An empty handle
    // when no thread could be made.
    static UniqueHandle Start(const std::shared_ptr<ExtensionSearch>& self);

    void RequestStop() noexcept { stop_.store(true); }
    bool StopRequested() const noexcept { return stop_.load(); }
    // Set by the thread just before it reports its end.
    bool Finished() const noexcept { return finished_.load(); }
    // The dialog lets go: nothing more is posted to it.
    void Release() noexcept;

    struct Update {
        std::vector<std::wstring> extensions; // new ones, in the order found
        unsigned frame = 0;                   // 0 ... 3
    };
    Update TakeUpdate();

    // Called by the thread before each folder is listed, and with null when
    // it ends; tests use it to watch or hold up a search. Null for none.
    using Probe = void (*)(const wchar_t* folder);
    static void SetProbe(Probe probe) noexcept;

    static constexpr unsigned kFrames = 4;
    static constexpr DWORD kFrameInterval = 21; // ms between two animation frames

private:
    static DWORD WINAPI ThreadMain(void* parameter) noexcept;
    void Run();
    void SearchFolder(const std::wstring& folder);
    void Register(const wchar_t* fileName);
    void PostUpdate() noexcept;
    void PostEnd() noexcept;

    struct NoCase {
        bool operator()(const std::wstring& a, const std::wstring& b) const noexcept;
    };

    const std::wstring sources_;
    const UINT updateMessage_;
    const WORD endCommand_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};

    // The thread's own: extensions already handed over, and the clock of
    // the animation.
    std::set<std::wstring, NoCase> seen_;
    DWORD lastFrameTick_ = 0;

    std::mutex lock_; // guards what follows
    HWND dialog_;
    std::vector<std::wstring> found_;
    unsigned frame_ = 0;
    bool updatePosted_ = false;
};

} // namespace sorvane
