#include "app/termination_signals.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr UINT TerminationRequested = WM_APP + 1;
// Windows ends a console program this long after a close, log-off or
// shutdown event at the latest; the clean end takes up to 1.5 s.
constexpr DWORD ConsoleEndWaitMs = 10000;

std::function<void()> g_handler;
std::function<void()> g_endNow;
HWND g_window = nullptr;

void endSession()
{
    if (g_endNow)
        g_endNow();
    else if (g_handler)
        g_handler();
}

// A hidden top-level window of the main thread: the end-of-session messages
// go to top-level windows only, and a program started hidden in the tray has
// no other. The toolkit's event loop dispatches its messages.
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TerminationRequested:
        if (g_handler)
            g_handler();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            endSession();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND sessionWindow()
{
    if (g_window)
        return g_window;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"CatracaSyncSessao";
    RegisterClassW(&windowClass);
    g_window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                               nullptr);
    return g_window;
}

// Runs on a thread of its own, which Windows starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        PostMessageW(g_window, TerminationRequested, 0, 0);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        PostMessageW(g_window, TerminationRequested, 0, 0);
        // Returning lets Windows end the process at once: the main thread's
        // clean end ends it first.
        Sleep(ConsoleEndWaitMs);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void OnTerminationSignals(std::function<void()> handler)
{
    g_handler = std::move(handler);
    if (sessionWindow())
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void OnSessionEnd(std::function<void()> endNow)
{
    g_endNow = std::move(endNow);
    sessionWindow();
}

bool HandleSessionEndMessage(const void *nativeMessage)
{
    const MSG *message = static_cast<const MSG *>(nativeMessage);
    if (!message || message->message != WM_ENDSESSION || !message->wParam)
        return false;
    endSession();
    return true;
}

void UseParentConsole()
{
    if (GetConsoleWindow() || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // Standard error the caller did not redirect has no handle yet.
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (!error || error == INVALID_HANDLE_VALUE || GetFileType(error) == FILE_TYPE_UNKNOWN)
        std::freopen("CONOUT$", "w", stderr);
}

void EndProcessNow(int status)
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    ExitProcess(static_cast<UINT>(status));
}
