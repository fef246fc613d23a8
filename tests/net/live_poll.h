// Real polls for the Windows network tests: the transport's platform layers
// bound to a message-only window of the test's own, and one poll run to its
// end with the one-second tick, as the notifier runs it.
#ifndef PELIMBO_TESTS_NET_LIVE_POLL_H
#define PELIMBO_TESTS_NET_LIVE_POLL_H

#include <windows.h>

// The window that receives the socket, lookup, token and mailbox-change
// messages (made once).
HWND networkWindow();

// Runs one poll to its end; returns the seconds it took.
double runPoll(double limitSeconds = 60);

#endif
