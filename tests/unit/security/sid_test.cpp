// SIDs in binary and text form, and the well-known name table.
#include "platform/security/sid.h"
#include "platform/security/wellknown.h"

#include <gtest/gtest.h>

using namespace security;

TEST(Sid, BinaryAndTextRoundTripWithLargeSubAuthorities)
{
    const QByteArray bytes = QByteArray::fromHex("010500000000000515000000ffffffff00000080005ed0b250040000");
    const auto sid = Sid::fromBytes(bytes);
    ASSERT_TRUE(sid);
    EXPECT_EQ(sid->toString().toStdString(), "S-1-5-21-4294967295-2147483648-3000000000-1104");
    EXPECT_EQ(sid->rid(), 1104u);
    EXPECT_EQ(sid->domainSid().toString().toStdString(), "S-1-5-21-4294967295-2147483648-3000000000");
    const auto parsed = Sid::fromString(QStringLiteral("s-1-5-21-4294967295-2147483648-3000000000-1104"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, *sid);
    EXPECT_EQ(parsed->toBytes(), bytes);
    // Authorities above 32 bits use the hexadecimal form.
    const Sid big(0x123456789ABCULL, {7});
    EXPECT_EQ(big.toString().toStdString(), "S-1-0x123456789ABC-7");
    EXPECT_EQ(*Sid::fromString(big.toString()), big);
}

TEST(Sid, MalformedInputIsRefused)
{
    for (const char *t : {"", "S-1", "S-2-5-32", "X-1-5", "S-1-5-4294967296", "S-1-5--1", "S-1-5-+1",
                          "S-1-281474976710656-1", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"})
        EXPECT_FALSE(Sid::fromString(QString::fromLatin1(t))) << t;
    EXPECT_TRUE(Sid::fromString(QStringLiteral("S-1-5")));
    // Count larger than the bytes, wrong revision, trailing bytes.
    EXPECT_FALSE(Sid::fromBytes(QByteArray::fromHex("01020000000000050a000000")));
    EXPECT_FALSE(Sid::fromBytes(QByteArray::fromHex("02010000000000050a000000")));
    EXPECT_FALSE(Sid::fromBytes(QByteArray::fromHex("01010000000000050a00000000")));
    EXPECT_FALSE(Sid::fromBytes(QByteArray::fromHex("0110000000000005")));
    qsizetype used = 0;
    const QByteArray buf = QByteArray::fromHex("ff01010000000000050a000000ee");
    const auto inner = Sid::fromBytes(buf.constData(), buf.size(), 1, &used);
    ASSERT_TRUE(inner);
    EXPECT_EQ(used, 12);
    EXPECT_EQ(*inner, selfSid());
}

TEST(WellKnown, NamesAndReverseLookup)
{
    EXPECT_EQ(wellKnownName(everyoneSid())->fullName().toStdString(), "Everyone");
    EXPECT_EQ(wellKnownName(selfSid())->fullName().toStdString(), "NT AUTHORITY\\SELF");
    EXPECT_EQ(wellKnownName(authenticatedUsersSid())->fullName().toStdString(), "NT AUTHORITY\\Authenticated Users");
    EXPECT_EQ(wellKnownName(localSystemSid())->fullName().toStdString(), "NT AUTHORITY\\SYSTEM");
    EXPECT_EQ(wellKnownName(*Sid::fromString(QStringLiteral("S-1-5-32-544")))->fullName().toStdString(),
              "BUILTIN\\Administrators");
    EXPECT_FALSE(wellKnownName(*Sid::fromString(QStringLiteral("S-1-5-21-1-2-3-500"))));

    EXPECT_EQ(*wellKnownSid(QStringLiteral("nt authority\\self")), selfSid());
    EXPECT_EQ(*wellKnownSid(QStringLiteral("SELF")), selfSid());
    EXPECT_EQ(*wellKnownSid(QStringLiteral("everyone")), everyoneSid());
    EXPECT_EQ(wellKnownSid(QStringLiteral("BUILTIN\\Users"))->toString().toStdString(), "S-1-5-32-545");
    EXPECT_FALSE(wellKnownSid(QStringLiteral("BUILTIN\\SELF")));
    EXPECT_FALSE(wellKnownSid(QStringLiteral("CORP\\jane")));
}
