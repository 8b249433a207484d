// The lock of one program per installation: held once, given back when its
// holder goes, and (POSIX, for real) not left behind by a killed holder.
#include "check.h"

#include "system/instance_lock.h"

#include <chrono>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using platform::InstanceLock;

namespace {

std::string freshKey()
{
    return "catraca-sync-check-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

} // namespace

PLATFORM_CHECK("instance lock: one holder per key, the next once it is gone")
{
    const std::string key = freshKey();
    auto first = std::make_unique<InstanceLock>(key);
    CHECK(first->Acquire() == InstanceLock::Outcome::Acquired);
    CHECK(first->Reason().empty());
    {
        InstanceLock second(key);
        CHECK(second.Acquire() == InstanceLock::Outcome::HeldElsewhere);
        CHECK(second.Reason().find("outra execução deste programa") != std::string::npos);
        InstanceLock other(key + "-b");
        CHECK(other.Acquire() == InstanceLock::Outcome::Acquired);
#ifndef _WIN32
        unlink(other.Name().c_str());
#endif
    }
    first.reset();
    InstanceLock third(key);
    CHECK(third.Acquire() == InstanceLock::Outcome::Acquired);
#ifdef _WIN32
    CHECK_EQ(third.Name(), "Global\\" + key);
#else
    unlink(third.Name().c_str());
#endif
}

#ifdef _WIN32
// The holder is these checks started again (check_main.cpp), killed as
// Task Manager would end it.
PLATFORM_CHECK("instance lock: a killed holder leaves nothing that blocks")
{
    const std::string key = freshKey();
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --hold-instance-lock " + std::wstring(key.begin(), key.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    CHECK(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    bool held = false;
    for (int i = 0; i < 100 && !held; ++i) {
        held = InstanceLock(key).Acquire() == InstanceLock::Outcome::HeldElsewhere;
        if (!held)
            Sleep(100);
    }
    CHECK(held);
    TerminateProcess(child.hProcess, 9);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    InstanceLock next(key);
    CHECK(next.Acquire() == InstanceLock::Outcome::Acquired);
}
#else
PLATFORM_CHECK("instance lock: a killed holder leaves nothing that blocks; the file lets every user lock it")
{
    const std::string key = freshKey();
    int ready[2];
    CHECK(pipe(ready) == 0);
    const pid_t child = fork();
    if (child == 0) {
        InstanceLock held(key);
        const char answer = held.Acquire() == InstanceLock::Outcome::Acquired ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        pause();
        _exit(0);
    }
    char answer = 0;
    CHECK(read(ready[0], &answer, 1) == 1 && answer == 'y');
    InstanceLock blocked(key);
    CHECK(blocked.Acquire() == InstanceLock::Outcome::HeldElsewhere);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    InstanceLock next(key);
    CHECK(next.Acquire() == InstanceLock::Outcome::Acquired);
    struct stat st {};
    CHECK(stat(next.Name().c_str(), &st) == 0 && (st.st_mode & 0777) == 0644);
    CHECK(next.Name().rfind("/tmp/", 0) == 0);
    unlink(next.Name().c_str());
}

PLATFORM_CHECK("instance lock: something else under the lock's name is refused with its reason")
{
    const std::string key = freshKey();
    const std::string path = "/tmp/" + key + ".lock";
    CHECK(mkfifo(path.c_str(), 0644) == 0);
    InstanceLock lock(key);
    CHECK(lock.Acquire() == InstanceLock::Outcome::Failed);
    CHECK(lock.Reason().find(path) != std::string::npos);
    unlink(path.c_str());
    CHECK(symlink("/etc/hostname", path.c_str()) == 0);
    CHECK(lock.Acquire() == InstanceLock::Outcome::Failed);
    unlink(path.c_str());
}
#endif
