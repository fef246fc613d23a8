// Making paths absolute, the mail-file, reader and sound checks, and the
// program search, on real directories. Under Wine the temp folder lies on C:.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "tests/config/winfiles.h"
#include "tests/support/msgbox_capture.h"

using Texts = std::vector<std::string>;

class Paths : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        config.settings = Settings();
        config.report = showTestMessageBox;
        captureStartLocation();
        char path[32768];
        DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
        savedPath.assign(path, n < sizeof path ? n : 0);
    }
    void TearDown() override
    {
        restoreStartDirectory();
        SetEnvironmentVariableA("PATH", savedPath.c_str());
        config.report = NULL;
    }
    std::string drive() const
    {
        return dir.path.substr(0, 2);
    }
    TempDir dir;
    MessageBoxCapture boxes;
    std::string savedPath;
};

TEST_F(Paths, FullPathForms)
{
    EXPECT_STREQ("C:\\MAIL.MBX", fullPath("MAIL.MBX", "C:"));
    EXPECT_STREQ("C:\\DIR\\MAIL.MBX", fullPath("MAIL.MBX", "C:\\DIR"));
    EXPECT_STREQ("SYS:MAIL\\123", fullPath("SYS:MAIL\\123", "C:"));
    EXPECT_STREQ("F:\\sys:x", fullPath("F:\\sys:x", "C:"));
    EXPECT_STREQ("\\\\server\\share\\in.mbx", fullPath("\\\\server\\share\\in.mbx", "C:"));
    EXPECT_STREQ("D:\\rest", fullPath("D:\\rest", "C:"));

    enterDirectory(dir.path.c_str());
    EXPECT_EQ(drive() + "\\MAIL\\IN.MBX", fullPath("\\MAIL\\IN.MBX", "C:"));
    // Drive-relative: joined to that drive's current directory.
    EXPECT_EQ(dir.path + "\\in.mbx", fullPath((drive() + "in.mbx").c_str(), "C:"));
    enterDirectory((drive() + "\\").c_str());
    EXPECT_EQ(drive() + "\\in.mbx", fullPath((drive() + "in.mbx").c_str(), "C:"));

    // Results over 256 characters fail instead of being cut.
    std::string name(250, 'n');
    EXPECT_EQ(NULL, fullPath(name.c_str(), "C:\\DIRECTORY"));
    EXPECT_NE(nullptr, fullPath(std::string(240, 'n').c_str(), "C:\\DIRECTORY"));
}

TEST_F(Paths, ParentDirectoryAndFileKinds)
{
    writeFile(dir / "a.wav", "RIFF");
    EXPECT_TRUE(parentDirectoryExists((dir / "new.mbx").c_str()));
    EXPECT_TRUE(parentDirectoryExists((drive() + "\\x.mbx").c_str()));
    EXPECT_FALSE(parentDirectoryExists((dir / "none\\x.mbx").c_str()));
    EXPECT_FALSE(parentDirectoryExists((dir.path + "\\\\x.mbx").c_str()));
    EXPECT_TRUE(isRegularFile((dir / "a.wav").c_str()));
    EXPECT_FALSE(isRegularFile(dir.path.c_str()));
    EXPECT_TRUE(isDirectory(dir.path.c_str()));
    EXPECT_FALSE(isDirectory((dir / "a.wav").c_str()));
}

TEST_F(Paths, MailFileAndSoundChecks)
{
    writeFile(dir / "a.wav", "RIFF");
    copyText(config.currentDirectory, dir.path.c_str());
    EXPECT_TRUE(checkMailFile("\\\\server\\share\\mail.mbx"));
    EXPECT_TRUE(checkMailFile("in.mbx"));
    EXPECT_TRUE(checkMailFile("*.CNM"));
    EXPECT_FALSE(checkMailFile("nodir\\in.mbx"));
    EXPECT_FALSE(checkMailFile(NULL));
    EXPECT_TRUE(checkSoundFile((dir / "a.wav").c_str()));
    EXPECT_FALSE(checkSoundFile(dir.path.c_str()));
    EXPECT_FALSE(checkSoundFile(NULL));
    EXPECT_EQ((Texts{"Invalid name or path for mail file", "Invalid environment variable in mail file",
                     "Invalid sound file", "Invalid environment variable in sound file"}),
              boxes.texts());
}

TEST_F(Paths, ReaderCommandsAreCutAtBlanks)
{
    TempDir program;
    CreateDirectoryA((program / "PROGRAM FILES").c_str(), NULL);
    CreateDirectoryA((program / "PROGRAM FILES\\MAIL.DIR").c_str(), NULL);
    writeFile(program / "PROGRAM FILES\\MAIL.DIR\\MAIL.EXE", "MZ");
    writeFile(program / "PROGRAM FILES\\MAIL.DIR\\READER.COM", "MZ");
    std::string exe = program / "PROGRAM FILES\\MAIL.DIR\\MAIL.EXE";
    EXPECT_TRUE(checkMailReader((exe + " /new %s").c_str()));
    EXPECT_EQ(exe, config.foundProgram);
    // A dot in a directory name does not count as the program's extension.
    EXPECT_TRUE(checkMailReader((program / "PROGRAM FILES\\MAIL.DIR\\READER").c_str()));
    EXPECT_TRUE(checkMailReader("NOTEPAD %s"));
    EXPECT_TRUE(checkMailReader(""));
    EXPECT_TRUE(boxes.texts().empty());

    EXPECT_FALSE(checkMailReader("MAIL %s %s"));
    EXPECT_FALSE(checkMailReader("MAIL %d"));
    EXPECT_FALSE(checkMailReader("NOSUCHPROGRAM %s"));
    EXPECT_FALSE(checkMailReader(NULL));
    EXPECT_EQ((Texts{"Invalid mail reader string", "Invalid mail reader string",
                     "Can't find mail reader in path", "Invalid environment variable in mail reader"}),
              boxes.texts());
}

TEST_F(Paths, ProgramSearchOrder)
{
    TempDir first, second;
    writeFile(first / "MAILER.COM", "MZ");
    writeFile(first / "MAILER.EXE", "MZ");
    writeFile(first / "MAILER.BAT", "rem");
    EXPECT_TRUE(findProgram((first / "MAILER").c_str()));
    EXPECT_EQ(first / "MAILER.EXE", config.foundProgram);

    // The current directory comes before the Windows directory.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    enterDirectory(first.path.c_str());
    EXPECT_TRUE(findProgram("NOTEPAD"));
    EXPECT_EQ(std::string(windows) + "\\NOTEPAD.EXE", config.foundProgram);
    writeFile(first / "NOTEPAD.BAT", "rem");
    EXPECT_TRUE(findProgram("NOTEPAD"));
    EXPECT_EQ(first / "NOTEPAD.BAT", config.foundProgram);

    // PATH of any length is searched entry by entry.
    writeFile(second / "PELFIND.EXE", "MZ");
    std::string path;
    for (int i = 0; i < 60; i++)
        path += "C:\\no\\such\\directory\\number" + std::to_string(i) + ";";
    path += ";" + second.path + "\\;";
    SetEnvironmentVariableA("PATH", path.c_str());
    EXPECT_TRUE(findProgram("pelfind"));
    EXPECT_EQ(second.path + "\\pelfind.EXE", config.foundProgram);
    EXPECT_TRUE(findProgram("PELFIND.EXE"));
    EXPECT_FALSE(findProgram("PELFIND.COM"));
    SetEnvironmentVariableA("PATH", NULL);
    EXPECT_FALSE(findProgram("pelfind"));
}

TEST_F(Paths, EnterAndRestoreDirectory)
{
    std::string start = currentDirectoryNow();
    enterDirectory(dir.path.c_str());
    EXPECT_EQ(dir.path, currentDirectoryNow());
    restoreStartDirectory();
    EXPECT_EQ(start, currentDirectoryNow());

    // A start location held as a bare drive is restored as that drive's root.
    enterDirectory((drive() + "\\").c_str());
    captureStartLocation();
    EXPECT_EQ(drive(), config.currentDirectory);
    EXPECT_EQ(drive()[0], config.currentDrive);
    enterDirectory(dir.path.c_str());
    restoreStartDirectory();
    EXPECT_EQ(drive() + "\\", currentDirectoryNow());
}

TEST_F(Paths, BrowsePathForms)
{
    enterDirectory(dir.path.c_str());
    EXPECT_STREQ("C:\\x\\y.mbx", browsePath("C:\\x\\y.mbx"));
    EXPECT_STREQ("c:\\x", browsePath("c:\\x"));
    EXPECT_EQ(dir.path + "\\in.mbx", browsePath((drive() + "in.mbx").c_str()));
    EXPECT_EQ(drive() + "\\in.mbx", browsePath("\\in.mbx"));
    EXPECT_EQ(dir.path + "\\in.mbx", browsePath("in.mbx"));
    EXPECT_EQ(NULL, browsePath("1:x"));
    EXPECT_EQ(NULL, browsePath(std::string(300, 'x').c_str()));
    enterDirectory((drive() + "\\").c_str());
    EXPECT_EQ(drive() + "\\in.mbx", browsePath("in.mbx"));
}
