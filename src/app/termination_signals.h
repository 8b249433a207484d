#pragma once
// A termination request from the system (SIGTERM at logout or shutdown,
// Ctrl-C on a console) ends the program the ordinary way, through the
// handler given here, at any moment: also while a start-up box or the wait
// for the database server is showing.
#include <functional>

void OnTerminationSignals(std::function<void()> handler);
