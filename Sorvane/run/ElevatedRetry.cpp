#include "run/ElevatedRetry.h"

#include "base/Strings.h"
#include "base/UserMessage.h"
#include "engine/FileTreeSetting.h"
#include "engine/PathForms.h"
#include "engine/SelectedItem.h"
#include "engine/SourceWalk.h"
#include "res/SorvaneRes.h"

#include <shellapi.h>

#include <cwchar>

namespace sorvane {

namespace {

enum : UINT {
    kIdsRetryNotStarted = IDS_RETRY_NOT_STARTED,
};

void refreshProgress(FILE_TREE_SETTING& settings)
{
    if (settings.progress) settings.progress->UpdateCounters(false);
}

// A listed path that is not processed: one file in the counting pass, one
// failed file with its row in the executing pass.
void refusePath(FILE_TREE_SETTING& settings, const std::wstring& path, ItemStatus status, ItemReason reason,
                DWORD error)
{
    if (settings.isCountingPass()) {
        ++settings.totalFiles;
    } else {
        ++settings.failedFiles;
        if (settings.log) settings.log->WriteOutcome(path.c_str(), {status, reason, error});
    }
    refreshProgress(settings);
}

// Puts `text` into the settings' source buffer; false when it does not fit.
bool setSourceText(FILE_TREE_SETTING& settings, const std::wstring& text)
{
    if (!settings.sources || text.size() + 1 > kRunPathCapacity) return false;
    std::wmemcpy(settings.sources, text.c_str(), text.size() + 1);
    return true;
}

void processRetryPath(FILE_TREE_SETTING& settings, const std::wstring& path)
{
    const std::wstring full = longFormOf(path);
    const size_t slash = full.rfind(L'\\');
    const std::wstring name = slash == std::wstring::npos ? std::wstring() : full.substr(slash + 1);
    switch (readSelectedItemKind(full.c_str())) {
    case SelectedKind::File:
        // The file alone, as a lone selected file: its own listing, its
        // case twins kept from the Recycle Bin.
        if (!setSourceText(settings, full)) {
            refusePath(settings, path, kStatusFailed, kReasonNone, ERROR_FILENAME_EXCED_RANGE);
            return;
        }
        walkFolder(settings, false);
        return;
    case SelectedKind::FileLink:
    case SelectedKind::FolderLink:
        // A link goes as a selected link does: the link itself, never what
        // it leads to. The list form cannot carry a name with ';'.
        if (name.find(L';') != std::wstring::npos || !isItemName(name.c_str(), name.size()) ||
            !setSourceText(settings, full.substr(0, slash + 1) + L";" + name + L";")) {
            refusePath(settings, path, kStatusFailed, kReasonNotAName, 0);
            return;
        }
        processSourceList(settings);
        return;
    case SelectedKind::Folder:
        // Only files failed; a folder of that name now is not what the
        // user chose, and nothing in it is touched.
        refusePath(settings, path, kStatusFailed, kReasonNowAFolder, 0);
        return;
    case SelectedKind::Missing:
        refusePath(settings, path, kStatusNotExist, kReasonNone, 0);
        return;
    }
}

// Writes the list and starts this program with "runas" on it. False when
// it did not start; `declined` when the user said no to the system's prompt.
bool startAsAdministrator(HWND owner, const RetryList& list, bool& declined)
{
    declined = false;
    wchar_t self[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::wstring program(self, length);
    const size_t slash = program.rfind(L'\\');
    if (slash == std::wstring::npos) return false;
    const std::wstring folder = program.substr(0, slash + 1);
    std::wstring file;
    const std::wstring parameters = writeRetryList(list, folder.c_str(), file);
    if (parameters.empty()) return false;
    const HINSTANCE started =
        ::ShellExecuteW(owner, L"runas", program.c_str(), parameters.c_str(), folder.c_str(), SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) > 32) return true;
    declined = ::GetLastError() == ERROR_CANCELLED;
    // No program will read the list: it goes.
    ::DeleteFileW(file.c_str());
    return false;
}

} // namespace

bool DeniedFilesLog::any() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return !files_.empty();
}

std::vector<std::wstring> DeniedFilesLog::files() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return files_;
}

void DeniedFilesLog::note(const wchar_t* path, const Outcome& outcome) noexcept
{
    if (!path || !*path || outcome.status != kStatusFailed || outcome.error != ERROR_ACCESS_DENIED) return;
    try {
        std::wstring shown = ordinaryFormOf(path);
        std::lock_guard<std::mutex> guard(lock_);
        files_.push_back(std::move(shown));
    } catch (...) {
        // Without memory the file is not offered again; its row stands.
    }
}

void DeniedFilesLog::WriteOutcome(const wchar_t* path, const Outcome& outcome)
{
    note(path, outcome);
    if (report_) report_->WriteOutcome(path, outcome);
}

bool startElevatedRetry(HWND owner, const RetryList& list) noexcept
{
    try {
        bool declined = false;
        if (startAsAdministrator(owner, list, declined)) return true;
        // The user said no to the system's prompt: nothing to tell.
        if (declined) return false;
    } catch (...) {
        // Memory ran out before anything started: said as any other failure.
    }
    showMessage(owner, loadString(kIdsRetryNotStarted), MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void processRetryPaths(FILE_TREE_SETTING& settings, const std::vector<std::wstring>& paths)
{
    if (!settings.sources) return;
    const std::wstring kept = settings.sources;
    for (const std::wstring& path : paths) {
        if (settings.cancel) break;
        processRetryPath(settings, path);
    }
    settings.currentItem = nullptr;
    settings.existingTarget = nullptr;
    setSourceText(settings, kept);
}

} // namespace sorvane
