#include "system/instance_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Every user sees /tmp; TMPDIR may be a user's own.
const char LockFolder[] = "/tmp/";

std::string Describe(const char *what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

} // namespace

InstanceLock::InstanceLock(const std::string &key)
    : m_key(key), m_name(LockFolder + key + ".lock")
{
}

InstanceLock::~InstanceLock()
{
    if (m_handle >= 0)
        close(static_cast<int>(m_handle));
}

InstanceLock::Outcome InstanceLock::Acquire()
{
    if (m_handle >= 0)
        return Outcome::Acquired;
    m_reason.clear();
    // /tmp is sticky and shared: no link is followed, a FIFO put there cannot
    // hold the open, and a file another user made is opened without O_CREAT
    // (which protected_regular refuses there). flock needs no write access,
    // so whoever made the file, every user can lock it.
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 3; ++attempt) {
        fd = open(m_name.c_str(), flags);
        if (fd >= 0 || errno != ENOENT)
            break;
        fd = open(m_name.c_str(), flags | O_CREAT | O_EXCL, 0644);
        if (fd >= 0)
            fchmod(fd, 0644); // whatever the umask, others may open it
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0) {
        m_reason = Describe(("não foi possível abrir a trava " + m_name).c_str(), errno);
        return Outcome::Failed;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        m_reason = "a trava " + m_name + " não é um arquivo comum";
        return Outcome::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) {
            m_reason = "outra execução deste programa, desta mesma pasta, já está em andamento (trava " + m_name + ")";
            return Outcome::HeldElsewhere;
        }
        m_reason = Describe(("não foi possível travar " + m_name).c_str(), error);
        return Outcome::Failed;
    }
    m_handle = fd;
    return Outcome::Acquired;
}

} // namespace platform
