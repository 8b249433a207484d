#pragma once
// A termination request from the system (SIGTERM at logout or shutdown,
// Ctrl-C on a console) ends the program the ordinary way, through the
// handler given here, at any moment: also while a start-up box or the wait
// for the database server is showing. The handler runs on the main thread,
// from its event loop.
#include <functional>

void OnTerminationSignals(std::function<void()> handler);

// The end of the Windows session (logging off, shutting down): Windows ends
// the process as soon as the end-of-session message is answered, so endNow
// runs inside it, on the main thread, makes the whole clean end and does not
// return. Elsewhere the session's end is a termination signal.
void OnSessionEnd(std::function<void()> endNow);

// The toolkit's own windows receive the end-of-session message as well: its
// native event filter hands every message here (false: not the session's end).
bool HandleSessionEndMessage(const void *nativeMessage);

// --headless started from a console (Windows): the program joins it, so that
// Ctrl+C, Ctrl+Break and closing it end the program, and standard error, when
// not redirected, shows there.
void UseParentConsole();

// Ends the process at once with status and runs no exit handler: not the C
// library's, and on Windows not the DLLs' own either, which ExitProcess (and
// so _Exit) runs there. A database client's would wait on the call the
// engine was left in, or on a lock of a thread the end has already killed.
[[noreturn]] void EndProcessNow(int status);
