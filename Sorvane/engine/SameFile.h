// Whether two names lead to one file, told per file just before a step that
// would destroy one of them: a target replaced by its source, or a source
// deleted because its target is kept. One file can stand under two names in
// ways no folder comparison sees: a hard link, a file link (Wine shows a
// Unix symbolic link as a plain file), one folder reached through two share
// names whose servers give each share its own volume serial.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sorvane {

// What is known of one open file: the volume's serial number and the
// file's id on it (128 bits where the file system has them, else the
// 64-bit file index), its size and last-write time.
struct FileFacts {
    bool known = false;
    bool wideId = false;     // read through FileIdInfo (128-bit id, 64-bit serial)
    uint64_t volume = 0;     // 0 where the platform gives no answer (Wine for drives it does not know)
    uint64_t idLow = 0;
    uint64_t idHigh = 0;
    uint64_t size = 0;
    FILETIME lastWrite = {};
    DWORD attributes = 0;
};

// FILE_ID_INFO, which the headers of this platform's target version lack:
// the volume's 64-bit serial and the file's 128-bit id.
struct FileIdInformation {
    ULONGLONG volumeSerialNumber;
    BYTE fileId[16];
};

// The platform calls that read an identity, replaceable so that tests can
// drive each fallback with an injected result.
struct IdentityCalls {
    BOOL(WINAPI* fileIdInfo)(HANDLE, FileIdInformation*);
    BOOL(WINAPI* byHandle)(HANDLE, BY_HANDLE_FILE_INFORMATION*);
};
const IdentityCalls& systemIdentityCalls();

// Reads the facts of an open file: its id through FileIdInfo, falling back
// to the file index where the file system has no 128-bit ids (or the call
// is not there); size, time and attributes always through the handle's
// basic information. `known` stays false, with the system's error as the
// last error, when nothing could be read.
FileFacts readFileFacts(HANDLE file, const IdentityCalls& calls = systemIdentityCalls());

// Opens `path` only to read its attributes (links followed, nobody kept
// out) and reads its facts. `error` receives the reason when it cannot.
FileFacts readFileFacts(const wchar_t* path, DWORD& error);

enum class SameFile {
    No,        // two files
    Yes,       // one file: the same volume and the same id
    Possibly,  // the same id, size and time, but the volumes cannot be told to be one
};

// The decision. Equal ids on one volume whose serial is known are one file.
// Where the serials differ, or one is 0, equal ids with equal sizes and
// last-write times may still be one file (one share reached under two
// names): possibly the same. A side whose facts are unknown is no match.
SameFile judgeSameFile(const FileFacts& a, const FileFacts& b);

} // namespace sorvane
