// The three history lists of the process and their profile file
// "Sorvane.ini" in the data folder. The main window loads them when it is
// created and saves them when it is destroyed.
#pragma once

#include "dialogs/ItemMngr.h"
#include "res/SorvaneRes.h"

#include <string>

namespace sorvane {

inline constexpr wchar_t kHistoryDestines[] = L"Destines"; // target folders of copy and move
inline constexpr wchar_t kHistoryArchives[] = L"Archieve"; // archive files of compress
inline constexpr wchar_t kHistoryTypes[] = L"Types";       // "Name|Types" pattern texts

constexpr UINT kCdBurningLabelString = IDS_CD_BURNING;
constexpr UINT kFirstSeedPatternString = IDS_PATTERNS_ALL_FILES;
constexpr UINT kLastSeedPatternString = IDS_PATTERNS_WEB;

struct HistoryLists {
    CItemMngr destines;
    CItemMngr archives;
    CItemMngr types;
};

// The lists of the process.
HistoryLists& history();

// The data folder followed by "Sorvane.ini"; empty when the data folder is
// not known.
std::wstring historyProfilePath();

// Loads the three sections in order, completes the target list with the
// user's standard folders and seeds an empty pattern list.
void LoadAll(HistoryLists& lists, const wchar_t* profilePath);
void LoadAll();
// Saves the three sections in order; false when any of them failed.
bool SaveAll(const HistoryLists& lists, const wchar_t* profilePath);
bool SaveAll();

// The steps of LoadAll after reading the file.
void addStandardFolders(CItemMngr& destines);
void seedPatterns(CItemMngr& types);

} // namespace sorvane
