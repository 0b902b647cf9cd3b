// Filter escaping, binary values as text, small text operations and group-type texts.
#include "core/unValuesText.h"
#include "values_testutil.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

TEST(FilterEscaping, EscapesEverySpecialCharacterAndRoundTrips)
{
    EXPECT_EQ(EscapeFilterValue(QStringLiteral("a\\b*(c)/d")), QStringLiteral("a\\5cb\\2a\\28c\\29\\2fd"));
    EXPECT_EQ(UnescapeFilterValue(QStringLiteral("a\\5cb\\2a\\28c\\29\\2fd")), QStringLiteral("a\\b*(c)/d"));
    EXPECT_EQ(UnescapeFilterValue(QStringLiteral("\\5C\\2A\\2F")), QStringLiteral("\\*/"));

    // Texts that already look like escapes must survive the round trip unchanged.
    const QStringList tricky = {QStringLiteral("\\2a"), QStringLiteral("\\5c"), QStringLiteral("\\\\2a"),
                                QStringLiteral("\\5c2a("), QStringLiteral("Müller, Jörg (Ä*)"),
                                QString(), QStringLiteral("\\")};
    for (const QString &t : tricky)
        EXPECT_EQ(UnescapeFilterValue(EscapeFilterValue(t)), t) << t.toStdString();

    // And random texts over the special characters.
    const QString alphabet = QStringLiteral("\\*()/25acfA ");
    QRandomGenerator rng(4711);
    for (int i = 0; i < 2000; ++i) {
        QString t;
        for (int n = int(rng.bounded(12)); n > 0; --n)
            t += alphabet[int(rng.bounded(alphabet.size()))];
        const QString escaped = EscapeFilterValue(t);
        ASSERT_FALSE(escaped.contains(QLatin1Char('*')) || escaped.contains(QLatin1Char('('))) << t.toStdString();
        ASSERT_EQ(UnescapeFilterValue(escaped), t) << t.toStdString();
    }
    EXPECT_EQ(EscapeFilterBytes(QByteArray::fromHex("01ff2a")), QStringLiteral("\\01\\ff\\2a"));
}

TEST(BinaryText, SidTextPrintsSubAuthoritiesUnsigned)
{
    // S-1-5-21-4294967295-2147483648-3000000000-1104
    const QString hex = QStringLiteral("010500000000000515000000ffffffff00000080005ed0b250040000");
    EXPECT_EQ(HexToSidText(hex), QStringLiteral("S-1-5-21-4294967295-2147483648-3000000000-1104"));
    EXPECT_EQ(HexToSidText(hex.toUpper()), HexToSidText(hex));
    EXPECT_EQ(HexToSidText(QStringLiteral("010100000000000100000000")), QStringLiteral("S-1-1-0"));
    // A large identifier authority is read big-endian over six bytes.
    EXPECT_EQ(HexToSidText(QStringLiteral("0100010000000000")), QStringLiteral("S-1-1099511627776"));
    // A partial trailing group is not printed; too short or bad hex gives nothing.
    EXPECT_EQ(HexToSidText(QStringLiteral("01010000000000050a000000ff")), QStringLiteral("S-1-5-10"));
    EXPECT_TRUE(HexToSidText(QStringLiteral("01010000000000")).isEmpty());
    EXPECT_TRUE(HexToSidText(QStringLiteral("01010000000000050a00000z")).isEmpty());
}

TEST(BinaryText, OctetStringHexCase)
{
    EXPECT_EQ(BytesToHexText(QByteArray(16, '\xab')), QString(32, QLatin1Char('a')).replace(QLatin1String("aa"), QLatin1String("ab")));
    EXPECT_EQ(BytesToHexText(QByteArray(28, '\x0c')).size(), 56);
    EXPECT_EQ(BytesToHexText(QByteArray(28, '\x0c')), BytesToHexText(QByteArray(28, '\x0c')).toLower());
    EXPECT_EQ(BytesToHexText(QByteArray::fromHex("0aff")), QStringLiteral("0AFF"));
    EXPECT_TRUE(HexTextToBytes(QStringLiteral("abc")).isEmpty());
}

TEST(SmallText, SplittingNamesAndPaths)
{
    QString a, b;
    SplitUPN(QStringLiteral("jane.doe@corp.example@x"), a, b);
    EXPECT_EQ(a, QStringLiteral("jane.doe"));
    EXPECT_EQ(b, QStringLiteral("@corp.example@x"));
    SplitUPN(QStringLiteral("nobody"), a, b);
    EXPECT_EQ(a, QStringLiteral("nobody"));
    EXPECT_TRUE(b.isEmpty());
    SplitDomainUser(QStringLiteral("CORP\\jane\\x"), a, b);
    EXPECT_EQ(a, QStringLiteral("jane\\x"));
    EXPECT_EQ(b, QStringLiteral("CORP"));
    SplitDomainUser(QStringLiteral("jane"), a, b);
    EXPECT_EQ(a, QStringLiteral("jane"));
    EXPECT_TRUE(b.isEmpty());

    EXPECT_TRUE(IsUNCPath(QStringLiteral("\\\\server\\share")));
    EXPECT_TRUE(IsUNCPath(QStringLiteral("  \\\\server\\share\\dir  ")));
    EXPECT_FALSE(IsUNCPath(QStringLiteral("\\\\server")));
    EXPECT_FALSE(IsUNCPath(QStringLiteral("\\\\\\share")));
    EXPECT_FALSE(IsUNCPath(QStringLiteral("   ")));

    EXPECT_EQ(EnsureTrailingSlash(QStringLiteral("a")), QStringLiteral("a/"));
    EXPECT_EQ(EnsureTrailingSlash(QStringLiteral("a/")), QStringLiteral("a/"));
    EXPECT_EQ(EnsureTrailingBackslash(QString()), QStringLiteral("\\"));
    EXPECT_TRUE(StartsWithNoCase(QStringLiteral("ldap://"), QStringLiteral("LDAP://dc")));
    EXPECT_FALSE(StartsWithNoCase(QStringLiteral("ldap://x"), QStringLiteral("LDAP://")));
    EXPECT_EQ(IntToHexText(qint32(-1), 4), QStringLiteral("ffffffff"));
    EXPECT_EQ(IntToHexText(qint32(255), 4), QStringLiteral("00ff"));
    EXPECT_EQ(IntToHexText(qint64(0x1234567890LL), 2), QStringLiteral("1234567890"));
}

TEST(GroupType, TextsForEveryScopeAndKind)
{
    EXPECT_EQ(GroupTypeText(-2147483646), QStringLiteral("Security Group - Global"));
    EXPECT_EQ(GroupTypeText(-2147483644), QStringLiteral("Security Group - Local"));
    EXPECT_EQ(GroupTypeText(-2147483640), QStringLiteral("Security Group - Universal"));
    EXPECT_EQ(GroupTypeText(2), QStringLiteral("Distribution Group - Global"));
    EXPECT_EQ(GroupTypeText(4), QStringLiteral("Distribution Group - Local"));
    EXPECT_EQ(GroupTypeText(8), QStringLiteral("Distribution Group - Universal"));
    // Builtin local groups carry bit 1 as well; the global bit wins over the others.
    EXPECT_EQ(GroupTypeText(-2147483643), QStringLiteral("Security Group - Local"));
    EXPECT_EQ(GroupTypeText(2 | 8), QStringLiteral("Distribution Group - Global"));
    EXPECT_EQ(GroupTypeText(0), QStringLiteral("Distribution Group"));
}
