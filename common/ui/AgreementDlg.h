// The agreement viewer: dialog 200 with the licence agreement (resource
// "AGREEMENT" 337, rich text) in a read-only rich-text box whose links can
// be clicked.
#pragma once

#include <windows.h>

#include <string>

#include "common/Raii.h"
#include "res/SorvaneRes.h"
#include "common/ui/DialogImpl.h"

namespace sorvane::ui {

class CAgreementDlg : public CDialogImpl<CAgreementDlg> {
public:
    enum { IDD = IDD_AGREEMENT };
    static constexpr int kTextBoxId = IDC_AGREEMENT_TEXT;
    static constexpr int kPlaceholderId = IDC_AGREEMENT_PLACEHOLDER;
    static constexpr int kAgreementId = IDR_AGREEMENT;
    static constexpr const wchar_t* kAgreementType = L"AGREEMENT";
    static constexpr const wchar_t* kMissingText = L"Unable to load license!";
    // Help topics: the whole dialog, and the pop-ups of the box and of OK.
    static constexpr DWORD kHelpTopic = 0x20001;
    static constexpr DWORD kTextBoxHelp = 0x20010;
    static constexpr DWORD kOkHelp = 0x20011;

    // `helpFile`: the program's help file (null or empty: no help);
    // `agreementId`: the agreement resource in the resource module.
    explicit CAgreementDlg(const wchar_t* helpFile = nullptr, int agreementId = kAgreementId);
    // A modeless viewer goes before the rich-text library it was made from.
    ~CAgreementDlg() override;

    // Runs the dialog modally: 1 after OK, 0 after Cancel or when it could
    // not be shown. The rich-text library is freed afterwards.
    int Show(HWND owner);

    HWND textBox() const noexcept { return GetDlgItem(kTextBoxId); }
    // The window class the box was made with ("RICHEDIT20A" or "RICHEDIT"),
    // empty when no rich-text library could be loaded.
    const wchar_t* textBoxClass() const noexcept { return richEditClass_; }

protected:
    BOOL OnInitDialog(HWND focus, LPARAM initParam) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    bool LoadTextLibrary() noexcept;
    void CentreInWorkArea() noexcept;
    HWND CreateTextBox() noexcept;
    bool StreamAgreement(HWND box) noexcept;
    std::wstring TextRange(HWND box, LONG first, LONG last) const;
    void OpenLink(const std::wstring& text) const;
    void OnHelp(const HELPINFO& info) const noexcept;

    std::wstring helpFile_;
    int agreementId_;
    UniqueModule richEdit_;
    const wchar_t* richEditClass_ = L"";
};

// Shows the agreement viewer over `owner`; 1 for OK, 0 for Cancel.
int ShowAgreement(HWND owner, const wchar_t* helpFile = nullptr);

} // namespace sorvane::ui
