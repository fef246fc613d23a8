// The sign-in's wait box, one for the notifier and the setup library alike:
// built in memory (neither program's resources hold it), modal, with the
// address to copy when no browser opened and a Cancel button. The wait itself
// runs on a short thread that tells the box when it is over, so the window
// thread keeps pumping its messages all the while.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "auth/signin.h"

namespace
{

enum {
    ID_TEXT = 100,
    ID_ADDRESS = 101,
    WM_SIGNIN_ENDED = WM_APP + 21,
    TEMPLATE_WORDS = 1024,
};

// Shared by the box and the waiting thread; the last one to let go frees it.
struct BoxJob {
    SignInSession *session;
    SignInResult result;
    volatile LONG cancelled;
    volatile LONG references;
    HWND dialog;
};

void release(BoxJob *job)
{
    if (InterlockedDecrement(&job->references) != 0)
        return;
    endSignIn(job->session);
    SecureZeroMemory(job, sizeof *job);
    free(job);
}

DWORD WINAPI waitThread(LPVOID parameter)
{
    BoxJob *job = (BoxJob *)parameter;
    finishSignIn(job->session, &job->cancelled, &job->result);
    PostMessageA(job->dialog, WM_SIGNIN_ENDED, 0, 0); // fails harmlessly once the box is gone
    release(job);
    return 0;
}

INT_PTR onInit(HWND dialog, BoxJob *job)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)job);
    job->dialog = dialog;
    SetDlgItemTextA(
        dialog, ID_TEXT,
        signInBrowserOpened(job->session)
            ? "Finish the sign-in in the browser window that opened; Pelimbo goes on when the browser "
              "comes back. If the browser shows nothing, copy this address into it:"
            : "The browser could not be opened. Copy this address into a browser and sign in there; "
              "Pelimbo goes on when the browser comes back:");
    SetDlgItemTextA(dialog, ID_ADDRESS, signInAddress(job->session));
    InterlockedIncrement(&job->references);
    HANDLE thread = CreateThread(NULL, 0, waitThread, job, 0, NULL);
    if (!thread) {
        InterlockedDecrement(&job->references);
        copyText(job->result.message, "The sign-in could not wait for the browser");
        EndDialog(dialog, IDABORT);
        return TRUE;
    }
    CloseHandle(thread);
    // Cancel has the focus: the address is there to copy, not to edit.
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    return FALSE;
}

INT_PTR CALLBACK SignInBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    BoxJob *job = (BoxJob *)GetWindowLongPtrA(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG: return onInit(dialog, (BoxJob *)lParam);
    case WM_SIGNIN_ENDED: EndDialog(dialog, IDOK); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL && job) {
            InterlockedExchange(&job->cancelled, 1);
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

// A dialog template in memory: words, DWORD-aligned items.
struct Template {
    alignas(4) WORD words[TEMPLATE_WORDS];
    size_t n;
    void word(WORD w)
    {
        if (n < TEMPLATE_WORDS)
            words[n++] = w;
    }
    void text(const wchar_t *t)
    {
        do
            word((WORD)*t);
        while (*t++);
    }
    void align()
    {
        if (n % 2)
            word(0);
    }
    void dword(DWORD d)
    {
        word(LOWORD(d));
        word(HIWORD(d));
    }
    void item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom,
              const wchar_t *title)
    {
        align();
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0); // extended style
        word((WORD)x);
        word((WORD)y);
        word((WORD)cx);
        word((WORD)cy);
        word(id);
        word(0xFFFF);
        word(classAtom);
        text(title);
        word(0); // no creation data
    }
};

void buildTemplate(Template &t)
{
    t.n = 0;
    t.dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | DS_3DLOOK | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    t.dword(0);
    t.word(3); // items
    t.word(0);
    t.word(0);
    t.word(260);
    t.word(96);
    t.word(0); // no menu
    t.word(0); // the dialog class
    t.text(L"Pelimbo: sign in");
    t.word(8);
    t.text(L"MS Sans Serif");
    t.item(SS_LEFT, 8, 8, 244, 40, ID_TEXT, 0x0082, L"");
    t.item(ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP, 8, 52, 244, 12, ID_ADDRESS, 0x0081, L"");
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 105, 72, 50, 14, IDCANCEL, 0x0080, L"Cancel");
}

} // namespace

bool signInWithBox(HWND owner, const SignInRequest *request, SignInResult *result)
{
    memset(result, 0, sizeof *result);
    SignInSession *session = beginSignIn(request, result->message, sizeof result->message);
    if (!session)
        return false;
    BoxJob *job = (BoxJob *)calloc(1, sizeof *job);
    if (!job) {
        endSignIn(session);
        copyText(result->message, "Not enough memory for the sign-in");
        return false;
    }
    job->session = session;
    job->references = 1;
    static Template box;
    buildTemplate(box);
    INT_PTR ended = DialogBoxIndirectParamW(GetModuleHandleA(NULL), (LPCDLGTEMPLATEW)box.words, owner,
                                            SignInBoxProc, (LPARAM)job);
    if (ended == IDOK || ended == IDABORT) {
        *result = job->result;
    } else {
        result->cancelled = true;
        copyText(result->message, "The sign-in was cancelled");
    }
    release(job);
    return result->signedIn;
}
