// Start-up registration against the real start-up list: the Run key of the
// (private Wine) registry on Windows, a temporary XDG autostart folder here.
#include "check.h"
#include "check_files.h"

#include "base/wide_text.h"
#include "system/autostart.h"

#include <algorithm>
#include <optional>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#include <unistd.h>
#endif

using platform::ToUtf8;

namespace {

const std::wstring ValueName = L"Integração com Catracas Ovrex/Miravel";

#ifdef _WIN32
const std::wstring PlainExe = L"C:\\Apps\\sync.exe";
const std::wstring BlankExe = L"C:\\Program Files\\Krelo Sync\\sync.exe";

// The command line the entry holds, if there is one.
std::optional<std::string> entryCommand(const std::wstring &name)
{
    wchar_t data[2048];
    DWORD bytes = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", name.c_str(),
                     RRF_RT_REG_SZ, nullptr, data, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return ToUtf8(data);
}

struct StartupList {
    StartupList() {} // the registry of the private Wine prefix needs no redirection
};
#else
const std::wstring PlainExe = L"/opt/apps/sync";
const std::wstring BlankExe = L"/opt/Krelo Sync/sync";

// Each check gets its own autostart folder.
struct StartupList {
    platform_check::TempFolder folder{"xdg"};
    StartupList() { setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1); }
};

// The Exec line of the desktop entry whose Name is exactly name.
std::optional<std::string> entryCommand(const std::wstring &name)
{
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(std::getenv("XDG_CONFIG_HOME") + std::string("/autostart"), ec)) {
        const std::string text = platform_check::readFile(e.path());
        if (text.find("\nName=" + ToUtf8(name) + "\n") == std::string::npos)
            continue;
        const size_t at = text.find("\nExec=");
        return at == std::string::npos ? std::string() : text.substr(at + 6, text.find('\n', at + 1) - at - 6);
    }
    return std::nullopt;
}
#endif

std::string quoted(const std::wstring &path)
{
    return "\"" + ToUtf8(path) + "\"";
}

} // namespace

PLATFORM_CHECK("autostart: writes the command line with the hide switch, and finds it")
{
    StartupList list;
    platform::SetRunAtStartup(true, ValueName, L"HIDE", PlainExe);
    CHECK(platform::RunsAtStartup(ValueName));
#ifdef _WIN32
    CHECK_EQ(entryCommand(ValueName).value_or("<none>"), ToUtf8(PlainExe) + " HIDE");
#else
    // Desktop entries always quote the program.
    CHECK_EQ(entryCommand(ValueName).value_or("<none>"), quoted(PlainExe) + " HIDE");
#endif
    platform::SetRunAtStartup(false, ValueName, L"HIDE");
    CHECK(!platform::RunsAtStartup(ValueName));
    CHECK(!entryCommand(ValueName));
}

PLATFORM_CHECK("autostart: a path with blanks is quoted so the hide switch stays the first argument")
{
    StartupList list;
    platform::SetRunAtStartup(true, ValueName, L"HIDE \r\n", BlankExe);
    CHECK_EQ(entryCommand(ValueName).value_or("<none>"), quoted(BlankExe) + " HIDE");
    platform::SetRunAtStartup(false, ValueName, L"HIDE");
}

PLATFORM_CHECK("autostart: writing again replaces the entry of another folder")
{
    StartupList list;
    platform::SetRunAtStartup(true, ValueName, L"HIDE", BlankExe);
    platform::SetRunAtStartup(true, ValueName, L"HIDE", PlainExe);
    const std::string command = entryCommand(ValueName).value_or("<none>");
    CHECK(command.find(ToUtf8(PlainExe)) != std::string::npos);
    CHECK(command.find("Krelo Sync") == std::string::npos);
    platform::SetRunAtStartup(false, ValueName, L"HIDE");
    CHECK(!platform::RunsAtStartup(ValueName));
}

PLATFORM_CHECK("autostart: deleting a missing entry is no error")
{
    StartupList list;
    platform::SetRunAtStartup(false, L"catraca check never registered", L"HIDE");
    platform::SetRunAtStartup(false, L"catraca check never registered", L"HIDE");
    CHECK(!platform::RunsAtStartup(L"catraca check never registered"));
}

PLATFORM_CHECK("autostart: the accented name with its slash is kept exactly")
{
    StartupList list;
    platform::SetRunAtStartup(true, ValueName, L"HIDE", PlainExe);
    CHECK(platform::RunsAtStartup(ValueName));
    CHECK(!platform::RunsAtStartup(L"Integracao com Catracas Ovrex/Miravel"));
    CHECK(!platform::RunsAtStartup(L"Integração com Catracas Ovrex"));
    // Names that a careless file name would merge stay apart.
    platform::SetRunAtStartup(true, L"Integração com Catracas Ovrex Miravel", L"HIDE", BlankExe);
    platform::SetRunAtStartup(false, ValueName, L"HIDE");
    CHECK(!platform::RunsAtStartup(ValueName));
    CHECK(platform::RunsAtStartup(L"Integração com Catracas Ovrex Miravel"));
    platform::SetRunAtStartup(false, L"Integração com Catracas Ovrex Miravel", L"HIDE");
}

PLATFORM_CHECK("autostart: without an executable the running program is registered")
{
    StartupList list;
    platform::SetRunAtStartup(true, ValueName, L"HIDE");
    const std::string command = entryCommand(ValueName).value_or("<none>");
    CHECK(command.find("platform_checks") != std::string::npos);
    CHECK(command.size() > 5 && command.substr(command.size() - 5) == " HIDE");
    platform::SetRunAtStartup(false, ValueName, L"HIDE");
}

PLATFORM_CHECK("autostart: the command line of an entry")
{
    CHECK_EQ(ToUtf8(platform::StartupCommandLine(L"C:\\Apps\\sync.exe", L"HIDE")), "C:\\Apps\\sync.exe HIDE");
    CHECK_EQ(ToUtf8(platform::StartupCommandLine(L"C:\\My Apps\\sync.exe", L"HIDE")), "\"C:\\My Apps\\sync.exe\" HIDE");
    CHECK_EQ(ToUtf8(platform::StartupCommandLine(L"C:\\Apps\\sync.exe", L"")), "C:\\Apps\\sync.exe");
    CHECK_EQ(platform::SetDataFailedMessage(ValueName), "Failed to set data for '" + ToUtf8(ValueName) + "'");
}

// The elevated half of a change asked for without administrator rights: the
// program started with the switch (here the checks themselves, see
// check_main.cpp) makes the change for its own path and tells by its status.
PLATFORM_CHECK("autostart: a start-up entry request writes and removes, and says whether it worked")
{
    StartupList list;
    const auto request = [](bool reg, const std::wstring &name) {
        return platform::RunStartupEntryRequest(platform::StartupEntryRequestArguments(reg, name, L"HIDE"), PlainExe);
    };
    CHECK_EQ(request(true, ValueName), 0);
    const std::string command = entryCommand(ValueName).value_or("<none>");
    CHECK(command.find(ToUtf8(PlainExe)) != std::string::npos && command.substr(command.size() - 5) == " HIDE");
    CHECK_EQ(request(false, ValueName), 0);
    CHECK(!entryCommand(ValueName));
    CHECK_EQ(platform::RunStartupEntryRequest({L"apagar-tudo", ValueName, L"HIDE"}, PlainExe), 2);
    CHECK_EQ(platform::RunStartupEntryRequest({L"gravar", ValueName}, PlainExe), 2);
#ifdef _WIN32
    // Through the shell's "runas", as a program without the rights does it;
    // Wine asks nobody, Windows shows its prompt.
    wchar_t self[MAX_PATH];
    const std::wstring exe(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    CHECK(platform::ChangeStartupEntryElevated(exe, true, ValueName, L"HIDE"));
    CHECK_EQ(entryCommand(ValueName).value_or("<none>"), ToUtf8(exe) + " HIDE");
    CHECK(platform::ChangeStartupEntryElevated(exe, false, ValueName, L"HIDE"));
    CHECK(!entryCommand(ValueName));
    CHECK(!platform::ChangeStartupEntryElevated(exe, true, L"a \"quoted\" name", L"HIDE"));
#endif
}

#ifndef _WIN32
// Wine has no access control on the registry, so only here can a refused
// write be provoked: the configuration folder is a file.
PLATFORM_CHECK("autostart: a write that cannot be done raises its error")
{
    platform_check::TempFolder folder("xdg-blocked");
    platform_check::writeFile(folder.path() / "config", "not a folder");
    setenv("XDG_CONFIG_HOME", (folder.path() / "config").c_str(), 1);
    std::string error;
    try {
        platform::SetRunAtStartup(true, ValueName, L"HIDE", PlainExe);
    } catch (const platform::AutoStartError &e) {
        error = e.what();
    }
    CHECK_EQ(error, "Failed to set data for '" + ToUtf8(ValueName) + "'");
    CHECK(!platform::RunsAtStartup(ValueName));
}
#endif

#ifndef _WIN32
// A writer killed while writing leaves its temporary beside the entry; the
// next write removes it, and leaves nothing but the entry itself.
PLATFORM_CHECK("autostart: a write removes what killed writers left and leaves no temporary")
{
    StartupList list;
    platform::SetRunAtStartup(true, ValueName, L"HIDE", PlainExe);
    const std::filesystem::path folder = std::string(std::getenv("XDG_CONFIG_HOME")) + "/autostart";
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    CHECK_EQ(names.size(), size_t(1));
    const std::string entry = names.empty() ? std::string() : names.front();
    // Process ids above the kernel's limit (pid_max is at most 2^22) never run.
    platform_check::writeFile(folder / ("." + entry + ".99999999.tmp"), "");
    platform_check::writeFile(folder / ("." + entry + ".99999998"), "[Desktop");
    // One of a writer that still runs (this one's parent) stays.
    const std::string running = "." + entry + "." + std::to_string(getppid()) + ".tmp";
    platform_check::writeFile(folder / running, "");
    platform_check::writeFile(folder / "other.desktop.99999999.tmp", "");
    platform::SetRunAtStartup(true, ValueName, L"HIDE", BlankExe);
    names.clear();
    for (const auto &e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    CHECK_EQ(names.size(), size_t(3));
    CHECK(std::find(names.begin(), names.end(), running) != names.end());
    CHECK(std::find(names.begin(), names.end(), "other.desktop.99999999.tmp") != names.end());
    CHECK_EQ(entryCommand(ValueName).value_or("<none>"), quoted(BlankExe) + " HIDE");
    std::filesystem::remove(folder / running);
    platform::SetRunAtStartup(false, ValueName, L"HIDE");
}
#endif
