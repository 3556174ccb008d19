#include "dialogs/DlgBrowseFileExt.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "common/ui/GdiRaii.h"
#include "common/ui/HtmlHelp.h"
#include "common/ui/PictureButton.h"
#include "base/AppState.h"
#include "base/Strings.h"
#include "dialogs/LabelledText.h"

namespace sorvane {

using namespace browseext;

namespace {

constexpr wchar_t kAllFilesExtension[] = L".*";
constexpr UINT kHelpContextCommand = 0x000F; // HH_HELP_CONTEXT
constexpr int kDescriptionCapacity = 64;
constexpr int kImageSize = 16;
constexpr int kImageGrowth = 8;
constexpr int kGenericFileImage = 0;
constexpr int kProgramFileImage = 1;
constexpr UINT kUntickedImage = INDEXTOSTATEIMAGEMASK(1);
constexpr UINT kTickedImage = INDEXTOSTATEIMAGEMASK(2);
constexpr uint32_t kMarkNone = 0, kMarkPresent = 1, kMarkNew = 2;

bool isAllFiles(const std::wstring& extension) { return extension == kAllFilesExtension; }

// The extension an item of the pattern text stands for, or empty for none:
// "*.txt" gives ".txt", "*.*" gives ".*"; ".", "*." and ".*" stand for
// nothing; any other item is taken as it is.
std::wstring extensionOfItem(const std::wstring& rawItem)
{
    const std::wstring item = trimmedBlanks(rawItem);
    if (item.empty() || item == L"." || item == L"*." || item == L".*") return {};
    if (item.size() >= 2 && item[0] == L'*' && item[1] == L'.') return item.substr(1);
    return item;
}

// Whether an item of the text names `extension` (ignoring case, with or
// without a leading "*").
bool itemNames(const std::wstring& rawItem, const std::wstring& extension)
{
    const std::wstring item = trimmedBlanks(rawItem);
    if (equalNoCase(item, extension)) return true;
    return !item.empty() && item[0] == L'*' && equalNoCase(item.substr(1), extension);
}

} // namespace

CDlgBrowseFileExt::CDlgBrowseFileExt(const wchar_t* sources, wchar_t* text)
    : sources_(sources ? sources : L""), text_(text)
{
}

CDlgBrowseFileExt::~CDlgBrowseFileExt()
{
    // A search still running keeps its own object; it only loses its way back.
    if (search_) search_->Release();
}

INT_PTR CDlgBrowseFileExt::Run(HWND owner)
{
    const INT_PTR result = DoModal(owner);
    return result == 1 ? 1 : 0;
}

// ---------------------------------------------------------------- opening

BOOL CDlgBrowseFileExt::OnInitDialog(HWND, LPARAM)
{
    CenterWindow(GetParent());
    // "Search" answers Enter itself when it has the focus, not "Close".
    ui::AttachPushButtonKeys(m_hWnd);
    setUpImages();
    setUpColumns();
    SendDlgItemMessage(kText, EM_LIMITTEXT, kTextCapacity, 0);

    const std::wstring entry =
        text_ ? std::wstring(text_, std::find(text_, text_ + kTextCapacity - 1, L'\0')) : std::wstring();
    filling_ = true;
    syncing_ = true;
    syncTicksFromText(entry, false);
    syncing_ = false;
    filling_ = false;

    writeText(entry);
    // The text is typed on, not replaced: the caret waits at its end.
    PostMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(kText)), TRUE);
    ::PostMessageW(GetDlgItem(kText), EM_SETSEL, entry.size(), entry.size());
    startSearch();
    return TRUE;
}

void CDlgBrowseFileExt::setUpImages()
{
    images_.reset(::ImageList_Create(kImageSize, kImageSize, ILC_COLOR32 | ILC_MASK, 2, kImageGrowth));
    if (!images_) return;
    // The two pictures of bitmap 334; the top-left pixel's colour is transparent.
    HBITMAP pictures = static_cast<HBITMAP>(
        ::LoadImageW(ui::resourceInstance(), MAKEINTRESOURCEW(kFileTypesBitmap), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!pictures) {
        pictures = static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kFileTypesBitmap),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    }
    if (pictures) {
        UniqueGdiObject owned(pictures);
        COLORREF transparent = RGB(255, 0, 255);
        {
            ui::WindowDc screen(nullptr);
            ui::MemoryDc memory(screen.get());
            if (memory) {
                ui::SelectObjectGuard selected(memory.get(), pictures);
                transparent = ::GetPixel(memory.get(), 0, 0);
            }
        }
        ::ImageList_AddMasked(images_.get(), pictures, transparent);
    }
    ::SendMessageW(list(), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images_.get()));
}

void CDlgBrowseFileExt::setUpColumns()
{
    HWND view = list();
    ::SendMessageW(view, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                   LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT client = {};
    ::GetClientRect(view, &client);
    const int width = client.right - client.left - ::GetSystemMetrics(SM_CXVSCROLL);
    const UINT titles[] = {kExtensionColumnString, kDescriptionColumnString};
    const int widths[] = {width * 30 / 100 - 1, width * 70 / 100 - 1};
    for (int column = 0; column < 2; ++column) {
        std::wstring title = loadString(titles[column]);
        LVCOLUMNW info = {};
        info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        info.fmt = LVCFMT_LEFT;
        info.cx = widths[column];
        info.pszText = &title[0];
        info.iSubItem = column;
        ::SendMessageW(view, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
    }
}

// ---------------------------------------------------------------- rows

int CDlgBrowseFileExt::findRow(const CFileType* record) const noexcept
{
    if (!record) return -1;
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(record);
    return static_cast<int>(::SendMessageW(list(), LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

bool CDlgBrowseFileExt::rowTicked(HWND view, int row) noexcept
{
    return (::SendMessageW(view, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) == kTickedImage;
}

void CDlgBrowseFileExt::setRowTick(int row, bool ticked) noexcept
{
    LVITEMW state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = ticked ? kTickedImage : kUntickedImage;
    ::SendMessageW(list(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

int CDlgBrowseFileExt::insertRow(CFileType* record, bool top)
{
    const bool wasInserting = inserting_;
    inserting_ = true;
    const std::wstring extension = record->extension();
    wchar_t description[kDescriptionCapacity] = {};
    if (isAllFiles(extension)) {
        loadString(kAllFilesDescriptionString, description, kDescriptionCapacity);
    } else {
        HICON found = nullptr;
        Describe(extension.c_str(), description, kDescriptionCapacity, &found);
        UniqueIcon icon(found);
        if (icon && record->imageIndex < 0 && images_) {
            const int index = ::ImageList_AddIcon(images_.get(), icon.get());
            record->imageIndex = index >= 0 ? index : kGenericFileImage;
        }
    }
    int image = record->imageIndex;
    if (image < 0 || isAllFiles(extension)) {
        image = equalNoCase(extension, L".exe") ? kProgramFileImage : kGenericFileImage;
    }

    HWND view = list();
    LVITEMW row = {};
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    row.iItem = top ? 0 : static_cast<int>(::SendMessageW(view, LVM_GETITEMCOUNT, 0, 0));
    row.pszText = const_cast<wchar_t*>(extension.c_str());
    row.iImage = image;
    row.lParam = reinterpret_cast<LPARAM>(record);
    const int index = static_cast<int>(::SendMessageW(view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    if (index >= 0) {
        if (description[0]) {
            LVITEMW text = {};
            text.iSubItem = 1;
            text.pszText = description;
            ::SendMessageW(view, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&text));
        }
        if (record->ticked) setRowTick(index, true);
    }
    inserting_ = wasInserting;
    return index;
}

int CALLBACK CDlgBrowseFileExt::compareRows(LPARAM a, LPARAM b, LPARAM) noexcept
{
    const auto* first = reinterpret_cast<const CFileType*>(a);
    const auto* second = reinterpret_cast<const CFileType*>(b);
    if (!first || !second) return 0;
    // Ticked rows first; each group by extension, ignoring case.
    if (first->ticked != second->ticked) return first->ticked ? -1 : 1;
    return compareExtensions(first->extension(), second->extension());
}

void CDlgBrowseFileExt::sortRows() noexcept
{
    sortPosted_ = false;
    ::SendMessageW(list(), LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(compareRows));
}

void CDlgBrowseFileExt::postSort() noexcept
{
    // Never while the list is telling of a change: the row would move under it.
    if (!sortPosted_) sortPosted_ = PostMessage(kSortMessage) != FALSE;
}

// ---------------------------------------------------------------- text and ticks

std::wstring CDlgBrowseFileExt::currentText() const
{
    std::wstring text = GetDlgItemText(kText);
    if (text.size() > kTextCapacity - 1) text.resize(kTextCapacity - 1);
    return text;
}

void CDlgBrowseFileExt::writeText(const std::wstring& text)
{
    const bool wasWriting = writingText_;
    writingText_ = true;
    SetDlgItemText(kText, text.c_str());
    writingText_ = wasWriting;
}

void CDlgBrowseFileExt::syncTicksFromText(const std::wstring& text, bool typed)
{
    const bool wasSyncing = syncing_;
    syncing_ = true;
    bool changed = false;

    for (int i = 0; i < textRecords_.Count(); ++i) textRecords_.At(i)->mark = kMarkNone;
    for (const std::wstring& item : splitItems(splitLabelled(text).value)) {
        const std::wstring extension = extensionOfItem(item);
        if (extension.empty()) continue;
        CFileType* record = nullptr;
        if (textRecords_.Add(extension.c_str(), true, typed, kMarkNew, &record) == CFileTypeArray::kExisting && record) {
            record->mark = kMarkPresent;
        }
    }

    // Named in the text: a ticked row, made when missing. A row that the
    // dialog unticked itself while the text still named it is ticked again.
    for (int i = 0; i < textRecords_.Count(); ++i) {
        CFileType* named = textRecords_.At(i);
        if (named->mark == kMarkNone) continue;
        CFileType* record = shown_.Find(named->extension());
        if (!record) {
            if (named->mark != kMarkNew) continue;
            shown_.Add(named->extension(), true, typed, kMarkNone, &record);
            if (!record) continue;
        }
        const int row = findRow(record);
        if (row < 0) {
            record->ticked = 1;
            insertRow(record, true);
            changed = true;
        } else if (!rowTicked(list(), row)) {
            setRowTick(row, true);
            record->ticked = 1;
            changed = true;
        }
    }

    // Gone from the text: a typed row goes, any other is unticked.
    for (int i = textRecords_.Count() - 1; i >= 0; --i) {
        if (textRecords_.At(i)->mark != kMarkNone) continue;
        if (CFileType* record = shown_.Find(textRecords_.At(i)->extension())) {
            const int row = findRow(record);
            if (row >= 0) {
                const bool wasInserting = inserting_;
                inserting_ = true;
                if (record->typed) {
                    ::SendMessageW(list(), LVM_DELETEITEM, row, 0);
                } else {
                    setRowTick(row, false);
                }
                inserting_ = wasInserting;
                changed = true;
            }
            record->ticked = 0;
        }
        textRecords_.RemoveAt(i);
    }

    syncing_ = wasSyncing;
    if (changed) sortRows();
}

void CDlgBrowseFileExt::refreshTextRecords()
{
    // After the dialog rewrote the text itself: the records name what it
    // names now, so that the user's next edit compares with the right text.
    for (int i = 0; i < textRecords_.Count(); ++i) textRecords_.At(i)->mark = kMarkNone;
    for (const std::wstring& item : splitItems(splitLabelled(currentText()).value)) {
        const std::wstring extension = extensionOfItem(item);
        if (!extension.empty()) textRecords_.Add(extension.c_str(), true, false, kMarkPresent);
    }
    for (int i = textRecords_.Count() - 1; i >= 0; --i) {
        if (textRecords_.At(i)->mark == kMarkNone) textRecords_.RemoveAt(i);
    }
}

bool CDlgBrowseFileExt::addExtensionToText(const std::wstring& extension)
{
    const std::wstring text = currentText();
    for (const std::wstring& item : splitItems(splitLabelled(text).value)) {
        if (itemNames(item, extension)) return true;
    }
    std::wstring added;
    if (!text.empty() && text.back() != L';' && text.back() != L'|') added += L';';
    if (!extension.empty() && extension[0] == L'.') added += L'*';
    added += extension;
    added += L';';
    if (text.size() + added.size() > kTextCapacity - 1) {
        ::MessageBeep(MB_OK);
        return false;
    }
    writeText(text + added);
    return true;
}

void CDlgBrowseFileExt::removeExtensionFromText(const std::wstring& extension)
{
    const LabelledText parts = splitLabelled(currentText());
    std::vector<std::wstring> items = splitItems(parts.value);
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&extension](const std::wstring& item) { return itemNames(item, extension); }),
                items.end());
    writeText(joinLabelled(parts.label, joinItems(items)));
}

bool CDlgBrowseFileExt::onTickChanging(const NMLISTVIEW& change)
{
    if (!(change.uChanged & LVIF_STATE)) return false;
    const UINT oldImage = change.uOldState & LVIS_STATEIMAGEMASK;
    const UINT newImage = change.uNewState & LVIS_STATEIMAGEMASK;
    if (!newImage || newImage == oldImage) return false;
    if (filling_ || inserting_ || changingTick_) return false;
    auto* record = reinterpret_cast<CFileType*>(change.lParam);
    if (!record) {
        LVITEMW row = {};
        row.mask = LVIF_PARAM;
        row.iItem = change.iItem;
        if (::SendMessageW(list(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&row))) {
            record = reinterpret_cast<CFileType*>(row.lParam);
        }
        if (!record) return false;
    }
    const bool ticking = newImage == kTickedImage;
    if (syncing_) {
        record->ticked = ticking ? 1 : 0;
        return false;
    }

    changingTick_ = true;
    bool refused = false;
    bool manyUnticked = false;
    const std::wstring extension = record->extension();
    if (!ticking) {
        removeExtensionFromText(extension);
    } else if (isAllFiles(extension)) {
        // All files: nothing else can be ticked beside it.
        writeText(std::wstring());
        inserting_ = true;
        HWND view = list();
        const int rows = static_cast<int>(::SendMessageW(view, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; ++row) {
            if (row != change.iItem && rowTicked(view, row)) setRowTick(row, false);
        }
        inserting_ = false;
        for (int i = 0; i < shown_.Count(); ++i) shown_.At(i)->ticked = 0;
        manyUnticked = true;
    } else if (CFileType* all = shown_.Find(kAllFilesExtension)) {
        const int allRow = findRow(all);
        if (allRow >= 0 && rowTicked(list(), allRow)) {
            removeExtensionFromText(kAllFilesExtension);
            inserting_ = true;
            setRowTick(allRow, false);
            inserting_ = false;
            all->ticked = 0;
        }
    }
    if (ticking && !addExtensionToText(extension)) refused = true;
    record->ticked = ticking && !refused ? 1 : 0;
    refreshTextRecords();
    changingTick_ = false;
    if (!manyUnticked) postSort();
    return refused;
}

// ---------------------------------------------------------------- search

void CDlgBrowseFileExt::startSearch()
{
    if (search_) return;
    auto search = std::make_shared<ExtensionSearch>(sources_, m_hWnd, kSearchUpdateMessage, static_cast<WORD>(kSearch));
    UniqueHandle thread = ExtensionSearch::Start(search);
    if (!thread) {
        ::MessageBeep(MB_OK);
        return;
    }
    search_ = std::move(search);
    searchThread_ = std::move(thread);
    ui::SetButtonState(m_hWnd, kSearch, 0, true);
}

void CDlgBrowseFileExt::stopSearch()
{
    if (!search_) return;
    search_->RequestStop();
    ui::SetButtonState(m_hWnd, kSearch, kIdleFrame, true);
    if (searchThread_) ::WaitForSingleObject(searchThread_.get(), kStopWait);
    // What was found up to here is listed; a thread still running after the
    // wait goes on with its own object and tells nobody.
    takeSearchUpdate();
    search_->Release();
    search_.reset();
    searchThread_.reset();
    sortRows();
}

void CDlgBrowseFileExt::takeSearchUpdate()
{
    if (!search_) return;
    ExtensionSearch::Update update = search_->TakeUpdate();
    for (const std::wstring& extension : update.extensions) addFoundExtension(extension);
    if (!search_->StopRequested()) ui::SetButtonState(m_hWnd, kSearch, static_cast<int>(update.frame), true);
}

void CDlgBrowseFileExt::addFoundExtension(const std::wstring& extension)
{
    CFileType* record = shown_.Find(extension.c_str());
    if (!record) {
        shown_.Add(extension.c_str(), false, false, kMarkNone, &record);
        if (record) insertRow(record, false);
        return;
    }
    // Files have it: it is no longer only typed, and a row it lost comes back.
    record->typed = 0;
    if (findRow(record) < 0) {
        record->ticked = 0;
        insertRow(record, false);
    }
}

// ---------------------------------------------------------------- dispatch

void CDlgBrowseFileExt::close(INT_PTR result)
{
    stopSearch();
    if (result == 1 && text_) {
        const std::wstring text = currentText();
        std::wmemcpy(text_, text.c_str(), text.size() + 1);
    }
    EndDialog(static_cast<int>(result));
}

bool CDlgBrowseFileExt::OnCommand(WORD id, WORD code, HWND control)
{
    switch (id) {
    case kClose:
        close(1);
        return true;
    case IDCANCEL:
        close(0);
        return true;
    case kSearch:
        if (!control) {
            // The thread's report of its end. One from a search stopped
            // earlier finds another search running, or none, and is ignored.
            if (search_ && search_->Finished()) stopSearch();
            return true;
        }
        if (code != BN_CLICKED) return false;
        if (search_) {
            stopSearch();
        } else {
            startSearch();
        }
        return true;
    case kText:
        if (code == EN_CHANGE && !writingText_) syncTicksFromText(currentText(), true);
        return code == EN_CHANGE;
    default:
        return false;
    }
}

bool CDlgBrowseFileExt::OnNotify(int id, NMHDR* header, LRESULT& result)
{
    if (id != kList || !header || header->code != LVN_ITEMCHANGING) return false;
    result = onTickChanging(*reinterpret_cast<const NMLISTVIEW*>(header)) ? TRUE : FALSE;
    return true;
}

bool CDlgBrowseFileExt::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case kSearchUpdateMessage:
        takeSearchUpdate();
        result = 0;
        return true;
    case kSortMessage:
        sortRows();
        result = 0;
        return true;
    case WM_DRAWITEM: {
        const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (!draw || draw->CtlID != static_cast<UINT>(kSearch)) return false;
        ui::DrawButton(m_hWnd, draw->hDC, kSearch, draw->rcItem, draw->itemState);
        result = TRUE;
        return true;
    }
    case WM_HELP:
        ui::htmlHelp(m_hWnd, app().helpFilePath, kHelpContextCommand, kHelpTopic);
        result = TRUE;
        return true;
    default:
        return false;
    }
}

void CDlgBrowseFileExt::OnDestroy()
{
    stopSearch();
    ui::RemoveButtonState(m_hWnd, kSearch);
}

} // namespace sorvane
