// Resource identifiers of Sorvane.exe: the one place their numbers are
// written. The program's resource scripts, the Japanese library's
// (SorvaneJpn/res, whose resources have the same numbers) and the program's
// C++ include it. The numbers never change: the language library, stored
// settings and the tests rely on them.
//
// Plain #defines only: windres reads this file through the preprocessor.
//
// Names: IDS_ strings, IDD_ dialogs, IDC_ controls, IDM_ menu commands,
// IDI_ icons, IDB_ bitmaps, IDR_ menus, accelerators, animations and other
// resources. One number may carry several names where the same control or
// string serves several forms.
//
// The texts of the shell extension that the program's string table also
// carries (51-54, 60-63, 100) are named in its own header,
// SorvaneExt/res/SorvaneExtRes.h.
#ifndef SORVANE_RES_SORVANERES_H
#define SORVANE_RES_SORVANERES_H

// ---------------------------------------------------------------------------
// Menu, accelerators, icons, bitmaps, animations and other resources

#define IDR_MAIN_MENU                   100
#define IDR_ACCELERATORS                100
#define IDI_SORVANE                     101 // the program's icon

// Animations of the progress dialog, loaded from the program itself.
#define IDR_AVI_COPY                    301
#define IDR_AVI_MOVE                    302
#define IDR_AVI_RECYCLE                 303
#define IDR_AVI_SHRED                   304 // a delete that erases
#define IDR_AVI_SCAN                    333

// The pictures of the operation dialog's forms.
#define IDI_FORM_COPY                   310 // copy and move
#define IDI_FORM_COMPRESS               311
#define IDI_FORM_ERASE                  312 // delete, erasing
#define IDI_FORM_RECYCLE                313 // delete to the Recycle Bin

#define IDB_BUTTONS                     330 // the picture strip of the owner-drawn buttons
#define IDB_FILE_TYPES                  334 // the extension browser's two file pictures
#define IDR_AGREEMENT                   337 // the licence agreement, type "AGREEMENT"

// ---------------------------------------------------------------------------
// Commands of the main window's menu

#define IDM_FILTER_COPY                 400 // 400 + operation kind
#define IDM_FILTER_MOVE                 401
#define IDM_FILTER_COMPRESS             402 // handled, but the menu has no such item
#define IDM_FILTER_DELETE               403
#define IDM_RETRY_AS_ADMINISTRATOR      405 // the files of "/R:", without the operation dialog
#define IDM_ABOUT                       410 // "Copy&Right", also Alt+? and Alt+/
#define IDM_EXIT                        411

// ---------------------------------------------------------------------------
// Dialogs

// The agreement viewer. Its language also marks the language of the module
// that holds it: common/ResLang.cpp looks for dialog 200 in every module.
#define IDD_AGREEMENT                   200
#define IDD_FILTER_COPY                 210 // the operation dialog for copy and move
#define IDD_FILTER_DELETE               211
#define IDD_FILTER_COMPRESS             212
#define IDD_PROGRESS                    213
#define IDD_DOWNLOAD                    224 // the archiver library is missing
#define IDD_BROWSE_EXTENSIONS           5123

// ---------------------------------------------------------------------------
// Controls

#ifndef IDC_STATIC
#define IDC_STATIC                      (-1)
#endif

// The agreement viewer (200). The rich-text box is made in the
// placeholder's place.
#define IDC_AGREEMENT_PLACEHOLDER       2234
#define IDC_AGREEMENT_TEXT              2161

// The operation dialog's forms (210, 211, 212). A form lacks some of them.
#define IDC_UPPER_GROUP                 2000
#define IDC_SOURCES                     2001
#define IDC_TARGET                      2002 // target folder, or archive file (compress)
#define IDC_BROWSE_TARGET               2003
#define IDC_PATTERNS                    2004 // "Name|Types"
#define IDC_SUBFOLDERS                  2005
#define IDC_ADVANCE                     2006
#define IDC_PLAN                        2241 // "Plan" beside Start (copy, move, compress)
#define IDC_EXCLUDE                     2007
#define IDC_TIME_GROUP                  2008
#define IDC_SIZE_GROUP                  2009 // group box "File Size" (copy, move, delete)
#define IDC_SELF_EXTRACT                2009 // check box "Create Win32 self-extract Archive." (compress)
#define IDC_TIME_ANY                    2010
#define IDC_TIME_RANGE                  2011
#define IDC_POLICY_GROUP                2015 // "Overwrite Target", or "Recycle" (delete)
#define IDC_TIME_FROM                   2017
#define IDC_TIME_TO                     2018
#define IDC_BROWSE_EXTENSIONS           2019
#define IDC_SIZE_ANY                    2020 // 2020 ... 2024: the size classes
#define IDC_SIZE_SMALL                  2021
#define IDC_SIZE_MIDDLE                 2022
#define IDC_SIZE_LARGE                  2023
#define IDC_SIZE_SPECIFY                2024
#define IDC_LIMIT_KIND                  2028
#define IDC_LIMIT                       2029
#define IDC_LIMIT_SPIN                  2030
#define IDC_SELF_EXTRACT_GROUP          2031
#define IDC_OVERWRITE_ALWAYS            2040 // 2040 ... 2042: the overwrite policy (copy, move)
#define IDC_OVERWRITE_NEWER             2041
#define IDC_OVERWRITE_NEVER             2042
#define IDC_ARCHIVE_NEW                 2040 // 2040 ... 2042: the archive mode (compress)
#define IDC_ARCHIVE_ADD_NEWER           2041
#define IDC_ARCHIVE_ADD                 2042
#define IDC_NO_SETUP_DIALOG             2045
#define IDC_ENGLISH                     2046
#define IDC_RECYCLE                     2051
#define IDC_FORM_ICON                   2053
#define IDC_VERIFY_COPIES               2054
#define IDC_WRITE_CHECKSUMS             2240 // copy, move: enabled while "Verify copies" is ticked
#define IDC_PROTECT_READONLY            2226
#define IDC_CLONE_TREE                  2227 // copy, move
#define IDC_TEST_ONLY                   2227 // delete
#define IDC_SOURCES_LABEL               2231
#define IDC_TARGET_LABEL                2232
#define IDC_PATTERNS_LABEL              2233

// The extension browser (5123); "Close" is IDOK.
#define IDC_EXTENSIONS_GROUP            2000
#define IDC_EXTENSIONS_TEXT             2229
#define IDC_EXTENSIONS_LIST             2227
#define IDC_EXTENSIONS_SEARCH           2055

// The progress dialog (213); "Completed" is IDOK, "Cancel" IDCANCEL. The
// animation and the bar are made in their placeholders' places.
#define IDC_VIEW_LOG                    3
#define IDC_RETRY_ELEVATED              4 // shown at the end of a delete that was denied files
#define IDC_PROGRESS_FOLDER             2052
#define IDC_PROGRESS_FILE               2053
#define IDC_PROGRESS_TOTAL_FILES        2208
#define IDC_PROGRESS_COMPLETED_FILES    2209
#define IDC_PROGRESS_FAILED_FILES       2210
#define IDC_PROGRESS_TOTAL_SIZE         2211
#define IDC_PROGRESS_COMPLETED_SIZE     2213
#define IDC_PROGRESS_REMAIN_TIME        2215
#define IDC_PROGRESS_TOTAL_FILES_LABEL  2218
#define IDC_PROGRESS_COMPLETED_FILES_LABEL 2219
#define IDC_PROGRESS_FAILED_FILES_LABEL 2220
#define IDC_PROGRESS_TOTAL_SIZE_LABEL   2221
#define IDC_PROGRESS_COMPLETED_SIZE_LABEL 2222
#define IDC_PROGRESS_REMAIN_TIME_LABEL  2223
#define IDC_PROGRESS_FILE_LABEL         3778
#define IDC_ANIMATION_PLACEHOLDER       3110
#define IDC_ANIMATION                   3112
#define IDC_BAR_PLACEHOLDER             3113
#define IDC_BAR                         3114

// The download dialog (224).
#define IDC_DOWNLOAD_JAPANESE           2203
#define IDC_DOWNLOAD_ENGLISH            2204
#define IDC_DOWNLOAD_TEXT               2205

// Picture buttons that the button table knows but no dialog of the program
// carries.
#define IDC_PICTURE_TWO_STATE           2236 // an arrow right, or down in its second state
#define IDC_PICTURE_UP                  1032 // an arrow up
#define IDC_PICTURE_DOWN                1033 // an arrow down

// ---------------------------------------------------------------------------
// Strings

// About box title, information text and information page
#define IDS_ABOUT_TITLE                 702
#define IDS_INFORMATION_TEXT            717
#define IDS_INFORMATION_PAGE            720

// Status text of an idle window (the Japanese library only)
#define IDS_READY                       1000

// Application name, window class, version, copyright, agreement title
#define IDS_APP_NAME                    1100
#define IDS_CLASS_NAME                  1101
#define IDS_VERSION                     1102
#define IDS_COPYRIGHT                   1103
#define IDS_AGREEMENT_TITLE             1105

// Shell extension registration messages
#define IDS_EXTENSION_UNLOADED          1106
#define IDS_EXTENSION_REGISTERED        1107

// Main window hint (started without a command)
#define IDS_HINT                        1110

// Size limit kinds of the operation dialog (also the report's)
#define IDS_MINIMUM                     1113
#define IDS_MAXIMUM                     1114

// Operation dialog: time range error, folder picker title
#define IDS_TIME_RANGE_ERROR            1120
#define IDS_BROWSE_FOLDER_TITLE         1121

// Operation dialog tool tips: sources and target, by operation kind
#define IDS_SOURCES_TIP_COPY            1130 // + operation kind
#define IDS_SOURCES_TIP_MOVE            1131
#define IDS_SOURCES_TIP_COMPRESS        1132
#define IDS_SOURCES_TIP_DELETE          1133
#define IDS_TARGET_TIP_COPY             1140 // + operation kind
#define IDS_TARGET_TIP_MOVE             1141
#define IDS_TARGET_TIP_COMPRESS         1142
#define IDS_TARGET_TIP_DELETE           1143

// Operation dialog tool tips: pattern list and browse buttons
#define IDS_PATTERNS_TIP                1150
#define IDS_EXTENSIONS_TIP              1151
#define IDS_BROWSE_FOLDER_TIP           1152
#define IDS_BROWSE_ARCHIVE_TIP          1153

// Compress results
#define IDS_COMPRESS_FAILED             1167
#define IDS_COMPRESS_COMPLETED          1168

// Progress dialog texts
#define IDS_PLEASE_WAIT                 1170
#define IDS_COMPLETED                   1174
#define IDS_SCANNING                    1175
#define IDS_PROCESSING                  1176
#define IDS_COMPLETE_COUNTDOWN          1177
#define IDS_CLOSE_COUNTDOWN             1178
#define IDS_CANCELED                    1179

// Operation dialog and progress dialog captions, by operation kind
#define IDS_CAPTION_COPY                1180 // + operation kind
#define IDS_CAPTION_MOVE                1181
#define IDS_CAPTION_COMPRESS            1182
#define IDS_CAPTION_DELETE              1183

// Archive file picker
#define IDS_BROWSE_ARCHIVE_TITLE        1184
#define IDS_ARCHIVE_FILTERS             1185

// Archiver library messages
#define IDS_ARCHIVER_NOT_INSTALLED      1186
#define IDS_ARCHIVER_TOO_OLD            1187

// Free disk space question
#define IDS_DISK_SPACE                  1188

// Command-line messages
#define IDS_USAGE                       1200
#define IDS_UNKNOWN_COMMAND             1201
#define IDS_COMMAND_TWICE               1202
#define IDS_NO_BLANK                    1203
#define IDS_NO_COLON                    1204
#define IDS_NEED_PARAMETER              1205

// Size units
#define IDS_BYTES                       1320
#define IDS_KBYTES                      1321
#define IDS_MBYTES                      1322
#define IDS_GBYTES                      1323

// Remaining time units
#define IDS_SEC                         1330
#define IDS_MIN                         1331

// Report title
#define IDS_REPORT_TITLE                1340

// Report: item status texts
#define IDS_STATUS_READ_ONLY            1360
#define IDS_STATUS_NOT_EXIST            1361
#define IDS_STATUS_FAILED               1362
#define IDS_STATUS_SUCCESS              1363
#define IDS_STATUS_FOLDER_READ_ONLY     1364
#define IDS_STATUS_FOLDER_FAILED        1365
#define IDS_STATUS_TEST_ONLY            1366

// Extension browser: list columns, and the description of ".*" (the
// Japanese library only)
#define IDS_EXTENSION_COLUMN            1370
#define IDS_DESCRIPTION_COLUMN          1371
#define IDS_ALL_FILES_DESCRIPTION       1372

// Report: sources and target labels
#define IDS_REPORT_COPY_FROM            1380
#define IDS_REPORT_COPY_TO              1381
#define IDS_REPORT_MOVE_FROM            1382
#define IDS_REPORT_MOVE_TO              1383
#define IDS_REPORT_DELETE               1384

// Report: pattern label and totals
#define IDS_REPORT_PATTERNS             1390
#define IDS_REPORT_TOTAL_FILES          1391
#define IDS_REPORT_COMPLETED_FILES      1392
#define IDS_REPORT_FAILED_FILES         1393
#define IDS_REPORT_FAILED_FOLDERS       1394

// Report: filter settings labels and values
#define IDS_REPORT_SUBFOLDERS           1400
#define IDS_REPORT_EXCLUDE              1401
#define IDS_REPORT_MODIFIED_TIME        1410
#define IDS_REPORT_TIME_ANY             1411
#define IDS_REPORT_FROM_TO              1412
#define IDS_REPORT_FILE_SIZE            1420
#define IDS_REPORT_SIZE_ANY             1421
#define IDS_REPORT_SIZE_SMALL           1422
#define IDS_REPORT_SIZE_MIDDLE          1423
#define IDS_REPORT_SIZE_LARGE           1424

// Report: policy labels and values
#define IDS_REPORT_OVERWRITE            1430
#define IDS_REPORT_OVERWRITE_ALWAYS     1431
#define IDS_REPORT_OVERWRITE_NEWER      1432
#define IDS_REPORT_OVERWRITE_NEVER      1433
#define IDS_REPORT_RECYCLE_LABEL        1436
#define IDS_REPORT_RECYCLE              1437
#define IDS_REPORT_PROTECT              1438
#define IDS_REPORT_TEST_ONLY            1439

// Report: yes and no
#define IDS_YES                         1441
#define IDS_NO                          1442

// Display format of the date-and-time pickers
#define IDS_DATE_FORMAT                 1443

// Label of the CD-burning staging folder in the target history
#define IDS_CD_BURNING                  1600

// Predefined Name|Types entries, seeded into an empty pattern history
#define IDS_PATTERNS_ALL_FILES          1701
#define IDS_PATTERNS_CPP_SOURCE         1702
#define IDS_PATTERNS_VC_SOURCE          1703
#define IDS_PATTERNS_VC_RESOURCE        1704
#define IDS_PATTERNS_VC_INTERMEDIATE    1705
#define IDS_PATTERNS_VC_PROJECT         1706
#define IDS_PATTERNS_EXECUTABLE         1707
#define IDS_PATTERNS_GRAPHICS           1708
#define IDS_PATTERNS_VIDEO              1709
#define IDS_PATTERNS_AUDIO              1710
#define IDS_PATTERNS_DOCUMENT           1711
#define IDS_PATTERNS_DATA               1712
#define IDS_PATTERNS_COMPRESSED         1713
#define IDS_PATTERNS_WEB                1714
#define IDS_PATTERNS_TEXT               1715

// Report: folder-tree cloning label
#define IDS_REPORT_CLONE_TREE           2227

// Safety: refusals of overlapping or unusable targets, reasons of report rows
#define IDS_REFUSAL_TARGET_IS_SELECTED  1800
#define IDS_REFUSAL_TARGET_INSIDE_SELECTION 1801
#define IDS_REFUSAL_TARGET_IS_SOURCE_FOLDER 1802
#define IDS_REFUSAL_TARGET_INVALID      1803
#define IDS_REFUSAL_TARGET_UNREACHABLE  1804
#define IDS_REFUSAL_TARGET_IS_FILE      1805
#define IDS_REFUSAL_UNDECIDABLE         1806
#define IDS_REASON_SAME_FILE            1807
#define IDS_REASON_FOLDER_IN_THE_WAY    1808
#define IDS_REASON_TARGET_UNREADABLE    1809
#define IDS_REASON_TARGET_APPEARED      1810
#define IDS_REASON_TARGET_CHANGED       1811
#define IDS_REASON_SOURCE_KEPT          1812
#define IDS_REASON_LINK_SKIPPED         1813
#define IDS_STATUS_SKIPPED              1814
#define IDS_REASON_LINK_REMOVED         1815
#define IDS_REASON_NOT_A_NAME           1816
#define IDS_REASON_NOT_RECYCLED         1817
#define IDS_REASON_TARGET_FOLDER_SKIPPED 1818
#define IDS_RUN_STOPPED                 1819

// Compress outcomes
#define IDS_COMPRESS_NOTHING_EXISTS     1820
#define IDS_COMPRESS_NOTHING_QUALIFIES  1821
#define IDS_COMPRESS_ITEMS_MISSING      1822
#define IDS_COMPRESS_NO_ANSI_NAME       1823
#define IDS_COMPRESS_ARCHIVE_IS_FOLDER  1824
#define IDS_COMPRESS_ARCHIVE_READ_ONLY  1825
#define IDS_COMPRESS_ARCHIVE_NOT_REPLACED 1826
#define IDS_COMPRESS_LIBRARY_FAILED     1827
#define IDS_COMPRESS_LIST_NOT_WRITTEN   1828
#define IDS_COMPRESS_ITEM_NOT_READ      1829
#define IDS_COMPRESS_NOT_A_NAME         1830
#define IDS_COMPRESS_NOTHING_SELECTED   1831
#define IDS_COMPRESS_LIBRARY_CODE       1832
#define IDS_COMPRESS_NO_ARCHIVE_NAME    1833
#define IDS_COMPRESS_ARCHIVE_NOT_FULL_PATH 1834
#define IDS_COMPRESS_LINKS_SKIPPED      1835
#define IDS_COMPRESS_FOLDER_NOT_LISTED  1836
#define IDS_COMPRESS_LINK_INSIDE        1837

// One operation at a time
#define IDS_OPERATION_RUNNING           1860

// Verified copies: the settings row, the status of a verified file, why a
// verification failed, and the totals row
#define IDS_REPORT_VERIFY_COPIES        1870
#define IDS_STATUS_VERIFIED             1871
#define IDS_REASON_VERIFY_FAILED        1872
#define IDS_REASON_READ_BACK_FAILED     1873
#define IDS_REPORT_VERIFIED_FILES       1874

// Identity per file, held sources, links and unlisted folders
#define IDS_REFUSAL_LANDS_ON_SELECTION  1880
#define IDS_REASON_POSSIBLY_SAME_FILE   1881
#define IDS_REASON_NAME_WRITTEN         1882
#define IDS_REASON_SOURCE_IN_USE        1883
#define IDS_REASON_SOURCE_CHANGED       1884
#define IDS_REASON_SOURCE_CHANGED_IN_COPY 1885
#define IDS_REASON_LINK_IN_THE_WAY      1886
#define IDS_REASON_LINK_INSIDE          1887
#define IDS_REPORT_LINKS_SKIPPED        1888
#define IDS_REASON_TARGET_FOLDER_IS_LINK 1889
#define IDS_REASON_CASE_TWIN_NOT_RECYCLED 1890
#define IDS_RETRY_LIST_CHANGED          1891
#define IDS_RETRY_LIST_UNREADABLE       1892
#define IDS_REPORT_LOCK_GIVEN_UP        1893
#define IDS_REASON_NOW_A_FOLDER         1894
#define IDS_REASON_FILE_IN_THE_WAY      1945
#define IDS_CMD_PLAN_ACTION             1946
#define IDS_CMD_PLAN_DONE               1947
#define IDS_RETRY_NOT_STARTED           1895

// Report: the console command line that repeats the run
#define IDS_REPORT_COMMAND_LINE         1900

// The plan page: its title and heading, the table heads, the summary's
// labels and the text of every planned action
#define IDS_PLAN_TITLE                  1970
#define IDS_PLAN_HEADING                1971
#define IDS_PLAN_COLUMN_SOURCE          1972
#define IDS_PLAN_COLUMN_TARGET          1973
#define IDS_PLAN_COLUMN_ACTION          1974
#define IDS_PLAN_COLUMN_REASON          1975
#define IDS_PLAN_COLUMN_SIZE            1976
#define IDS_PLAN_BYTES_TO_COPY          1977
#define IDS_PLAN_FILES_TO_DELETE        1978
#define IDS_PLAN_ITEMS                  1979
#define IDS_PLAN_ACTION_COPY            1980 // 1980 ... 1990: by FileAction
#define IDS_PLAN_ACTION_REPLACE         1981
#define IDS_PLAN_ACTION_KEEP_TARGET     1982
#define IDS_PLAN_ACTION_MOVE_RENAME     1983
#define IDS_PLAN_ACTION_MOVE_COPY       1984
#define IDS_PLAN_ACTION_DROP_SOURCE     1985
#define IDS_PLAN_ACTION_DELETE          1986
#define IDS_PLAN_ACTION_RECYCLE         1987
#define IDS_PLAN_ACTION_ARCHIVE         1988
#define IDS_PLAN_ACTION_SKIP            1989
#define IDS_PLAN_ACTION_FAIL            1990
#define IDS_PLAN_REPLACING              1991
#define IDS_PLAN_NOTHING                1992
#define IDS_PLAN_NOT_WRITTEN            1993

// The console program SorvaneCmd.exe: usage, refusals of its command line,
// phases and totals on the console, the progress row
#define IDS_CMD_USAGE                   1901
#define IDS_CMD_UNKNOWN_SWITCH          1902
#define IDS_CMD_SWITCH_TWICE            1903
#define IDS_CMD_NEEDS_VALUE             1904
#define IDS_CMD_FLAG_VALUE              1905
#define IDS_CMD_EXTRA_ARGUMENT          1906
#define IDS_CMD_NO_OPERATION            1907
#define IDS_CMD_UNKNOWN_OPERATION       1908
#define IDS_CMD_NO_SOURCE               1909
#define IDS_CMD_NO_TARGET               1910
#define IDS_CMD_TARGET_FOR_DELETE       1911
#define IDS_CMD_NOT_FOR_OPERATION       1912
#define IDS_CMD_BAD_VALUE               1913
#define IDS_CMD_BAD_TIME                1914
#define IDS_CMD_TIME_ORDER              1915
#define IDS_CMD_TOO_LONG                1916
#define IDS_CMD_QUOTE_INSIDE            1917
#define IDS_CMD_JOB_UNREADABLE          1918
#define IDS_CMD_JOB_NOT_UTF8            1919
#define IDS_CMD_JOB_BAD_LINE            1920
#define IDS_CMD_JOB_UNKNOWN_KEY         1921
#define IDS_CMD_JOB_KEY_TWICE           1922
#define IDS_CMD_SOURCE_MISSING          1923
#define IDS_CMD_SOURCE_NOT_A_NAME       1924
#define IDS_CMD_OUTPUT_UNWRITABLE       1925
#define IDS_CMD_NO_ROOM                 1926
#define IDS_CMD_NOTHING_QUALIFIED       1927
#define IDS_CMD_PHASE_COUNTING          1928
#define IDS_CMD_PHASE_RUNNING           1929
#define IDS_CMD_PHASE_FINISHED          1930
#define IDS_CMD_PROGRESS_ROW            1931
#define IDS_CMD_REPORT_PATH             1932
#define IDS_CMD_INTERNAL_ERROR          1933
#define IDS_CMD_CANCEL_REQUESTED        1934
#define IDS_CMD_SOURCE_NO_FOLDER        1935
#define IDS_CMD_COMPRESS_DONE           1936
#define IDS_CMD_COMPRESS_FAILED         1937
#define IDS_CMD_SAME_OUTPUT             1938

// Checksum files of verified copies ("/sums:", "check", the dialog's box)
// and their check
#define IDS_CMD_SUMS_NEEDS_VERIFY       1950
#define IDS_CMD_SUMS_OUTSIDE_TARGET     1951
#define IDS_SUMS_NOT_WRITTEN            1952
#define IDS_CMD_SUMS_SAME_OUTPUT        1953
#define IDS_CMD_CHECK_NO_FILE           1954
#define IDS_CMD_CHECK_UNREADABLE        1955
#define IDS_CHECK_GOOD                  1956
#define IDS_CHECK_CHANGED               1957
#define IDS_CHECK_MISSING               1958
#define IDS_CHECK_UNREAD                1959
#define IDS_CHECK_DAMAGED               1960
#define IDS_CMD_CHECK_TOTALS            1961
#define IDS_REPORT_CHECKSUM_FILE        1962
#define IDS_CMD_SUMS_WRITTEN            1963
#define IDS_CMD_SUMS_IS_SOURCE          1964

#endif // SORVANE_RES_SORVANERES_H
