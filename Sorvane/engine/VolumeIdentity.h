// Whether two places lie on one volume, told by the volumes' serial
// numbers as the file system reports them, never by how the paths are
// spelled: one drive letter can hold several volumes (another file system
// mounted on a folder, as Z:\tmp and Z:\dev\shm under Wine), and one volume
// can be reached through several letters or shares. A move within one
// volume is a rename; across volumes it copies, so the counting pass's
// needed room and byte totals depend on the answer.
#pragma once

#include <cstdint>

namespace sorvane {

// The serial number of the volume that holds `path`. A place that does not
// exist yet (a target folder still to be made) is on the volume of the
// nearest folder above it that does. False when none can be opened.
bool readVolumeSerial(const wchar_t* path, uint32_t& serial);

// True when both places have a volume serial number and it is the same;
// false when either cannot be told (the run then counts as across volumes,
// which asks for more room, never less).
bool onSameVolume(const wchar_t* a, const wchar_t* b);

// Whether a move from `a` to `b` will be a rename, as a plan says it (the
// run tries the rename first in any case and copies where the system
// refuses it): on one volume by its serial number, or, where a serial
// cannot be read (Wine answers 0 for some drives), under one root.
bool movesByRename(const wchar_t* a, const wchar_t* b);

} // namespace sorvane
