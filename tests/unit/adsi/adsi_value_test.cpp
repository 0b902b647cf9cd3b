// Conversions of directory values both ways, the date-time type and GUID texts.
#include "platform/adsi/adsschema.h"
#include "platform/adsi/adsvalue.h"

#include <gtest/gtest.h>

using namespace ads;

TEST(AdsDate, DayCountFromThe1899Epoch)
{
    EXPECT_EQ(AdsDate::fromFields(1899, 12, 30).value, 0.0);
    EXPECT_EQ(AdsDate::fromFields(1900, 1, 1, 18).value, 2.75);
    EXPECT_EQ(AdsDate::fromFields(2024, 2, 29, 12).value, 45351.5);
    // Before the epoch the fraction still counts forward into the day.
    EXPECT_EQ(AdsDate::fromFields(1899, 12, 29, 6).value, -1.25);
    EXPECT_EQ(AdsDate(-1.25).toDateTime(Qt::UTC), QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC));
    EXPECT_TRUE(AdsDate::fromFields(2023, 2, 30).isZero());
    EXPECT_TRUE(AdsDate::fromDateTime(QDateTime()).isZero());

    const QDateTime dt(QDate(2031, 7, 15), QTime(23, 59, 59, 999), Qt::UTC);
    EXPECT_EQ(AdsDate::fromDateTime(dt).toDateTime(Qt::UTC), dt);
    const QVariant v = QVariant::fromValue(AdsDate(3.5));
    EXPECT_EQ(v.value<AdsDate>().value, 3.5);
}

TEST(FileTime, ConvertsBothWaysAndRejectsOutOfRange)
{
    const QDateTime unixEpoch(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_EQ(dateTimeToFileTime(unixEpoch), 116444736000000000LL);
    EXPECT_EQ(fileTimeToDateTime(116444736000000000LL), unixEpoch);
    EXPECT_EQ(fileTimeToDateTime(0), QDateTime(QDate(1601, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_FALSE(fileTimeToDateTime(kFileTimeNever).isValid());
    EXPECT_FALSE(fileTimeToDateTime(-5).isValid());
}

TEST(WireValues, ReadByType)
{
    EXPECT_EQ(valueFromWire(ADSTYPE_BOOLEAN, QByteArray("TRUE")), QVariant(true));
    EXPECT_EQ(valueFromWire(ADSTYPE_BOOLEAN, QByteArray("FALSE")), QVariant(false));
    EXPECT_EQ(valueFromWire(ADSTYPE_INTEGER, QByteArray("-2147483646")), QVariant(-2147483646));
    // Unsigned forms of flags read as the signed 32-bit value.
    EXPECT_EQ(valueFromWire(ADSTYPE_INTEGER, QByteArray("2147483650")), QVariant(int(0x80000002)));
    EXPECT_EQ(valueFromWire(ADSTYPE_LARGE_INTEGER, QByteArray("9223372036854775807")),
              QVariant(qint64(9223372036854775807LL)));
    const QVariant t = valueFromWire(ADSTYPE_UTC_TIME, QByteArray("20240131235958.0Z"));
    ASSERT_EQ(t.metaType().id(), qMetaTypeId<AdsDate>());
    EXPECT_EQ(t.value<AdsDate>().toDateTime(Qt::UTC), QDateTime(QDate(2024, 1, 31), QTime(23, 59, 58), Qt::UTC));
    const QVariant u = valueFromWire(ADSTYPE_UTC_TIME, QByteArray("491231120000Z"));
    EXPECT_EQ(u.value<AdsDate>().toDateTime(Qt::UTC).date(), QDate(2049, 12, 31));
    EXPECT_EQ(valueFromWire(ADSTYPE_OCTET_STRING, QByteArray("\x00\x01\xff", 3)), QVariant(QByteArray("\x00\x01\xff", 3)));
    EXPECT_EQ(valueFromWire(ADSTYPE_CASE_IGNORE_STRING, QByteArray("caf\xc3\xa9")), QVariant(QStringLiteral("caf\u00e9")));

    const QVariant b = valueFromWire(ADSTYPE_DN_WITH_BINARY, QByteArray("B:8:0A0B0C0D:CN=x,DC=y"));
    ASSERT_EQ(b.metaType().id(), qMetaTypeId<DnWithBinary>());
    EXPECT_EQ(b.value<DnWithBinary>().binary, QByteArray("\x0a\x0b\x0c\x0d"));
    EXPECT_EQ(b.value<DnWithBinary>().dn, QStringLiteral("CN=x,DC=y"));
    const QVariant s = valueFromWire(ADSTYPE_DN_WITH_STRING, QByteArray("S:5:a:b:c:CN=x"));
    EXPECT_EQ(s.value<DnWithString>().string, QStringLiteral("a:b:c"));
    EXPECT_EQ(s.value<DnWithString>().dn, QStringLiteral("CN=x"));

    // What does not parse as its type is kept as text, never dropped.
    EXPECT_EQ(valueFromWire(ADSTYPE_INTEGER, QByteArray("12x")), QVariant(QStringLiteral("12x")));
    EXPECT_EQ(valueFromWire(ADSTYPE_BOOLEAN, QByteArray("yes")), QVariant(QStringLiteral("yes")));
}

TEST(WireValues, WrittenByTypeAndRefusedWhenImpossible)
{
    QByteArray w;
    ASSERT_TRUE(valueToWire(ADSTYPE_BOOLEAN, true, &w));
    EXPECT_EQ(w, "TRUE");
    ASSERT_TRUE(valueToWire(ADSTYPE_BOOLEAN, QStringLiteral("false"), &w));
    EXPECT_EQ(w, "FALSE");
    EXPECT_FALSE(valueToWire(ADSTYPE_BOOLEAN, QStringLiteral("maybe"), &w));
    ASSERT_TRUE(valueToWire(ADSTYPE_INTEGER, qint64(0x80000002LL), &w));
    EXPECT_EQ(w, "-2147483646");
    EXPECT_FALSE(valueToWire(ADSTYPE_INTEGER, qint64(1) << 40, &w));
    EXPECT_FALSE(valueToWire(ADSTYPE_INTEGER, QStringLiteral("ten"), &w));
    ASSERT_TRUE(valueToWire(ADSTYPE_LARGE_INTEGER, QStringLiteral(" 9223372036854775807 "), &w));
    EXPECT_EQ(w, "9223372036854775807");
    ASSERT_TRUE(valueToWire(ADSTYPE_UTC_TIME, QVariant::fromValue(AdsDate::fromFields(2024, 1, 31, 8, 5, 3)), &w));
    EXPECT_EQ(w, "20240131080503.0Z");
    EXPECT_FALSE(valueToWire(ADSTYPE_OCTET_STRING, QStringLiteral("text"), &w));
    ASSERT_TRUE(valueToWire(ADSTYPE_NT_SECURITY_DESCRIPTOR, QByteArray("\x01\x00", 2), &w));
    EXPECT_EQ(w.size(), 2);
    DnWithBinary dwb{QByteArray("\xab\xcd"), QStringLiteral("CN=x")};
    ASSERT_TRUE(valueToWire(ADSTYPE_DN_WITH_BINARY, QVariant::fromValue(dwb), &w));
    EXPECT_EQ(w, "B:4:ABCD:CN=x");
    EXPECT_EQ(valueFromWire(ADSTYPE_DN_WITH_BINARY, w).value<DnWithBinary>(), dwb);
    DnWithString dws{QStringLiteral("\u00e9:x"), QStringLiteral("CN=y")};
    ASSERT_TRUE(valueToWire(ADSTYPE_DN_WITH_STRING, QVariant::fromValue(dws), &w));
    EXPECT_EQ(valueFromWire(ADSTYPE_DN_WITH_STRING, w).value<DnWithString>(), dws);
    EXPECT_FALSE(valueToWire(ADSTYPE_CASE_IGNORE_STRING, QVariant(), &w));
}

TEST(Guid, TextFormAndBack)
{
    const QByteArray raw = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    EXPECT_EQ(guidToString(raw), QStringLiteral("{33221100-5544-7766-8899-AABBCCDDEEFF}"));
    EXPECT_EQ(guidFromString(QStringLiteral("{33221100-5544-7766-8899-aabbccddeeff}")), raw);
    EXPECT_EQ(guidFromString(QStringLiteral("33221100-5544-7766-8899-AABBCCDDEEFF")), raw);
    EXPECT_TRUE(guidToString(raw.left(15)).isEmpty());
    EXPECT_TRUE(guidFromString(QStringLiteral("{33221100-5544-7766-8899-AABBCCDDEEFG}")).isEmpty());
}

TEST(SchemaMap, SyntaxToAdsiTypeAndLookupIgnoringOptions)
{
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.1"), 127), ADSTYPE_DN_STRING);
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.8"), 1), ADSTYPE_BOOLEAN);
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.9"), 10), ADSTYPE_INTEGER);
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.11"), 24), ADSTYPE_UTC_TIME);
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.15"), 66), ADSTYPE_NT_SECURITY_DESCRIPTOR);
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.16"), 65), ADSTYPE_LARGE_INTEGER);
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.17"), 4), ADSTYPE_OCTET_STRING);
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.7"), 127), ADSTYPE_DN_WITH_BINARY);
    EXPECT_EQ(SchemaMap::typeForSyntax(QStringLiteral("2.5.5.14"), 127), ADSTYPE_DN_WITH_STRING);
    SchemaMap m;
    m.add(QStringLiteral("member"), {ADSTYPE_DN_STRING, false, true});
    EXPECT_EQ(m.lookup(QStringLiteral("MEMBER;range=0-1499")).type, ADSTYPE_DN_STRING);
    EXPECT_TRUE(m.lookup(QStringLiteral("Member")).known);
    EXPECT_FALSE(m.lookup(QStringLiteral("defaultNamingContext")).known);
    EXPECT_EQ(m.lookup(QStringLiteral("defaultNamingContext")).type, ADSTYPE_CASE_IGNORE_STRING);
}
