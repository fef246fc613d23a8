// The keys of section [Pelimbo] in the order a save writes them: the settings
// store's own save and the setup dialog's OK must both keep it.
#ifndef PELIMBO_TESTS_CONFIG_SAVED_KEYS_H
#define PELIMBO_TESTS_CONFIG_SAVED_KEYS_H

#include <string>
#include <vector>

inline std::vector<std::string> savedKeyOrder()
{
    return {
        "WindowCaption",
        "MailFile",
        "MailReader",
        "ReaderStartDir",
        "SoundFile",
        "WAVBaseDefault",
        "PollInterval",
        "AlarmInterval",
        "WindowAction",
        "MessageSource",
        "SoundOption",
        "Login",
        "Password",
        "NotesFolder",
        "NotesServer",
        "NotesMailDatabase",
        "MailHost",
        "IMAPMailBox",
        "DeleteFile",
        "ColorList",
        "InactivityTimeout",
        "ConnectTimeout",
        "WinSockInitTimeout",
        "POP3Port",
        "IMAP4Port",
        "Connection",
        "UseNotesSettings",
        "Notes3xMailbox",
        "NotesPollErrors",
        "PasswordPrompt",
        "Alarm",
        "StayOnTop",
        "ShowHeaders",
        "ReverseSort",
        "UnreadOnly",
        "UseFilters",
        "ConfirmDeletes",
        "LogDeletes",
        "NetErrors",
        "ExitMenu",
        "WAVOnce",
        "HideIcon",
        "LaunchReader",
        "LaunchOnMail",
        "MinimizeReader",
        "SuspendPoll",
        "DetectReader",
        "LastIconPosition",
        "BlinkIconOnPoll",
        "DialConnection",
        "HangupConnection",
        "Balloon",
        "Security",
        "TrustFile",
        "Idle",
    };
}

#endif
