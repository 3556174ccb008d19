// A delete runs in the user's own account. The files it was denied
// ("access denied") are noted while their rows go to the report, and the
// progress dialog's end offers to delete exactly those files once more in
// a run as administrator: the program started with the verb "runas" and
// the list of RetryList.h. That run walks the listed files alone.
#pragma once

#include "engine/EngineSinks.h"
#include "run/RetryList.h"

#include <mutex>
#include <string>
#include <vector>

namespace sorvane {

class FILE_TREE_SETTING;

// Passes every row on to the report and keeps the full paths of the files
// whose rows say "Failed" for ERROR_ACCESS_DENIED. Written by the worker,
// read by the dialog.
class DeniedFilesLog final : public ILogSink {
public:
    DeniedFilesLog() = default;
    DeniedFilesLog(const DeniedFilesLog&) = delete;
    DeniedFilesLog& operator=(const DeniedFilesLog&) = delete;

    void attach(ILogSink* report) noexcept { report_ = report; }
    bool any() const;
    std::vector<std::wstring> files() const;

    void WriteOutcome(const wchar_t* path, const Outcome& outcome) override;

private:
    void note(const wchar_t* path, const Outcome& outcome) noexcept;

    ILogSink* report_ = nullptr;
    mutable std::mutex lock_;
    std::vector<std::wstring> files_;
};

// Writes the list and starts this program with "runas" on it. True when it
// started; otherwise the list file is removed and, unless the user declined
// the system's prompt, told so through the message path.
bool startElevatedRetry(HWND owner, const RetryList& list) noexcept;

// The walk of a run as administrator: each listed file on its own, with
// the settings' Recycle Bin and protection and no filter. A listed path
// that is a folder now is refused with its row (only files are listed);
// one that is gone gets "Not Exist"; a link is removed as a selected link
// is. Leaves `sources` as it found it.
void processRetryPaths(FILE_TREE_SETTING& settings, const std::vector<std::wstring>& paths);

} // namespace sorvane
