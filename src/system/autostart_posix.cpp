#include "system/autostart.h"

#include "system/wide_text.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

fs::path autostartFolder()
{
    // The XDG base directory rules ignore a relative XDG_CONFIG_HOME.
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return fs::path(config) / "autostart";
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd *pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : "/";
    }
    return fs::path(home) / ".config" / "autostart";
}

// A file name that is safe whatever the value name holds (a slash, accents,
// dots), readable where the name is plain ASCII, and different for different
// names thanks to a hash of the exact name.
fs::path entryFile(const std::wstring &valueName)
{
    const std::string utf8 = ToUtf8(valueName);
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (unsigned char c : utf8)
        hash = (hash ^ c) * 16777619u;
    std::string stem;
    for (unsigned char c : utf8) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (plain)
            stem += static_cast<char>(c);
        else if (!stem.empty() && stem.back() != '-')
            stem += '-';
        if (stem.size() >= 64)
            break;
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(hash));
    return autostartFolder() / ((stem.empty() ? std::string("autostart-") : stem + (stem.back() == '-' ? "" : "-"))
                                + suffix + ".desktop");
}

// The escapes of a desktop entry's string values.
std::string escapeValue(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    if (!out.empty() && out.front() == ' ')
        out.replace(0, 1, "\\s");
    return out;
}

// One argument of an Exec line, quoted as the desktop entry rules ask
// (before the string escapes, which escapeValue adds).
std::string execArgument(const std::string &arg, bool alwaysQuote)
{
    const bool quote = alwaysQuote || arg.empty() || arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string out;
    for (char c : arg) {
        if (c == '%')
            out += "%%";
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += std::string("\\") + c;
        else
            out += c;
    }
    return quote ? "\"" + out + "\"" : out;
}

std::string runningExecutable()
{
    std::string buffer(PATH_MAX, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    return n > 0 ? buffer.substr(0, static_cast<size_t>(n)) : std::string();
}

std::string entryText(const std::wstring &valueName, const std::string &executable, const std::wstring &argument)
{
    const std::string arg = ToUtf8(TrimControl(argument));
    std::string exec = execArgument(executable, true);
    if (!arg.empty())
        exec += " " + execArgument(arg, false);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + escapeValue(ToUtf8(valueName)) + "\n"
           "Exec=" + escapeValue(exec) + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n"
           // A tray program needs the panel's notification area to exist first.
           "X-KDE-autostart-after=panel\n"
           "X-KDE-autostart-phase=2\n"
           "X-LXQt-Need-Tray=true\n"
           "X-MATE-Autostart-Delay=2\n";
}

} // namespace

void SetRunAtStartup(bool reg, const std::wstring &valueName, const std::wstring &argument,
                     const std::wstring &executable)
{
    const fs::path file = entryFile(valueName);
    std::error_code ec;
    if (!reg) {
        if (!fs::remove(file, ec) && ec && fs::exists(fs::symlink_status(file, ec)))
            throw AutoStartError("Failed to delete data for '" + ToUtf8(valueName) + "'");
        return;
    }
    const std::string exe = executable.empty() ? runningExecutable() : ToUtf8(TrimControl(executable));
    // Written beside and renamed over, so a session starting meanwhile never
    // reads half an entry.
    const fs::path temp = file.parent_path() / ("." + file.filename().string() + "." + std::to_string(getpid()));
    bool written = false;
    fs::create_directories(file.parent_path(), ec);
    if (!ec) {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << entryText(valueName, exe, argument);
        out.close();
        written = out.good();
        if (written) {
            fs::rename(temp, file, ec);
            written = !ec;
        }
        if (!written)
            fs::remove(temp, ec);
    }
    if (!written)
        throw AutoStartError(SetDataFailedMessage(valueName));
}

bool RunsAtStartup(const std::wstring &valueName)
{
    std::error_code ec;
    return fs::is_regular_file(entryFile(valueName), ec);
}

} // namespace platform
