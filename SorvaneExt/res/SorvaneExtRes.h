// Resource identifiers of SorvaneExt.dll: the one place their numbers are
// written, for its resource script and its C++ (Identifiers.h). The
// program's string table and the Japanese library carry the item texts and
// their help texts under the same numbers, so that a language library can
// take the place of these resources; their scripts include this file too.
// The numbers never change.
//
// Plain #defines only: windres reads this file through the preprocessor.
// Names: IDS_ strings, IDB_ bitmaps, IDI_ icons, IDR_ other resources.
#ifndef SORVANEEXT_RES_SORVANEEXTRES_H
#define SORVANEEXT_RES_SORVANEEXTRES_H

// The type library, built from SorvaneExt.idl.
#define IDR_TYPELIB                     1

// Pictures of the items: rows of 16x20 pixels for Copy, Move and Delete,
// each picture followed by its mask; and the 32-bit pictures with alpha
// drawn for 16 and for 32 pixels.
#define IDB_MENU_PICTURES               139
#define IDB_MENU_PICTURES_SMALL         140
#define IDB_MENU_PICTURES_LARGE         141

// Icons of Windows 11's own menu: the "Sorvane" entry, then its commands by
// command offset.
#define IDI_COMMAND_ENTRY               150
#define IDI_COMMAND_COPY                151 // + command offset
#define IDI_COMMAND_MOVE                152
#define IDI_COMMAND_DELETE              153
#define IDI_COMMAND_COMPRESS            154

// Context-menu item texts, by command offset
#define IDS_MENU_COPY                   51 // + command offset
#define IDS_MENU_MOVE                   52
#define IDS_MENU_DELETE                 53
#define IDS_MENU_COMPRESS               54

// Status-bar help of the items, by command offset
#define IDS_HELP_COPY                   60 // + command offset
#define IDS_HELP_MOVE                   61
#define IDS_HELP_DELETE                 62
#define IDS_HELP_COMPRESS               63

// Project name
#define IDS_PROJECT_NAME                100

// Messages of the launcher and their caption (also the title of the
// Explorer command's entry)
#define IDS_MESSAGE_CAPTION             110
#define IDS_NO_SELECTION                111
#define IDS_START_FAILED                112
#define IDS_SEVERAL_FOLDERS             113

#endif // SORVANEEXT_RES_SORVANEEXTRES_H
