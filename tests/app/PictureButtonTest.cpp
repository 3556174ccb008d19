// Picture buttons drawn into a bitmap and read back: which cell of the
// strip each kind shows for a state, where it lands, the embossed disabled
// look, and the strip's key colour never reaching the button.
#include <gtest/gtest.h>

#include <windows.h>

#include <uxtheme.h>

#include "ControlHost.h"
#include "res/SorvaneRes.h"
#include "common/ui/PictureButton.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace sorvane;
using namespace sorvane::ui;

namespace {

constexpr COLORREF kBackground = RGB(10, 200, 30); // what no button draws

struct Snapshot {
    int width;
    int height;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Snapshot snapshot(const test::Canvas& canvas)
{
    Snapshot shot{canvas.width(), canvas.height(), {}};
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) shot.pixels.push_back(canvas.pixel(x, y));
    }
    return shot;
}

class ButtonDrawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(host.window(), nullptr) << "needs a display";
        strip = test::loadBitmapPixels(::GetModuleHandleW(nullptr), kButtonStripBitmap);
        ASSERT_EQ(strip.width, 160);
        ASSERT_EQ(strip.height, 32);
        key = strip.at(0, 0);
    }

    HWND addButton(int id, const wchar_t* text, bool themed)
    {
        HWND button = host.addControl(L"BUTTON", text, BS_OWNERDRAW, id, 10, 10 + 30 * (count_++ % 8), 90, 26);
        // A class list no visual style has turns the theme off for the button.
        if (button && !themed) ::SetWindowTheme(button, nullptr, L"NoSuchThemeClass");
        return button;
    }

    // Draws the button into a fresh bitmap of the given size.
    Snapshot draw(int id, UINT state, int width = 60, int height = 30)
    {
        test::Canvas canvas(width, height, kBackground);
        const RECT rect = {0, 0, width, height};
        DrawButton(host.window(), canvas.dc(), id, rect, state);
        return snapshot(canvas);
    }

    bool opaque(int cell, int x, int y) const
    {
        return strip.at((cell % 10) * 16 + x, (cell / 10) * 16 + y) != key;
    }
    COLORREF cellPixel(int cell, int x, int y) const { return strip.at((cell % 10) * 16 + x, (cell / 10) * 16 + y); }

    // Where every opaque pixel of `cell` shows exactly, or (-1, -1).
    POINT find(const Snapshot& shot, int cell) const
    {
        bool empty = true;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) empty = empty && !opaque(cell, x, y);
        }
        if (empty) return POINT{-1, -1};
        for (int oy = 0; oy + 16 <= shot.height; ++oy) {
            for (int ox = 0; ox + 16 <= shot.width; ++ox) {
                bool all = true;
                for (int y = 0; y < 16 && all; ++y) {
                    for (int x = 0; x < 16 && all; ++x) {
                        if (opaque(cell, x, y) && shot.at(ox + x, oy + y) != cellPixel(cell, x, y)) all = false;
                    }
                }
                if (all) return POINT{ox, oy};
            }
        }
        return POINT{-1, -1};
    }
    bool shows(const Snapshot& shot, int cell) const { return find(shot, cell).x >= 0; }

    void expectCells(bool themed)
    {
        ASSERT_TRUE(addButton(IDC_BROWSE_EXTENSIONS, L">>", themed));
        ASSERT_TRUE(addButton(IDC_PICTURE_TWO_STATE, L"", themed));
        ASSERT_TRUE(addButton(IDC_EXTENSIONS_SEARCH, L"Search", themed));

        struct Case {
            int id;
            int value;
            int cell;
        } cases[] = {
            // kind 0: always the base cell
            {IDC_BROWSE_EXTENSIONS, 0, 16}, {IDC_BROWSE_EXTENSIONS, 3, 16},
            // kind 16: the next cell for any non-zero state
            {IDC_PICTURE_TWO_STATE, 0, 5}, {IDC_PICTURE_TWO_STATE, 1, 6}, {IDC_PICTURE_TWO_STATE, 7, 6},
            // kind 32: base + state
            {IDC_EXTENSIONS_SEARCH, 0, 10}, {IDC_EXTENSIONS_SEARCH, 2, 12}, {IDC_EXTENSIONS_SEARCH, 4, 14},
        };
        for (const Case& c : cases) {
            SetButtonState(host.window(), c.id, c.value, false);
            const Snapshot shot = draw(c.id, 0, c.id == IDC_EXTENSIONS_SEARCH ? 90 : 40, 26);
            EXPECT_TRUE(shows(shot, c.cell)) << "button " << c.id << " state " << c.value << " cell " << c.cell;
            for (int other : {5, 6, 10, 11, 12, 13, 14, 16}) {
                if (other != c.cell) {
                    EXPECT_FALSE(shows(shot, other)) << "button " << c.id << " state " << c.value << " shows " << other;
                }
            }
            for (COLORREF pixel : shot.pixels) ASSERT_NE(pixel, key) << "the key colour is transparent";
        }
    }

    test::ControlHost host{420, 320};
    test::Picture strip;
    COLORREF key = 0;

private:
    int count_ = 0;
};

TEST_F(ButtonDrawing, StateLivesInTheButtonsProperty)
{
    HWND button = addButton(IDC_PICTURE_TWO_STATE, L"", false);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(GetButtonState(host.window(), IDC_PICTURE_TWO_STATE), 0);
    SetButtonState(host.window(), IDC_PICTURE_TWO_STATE, 3, true);
    EXPECT_EQ(GetButtonState(host.window(), IDC_PICTURE_TWO_STATE), 3);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(::GetPropW(button, L"KVT_MyData")), 3);
    SetButtonState(host.window(), IDC_PICTURE_TWO_STATE, 3, false);
    EXPECT_EQ(GetButtonState(host.window(), IDC_PICTURE_TWO_STATE), 3);
    RemoveButtonState(host.window(), IDC_PICTURE_TWO_STATE);
    EXPECT_EQ(::GetPropW(button, L"KVT_MyData"), nullptr);
    EXPECT_EQ(GetButtonState(host.window(), IDC_PICTURE_TWO_STATE), 0);

    // A control the dialog lacks: nothing to keep, nothing breaks.
    SetButtonState(host.window(), 4242, 1, true);
    EXPECT_EQ(GetButtonState(host.window(), 4242), 0);
    RemoveButtonState(host.window(), 4242);
    EXPECT_EQ(GetButtonState(nullptr, IDC_PICTURE_TWO_STATE), 0);
}

TEST_F(ButtonDrawing, ClassicButtonsShowTheCellOfTheirKindAndState)
{
    HWND probe = addButton(IDC_PICTURE_UP, L"", false);
    ASSERT_NE(probe, nullptr);
    ASSERT_FALSE(buttonUsesTheme(probe));
    expectCells(false);
}

TEST_F(ButtonDrawing, ThemedButtonsShowTheCellOfTheirKindAndState)
{
    HWND probe = addButton(IDC_PICTURE_UP, L"", true);
    ASSERT_NE(probe, nullptr);
    if (!buttonUsesTheme(probe)) GTEST_FAIL() << "no visual style is active in this Wine prefix";
    expectCells(true);
}

TEST_F(ButtonDrawing, ClassicPressedPictureMovesTwoPixels)
{
    ASSERT_TRUE(addButton(IDC_BROWSE_TARGET, L"&>>", false));
    const POINT up = find(draw(IDC_BROWSE_TARGET, 0), 15);
    const POINT down = find(draw(IDC_BROWSE_TARGET, ODS_SELECTED), 15);
    ASSERT_GE(up.x, 0);
    ASSERT_GE(down.x, 0);
    EXPECT_EQ(down.x - up.x, 2);
    EXPECT_EQ(down.y - up.y, 2);
    // Centred in the button.
    EXPECT_EQ(up.x, (60 - 16) / 2);
    EXPECT_EQ(up.y, (30 - 16) / 2);
}

TEST_F(ButtonDrawing, DisabledPictureIsEmbossed)
{
    ASSERT_TRUE(addButton(IDC_PICTURE_UP, L"", false));
    const POINT at = find(draw(IDC_PICTURE_UP, 0), 8);
    ASSERT_GE(at.x, 0);
    const Snapshot shot = draw(IDC_PICTURE_UP, ODS_DISABLED);
    EXPECT_FALSE(shows(shot, 8));
    const COLORREF shadow = ::GetSysColor(COLOR_BTNSHADOW);
    const COLORREF highlight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    int shape = 0;
    int lit = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (!opaque(8, x, y)) continue;
            ++shape;
            EXPECT_EQ(shot.at(at.x + x, at.y + y), shadow) << "picture pixel " << x << "," << y;
            // The highlight copy shows one pixel down and right, where the
            // shape itself is not.
            if (x < 15 && y < 15 && !opaque(8, x + 1, y + 1)) {
                EXPECT_EQ(shot.at(at.x + x + 1, at.y + y + 1), highlight) << x + 1 << "," << y + 1;
                ++lit;
            }
        }
    }
    EXPECT_GT(shape, 20);
    EXPECT_GT(lit, 0);
}

TEST_F(ButtonDrawing, PictureWithTextSitsBeforeTheText)
{
    ASSERT_TRUE(addButton(IDC_ADVANCE, L"Advance(&A)", false));
    test::Canvas canvas(140, 28, kBackground);
    ::SelectObject(canvas.dc(), ::GetStockObject(DEFAULT_GUI_FONT));
    const RECT rect = {0, 0, 140, 28};
    DrawButton(host.window(), canvas.dc(), IDC_ADVANCE, rect, 0);
    const Snapshot shot = snapshot(canvas);
    const POINT at = find(shot, 1);
    ASSERT_GE(at.x, 0) << "the closed Advance picture";
    // Ink is whatever differs from the button's face (smoothed text has
    // more shades than the text colour).
    const COLORREF face = shot.at(4, 4);
    int left = 0;
    int right = 0;
    int lastText = 0;
    for (int y = 4; y < 24; ++y) {
        for (int x = 4; x < 136; ++x) {
            if (shot.at(x, y) == face || (x >= at.x && x < at.x + 16)) continue;
            if (x < at.x) ++left;
            if (x >= at.x + 18) {
                ++right;
                lastText = std::max(lastText, x);
            }
        }
    }
    EXPECT_EQ(left, 0);
    EXPECT_GT(right, 20) << "the text follows the picture";
    // Picture and text together are centred.
    EXPECT_NEAR(at.x, 140 - 1 - lastText, 4);

    SetButtonState(host.window(), IDC_ADVANCE, 1, false);
    test::Canvas open(140, 28, kBackground);
    ::SelectObject(open.dc(), ::GetStockObject(DEFAULT_GUI_FONT));
    DrawButton(host.window(), open.dc(), IDC_ADVANCE, rect, 0);
    EXPECT_TRUE(shows(snapshot(open), 2)) << "the open Advance picture";
}

TEST_F(ButtonDrawing, FocusDrawsADottedFrameInside)
{
    ASSERT_TRUE(addButton(IDC_PICTURE_DOWN, L"", false));
    const Snapshot plain = draw(IDC_PICTURE_DOWN, 0);
    const Snapshot focused = draw(IDC_PICTURE_DOWN, ODS_FOCUS);
    int changed = 0;
    for (int x = 3; x < 57; ++x) changed += plain.at(x, 3) != focused.at(x, 3);
    EXPECT_GT(changed, 10);
    EXPECT_EQ(plain.at(1, 15), focused.at(1, 15)) << "outside the frame nothing changes";
}

TEST_F(ButtonDrawing, BadInputDrawsNoPictureAndNeverFails)
{
    ASSERT_TRUE(addButton(IDC_EXTENSIONS_SEARCH, L"Search", false));
    SetButtonState(host.window(), IDC_EXTENSIONS_SEARCH, 1000, false); // far beyond the strip
    const Snapshot beyond = draw(IDC_EXTENSIONS_SEARCH, 0, 90, 26);
    for (int cell = 10; cell < 17; ++cell) EXPECT_FALSE(shows(beyond, cell));
    SetButtonState(host.window(), IDC_EXTENSIONS_SEARCH, -3, false);
    const Snapshot negative = draw(IDC_EXTENSIONS_SEARCH, 0, 90, 26);
    for (int cell : {1, 2, 5, 6, 8, 9}) EXPECT_FALSE(shows(negative, cell));

    // A control outside the table gets the frame and nothing else.
    const Snapshot unknown = draw(4242, 0);
    EXPECT_NE(unknown.at(30, 15), kBackground);
    DrawButton(host.window(), nullptr, IDC_BROWSE_EXTENSIONS, RECT{0, 0, 10, 10}, 0);
    DrawButton(nullptr, nullptr, 0, RECT{}, 0xFFFFFFFF);
    test::Canvas tiny(4, 4, kBackground);
    DrawButton(nullptr, tiny.dc(), IDC_BROWSE_EXTENSIONS, RECT{0, 0, 4, 4}, ODS_DISABLED | ODS_FOCUS);
}

// A small dialog box made from a template in memory: an edit field, the
// default push button "OK" and two owner-drawn picture buttons, handed to
// AttachPushButtonKeys as the program's dialogs do.
class PushButtonDialog {
public:
    PushButtonDialog()
    {
        std::vector<WORD> t;
        const auto align = [&t] {
            if (t.size() % 2) t.push_back(0);
        };
        const auto dword = [&t](DWORD value) {
            t.push_back(LOWORD(value));
            t.push_back(HIWORD(value));
        };
        const auto text = [&t](const wchar_t* value) {
            for (; *value; ++value) t.push_back(static_cast<WORD>(*value));
            t.push_back(0);
        };
        dword(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT | DS_MODALFRAME);
        dword(0);
        t.push_back(4);                     // items
        for (WORD v : {10, 10, 200, 80}) t.push_back(v);
        t.push_back(0);                     // no menu
        t.push_back(0);                     // the dialog class
        text(L"Keys");
        t.push_back(8);
        text(L"MS Shell Dlg");
        const auto control = [&](DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom,
                                 const wchar_t* title) {
            align();
            dword(style | WS_CHILD | WS_VISIBLE);
            dword(0);
            for (short v : {x, y, cx, cy}) t.push_back(static_cast<WORD>(v));
            t.push_back(id);
            t.push_back(0xFFFF);
            t.push_back(atom);
            text(title);
            t.push_back(0);
        };
        control(ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 5, 5, 100, 12, kEdit, 0x0081, L"");
        control(BS_OWNERDRAW | WS_TABSTOP, 110, 5, 17, 14, kPicture, 0x0080, L">>");
        control(BS_OWNERDRAW | WS_TABSTOP, 5, 30, 60, 14, kAdvance, 0x0080, L"Advance(&A)");
        control(BS_DEFPUSHBUTTON | WS_TABSTOP, 140, 5, 50, 14, IDOK, 0x0080, L"OK");
        align();
        window_ = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                               nullptr, Proc, reinterpret_cast<LPARAM>(this));
        if (window_) ::SetForegroundWindow(window_);
    }
    ~PushButtonDialog()
    {
        if (window_) ::DestroyWindow(window_);
    }
    PushButtonDialog(const PushButtonDialog&) = delete;
    PushButtonDialog& operator=(const PushButtonDialog&) = delete;

    static constexpr WORD kEdit = 100;
    static constexpr WORD kPicture = IDC_BROWSE_EXTENSIONS;
    static constexpr WORD kAdvance = IDC_ADVANCE;

    HWND window() const { return window_; }
    HWND item(int id) const { return ::GetDlgItem(window_, id); }
    void focus(int id) const { ::SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(id)), TRUE); }
    // A key through the dialog manager, as a dialog's message loop hands it on.
    void press(UINT key) const
    {
        for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
            MSG msg = {::GetFocus(), message, key, message == WM_KEYUP ? static_cast<LPARAM>(0xC0000001) : 1, 0, {}};
            if (!::IsDialogMessageW(window_, &msg)) ::DispatchMessageW(&msg);
        }
    }
    bool isDefault(int id) const { return (::SendMessageW(item(id), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0; }
    LONG_PTR type(int id) const { return ::GetWindowLongPtrW(item(id), GWL_STYLE) & BS_TYPEMASK; }

    std::vector<int> commands;

private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITDIALOG) {
            ::SetWindowLongPtrW(window, DWLP_USER, lParam);
            AttachPushButtonKeys(window);
            return TRUE;
        }
        auto* self = reinterpret_cast<PushButtonDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
        if (!self) return FALSE;
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            self->commands.push_back(LOWORD(wParam));
            return TRUE;
        }
        if (message == WM_DRAWITEM) {
            const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            DrawButton(window, draw->hDC, static_cast<int>(draw->CtlID), draw->rcItem, draw->itemState);
            return TRUE;
        }
        return FALSE;
    }
    HWND window_ = nullptr;
};

TEST(PictureButtonKeys, TabMakesAPictureButtonTheDefaultAndEnterPressesIt)
{
    PushButtonDialog dialog;
    ASSERT_NE(dialog.window(), nullptr) << "needs a display";
    dialog.focus(PushButtonDialog::kEdit);
    EXPECT_TRUE(dialog.isDefault(IDOK));
    EXPECT_FALSE(dialog.isDefault(PushButtonDialog::kPicture));
    EXPECT_TRUE(::SendMessageW(dialog.item(PushButtonDialog::kPicture), WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)
        << "a push button for the dialog manager";

    dialog.press(VK_TAB);
    ASSERT_EQ(::GetFocus(), dialog.item(PushButtonDialog::kPicture));
    EXPECT_TRUE(dialog.isDefault(PushButtonDialog::kPicture));
    EXPECT_TRUE(IsDefaultPushButton(dialog.item(PushButtonDialog::kPicture)));
    EXPECT_FALSE(dialog.isDefault(IDOK)) << "one default at a time";
    EXPECT_EQ(dialog.type(PushButtonDialog::kPicture), BS_OWNERDRAW) << "the default style did not replace owner drawing";
    dialog.press(VK_RETURN);
    EXPECT_EQ(dialog.commands, std::vector<int>{PushButtonDialog::kPicture}) << "Enter pressed the focused button, not OK";

    dialog.press(VK_TAB);
    ASSERT_EQ(::GetFocus(), dialog.item(PushButtonDialog::kAdvance));
    EXPECT_FALSE(IsDefaultPushButton(dialog.item(PushButtonDialog::kPicture)));
    EXPECT_EQ(dialog.type(PushButtonDialog::kPicture), BS_OWNERDRAW);
    dialog.press(VK_RETURN);
    EXPECT_EQ(dialog.commands.back(), PushButtonDialog::kAdvance);

    // From a control that is no button, Enter belongs to the dialog's
    // default button again.
    dialog.focus(PushButtonDialog::kEdit);
    EXPECT_FALSE(IsDefaultPushButton(dialog.item(PushButtonDialog::kAdvance)));
    EXPECT_EQ(dialog.type(PushButtonDialog::kAdvance), BS_OWNERDRAW);
    dialog.press(VK_RETURN);
    EXPECT_EQ(dialog.commands.back(), IDOK);
    EXPECT_EQ(dialog.commands.size(), 3u);
}

TEST(PictureButtonKeys, TheDefaultPictureButtonIsDrawnAsTheDefault)
{
    PushButtonDialog dialog;
    ASSERT_NE(dialog.window(), nullptr) << "needs a display";
    HWND button = dialog.item(PushButtonDialog::kPicture);
    // Drawn classically, so that the outline can be read back.
    ::SetWindowTheme(button, nullptr, L"NoSuchThemeClass");
    const auto drawn = [&](UINT state) {
        test::Canvas canvas(40, 30, kBackground);
        DrawButton(dialog.window(), canvas.dc(), PushButtonDialog::kPicture, RECT{0, 0, 40, 30}, state);
        return snapshot(canvas);
    };
    const COLORREF outline = ::GetSysColor(COLOR_WINDOWFRAME);

    // As the dialog manager makes it the default and takes that back.
    ::SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(dialog.type(PushButtonDialog::kPicture), BS_OWNERDRAW);
    const Snapshot asDefault = drawn(ODS_FOCUS);
    for (const POINT& p : {POINT{0, 15}, POINT{39, 15}, POINT{20, 0}, POINT{20, 29}}) {
        EXPECT_EQ(asDefault.at(p.x, p.y), outline) << p.x << "," << p.y;
    }
    ::SendMessageW(button, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    EXPECT_EQ(dialog.type(PushButtonDialog::kPicture), BS_OWNERDRAW);
    EXPECT_FALSE(IsDefaultPushButton(button));
    const Snapshot plain = drawn(ODS_FOCUS);
    EXPECT_NE(plain.at(0, 15), outline) << "no outline once it is no longer the default";
    EXPECT_NE(plain.at(20, 29), outline);
}

} // namespace
