#pragma once
// Registration of the program in the operating system's start-up list.
// Windows: a string value under the machine-wide Run key. Elsewhere: one
// desktop entry in the user's XDG autostart folder per value name.
#include <stdexcept>
#include <string>

namespace platform {

class AutoStartError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error; // message in UTF-8
};

// Writes (reg true) or deletes (reg false) the entry named valueName, whose
// command line is the executable, a blank and argument. executable empty means
// the running program. A missing entry deleted is no error; anything that
// leaves the start-up list other than asked raises AutoStartError.
void SetRunAtStartup(bool reg, const std::wstring &valueName, const std::wstring &argument,
                     const std::wstring &executable = {});

// Whether an entry named valueName exists.
bool RunsAtStartup(const std::wstring &valueName);

// The command line a Windows entry holds: the executable, quoted when it
// contains blanks so that the argument still comes first, a blank and the
// argument, trimmed of spaces and control characters at both ends.
std::wstring StartupCommandLine(const std::wstring &executable, const std::wstring &argument);

// The message of a failed registration, "Failed to set data for '<valueName>'".
std::string SetDataFailedMessage(const std::wstring &valueName);

} // namespace platform
