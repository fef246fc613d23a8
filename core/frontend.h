// The seam between deciding and showing: one table of what a front end does.
// The core, the sources and the poll cycle call only the front* functions
// below, which go through the installed table. The window program and the
// command-line checker each install a table of their own at start; tests and
// the benchmark start from nullFrontEnd and override only what they observe.
#ifndef PELIMBO_CORE_FRONTEND_H
#define PELIMBO_CORE_FRONTEND_H

struct FrontEnd {
    // Shows an error text the way the program shows errors (a message box
    // owned by the main window, caption "Pelimbo", exclamation icon, OK).
    // Returns when the user has dismissed it. May be called from the reader's
    // launch thread.
    void (*showError)(const char *text);
    // Asks a Yes/No question (caption "Pelimbo", question icon). Non-zero for Yes.
    int (*askYesNo)(const char *text);
    // Dispatches pending window messages (a synchronous poll keeps the window alive).
    void (*pumpMessages)(void);
    // Menu item state of the system menu (ids of MenuCommand): enabled or grayed.
    void (*enableMenuItem)(int id, bool enabled);
    // The status text changed ("Polling...", the caption...): caption and tooltip.
    void (*refreshStatus)(void);
    // Shows the mail states the core has just entered (enterNoMailState,
    // enterHaveMailState): the appearance, and with notify the sound, window
    // action, alarm and reader launch. The core's state is already set.
    void (*showNoMail)(bool actions);
    void (*showHaveMail)(bool notify);
    // Old shell, hidden-icon mode: reveal or hide the icon as the pointer comes and goes.
    void (*hiddenIconHover)(void);
    // The poll has ended while a command waited: close the waiting notice, then
    // carry out the command (PendingCommand) by posting it to the main window.
    void (*closePollWait)(void);
    void (*postCommand)(int command);
    // A command must wait for the running poll: show the "Waiting to complete
    // mail poll..." notice (the caller sets notifier.pollWaitOpen and pendingCommand).
    void (*openPollWait)(void);
    // The mail reader has been started with MinimizeReader on: minimise the
    // main window unless it is minimised already. Called from the reader's
    // launch thread, so it must only post.
    void (*minimizeForReader)(void);
    // The poll ended: put the proper notification-area icon back (ends a blink).
    void (*pollFinished)(void);
    // One blink step while a poll runs (phase 1: blank icon).
    void (*blinkStep)(bool blankPhase);
    // A notice that asks nothing and must not wait for the user: the balloon of
    // the notification-area icon ("Sign-in needed ..."). The message box of the
    // same text, where there is one, comes through showError.
    void (*showNotice)(const char *text);
};

// Every entry does nothing; askYesNo answers No.
extern const FrontEnd nullFrontEnd;

// The table in force; NULL puts nullFrontEnd back. The table must outlive its use.
void installFrontEnd(const FrontEnd *table);
extern const FrontEnd *frontEnd;

inline void frontShowError(const char *text)
{
    frontEnd->showError(text);
}
inline int frontAskYesNo(const char *text)
{
    return frontEnd->askYesNo(text);
}
inline void frontPumpMessages(void)
{
    frontEnd->pumpMessages();
}
inline void frontEnableMenuItem(int id, bool enabled)
{
    frontEnd->enableMenuItem(id, enabled);
}
inline void frontRefreshStatus(void)
{
    frontEnd->refreshStatus();
}
inline void frontHiddenIconHover(void)
{
    frontEnd->hiddenIconHover();
}
inline void frontClosePollWait(void)
{
    frontEnd->closePollWait();
}
inline void frontPostCommand(int command)
{
    frontEnd->postCommand(command);
}
inline void frontOpenPollWait(void)
{
    frontEnd->openPollWait();
}
inline void frontMinimizeForReader(void)
{
    frontEnd->minimizeForReader();
}
inline void frontPollFinished(void)
{
    frontEnd->pollFinished();
}
inline void frontBlinkStep(bool blankPhase)
{
    frontEnd->blinkStep(blankPhase);
}
inline void frontShowNotice(const char *text)
{
    frontEnd->showNotice(text);
}

#endif
