#include "system/launch.h"

#include <windows.h>
#include <shellapi.h>

#include <thread>
#include <vector>

namespace platform {

void ExecShell(const std::wstring &file, const std::wstring &params, int showCmd)
{
    // An empty operation selects the file's default action.
    ShellExecuteW(GetActiveWindow(), L"", file.c_str(), params.c_str(), L"", showCmd);
}

namespace {

// The opener's process, when the shell started one (a program already
// running may take the file over without a new process), is watched on a
// thread of its own for an exit with an error.
void ReportFailedExit(HANDLE process, OpenerFailed onFailure)
{
    if (!process)
        return;
    std::thread([process, onFailure = std::move(onFailure)] {
        WaitForSingleObject(process, INFINITE);
        DWORD exitCode = 0;
        const bool known = GetExitCodeProcess(process, &exitCode);
        CloseHandle(process);
        if (known && exitCode != 0 && onFailure)
            onFailure(static_cast<int>(exitCode));
    }).detach();
}

} // namespace

bool OpenTextFile(const std::wstring &file, OpenerFailed onFailure)
{
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    // No box of the shell's own when the type has no program: Notepad follows.
    run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS;
    run.hwnd = GetActiveWindow();
    run.lpFile = file.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&run)) {
        ReportFailedExit(run.hProcess, std::move(onFailure));
        return true;
    }
    // .log has no program on some systems (Wine's; one whose editor took the
    // type along when it was removed), and ShellExecute then opens nothing
    // and says nothing. Notepad is on every Windows.
    const std::wstring quoted = L"\"" + file + L"\"";
    run.lpFile = L"notepad.exe";
    run.lpParameters = quoted.c_str();
    run.hProcess = nullptr;
    if (!ShellExecuteExW(&run))
        return false;
    ReportFailedExit(run.hProcess, std::move(onFailure));
    return true;
}

int ExecAndWait(const std::wstring &commandLine, int showCmd)
{
    if (commandLine.size() > MaxCommandLineLength)
        return -1;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCmd);
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

} // namespace platform
