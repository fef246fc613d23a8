// The fixture shared by the setup dialog tests: a scratch folder with an
// INI file, the library loaded by name, and the message boxes captured.
#ifndef PELIMBO_TESTS_SETUP_FIXTURE_H
#define PELIMBO_TESTS_SETUP_FIXTURE_H

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "setup/setupids.h"
#include "tests/setup/setup_driver.h"
#include "tests/support/msgbox_capture.h"

using Strings = std::vector<std::string>;
using Focus = std::pair<std::string, int>;

const char *const MAILBOX = "Mailbox";

class SetupDialog : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(library.loaded()) << "PELSETUP32.DLL did not load";
        dir.write("in.mbx", "");
        dir.write("a.wav", "RIFF");
        dir.write("b.wav", "RIFF");
        CreateDirectoryA(dir.file("start").c_str(), NULL);
    }
    std::string ini() const
    {
        return dir.file("PELIMBO.INI");
    }
    void writeIni(const std::string &text)
    {
        dir.write("PELIMBO.INI", text);
    }
    std::string iniText() const
    {
        return dir.read("PELIMBO.INI");
    }
    // A section that passes every check: a disk file in the scratch folder.
    std::string validDiskFile() const
    {
        return "[Pelimbo]\r\nMailFile=" + dir.file("in.mbx") + "\r\n";
    }
    int run(const std::vector<Step> &steps, const std::string &start = "")
    {
        int result = library.run(ini(), steps, start);
        EXPECT_FALSE(library.leftOpen) << "the script did not close the dialog";
        return result;
    }

    ScratchDir dir;
    SetupLibrary library;
    MessageBoxCapture boxes;
};

// The stored password form: length and characters XOR the key byte, the
// character pairs with their hex digits swapped.
inline std::string scrambled(const std::string &plain)
{
    char out[256];
    snprintf(out, sizeof out, "%02X", (unsigned)(plain.size() ^ 0x6B));
    std::string result = out;
    for (size_t i = 0; i < plain.size(); i++) {
        snprintf(out, sizeof out, "%02X", (unsigned)(((unsigned char)plain[i]) ^ ((0x6B + i) & 0xFF)));
        result += out[1];
        result += out[0];
    }
    return result;
}

#endif
