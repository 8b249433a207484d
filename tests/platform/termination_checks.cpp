// The Windows end of a session and the console's termination events reach
// the program through its hidden window, as Windows and Wine deliver them.
#include "check.h"

#ifdef _WIN32
#include "app/termination_signals.h"

#include <windows.h>

namespace {

// Runs the thread's messages, as the toolkit's loop would, until done or 5 s.
bool pumpUntil(const int &count, int wanted)
{
    const DWORD start = GetTickCount();
    while (count < wanted && GetTickCount() - start < 5000) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(10);
    }
    return count >= wanted;
}

} // namespace

PLATFORM_CHECK("termination: end of session and console events through the hidden window")
{
    int requests = 0, sessionEnds = 0;
    OnTerminationSignals([&requests] { ++requests; });
    OnSessionEnd([&sessionEnds] { ++sessionEnds; });
    // A top-level window, which the system's broadcast reaches, not a message-only one.
    const HWND window = FindWindowW(L"CatracaSyncSessao", nullptr);
    // Wine makes no window without a display (wine-tests.sh runs headless);
    // wine-app-tests.sh ends the session of the real program under Xvfb.
    if (!window && GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        std::cout << "    no window without a display under Wine\n";
        return;
    }
    CHECK(window != nullptr);
    CHECK_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), LRESULT(TRUE));
    SendMessageW(window, WM_ENDSESSION, FALSE, 0); // the session goes on
    CHECK_EQ(sessionEnds, 0);
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    CHECK_EQ(sessionEnds, 1);
    // The same message to one of the toolkit's windows, through its filter.
    MSG toolkit{window, WM_ENDSESSION, TRUE, 0, 0, {}};
    CHECK(HandleSessionEndMessage(&toolkit));
    CHECK_EQ(sessionEnds, 2);
    toolkit.message = WM_CLOSE;
    CHECK(!HandleSessionEndMessage(&toolkit));
    CHECK_EQ(requests, 0);
    // Ctrl+C arrives on a thread of its own and is handed to this one.
    if (GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        CHECK(pumpUntil(requests, 1));
    } else {
        std::cout << "    no console to send Ctrl+C to\n";
    }
}
#endif
