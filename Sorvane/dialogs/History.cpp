#include "dialogs/History.h"

#include "base/AppState.h"
#include "base/Strings.h"

#include <shlobj.h>
#include <shellapi.h>

#include <memory>

namespace sorvane {

namespace {

struct CoTaskMemDeleter {
    void operator()(void* memory) const noexcept { ::CoTaskMemFree(memory); }
};
using UniqueItemList = std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter>;

// The standard target folders, in the order they join the list.
constexpr int kStandardFolders[] = {
    CSIDL_PERSONAL,         CSIDL_MYMUSIC,          CSIDL_MYPICTURES,       CSIDL_MYVIDEO,
    CSIDL_DESKTOPDIRECTORY, CSIDL_CDBURN_AREA,      CSIDL_FAVORITES,        CSIDL_COMMON_DOCUMENTS,
    CSIDL_COMMON_MUSIC,     CSIDL_COMMON_PICTURES,  CSIDL_LOCAL_APPDATA,    CSIDL_APPDATA,
};

// Path and display name of a standard folder as the shell gives them; the
// path alone when the shell has no item for it. False when not even the
// path can be had.
bool standardFolder(int csidl, std::wstring& path, std::wstring& displayName)
{
    path.clear();
    displayName.clear();
    LPITEMIDLIST raw = nullptr;
    if (SUCCEEDED(::SHGetFolderLocation(nullptr, csidl, nullptr, 0, &raw))) {
        UniqueItemList item(raw);
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(item.get(), buffer) && buffer[0]) {
            path = buffer;
            SHFILEINFOW info = {};
            if (::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item.get()), 0, &info, sizeof(info),
                                 SHGFI_PIDL | SHGFI_DISPLAYNAME))
                displayName = info.szDisplayName;
            return true;
        }
    }
    wchar_t buffer[MAX_PATH] = {};
    if (::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) && buffer[0]) {
        path = buffer;
        return true;
    }
    return false;
}

} // namespace

HistoryLists& history()
{
    static HistoryLists lists;
    return lists;
}

std::wstring historyProfilePath()
{
    const wchar_t* folder = app().appDataFolder;
    if (!folder[0]) return {};
    return std::wstring(folder) + L"Sorvane.ini";
}

void addStandardFolders(CItemMngr& destines)
{
    std::wstring path;
    std::wstring name;
    for (int csidl : kStandardFolders) {
        if (!standardFolder(csidl, path, name)) continue;
        destines.Add((name.empty() ? path : name + L"|" + path).c_str(), false);
    }

    // The staging folder of CD burning under its older name, labelled in the
    // user's language (a language without the label leaves it empty).
    if (standardFolder(CSIDL_LOCAL_APPDATA, path, name)) {
        if (!path.empty() && path.back() == L'\\') path.pop_back();
        const std::wstring entry = loadString(kCdBurningLabelString) + L"|" + path + L"\\Microsoft\\CD Burning";
        destines.Add(entry.c_str(), false);
    }
}

void seedPatterns(CItemMngr& types)
{
    if (types.Count() != 0) return;
    for (UINT id = kFirstSeedPatternString; id <= kLastSeedPatternString; ++id) {
        const std::wstring text = loadString(id);
        if (!text.empty()) types.Add(text.c_str(), false);
    }
}

void LoadAll(HistoryLists& lists, const wchar_t* profilePath)
{
    // A file that cannot be loaded leaves the lists empty; the standard
    // folders and the predefined patterns are added all the same.
    lists.destines.Load(kHistoryDestines, profilePath);
    lists.archives.Load(kHistoryArchives, profilePath);
    lists.types.Load(kHistoryTypes, profilePath);
    addStandardFolders(lists.destines);
    seedPatterns(lists.types);
}

void LoadAll() { LoadAll(history(), historyProfilePath().c_str()); }

bool SaveAll(const HistoryLists& lists, const wchar_t* profilePath)
{
    bool ok = lists.destines.Save(kHistoryDestines, profilePath);
    ok = lists.archives.Save(kHistoryArchives, profilePath) && ok;
    ok = lists.types.Save(kHistoryTypes, profilePath) && ok;
    return ok;
}

bool SaveAll() { return SaveAll(history(), historyProfilePath().c_str()); }

} // namespace sorvane
