// What the dialog tests share: a visible owner window, the main window's
// balloon tip, empty history lists, recorded message boxes and help
// requests, and small helpers that read and drive controls.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "ModalDriver.h"
#include "TestSupport.h"
#include "base/AppState.h"
#include "dialogs/History.h"
#include "common/ui/ToolTip.h"

namespace sorvane::test {

struct HelpRequest {
    HWND caller;
    std::wstring file;
    UINT command;
    DWORD_PTR data;
};
std::vector<HelpRequest>& helpRequests();

class OpDialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Text of a control of `dialog`; of a combo box, its edit field's.
    static std::wstring text(HWND dialog, int id);
    static void setText(HWND dialog, int id, const std::wstring& text);
    // Types `text` into an edit field character by character, replacing
    // what it holds, as the keyboard does.
    static void type(HWND edit, const std::wstring& text);
    static HWND comboEdit(HWND combo);
    static std::vector<std::wstring> comboEntries(HWND combo);
    static bool checked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    static bool enabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }
    static bool visible(HWND dialog, int id) { return ::IsWindowVisible(::GetDlgItem(dialog, id)) != FALSE; }
    static void click(HWND dialog, int id);
    static void command(HWND dialog, int id, WORD code = BN_CLICKED);
    // The text the shared tip shows for `tool`.
    std::wstring tipText(HWND tool) const;
    static std::vector<std::wstring> entries(const CItemMngr& list);
    static void fill(CItemMngr& list, const std::vector<std::wstring>& texts);

    HWND owner = nullptr;
    ui::CToolTip tip;
    MessageRecorder messages;
    ModalDriver driver;

private:
    HWND previousTip_ = nullptr;
    bool previousInteractive_ = false;
    void* previousHelpHook_ = nullptr;
};

} // namespace sorvane::test
