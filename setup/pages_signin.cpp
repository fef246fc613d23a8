// The Sign-in page of POP3 and IMAP4: a password or OAuth2, the provider and
// the client registered with it (the addresses and scope of own endpoints
// show only for provider 0), the browser sign-in itself, and whether the
// stored password is protected for the Windows account.
#include <windows.h>

#include "auth/oauth.h"
#include "auth/signin.h"
#include "setup/setup.h"
#include "setup/setupids.h"

namespace
{

const char *const authNames[] = {"Password", "OAuth2 in the browser"};
const char *const providerNames[] = {"Own endpoints", "Microsoft (Outlook.com, Microsoft 365)",
                                     "Google (Gmail)"};

unsigned comboChoice(HWND page, int id)
{
    LRESULT chosen = SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0);
    return chosen == CB_ERR ? 0u : (unsigned)chosen;
}

void fillCombo(HWND page, int id, const char *const *names, size_t count, unsigned chosen)
{
    for (size_t i = 0; i < count; i++)
        SendDlgItemMessageA(page, id, CB_ADDSTRING, 0, (LPARAM)names[i]);
    SendDlgItemMessageA(page, id, CB_SETCURSEL, chosen < count ? chosen : 0u, 0);
}

void showSignInState(HWND page, const char *text)
{
    SetDlgItemTextA(page, IDC_SI_STATE, text);
}

void layoutSignInPage(HWND page)
{
    bool oauth = comboChoice(page, IDC_SI_AUTH) == AUTH_OAUTH2;
    bool own = comboChoice(page, IDC_SI_PROVIDER) == PROVIDER_OWN;
    static const int oauthControls[] = {
        IDC_SI_SIGN_IN,   IDC_SI_PROVIDER_LABEL, IDC_SI_PROVIDER, IDC_SI_CLIENT_ID_LABEL,
        IDC_SI_CLIENT_ID, IDC_SI_SECRET_LABEL,   IDC_SI_SECRET,   IDC_SI_AUTHORIZE_LABEL,
        IDC_SI_AUTHORIZE, IDC_SI_TOKEN_LABEL,    IDC_SI_TOKEN,    IDC_SI_SCOPE_LABEL,
        IDC_SI_SCOPE,     IDC_SI_STATE};
    for (int id : oauthControls)
        enableControl(page, id, oauth);
    static const int ownControls[] = {IDC_SI_AUTHORIZE_LABEL, IDC_SI_AUTHORIZE,   IDC_SI_TOKEN_LABEL,
                                      IDC_SI_TOKEN,           IDC_SI_SCOPE_LABEL, IDC_SI_SCOPE};
    for (int id : ownControls)
        showControl(page, id, own);
}

// The source as the Message source page has it now.
int chosenSource(void)
{
    int button = checkedButton(pageWindow(PAGE_MSGSRC), IDC_SRC_FIRST, IDC_SRC_LAST);
    return button >= 0 ? button : (int)config.settings.MessageSource;
}

// The settings as the pages hold them now, for a sign-in before OK.
bool settingsOnThePages(HWND page, Settings *s)
{
    *s = config.settings;
    s->MessageSource = (unsigned)chosenSource();
    s->Auth = AUTH_OAUTH2;
    s->OAuthProvider = comboChoice(page, IDC_SI_PROVIDER);
    getControlText(page, IDC_SI_CLIENT_ID, s->OAuthClientId, sizeof s->OAuthClientId);
    getControlText(page, IDC_SI_SECRET, s->OAuthClientSecret, sizeof s->OAuthClientSecret);
    if (s->OAuthProvider == PROVIDER_OWN) {
        getControlText(page, IDC_SI_AUTHORIZE, s->OAuthAuthorizeUrl, sizeof s->OAuthAuthorizeUrl);
        getControlText(page, IDC_SI_TOKEN, s->OAuthTokenUrl, sizeof s->OAuthTokenUrl);
        getControlText(page, IDC_SI_SCOPE, s->OAuthScope, sizeof s->OAuthScope);
    }
    HWND mailbox = pageWindow(PAGE_MAILBOX), network = pageWindow(PAGE_NETWORK);
    char raw[LOGIN_SIZE];
    getControlText(mailbox, IDC_MB_LOGIN, raw, sizeof raw);
    const char *login = expandEnvironment(raw);
    if (!login)
        return false;
    copyText(s->Login, login);
    getControlText(network, IDC_NW_TRUST, raw, sizeof raw);
    const char *trust = expandEnvironment(raw);
    if (!trust)
        return false;
    copyText(s->TrustFile, trust);
    BOOL number = FALSE;
    unsigned timeout = GetDlgItemInt(network, IDC_NW_CONNECT, &number, FALSE);
    s->ConnectTimeout = number && timeout ? timeout : 60;
    return true;
}

// "Sign &in...": the sign-in with what the pages say now; its refresh token
// is written with the other settings when the user presses OK.
void signInNow(HWND page)
{
    static Settings chosen;
    static SignInRequest request;
    static SignInResult result;
    if (settingsOnThePages(page, &chosen)) {
        signInRequestFrom(&chosen, &request);
        if (signInWithBox(setup.dialog, &request, &result)) {
            copyText(config.settings.OAuthToken, result.storedToken);
            char text[LOGIN_SIZE + 64];
            formatText(text, sizeof text, "Signed in as %s: kept when you press OK.", chosen.Login);
            showSignInState(page, text);
        } else if (!result.cancelled) {
            reportSetupError(result.message);
        }
    }
    SecureZeroMemory(&chosen, sizeof chosen);
    SecureZeroMemory(&request, sizeof request);
    SecureZeroMemory(&result, sizeof result);
}

} // namespace

// Choosing a provider (or a source) fills the provider's mail host, its TLS
// ports and TLS from the first byte, unless the host is one the user typed.
void applyProviderHost(int source)
{
    HWND page = pageWindow(PAGE_SIGNIN);
    if (!page || comboChoice(page, IDC_SI_AUTH) != AUTH_OAUTH2)
        return;
    const char *host = providerMailHost(comboChoice(page, IDC_SI_PROVIDER), (unsigned)source);
    if (!host)
        return;
    HWND mailbox = pageWindow(PAGE_MAILBOX), network = pageWindow(PAGE_NETWORK);
    char typed[PATH_SIZE];
    getControlText(mailbox, IDC_MB_HOST, typed, sizeof typed);
    if (typed[0] && !isProviderMailHost(typed))
        return;
    setControlText(mailbox, IDC_MB_HOST, host);
    SetDlgItemInt(network, IDC_NW_POP3, 995, FALSE);
    SetDlgItemInt(network, IDC_NW_IMAP4, 993, FALSE);
    SendDlgItemMessageA(network, IDC_NW_SECURITY, CB_SETCURSEL, SECURITY_TLS, 0);
}

extern "C" INT_PTR CALLBACK SignInDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    const Settings &s = config.settings;
    switch (message) {
    case WM_INITDIALOG: {
        fillCombo(page, IDC_SI_AUTH, authNames, 2, s.Auth);
        fillCombo(page, IDC_SI_PROVIDER, providerNames, 3, s.OAuthProvider);
        const struct {
            int id;
            const char *text;
            size_t size;
        } fields[] = {
            {IDC_SI_CLIENT_ID, s.OAuthClientId, OAUTH_CLIENT_SIZE},
            {IDC_SI_SECRET, s.OAuthClientSecret, OAUTH_CLIENT_SIZE},
            {IDC_SI_AUTHORIZE, s.OAuthAuthorizeUrl, OAUTH_URL_SIZE},
            {IDC_SI_TOKEN, s.OAuthTokenUrl, OAUTH_URL_SIZE},
            {IDC_SI_SCOPE, s.OAuthScope, OAUTH_SCOPE_SIZE},
        };
        for (const auto &field : fields) {
            SendDlgItemMessageA(page, field.id, EM_LIMITTEXT, field.size - 1, 0);
            SetDlgItemTextA(page, field.id, field.text);
        }
        showSignInState(page, s.OAuthToken[0] ? "A sign-in is stored for this account."
                                              : "Not signed in: press Sign in once the client ID is typed.");
        setChecked(page, IDC_SI_PROTECT, s.ProtectPassword);
        layoutSignInPage(page);
        return FALSE;
    }
    case WM_COMMAND:
        if ((LOWORD(wParam) == IDC_SI_AUTH || LOWORD(wParam) == IDC_SI_PROVIDER)
            && HIWORD(wParam) == CBN_SELCHANGE) {
            layoutSignInPage(page);
            applyProviderHost(chosenSource());
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_SI_SIGN_IN && HIWORD(wParam) == BN_CLICKED) {
            signInNow(page);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}
