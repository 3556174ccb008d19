// "Create as a new Archive." without ever giving up the old one first: the
// new archive is made under a temporary name beside it and takes the old
// one's place in one rename, only once it is complete. Until then the old
// archive stays as it was; a temporary that was not put in place is removed.
#pragma once

#include <windows.h>

#include <string>

namespace sorvane {

// Removes from the archive's folder the temporaries of runs that were
// killed (only those whose process is gone and that nobody holds open), so
// that they never end up in an archive of that folder.
void sweepArchiveFolder(const std::wstring& archive);

class ArchiveReplacement {
public:
    explicit ArchiveReplacement(std::wstring archive);
    ~ArchiveReplacement();
    ArchiveReplacement(const ArchiveReplacement&) = delete;
    ArchiveReplacement& operator=(const ArchiveReplacement&) = delete;

    // Chooses a free name in the archive's folder for the new archive
    // ("~sorvane-<process id>-<process start>-<n>.tmp", hexadecimal: the
    // name says which process made it). False when none could be had.
    bool prepare();
    const std::wstring& temporary() const noexcept { return temporary_; }
    // Puts the complete new archive in the archive's place. False, with
    // the system's error and the old archive untouched, when it cannot.
    bool commit(DWORD& error);

private:
    std::wstring archive_;
    std::wstring temporary_;
};

} // namespace sorvane
