#include "system/autostart.h"

#include "base/wide_text.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

namespace platform {

namespace {
// The trailing backslash and the upper case are those the installation has
// always used; the registry ignores both.
const wchar_t RunKey[] = L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\";

class RunKeyHandle
{
public:
    explicit RunKeyHandle(REGSAM access)
    {
        // Opened, never created: only an administrator gets full access.
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, RunKey, 0, access, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~RunKeyHandle()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    RunKeyHandle(const RunKeyHandle &) = delete;
    RunKeyHandle &operator=(const RunKeyHandle &) = delete;
    explicit operator bool() const { return m_key != nullptr; }
    HKEY get() const { return m_key; }

    bool hasValue(const std::wstring &name) const
    {
        return m_key && RegQueryValueExW(m_key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

    // Whether the value is this string (read access is enough to tell).
    bool holds(const std::wstring &name, const std::wstring &data) const
    {
        std::wstring stored(data.size() + 2, L'\0');
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(stored.size() * sizeof(wchar_t));
        if (!m_key || RegQueryValueExW(m_key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(stored.data()),
                                       &bytes) != ERROR_SUCCESS || type != REG_SZ)
            return false;
        stored.resize(bytes / sizeof(wchar_t));
        while (!stored.empty() && stored.back() == L'\0')
            stored.pop_back();
        return stored == data;
    }

private:
    HKEY m_key = nullptr;
};

std::wstring runningExecutable()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

bool RunsElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size)
                          && elevation.TokenIsElevated;
    CloseHandle(token);
    return elevated;
}

std::wstring QuotedArgument(const std::wstring &text)
{
    // The request's texts are the program's own (no quotes, no trailing
    // backslash), so plain quoting is exact for CommandLineToArgvW.
    if (text.find(L'"') != std::wstring::npos || (!text.empty() && text.back() == L'\\'))
        return {};
    return L"\"" + text + L"\"";
}

} // namespace

bool ChangeStartupEntryElevated(const std::wstring &executable, bool reg, const std::wstring &valueName,
                                const std::wstring &argument)
{
    constexpr DWORD AnswerLimitMs = 180000;
    std::wstring parameters = StartupEntrySwitch;
    for (const std::wstring &part : StartupEntryRequestArguments(reg, valueName, argument)) {
        const std::wstring quoted = QuotedArgument(part);
        if (quoted.empty())
            return false;
        parameters += L" " + quoted;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.hwnd = GetForegroundWindow();
    info.lpVerb = L"runas";
    info.lpFile = executable.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    // Refused at the prompt: ERROR_CANCELLED, no process.
    if (!ShellExecuteExW(&info) || !info.hProcess)
        return false;
    DWORD status = 1;
    const bool ended = WaitForSingleObject(info.hProcess, AnswerLimitMs) == WAIT_OBJECT_0;
    if (!ended || !GetExitCodeProcess(info.hProcess, &status))
        status = 1;
    CloseHandle(info.hProcess);
    return status == 0;
}

void SetRunAtStartup(bool reg, const std::wstring &valueName, const std::wstring &argument,
                     const std::wstring &executable, bool mayElevate)
{
    const std::wstring program = executable.empty() ? runningExecutable() : executable;
    RunKeyHandle key(KEY_ALL_ACCESS);
    // The program runs with the invoking user's rights; only the change
    // itself asks for an administrator's, and only when it is a change.
    const bool elevate = !key && mayElevate && !RunsElevated();
    if (reg) {
        const std::wstring data = StartupCommandLine(program, argument);
        if (!key && RunKeyHandle(KEY_QUERY_VALUE).holds(valueName, data))
            return;
        if (elevate && ChangeStartupEntryElevated(program, true, valueName, argument))
            return;
        const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
        if (!key || RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE *>(data.c_str()), bytes) != ERROR_SUCCESS)
            throw AutoStartError(SetDataFailedMessage(valueName));
        return;
    }
    if (key) {
        const LSTATUS rc = RegDeleteValueW(key.get(), valueName.c_str());
        if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
            return;
    } else if (RunKeyHandle(KEY_QUERY_VALUE).hasValue(valueName) && elevate
               && ChangeStartupEntryElevated(program, false, valueName, argument)) {
        return;
    }
    // Without rights nothing can be deleted; that is only a failure when an
    // entry is really left behind, so the user is not told it went away.
    if (RunKeyHandle(KEY_QUERY_VALUE).hasValue(valueName))
        throw AutoStartError("Failed to delete data for '" + ToUtf8(valueName) + "'");
}

bool RunsAtStartup(const std::wstring &valueName)
{
    // Reading needs no administrator: a user without those rights still sees
    // the entry that is there.
    return RunKeyHandle(KEY_QUERY_VALUE).hasValue(valueName);
}

} // namespace platform
