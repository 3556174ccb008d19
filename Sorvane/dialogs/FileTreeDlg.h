// The operation dialog: the user confirms and edits one filter operation
// (sources, target folder or archive, "Name|Types" patterns, time range,
// size class and the operation's own options) before it runs. One class,
// three forms: 210 for copy and move, 211 for delete, 212 for compress.
//
// Use (from the main window):
//     CFileTreeDlg dialog;
//     currentRun().settings.operation = kind;
//     dialog.settings = currentRun().settings;
//     if (dialog.Run(mainWindow, kind, true) == 1) currentRun().settings = dialog.settings;
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/ui/DialogImpl.h"
#include "common/ui/ScrollList.h"
#include "common/ui/ToolTip.h"
#include "engine/FileTreeSetting.h"
#include "res/SorvaneRes.h"

namespace sorvane {

// Controls of the three forms. A form lacks some of them; every operation
// on a missing control is skipped.
namespace filetree {
enum ControlId : int {
    kStart = IDOK,
    kPlan = IDC_PLAN,                    // "Plan" (copy, move, compress)
    kCancel = IDCANCEL,
    kUpperGroup = IDC_UPPER_GROUP,
    kSources = IDC_SOURCES,
    kTarget = IDC_TARGET,                // combo box: target folder (copy, move) or archive file (compress)
    kBrowseTarget = IDC_BROWSE_TARGET,
    kPatterns = IDC_PATTERNS,            // combo box: "Name|Types"
    kSubfolders = IDC_SUBFOLDERS,
    kAdvance = IDC_ADVANCE,
    kExclude = IDC_EXCLUDE,
    kTimeGroup = IDC_TIME_GROUP,
    kSizeGroup = IDC_SIZE_GROUP,         // group box "File Size" (copy, move, delete)
    kSelfExtract = IDC_SELF_EXTRACT,     // check box "Create Win32 self-extract Archive." (compress)
    kTimeAny = IDC_TIME_ANY,
    kTimeRange = IDC_TIME_RANGE,
    kPolicyGroup = IDC_POLICY_GROUP,
    kTimeFrom = IDC_TIME_FROM,
    kTimeTo = IDC_TIME_TO,
    kBrowseExtensions = IDC_BROWSE_EXTENSIONS,
    kSizeFirst = IDC_SIZE_ANY,           // 2020 ... 2024: the size classes
    kSizeLast = IDC_SIZE_SPECIFY,        // "Specify Size(KB)"
    kLimitKind = IDC_LIMIT_KIND,
    kLimit = IDC_LIMIT,
    kLimitSpin = IDC_LIMIT_SPIN,
    kSelfExtractGroup = IDC_SELF_EXTRACT_GROUP,
    kPolicyFirst = IDC_OVERWRITE_ALWAYS, // 2040 ... 2042: overwrite policy or archive mode
    kPolicyLast = IDC_OVERWRITE_NEVER,
    kNoSetupDialog = IDC_NO_SETUP_DIALOG,
    kEnglish = IDC_ENGLISH,
    kRecycle = IDC_RECYCLE,
    kFormIcon = IDC_FORM_ICON,
    kVerifyCopies = IDC_VERIFY_COPIES,   // "Verify copies" (copy, move)
    kWriteChecksums = IDC_WRITE_CHECKSUMS, // "Write a checksum file" (copy, move; only with verified copies)
    kProtectReadOnly = IDC_PROTECT_READONLY,
    kOption = IDC_CLONE_TREE,            // "Clone the folder tree" (copy, move), "Test only" (delete)
    kSourcesLabel = IDC_SOURCES_LABEL,
    kTargetLabel = IDC_TARGET_LABEL,
    kPatternsLabel = IDC_PATTERNS_LABEL,
};
constexpr int kFormTemplate[4] = {IDD_FILTER_COPY, IDD_FILTER_COPY, IDD_FILTER_COMPRESS,
                                  IDD_FILTER_DELETE}; // by operation kind
constexpr UINT kCaptionString = IDS_CAPTION_COPY;     // + kind
constexpr DWORD kHelpTopic = 0x20200;                 // + kind
constexpr UINT kTimeRangeError = IDS_TIME_RANGE_ERROR;
constexpr UINT kSpinMaximum = 0x3FFFFF;
constexpr int kSpinStart = 100;
constexpr int kTextLimit = 520; // characters the two combo boxes accept
} // namespace filetree

class CFileTreeDlg : public ui::CDialogImpl<CFileTreeDlg> {
public:
    // The template the next Run shows; Run sets it from the kind.
    static inline int IDD = IDD_FILTER_COPY;

    CFileTreeDlg() = default;
    ~CFileTreeDlg() override = default;

    // Shows the form of `kind` (0 copy, 1 move, 2 compress, 3 delete)
    // modally over `owner`, with the advanced part shown when `expanded`.
    // 1 after "Start" with every check passed (`settings` then holds the
    // confirmed values), 0 after "Cancel", Esc or closing. 0 at once, with
    // nothing shown, while this object is already running or for an unknown
    // kind.
    INT_PTR Run(HWND owner, uint32_t kind, bool expanded);

    bool IsRunning() const noexcept { return running_; }
    bool IsExpanded() const noexcept { return expanded_; }
    uint32_t Kind() const noexcept { return kind_; }

    // The dialog's own copy of the settings: the caller fills it before Run
    // (with `operation` set to the kind) and takes it back after a 1.
    FILE_TREE_SETTING settings;

protected:
    BOOL OnInitDialog(HWND focus, LPARAM initParam) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    bool isDelete() const noexcept { return kind_ == kOperationDelete; }
    bool isCompress() const noexcept { return kind_ == kOperationCompress; }
    bool isCopyOrMove() const noexcept { return kind_ == kOperationCopy || kind_ == kOperationMove; }
    HWND item(int id) const noexcept { return GetDlgItem(id); }
    void enableControl(int id, bool enable) const noexcept;
    bool checked(int id) const noexcept { return IsDlgButtonChecked(id) == BST_CHECKED; }
    void setCheck(int id, bool on) const noexcept { CheckDlgButton(id, on ? BST_CHECKED : BST_UNCHECKED); }
    // The index of the checked radio button among first ... last, or -1.
    int checkedRadio(int first, int last) const noexcept;
    void checkRadio(int first, int last, uint32_t index) const noexcept;
    void gotoControl(int id) noexcept;

    // Opening.
    void setUpToolTips();
    void addTool(HWND tool, UINT stringId);
    void addTool(HWND tool, const wchar_t* text);
    void updateTip(HWND tool, const std::wstring& text);
    void proposeTarget();
    void proposeArchiveName();
    void setUpSpin() noexcept;
    void setUpComboItemHeights() noexcept;
    void fillFromSettings();
    void fillSources();
    void fillTimes() noexcept;
    void collectLowerPart();
    void applyLayout();

    // The user's edits.
    std::wstring comboText(int id, bool fromSelection) const;
    void onTargetChanged(bool fromSelection);
    void onPatternsChanged(bool fromSelection);
    std::wstring normalisePatterns();
    void followExcludeSwitch(const std::wstring& value) noexcept;
    void followSelfExtract(const std::wstring& value) noexcept;
    void onSelfExtractClicked();
    void onBrowseTarget();
    bool browseFolder(const std::wstring& start, std::wstring& chosen);
    bool browseArchive(const std::wstring& start, std::wstring& chosen);
    void onBrowseExtensions();
    void onEntryDeleted(int index, HWND combo);
    void onDropFiles(HDROP drop);
    bool onDrawItem(const DRAWITEMSTRUCT& draw);
    void drawComboItem(const DRAWITEMSTRUCT& draw);
    int comboItemHeight() const noexcept;
    // Reads the form into `work` as Start takes it, with the texts of the
    // two combo boxes for their histories; false, with the focus on the
    // field at fault (after a message where one is needed), when the form
    // holds no runnable job.
    bool readForm(FILE_TREE_SETTING& work, std::wstring& targetText, std::wstring& patternText);
    void onStart();
    // Writes the plan page of the job Start would run and opens it.
    void onPlan();

    uint32_t kind_ = kOperationCopy;
    bool expanded_ = true;
    bool running_ = false;
    bool normalising_ = false;
    bool excludeWanted_ = false; // the Exclude box as the user left it while it could be changed
    std::vector<HWND> lowerPart_; // the controls that only the expanded form shows
    ui::CWndScrollList targetList_;
    ui::CWndScrollList patternList_;
    ui::CToolTip tip_; // the main window's balloon tip, or one of our own without it
    std::vector<std::pair<HWND, HWND>> tools_; // (tool, its notification window), removed on close
};

} // namespace sorvane
