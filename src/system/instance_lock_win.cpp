#include "system/instance_lock.h"

#include "base/wide_text.h"

#include <windows.h>

namespace platform {

namespace {

std::string Describe(const std::string &what, DWORD error)
{
    return what + " (erro " + std::to_string(error) + " do Windows)";
}

} // namespace

InstanceLock::InstanceLock(const std::string &key)
    : m_key(key), m_name("Global\\" + key)
{
}

InstanceLock::~InstanceLock()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

InstanceLock::Outcome InstanceLock::Acquire()
{
    if (m_handle != -1)
        return Outcome::Acquired;
    m_reason.clear();
    // A named mutex lives while a handle to it is open: the kernel closes a
    // killed process's handles, so nothing stale is ever left. In the global
    // namespace, so that the programs of every session (the start-up entry
    // runs for each user who logs on) see the same object.
    const std::string held = "outra execução deste programa, desta mesma pasta, já está em andamento";
    DWORD error = ERROR_SUCCESS;
    for (const char *space : {"Global\\", "Local\\"}) {
        m_name = space + m_key;
        SetLastError(ERROR_SUCCESS);
        HANDLE mutex = CreateMutexW(nullptr, FALSE, FromUtf8(m_name).c_str());
        error = GetLastError();
        if (mutex && error == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            m_reason = held + " (" + m_name + ")";
            return Outcome::HeldElsewhere;
        }
        if (mutex) {
            m_handle = reinterpret_cast<std::intptr_t>(mutex);
            return Outcome::Acquired;
        }
        // Made by another user's program, whose default access list lets
        // only that user in: it exists, so it is held.
        if (error == ERROR_ACCESS_DENIED) {
            m_reason = held + ", de outro usuário (" + m_name + ")";
            return Outcome::HeldElsewhere;
        }
        // Only a machine without the global namespace falls back to the
        // session's own.
        if (error != ERROR_PATH_NOT_FOUND && error != ERROR_BAD_PATHNAME) {
            m_reason = Describe("não foi possível criar a trava " + m_name, error);
            return Outcome::Failed;
        }
    }
    m_reason = Describe("não foi possível criar a trava " + m_name, error);
    return Outcome::Failed;
}

} // namespace platform
