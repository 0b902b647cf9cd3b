// Local time <-> UTC by zone rules, file times and generalized time, in northern, southern,
// fixed-offset and inverted zones.
#include "core/datetimetext.h"
#include "core/unValuesTime.h"
#include "values_testutil.h"

#include <QDateTime>
#include <QTimeZone>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

constexpr double kMinute = 1.0 / 1440.0;
constexpr double kMs = 1.0 / 86400000.0;

double D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return EncodeDateTime(y, mo, d, h, mi, s, ms);
}

// Expected UTC as date-time, within 0.01 ms.
#define EXPECT_UTC(actual, expected) EXPECT_NEAR((actual), (expected), 1e-10)

class ZoneTest : public ::testing::Test {
protected:
    void use(const char *id)
    {
        const QTimeZone zone(id);
        ASSERT_TRUE(zone.isValid()) << "time-zone data for " << id << " is missing";
        SetTimeZoneOverride(zone);
    }
    void TearDown() override { SetTimeZoneOverride(QTimeZone()); }
};

qint64 fileTimeOfUtc(int y, int mo, int d, int h, int mi, int s = 0)
{
    const QDateTime utc(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
    return (utc.toMSecsSinceEpoch() + 11644473600000LL) * 10000;
}

} // namespace

TEST(TransitionDate, PicksTheNthAndTheLastWeekdayOfTheMonth)
{
    TZoneRule lastSundayOfMarch{0, 3, 0, 5, 2, 0, 0, 0};
    EXPECT_EQ(*TransitionDate(lastSundayOfMarch, 2024), D(2024, 3, 31, 2));
    EXPECT_EQ(*TransitionDate(lastSundayOfMarch, 2023), D(2023, 3, 26, 2));
    // The 1st of October 2023 is itself a Sunday.
    TZoneRule firstSundayOfOctober{0, 10, 0, 1, 2, 0, 0, 0};
    EXPECT_EQ(*TransitionDate(firstSundayOfOctober, 2023), D(2023, 10, 1, 2));
    EXPECT_EQ(*TransitionDate(firstSundayOfOctober, 2024), D(2024, 10, 6, 2));
    TZoneRule secondSundayOfMarch{0, 3, 0, 2, 2, 0, 0, 0};
    EXPECT_EQ(*TransitionDate(secondSundayOfMarch, 2024), D(2024, 3, 10, 2));
    // Fourth Saturday when the 1st is a Sunday (w' < d) and when it is a Saturday.
    TZoneRule fourthSaturday{0, 9, 6, 4, 23, 59, 59, 999};
    EXPECT_EQ(*TransitionDate(fourthSaturday, 2024), D(2024, 9, 28, 23, 59, 59, 999));
    EXPECT_EQ(*TransitionDate(fourthSaturday, 2029), D(2029, 9, 22, 23, 59, 59, 999));
    // "Last" when the month ends on that weekday, and in a leap February.
    TZoneRule lastThursdayOfFeb{0, 2, 4, 5, 0, 0, 0, 0};
    EXPECT_EQ(*TransitionDate(lastThursdayOfFeb, 2024), D(2024, 2, 29));
    EXPECT_EQ(*TransitionDate(lastThursdayOfFeb, 2023), D(2023, 2, 23));
}

TEST(TransitionDate, AbsoluteAndMissingRules)
{
    TZoneRule absolute{2011, 4, 0, 3, 1, 30, 0, 0};
    EXPECT_EQ(*TransitionDate(absolute, 1999), D(2011, 4, 3, 1, 30));
    EXPECT_FALSE(TransitionDate(TZoneRule{}, 2024));
    TZoneRule nZero{0, 3, 0, 0, 2, 0, 0, 0};
    EXPECT_FALSE(TransitionDate(nZero, 2024));
    TZoneRule nSix{0, 3, 0, 6, 2, 0, 0, 0};
    EXPECT_FALSE(TransitionDate(nSix, 2024));
}

TEST_F(ZoneTest, RulesAreDerivedFromTheZoneDataForTheYear)
{
    const TTimeZoneRules berlin = TimeZoneRulesForYear(QTimeZone("Europe/Berlin"), 2024);
    EXPECT_EQ(berlin.Bias, -60);
    EXPECT_EQ(berlin.StandardBias, 0);
    EXPECT_EQ(berlin.DaylightBias, -60);
    EXPECT_EQ(*TransitionDate(berlin.DaylightDate, 2024), D(2024, 3, 31, 2));
    EXPECT_EQ(*TransitionDate(berlin.StandardDate, 2024), D(2024, 10, 27, 3));
    EXPECT_EQ(berlin.DaylightDate.day, 5);
    EXPECT_EQ(berlin.DaylightDate.dayOfWeek, 0);

    // West Germany kept no daylight saving in 1975.
    const TTimeZoneRules berlin1975 = TimeZoneRulesForYear(QTimeZone("Europe/Berlin"), 1975);
    EXPECT_EQ(berlin1975.DaylightDate.month, 0);
    EXPECT_EQ(berlin1975.Bias, -60);

    const TTimeZoneRules sydney = TimeZoneRulesForYear(QTimeZone("Australia/Sydney"), 2024);
    EXPECT_EQ(sydney.Bias, -600);
    EXPECT_EQ(sydney.DaylightBias, -60);
    EXPECT_EQ(*TransitionDate(sydney.StandardDate, 2024), D(2024, 4, 7, 3));
    EXPECT_EQ(*TransitionDate(sydney.DaylightDate, 2024), D(2024, 10, 6, 2));

    const TTimeZoneRules tokyo = TimeZoneRulesForYear(QTimeZone("Asia/Tokyo"), 2024);
    EXPECT_EQ(tokyo.StandardDate.month, 0);
    EXPECT_EQ(tokyo.Bias, -540);
}

TEST_F(ZoneTest, NorthernZoneBands)
{
    use("Europe/Berlin");
    EXPECT_UTC(LocalToUTC(D(2024, 1, 15, 12), false), D(2024, 1, 15, 11));
    EXPECT_UTC(LocalToUTC(D(2024, 7, 1, 12), false), D(2024, 7, 1, 10));
    // Spring: 02:00 to 03:00 does not exist.
    EXPECT_UTC(LocalToUTC(D(2024, 3, 31, 1, 59, 59, 999), true), D(2024, 3, 31, 0, 59, 59, 999));
    EXPECT_EQ(LocalToUTC(D(2024, 3, 31, 2), true), 0.0);
    EXPECT_EQ(LocalToUTC(D(2024, 3, 31, 2, 30), false), 0.0);
    EXPECT_EQ(LocalToUTC(D(2024, 3, 31, 2, 59, 59, 999), true), 0.0);
    EXPECT_UTC(LocalToUTC(D(2024, 3, 31, 3), false), D(2024, 3, 31, 1));
    // Autumn: 02:00 to 03:00 happens twice.
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 1, 59, 59), false), D(2024, 10, 26, 23, 59, 59));
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 2), true), D(2024, 10, 27, 0));
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 2), false), D(2024, 10, 27, 1));
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 2, 59, 59), true), D(2024, 10, 27, 0, 59, 59));
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 2, 59, 59), false), D(2024, 10, 27, 1, 59, 59));
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 3), true), D(2024, 10, 27, 2));
    // Rules of the date's own year: 2023 changed on other days.
    EXPECT_EQ(LocalToUTC(D(2023, 3, 26, 2, 15), true), 0.0);
    EXPECT_UTC(LocalToUTC(D(2023, 3, 31, 2, 15), true), D(2023, 3, 31, 0, 15));
}

TEST_F(ZoneTest, EdgesWithinATenthOfAMillisecondCountAsEqual)
{
    use("Europe/Berlin");
    const double springGap = D(2024, 3, 31, 2);
    EXPECT_EQ(LocalToUTC(springGap - 0.5 * 0.1 * kMs, true), 0.0);
    EXPECT_NE(LocalToUTC(springGap - 2 * 0.1 * kMs, true), 0.0);
    const double gapEnd = D(2024, 3, 31, 3);
    EXPECT_NE(LocalToUTC(gapEnd - 0.5 * 0.1 * kMs, true), 0.0);
    EXPECT_EQ(LocalToUTC(gapEnd - 2 * 0.1 * kMs, true), 0.0);
    // Just before the end of the repeated hour the choice still matters; at its end it does not.
    const double repeatEnd = D(2024, 10, 27, 3);
    EXPECT_NEAR(LocalToUTC(repeatEnd - 2 * 0.1 * kMs, false) - LocalToUTC(repeatEnd - 2 * 0.1 * kMs, true),
                60 * kMinute, 1e-9);
    EXPECT_EQ(LocalToUTC(repeatEnd - 0.5 * 0.1 * kMs, false), LocalToUTC(repeatEnd - 0.5 * 0.1 * kMs, true));
}

TEST_F(ZoneTest, SouthernZoneBandsWrapAroundTheYear)
{
    use("Australia/Sydney");
    EXPECT_UTC(LocalToUTC(D(2024, 1, 10, 12), false), D(2024, 1, 10, 1));
    EXPECT_UTC(LocalToUTC(D(2024, 12, 31, 23), false), D(2024, 12, 31, 12));
    EXPECT_UTC(LocalToUTC(D(2024, 7, 1, 12), true), D(2024, 7, 1, 2));
    // April: 02:00 to 03:00 happens twice.
    EXPECT_UTC(LocalToUTC(D(2024, 4, 7, 1, 59), false), D(2024, 4, 6, 14, 59));
    EXPECT_UTC(LocalToUTC(D(2024, 4, 7, 2, 30), true), D(2024, 4, 6, 15, 30));
    EXPECT_UTC(LocalToUTC(D(2024, 4, 7, 2, 30), false), D(2024, 4, 6, 16, 30));
    EXPECT_UTC(LocalToUTC(D(2024, 4, 7, 3), true), D(2024, 4, 6, 17));
    // October: 02:00 to 03:00 does not exist.
    EXPECT_UTC(LocalToUTC(D(2024, 10, 6, 1, 59), true), D(2024, 10, 5, 15, 59));
    EXPECT_EQ(LocalToUTC(D(2024, 10, 6, 2), true), 0.0);
    EXPECT_EQ(LocalToUTC(D(2024, 10, 6, 2, 59), false), 0.0);
    EXPECT_UTC(LocalToUTC(D(2024, 10, 6, 3), false), D(2024, 10, 5, 16));
}

TEST_F(ZoneTest, ZonesWithoutDaylightSavingUseTheBias)
{
    use("Asia/Tokyo");
    EXPECT_UTC(LocalToUTC(D(2024, 3, 31, 2, 30), false), D(2024, 3, 30, 17, 30));
    EXPECT_EQ(GetTimeZoneBias(), -540);
    use("UTC");
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 2, 30), false), D(2024, 10, 27, 2, 30));
    EXPECT_EQ(GetTimeZoneBias(), 0);
    use("Africa/Lagos"); // one hour east of UTC, no daylight saving
    EXPECT_EQ(DateTimeToGeneralizedTime(D(2024, 1, 31, 23, 59), false), QStringLiteral("20240131225900.0Z"));
    EXPECT_EQ(DateTimeToGeneralizedTime(D(2024, 1, 1, 0, 30), true), QStringLiteral("20231231233000.0Z"));
}

TEST(InvertedRules, NorthernOrderWithLargerDaylightOffset)
{
    // Daylight time from 1 April to 1 September 02:00 at one hour WEST of standard time.
    TTimeZoneRules r;
    r.Bias = 0;
    r.DaylightBias = 60;
    r.DaylightDate = TZoneRule{0, 4, 1, 1, 2, 0, 0, 0}; // first Monday of April 2024: 1 April
    r.StandardDate = TZoneRule{0, 9, 0, 1, 2, 0, 0, 0}; // first Sunday of September 2024: 1 Sept
    // The clock goes back at the daylight date: 01:00 to 02:00 repeats.
    EXPECT_UTC(LocalToUTC(D(2024, 4, 1, 0, 59), true, r), D(2024, 4, 1, 0, 59));
    EXPECT_UTC(LocalToUTC(D(2024, 4, 1, 1, 30), true, r), D(2024, 4, 1, 2, 30));
    EXPECT_UTC(LocalToUTC(D(2024, 4, 1, 1, 30), false, r), D(2024, 4, 1, 1, 30));
    EXPECT_UTC(LocalToUTC(D(2024, 6, 1, 12), false, r), D(2024, 6, 1, 13));
    // And forward at the standard date: 02:00 to 03:00 is skipped.
    EXPECT_UTC(LocalToUTC(D(2024, 9, 1, 1, 59), false, r), D(2024, 9, 1, 2, 59));
    EXPECT_EQ(LocalToUTC(D(2024, 9, 1, 2), false, r), 0.0);
    EXPECT_EQ(LocalToUTC(D(2024, 9, 1, 2, 59), true, r), 0.0);
    EXPECT_UTC(LocalToUTC(D(2024, 9, 1, 3), false, r), D(2024, 9, 1, 3));
    EXPECT_UTC(LocalToUTC(D(2024, 12, 1, 12), true, r), D(2024, 12, 1, 12));
}

TEST(InvertedRules, SouthernOrderWithLargerDaylightOffset)
{
    // Standard time (UTC+1) from the last Sunday of March 01:00, "daylight" UTC+0 from the
    // last Sunday of October 02:00: how the zone data may describe Irish time.
    TTimeZoneRules r;
    r.Bias = -60;
    r.DaylightBias = 60;
    r.StandardDate = TZoneRule{0, 3, 0, 5, 1, 0, 0, 0};
    r.DaylightDate = TZoneRule{0, 10, 0, 5, 2, 0, 0, 0};
    EXPECT_UTC(LocalToUTC(D(2024, 1, 10, 12), false, r), D(2024, 1, 10, 12));
    EXPECT_EQ(LocalToUTC(D(2024, 3, 31, 1, 30), false, r), 0.0);
    EXPECT_UTC(LocalToUTC(D(2024, 3, 31, 2), false, r), D(2024, 3, 31, 1));
    EXPECT_UTC(LocalToUTC(D(2024, 7, 1, 12), true, r), D(2024, 7, 1, 11));
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 1, 30), false, r), D(2024, 10, 27, 0, 30));
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 1, 30), true, r), D(2024, 10, 27, 1, 30));
    EXPECT_UTC(LocalToUTC(D(2024, 10, 27, 2), false, r), D(2024, 10, 27, 2));
    EXPECT_UTC(LocalToUTC(D(2024, 12, 31, 23), false, r), D(2024, 12, 31, 23));
}

TEST_F(ZoneTest, DublinConvertsCorrectlyWhicheverWayTheDataDescribesIt)
{
    use("Europe/Dublin");
    EXPECT_UTC(LocalToUTC(D(2024, 7, 1, 12), false), D(2024, 7, 1, 11));
    EXPECT_UTC(LocalToUTC(D(2024, 1, 1, 12), true), D(2024, 1, 1, 12));
    EXPECT_EQ(LocalToUTC(D(2024, 3, 31, 1, 30), true), 0.0);
    const double a = LocalToUTC(D(2024, 10, 27, 1, 30), true);
    const double b = LocalToUTC(D(2024, 10, 27, 1, 30), false);
    EXPECT_NEAR(std::fabs(a - b), 60 * kMinute, 1e-9);
    EXPECT_NEAR(std::min(a, b), D(2024, 10, 27, 0, 30), 1e-9);
}

TEST_F(ZoneTest, SystemZoneFollowsTZ)
{
    const QByteArray old = qgetenv("TZ");
    qputenv("TZ", "Australia/Sydney");
    tzset();
    EXPECT_EQ(GetTimeZoneBias(), -600);
    EXPECT_EQ(LocalToUTC(D(2024, 10, 6, 2, 30), true), 0.0);
    qputenv("TZ", "Europe/Berlin");
    tzset();
    EXPECT_EQ(GetTimeZoneBias(), -60);
    EXPECT_EQ(LocalToUTC(D(2024, 3, 31, 2, 30), true), 0.0);
    // TZ naming a zone file, as the C library reads it.
    qputenv("TZ", ":/usr/share/zoneinfo/Australia/Sydney");
    EXPECT_EQ(GetTimeZoneBias(), -600);
    EXPECT_EQ(LocalToUTC(D(2024, 10, 6, 2, 30), true), 0.0);
    if (old.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", old);
    tzset();
}

TEST_F(ZoneTest, FileTimesRoundTripThroughLocalTime)
{
    for (const char *zone : {"Europe/Berlin", "Australia/Sydney", "Asia/Tokyo", "UTC"}) {
        use(zone);
        for (double t : {D(2024, 1, 1), D(2024, 3, 31, 1, 59, 59), D(2024, 3, 31, 3), D(2024, 6, 30, 23, 59, 59),
                         D(2024, 10, 27, 3), D(2024, 12, 31, 23, 59, 59, 999), D(1999, 4, 7, 12, 0, 0, 1),
                         D(2037, 11, 1, 8, 15)}) {
            const qint64 ft = DateTimeToFileTime(t);
            const auto back = FileTimeToLocalDateTime(ft);
            ASSERT_TRUE(back.has_value()) << zone;
            EXPECT_NEAR(*back, t, kMs / 2) << zone << " " << t;
        }
    }
    use("Europe/Berlin");
    EXPECT_EQ(DateTimeToFileTime(D(2024, 1, 1)), fileTimeOfUtc(2023, 12, 31, 23, 0));
    EXPECT_EQ(DateTimeToFileTime(D(2024, 7, 1)), fileTimeOfUtc(2024, 6, 30, 22, 0));
    // The repeated hour is read as daylight time.
    EXPECT_EQ(DateTimeToFileTime(D(2024, 10, 27, 2, 30)), fileTimeOfUtc(2024, 10, 27, 0, 30));
}

TEST_F(ZoneTest, SkippedLocalTimeNeverBecomesTheYear1899)
{
    use("Europe/Berlin");
    // 02:30 on the spring day is read with the winter offset, as 01:30 UTC (03:30 summer time).
    EXPECT_EQ(DateTimeToFileTime(D(2024, 3, 31, 2, 30)), fileTimeOfUtc(2024, 3, 31, 1, 30));
    EXPECT_EQ(DateTimeToGeneralizedTime(D(2024, 3, 31, 2, 30), false), QStringLiteral("20240331013000.0Z"));
    use("Australia/Sydney");
    EXPECT_EQ(DateTimeToGeneralizedTime(D(2024, 10, 6, 2, 30), true), QStringLiteral("20241005163000.0Z"));
}

TEST_F(ZoneTest, GeneralizedTimeFollowsTheRepeatedHourChoice)
{
    use("Europe/Berlin");
    EXPECT_EQ(DateTimeToGeneralizedTime(D(2024, 10, 27, 2, 30), true), QStringLiteral("20241027003000.0Z"));
    EXPECT_EQ(DateTimeToGeneralizedTime(D(2024, 10, 27, 2, 30), false), QStringLiteral("20241027013000.0Z"));
    EXPECT_EQ(DateTimeToGeneralizedTime(D(2024, 7, 4, 0, 0, 59, 999), false), QStringLiteral("20240703220059.0Z"));
}

TEST_F(ZoneTest, NeverAndOutOfRangeFileTimesGiveNoDate)
{
    use("Europe/Berlin");
    EXPECT_FALSE(FileTimeToLocalDateTime(0));
    EXPECT_FALSE(FileTimeToLocalDateTime(0x7FFFFFFFFFFFFFFFLL));
    EXPECT_FALSE(FileTimeToLocalDateTime(0x12345678FFFFFFFFLL));
    EXPECT_FALSE(FileTimeToLocalDateTime(-5));
    EXPECT_TRUE(FileTimeIsNever(0x7FFFFFFFFFFFFFFFLL));
    EXPECT_FALSE(FileTimeIsNever(fileTimeOfUtc(2024, 1, 1, 0, 0)));
    // The offset of the instant itself, not of today: summer and winter both come out right.
    EXPECT_NEAR(*FileTimeToLocalDateTime(fileTimeOfUtc(2024, 7, 1, 10, 0)), D(2024, 7, 1, 12), kMs);
    EXPECT_NEAR(*FileTimeToLocalDateTime(fileTimeOfUtc(2024, 1, 1, 10, 0)), D(2024, 1, 1, 11), kMs);
}

TEST(DateTimeParts, EncodeAndDecodeAgree)
{
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDateTime(1900, 1, 1, 12), 2.5);
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(EncodeDateTime(2024, 2, 30), 0.0);
    const TDateTimeParts p = DecodeDateTime(D(2024, 2, 29, 23, 59, 59, 999));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.millisecond, 999);
    EXPECT_EQ(p.dayOfWeek, 4);
    const TDateTimeParts q = DecodeDateTime(-1.25);
    EXPECT_EQ(q.day, 29);
    EXPECT_EQ(q.hour, 6);
    // Garbage does not crash and decodes to day 0.
    EXPECT_EQ(DecodeDateTime(std::nan("")).year, 1899);
    EXPECT_EQ(DecodeDateTime(1e300).year, 1899);
}

// The direct formatting of the time must write what QLocale writes, in locales with 12- and
// 24-hour clocks, zone abbreviations, quoted text and other digits.
TEST(DateTimeTexts, WritesWhatQLocaleWrites)
{
    for (const char *name : {"C", "en_US", "de_DE", "fr_FR", "ja_JP", "ko_KR", "ar_EG", "fa_IR", "hi_IN", "pt_BR",
                             "zh_CN", "ru_RU", "bg_BG", "es_419"}) {
        const QLocale locale{QString::fromLatin1(name)};
        TDateTimeTexts texts(locale);
        const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
        const QString timeFormat = locale.timeFormat(QLocale::LongFormat);
        for (int i = 0; i < 400; ++i) {
            // Midnight, noon and the hours around them, then spread over the day and the years.
            const int seconds = i < 48 ? (i / 2) * 3600 + (i % 2) * 3599 : (i * 7919 * 13) % 86400;
            const QDate day = QDate(1995, 1, 1).addDays(i * 37);
            const QTime time = QTime(0, 0).addSecs(seconds);
            const double value = D(day.year(), day.month(), day.day(), time.hour(), time.minute(), time.second());
            const QString expected = locale.toString(day, dateFormat) + QLatin1Char(' ') + locale.toString(time, timeFormat);
            ASSERT_EQ(texts.text(value).toStdString(), expected.toStdString()) << name << " " << timeFormat.toStdString();
        }
    }
}
