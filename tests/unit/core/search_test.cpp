// The search wrapper's pure parts: error texts, wrapping, column conversions, attribute
// lists and field rules.
#include "core/unSearch.h"

#include "platform/adsi/adserror.h"
#include "platform/adsi/adsvalue.h"

#include <gtest/gtest.h>
#include <ctime>

using namespace ads;

namespace {
SearchColumn column(const QString &name, AdsType type, QVariantList values)
{
    SearchColumn c;
    c.name = name;
    c.type = type;
    c.values = std::move(values);
    return c;
}
} // namespace

TEST(ErrorText, AdsiTableUnknownCodesAndSuccess)
{
    EXPECT_EQ(GetADSIErrorText(hr(0x80005014)), QStringLiteral("The specified search filter is invalid."));
    EXPECT_EQ(GetADSIErrorText(hr(0x8000500D)), QStringLiteral("The property cannot be found in the \r\ncache."));
    EXPECT_EQ(GetADSIErrorText(hr(0x8000501F)), QStringLiteral("Unknown ADSI Error: 8000501F"));
    EXPECT_EQ(GetADSIErrorText(hr(0x80001234)), QStringLiteral("Unknown ADSI Error: 80001234"));
    EXPECT_TRUE(GetADSIErrorText(S_OK).isEmpty());
    EXPECT_TRUE(GetADSIErrorText(S_ADS_NOMORE_ROWS).isEmpty());
    // Longer table texts are wrapped at 40 columns, breaking after the blank.
    EXPECT_EQ(GetADSIErrorText(hr(0x80005008)), QStringLiteral("One or more input parameters are \r\ninvalid."));
}

TEST(ErrorText, SystemCodesCarryTheProvidersExtendedError)
{
    ADsSetLastError(8240, QStringLiteral("0000208D: NameErr: DSID-03100238, problem 2001 (NO_OBJECT)"));
    const QString text = GetADSIErrorText(HR_DS_NO_SUCH_OBJECT);
    EXPECT_TRUE(text.startsWith(QLatin1String("There is no such object on the server.\r\n\r\n0000208D: NameErr:")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QLatin1String("\r\nLDAP Provider")));
    for (const QString &line : text.split(QStringLiteral("\r\n")))
        EXPECT_LE(line.size(), 40) << line.toStdString();

    // Code 13 and code 0 add nothing.
    ADsSetLastError(13, QStringLiteral("should not show"));
    EXPECT_EQ(GetADSIErrorText(HR_DS_SERVER_DOWN), QStringLiteral("The server is not operational.\r\n"));
    ADsSetLastError(0, QString(), QString());
    EXPECT_EQ(GetADSIErrorText(HR_LOGON_FAILURE), QStringLiteral("The user name or password is incorrect.\r\n"));
    // A facility-7 code whose low bits meet 0x5000 goes to the table first, then to the
    // system's text, without the extended error.
    ADsSetLastError(5010, QStringLiteral("should not show either"));
    EXPECT_EQ(GetADSIErrorText(HR_OBJECT_ALREADY_EXISTS), QStringLiteral("The object already exists.\r\n"));
    ADsSetLastError(0, QString(), QString());
}

TEST(ErrorText, CheckRaisesOnlyFailures)
{
    EXPECT_NO_THROW(CheckADSIResult(S_OK));
    EXPECT_NO_THROW(CheckADSIResult(S_ADS_NOMORE_COLUMNS));
    try {
        CheckADSIResult(E_ADS_BAD_PATHNAME);
        ADD_FAILURE() << "no exception";
    } catch (const Exception &e) { // the program's base class catches it
        EXPECT_EQ(e.Message(), QStringLiteral("An invalid ADSI pathname was passed."));
        EXPECT_NE(dynamic_cast<const EADSIException *>(&e), nullptr);
    }
}

TEST(WrapText, BreaksAtBlanksHyphensAndTabsOnly)
{
    EXPECT_EQ(WrapText(QStringLiteral("short"), 40), QStringLiteral("short"));
    EXPECT_EQ(WrapText(QStringLiteral("aaaa bbbb cccc"), 9), QStringLiteral("aaaa \r\nbbbb cccc"));
    EXPECT_EQ(WrapText(QStringLiteral("aaaa bbbb cccc"), 8), QStringLiteral("aaaa \r\nbbbb \r\ncccc"));
    EXPECT_EQ(WrapText(QStringLiteral("well-known-name"), 6), QStringLiteral("well-\r\nknown-\r\nname"));
    // A word longer than the width stays whole.
    EXPECT_EQ(WrapText(QStringLiteral("x ../../source4/dsdb/samdb/acl_read.c:967 y"), 10),
              QStringLiteral("x \r\n../../source4/dsdb/samdb/acl_read.c:967 \r\ny"));
    // Existing line breaks stay, as CR LF.
    EXPECT_EQ(WrapText(QStringLiteral("one\ntwo\r\nthree"), 40), QStringLiteral("one\r\ntwo\r\nthree"));
}

TEST(ConvertColumn, OctetsGuidTextOrBytes)
{
    const QByteArray guid = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    EXPECT_EQ(TQelADSISearching::ConvertColumn(column(QStringLiteral("objectGUID"), ADSTYPE_OCTET_STRING, {guid})),
              QVariant(QStringLiteral("{33221100-5544-7766-8899-AABBCCDDEEFF}")));
    EXPECT_EQ(TQelADSISearching::ConvertColumn(column(QStringLiteral("x"), ADSTYPE_PROV_SPECIFIC, {guid})).toString().size(), 38);
    const QByteArray sid(28, '\x05');
    const QVariant s = TQelADSISearching::ConvertColumn(column(QStringLiteral("objectSid"), ADSTYPE_OCTET_STRING, {sid}));
    EXPECT_EQ(s.metaType().id(), QMetaType::QByteArray);
    EXPECT_EQ(s.toByteArray(), sid);
    EXPECT_FALSE(TQelADSISearching::ConvertColumn(column(QStringLiteral("x"), ADSTYPE_OCTET_STRING, {})).isValid());
}

TEST(ConvertColumn, ScalarsByType)
{
    EXPECT_EQ(TQelADSISearching::ConvertColumn(column(QStringLiteral("cn"), ADSTYPE_CASE_IGNORE_STRING, {QStringLiteral("a")})),
              QVariant(QStringLiteral("a")));
    EXPECT_EQ(TQelADSISearching::ConvertColumn(column(QStringLiteral("b"), ADSTYPE_BOOLEAN, {true})), QVariant(true));
    const QVariant i = TQelADSISearching::ConvertColumn(column(QStringLiteral("lastLogon"), ADSTYPE_INTEGER, {7}));
    EXPECT_EQ(i.metaType().id(), QMetaType::Int); // a time name with another type is not a time
    const QVariant big = TQelADSISearching::ConvertColumn(column(QStringLiteral("uSNChanged"), ADSTYPE_LARGE_INTEGER, {qint64(1) << 40}));
    EXPECT_EQ(big, QVariant(qint64(1) << 40));
    const AdsDate stored = AdsDate::fromFields(2024, 5, 6, 7, 8, 9);
    EXPECT_EQ(TQelADSISearching::ConvertColumn(column(QStringLiteral("whenChanged"), ADSTYPE_UTC_TIME,
                                                      {QVariant::fromValue(stored)})).value<AdsDate>(),
              stored);
    EXPECT_EQ(TQelADSISearching::ConvertColumn(column(QStringLiteral("nTSecurityDescriptor"),
                                                      ADSTYPE_NT_SECURITY_DESCRIPTOR, {QByteArray("x")})),
              QVariant(QStringLiteral("(unknown data type 25)")));
    EXPECT_EQ(TQelADSISearching::ConvertColumn(column(QStringLiteral("wellKnownObjects"), ADSTYPE_DN_WITH_BINARY,
                                                      {QVariant::fromValue(DnWithBinary{})})),
              QVariant(QStringLiteral("(unknown data type 27)")));
}

TEST(ConvertColumn, TimeAttributesZeroNeverAndLocalTime)
{
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    for (qint64 never : {qint64(0), kFileTimeNever, qint64(0x00000000FFFFFFFFLL), qint64(-1)})
        EXPECT_EQ(TQelADSISearching::ConvertColumn(column(QStringLiteral("PWDLASTSET"), ADSTYPE_LARGE_INTEGER, {never}))
                      .value<AdsDate>(),
                  ZeroDateTime())
            << never;
    const QDateTime winter(QDate(2024, 1, 15), QTime(10, 0), Qt::UTC);
    const QDateTime summer(QDate(2024, 7, 15), QTime(10, 0), Qt::UTC);
    const QVariant one = TQelADSISearching::ConvertColumn(
        column(QStringLiteral("lastLogonTimestamp"), ADSTYPE_LARGE_INTEGER, {dateTimeToFileTime(winter)}));
    EXPECT_EQ(one.value<AdsDate>().toDateTime(Qt::UTC).time(), QTime(11, 0));
    // Several values: an array of date-times, each converted.
    const QVariant many = TQelADSISearching::ConvertColumn(column(
        QStringLiteral("badPasswordTime"), ADSTYPE_LARGE_INTEGER, {dateTimeToFileTime(winter), dateTimeToFileTime(summer), qint64(0)}));
    const QVariantList list = many.toList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].value<AdsDate>().toDateTime(Qt::UTC).time(), QTime(11, 0));
    EXPECT_EQ(list[1].value<AdsDate>().toDateTime(Qt::UTC).time(), QTime(12, 0));
    EXPECT_EQ(list[2].value<AdsDate>(), ZeroDateTime());
    // Several large integers outside the time list: an array of 64-bit integers.
    const QVariantList ints = TQelADSISearching::ConvertColumn(
        column(QStringLiteral("msDS-Other"), ADSTYPE_LARGE_INTEGER, {qint64(1), qint64(-2)})).toList();
    EXPECT_EQ(ints, (QVariantList{qint64(1), qint64(-2)}));
    EXPECT_EQ(ints[0].metaType().id(), QMetaType::LongLong);
    if (oldTz.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

TEST(SearchFields, DefaultsSetterRulesAndAttributeLists)
{
    TQelADSISearching s;
    EXPECT_EQ(s.PageSize(), 100);
    EXPECT_EQ(s.SearchScope(), 2);
    EXPECT_EQ(s.ObjectClass(), QStringLiteral("*"));
    EXPECT_EQ(s.AuthFlags(), 0);
    EXPECT_FALSE(s.UseCredentials());
    s.setSizeLimit(10);
    s.setSizeLimit(-1);
    EXPECT_EQ(s.SizeLimit(), 10);
    s.setPageSize(-5);
    EXPECT_EQ(s.PageSize(), 100);
    s.setPageSize(0);
    EXPECT_EQ(s.PageSize(), 0);

    EXPECT_EQ(TQelADSISearching::SplitAttributes(QStringLiteral(" cn, \"display Name\",sn  mail,,")),
              (QStringList{QStringLiteral("cn"), QStringLiteral("display Name"), QStringLiteral("sn"), QStringLiteral("mail")}));
    EXPECT_TRUE(TQelADSISearching::SplitAttributes(QString()).isEmpty());

    QVariant row = 5;
    try {
        s.GetNextRow(row);
        ADD_FAILURE() << "no exception";
    } catch (const EADSISearchException &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Search has not been executed yet"));
    }
    EXPECT_FALSE(row.isValid());
}

TEST(OpenADsObject, BadPathIsReportedNotRaised)
{
    ObjectPtr o;
    EXPECT_EQ(OpenADsObject(QStringLiteral("GC://x"), QStringLiteral("u"), QStringLiteral("p"), &o,
                            QLatin1String(IID_IADs), 1, true),
              E_ADS_BAD_PATHNAME);
    EXPECT_FALSE(o);
}
