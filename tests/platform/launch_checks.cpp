// Process launching with real child processes: the system's command
// interpreter and small scripts written for each check.
#include "check.h"
#include "check_files.h"

#include "base/wide_text.h"
#include "system/launch.h"

#include <atomic>
#include <cstdlib>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using platform::ToUtf8;
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const std::wstring ExitThree = L"cmd /c exit 3";
const char *const ScriptExt = ".bat";
// The scripts' bodies: exit with the first argument, or write a marker file.
const char *const ExitWithArgument = "@exit %1\r\n";
const char *const WriteMarker = "@echo done> \"%~1\"\r\n";
#else
const std::wstring ExitThree = L"sh -c \"exit 3\"";
const char *const ScriptExt = ".sh";
const char *const ExitWithArgument = "#!/bin/sh\nexit ${1:-0}\n";
const char *const WriteMarker = "#!/bin/sh\necho done > \"$1\"\n";
#endif

fs::path writeScript(const fs::path &folder, const std::string &name, const std::string &body)
{
    const fs::path file = folder / (name + ScriptExt);
    platform_check::writeFile(file, body);
#ifndef _WIN32
    chmod(file.c_str(), 0755);
#endif
    return file;
}

std::wstring quoted(const fs::path &p)
{
    return L"\"" + p.wstring() + L"\"";
}

bool waitForFile(const fs::path &file, int seconds)
{
    for (int i = 0; i < seconds * 20; ++i) {
        std::error_code ec;
        if (fs::file_size(file, ec) > 0 && !ec)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace

PLATFORM_CHECK("launch: the child's exit code comes back")
{
    CHECK_EQ(platform::ExecAndWait(ExitThree, 1), 3);
    platform_check::TempFolder folder("launch");
    const fs::path script = writeScript(folder.path(), "exitwith", ExitWithArgument);
    CHECK_EQ(platform::ExecAndWait(script.wstring() + L" 7", 1), 7);
    CHECK_EQ(platform::ExecAndWait(quoted(script) + L" 0", 1), 0);
}

PLATFORM_CHECK("launch: a program that cannot be started gives -1")
{
    platform_check::TempFolder folder("launch");
    CHECK_EQ(platform::ExecAndWait(L"catraca-no-such-program --version", 1), -1);
    CHECK_EQ(platform::ExecAndWait((folder.path() / "missing.exe").wstring(), 1), -1);
    CHECK_EQ(platform::ExecAndWait(L"", 1), -1);
}

PLATFORM_CHECK("launch: a command line longer than 512 characters is refused")
{
    // The same line is started when it is short enough.
    CHECK_EQ(platform::ExecAndWait(ExitThree + std::wstring(512 - ExitThree.size(), L' '), 1), 3);
    CHECK_EQ(platform::ExecAndWait(ExitThree + std::wstring(513 - ExitThree.size(), L' '), 1), -1);
}

PLATFORM_CHECK("launch: a program path with blanks, quoted or not")
{
    platform_check::TempFolder folder("launch");
    const fs::path script = writeScript(folder.path() / "Krelo Tools", "exit with", ExitWithArgument);
    // Unquoted, the first blank-separated prefix naming a program is started.
    CHECK_EQ(platform::ExecAndWait(script.wstring() + L" 5", 1), 5);
    CHECK_EQ(platform::ExecAndWait(quoted(script) + L" 6", 1), 6);
}

PLATFORM_CHECK("launch: empty parameters leave the file alone on the command line")
{
    CHECK_EQ(ToUtf8(platform::CommandLineOf(L"C:\\Apps\\tool.exe", L"")), "C:\\Apps\\tool.exe");
    CHECK_EQ(ToUtf8(platform::CommandLineOf(L" C:\\Apps\\tool.exe", L"-x \r\n")), "C:\\Apps\\tool.exe -x");
    platform_check::TempFolder folder("launch");
    const fs::path script = writeScript(folder.path(), "exitwith", ExitWithArgument);
    // Without an argument the script exits with its last command's code, 0.
    CHECK_EQ(platform::ExecAndWait(platform::CommandLineOf(script.wstring(), L""), 1), 0);
}

PLATFORM_CHECK("launch: the shell starts a program without waiting")
{
    platform_check::TempFolder folder("launch");
    const fs::path script = writeScript(folder.path() / "Krelo Tools", "marker", WriteMarker);
    const fs::path marker = folder.path() / "marker.txt";
    platform::ExecShell(script.wstring(), quoted(marker), 1);
    CHECK(waitForFile(marker, 15));
}

PLATFORM_CHECK("launch: an opener that ends with an error is reported with its exit code")
{
    platform_check::TempFolder folder("launch");
    std::atomic<int> reported{-1};
    const auto report = [&reported](int code) { reported = code; };
    const auto waitForReport = [&reported](int seconds) {
        for (int i = 0; i < seconds * 20 && reported < 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return reported.load();
    };
#ifdef _WIN32
    // The shell runs a batch file itself: its exit code is the opener's.
    const fs::path failing = writeScript(folder.path(), "opener", "@exit 3\r\n");
    const fs::path fine = writeScript(folder.path(), "fine", "@exit 0\r\n");
    const int expected = 3;
#else
    // The desktop's opener, replaced for the check by one that found no viewer.
    const fs::path failing = folder.path() / "registro.log";
    const fs::path fine = failing;
    platform_check::writeFile(failing, "linha\n");
    const fs::path bin = folder.path() / "bin";
    writeScript(bin, "xdg-open", "#!/bin/sh\n[ -n \"$CATRACA_OPENER_FAILS\" ] && exit 4\nexit 0\n");
    fs::rename(bin / "xdg-open.sh", bin / "xdg-open");
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
    setenv("CATRACA_OPENER_FAILS", "1", 1);
    const int expected = 4;
#endif
    CHECK(platform::OpenTextFile(failing.wstring(), report));
    CHECK_EQ(waitForReport(15), expected);
#ifndef _WIN32
    unsetenv("CATRACA_OPENER_FAILS");
#endif
    reported = -1;
    CHECK(platform::OpenTextFile(fine.wstring(), report));
    CHECK_EQ(waitForReport(2), -1);
#ifndef _WIN32
    setenv("PATH", oldPath.c_str(), 1);
#endif
}

#ifndef _WIN32
namespace {
int zombieChildren()
{
    int count = 0;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = platform_check::readFile(e.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size())
            continue;
        char state = stat[close + 2];
        const long ppid = std::strtol(stat.c_str() + close + 4, nullptr, 10);
        if (state == 'Z' && ppid == getpid())
            ++count;
    }
    return count;
}
} // namespace

PLATFORM_CHECK("launch: programs started through the shell leave no zombie")
{
    platform_check::TempFolder folder("launch");
    const fs::path script = writeScript(folder.path(), "marker", WriteMarker);
    const fs::path marker = folder.path() / "marker.txt";
    platform::ExecShell(script.wstring(), quoted(marker), 1);
    CHECK(waitForFile(marker, 10));
    int zombies = 1;
    for (int i = 0; i < 40 && zombies; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        zombies = zombieChildren();
    }
    CHECK_EQ(zombies, 0);
}

PLATFORM_CHECK("launch: a document without a program to open it returns at once")
{
    platform_check::TempFolder folder("launch");
    const fs::path document = folder.path() / "notes.catraca-unknown";
    platform_check::writeFile(document, "text");
    const auto start = std::chrono::steady_clock::now();
    platform::ExecShell(document.wstring(), L"", 1);
    platform::ExecShell((folder.path() / "missing.txt").wstring(), L"", 1);
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(2));
}
#endif
