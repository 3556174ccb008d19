// The texts of the compress operation's outcomes (string-table ids).
#pragma once

#include <windows.h>

namespace sorvane {

enum CompressText : UINT {
    kIdsNothingExists = 1820,       // every selected item is missing
    kIdsNothingQualifies = 1821,    // no file of the selection passes the filter
    kIdsItemsMissing = 1822,        // "%d" selected items were missing
    kIdsNoAnsiName = 1823,          // "%s" has no form in the ANSI code page
    kIdsArchiveIsFolder = 1824,     // the archive's name is a folder
    kIdsArchiveReadOnly = 1825,     // the old archive is read-only
    kIdsArchiveNotReplaced = 1826,  // the new archive could not take the old one's place
    kIdsLibraryFailed = 1827,       // the library's own account follows
    kIdsListNotWritten = 1828,      // the response file could not be written
    kIdsItemNotRead = 1829,         // a selected item could not be read
    kIdsNotAName = 1830,            // a source-list element that names no item
    kIdsNothingSelected = 1831,     // no folder (or nothing) in the source list
    kIdsLibraryCode = 1832,         // the library failed without words: its code "%d"
    kIdsNoArchiveName = 1833,       // no archive name was given
    kIdsArchiveNotFullPath = 1834,  // the archive's name lacks its drive or share
    kIdsLinksSkipped = 1835,        // "%d" selected links were not followed
    kIdsFolderNotListed = 1836,     // a folder of the selection could not be listed: no archive
    kIdsLinkInside = 1837,          // a link inside a selected folder: no archive
};

} // namespace sorvane
