#include "system/autostart.h"

#include "system/wide_text.h"

#include <windows.h>

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
} // namespace

void SetRunAtStartup(bool reg, const std::wstring &valueName, const std::wstring &argument,
                     const std::wstring &executable)
{
    RunKeyHandle key(KEY_ALL_ACCESS);
    if (reg) {
        const std::wstring data = StartupCommandLine(executable.empty() ? runningExecutable() : executable, argument);
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
    }
    // Without rights nothing can be deleted; that is only a failure when an
    // entry is really left behind, so the user is not told it went away.
    if (RunKeyHandle(KEY_QUERY_VALUE).hasValue(valueName))
        throw AutoStartError("Failed to delete data for '" + ToUtf8(valueName) + "'");
}

bool RunsAtStartup(const std::wstring &valueName)
{
    return RunKeyHandle(KEY_ALL_ACCESS).hasValue(valueName);
}

} // namespace platform
