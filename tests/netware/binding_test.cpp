// Which directory the PMail/NetWare source reads: the bridge is asked once per
// settings read, for the server named in MailFile or, when that is empty, for
// the default server; its answer is cut to 79 characters and polled as a
// new-mail directory.
#include "tests/netware/netware_fixture.h"

#include <algorithm>

#ifndef PELNW_REAL_LIBRARY
#error "PELNW_REAL_LIBRARY names the built bridge"
#endif

namespace
{

// First in this program: nothing has loaded the bridge yet.
TEST_F(NetWareSource, DiskFileSourceNeverLoadsTheBridge)
{
    writeFile(dir / "in.mbx", "From a Mon Dec  7 10:00:00 2026\r\n" + message("ann@example.com", "Hello"));
    bridgeAnswers("path\t\t" + (dir / "*.CNM") + "\n");
    EXPECT_FALSE(readSettings("MessageSource=0\r\nMailFile=" + (dir / "in.mbx") + "\r\n"));
    tick();
    EXPECT_EQ(1, notifier.headerCount);
    EXPECT_EQ(nullptr, GetModuleHandleA("pelnw32.dll"));
    EXPECT_TRUE(bridgeCalls().empty());
}

TEST_F(NetWareSource, ServerNameOrDefaultServerIsAskedAndAMissingAnswerLeavesNoPath)
{
    std::string defaultPath = dir / "default\\*.CNM", fs1Path = dir / "fs1\\*.CNM";
    bridgeAnswers("path\t\t" + defaultPath + "\npath\tFS1\t" + fs1Path + "\n");

    EXPECT_FALSE(readSettings("MessageSource=1\r\nMailFile=\r\n"));
    ASSERT_NE(nullptr, config.mailPath);
    EXPECT_EQ(defaultPath, config.mailPath);
    EXPECT_FALSE(readSettings("MessageSource=1\r\nMailFile=fs1\r\n"));
    ASSERT_NE(nullptr, config.mailPath);
    EXPECT_EQ(fs1Path, config.mailPath);
    EXPECT_EQ((Lines{"loaded", "getNWPmailFile32 (null)", "getNWPmailFile32 fs1"}), bridgeCalls());
    EXPECT_TRUE(frontCalls("error:").empty());

    // A server the bridge has no path for: reported with the settings, and the
    // polls that follow read nothing (not the previous server's directory).
    EXPECT_FALSE(readSettings("MessageSource=1\r\nMailFile=NOSUCH\r\n"));
    EXPECT_EQ(nullptr, config.mailPath);
    tick();
    tick();
    EXPECT_EQ((Lines{"error:Can't find NetWare mail path"}), frontLog);
    EXPECT_FALSE(notifier.pollInProgress);
}

TEST_F(NetWareSource, LongPathIsCutTo79CharactersAndItsNewMailIsPolled)
{
    // A directory whose "\*.CNM" pattern is exactly 79 characters long; the
    // bridge names it with 21 more characters after it.
    std::string pattern = "\\*.CNM";
    size_t room = 79 - pattern.size() - dir.path.size() - 1;
    ASSERT_LT(3u, room) << "temporary folder too deep for this test";
    std::string mailDir = dir / std::string(room, 'm');
    ASSERT_TRUE(CreateDirectoryA(mailDir.c_str(), NULL));
    std::string cut = mailDir + pattern;
    ASSERT_EQ(79u, cut.size());
    bridgeAnswers("path\tFS1\t" + cut + std::string(21, 'x') + "\n");
    writeFile(mailDir + "\\A.CNM", message("Ann <ann@example.com>", "Minutes"));
    writeFile(mailDir + "\\B.CNM", message("ben@example.com", "Budget"));

    EXPECT_FALSE(readSettings("MessageSource=1\r\nMailFile=FS1\r\n"));
    ASSERT_NE(nullptr, config.mailPath);
    EXPECT_EQ(cut, config.mailPath);
    tick();
    EXPECT_EQ(DECISION_NEW_MAIL, notifier.lastDecision);
    ASSERT_EQ(2, notifier.headerCount);
    std::vector<std::string> froms = {mail.shownHeaders[0].from, mail.shownHeaders[1].from};
    std::sort(froms.begin(), froms.end());
    EXPECT_EQ((Lines{"Ann", "ben@example.com"}), froms);
    EXPECT_EQ(1u, frontCalls("havemail:notify").size());
    EXPECT_TRUE(frontCalls("error:").empty());
}

// Under a loader without the flat-thunk service (here Wine's 64-bit one) the
// real bridge's entry refuses, so the load fails instead of leaving calls
// that cannot reach the 16-bit side.
TEST(NetWareBridge, RealLibraryRefusesToLoadWithoutTheThunkService)
{
    std::string path = "Z:" PELNW_REAL_LIBRARY;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
    UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path.c_str());
    DWORD error = GetLastError();
    SetErrorMode(mode);
    EXPECT_EQ(nullptr, module);
    EXPECT_EQ((DWORD)ERROR_DLL_INIT_FAILED, error);
}

} // namespace
