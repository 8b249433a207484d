#include "system/autostart.h"

#include "system/wide_text.h"

namespace platform {

std::wstring StartupCommandLine(const std::wstring &executable, const std::wstring &argument)
{
    const std::wstring path = TrimControl(executable);
    const bool quote = path.find_first_of(L" \t") != std::wstring::npos;
    return TrimControl((quote ? L"\"" + path + L"\"" : path) + L" " + argument);
}

std::string SetDataFailedMessage(const std::wstring &valueName)
{
    return "Failed to set data for '" + ToUtf8(valueName) + "'";
}

} // namespace platform
