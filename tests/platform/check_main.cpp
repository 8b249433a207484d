#include "check.h"

#include "system/autostart.h"
#include "system/instance_lock.h"

#include <exception>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

int main(int argc, char **argv)
{
#ifdef _WIN32
    // Started by the autostart checks as the program starts itself for an
    // elevated change of its start-up entry.
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide && count > 1 && std::wstring(wide[1]) == platform::StartupEntrySwitch) {
        wchar_t self[MAX_PATH];
        const std::wstring exe(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
        return platform::RunStartupEntryRequest(std::vector<std::wstring>(wide + 2, wide + count), exe);
    }
    // Started by the instance lock checks: holds the lock until killed.
    if (argc > 2 && std::string(argv[1]) == "--hold-instance-lock") {
        platform::InstanceLock lock(argv[2]);
        // The check's own probes may hold it for a moment.
        for (int i = 0; lock.Acquire() != platform::InstanceLock::Outcome::Acquired; ++i) {
            if (i == 100)
                return 1;
            Sleep(50);
        }
        Sleep(INFINITE);
    }
#endif
    // An optional argument runs only the cases whose name contains it.
    const std::string filter = argc > 1 ? argv[1] : "";
    int passed = 0, failed = 0;
    for (const auto &c : platform_check::cases()) {
        if (!filter.empty() && std::string(c.name).find(filter) == std::string::npos)
            continue;
        platform_check::failures().clear();
        try {
            c.body();
        } catch (const std::exception &e) {
            platform_check::failures().push_back(std::string("exception: ") + e.what());
        } catch (...) {
            platform_check::failures().push_back("unknown exception");
        }
        if (platform_check::failures().empty()) {
            ++passed;
            std::cout << "PASS " << c.name << "\n";
        } else {
            ++failed;
            std::cout << "FAIL " << c.name << "\n";
            for (const auto &f : platform_check::failures())
                std::cout << "    " << f << "\n";
        }
    }
    std::cout << passed << " passed, " << failed << " failed" << std::endl;
    return failed == 0 ? 0 : 1;
}
