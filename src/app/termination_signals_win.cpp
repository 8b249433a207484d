#include "app/termination_signals.h"

// A Windows desktop program is ended through its window messages
// (WM_QUERYENDSESSION, WM_CLOSE), which the widget toolkit already handles.
void OnTerminationSignals(std::function<void()>) {}
