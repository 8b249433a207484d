#pragma once
// Starting other programs: through the desktop's shell without waiting, or as
// a child process whose exit code is awaited.
#include <cstddef>
#include <functional>
#include <string>

namespace platform {

// Longest command line ExecAndWait starts; a longer one is refused.
inline constexpr std::size_t MaxCommandLineLength = 512;

// Opens file with params the way a double-click would (programs are started,
// documents opened with their default application) and returns at once.
// Nothing is reported; the started program outlives this one.
void ExecShell(const std::wstring &file, const std::wstring &params, int showCmd);

// Told the exit code of an opener that ended with an error; called at most
// once, on a thread of its own.
using OpenerFailed = std::function<void(int exitCode)>;

// Opens a text file for the user to read, in the program the desktop has for
// its type; on Windows, where its type has none, in Notepad. False when
// nothing could be started. An opener that starts and then ends with an
// error (it found no viewer, or the viewer could not read the file) is
// reported to onFailure later; nobody waits for it here.
bool OpenTextFile(const std::wstring &file, OpenerFailed onFailure = {});

// Starts the command line's program, waits for its end and returns its exit
// code; -1 when it cannot be started or the line is longer than
// MaxCommandLineLength. The program is the line's first token; when that is
// unquoted and contains blanks, the shortest blank-separated prefix naming a
// program wins, as on Windows.
int ExecAndWait(const std::wstring &commandLine, int showCmd);

// The file, a blank and the parameters, trimmed of characters of code 32 or
// below at both ends (so empty parameters leave the file alone).
std::wstring CommandLineOf(const std::wstring &file, const std::wstring &params);

} // namespace platform
