// The reader command line: MailReader with the mail path in its "%s". The
// setting is user text, so whatever it holds must neither read a missing
// argument nor overrun the command buffer. Portable: also runs natively under
// the sanitizers.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "poll/reader.h"

static std::string format(const char *setting, const char *path, size_t size = READER_COMMAND_SIZE,
                          int *whole = nullptr)
{
    char command[READER_COMMAND_SIZE + 8];
    memset(command, 'X', sizeof command);
    int fitted = formatReaderCommand(command, size, setting, path);
    if (whole)
        *whole = fitted;
    EXPECT_EQ('X', command[size]) << "wrote past the buffer";
    return command;
}

TEST(ReaderCommand, ReplacesTheOnePlaceholderWithTheMailPath)
{
    EXPECT_EQ("C:\\PMAIL\\WINPM.EXE C:\\MAIL\\IN.MBX", format("C:\\PMAIL\\WINPM.EXE %s", "C:\\MAIL\\IN.MBX"));
    EXPECT_EQ("mail -f\"C:\\a b\\in.mbx\" /x", format("mail -f\"%s\" /x", "C:\\a b\\in.mbx"));
    EXPECT_EQ("C:\\MAIL\\MAIL.EXE /new", format("C:\\MAIL\\MAIL.EXE /new", "C:\\MAIL\\IN.MBX"));
    EXPECT_EQ("reader ", format("reader %s", ""));
    EXPECT_EQ("", format("", "C:\\MAIL\\IN.MBX"));
    EXPECT_EQ("", format(nullptr, "C:\\MAIL\\IN.MBX"));
    EXPECT_EQ("reader ", format("reader %s", nullptr));
}

TEST(ReaderCommand, OtherConversionsStayLiteral)
{
    EXPECT_EQ("mail IN.MBX %s", format("mail %s %s", "IN.MBX"));
    EXPECT_EQ("mail %d %n %x", format("mail %d %n %x", "IN.MBX"));
    EXPECT_EQ("mail %d IN.MBX", format("mail %d %s", "IN.MBX"));
    EXPECT_EQ("100% IN.MBX %", format("100% %s %", "IN.MBX"));
    EXPECT_EQ("mail %%s", format("mail %%s", "IN.MBX")) << "an escaped percent is no placeholder";
    EXPECT_EQ("mail %%IN.MBX", format("mail %%%s", "IN.MBX"));
    // A path holding conversions is plain text too.
    EXPECT_EQ("mail C:\\%s%n\\in.mbx", format("mail %s", "C:\\%s%n\\in.mbx"));
}

TEST(ReaderCommand, IsCutAtItsBufferAndSaysSo)
{
    std::string longSetting(PATH_SIZE - 1, 'r');
    longSetting.replace(10, 2, "%s");
    std::string longPath(PATH_SIZE - 1, 'p');
    int whole = 0;
    std::string command = format(longSetting.c_str(), longPath.c_str(), READER_COMMAND_SIZE, &whole);
    EXPECT_EQ(1, whole) << "the largest setting and path fit whole";
    EXPECT_EQ(longSetting.size() - 2 + longPath.size(), command.size());

    command = format("reader %s tail", "C:\\MAIL\\IN.MBX", 12, &whole);
    EXPECT_EQ(0, whole);
    EXPECT_EQ("reader C:\\M", command);
    command = format("%s", "C:\\MAIL\\IN.MBX", 1, &whole);
    EXPECT_EQ(0, whole);
    EXPECT_EQ("", command);
}
