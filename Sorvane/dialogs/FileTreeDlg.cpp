#include "dialogs/FileTreeDlg.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>

#include "common/ui/GdiRaii.h"
#include "common/ui/HtmlHelp.h"
#include "common/ui/PictureButton.h"
#include "base/AppState.h"
#include "base/Shell.h"
#include "base/Strings.h"
#include "base/UserMessage.h"
#include "engine/OverlapGuard.h"
#include "engine/FileTimes.h"
#include "engine/PathForms.h"
#include "res/SorvaneRes.h"
#include "run/OutcomeTexts.h"
#include "run/PlanReport.h"
#include "dialogs/DlgBrowseFileExt.h"
#include "dialogs/History.h"
#include "dialogs/LabelledText.h"

namespace sorvane {

using namespace filetree;

namespace {

constexpr UINT kHelpContextCommand = 0x000F; // HH_HELP_CONTEXT

constexpr int kTipInitialDelay = 500;
constexpr int kTipShowTime = 30000;
constexpr size_t kSourcesShownLimit = 32508;  // longer source lists are shown cut
constexpr int kInteractiveSourcesLimit = 2045;
constexpr int kShortPath = MAX_PATH;           // 259 characters and the terminator
constexpr int kCollapsedMargin = 6;            // pixels below the last shown group
constexpr int kDefaultItemWidth = 160;
constexpr ULONGLONG kOneDay = 864000000000ULL; // in 100 ns units

constexpr UINT kNormalisePatternsMessage = WM_APP + 1;

constexpr wchar_t kAllFiles[] = L"*.*";
constexpr wchar_t kNewArchiveName[] = L"\\NewFile.lzh";

struct PidlTraits {
    static LPITEMIDLIST invalid() noexcept { return nullptr; }
    static void close(LPITEMIDLIST pidl) noexcept { ::CoTaskMemFree(pidl); }
};
using UniquePidl = UniqueResource<LPITEMIDLIST, PidlTraits>;

// The hourglass while the dialog works in its own thread; the cursor
// before comes back at the end of the scope.
class WaitCursor {
public:
    WaitCursor() noexcept : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { ::SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

std::wstring cut(std::wstring text, size_t characters)
{
    if (text.size() > characters) text.resize(characters);
    return text;
}

CItemMngr& targetHistory(uint32_t kind)
{
    return kind == kOperationCompress ? history().archives : history().destines;
}

// The time a date-and-time picker shows, to the second, as a local FILETIME.
bool pickerTime(HWND picker, FILETIME& time) noexcept
{
    SYSTEMTIME shown = {};
    if (::SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&shown)) != GDT_VALID) return false;
    shown.wMilliseconds = 0;
    return ::SystemTimeToFileTime(&shown, &time) != FALSE;
}

int CALLBACK browseFolderCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) noexcept
{
    if (message == BFFM_INITIALIZED) {
        const auto* start = reinterpret_cast<const wchar_t*>(data);
        if (start && *start) {
            ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start));
            // Once more when the picker has filled its tree: a picker that is
            // still enumerating may drop the first request. The text lives in
            // the dialog until the modal picker returns.
            ::PostMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start));
        }
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH] = {};
        if (!::SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(lParam), path)) path[0] = L'\0';
        ::SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

} // namespace

INT_PTR CFileTreeDlg::Run(HWND owner, uint32_t kind, bool expanded)
{
    if (running_ || kind > kOperationDelete) return 0;
    kind_ = kind;
    expanded_ = expanded;
    running_ = true;
    IDD = kFormTemplate[kind];
    const INT_PTR result = DoModal(owner);
    running_ = false;
    // A template that cannot be shown counts as cancelled.
    return result == 1 ? 1 : 0;
}

void CFileTreeDlg::enableControl(int id, bool enable) const noexcept
{
    if (HWND control = item(id)) ::EnableWindow(control, enable);
}

int CFileTreeDlg::checkedRadio(int first, int last) const noexcept
{
    for (int id = first; id <= last; ++id) {
        if (item(id) && checked(id)) return id - first;
    }
    return -1;
}

void CFileTreeDlg::checkRadio(int first, int last, uint32_t index) const noexcept
{
    if (index > static_cast<uint32_t>(last - first)) return;
    ::CheckRadioButton(m_hWnd, first, last, first + static_cast<int>(index));
}

void CFileTreeDlg::gotoControl(int id) noexcept
{
    if (HWND control = item(id)) SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

// ---------------------------------------------------------------- opening

BOOL CFileTreeDlg::OnInitDialog(HWND, LPARAM)
{
    // 1. The program's icon, from the executable whatever the language.
    HINSTANCE program = ::GetModuleHandleW(nullptr);
    const auto icon = [program](int metricX, int metricY) {
        return static_cast<HICON>(::LoadImageW(program, MAKEINTRESOURCEW(IDI_SORVANE), IMAGE_ICON,
                                               ::GetSystemMetrics(metricX), ::GetSystemMetrics(metricY), LR_SHARED));
    };
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon(SM_CXICON, SM_CYICON)));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon(SM_CXSMICON, SM_CYSMICON)));

    // 2.-4. Tips, text limits and the history combo boxes.
    setUpToolTips();
    SendDlgItemMessage(kPatterns, CB_LIMITTEXT, kTextLimit, 0);
    if (!isDelete()) SendDlgItemMessage(kTarget, CB_LIMITTEXT, kTextLimit, 0);
    if (!isDelete()) targetList_.Attach(item(kTarget));
    patternList_.Attach(item(kPatterns));
    // ">>" and "Advance" answer Enter themselves when they have the focus.
    ui::AttachPushButtonKeys(m_hWnd);
    if (targetList_.edit()) addTool(targetList_.edit(), L"");
    if (patternList_.edit()) addTool(patternList_.edit(), L"");
    setUpComboItemHeights();

    // 5. Started by hand, the user types the sources.
    if (app().interactiveMode) SendDlgItemMessage(kSources, EM_SETREADONLY, FALSE, 0);

    // 6. The caption names the operation.
    SetWindowText(loadString(kCaptionString + kind_).c_str());

    // 7.-8. What to propose, and the history lists.
    proposeTarget();
    if (!isDelete()) targetHistory(kind_).FillCombo(m_hWnd, kTarget);
    history().types.FillCombo(m_hWnd, kPatterns);

    // 9.-10. The size controls.
    setUpSpin();
    if (HWND limitKind = item(kLimitKind)) {
        ::SendMessageW(limitKind, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(loadString(IDS_MINIMUM).c_str()));
        ::SendMessageW(limitKind, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(loadString(IDS_MAXIMUM).c_str()));
    }

    // 11.-12.
    collectLowerPart();
    applyLayout();
    fillFromSettings();

    // Typed sources come first when started by hand; otherwise the dialog
    // waits on "Start", and the read-only sources are not shown selected.
    // Queued, so that it follows the activation of the shown window.
    if (HWND first = item(app().interactiveMode ? kSources : kStart)) {
        PostMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    }
    return TRUE;
}

void CFileTreeDlg::setUpToolTips()
{
    if (app().tooltip && ::IsWindow(app().tooltip)) {
        tip_.Attach(app().tooltip);
    } else {
        tip_.Create(m_hWnd, TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON, WS_EX_TOPMOST);
    }
    tip_.SetDelayTime(TTDT_INITIAL, kTipInitialDelay);
    tip_.SetDelayTime(TTDT_AUTOPOP, kTipShowTime);
    RECT sources = {};
    if (HWND edit = item(kSources)) ::GetWindowRect(edit, &sources);
    tip_.SetMaxTipWidth(sources.right - sources.left);

    addTool(item(kSourcesLabel), IDS_SOURCES_TIP_COPY + kind_);
    if (!isDelete()) {
        addTool(item(kTargetLabel), IDS_TARGET_TIP_COPY + kind_);
        addTool(item(kBrowseTarget), isCompress() ? IDS_BROWSE_ARCHIVE_TIP : IDS_BROWSE_FOLDER_TIP);
    }
    addTool(item(kPatternsLabel), IDS_PATTERNS_TIP);
    addTool(item(kBrowseExtensions), IDS_EXTENSIONS_TIP);
    addTool(item(kSources), L"");
}

void CFileTreeDlg::addTool(HWND tool, UINT stringId)
{
    if (tool && tip_.AddTool(tool, stringId, true, false)) tools_.emplace_back(tool, nullptr);
}

void CFileTreeDlg::addTool(HWND tool, const wchar_t* text)
{
    if (tool && tip_.AddTool(tool, text, true, false)) tools_.emplace_back(tool, nullptr);
}

void CFileTreeDlg::updateTip(HWND tool, const std::wstring& text)
{
    if (tool) tip_.UpdateTipText(tool, text.c_str());
}

void CFileTreeDlg::proposeTarget()
{
    if (isCopyOrMove()) {
        // A target given beforehand (a drop onto a folder) takes everything.
        if (settings.target && settings.target[0]) settings.setPatterns(kAllFiles);
    } else if (isCompress()) {
        proposeArchiveName();
    }
}

void CFileTreeDlg::proposeArchiveName()
{
    if (!settings.target || !settings.sources) return;
    std::wstring target = settings.target;
    if (!target.empty()) {
        if (target.back() == L'\\') target.pop_back();
        settings.setPatterns(kAllFiles);
        // An archive used before in that very folder is the first choice.
        const int found = history().archives.FindInFolder(target.c_str(), L'\\');
        if (found >= 0) {
            settings.setTarget(history().archives.At(found));
            return;
        }
    }
    const std::wstring sources = settings.sources;
    const size_t semicolon = sources.find(L';');
    if (semicolon != std::wstring::npos) {
        // The archive is named after the folder the selection lies in.
        std::wstring parent = sources.substr(0, semicolon);
        std::wstring folder = parent;
        if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
        const std::wstring name = fileNamePart(folder.c_str());
        if (!name.empty()) {
            if (!target.empty()) {
                target += L"\\" + name + L".lzh";
            } else {
                if (parent.back() != L'\\') parent += L'\\';
                target = parent + name + L".lzh";
            }
            settings.setTarget(target.c_str());
            return;
        }
        // A selected drive root has no folder name to take: the archive goes
        // on that drive ("X:\NewFile.lzh"), never on whatever drive is
        // current when the name is read.
        if (target.empty()) target = folder;
    }
    target += kNewArchiveName;
    settings.setTarget(target.c_str());
}

void CFileTreeDlg::setUpSpin() noexcept
{
    HWND spin = item(kLimitSpin);
    if (!spin) return;
    ::SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(item(kLimit)), 0);
    ::SendMessageW(spin, UDM_SETBASE, 10, 0);
    UDACCEL steps[] = {{0, 100}, {2, 200}, {3, 500}};
    ::SendMessageW(spin, UDM_SETACCEL, 3, reinterpret_cast<LPARAM>(steps));
    ::SendMessageW(spin, UDM_SETRANGE32, 0, static_cast<LPARAM>(kSpinMaximum));
    ::SendMessageW(spin, UDM_SETPOS32, 0, kSpinStart);
}

int CFileTreeDlg::comboItemHeight() const noexcept
{
    ui::WindowDc screen(nullptr);
    if (!screen) return 16;
    ui::SelectObjectGuard font(screen.get(), ::GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(screen.get(), &metrics);
    return metrics.tmHeight + metrics.tmInternalLeading + metrics.tmExternalLeading + 2;
}

void CFileTreeDlg::setUpComboItemHeights() noexcept
{
    // Fixed-height owner-drawn combo boxes ask for their heights while the
    // dialog is being made, before this object is attached: set them here.
    const int height = comboItemHeight();
    for (int id : {kTarget, kPatterns}) {
        if (HWND combo = item(id)) {
            ::SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height);
            ::SendMessageW(combo, CB_SETITEMHEIGHT, 0, height);
        }
    }
}

void CFileTreeDlg::fillSources()
{
    if (!settings.sources || !settings.sources[0]) return;
    std::wstring shown = settings.sources;
    if (shown.size() >= kSourcesShownLimit) {
        const size_t semicolon = shown.find(L';', kSourcesShownLimit);
        if (semicolon != std::wstring::npos) shown = shown.substr(0, semicolon) + L"...";
    }
    SetDlgItemText(kSources, shown.c_str());
    // The list is read from its start, the parent folder (queued: the edit
    // field scrolls once it is shown).
    ::PostMessageW(item(kSources), EM_SETSEL, 0, 0);
    ::PostMessageW(item(kSources), EM_SCROLLCARET, 0, 0);
    updateTip(item(kSources), blankAfterSemicolons(shown));
}

void CFileTreeDlg::fillTimes() noexcept
{
    checkRadio(kTimeAny, kTimeRange, settings.timeMode);
    const std::wstring format = loadString(IDS_DATE_FORMAT);
    SYSTEMTIME today = {};
    ::GetLocalTime(&today);
    today.wHour = today.wMinute = today.wSecond = today.wMilliseconds = 0;
    SYSTEMTIME tomorrow = today;
    FILETIME time = {};
    if (::SystemTimeToFileTime(&today, &time)) {
        time = fileTimeOfValue(fileTimeValue(time) + kOneDay);
        ::FileTimeToSystemTime(&time, &tomorrow);
    }
    const SYSTEMTIME* shown[] = {&today, &tomorrow};
    const int pickers[] = {kTimeFrom, kTimeTo};
    for (int i = 0; i < 2; ++i) {
        HWND picker = item(pickers[i]);
        if (!picker) continue;
        if (!format.empty()) ::SendMessageW(picker, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format.c_str()));
        ::SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(shown[i]));
        ::EnableWindow(picker, settings.timeMode == 1);
    }
}

void CFileTreeDlg::fillFromSettings()
{
    fillSources();

    if (!isDelete()) {
        HWND target = item(kTarget);
        if (settings.target && settings.target[0]) {
            SetDlgItemText(kTarget, settings.target);
            updateTip(targetList_.edit(), settings.target);
            if (isCompress()) PostMessage(WM_COMMAND, MAKEWPARAM(kTarget, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(target));
        } else {
            SendDlgItemMessage(kTarget, CB_SETCURSEL, 0, 0);
            PostMessage(WM_COMMAND, MAKEWPARAM(kTarget, CBN_SELCHANGE), reinterpret_cast<LPARAM>(target));
        }
    }

    setCheck(kSubfolders, settings.includeSubfolders != 0);
    excludeWanted_ = settings.excludePatterns != 0;
    setCheck(kExclude, excludeWanted_);

    HWND patterns = item(kPatterns);
    if (settings.patterns[0]) {
        SetDlgItemText(kPatterns, settings.patterns);
        PostMessage(WM_COMMAND, MAKEWPARAM(kPatterns, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(patterns));
        PostMessage(kNormalisePatternsMessage);
    } else {
        SendDlgItemMessage(kPatterns, CB_SETCURSEL, 0, 0);
        PostMessage(WM_COMMAND, MAKEWPARAM(kPatterns, CBN_SELCHANGE), reinterpret_cast<LPARAM>(patterns));
    }

    fillTimes();

    if (!isCompress()) {
        const SizeFilter size = settings.sizeFilter();
        checkRadio(kSizeFirst, kSizeLast, size.sizeClass);
        SendDlgItemMessage(kLimitKind, CB_SETCURSEL, size.limitIsMaximum ? 1 : 0, 0);
        SetDlgItemInt(kLimit, size.limitKB, false);
        for (int id : {kLimitKind, kLimit, kLimitSpin}) enableControl(id, size.sizeClass == kSizeSpecified);
    }

    if (isCopyOrMove()) {
        checkRadio(kPolicyFirst, kPolicyLast, static_cast<int>(settings.overwritePolicy()));
        setCheck(kProtectReadOnly, settings.protectReadOnly != 0);
        setCheck(kOption, settings.cloneTree != 0);
        // Proposed for a move, whose source goes once the copy is in place;
        // at every opening, as the Recycle Bin of the delete form.
        setCheck(kVerifyCopies, kind_ == kOperationMove);
        // Unticked at every opening; only a verified copy has a hash to write.
        setCheck(kWriteChecksums, false);
        enableControl(kWriteChecksums, checked(kVerifyCopies));
    } else if (isDelete()) {
        // The Recycle Bin is the safe default at every opening.
        setCheck(kRecycle, true);
        setCheck(kProtectReadOnly, settings.protectReadOnly != 0);
        setCheck(kOption, settings.testOnly != 0);
    } else {
        checkRadio(kPolicyFirst, kPolicyLast, static_cast<int>(settings.archiveMode()));
        // The self-extract box follows the archive's name, not the settings.
        setCheck(kSelfExtract, false);
        setCheck(kNoSetupDialog, false);
        setCheck(kEnglish, false);
        enableControl(kNoSetupDialog, false);
        enableControl(kEnglish, false);
    }
}

void CFileTreeDlg::collectLowerPart()
{
    // Everything that starts below the upper group box: the groups of the
    // advanced part, their options and their labels.
    lowerPart_.clear();
    const RECT upper = ChildRect(kUpperGroup);
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT rect = {};
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        if (rect.top >= upper.bottom) lowerPart_.push_back(child);
    }
}

void CFileTreeDlg::applyLayout()
{
    // Collapsed, the advanced part is hidden, not only cut off by the
    // window's edge: nothing there can be reached by Tab or an access key.
    for (HWND control : lowerPart_) ::ShowWindow(control, expanded_ ? SW_SHOW : SW_HIDE);
    if (!expanded_) {
        HWND focus = ::GetFocus();
        for (HWND control : lowerPart_) {
            if (focus && (focus == control || ::IsChild(control, focus))) {
                gotoControl(kAdvance);
                break;
            }
        }
    }
    ui::SetButtonState(m_hWnd, kAdvance, expanded_ ? 1 : 0, true);

    HWND last = item(expanded_ ? kTimeGroup : kUpperGroup);
    if (!last) return;
    RECT window = {};
    RECT edge = {};
    GetWindowRect(&window);
    ::GetWindowRect(last, &edge);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left, edge.bottom + kCollapsedMargin - window.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------- the user's edits

std::wstring CFileTreeDlg::comboText(int id, bool fromSelection) const
{
    HWND combo = item(id);
    if (!combo) return {};
    if (fromSelection) {
        const LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
        if (index >= 0) {
            const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
            if (length >= 0) {
                std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                const LRESULT got = ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
                text.resize(got > 0 ? static_cast<size_t>(got) : 0);
                return text;
            }
        }
    }
    return CWindow(combo).GetWindowText();
}

void CFileTreeDlg::followSelfExtract(const std::wstring& value) noexcept
{
    const wchar_t* dot = extensionDot(value.c_str());
    const bool isProgram = dot && ::CompareStringOrdinal(dot, -1, L".exe", -1, TRUE) == CSTR_EQUAL;
    setCheck(kSelfExtract, isProgram);
    enableControl(kNoSetupDialog, isProgram);
    enableControl(kEnglish, isProgram);
}

void CFileTreeDlg::onTargetChanged(bool fromSelection)
{
    const std::wstring text = comboText(kTarget, fromSelection);
    updateTip(targetList_.edit(), text);
    if (isCompress()) followSelfExtract(splitLabelled(text).value);
}

void CFileTreeDlg::onPatternsChanged(bool fromSelection)
{
    if (normalising_) return;
    const std::wstring text = comboText(kPatterns, fromSelection);
    const LabelledText parts = splitLabelled(text);
    followExcludeSwitch(parts.value);
    updateTip(patternList_.edit(), blankAfterSemicolons(joinLabelled(parts.label, parts.value)));
    // Typed text keeps its blanks while it is typed ("My Docs|..." needs
    // one inside the label): it is normalised when the field is left, or
    // at Start. A picked entry is normalised at once, and once more when it
    // has reached the edit field, which some systems fill only after this
    // notice.
    if (fromSelection) PostMessage(kNormalisePatternsMessage);
}

std::wstring CFileTreeDlg::normalisePatterns()
{
    // Blanks at either end and around the "|" go.
    const std::wstring text = comboText(kPatterns, false);
    const LabelledText parts = splitLabelled(text);
    const std::wstring normalised = joinLabelled(parts.label, parts.value);
    if (normalised != text) {
        HWND combo = item(kPatterns);
        DWORD start = 0;
        DWORD end = 0;
        ::SendMessageW(combo, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        normalising_ = true;
        ::SetWindowTextW(combo, normalised.c_str());
        normalising_ = false;
        const DWORD caret = end >= text.size() ? static_cast<DWORD>(normalised.size())
                                               : std::min<DWORD>(end, static_cast<DWORD>(normalised.size()));
        ::SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(caret, caret));
    }
    followExcludeSwitch(parts.value);
    updateTip(patternList_.edit(), blankAfterSemicolons(normalised));
    return normalised;
}

void CFileTreeDlg::followExcludeSwitch(const std::wstring& value) noexcept
{
    // "*.*" as a whole item takes every file: there is nothing to exclude.
    // While the box cannot be changed it stays clear, so that no run
    // selects nothing because of a tick the user can neither see as
    // meaningful nor take away; the user's tick comes back with the box.
    const bool usable = !firstAllFilesIsWholeItem(value);
    enableControl(kExclude, usable);
    if (item(kExclude)) setCheck(kExclude, usable && excludeWanted_);
}

void CFileTreeDlg::onSelfExtractClicked()
{
    const bool selfExtract = checked(kSelfExtract);
    enableControl(kNoSetupDialog, selfExtract);
    enableControl(kEnglish, selfExtract);

    const std::wstring text = comboText(kTarget, false);
    LabelledText parts = splitLabelled(text);
    const wchar_t* wanted = selfExtract ? L".exe" : L".lzh";
    const wchar_t* dot = extensionDot(parts.value.c_str());
    if (dot && ::CompareStringOrdinal(dot, -1, wanted, -1, TRUE) == CSTR_EQUAL) return;
    if (dot) parts.value.resize(static_cast<size_t>(dot - parts.value.c_str()));
    parts.value += wanted;
    const std::wstring rewritten = joinLabelled(parts.label, parts.value);
    SetDlgItemText(kTarget, rewritten.c_str());
    updateTip(targetList_.edit(), rewritten);
}

bool CFileTreeDlg::browseFolder(const std::wstring& start, std::wstring& chosen)
{
    const std::wstring title = loadString(IDS_BROWSE_FOLDER_TITLE);
    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = m_hWnd;
    info.pszDisplayName = display;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    info.lpfn = browseFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    UniquePidl folder(::SHBrowseForFolderW(&info));
    if (!folder) return false;
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(folder.get(), path) || !path[0]) return false;
    chosen = cut(path, kShortPath - 1);
    return true;
}

bool CFileTreeDlg::browseArchive(const std::wstring& start, std::wstring& chosen)
{
    const std::wstring title = loadString(IDS_BROWSE_ARCHIVE_TITLE);
    // "Name|*.lzh|Name|*.exe||": the bars become the list's separators.
    std::wstring filters = loadString(IDS_ARCHIVE_FILTERS);
    std::replace(filters.begin(), filters.end(), L'|', L'\0');
    filters.push_back(L'\0');
    wchar_t file[kShortPath] = {};
    boundedCopy(file, start.c_str(), kShortPath);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = m_hWnd;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = kShortPath;
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_LONGNAMES | OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    // The default extension is named without its "*." for the file dialog.
    dialog.lpstrDefExt = L"lzh";
    if (!::GetOpenFileNameW(&dialog) || !file[0]) return false;
    chosen = file;
    return true;
}

void CFileTreeDlg::onBrowseTarget()
{
    if (isDelete()) return;
    const std::wstring start = splitLabelled(comboText(kTarget, false)).value;
    std::wstring chosen;
    if (!(isCompress() ? browseArchive(start, chosen) : browseFolder(start, chosen))) return;
    SetDlgItemText(kTarget, chosen.c_str());
    if (isCompress()) {
        onTargetChanged(false);
    } else {
        updateTip(targetList_.edit(), chosen);
    }
}

void CFileTreeDlg::onBrowseExtensions()
{
    wchar_t text[CDlgBrowseFileExt::kTextCapacity] = {};
    boundedCopy(text, comboText(kPatterns, false).c_str(), CDlgBrowseFileExt::kTextCapacity);
    // Started by hand, the sources are what the user has typed so far.
    const std::wstring sources = app().interactiveMode ? GetDlgItemText(kSources)
                                                       : std::wstring(settings.sources ? settings.sources : L"");
    CDlgBrowseFileExt browser(sources.c_str(), text);
    if (!browser.Run(m_hWnd) || !text[0]) return;

    history().types.Add(text, true);
    HWND patterns = item(kPatterns);
    ::SendMessageW(patterns, CB_RESETCONTENT, 0, 0);
    history().types.FillCombo(m_hWnd, kPatterns);
    ::SendMessageW(patterns, CB_SETCURSEL, 0, 0);
    // The new patterns decide the Exclude box as typed ones do: "*.*" from
    // the browser must not meet a tick that would then select nothing.
    normalisePatterns();
}

void CFileTreeDlg::onEntryDeleted(int index, HWND combo)
{
    if (combo && combo == item(kTarget) && !isDelete()) {
        targetHistory(kind_).RemoveAt(index);
    } else if (combo && combo == item(kPatterns)) {
        history().types.RemoveAt(index);
    }
}

void CFileTreeDlg::onDropFiles(HDROP drop)
{
    POINT point = {};
    ::DragQueryPoint(drop, &point);
    HWND target = item(kTarget);
    // The combo box lies inside the upper group box, which some systems
    // report as the child at the point: the combo's own rectangle decides.
    const RECT targetRect = ChildRect(kTarget);
    const bool onTarget = target && (::RealChildWindowFromPoint(m_hWnd, point) == target ||
                                     (::IsWindowVisible(target) && ::PtInRect(&targetRect, point)));
    if (!isDelete() && onTarget && ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        wchar_t path[kShortPath] = {};
        if (::DragQueryFileW(drop, 0, path, kShortPath) > 0) {
            SetDlgItemText(kTarget, path);
            // As typing the name: a dropped program file asks for a
            // self-extracting archive.
            onTargetChanged(false);
        }
    }
    ::DragFinish(drop);
}

// ---------------------------------------------------------------- Start

bool CFileTreeDlg::readForm(FILE_TREE_SETTING& work, std::wstring& targetText, std::wstring& patternText)
{
    // Each check that fails puts the focus on the field at fault.
    const auto refuse = [this](int id) {
        gotoControl(id);
        return false;
    };

    if (app().interactiveMode) {
        const std::wstring typed = cut(GetDlgItemText(kSources), kInteractiveSourcesLimit);
        work.setSources(typed.c_str());
        if (typed.empty()) return refuse(kSources);
    }
    // A drive root given as its path and one ";" stands for the whole drive.
    if (work.sources && endsWith(work.sources, L":\\;")) {
        const std::wstring completed = std::wstring(work.sources) + L";";
        work.setSources(completed.c_str());
    }

    targetText = comboText(kTarget, false);
    if (!isDelete()) {
        std::wstring target = splitLabelled(targetText).value;
        if (target.empty()) return refuse(kTarget);
        work.setTarget(target.c_str());
        if (isCopyOrMove()) {
            // The target in its full form, never the selection, inside it or
            // the folder that holds it. A drive that is not there is refused
            // when the run starts.
            OverlapDetail detail;
            if (const ItemReason refusal = prepareRunTarget(work, false, &detail)) {
                showMessage(m_hWnd, formatString(reasonTextId(refusal), detail.item.c_str(), detail.landing.c_str()),
                            GetWindowText(), MB_OK | MB_ICONERROR);
                return refuse(kTarget);
            }
        }
    }

    patternText = normalisePatterns();
    const std::wstring patterns = splitLabelled(patternText).value;
    if (patterns.empty()) return refuse(kPatterns);
    work.setPatterns(patterns.c_str());

    work.includeSubfolders = checked(kSubfolders) ? 1 : 0;
    work.excludePatterns = checked(kExclude) && ::IsWindowEnabled(item(kExclude)) ? 1 : 0;

    const int timeMode = checkedRadio(kTimeAny, kTimeRange);
    if (timeMode >= 0) work.timeMode = static_cast<uint32_t>(timeMode);
    if (timeMode == 1) {
        FILETIME from = {};
        FILETIME to = {};
        if (!pickerTime(item(kTimeFrom), from) || !pickerTime(item(kTimeTo), to) || ::CompareFileTime(&from, &to) >= 0) {
            showMessage(m_hWnd, loadString(kTimeRangeError), GetWindowText(), MB_OK | MB_ICONERROR);
            return refuse(kTimeTo);
        }
        if (isCompress()) {
            // The archiver compares local times.
            work.timeFrom = from;
            work.timeTo = to;
        } else {
            ::LocalFileTimeToFileTime(&from, &work.timeFrom);
            ::LocalFileTimeToFileTime(&to, &work.timeTo);
        }
    }

    if (!isCompress()) {
        SizeFilter size = work.sizeFilter();
        const int sizeClass = checkedRadio(kSizeFirst, kSizeLast);
        if (sizeClass >= 0) size.sizeClass = static_cast<SizeClass>(sizeClass);
        if (size.sizeClass == kSizeSpecified) {
            size.limitIsMaximum = SendDlgItemMessage(kLimitKind, CB_GETCURSEL, 0, 0) == 1;
            BOOL isNumber = FALSE;
            const UINT limit = ::GetDlgItemInt(m_hWnd, kLimit, &isNumber, FALSE);
            size.limitKB = isNumber ? limit : 0;
        }
        work.setSizeFilter(size);
    }

    const int policy = checkedRadio(kPolicyFirst, kPolicyLast);
    if (isCopyOrMove()) {
        if (policy >= 0) work.setOverwritePolicy(static_cast<OverwritePolicy>(policy));
        work.protectReadOnly = checked(kProtectReadOnly) ? 1 : 0;
        work.cloneTree = checked(kOption) ? 1 : 0;
        work.verifyCopies = checked(kVerifyCopies) ? 1 : 0;
        work.writeChecksums = work.verifyCopies && checked(kWriteChecksums) ? 1 : 0;
    } else if (isDelete()) {
        work.setDeleteToRecycleBin(checked(kRecycle));
        work.protectReadOnly = checked(kProtectReadOnly) ? 1 : 0;
        work.testOnly = checked(kOption) ? 1 : 0;
        work.cloneTree = 0;
        work.verifyCopies = 0;
        work.writeChecksums = 0;
    } else {
        if (policy >= 0) work.setArchiveMode(static_cast<ArchiveMode>(policy));
        SelfExtractor extractor;
        extractor.make = checked(kSelfExtract);
        extractor.noSetupDialog = checked(kNoSetupDialog);
        extractor.english = checked(kEnglish);
        work.setSelfExtractor(extractor);
    }
    return true;
}

void CFileTreeDlg::onStart()
{
    FILE_TREE_SETTING work(settings);
    std::wstring targetText;
    std::wstring patternText;
    if (!readForm(work, targetText, patternText)) return;
    settings = work;
    if (!isDelete()) targetHistory(kind_).Add(targetText.c_str(), true);
    history().types.Add(patternText.c_str(), true);
    EndDialog(1);
}

void CFileTreeDlg::onPlan()
{
    if (isDelete()) return; // a delete has "Test only" instead
    FILE_TREE_SETTING work(settings);
    std::wstring targetText;
    std::wstring patternText;
    if (!readForm(work, targetText, patternText)) return;

    // The same job Start would hand over, planned in this thread: the
    // dialog stays open, and nothing on disk changes.
    std::wstring page;
    DWORD error = 0;
    try {
        WaitCursor wait;
        page = writePlanPage(work, app().appDataFolder, error);
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        error = ERROR_INTERNAL_ERROR;
    }
    if (page.empty()) {
        showMessage(m_hWnd, formatString(IDS_PLAN_NOT_WRITTEN, systemMessage(error).c_str()), GetWindowText(),
                    MB_OK | MB_ICONERROR);
        return;
    }
    openDocument(m_hWnd, page.c_str());
}

// ---------------------------------------------------------------- dispatch

bool CFileTreeDlg::OnCommand(WORD id, WORD code, HWND control)
{
    switch (id) {
    case kStart:
        onStart();
        return true;
    case kPlan:
        if (code == BN_CLICKED) onPlan();
        return true;
    case kCancel:
        EndDialog(0);
        return true;
    case kTarget:
    case kPatterns:
        if (code == CBN_DROPDOWN || code == CBN_CLOSEUP) {
            // The scrolling list of the combo box follows its list's state.
            if (control) ::SendMessageW(control, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
            return true;
        }
        if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE) {
            if (id == kTarget) onTargetChanged(code == CBN_SELCHANGE);
            else onPatternsChanged(code == CBN_SELCHANGE);
            return true;
        }
        if (code == CBN_KILLFOCUS && id == kPatterns) {
            normalisePatterns();
            return true;
        }
        return false;
    case kExclude:
        // Only the user's own clicks change what the box should be.
        if (code == BN_CLICKED && ::IsWindowEnabled(control)) excludeWanted_ = checked(kExclude);
        return false;
    case kBrowseTarget:
        if (code == BN_CLICKED) onBrowseTarget();
        return true;
    case kBrowseExtensions:
        if (code == BN_CLICKED) onBrowseExtensions();
        return true;
    case kAdvance:
        if (code != BN_CLICKED) return false;
        expanded_ = !expanded_;
        applyLayout();
        return true;
    case kVerifyCopies:
        // The checksum file follows "Verify copies": cleared while it
        // cannot be chosen.
        if (isCopyOrMove() && code == BN_CLICKED) {
            if (!checked(kVerifyCopies)) setCheck(kWriteChecksums, false);
            enableControl(kWriteChecksums, checked(kVerifyCopies));
        }
        return false;
    case kTimeAny:
    case kTimeRange:
        enableControl(kTimeFrom, checked(kTimeRange));
        enableControl(kTimeTo, checked(kTimeRange));
        return false;
    case kSizeFirst:
    case kSizeFirst + 1:
    case kSizeFirst + 2:
    case kSizeFirst + 3:
    case kSizeLast:
        for (int limit : {kLimitKind, kLimit, kLimitSpin}) enableControl(limit, checked(kSizeLast));
        return false;
    case kRecycle:
        if (isDelete() && code == BN_CLICKED) {
            HICON icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                         MAKEINTRESOURCEW(checked(kRecycle) ? IDI_FORM_RECYCLE : IDI_FORM_ERASE),
                                                         IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
            if (icon) SendDlgItemMessage(kFormIcon, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        }
        return false;
    case kSelfExtract: // also the size group box of the other forms, which sends nothing
        if (isCompress() && code == BN_CLICKED) {
            onSelfExtractClicked();
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool CFileTreeDlg::OnNotify(int id, NMHDR* header, LRESULT& result)
{
    if (id == kLimitSpin && header && header->code == UDN_DELTAPOS) {
        // The spin counts from its own position, not from what kLimit shows.
        const auto* change = reinterpret_cast<const NMUPDOWN*>(header);
        long long value = static_cast<long long>(change->iPos) + change->iDelta;
        value = std::max<long long>(0, std::min<long long>(value, kSpinMaximum));
        SetDlgItemInt(kLimit, static_cast<UINT>(value), false);
        result = 0;
        return true;
    }
    return false;
}

bool CFileTreeDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_DRAWITEM:
        if (!lParam || !onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return false;
        result = TRUE;
        return true;
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (!measure || measure->CtlType != ODT_COMBOBOX) return false;
        measure->itemHeight = static_cast<UINT>(comboItemHeight());
        RECT combo = {};
        measure->itemWidth = ::GetWindowRect(item(static_cast<int>(measure->CtlID)), &combo)
                                 ? static_cast<UINT>(combo.right - combo.left)
                                 : kDefaultItemWidth;
        result = TRUE;
        return true;
    }
    case WM_HELP:
        ui::htmlHelp(m_hWnd, app().helpFilePath, kHelpContextCommand, kHelpTopic + kind_);
        result = TRUE;
        return true;
    case WM_DROPFILES:
        onDropFiles(reinterpret_cast<HDROP>(wParam));
        result = 0;
        return true;
    case kNormalisePatternsMessage:
        normalisePatterns();
        result = 0;
        return true;
    case ui::CWndScrollList::kEntryDeletedMessage:
        onEntryDeleted(static_cast<int>(wParam), reinterpret_cast<HWND>(lParam));
        result = 0;
        return true;
    default:
        return false;
    }
}

void CFileTreeDlg::OnDestroy()
{
    ui::RemoveButtonState(m_hWnd, kAdvance);
    // A borrowed tip outlives the dialog: take our tools off it.
    for (const auto& tool : tools_) tip_.DelTool(tool.first, tool.second);
    tools_.clear();
    tip_.Attach(nullptr);
    targetList_.Detach();
    patternList_.Detach();
}

} // namespace sorvane
