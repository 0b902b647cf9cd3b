// The JSON Lines and LDIF writers, read back by independent parsers: Python's json module and
// the LDIF parser of python3-ldap.
#include "cli/output/printer.h"
#include "platform/adsi/adsschema.h"
#include "platform/adsi/adstypes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace cli::output;

namespace {

// Reads the file back with tests/support/readback.py (Python's json, python3-ldap's LDIF parser).
QJsonDocument readBack(const char *kind, const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/support/readback.py"),
                                        QString::fromLatin1(kind), file});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput());
}

class CliOutput : public ::testing::Test {
protected:
    QString write(const std::function<void(QTextStream &)> &fill)
    {
        const QString name = dir.filePath(QStringLiteral("out"));
        QFile f(name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QTextStream s(&f);
        fill(s);
        s.flush();
        return name;
    }
    QTemporaryDir dir;
};

ads::SearchColumn column(const QString &name, ads::AdsType type, const QVariantList &values)
{
    ads::SearchColumn c;
    c.name = name;
    c.type = type;
    c.values = values;
    return c;
}

} // namespace

TEST_F(CliOutput, JsonLinesCarryEveryValueTypeIntact)
{
    const QString awkward = QStringLiteral("Line one\r\nline \"two\"\t\\ \x01 end ") + QString::fromUtf8("山田 Zoë 😀");
    const QString file = write([&](QTextStream &s) {
        JsonLinesWriter w(s);
        w.write(JsonObject()
                    .add(QStringLiteral("text"), awkward)
                    .add(QStringLiteral("empty"), QString(""))
                    .add(QStringLiteral("int"), -2147483646)
                    .add(QStringLiteral("big"), qint64(133497216000000001LL))
                    .add(QStringLiteral("flag"), false)
                    .add(QStringLiteral("none"), QVariant())
                    .add(QStringLiteral("bytes"), QByteArray("\x01\x05\x00\xff", 4))
                    .add(QStringLiteral("when"), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58, 999), Qt::UTC))
                    .add(QStringLiteral("generalized"), QVariant::fromValue(ads::AdsDate::fromFields(2023, 7, 1, 8, 30, 0)))
                    .add(QStringLiteral("zeroDate"), QVariant::fromValue(ads::AdsDate(0.0)))
                    .add(QStringLiteral("list"), QVariantList{QStringLiteral("a"), 2, QVariantList{}})
                    .add(QStringLiteral("nested"), QVariant::fromValue(JsonObject().add(QStringLiteral("k"), true))));
        w.write(JsonObject().add(QStringLiteral("second"), 1));
    });
    const QJsonArray rows = readBack("json", file).array();
    ASSERT_EQ(rows.size(), 2);
    const QJsonObject o = rows[0].toObject();
    EXPECT_EQ(o.keys().size(), 12);
    EXPECT_EQ(o[QStringLiteral("text")].toString(), awkward);
    EXPECT_EQ(o[QStringLiteral("empty")].toString(), QString());
    EXPECT_TRUE(o[QStringLiteral("empty")].isString());
    EXPECT_EQ(o[QStringLiteral("int")].toInteger(), -2147483646);
    EXPECT_EQ(o[QStringLiteral("big")].toInteger(), 133497216000000001LL);  // every digit: not a double
    EXPECT_TRUE(o[QStringLiteral("flag")].isBool());
    EXPECT_TRUE(o[QStringLiteral("none")].isNull());
    EXPECT_EQ(QByteArray::fromBase64(o[QStringLiteral("bytes")].toString().toLatin1()), QByteArray("\x01\x05\x00\xff", 4));
    EXPECT_EQ(o[QStringLiteral("when")].toString(), QStringLiteral("2024-02-29T23:59:58Z"));
    EXPECT_EQ(o[QStringLiteral("generalized")].toString(), QStringLiteral("2023-07-01T08:30:00Z"));
    EXPECT_TRUE(o[QStringLiteral("zeroDate")].isNull());
    EXPECT_EQ(o[QStringLiteral("list")].toArray().size(), 3);
    EXPECT_TRUE(o[QStringLiteral("nested")].toObject()[QStringLiteral("k")].toBool());
    EXPECT_EQ(rows[1].toObject()[QStringLiteral("second")].toInt(), 1);
}

TEST_F(CliOutput, DirectoryColumnsAreTypedFromTheSchema)
{
    ads::SchemaMap schema;
    schema.add(QStringLiteral("proxyAddresses"), {ads::ADSTYPE_CASE_IGNORE_STRING, false, true});
    schema.add(QStringLiteral("mail"), {ads::ADSTYPE_CASE_IGNORE_STRING, true, true});
    schema.add(QStringLiteral("pwdLastSet"), {ads::ADSTYPE_LARGE_INTEGER, true, true});
    schema.add(QStringLiteral("accountExpires"), {ads::ADSTYPE_LARGE_INTEGER, true, true});
    schema.add(QStringLiteral("uSNChanged"), {ads::ADSTYPE_LARGE_INTEGER, true, true});

    // Multi-valued in the schema: an array even with one value; single-valued: a scalar.
    EXPECT_EQ(jsonText(jsonValue(column(QStringLiteral("proxyAddresses"), ads::ADSTYPE_CASE_IGNORE_STRING,
                                        {QStringLiteral("SMTP:a@b")}), &schema)),
              QStringLiteral("[\"SMTP:a@b\"]"));
    EXPECT_EQ(jsonText(jsonValue(column(QStringLiteral("MAIL"), ads::ADSTYPE_CASE_IGNORE_STRING, {QStringLiteral("a@b")}),
                                 &schema)),
              QStringLiteral("\"a@b\""));
    // Not in the schema: an array only when there are several values.
    EXPECT_EQ(jsonText(jsonValue(column(QStringLiteral("madeUp"), ads::ADSTYPE_CASE_IGNORE_STRING,
                                        {QStringLiteral("x"), QStringLiteral("y")}), &schema)),
              QStringLiteral("[\"x\",\"y\"]"));
    // File times are UTC times; 0 and the largest value mean "never" and are null; other large
    // integers stay numbers.
    const qint64 ft = ads::dateTimeToFileTime(QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC)) + 1234567;
    EXPECT_EQ(jsonText(jsonValue(column(QStringLiteral("pwdLastSet"), ads::ADSTYPE_LARGE_INTEGER, {ft}), &schema)),
              QStringLiteral("\"2021-03-04T05:06:07Z\""));
    EXPECT_EQ(jsonText(jsonValue(column(QStringLiteral("pwdLastSet"), ads::ADSTYPE_LARGE_INTEGER, {qint64(0)}), &schema)),
              QStringLiteral("null"));
    EXPECT_EQ(jsonText(jsonValue(column(QStringLiteral("accountExpires"), ads::ADSTYPE_LARGE_INTEGER,
                                        {ads::kFileTimeNever}), &schema)),
              QStringLiteral("null"));
    EXPECT_EQ(jsonText(jsonValue(column(QStringLiteral("uSNChanged"), ads::ADSTYPE_LARGE_INTEGER,
                                        {qint64(9007199254740993LL)}), &schema)),
              QStringLiteral("9007199254740993"));
}

TEST_F(CliOutput, LdifReadsBackByteForByteWithPythonLdap)
{
    const QByteArray longValue = QByteArray("x").repeated(200);
    const QList<QByteArray> awkward = {
        "plain",           " leading blank", "trailing blank ", ":colon first", "<angle first",
        "two\r\nlines",    "one\nline",      QString::fromUtf8("Zürich Büro 山田").toUtf8(),
        QByteArray("\x00\x01\xfe\xff", 4), QByteArray(), longValue,
    };
    const QString dn1 = QString::fromUtf8("CN=Jörg Weiß,OU=Zürich Büro,DC=arvendel,DC=test");
    const QString dn2 = QStringLiteral("CN=Smith\\, John,OU=Showcase,DC=arvendel,DC=test");
    const QString file = write([&](QTextStream &s) {
        LdifWriter w(s);
        LdifAttributes a;
        a.append({QStringLiteral("description"), awkward});
        a.append({QStringLiteral("objectSid"), {QByteArray::fromHex("010500000000000515000000")}});
        w.write(dn1, a);
        w.write(dn2, {{QStringLiteral("cn"), {"Smith, John"}}});
    });
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        for (const QByteArray &line : f.readAll().split('\n'))
            EXPECT_LE(line.size(), 76) << line.toStdString();
    }
    const QJsonArray records = readBack("ldif", file).array();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0].toArray()[0].toString(), dn1);
    const QJsonObject first = records[0].toArray()[1].toObject();
    const QJsonArray values = first[QStringLiteral("description")].toArray();
    ASSERT_EQ(values.size(), awkward.size());
    for (qsizetype i = 0; i < awkward.size(); ++i)
        EXPECT_EQ(QByteArray::fromBase64(values[i].toString().toLatin1()), awkward[i]) << i;
    EXPECT_EQ(QByteArray::fromBase64(first[QStringLiteral("objectSid")].toArray()[0].toString().toLatin1()),
              QByteArray::fromHex("010500000000000515000000"));
    EXPECT_EQ(records[1].toArray()[0].toString(), dn2);
}
