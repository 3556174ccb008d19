// The texts of the compress operation's outcomes (string-table ids).
#pragma once

#include <windows.h>

#include "res/SorvaneRes.h"

namespace sorvane {

enum CompressText : UINT {
    kIdsNothingExists = IDS_COMPRESS_NOTHING_EXISTS,             // every selected item is missing
    kIdsNothingQualifies = IDS_COMPRESS_NOTHING_QUALIFIES,       // no file of the selection passes the filter
    kIdsItemsMissing = IDS_COMPRESS_ITEMS_MISSING,               // "%d" selected items were missing
    kIdsNoAnsiName = IDS_COMPRESS_NO_ANSI_NAME,                  // "%s" has no form in the ANSI code page
    kIdsArchiveIsFolder = IDS_COMPRESS_ARCHIVE_IS_FOLDER,        // the archive's name is a folder
    kIdsArchiveReadOnly = IDS_COMPRESS_ARCHIVE_READ_ONLY,        // the old archive is read-only
    kIdsArchiveNotReplaced = IDS_COMPRESS_ARCHIVE_NOT_REPLACED,  // the new archive could not take the old one's place
    kIdsLibraryFailed = IDS_COMPRESS_LIBRARY_FAILED,             // the library's own account follows
    kIdsListNotWritten = IDS_COMPRESS_LIST_NOT_WRITTEN,          // the response file could not be written
    kIdsItemNotRead = IDS_COMPRESS_ITEM_NOT_READ,                // a selected item could not be read
    kIdsNotAName = IDS_COMPRESS_NOT_A_NAME,                      // a source-list element that names no item
    kIdsNothingSelected = IDS_COMPRESS_NOTHING_SELECTED,         // no folder (or nothing) in the source list
    kIdsLibraryCode = IDS_COMPRESS_LIBRARY_CODE,                 // the library failed without words: its code "%d"
    kIdsNoArchiveName = IDS_COMPRESS_NO_ARCHIVE_NAME,            // no archive name was given
    kIdsArchiveNotFullPath = IDS_COMPRESS_ARCHIVE_NOT_FULL_PATH, // the archive's name lacks its drive or share
    kIdsLinksSkipped = IDS_COMPRESS_LINKS_SKIPPED,               // "%d" selected links were not followed
    kIdsFolderNotListed = IDS_COMPRESS_FOLDER_NOT_LISTED,        // a folder of the selection could not be listed: no archive
    kIdsLinkInside = IDS_COMPRESS_LINK_INSIDE,                   // a link inside a selected folder: no archive
};

} // namespace sorvane
