// The executable's Windows resources (src/app/catraca-sync.rc), linked into
// the checks by scripts/wine-tests.sh, which alone defines
// CATRACA_CHECK_RESOURCES: the manifest that lets an administrator write the
// machine-wide start-up entry, the icon and the version texts.
#include "check.h"

#if defined(_WIN32) && defined(CATRACA_CHECK_RESOURCES)
#include "system/wide_text.h"

#include <windows.h>

#include <string>

namespace {

std::string manifest()
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (!found)
        return {};
    const char *text = static_cast<const char *>(LockResource(LoadResource(nullptr, found)));
    return std::string(text, SizeofResource(nullptr, found));
}

std::string versionText(const wchar_t *name)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeW(path, &ignored), '\0');
    if (block.empty() || !GetFileVersionInfoW(path, 0, static_cast<DWORD>(block.size()), block.data()))
        return {};
    wchar_t *value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041604b0\\") + name;
    if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void **>(&value), &length) || !value)
        return {};
    return platform::ToUtf8(value);
}

} // namespace

PLATFORM_CHECK("resources: the manifest asks for the highest available level, without UI access")
{
    const std::string m = manifest();
    CHECK(m.find("level=\"highestAvailable\"") != std::string::npos);
    CHECK(m.find("uiAccess=\"false\"") != std::string::npos);
    CHECK(m.find("Microsoft.Windows.Common-Controls") != std::string::npos);
    // The program calls the wide API throughout: no UTF-8 active code page.
    CHECK(m.find("activeCodePage") == std::string::npos);
}

PLATFORM_CHECK("resources: the icon and the version texts")
{
    CHECK(LoadIconW(GetModuleHandleW(nullptr), L"IDI_ICON1") != nullptr);
    CHECK_EQ(versionText(L"FileDescription"), "Integração com Catracas Ovrex/Miravel");
    CHECK_EQ(versionText(L"OriginalFilename"), "catraca-sync.exe");
}
#endif
