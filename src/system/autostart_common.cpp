#include "system/autostart.h"

#include "base/wide_text.h"

namespace platform {

std::wstring StartupCommandLine(const std::wstring &executable, const std::wstring &argument)
{
    const std::wstring path = TrimControl(executable);
    const bool quote = path.find_first_of(L" \t") != std::wstring::npos;
    return TrimControl((quote ? L"\"" + path + L"\"" : path) + L" " + argument);
}

std::vector<std::wstring> StartupEntryRequestArguments(bool reg, const std::wstring &valueName,
                                                       const std::wstring &argument)
{
    return {reg ? L"gravar" : L"remover", valueName, argument};
}

int RunStartupEntryRequest(const std::vector<std::wstring> &arguments, const std::wstring &executable)
{
    if (arguments.size() != 3 || (arguments[0] != L"gravar" && arguments[0] != L"remover"))
        return 2;
    try {
        SetRunAtStartup(arguments[0] == L"gravar", arguments[1], arguments[2], executable, false);
        return 0;
    } catch (const AutoStartError &) {
        return 1;
    }
}

std::string SetDataFailedMessage(const std::wstring &valueName)
{
    return "Failed to set data for '" + ToUtf8(valueName) + "'";
}

} // namespace platform
