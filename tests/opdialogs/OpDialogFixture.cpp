#include "OpDialogFixture.h"

#include <cwchar>

#include "common/ui/HtmlHelp.h"
#include "common/ui/Window.h"

namespace sorvane::test {

namespace {

HWND recordHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data)
{
    helpRequests().push_back({caller, file ? file : L"", command, data});
    return nullptr;
}

LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

std::vector<HelpRequest>& helpRequests()
{
    static std::vector<HelpRequest> list;
    return list;
}

void OpDialogTest::SetUp()
{
    history().destines.Clear();
    history().archives.Clear();
    history().types.Clear();
    helpRequests().clear();
    previousHelpHook_ = reinterpret_cast<void*>(ui::setHtmlHelpHook(recordHelp));
    previousInteractive_ = app().interactiveMode;
    app().interactiveMode = false;
    std::wcscpy(app().helpFilePath, L"C:\\Program Files\\Sorvane\\Sorvane.chm");

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ownerProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = L"SorvaneDialogTestOwner";
    ::RegisterClassW(&windowClass);
    owner = ::CreateWindowExW(0, windowClass.lpszClassName, L"Sorvane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                              700, 500, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(owner, nullptr) << "the dialog tests need a display";
    ASSERT_TRUE(tip.Create(owner, TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON, WS_EX_TOPMOST));
    previousTip_ = app().tooltip;
    app().tooltip = tip.handle();
}

void OpDialogTest::TearDown()
{
    app().tooltip = previousTip_;
    app().interactiveMode = previousInteractive_;
    ui::setHtmlHelpHook(reinterpret_cast<ui::HtmlHelpHook>(previousHelpHook_));
    EXPECT_FALSE(driver.timedOut()) << "a dialog was left open and had to be cancelled";
    if (owner) ::DestroyWindow(owner);
}

HWND OpDialogTest::comboEdit(HWND combo)
{
    COMBOBOXINFO info = {};
    info.cbSize = sizeof(info);
    return combo && ::GetComboBoxInfo(combo, &info) ? info.hwndItem : nullptr;
}

std::wstring OpDialogTest::text(HWND dialog, int id)
{
    HWND control = ::GetDlgItem(dialog, id);
    if (!control) return L"<missing>";
    return ui::CWindow(control).GetWindowText();
}

void OpDialogTest::setText(HWND dialog, int id, const std::wstring& value)
{
    ::SetDlgItemTextW(dialog, id, value.c_str());
}

void OpDialogTest::type(HWND edit, const std::wstring& value)
{
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    if (value.empty()) {
        ::SendMessageW(edit, WM_CHAR, VK_BACK, 0);
        return;
    }
    for (wchar_t c : value) ::SendMessageW(edit, WM_CHAR, c, 1);
}

std::vector<std::wstring> OpDialogTest::comboEntries(HWND combo)
{
    std::vector<std::wstring> list;
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring entry(static_cast<size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        entry.resize(static_cast<size_t>(::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&entry[0]))));
        list.push_back(entry);
    }
    return list;
}

void OpDialogTest::click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void OpDialogTest::command(HWND dialog, int id, WORD code)
{
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

std::wstring OpDialogTest::tipText(HWND tool) const
{
    std::vector<wchar_t> buffer(65536, L'\0');
    TOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = ::GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = buffer.data();
    ::SendMessageW(tip.handle(), TTM_GETTEXTW, buffer.size(), reinterpret_cast<LPARAM>(&info));
    return buffer.data();
}

std::vector<std::wstring> OpDialogTest::entries(const CItemMngr& list)
{
    std::vector<std::wstring> texts;
    for (int i = 0; i < list.Count(); ++i) texts.push_back(list.At(i));
    return texts;
}

void OpDialogTest::fill(CItemMngr& list, const std::vector<std::wstring>& texts)
{
    list.Clear();
    for (const std::wstring& entry : texts) list.Add(entry.c_str(), false);
}

} // namespace sorvane::test
