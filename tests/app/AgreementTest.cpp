// The agreement viewer on its real dialog template and rich-text control:
// the text it holds, the message for a missing agreement, detected links
// and what a click on one opens, its help requests and its results.
#include <gtest/gtest.h>

#include <windows.h>

#include <commdlg.h>
#include <richedit.h>

#include <htmlhelp.h>

#include "ControlHost.h"
#include "TestSupport.h"
#include "res/SorvaneRes.h"
#include "common/ui/AgreementDlg.h"
#include "common/ui/HtmlHelp.h"

#include <atomic>
#include <cctype>
#include <cwctype>
#include <string>
#include <thread>
#include <vector>

using namespace sorvane;
using sorvane::ui::CAgreementDlg;

namespace {

constexpr wchar_t kCaption[] = L"Sorvane shell extension";

// The words of a text, one blank between them.
std::wstring words(const std::wstring& text)
{
    std::wstring out;
    bool blank = false;
    for (wchar_t c : text) {
        if (std::iswspace(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += L' ';
        blank = false;
        out += c;
    }
    return out;
}

// What a reader of the rich text sees: the text without control words,
// groups of the header tables and braces.
std::wstring plainTextOfRtf(const std::string& rtf)
{
    std::wstring out;
    int skipDepth = 0;
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '{') {
            ++depth;
            if (!skipDepth && (rtf.compare(i, 9, "{\\fonttbl") == 0 || rtf.compare(i, 10, "{\\colortbl") == 0)) {
                skipDepth = depth;
            }
        } else if (c == '}') {
            if (skipDepth == depth) skipDepth = 0;
            --depth;
        } else if (c == '\\' && i + 1 < rtf.size()) {
            const char next = rtf[i + 1];
            if (next == '\\' || next == '{' || next == '}') {
                if (!skipDepth) out += static_cast<wchar_t>(next);
                ++i;
                continue;
            }
            std::string word;
            size_t j = i + 1;
            while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j]))) word += rtf[j++];
            while (j < rtf.size() && (std::isdigit(static_cast<unsigned char>(rtf[j])) || rtf[j] == '-')) ++j;
            if (j < rtf.size() && rtf[j] == ' ') ++j;
            if (word == "par" && !skipDepth) out += L'\n';
            i = j - 1;
        } else if (c != '\r' && c != '\n' && !skipDepth) {
            out += static_cast<wchar_t>(static_cast<unsigned char>(c));
        }
    }
    return out;
}

std::string agreementResource()
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_AGREEMENT), L"AGREEMENT");
    if (!found) return {};
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    return std::string(data, ::SizeofResource(module, found));
}

LONG findText(HWND box, const wchar_t* text)
{
    FINDTEXTW find = {{0, -1}, text};
    return static_cast<LONG>(::SendMessageW(box, EM_FINDTEXTW, FR_DOWN, reinterpret_cast<LPARAM>(&find)));
}

bool isLinkAt(HWND box, LONG position)
{
    ::SendMessageW(box, EM_SETSEL, position, position + 1);
    CHARFORMAT2W format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_LINK;
    ::SendMessageW(box, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return (format.dwEffects & CFE_LINK) != 0;
}

void clickLink(HWND dialog, HWND box, LONG first, LONG last)
{
    ENLINK link = {};
    link.nmhdr.hwndFrom = box;
    link.nmhdr.idFrom = CAgreementDlg::kTextBoxId;
    link.nmhdr.code = EN_LINK;
    link.msg = WM_LBUTTONDOWN;
    link.chrg.cpMin = first;
    link.chrg.cpMax = last;
    ::SendMessageW(dialog, WM_NOTIFY, CAgreementDlg::kTextBoxId, reinterpret_cast<LPARAM>(&link));
}

bool waitFor(const std::wstring& path)
{
    for (int i = 0; i < 100; ++i) {
        if (test::exists(path)) return true;
        ::Sleep(100);
    }
    return false;
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class AgreementWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A display is needed for any window.
        HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(probe, nullptr) << "needs a display";
        ::DestroyWindow(probe);
    }
};

TEST_F(AgreementWindow, TextBoxHoldsTheAgreementsText)
{
    CAgreementDlg dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    EXPECT_EQ(dialog.GetWindowText(), kCaption);
    HWND box = dialog.textBox();
    ASSERT_NE(box, nullptr);
    wchar_t className[32] = {};
    ::GetClassNameW(box, className, 32);
    EXPECT_EQ(::_wcsicmp(className, L"RICHEDIT20A"), 0) << className;
    EXPECT_EQ(std::wstring(dialog.textBoxClass()), L"RICHEDIT20A");
    const LONG_PTR style = ::GetWindowLongPtrW(box, GWL_STYLE);
    EXPECT_TRUE(style & ES_READONLY);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_FALSE(::IsWindowVisible(dialog.GetDlgItem(CAgreementDlg::kPlaceholderId)));
    // The box takes the placeholder's place.
    const RECT boxRect = dialog.ChildRect(CAgreementDlg::kTextBoxId);
    const RECT placeRect = dialog.ChildRect(CAgreementDlg::kPlaceholderId);
    EXPECT_EQ(boxRect.left, placeRect.left);
    EXPECT_EQ(boxRect.bottom, placeRect.bottom);

    const std::string rtf = agreementResource();
    ASSERT_EQ(rtf.compare(0, 6, "{\\rtf1"), 0) << "the agreement is rich text";
    const std::wstring expected = words(plainTextOfRtf(rtf));
    ASSERT_GT(expected.size(), 500u);
    const std::wstring shown = test::windowText(box);
    EXPECT_EQ(words(shown), expected);
    EXPECT_EQ(shown.find(L"\\"), std::wstring::npos);
    // Read-only: typing changes nothing.
    ::SendMessageW(box, WM_CHAR, L'x', 0);
    EXPECT_EQ(test::windowText(box), shown);
}

TEST_F(AgreementWindow, MissingAgreementSaysSo)
{
    CAgreementDlg dialog(nullptr, 9999);
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    ASSERT_NE(dialog.textBox(), nullptr);
    EXPECT_EQ(test::windowText(dialog.textBox()), L"Unable to load license!");
}

TEST_F(AgreementWindow, WebAddressesAreDetectedAsLinks)
{
    CAgreementDlg dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    HWND box = dialog.textBox();
    const LONG at = findText(box, L"https://sorvane.example.org/licence");
    ASSERT_GE(at, 0);
    EXPECT_TRUE(isLinkAt(box, at + 3));
    EXPECT_TRUE(isLinkAt(box, at + 30));
    EXPECT_FALSE(isLinkAt(box, 2)) << "the title is plain text";
    EXPECT_FALSE(isLinkAt(box, at - 3));
}

TEST_F(AgreementWindow, ClickedLinksAreOpened)
{
    test::TempFolder folder;
    CAgreementDlg dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    HWND box = dialog.textBox();

    // A plain path, and a "file:" link whose rest is the path.
    for (const wchar_t* prefix : {L"", L"file:"}) {
        const std::wstring marker = folder / (std::wstring(L"marker") + (prefix[0] ? L"2" : L"1") + L".txt");
        const std::wstring script = folder / (std::wstring(L"open") + (prefix[0] ? L"2" : L"1") + L".cmd");
        ASSERT_TRUE(test::writeBytes(script, "@echo opened> \"" + narrow(marker) + "\"\r\n"));
        const std::wstring link = prefix + script;
        ::SetWindowTextW(box, link.c_str());
        clickLink(dialog, box, 0, static_cast<LONG>(link.size()));
        EXPECT_TRUE(waitFor(marker)) << narrow(link);
    }
}

TEST_F(AgreementWindow, BareFileNameLinkFallsBackToTheProgramsFolder)
{
    test::TempFolder elsewhere;
    const std::wstring name = L"sorvane-agreement-link.cmd";
    const std::wstring script = test::programFolder() + name;
    const std::wstring marker = elsewhere / L"from-program-folder.txt";
    ASSERT_TRUE(test::writeBytes(script, "@echo opened> \"" + narrow(marker) + "\"\r\n"));
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ::SetCurrentDirectoryW(elsewhere.path().c_str()); // the name alone finds nothing here

    CAgreementDlg dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    HWND box = dialog.textBox();
    const std::wstring link = L"file:" + name;
    ::SetWindowTextW(box, link.c_str());
    clickLink(dialog, box, 0, static_cast<LONG>(link.size()));
    EXPECT_TRUE(waitFor(marker));

    ::SetCurrentDirectoryW(previous);
    ::DeleteFileW(script.c_str());
}

struct HelpCall {
    HWND caller;
    std::wstring file;
    UINT command;
    std::vector<DWORD> map;
    DWORD_PTR data;
};
std::vector<HelpCall> g_helpCalls;

HWND recordHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data)
{
    HelpCall call{caller, file ? file : L"", command, {}, data};
    if (command == HH_TP_HELP_WM_HELP) {
        for (const DWORD* pair = reinterpret_cast<const DWORD*>(data); pair[0]; pair += 2) {
            call.map.push_back(pair[0]);
            call.map.push_back(pair[1]);
        }
    }
    g_helpCalls.push_back(call);
    return nullptr;
}

TEST_F(AgreementWindow, HelpShowsPopupsForTheBoxAndOkAndTheTopicOtherwise)
{
    g_helpCalls.clear();
    ui::HtmlHelpHook previous = ui::setHtmlHelpHook(recordHelp);
    const wchar_t* helpFile = L"C:\\Program Files\\Sorvane\\Sorvane.chm";
    CAgreementDlg dialog(helpFile);
    ASSERT_NE(dialog.Create(nullptr), nullptr);

    auto askHelp = [&](int id, int contextType) {
        HELPINFO info = {};
        info.cbSize = sizeof(info);
        info.iContextType = contextType;
        info.iCtrlId = id;
        info.hItemHandle = id > 0 ? dialog.GetDlgItem(id) : nullptr;
        return ::SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    };
    EXPECT_TRUE(askHelp(CAgreementDlg::kTextBoxId, HELPINFO_WINDOW));
    askHelp(IDOK, HELPINFO_WINDOW);
    askHelp(IDC_STATIC, HELPINFO_WINDOW);  // the group box
    askHelp(IDM_ABOUT, HELPINFO_MENUITEM); // a menu: nothing
    ui::setHtmlHelpHook(previous);

    const std::vector<DWORD> map = {IDC_AGREEMENT_TEXT, 0x20010, IDOK, 0x20011};
    ASSERT_EQ(g_helpCalls.size(), 3u);
    EXPECT_EQ(g_helpCalls[0].command, static_cast<UINT>(HH_TP_HELP_WM_HELP));
    EXPECT_EQ(g_helpCalls[0].caller, dialog.textBox());
    EXPECT_EQ(g_helpCalls[0].map, map);
    EXPECT_EQ(g_helpCalls[0].file, helpFile);
    EXPECT_EQ(g_helpCalls[1].command, static_cast<UINT>(HH_TP_HELP_WM_HELP));
    EXPECT_EQ(g_helpCalls[1].caller, dialog.GetDlgItem(IDOK));
    EXPECT_EQ(g_helpCalls[2].command, static_cast<UINT>(HH_HELP_CONTEXT));
    EXPECT_EQ(g_helpCalls[2].data, 0x20001u);
    EXPECT_EQ(g_helpCalls[2].caller, dialog.m_hWnd);
}

// Presses a button of this thread's agreement viewer once it shows.
class ViewerPresser {
public:
    explicit ViewerPresser(WORD button)
        : thread_(::GetCurrentThreadId()), worker_([this, button] { run(button); })
    {
    }
    ~ViewerPresser()
    {
        stop_ = true;
        worker_.join();
    }
    bool pressed() const { return pressed_; }

private:
    static BOOL CALLBACK match(HWND window, LPARAM found)
    {
        wchar_t text[64] = {};
        ::GetWindowTextW(window, text, 64);
        if (std::wstring(text) == kCaption && ::IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }
    void run(WORD button)
    {
        for (int i = 0; i < 200 && !stop_; ++i) {
            HWND found = nullptr;
            ::EnumThreadWindows(thread_, match, reinterpret_cast<LPARAM>(&found));
            if (found) {
                ::PostMessageW(found, WM_COMMAND, button, 0);
                pressed_ = true;
                return;
            }
            ::Sleep(50);
        }
    }
    DWORD thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> pressed_{false};
    std::thread worker_;
};

TEST_F(AgreementWindow, OkGivesOneCancelGivesZeroAndTheLibraryIsFreed)
{
    ASSERT_EQ(::GetModuleHandleW(L"riched20.dll"), nullptr) << "nothing else loaded the rich-text library";
    {
        ViewerPresser presser(IDOK);
        EXPECT_EQ(ui::ShowAgreement(nullptr), 1);
        EXPECT_TRUE(presser.pressed());
    }
    {
        ViewerPresser presser(IDCANCEL);
        EXPECT_EQ(ui::ShowAgreement(nullptr), 0);
        EXPECT_TRUE(presser.pressed());
    }
    EXPECT_EQ(::GetModuleHandleW(L"riched20.dll"), nullptr);
}

} // namespace
