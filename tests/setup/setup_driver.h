// Drives the real setup dialog of pelsetup32.dll from a test: the library is
// loaded by name, doSetup runs modally on a scratch INI file, and a script of
// steps acts on the dialog from inside its own message loop (one step per
// timer tick), the way a user would through the controls.
#ifndef PELIMBO_TESTS_SETUP_DRIVER_H
#define PELIMBO_TESTS_SETUP_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using Step = std::function<void(HWND dialog)>;

// A scratch folder with an INI file; removed at the end of the test.
class ScratchDir
{
  public:
    ScratchDir();
    ~ScratchDir();
    const std::string &path() const
    {
        return dir_;
    }
    std::string file(const std::string &name) const
    {
        return dir_ + "\\" + name;
    }
    void write(const std::string &name, const std::string &text) const;
    std::string read(const std::string &name) const;
    bool exists(const std::string &name) const;

  private:
    std::string dir_;
};

// Loads PELSETUP32.DLL by name (from the build's bin folder) for one test.
class SetupLibrary
{
  public:
    SetupLibrary();
    ~SetupLibrary();
    bool loaded() const
    {
        return module_ && doSetup_;
    }
    // Runs doSetup on the INI file; the steps run in order inside the dialog.
    // When the steps are done and the dialog is still up, it is cancelled
    // and `leftOpen` is set.
    int run(const std::string &ini, const std::vector<Step> &steps, const std::string &startDirectory = "");
    bool leftOpen = false;
    // Help contexts asked for since load.
    static std::vector<int> helpRequests;

  private:
    HMODULE module_ = NULL;
    FARPROC doSetup_ = NULL;
};

// Runs body (which opens the setup dialog somewhere inside) with the script
// acting on the dialog; leftOpen as for SetupLibrary::run.
int runScripted(const std::vector<Step> &steps, const std::function<int()> &body, bool *leftOpen);
// The folder the library is built into (a Windows path).
std::string setupLibraryFolder(void);

// --- Acting on the dialog ------------------------------------------------------------------
HWND pageOf(HWND dialog, const char *label);
HWND control(HWND dialog, const char *label, int id);
void click(HWND dialog, const char *label, int id);
void setText(HWND dialog, const char *label, int id, const char *text);
std::string text(HWND dialog, const char *label, int id);
bool checked(HWND dialog, const char *label, int id);
bool enabled(HWND dialog, const char *label, int id);
bool visible(HWND dialog, const char *label, int id);
void selectListEntry(HWND dialog, const char *label, int id, int index);
// Chooses an entry of a drop-down list as the user does (the page hears of it).
void selectComboEntry(HWND dialog, const char *label, int id, int index);
int comboSelection(HWND dialog, const char *label, int id);
int listSelection(HWND dialog, const char *label, int id);
std::vector<std::string> listTexts(HWND dialog, const char *label, int id);
std::vector<std::string> comboTexts(HWND dialog, const char *label, int id);
void scroll(HWND dialog, int barId, int action, int position = 0);
int scrollPos(HWND dialog, int barId);
void pressOk(HWND dialog);
void pressCancel(HWND dialog);

// Tabs.
std::vector<std::string> tabLabels(HWND dialog);
std::string selectedTab(HWND dialog);
void selectTab(HWND dialog, const char *label);
// The label of the page that is showing.
std::string shownPage(HWND dialog);
// The control with the focus: its page label and id ("" and 0 when none).
std::pair<std::string, int> focusedControl(HWND dialog);
// Keys through the dialog's own message loop (the setup library's hook sees them).
void postKey(HWND dialog, UINT key, bool control);

// --- INI files ---------------------------------------------------------------------------------
// Key names of a section in file order, and the value of one key.
std::vector<std::string> sectionKeys(const std::string &iniText, const std::string &section);
std::string iniValue(const std::string &iniText, const std::string &section, const std::string &key);

// Saves the dialog as shown on screen into a PNG-convertible BMP file.
bool captureWindow(HWND window, const std::string &bmpPath);

#endif
