// The extension browser "Select Extensions": searches the sources in the
// background for the file extensions in them, lists each once with its
// registered description and icon, and builds the pattern text from the
// ticked ones. The text can be edited as well; the ticks follow it.
//
// Threads: every record and every row is read and changed on the dialog's
// thread only. The search thread hands new extensions over (see
// ExtensionSearch.h) and owns everything it touches, so that a search that
// outlives the dialog's wait when stopping never reaches freed memory.
//
// Ticks changed by the user while a search runs are turned into text
// changes as at any other time: the rows and the text never disagree.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "common/Raii.h"
#include "common/ui/DialogImpl.h"
#include "res/SorvaneRes.h"
#include "dialogs/ExtensionSearch.h"
#include "dialogs/FileType.h"

namespace sorvane {

namespace browseext {
enum ControlId : int {
    kClose = IDOK,
    kGroup = IDC_EXTENSIONS_GROUP,
    kText = IDC_EXTENSIONS_TEXT,
    kList = IDC_EXTENSIONS_LIST,
    kSearch = IDC_EXTENSIONS_SEARCH,
};
constexpr DWORD kHelpTopic = 0x20810;
constexpr UINT kExtensionColumnString = IDS_EXTENSION_COLUMN;
constexpr UINT kDescriptionColumnString = IDS_DESCRIPTION_COLUMN;
constexpr UINT kAllFilesDescriptionString = IDS_ALL_FILES_DESCRIPTION;
constexpr int kFileTypesBitmap = IDB_FILE_TYPES;
constexpr int kIdleFrame = 4;            // the Search button's picture when no search runs
constexpr DWORD kStopWait = 3000;        // ms the dialog waits for a stopped search
} // namespace browseext

struct ImageListTraits {
    static HIMAGELIST invalid() noexcept { return nullptr; }
    static void close(HIMAGELIST list) noexcept { ::ImageList_Destroy(list); }
};
using UniqueImageList = UniqueResource<HIMAGELIST, ImageListTraits>;

class CDlgBrowseFileExt : public ui::CDialogImpl<CDlgBrowseFileExt> {
public:
    enum { IDD = IDD_BROWSE_EXTENSIONS };
    static constexpr int kTextCapacity = 520; // the caller's buffer, terminator included

    // `sources` is searched (a source list); `text` is the caller's buffer of
    // kTextCapacity units: the pattern text on entry, the edited text after
    // "Close". Neither is owned.
    CDlgBrowseFileExt(const wchar_t* sources, wchar_t* text);
    ~CDlgBrowseFileExt() override;

    // Modal over `owner`: 1 after "Close" (the buffer holds the new text),
    // 0 after Esc or the close box (the buffer is left as it was).
    INT_PTR Run(HWND owner);

    bool IsSearching() const noexcept { return search_ != nullptr; }

protected:
    BOOL OnInitDialog(HWND focus, LPARAM initParam) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    static constexpr UINT kSearchUpdateMessage = WM_APP + 1;
    static constexpr UINT kSortMessage = WM_APP + 2;

    HWND list() const noexcept { return GetDlgItem(browseext::kList); }
    void setUpImages();
    void setUpColumns();

    // Rows.
    int findRow(const CFileType* record) const noexcept;
    int insertRow(CFileType* record, bool top);
    void setRowTick(int row, bool ticked) noexcept;
    static bool rowTicked(HWND list, int row) noexcept;
    void sortRows() noexcept;
    void postSort() noexcept;
    static int CALLBACK compareRows(LPARAM a, LPARAM b, LPARAM) noexcept;

    // Text and ticks.
    std::wstring currentText() const;
    void writeText(const std::wstring& text);
    void syncTicksFromText(const std::wstring& text, bool typed);
    void refreshTextRecords();
    bool addExtensionToText(const std::wstring& extension);
    void removeExtensionFromText(const std::wstring& extension);
    bool onTickChanging(const NMLISTVIEW& change);

    // Search.
    void startSearch();
    void stopSearch();
    void takeSearchUpdate();
    void addFoundExtension(const std::wstring& extension);

    void close(INT_PTR result);

    const std::wstring sources_;
    wchar_t* const text_;
    CFileTypeArray shown_;       // one record per extension that has (or had) a row
    CFileTypeArray textRecords_; // the extensions of the text at the last synchronisation
    UniqueImageList images_;

    std::shared_ptr<ExtensionSearch> search_;
    UniqueHandle searchThread_;

    bool filling_ = false;    // the first filling at opening
    bool syncing_ = false;    // ticks are being set from the text
    bool writingText_ = false;
    bool inserting_ = false;  // the dialog inserts or unticks a row itself
    bool changingTick_ = false;
    bool sortPosted_ = false;
};

} // namespace sorvane
