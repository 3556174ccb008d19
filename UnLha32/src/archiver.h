// Carries out parsed archiver commands on the file system.
#pragma once

#include <windows.h>

#include <string>

#include "lha_command.h"

namespace unlha {

// Results of Unlha(): 0 means the archive was written completely.
enum Result : int {
    kOk = 0,
    kErrCommand = 0x8001,   // command line not understood
    kErrNoFiles = 0x8002,   // nothing matched the names given
    kErrArchive = 0x8003,   // the existing archive is damaged or unsupported
    kErrRead = 0x8004,      // a file could not be read
    kErrWrite = 0x8005,     // the new archive could not be written or put in place
    kErrSfx = 0x8006,       // the self-extractor could not be made
    kErrInternal = 0x8007,  // out of memory or another unexpected failure
};

// Trailer at the very end of a self-extractor: where its archive lies.
struct SfxTrailer {
    char magic[8];             // "SVLZHSFX"
    uint64_t archive_offset;   // from the start of the file
    uint64_t archive_size;
    uint32_t flags;            // kSfxEnglish, kSfxNoDialog
    uint32_t reserved;
};
constexpr uint32_t kSfxEnglish = 1;
constexpr uint32_t kSfxNoDialog = 2;
constexpr int kSfxStubResource = 101;  // RCDATA in the library holding the stub

// Runs a command line; `message` receives a short account of a failure.
int run_command_line(HMODULE self, const std::string& line, std::string& message);

}  // namespace unlha
