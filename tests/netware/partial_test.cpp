// A bridge that lacks one of its queries is refused with the settings read,
// once, and the PMail/NetWare source then reads nothing, in particular not the
// path the previous source read. This program runs beside a stand-in without
// the path query.
#include "tests/netware/netware_fixture.h"

namespace
{

TEST_F(NetWareSource, BridgeWithoutThePathQueryIsReportedOnceAndNothingIsRead)
{
    SetCurrentDirectoryA(dir.path.c_str());
    captureStartLocation();
    writeFile(dir / "in.mbx", "From a Mon Dec  7 10:00:00 2026\r\n" + message("ann@example.com", "Hello"));
    EXPECT_FALSE(readSettings("MessageSource=0\r\nMailFile=in.mbx\r\n"));
    tick();
    ASSERT_EQ(1, notifier.headerCount);

    // The source changes and MailFile now names a server; the mailbox grows.
    writeFile(dir / "in.mbx", "From a Mon Dec  7 10:00:00 2026\r\n" + message("ann@example.com", "Hello")
                                  + "From b Mon Dec  7 10:05:00 2026\r\n"
                                  + message("ben@example.com", "Again"));
    resetFakeFrontEnd();
    EXPECT_FALSE(readSettings("MessageSource=1\r\nMailFile=in.mbx\r\n"));
    EXPECT_EQ(nullptr, config.mailPath);
    EXPECT_FALSE(config.netWareLoaded);
    tick();
    tick();
    EXPECT_EQ((Lines{"error:Unable to load PELNW32.DLL"}), frontLog);
    EXPECT_EQ(1, notifier.headerCount);
}

} // namespace
