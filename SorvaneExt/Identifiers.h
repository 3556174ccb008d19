// Fixed identifiers of the extension: its two classes, its dispatch interface
// and type library, the names written to the registry, and its resources
// (numbered in res/SorvaneExtRes.h). The package's manifest takes the
// Explorer command's class identifier from this file
// (SORVANE_EXPLORER_COMMAND_CLSID).
#pragma once

// The Explorer command's class identifier as text: the one place it is
// written, for the registry keys, the package's manifest and kExplorerCommandClassId
// (a test compares the two forms).
#define SORVANE_EXPLORER_COMMAND_CLSID L"{54C7C6BE-6F7C-4885-AE96-CD301C434569}"

#include <windows.h>
#include <oaidl.h>

#include "res/SorvaneExtRes.h"

namespace sorvane::shellext {

// {D45DFED4-F312-4286-A3C5-F976C6D16E2D}
constexpr CLSID kClassId = {0xD45DFED4, 0xF312, 0x4286, {0xA3, 0xC5, 0xF9, 0x76, 0xC6, 0xD1, 0x6E, 0x2D}};
// The "Sorvane" entry of Windows 11's own context menu (IExplorerCommand),
// named by the sparse package's manifest.
// {54C7C6BE-6F7C-4885-AE96-CD301C434569}
constexpr CLSID kExplorerCommandClassId = {0x54C7C6BE, 0x6F7C, 0x4885, {0xAE, 0x96, 0xCD, 0x30, 0x1C, 0x43, 0x45, 0x69}};
// {4F0901A4-0E8E-4726-843E-BEEFB01224B4}
constexpr IID kDispatchInterfaceId = {0x4F0901A4, 0x0E8E, 0x4726, {0x84, 0x3E, 0xBE, 0xEF, 0xB0, 0x12, 0x24, 0xB4}};
// {2EAC6B58-AD31-4927-8DF7-95A06AF6E5EC}
constexpr GUID kTypeLibraryId = {0x2EAC6B58, 0xAD31, 0x4927, {0x8D, 0xF7, 0x95, 0xA0, 0x6A, 0xF6, 0xE5, 0xEC}};

constexpr const wchar_t kClassIdText[] = L"{D45DFED4-F312-4286-A3C5-F976C6D16E2D}";
constexpr const wchar_t kExplorerCommandClassIdText[] = SORVANE_EXPLORER_COMMAND_CLSID;
constexpr const wchar_t kExplorerCommandDescription[] = L"Sorvane Explorer Command";
constexpr const wchar_t kTypeLibraryIdText[] = L"{2EAC6B58-AD31-4927-8DF7-95A06AF6E5EC}";
constexpr const wchar_t kProgId[] = L"SorvaneExt.SorveneShellExt.1";
constexpr const wchar_t kVersionIndependentProgId[] = L"SorvaneExt.SorveneShellExt";
constexpr const wchar_t kClassDescription[] = L"Sorvane Shell Extension";
constexpr const wchar_t kHandlerName[] = L"SorvaneMenu";

// Base name of the language libraries shared with the main program.
constexpr const wchar_t kLanguageBaseName[] = L"Sorvane";
constexpr const wchar_t kProgramFileName[] = L"Sorvane.exe";

// Resources.
constexpr UINT kMenuTextFirst = IDS_MENU_COPY;               // 51..54: item texts by command offset
constexpr UINT kHelpTextFirst = IDS_HELP_COPY;               // 60..63: status-bar help texts
constexpr UINT kMessageCaption = IDS_MESSAGE_CAPTION;        // caption of the launcher's messages
constexpr UINT kNoSelectionText = IDS_NO_SELECTION;          // "No file is selected."
constexpr UINT kStartFailedText = IDS_START_FAILED;          // "Start Sorvane Failed!"
constexpr UINT kSeveralFoldersText = IDS_SEVERAL_FOLDERS;    // a selection from several folders
constexpr UINT kMenuPictures = IDB_MENU_PICTURES;            // three 16x20 pictures with masks
constexpr UINT kMenuPicturesSmall = IDB_MENU_PICTURES_SMALL; // three 16x16 pictures with alpha
constexpr UINT kMenuPicturesLarge = IDB_MENU_PICTURES_LARGE; // three 32x32 pictures with alpha
constexpr UINT kEntryIcon = IDI_COMMAND_ENTRY;               // the "Sorvane" entry of the Explorer command
constexpr UINT kCommandIconFirst = IDI_COMMAND_COPY;         // 151..154: its commands by command offset

// Command offsets: the items in menu order. The classic menu has the first
// three; the Explorer command's flyout has all four.
constexpr UINT kCommandCopy = 0;
constexpr UINT kCommandMove = 1;
constexpr UINT kCommandDelete = 2;
constexpr UINT kCommandCompress = 3;
constexpr UINT kCommandCount = 3;
constexpr UINT kFlyoutCommandCount = 4;

} // namespace sorvane::shellext

// The handler's dispatch interface. It has no members of its own; its type
// information comes from the type library in the library's resources.
// Its identifier is sorvane::shellext::kDispatchInterfaceId.
struct ISorveneShellExt : public IDispatch {
};
