#include "cli/output/rowtext.h"
#include "platform/adsi/adstypes.h"

#include <gtest/gtest.h>

using cli::formatRow;
using cli::formatValue;

TEST(CliRowText, ScalarsShowTheirType)
{
    EXPECT_EQ(formatValue(QVariant()), QString());
    EXPECT_EQ(formatValue(QStringLiteral("Jane")), QStringLiteral("\"Jane\""));
    EXPECT_EQ(formatValue(QString()), QStringLiteral("\"\""));  // an empty text is not an empty slot
    EXPECT_EQ(formatValue(QStringLiteral("{67CCC135-0899-4C3E-92B3-8467EF92582F}")),
              QStringLiteral("\"{67CCC135-0899-4C3E-92B3-8467EF92582F}\""));
    EXPECT_EQ(formatValue(512), QStringLiteral("int:512"));
    EXPECT_EQ(formatValue(-1), QStringLiteral("int:-1"));
    EXPECT_EQ(formatValue(qint64(9223372036854775807LL)), QStringLiteral("int64:9223372036854775807"));
    EXPECT_EQ(formatValue(true), QStringLiteral("bool:true"));
    EXPECT_EQ(formatValue(false), QStringLiteral("bool:false"));
    EXPECT_EQ(formatValue(QByteArray("\x01\x05\xff", 3)), QStringLiteral("bytes:0105FF"));
    EXPECT_EQ(formatValue(QByteArray()), QStringLiteral("bytes:"));
}

TEST(CliRowText, DatesAreIsoAndTheZeroDateIsEmpty)
{
    EXPECT_EQ(formatValue(QVariant::fromValue(ads::AdsDate(0.0))), QStringLiteral("date:"));
    EXPECT_EQ(formatValue(QVariant::fromValue(ads::AdsDate::fromFields(2024, 1, 31, 13, 5, 9, 250))),
              QStringLiteral("date:2024-01-31T13:05:09.250"));
    // Before 1899-12-30 the day count is negative; the fields still print as stored.
    EXPECT_EQ(formatValue(QVariant::fromValue(ads::AdsDate::fromFields(1601, 1, 1))),
              QStringLiteral("date:1601-01-01T00:00:00.000"));
}

TEST(CliRowText, TextEscapesKeepOneRowPerLine)
{
    const QString nasty = QStringLiteral("a\tb\r\nc \"q\" back\\slash \x01 Jürgen");
    const QString shown = formatValue(nasty);
    EXPECT_EQ(shown, QStringLiteral("\"a\\tb\\r\\nc \\\"q\\\" back\\\\slash \\x01 Jürgen\""));
    EXPECT_FALSE(shown.contains(u'\n'));
    EXPECT_FALSE(shown.contains(u'\t'));
}

TEST(CliRowText, ArraysAndRows)
{
    const QVariantList multi{QStringLiteral("CN=a,DC=x"), QStringLiteral("CN=b,DC=x")};
    EXPECT_EQ(formatValue(multi), QStringLiteral("[\"CN=a,DC=x\", \"CN=b,DC=x\"]"));
    EXPECT_EQ(formatValue(QVariantList{qint64(1), qint64(2)}), QStringLiteral("[int64:1, int64:2]"));

    // Requested attributes: aligned slots, missing ones empty.
    const QVariantList row{QStringLiteral("jdoe"), QVariant(), multi};
    EXPECT_EQ(formatRow(row, {QStringLiteral("sAMAccountName"), QStringLiteral("mail"), QStringLiteral("memberOf")}),
              QStringLiteral("sAMAccountName=\"jdoe\"\tmail=\tmemberOf=[\"CN=a,DC=x\", \"CN=b,DC=x\"]"));
    // All attributes: [name, value] pairs in directory order.
    const QVariantList pairs{QVariantList{QStringLiteral("cn"), QStringLiteral("Jane")},
                             QVariantList{QStringLiteral("uSNChanged"), qint64(42)}};
    EXPECT_EQ(formatRow(pairs, {}), QStringLiteral("cn=\"Jane\"\tuSNChanged=int64:42"));
    EXPECT_EQ(formatRow(QVariant(), {QStringLiteral("cn")}), QString());
}
