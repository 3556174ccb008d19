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

#include "../../common/ui/DialogImpl.h"
#include "../../common/ui/ScrollList.h"
#include "../../common/ui/ToolTip.h"
#include "../engine/FileTreeSetting.h"

namespace sorvane {

// Controls of the three forms. A form lacks some of them; every operation
// on a missing control is skipped.
namespace filetree {
enum ControlId : int {
    kStart = IDOK,
    kCancel = IDCANCEL,
    kUpperGroup = 2000,
    kSources = 2001,
    kTarget = 2002,          // combo box: target folder (copy, move) or archive file (compress)
    kBrowseTarget = 2003,
    kPatterns = 2004,        // combo box: "Name|Types"
    kSubfolders = 2005,
    kAdvance = 2006,
    kExclude = 2007,
    kTimeGroup = 2008,
    kSizeGroup = 2009,       // group box "File Size" (copy, move, delete)
    kSelfExtract = 2009,     // check box "Create Win32 self-extract Archive." (compress)
    kTimeAny = 2010,
    kTimeRange = 2011,
    kPolicyGroup = 2015,
    kTimeFrom = 2017,
    kTimeTo = 2018,
    kBrowseExtensions = 2019,
    kSizeFirst = 2020,       // 2020 ... 2024: the size classes
    kSizeLast = 2024,        // "Specify Size(KB)"
    kLimitKind = 2028,
    kLimit = 2029,
    kLimitSpin = 2030,
    kSelfExtractGroup = 2031,
    kPolicyFirst = 2040,     // 2040 ... 2042: overwrite policy or archive mode
    kPolicyLast = 2042,
    kNoSetupDialog = 2045,
    kEnglish = 2046,
    kRecycle = 2051,
    kFormIcon = 2053,
    kVerifyCopies = 2054,    // "Verify copies" (copy, move)
    kProtectReadOnly = 2226,
    kOption = 2227,          // "Clone the folder tree" (copy, move), "Test only" (delete)
    kSourcesLabel = 2231,
    kTargetLabel = 2232,
    kPatternsLabel = 2233,
};
constexpr int kFormTemplate[4] = {210, 210, 212, 211}; // by operation kind
constexpr UINT kCaptionString = 1180;                 // + kind
constexpr DWORD kHelpTopic = 0x20200;                 // + kind
constexpr UINT kTimeRangeError = 1120;
constexpr UINT kSpinMaximum = 0x3FFFFF;
constexpr int kSpinStart = 100;
constexpr int kTextLimit = 520; // characters the two combo boxes accept
} // namespace filetree

class CFileTreeDlg : public ui::CDialogImpl<CFileTreeDlg> {
public:
    // The template the next Run shows; Run sets it from the kind.
    static inline int IDD = 210;

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
    void onStart();

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
