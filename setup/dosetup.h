// The one call the notifier makes into the setup library. Both sides include
// this header so the argument list and calling convention cannot drift apart.
//
// The notifier loads "PELSETUP32.DLL" by name for each setup command, resolves
// "doSetup" (exported undecorated in both the i686 and the x86_64 build), calls
// it and unloads the library when it returns.
#ifndef PELIMBO_SETUP_DOSETUP_H
#define PELIMBO_SETUP_DOSETUP_H

#include <windows.h>

#define PELSETUP_LIBRARY_NAME "PELSETUP32.DLL"
#define PELSETUP_ENTRY_NAME   "doSetup"

// owner            the notifier's main window (the dialog's owner)
// instance         the notifier's instance handle (not used)
// currentDrive     the drive current when the notifier started, 0 = A
// currentDirectory the directory current when the notifier started
// helpFile         full path of the program's help (PELIMBO.HTM)
// iniFile          full path of the INI file to edit
// noMailIcon, newMailIcon  the two large icons shown in the colour samples
// Result: 1 when the user pressed OK (the INI file has been written), 0 for
// Cancel or the close box.
typedef int(WINAPI *DoSetupProc)(HWND owner, HINSTANCE instance, int currentDrive,
                                 const char *currentDirectory, const char *helpFile, const char *iniFile,
                                 HICON noMailIcon, HICON newMailIcon);

#endif
