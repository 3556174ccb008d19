// History combo boxes made friendlier: the drop-down list scrolls sideways
// as far as its widest entry, the highlighted entry shows its whole text in
// a tip, and Delete pressed while the list is down removes that entry.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "common/ui/ToolTip.h"
#include "common/ui/Window.h"

namespace sorvane::ui {

class CWndScrollList : public CWindow {
public:
    // Sent to the combo box's parent before an entry is removed with the
    // Delete key: wParam the entry's index, lParam the combo box.
    static constexpr UINT kEntryDeletedMessage = WM_USER + 1;

    CWndScrollList() noexcept = default;
    ~CWndScrollList() override;
    CWndScrollList(const CWndScrollList&) = delete;
    CWndScrollList& operator=(const CWndScrollList&) = delete;

    // Takes over a combo box, its edit control and its list. False for a
    // window of another class (list boxes are not supported).
    bool Attach(HWND comboBox);
    // Lets the combo box go; returns it.
    HWND Detach() noexcept;

    HWND edit() const noexcept { return edit_; }
    HWND list() const noexcept { return list_; }
    // The width the list scrolls to: the widest entry's, 0 when empty.
    int widestEntry() const noexcept { return widths_.empty() ? 0 : widths_.back().first; }
    // The entry whose full text the tip shows, -1 for none.
    int tipEntry() const noexcept { return tipIndex_; }

protected:
    enum MessageMap : DWORD { kComboMap = 0, kEditMap = 1, kListMap = 2 };
    // One message of the combo box (map 0), its edit control (1) or its
    // list (2); true when handled, with `result` as the answer.
    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                      DWORD mapId);
    // After the combo box's last message.
    virtual void OnFinalMessage(HWND /*window*/) {}

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR mapId, DWORD_PTR self) noexcept;
    bool KeepsStrings() const noexcept;
    int EntryWidth(const wchar_t* text) const noexcept;
    void AddWidth(int width);
    void RemoveWidth(int width);
    void SetExtent(int width) noexcept;
    bool IsDropped() const noexcept;
    bool DeleteHighlighted() noexcept;
    void ShowEntryTip() noexcept;
    void ListHidden() noexcept;
    void Unsubclass(HWND window, DWORD mapId) noexcept;

    HWND edit_ = nullptr;
    HWND list_ = nullptr;
    std::vector<std::pair<int, int>> widths_; // (width in pixels, entries that wide), ascending
    bool dropped_ = false;
    int tipIndex_ = -1;
    RECT tipRect_ = {};
};

// The tooltip every scrolling list shares, made on first use and kept for
// the life of the process.
CToolTip& scrollListToolTip() noexcept;

} // namespace sorvane::ui
