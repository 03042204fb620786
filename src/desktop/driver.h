// The desktop program's one run: the argument test, the save dialog, the
// conversion into the temporary file beside the executable, and the copy to
// the chosen destination. Shared by the Linux main and the Windows WinMain.
// Free of system headers so that either entry can include it.
#pragma once

// Runs the program on the argument vector (argv[0] the program, argv[1] the
// source). Every failure ends the run silently; returns 0 in every case.
int RunConversionDriver(int argc, char** argv);

// Non-zero when `path` names something (a directory counts).
int FileExists(const char* path);
