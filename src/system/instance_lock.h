#pragma once
// A lock that one process per installation holds for its whole life, seen by
// every user of the machine and released by the operating system when the
// process ends, however it ends: a killed program never blocks the next
// start, and the installation folder's permissions play no part.
// Windows: a named kernel mutex. Elsewhere: flock on a file in /tmp.
#include <cstdint>
#include <string>

namespace platform {

class InstanceLock
{
public:
    enum class Outcome { Acquired, HeldElsewhere, Failed };

    // key names the installation (letters, digits and '-' only).
    explicit InstanceLock(const std::string &key);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Never waits. Held until this object goes or the process ends.
    Outcome Acquire();
    // Portuguese, UTF-8: why Acquire did not return Acquired; empty otherwise.
    const std::string &Reason() const { return m_reason; }
    // The kernel object's or the file's name, for messages.
    const std::string &Name() const { return m_name; }

private:
    std::string m_key;
    std::string m_name;
    std::string m_reason;
    std::intptr_t m_handle = -1;
};

} // namespace platform
