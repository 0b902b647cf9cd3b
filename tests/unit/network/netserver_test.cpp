// The browser's texts for a server record, and the network error texts.
#include "network/unNetServer.h"
#include "platform/netenum/netenum.h"

#include <gtest/gtest.h>

TEST(ServerDescription, PlatformVersionAndFlagsGiveTheExactText)
{
    TServerInfo101 i;
    i.PlatformId = 500;
    i.VersionMajor = 5;
    i.VersionMinor = 2;
    i.Type = 0x9003;
    EXPECT_EQ(ServerDescription(i).toStdString(),
              "OS Version: [NT] Windows 2003 (5.2) \r\nSupport:[WKS][SVR][NT][SNT]");
}

TEST(ServerDescription, SystemNamesOnlyForNtAndKnownVersions)
{
    EXPECT_EQ(SystemName(500, 4, 0), "Windows NT 4");
    EXPECT_EQ(SystemName(500, 4, 9), "Windows 95");
    EXPECT_EQ(SystemName(500, 4, 10), "Windows 98");
    EXPECT_EQ(SystemName(500, 4, 90), "Windows ME");
    EXPECT_EQ(SystemName(500, 4, 11), "");
    EXPECT_EQ(SystemName(500, 3, 51), "Windows NT 3");
    EXPECT_EQ(SystemName(500, 5, 1), "Windows XP");
    EXPECT_EQ(SystemName(500, 6, 1), "");
    EXPECT_EQ(SystemName(400, 5, 2), "");
    // Another platform, an unknown one, no system name, no roles.
    TServerInfo101 i;
    i.PlatformId = 123;
    i.VersionMajor = 6;
    i.VersionMinor = 1;
    EXPECT_EQ(ServerDescription(i).toStdString(), "OS Version: [UNKNOWN]  (6.1) \r\nSupport:");
    i.PlatformId = 700;
    EXPECT_TRUE(ServerDescription(i).startsWith("OS Version: [VMS]  (6.1)"));
}

TEST(ServerDescription, EveryRoleBitInOrderAndNothingAboveThem)
{
    EXPECT_EQ(RoleTags(0x18).toStdString(), "[PDC][BDC]");
    EXPECT_EQ(RoleTags(0x800000 | 0x1).toStdString(), "[WKS][DFS]");
    EXPECT_EQ(RoleTags(0xFF000000u).toStdString(), "");
    EXPECT_EQ(RoleTags(0x00FFFFFF).count('['), 24);
}

TEST(ENTException, MessageWithAndWithoutSystemText)
{
    EXPECT_EQ(ENTException(53).Message().toStdString(), "Error 53 : The network path was not found.");
    EXPECT_EQ(ENTException(54321).Message().toStdString(), "Error 54321");
    EXPECT_EQ(ENTException(53).Code(), 53);
}

TEST(TNetServer, UnreachableOrMalformedServerNameRaises)
{
    netenum::Options o;
    o.systemDomains = false;
    o.ldapTimeoutSeconds = 1;
    netenum::setOptions(o);
    TNetServer s;
    // 127.0.0.254 is a loopback address nobody serves: the read is refused at once.
    s.setServerName(QStringLiteral("\\\\127.0.0.254"));
    try {
        s.GetDescription();
        FAIL() << "no exception";
    } catch (const ENTException &e) {
        EXPECT_EQ(e.Code(), netenum::ERROR_BAD_NETPATH);
    }
    // A name that is no host name is refused without any look-up.
    s.setServerName(QStringLiteral("\\\\a b;rm -rf"));
    EXPECT_THROW(s.GetComment(), ENTException);
}
