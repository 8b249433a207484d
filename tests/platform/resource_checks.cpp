// The executable's Windows resources (src/app/catraca-sync.rc), linked into
// the checks by scripts/wine-tests.sh, which alone defines
// CATRACA_CHECK_RESOURCES: the manifest (the invoking user's level, Windows
// 10 and 11 only), the icon and the version texts.
#include "check.h"

#if defined(_WIN32) && defined(CATRACA_CHECK_RESOURCES)
#include "base/wide_text.h"

#include <windows.h>

#include <string>
#include <vector>

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

PLATFORM_CHECK("resources: the manifest runs as the invoking user and declares Windows 10 and 11 alone")
{
    const std::string m = manifest();
    CHECK(m.find("level=\"asInvoker\"") != std::string::npos);
    CHECK(m.find("highestAvailable") == std::string::npos);
    CHECK(m.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}") != std::string::npos);
    std::size_t declared = 0;
    for (std::size_t at = m.find("<supportedOS"); at != std::string::npos; at = m.find("<supportedOS", at + 1))
        ++declared;
    CHECK_EQ(declared, std::size_t(1));
    CHECK(m.find("uiAccess=\"false\"") != std::string::npos);
    CHECK(m.find("Microsoft.Windows.Common-Controls") != std::string::npos);
    // The program calls the wide API throughout: no UTF-8 active code page.
    CHECK(m.find("activeCodePage") == std::string::npos);
}

// The sizes of the icon's images, from its group directory (a width byte of
// 0 stands for 256).
static std::vector<int> iconSizes()
{
    std::vector<int> sizes;
    HRSRC found = FindResourceW(nullptr, L"IDI_ICON1", MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    if (!found)
        return sizes;
    const auto *dir = static_cast<const unsigned char *>(LockResource(LoadResource(nullptr, found)));
    const int count = dir[4] | dir[5] << 8;
    for (int i = 0; i < count; ++i)
        sizes.push_back(dir[6 + 14 * i] ? dir[6 + 14 * i] : 256);
    return sizes;
}

PLATFORM_CHECK("resources: the icon and the version texts")
{
    CHECK(LoadIconW(GetModuleHandleW(nullptr), L"IDI_ICON1") != nullptr);
    CHECK((iconSizes() == std::vector<int>{16, 24, 32, 48, 64, 256}));
    CHECK_EQ(versionText(L"FileDescription"), "Integração com Catracas Ovrex/Miravel");
    CHECK_EQ(versionText(L"OriginalFilename"), "catraca-sync.exe");
    CHECK_EQ(versionText(L"CompanyName"), "Krelo");
    CHECK_EQ(versionText(L"LegalCopyright"), "Copyright © 2026 Krelo");
}
#endif
