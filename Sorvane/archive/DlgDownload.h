// The dialog that tells the user to install the archiver library, with two
// links to its download pages.
#pragma once

#include "common/ui/DialogImpl.h"
#include "common/ui/StaticLink.h"
#include "res/SorvaneRes.h"

#include <memory>

namespace sorvane {

class CDlgDownload : public ui::CDialogImpl<CDlgDownload> {
public:
    enum { IDD = IDD_DOWNLOAD };
    static constexpr const wchar_t* kJapanesePage = L"https://www.sorvane.example/ja/unlha32.html";
    static constexpr const wchar_t* kEnglishPage = L"https://www.sorvane.example/en/unlha32.html";

    const ui::CStaticLink* japaneseLink() const noexcept { return japanese_.get(); }
    const ui::CStaticLink* englishLink() const noexcept { return english_.get(); }

protected:
    BOOL OnInitDialog(HWND focus, LPARAM initParam) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnDestroy() override;

private:
    std::unique_ptr<ui::CStaticLink> japanese_;
    std::unique_ptr<ui::CStaticLink> english_;
};

} // namespace sorvane
