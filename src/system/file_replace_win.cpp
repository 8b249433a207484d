#include "system/file_replace.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace platform {

namespace {

// A protected access list (nothing inherited from the folder) for the
// process's user, SYSTEM and the administrators; null when it cannot be made.
PSECURITY_DESCRIPTOR ownerOnlyDescriptor()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size ? size : 1);
    const bool known = GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    wchar_t *sid = nullptr;
    if (!known || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid, &sid))
        return nullptr;
    const std::wstring sddl = std::wstring(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;") + sid + L")";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

} // namespace

bool ReplaceFileContents(const std::wstring &path, std::string_view bytes, NewFileAccess newFile)
{
    static std::atomic<unsigned> counter{0};
    const std::wstring temporary =
        path + L".~" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter.fetch_add(1));
    // An existing file's own access list replaces the new one's (ReplaceFileW),
    // so only a file made here gets one of its own: a password must not be
    // readable by every user the folder lets in, even for a moment.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (newFile == NewFileAccess::OwnerOnly && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        descriptor = ownerOnlyDescriptor();
        if (!descriptor)
            return false;
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, descriptor ? &security : nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (descriptor)
        LocalFree(descriptor);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    for (size_t written = 0; ok && written < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1u << 30));
        DWORD done = 0;
        ok = WriteFile(file, bytes.data() + written, chunk, &done, nullptr) && done > 0;
        written += done;
    }
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    if (ok) {
        // ReplaceFileW carries the old file's security descriptor, attributes
        // and creation time over to the new content; it refuses a read-only file.
        ok = ReplaceFileW(path.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        if (!ok && GetLastError() == ERROR_FILE_NOT_FOUND &&
            GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            ok = MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    if (!ok)
        DeleteFileW(temporary.c_str());
    return ok;
}

} // namespace platform
