#include "system/launch.h"

#include "base/wide_text.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace platform {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isProgramFile(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A name with a slash is a path; a bare name is looked up in PATH, as the
// Windows search path would find a bare program name.
std::string resolveProgram(const std::string &name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isProgramFile(name) ? name : std::string();
    const char *env = std::getenv("PATH");
    const std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/" + name;
        if (isProgramFile(candidate))
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

// Arguments after the program, split by the Windows C runtime's rules:
// blanks separate, double quotes group, 2n backslashes before a quote give n
// backslashes and a quote that groups, 2n+1 give n and a literal quote, other
// backslashes are literal.
std::vector<std::string> splitArguments(const std::string &text)
{
    std::vector<std::string> args;
    size_t i = 0;
    while (true) {
        while (i < text.size() && isBlank(text[i]))
            ++i;
        if (i >= text.size())
            break;
        std::string arg;
        bool quoted = false;
        while (i < text.size() && (quoted || !isBlank(text[i]))) {
            if (text[i] == '\\') {
                size_t n = 0;
                while (i < text.size() && text[i] == '\\') {
                    ++n;
                    ++i;
                }
                if (i < text.size() && text[i] == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(n, '\\');
                }
            } else if (text[i] == '"') {
                quoted = !quoted;
                ++i;
            } else {
                arg += text[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

struct ParsedCommand {
    std::string program; // resolved path, empty when none was found
    std::vector<std::string> argv;
};

ParsedCommand parseCommandLine(const std::string &line)
{
    ParsedCommand result;
    size_t start = 0;
    while (start < line.size() && isBlank(line[start]))
        ++start;
    std::string first, rest;
    if (start < line.size() && line[start] == '"') {
        const size_t close = line.find('"', start + 1);
        first = line.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
        rest = close == std::string::npos ? std::string() : line.substr(close + 1);
        result.program = resolveProgram(first);
    } else {
        // An unquoted first token with blanks: every blank could end the
        // program's name, and the shortest name that names a program wins.
        size_t pos = start;
        while (result.program.empty()) {
            pos = line.find_first_of(" \t", pos + 1);
            first = line.substr(start, pos == std::string::npos ? std::string::npos : pos - start);
            result.program = resolveProgram(first);
            if (pos == std::string::npos)
                break;
        }
        rest = pos == std::string::npos ? std::string() : line.substr(pos);
    }
    if (!result.program.empty()) {
        result.argv.push_back(first);
        for (auto &a : splitArguments(rest))
            result.argv.push_back(std::move(a));
    }
    return result;
}

// Starts program; returns its process id, or -1.
pid_t spawn(const std::string &program, const std::vector<std::string> &args, bool detached)
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with the signal state a program expects, not with
    // whatever this process blocks or ignores.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
    // A program opened through the shell outlives this one and its terminal.
    if (detached)
        flags |= POSIX_SPAWN_SETSID;
#endif
    posix_spawnattr_setflags(&attr, flags);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? pid : -1;
}

int waitForExit(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // Killed by a signal: the shells' convention.
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// The shell's programs run on their own; a thread waits for each so that no
// zombie is left behind.
void reapLater(pid_t pid)
{
    if (pid > 0)
        std::thread([pid] { waitForExit(pid); }).detach();
}

} // namespace

void ExecShell(const std::wstring &file, const std::wstring &params, int)
{
    const std::string name = ToUtf8(file);
    const std::string program = resolveProgram(name);
    if (!program.empty()) {
        std::vector<std::string> args{name};
        for (auto &a : splitArguments(ToUtf8(params)))
            args.push_back(std::move(a));
        reapLater(spawn(program, args, true));
        return;
    }
    // Documents go to the desktop's default application; xdg-open takes one
    // file, so parameters have nothing to go to.
    const std::string opener = resolveProgram("xdg-open");
    if (!opener.empty() && !name.empty())
        reapLater(spawn(opener, {"xdg-open", name}, true));
}

bool OpenTextFile(const std::wstring &file, OpenerFailed onFailure)
{
    const std::string opener = resolveProgram("xdg-open");
    if (opener.empty() || file.empty())
        return false;
    const pid_t pid = spawn(opener, {"xdg-open", ToUtf8(file)}, true);
    if (pid <= 0)
        return false;
    // xdg-open ends once the viewer runs, or with 1 to 4 when it found none
    // or the viewer failed: the only word the user would otherwise get.
    std::thread([pid, onFailure = std::move(onFailure)] {
        const int code = waitForExit(pid);
        if (code != 0 && onFailure)
            onFailure(code);
    }).detach();
    return true;
}

int ExecAndWait(const std::wstring &commandLine, int)
{
    if (commandLine.size() > MaxCommandLineLength)
        return -1;
    const ParsedCommand command = parseCommandLine(ToUtf8(commandLine));
    if (command.program.empty())
        return -1;
    const pid_t pid = spawn(command.program, command.argv, false);
    return pid > 0 ? waitForExit(pid) : -1;
}

} // namespace platform
