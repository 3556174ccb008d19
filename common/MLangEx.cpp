#include "common/MLangEx.h"

#include <mlang.h>

namespace sorvane {

namespace {
// The system's multi-language object and its IMultiLanguage2 interface.
const CLSID kClsidMultiLanguage = {0x275C23E2, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};
const IID kIidMultiLanguage2 = {0xDCCFC164, 0x2B38, 0x11D2, {0xB7, 0xEC, 0x00, 0xC0, 0x4F, 0x8F, 0x5D, 0x9A}};
} // namespace

CMLangEx::~CMLangEx()
{
    if (service_) {
        service_->Release();
        service_ = nullptr;
    }
    if (comResult_ == S_OK || comResult_ == S_FALSE) ::CoUninitialize();
    comResult_ = E_INVALIDARG;
}

bool CMLangEx::ensureService()
{
    if (service_) return true;
    if (comResult_ == E_INVALIDARG) comResult_ = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT hr = ::CoCreateInstance(kClsidMultiLanguage, nullptr, CLSCTX_INPROC_SERVER, kIidMultiLanguage2,
                                          reinterpret_cast<void**>(&service_));
    if (FAILED(hr)) service_ = nullptr;
    return service_ != nullptr;
}

bool CMLangEx::GetWebCharset(UINT codePage, wchar_t* buffer, int capacity)
{
    if (!buffer || capacity <= 0) return false;
    if (capacity == 1) {
        buffer[0] = L'\0';
        return false;
    }
    if (!ensureService()) return false;
    MIMECPINFO info = {};
    if (FAILED(service_->GetCodePageInfo(codePage, ::GetUserDefaultLangID(), &info))) return false;
    int i = 0;
    for (; i < capacity - 1 && info.wszWebCharset[i]; ++i) buffer[i] = info.wszWebCharset[i];
    if (i == 0) return false;
    buffer[i] = L'\0';
    return true;
}

} // namespace sorvane
