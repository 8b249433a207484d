#include "system/autostart.h"

#include "base/wide_text.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
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

// Temporaries of an entry are ".<entry file>.<pid>.tmp"; earlier versions
// left ".<entry file>.<pid>". The pid tells whether their writer still runs.
fs::path temporaryFile(const fs::path &file, pid_t pid)
{
    return file.parent_path() / ("." + file.filename().string() + "." + std::to_string(pid) + ".tmp");
}

// What a writer that was killed left beside the entry; a writer that still
// runs keeps its own.
void removeStaleTemporaries(const fs::path &file)
{
    const std::string prefix = "." + file.filename().string() + ".";
    std::error_code ec;
    for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string digits = name.substr(prefix.size());
        if (digits.size() > 4 && digits.compare(digits.size() - 4, 4, ".tmp") == 0)
            digits.resize(digits.size() - 4);
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(digits));
        if (pid == getpid() || (::kill(pid, 0) != 0 && errno == ESRCH)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

bool writeWhole(int fd, const std::string &text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A new file in the same folder renamed over the entry, so a session starting
// meanwhile never reads half an entry. Unnamed, the new file gets its name
// only just before the rename, so a writer killed meanwhile leaves nothing;
// named, the next write removes what it left.
bool writeEntry(const fs::path &file, const std::string &text, bool unnamed)
{
    const std::string folder = file.parent_path().string();
    const std::string temp = temporaryFile(file, getpid()).string();
    int fd = -1;
#ifdef O_TMPFILE
    if (unnamed)
        fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    if (!unnamed)
        fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = writeWhole(fd, text) && ::fsync(fd) == 0;
    if (ok && unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        ok = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
    }
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// Unnamed where the file system (and /proc) allow it, named otherwise.
bool replaceEntry(const fs::path &file, const std::string &text)
{
    return writeEntry(file, text, true) || writeEntry(file, text, false);
}

} // namespace

void SetRunAtStartup(bool reg, const std::wstring &valueName, const std::wstring &argument,
                     const std::wstring &executable, bool /*mayElevate: the user's own list needs no rights*/)
{
    const fs::path file = entryFile(valueName);
    std::error_code ec;
    removeStaleTemporaries(file);
    if (!reg) {
        if (!fs::remove(file, ec) && ec && fs::exists(fs::symlink_status(file, ec)))
            throw AutoStartError("Failed to delete data for '" + ToUtf8(valueName) + "'");
        return;
    }
    const std::string exe = executable.empty() ? runningExecutable() : ToUtf8(TrimControl(executable));
    fs::create_directories(file.parent_path(), ec);
    if (ec || !replaceEntry(file, entryText(valueName, exe, argument)))
        throw AutoStartError(SetDataFailedMessage(valueName));
}

bool RunsAtStartup(const std::wstring &valueName)
{
    std::error_code ec;
    return fs::is_regular_file(entryFile(valueName), ec);
}

} // namespace platform
