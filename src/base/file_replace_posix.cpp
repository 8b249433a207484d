#include "base/file_replace.h"
#include "base/wide_text.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool ReplaceFileContents(const std::wstring &path, std::string_view bytes, NewFileAccess newFile)
{
    static std::atomic<unsigned> counter{0};
    const std::string target = ToUtf8(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // Like every other program, refuse to replace what its mode says is read-only.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        return false;
    const std::string temporary =
        target + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    const mode_t mode = !exists && newFile == NewFileAccess::OwnerOnly ? 0600 : 0666;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    bool ok = !exists || ::fchmod(fd, old.st_mode & 07777) == 0;
    for (size_t written = 0; ok && written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            written += size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

} // namespace platform
