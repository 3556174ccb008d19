#include "Selection.h"

#include <shellapi.h>

namespace sorvane::shellext {

DropFiles::DropFiles(IDataObject* data) noexcept
{
    if (!data) return;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (FAILED(data->GetData(&format, &medium_))) {
        medium_ = {};
        return;
    }
    if (medium_.tymed == TYMED_HGLOBAL && medium_.hGlobal) drop_ = static_cast<HDROP>(medium_.hGlobal);
}

DropFiles::~DropFiles()
{
    if (medium_.tymed != TYMED_NULL) ::ReleaseStgMedium(&medium_);
}

UINT DropFiles::count() const noexcept
{
    return drop_ ? ::DragQueryFileW(drop_, 0xFFFFFFFF, nullptr, 0) : 0;
}

std::wstring DropFiles::path(UINT index) const
{
    if (!drop_) return {};
    const UINT length = ::DragQueryFileW(drop_, index, nullptr, 0);
    if (length == 0) return {};
    std::wstring text(length, L'\0');
    const UINT got = ::DragQueryFileW(drop_, index, text.data(), length + 1);
    text.resize(got < length ? got : length);
    return text;
}

std::vector<std::wstring> DropFiles::paths() const
{
    std::vector<std::wstring> list;
    const UINT n = count();
    list.reserve(n);
    for (UINT i = 0; i < n; ++i) {
        // An empty entry names nothing (some shells count one in an empty list).
        std::wstring item = path(i);
        if (!item.empty()) list.push_back(std::move(item));
    }
    return list;
}

std::wstring folderPart(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

bool samePath(const std::wstring& a, const std::wstring& b) noexcept
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

} // namespace sorvane::shellext
