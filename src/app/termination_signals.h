#pragma once
// A termination request from the system (SIGTERM at logout or shutdown,
// Ctrl-C on a console) ends the program the ordinary way: the event loop
// stops, the window closes its connections. The database client's own
// handlers would otherwise tear the connections down under the running cycle.
void QuitOnTerminationSignals();
