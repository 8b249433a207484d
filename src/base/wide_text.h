#pragma once
// Text helpers shared by the platform layers, which work in std::wstring
// (UTF-16 on Windows, UTF-32 elsewhere) and know nothing of Qt.
#include <string>
#include <string_view>

namespace platform {

// Without spaces and control characters (code 32 or below) at both ends.
std::wstring TrimControl(std::wstring_view text);

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

} // namespace platform
