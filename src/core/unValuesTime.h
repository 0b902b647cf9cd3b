#pragma once
// Date-time conversions between the local clock, the directory's UTC file times and
// generalized-time text, and the time-zone rules behind them.
//
// A date-time is a floating day count from 30 December 1899 00:00 (the fraction is the time
// of day), local time unless said otherwise; 0.0 is the zero date-time ("no date").
// A file time is a 64-bit count of 100-nanosecond units since 1 January 1601 UTC.
#include <QString>
#include <QTimeZone>
#include <QtGlobal>
#include <optional>

// One transition rule of a zone record: month 0 means no daylight saving. With a year the
// rule is an absolute date-time; without, `day` (1..5, 5 = last) and `dayOfWeek` (0 Sunday ..
// 6 Saturday) pick the n-th weekday of the month. The time of day is local wall time just
// before the change.
struct TZoneRule {
    int year = 0;
    int month = 0;
    int dayOfWeek = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The zone record: UTC = local + Bias minutes; StandardBias / DaylightBias are added to Bias
// while standard / daylight time is in effect.
struct TTimeZoneRules {
    int Bias = 0;
    TZoneRule StandardDate;
    int StandardBias = 0;
    TZoneRule DaylightDate;
    int DaylightBias = 0;
};

// Date-time helpers ---------------------------------------------------------------------

// Encodes a calendar date and time of day as a date-time; invalid input gives 0.
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                      int second = 0, int millisecond = 0);

struct TDateTimeParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
    int dayOfWeek = 0; // 0 Sunday .. 6 Saturday
};
// Splits a date-time into its parts (rounded to the millisecond).
TDateTimeParts DecodeDateTime(double dateTime);

// Zone rules ------------------------------------------------------------------------------

// The zone whose rules the conversions use: the system's zone (TZ, /etc/localtime) unless a
// zone was set with SetTimeZoneOverride.
QTimeZone CurrentTimeZone();
// Makes every conversion use `zone` instead of the system's; an invalid zone removes the
// override. Meant for tests and for tools that work in a chosen zone.
void SetTimeZoneOverride(const QTimeZone &zone);

// The zone record of `zone` for one year, derived from its transitions in that year. A year
// without both a change to and from daylight saving gives month 0 in both rules.
TTimeZoneRules TimeZoneRulesForYear(const QTimeZone &zone, int year);
// Same for the current zone.
TTimeZoneRules TimeZoneRulesForYear(int year);

// The local date-time at which `rule` takes effect in `year`; empty when the rule names none.
std::optional<double> TransitionDate(const TZoneRule &rule, int year);

// Conversions -------------------------------------------------------------------------------

// Local date-time to UTC by the zone rules of the date's own year. A local time that does
// not exist (skipped at the change to daylight saving) gives the zero date-time; one that
// occurs twice is read as daylight time when preferDaylight, else as standard time.
double LocalToUTC(double dateTime, bool preferDaylight);
double LocalToUTC(double dateTime, bool preferDaylight, const TTimeZoneRules &rules);

// Local date-time to a UTC file time (a repeated hour is read as daylight time). A local
// time inside the skipped hour is read with the offset in effect before the change, so it
// never turns into a date of 1899.
qint64 DateTimeToFileTime(double dateTime);

// Local date-time to generalized-time text "yyyymmddhhnnss.0Z" in UTC; the skipped hour is
// handled as in DateTimeToFileTime.
QString DateTimeToGeneralizedTime(double dateTime, bool preferDaylight);

// A UTC file time to a local date-time by the zone's offset at that instant; empty for 0,
// for values whose low 32 bits are all ones (never), and for values out of range.
std::optional<double> FileTimeToLocalDateTime(qint64 fileTime);
// True for the file times that mean "never" (0, or low 32 bits all ones).
bool FileTimeIsNever(qint64 fileTime);

// UTC date-time to file time and back, without any zone.
qint64 UTCDateTimeToFileTime(double utcDateTime);
double FileTimeToUTCDateTime(qint64 fileTime);

// The current zone's standard Bias in minutes (UTC = local + Bias).
int GetTimeZoneBias();
