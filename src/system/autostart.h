#pragma once
// Registration of the program in the operating system's start-up list.
// Windows: a string value under the machine-wide Run key. Elsewhere: one
// desktop entry in the user's XDG autostart folder per value name.
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

class AutoStartError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error; // message in UTF-8
};

// Writes (reg true) or deletes (reg false) the entry named valueName, whose
// command line is the executable, a blank and argument. executable empty means
// the running program. A missing entry deleted is no error, nor is an entry
// that already holds that command line rewritten; anything that leaves the
// start-up list other than asked raises AutoStartError. On Windows, where
// only an administrator may change the machine-wide entry, a program without
// those rights and with mayElevate starts itself elevated (the user is asked)
// for that one change, with StartupEntrySwitch, and waits for it.
void SetRunAtStartup(bool reg, const std::wstring &valueName, const std::wstring &argument,
                     const std::wstring &executable = {}, bool mayElevate = true);

// Whether an entry named valueName exists.
bool RunsAtStartup(const std::wstring &valueName);

// The first argument that makes the program only change its own start-up
// entry and end; the rest: "gravar" or "remover", the value name, the
// argument.
inline constexpr wchar_t StartupEntrySwitch[] = L"--entrada-de-inicializacao";
// The arguments after StartupEntrySwitch, for the executable (its path as the
// entry is to hold it).
std::vector<std::wstring> StartupEntryRequestArguments(bool reg, const std::wstring &valueName,
                                                       const std::wstring &argument);
// Carries out such a request without asking for elevation again; the
// program's exit status: 0 done, 1 refused, 2 not a valid request.
int RunStartupEntryRequest(const std::vector<std::wstring> &arguments, const std::wstring &executable);

#ifdef _WIN32
// Starts executable elevated (Windows asks the user) with StartupEntrySwitch
// and the request, and waits for it, at most a few minutes; true when it
// reports success.
bool ChangeStartupEntryElevated(const std::wstring &executable, bool reg, const std::wstring &valueName,
                                const std::wstring &argument);
#endif

// The command line a Windows entry holds: the executable, quoted when it
// contains blanks so that the argument still comes first, a blank and the
// argument, trimmed of spaces and control characters at both ends.
std::wstring StartupCommandLine(const std::wstring &executable, const std::wstring &argument);

// The message of a failed registration, "Failed to set data for '<valueName>'".
std::string SetDataFailedMessage(const std::wstring &valueName);

} // namespace platform
