// Replacing a settings file in one step, against the real file system (the
// private Wine prefix's drive on Windows).
#include "check.h"
#include "check_files.h"

#include "base/file_replace.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

using platform_check::readFile;
using platform_check::TempFolder;
using platform_check::writeFile;

namespace {

size_t fileCount(const std::filesystem::path &folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

} // namespace

PLATFORM_CHECK("file replace: new content in place of the old, nothing left beside it")
{
    TempFolder folder("replace");
    const auto file = folder.path() / "Produto.ini";
    writeFile(file, "[IBCONFIG]\r\nIP=1\r\n");
    CHECK(platform::ReplaceFileContents(file.wstring(), "[IBCONFIG]\r\nIP=127.0.0.1\r\n"));
    CHECK_EQ(readFile(file), std::string("[IBCONFIG]\r\nIP=127.0.0.1\r\n"));
    CHECK_EQ(fileCount(folder.path()), size_t(1));
}

PLATFORM_CHECK("file replace: a missing file is created, a missing folder refused")
{
    TempFolder folder("replace");
    const auto file = folder.path() / "novo.ini";
    CHECK(platform::ReplaceFileContents(file.wstring(), "a"));
    CHECK_EQ(readFile(file), std::string("a"));
    CHECK(!platform::ReplaceFileContents((folder.path() / "nada" / "x.ini").wstring(), "b"));
    CHECK(!std::filesystem::exists(folder.path() / "nada"));
    CHECK(platform::ReplaceFileContents(file.wstring(), ""));
    CHECK_EQ(readFile(file), std::string());
}

#ifdef _WIN32
namespace {

std::wstring accessList(const std::filesystem::path &file)
{
    DWORD size = 0;
    GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::string buffer(size ? size : 1, '\0');
    wchar_t *text = nullptr;
    if (!GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), size, &size)
        || !ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer.data(), SDDL_REVISION_1,
                                                                 DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"";
    const std::wstring list = text;
    LocalFree(text);
    return list;
}

} // namespace

// A new file, even one meant for its owner alone elsewhere, takes the access
// list of the folder, as a file the ERP made there has: every user the
// start-up entry starts the program for can use it. (Wine maps the list onto
// the file's mode and back, so the lists compared are what it reads back.)
PLATFORM_CHECK("file replace: a new file takes the folder's access list")
{
    TempFolder folder("replace");
    const auto erp = folder.path() / "norvacomercio.ini";
    writeFile(erp, "[IBCONFIG]");
    const auto file = folder.path() / "dbxconnections.ini";
    CHECK(platform::ReplaceFileContents(file.wstring(), "Password=x", platform::NewFileAccess::OwnerOnly));
    CHECK_EQ(readFile(file), std::string("Password=x"));
    const std::wstring erpList = accessList(erp);
    CHECK(!erpList.empty());
    CHECK(accessList(file) == erpList);
}

namespace {

// Wine's ReplaceFileW moves the new file over the old one without carrying
// the attributes and the access list over: only Windows itself shows them kept.
bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

} // namespace

PLATFORM_CHECK("file replace: the old file's attributes stay (Windows only)")
{
    if (underWine()) {
        std::cout << "    not checked under Wine\n";
        return;
    }
    TempFolder folder("replace");
    const auto file = folder.path() / "oculto.ini";
    writeFile(file, "old");
    CHECK(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    CHECK(platform::ReplaceFileContents(file.wstring(), "new"));
    CHECK_EQ(readFile(file), std::string("new"));
    CHECK((GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0);
}

PLATFORM_CHECK("file replace: a read-only file is refused and stays as it was")
{
    TempFolder folder("replace");
    const auto locked = folder.path() / "somente-leitura.ini";
    writeFile(locked, "keep");
    CHECK(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    CHECK(!platform::ReplaceFileContents(locked.wstring(), "lost"));
    CHECK_EQ(readFile(locked), std::string("keep"));
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK_EQ(fileCount(folder.path()), size_t(1));
}

PLATFORM_CHECK("file replace: the old file's own access list stays (Windows only)")
{
    if (underWine()) {
        std::cout << "    not checked under Wine\n";
        return;
    }
    TempFolder folder("replace");
    const auto file = folder.path() / "acl.ini";
    writeFile(file, "old");
    // Protected (not inherited): full access for Everyone, read for Users.
    const wchar_t *wanted = L"D:P(A;;FA;;;WD)(A;;FR;;;BU)";
    PSECURITY_DESCRIPTOR sd = nullptr;
    CHECK(ConvertStringSecurityDescriptorToSecurityDescriptorW(wanted, SDDL_REVISION_1, &sd, nullptr));
    CHECK(SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, sd));
    LocalFree(sd);
    CHECK(platform::ReplaceFileContents(file.wstring(), "new"));
    CHECK_EQ(readFile(file), std::string("new"));
    DWORD size = 0;
    GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::string buffer(size ? size : 1, '\0');
    CHECK(GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), size, &size));
    wchar_t *text = nullptr;
    CHECK(ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer.data(), SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::wstring got = text ? text : L"";
    LocalFree(text);
    CHECK(got.find(L"D:P") == 0);
    CHECK(got.find(L"(A;;FR;;;BU)") != std::wstring::npos);
}
#else
PLATFORM_CHECK("file replace: a new file for its owner alone; an existing one keeps its mode")
{
    TempFolder folder("replace");
    const mode_t mask = ::umask(022);
    const auto file = folder.path() / "dbxconnections.ini";
    CHECK(platform::ReplaceFileContents(file.wstring(), "Password=x", platform::NewFileAccess::OwnerOnly));
    const auto shared = folder.path() / "Produto.ini";
    CHECK(platform::ReplaceFileContents(shared.wstring(), "a"));
    CHECK(platform::ReplaceFileContents(shared.wstring(), "b", platform::NewFileAccess::OwnerOnly));
    ::umask(mask);
    struct stat st {};
    CHECK(::stat(file.c_str(), &st) == 0);
    CHECK_EQ(int(st.st_mode & 07777), 0600);
    CHECK(::stat(shared.c_str(), &st) == 0);
    CHECK_EQ(int(st.st_mode & 07777), 0644);
}

PLATFORM_CHECK("file replace: the old file's mode stays")
{
    TempFolder folder("replace");
    const auto file = folder.path() / "Produto.ini";
    writeFile(file, "old");
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    CHECK(platform::ReplaceFileContents(file.wstring(), "new"));
    struct stat st {};
    CHECK(::stat(file.c_str(), &st) == 0);
    CHECK_EQ(int(st.st_mode & 07777), 0640);
}
#endif
