// Saves a picture of each of the ten setup pages, as the user sees them, into
// the folder named on the command line (page-1-message-source.bmp, ...).
#include <windows.h>

#include <stdio.h>
#include <string>
#include <vector>

#include "setup/setupids.h"
#include "tests/setup/setup_driver.h"
#include "tests/support/msgbox_capture.h"

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: setup_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    std::string out = argv[1];
    ScratchDir dir;
    dir.write("demo.mbx", "");
    dir.write("PELIMBO.INI",
              "[Pelimbo]\r\nMessageSource=7\r\nLogin=ann\r\nMailHost=mail.example.org\r\nPassword=6A\r\n"
              "SoundOption=2\r\nUseFilters=TRUE\r\nShowHeaders=TRUE\r\nMailReader=notepad %s\r\n"
              "WindowCaption=Mail for $USERNAME$\r\n"
              "[Filters]\r\nalpha#0#0=\r\nUrgent#1#1=\r\nzeta#0#2=\r\n"
              "[WAVBase]\r\nboss#c:\\windows\\media\\ding.wav#0=\r\n");
    MessageBoxCapture boxes; // services missing here report and carry on
    SetupLibrary library;
    if (!library.loaded()) {
        fprintf(stderr, "cannot load the setup library\n");
        return 1;
    }
    static const char *const pages[] = {"Message source", "Mailbox", "Window",  "Mail reader", "Filters",
                                        "Colors",         "Sound",   "WAVBase", "Network",     "Sign-in"};
    std::vector<Step> steps;
    int failures = 0;
    for (int i = 0; i < 10; i++) {
        steps.push_back([i](HWND dialog) { selectTab(dialog, pages[i]); });
        steps.push_back([i, out, &failures](HWND dialog) {
            std::string name = pages[i];
            for (char &c : name)
                c = c == ' ' ? '-' : (char)tolower((unsigned char)c);
            std::string path = out + "\\page-" + std::to_string(i + 1) + "-" + name + ".bmp";
            if (!captureWindow(dialog, path))
                failures++;
        });
    }
    // The Mailbox page of each source that shows its own fields.
    static const int sources[] = {0, 1, 2, 3, 5, 8};
    for (int source : sources) {
        steps.push_back([source](HWND dialog) {
            selectTab(dialog, "Message source");
            click(dialog, "Message source", IDC_SRC_FIRST + source);
            selectTab(dialog, "Mailbox");
        });
        steps.push_back([source, out, &failures](HWND dialog) {
            std::string path = out + "\\mailbox-source-" + std::to_string(source) + ".bmp";
            if (!captureWindow(dialog, path))
                failures++;
        });
    }
    steps.push_back([](HWND dialog) { pressCancel(dialog); });
    library.run(dir.file("PELIMBO.INI"), steps);
    for (const std::string &text : boxes.texts())
        printf("message: %s\n", text.c_str());
    return failures ? 1 : 0;
}
