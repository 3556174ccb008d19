// One run of SorvaneCmd.exe: the command line and job file read and
// checked before anything is touched, the run sequence (or the compress
// operation) with the console's progress and the results files, the totals
// and the exit code. Ctrl+C and Ctrl+Break cancel the run as the dialog's
// Cancel button does.
#pragma once

#include <string>
#include <vector>

namespace sorvane {

class ConsoleOutput;

// Runs the command of `arguments` (those after the program's name) and
// returns the exit code (ResultCodes.h).
int runConsole(const std::vector<std::wstring>& arguments, ConsoleOutput& out);

// Takes Ctrl+C, Ctrl+Break and the closing of the console as a request to
// cancel the run in hand (or the run about to start).
void installCancelHandler();

// True once a cancel was requested.
bool cancelRequested() noexcept;

} // namespace sorvane
