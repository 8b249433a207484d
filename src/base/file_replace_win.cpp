#include "base/file_replace.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace platform {

bool ReplaceFileContents(const std::wstring &path, std::string_view bytes, NewFileAccess)
{
    static std::atomic<unsigned> counter{0};
    const std::wstring temporary =
        path + L".~" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter.fetch_add(1));
    // A new file takes the folder's inherited access list, as the ERP's own
    // files there do, whatever it holds: the start-up entry starts the
    // program for every user who logs on, and each must read and save its
    // settings. An existing file's own list replaces it (ReplaceFileW).
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
