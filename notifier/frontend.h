// The seam between deciding and showing. The poll cycle, the sources and the
// parsers call only these; the window program and the command-line checker
// each provide them (tests provide recording versions).
#ifndef PELIMBO_NOTIFIER_FRONTEND_H
#define PELIMBO_NOTIFIER_FRONTEND_H

// Shows an error text the way the program shows errors (a message box owned by
// the main window, caption "Pelimbo", exclamation icon, OK). Returns when the
// user has dismissed it.
void frontShowError(const char *text);

// Asks a Yes/No question (caption "Pelimbo", question icon). Non-zero for Yes.
int frontAskYesNo(const char *text);

// Dispatches pending window messages (a synchronous poll keeps the window alive).
void frontPumpMessages(void);

// Menu item state of the system menu (ids of MenuCommand): enabled or grayed.
void frontEnableMenuItem(int id, bool enabled);

// The status text changed ("Polling...", the caption...): caption and tooltip.
void frontRefreshStatus(void);

// Mail-state changes: the no-mail state (with or without its actions) and the
// have-mail state (with or without notification: sound, window action, alarm,
// reader launch). They keep notifier.clearItem and notifier.clearGrayed.
void enterNoMailState(bool actions);
void enterHaveMailState(bool notify);

// Old shell, hidden-icon mode: reveal or hide the icon as the pointer comes and goes.
void frontHiddenIconHover(void);

// The poll has ended while a command waited: close the waiting notice, then
// carry out the command (PendingCommand) by posting it to the main window.
void frontClosePollWait(void);
void frontPostCommand(int command);

// A command must wait for the running poll: show the "Waiting to complete mail
// poll..." notice (the caller sets notifier.pollWaitOpen and pendingCommand).
void frontOpenPollWait(void);

// The mail reader has been started with MinimizeReader on: minimise the main
// window unless it is minimised already. May be called from the reader's
// launch thread, so it only posts.
void frontMinimizeForReader(void);

// The poll ended: put the proper notification-area icon back (ends a blink).
void frontPollFinished(void);

// One blink step while a poll runs (phase 1: blank icon).
void frontBlinkStep(bool blankPhase);

#endif
