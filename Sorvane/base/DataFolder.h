// The per-user data folder of both programs, where the reports and the
// settings file lie.
#pragma once

#include <windows.h>

#include <cstddef>

namespace sorvane {

// The per-user data folder "<AppData>\Brenmoor\Sorvane\" (created), or an
// empty text when the system gives no application-data folder.
void initAppDataFolder(wchar_t* folder, size_t capacity);

} // namespace sorvane
