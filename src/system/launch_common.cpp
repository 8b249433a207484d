#include "system/launch.h"

#include "base/wide_text.h"

namespace platform {

std::wstring CommandLineOf(const std::wstring &file, const std::wstring &params)
{
    return TrimControl(file + L" " + params);
}

} // namespace platform
