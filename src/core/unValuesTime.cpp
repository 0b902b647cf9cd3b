#include "core/unValuesTime.h"

#include "core/localzone.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QTime>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr qint64 kJulianDayZero = 2415019;          // 30 December 1899
constexpr qint64 kMsPerDay = 86400000;
constexpr qint64 kFileTimePerDay = 864000000000LL;  // 100-ns units per day
constexpr qint64 kDaysFrom1601To1899 = 109205;      // 1 Jan 1601 .. 30 Dec 1899
// Two date-times closer than this (0.1 ms) count as equal at a band edge.
constexpr double kEdge = 1.1574e-9;

bool before(double a, double b) { return a < b - kEdge; }
// t in [from, to): t at `from` belongs to the band, t at `to` does not.
bool inBand(double t, double from, double to) { return !before(t, from) && before(t, to); }
double addMinutes(double t, int minutes) { return t + double(minutes) / 1440.0; }

int sundayBasedWeekday(const QDate &d) { return d.dayOfWeek() % 7; } // 0 Sunday .. 6 Saturday

QMutex g_zoneMutex;
QHash<QString, TTimeZoneRules> g_rulesCache; // key: zone id + year

// The system's zone as Qt knows it. TZ may name a zone file (":/usr/share/zoneinfo/Asia/Tokyo"),
// which the C library reads but QTimeZone does not: such a file is taken by its zone name.
QTimeZone systemZone()
{
    QByteArray tz = qgetenv("TZ");
    if (tz.startsWith(':'))
        tz.remove(0, 1);
    if (tz.startsWith('/')) {
        const QString file = QFileInfo(QString::fromLocal8Bit(tz)).canonicalFilePath();
        const qsizetype at = file.lastIndexOf(QLatin1String("/zoneinfo/"));
        if (at >= 0) {
            QString id = file.mid(at + 10);
            if (id.startsWith(QLatin1String("posix/")))
                id.remove(0, 6);
            const QTimeZone zone(id.toUtf8());
            if (zone.isValid())
                return zone;
        }
    }
    return QTimeZone::systemTimeZone();
}

// Which rule was applied to a local time, so that callers can treat the skipped hour.
enum class Band { NoRules, Standard, Daylight, Skipped };

struct Resolved {
    double utc = 0;
    Band band = Band::NoRules;
    int offsetBeforeSkip = 0; // offset in minutes in effect just before a skipped hour
};

Resolved resolve(double t, bool preferDaylight, const TTimeZoneRules &r)
{
    Resolved res;
    if (r.StandardDate.month == 0 || r.DaylightDate.month == 0) {
        res.utc = addMinutes(t, r.Bias);
        return res;
    }
    const int year = DecodeDateTime(t).year;
    const auto ds = TransitionDate(r.DaylightDate, year);
    const auto ss = TransitionDate(r.StandardDate, year);
    if (!ds || !ss) {
        res.utc = addMinutes(t, r.Bias);
        return res;
    }
    const int stdOffset = r.Bias + r.StandardBias;
    const int dstOffset = r.Bias + r.DaylightBias;
    const bool northern = *ds < *ss;
    auto apply = [&](Band b) {
        res.band = b;
        res.utc = addMinutes(t, b == Band::Daylight ? dstOffset : stdOffset);
        return res;
    };
    auto skipped = [&](int offsetBefore) {
        res.band = Band::Skipped;
        res.utc = 0;
        res.offsetBeforeSkip = offsetBefore;
        return res;
    };

    if (dstOffset < stdOffset) {
        const double shift = double(stdOffset - dstOffset) / 1440.0;
        if (inBand(t, *ds, *ds + shift))
            return skipped(stdOffset);
        if (inBand(t, *ss - shift, *ss))
            return apply(preferDaylight ? Band::Daylight : Band::Standard);
        const bool daylight = northern
            ? inBand(t, *ds + shift, *ss - shift)
            : (!before(t, *ds + shift) || before(t, *ss - shift));
        return apply(daylight ? Band::Daylight : Band::Standard);
    }
    // Daylight time is not the smaller offset: the clock goes back at the daylight date
    // and forward at the standard date.
    const double shift = double(std::abs(stdOffset - dstOffset)) / 1440.0;
    if (inBand(t, *ss, *ss + shift))
        return skipped(dstOffset);
    if (inBand(t, *ds - shift, *ds))
        return apply(preferDaylight ? Band::Daylight : Band::Standard);
    const bool daylight = northern ? inBand(t, *ds, *ss) : (!before(t, *ds) || before(t, *ss));
    return apply(daylight ? Band::Daylight : Band::Standard);
}

// UTC for a local time; a skipped local time is read with the offset before the change.
double localToUtcNoGap(double t, bool preferDaylight)
{
    const Resolved r = resolve(t, preferDaylight, TimeZoneRulesForYear(DecodeDateTime(t).year));
    if (r.band == Band::Skipped)
        return addMinutes(t, r.offsetBeforeSkip);
    return r.utc;
}

TZoneRule ruleFromWallTime(const QDateTime &wall)
{
    const QDate d = wall.date();
    const QTime tm = wall.time();
    TZoneRule rule;
    rule.month = d.month();
    rule.dayOfWeek = sundayBasedWeekday(d);
    rule.day = (d.day() - 1) / 7 + 1;
    if (d.day() + 7 > d.daysInMonth())
        rule.day = 5; // the last such weekday of the month
    rule.hour = tm.hour();
    rule.minute = tm.minute();
    rule.second = tm.second();
    rule.millisecond = tm.msec();
    return rule;
}

} // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    const QDate d(year, month, day);
    if (!d.isValid() || hour < 0 || hour > 24 || minute < 0 || minute > 59 || second < 0
        || second > 59 || millisecond < 0 || millisecond > 999)
        return 0;
    const double days = double(d.toJulianDay() - kJulianDayZero);
    const double frac = double(((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / kMsPerDay;
    // Before day 0 the fraction counts forward from the (negative) day, as the scale defines.
    return days >= 0 ? days + frac : days - frac;
}

TDateTimeParts DecodeDateTime(double dateTime)
{
    TDateTimeParts p;
    if (!std::isfinite(dateTime) || std::fabs(dateTime) > 3.0e6)
        return p;
    double whole = std::trunc(dateTime);
    qint64 ms = std::llround(std::fabs(dateTime - whole) * kMsPerDay);
    if (ms >= kMsPerDay) { // rounding reached the next day
        ms -= kMsPerDay;
        whole += dateTime >= 0 ? 1 : -1;
    }
    const QDate d = QDate::fromJulianDay(kJulianDayZero + qint64(whole));
    p.year = d.year();
    p.month = d.month();
    p.day = d.day();
    p.dayOfWeek = sundayBasedWeekday(d);
    p.hour = int(ms / 3600000);
    p.minute = int(ms / 60000 % 60);
    p.second = int(ms / 1000 % 60);
    p.millisecond = int(ms % 1000);
    return p;
}

QTimeZone CurrentTimeZone()
{
    const QTimeZone zone = localzone::overrideZone();
    return zone.isValid() ? zone : systemZone();
}

void SetTimeZoneOverride(const QTimeZone &zone) { localzone::setOverride(zone); }

TTimeZoneRules TimeZoneRulesForYear(const QTimeZone &zone, int year)
{
    TTimeZoneRules rules;
    if (!zone.isValid())
        return rules;
    const QString key = QString::fromLatin1(zone.id()) + QLatin1Char('/') + QString::number(year);
    {
        QMutexLocker lock(&g_zoneMutex);
        auto it = g_rulesCache.constFind(key);
        if (it != g_rulesCache.constEnd())
            return *it;
    }

    const QDateTime from(QDate(year - 1, 12, 30), QTime(0, 0), Qt::UTC);
    const QDateTime to(QDate(year + 1, 1, 2), QTime(0, 0), Qt::UTC);
    std::optional<QTimeZone::OffsetData> toDaylight, toStandard;
    QDateTime toDaylightWall, toStandardWall;
    for (const QTimeZone::OffsetData &tr : zone.transitions(from, to)) {
        const QDateTime justBefore = tr.atUtc.addMSecs(-1);
        const int offsetBefore = zone.offsetFromUtc(justBefore);
        const bool wasDaylight = zone.daylightTimeOffset(justBefore) != 0;
        const bool isDaylight = tr.daylightTimeOffset != 0;
        // Wall time at which the clock changes, as read before the change.
        const QDateTime wallLocal = tr.atUtc.toUTC().addSecs(offsetBefore);
        if (wallLocal.date().year() != year || wasDaylight == isDaylight)
            continue;
        if (isDaylight && !toDaylight) {
            toDaylight = tr;
            toDaylightWall = wallLocal;
        } else if (!isDaylight && !toStandard) {
            toStandard = tr;
            toStandardWall = wallLocal;
        }
    }

    if (toDaylight && toStandard) {
        const int stdOffsetSecs = toStandard->offsetFromUtc;
        rules.Bias = -stdOffsetSecs / 60;
        rules.StandardBias = 0;
        rules.DaylightBias = -(toDaylight->offsetFromUtc - stdOffsetSecs) / 60;
        rules.DaylightDate = ruleFromWallTime(toDaylightWall);
        rules.StandardDate = ruleFromWallTime(toStandardWall);
    } else {
        // No daylight saving this year: the offset the zone keeps at the year's end.
        const QDateTime end(QDate(year, 12, 31), QTime(12, 0), Qt::UTC);
        rules.Bias = -zone.offsetFromUtc(end) / 60;
    }
    QMutexLocker lock(&g_zoneMutex);
    g_rulesCache.insert(key, rules);
    return rules;
}

TTimeZoneRules TimeZoneRulesForYear(int year) { return TimeZoneRulesForYear(CurrentTimeZone(), year); }

std::optional<double> TransitionDate(const TZoneRule &rule, int year)
{
    if (rule.month == 0)
        return std::nullopt;
    const double timeOfDay =
        double(((rule.hour * 60 + rule.minute) * 60 + rule.second) * 1000 + rule.millisecond) / kMsPerDay;
    if (rule.year != 0) {
        const QDate d(rule.year, rule.month, rule.day);
        if (!d.isValid())
            return std::nullopt;
        return double(d.toJulianDay() - kJulianDayZero) + timeOfDay;
    }
    const QDate first(year, rule.month, 1);
    if (!first.isValid() || rule.day < 1 || rule.day > 5 || rule.dayOfWeek < 0 || rule.dayOfWeek > 6)
        return std::nullopt;
    const int w = rule.dayOfWeek + 1; // 1-based, Sunday 1
    int day;
    if (rule.day <= 4) {
        const int d = sundayBasedWeekday(first) + 1;
        day = w - d + 1 + 7 * (rule.day - 1);
        if (w < d)
            day += 7;
    } else {
        const int last = first.daysInMonth();
        const int e = sundayBasedWeekday(QDate(year, rule.month, last)) + 1;
        day = last - (e - w);
        if (day > last)
            day -= 7;
    }
    return double(QDate(year, rule.month, day).toJulianDay() - kJulianDayZero) + timeOfDay;
}

double LocalToUTC(double dateTime, bool preferDaylight, const TTimeZoneRules &rules)
{
    return resolve(dateTime, preferDaylight, rules).utc;
}

double LocalToUTC(double dateTime, bool preferDaylight)
{
    return LocalToUTC(dateTime, preferDaylight, TimeZoneRulesForYear(DecodeDateTime(dateTime).year));
}

qint64 UTCDateTimeToFileTime(double utc)
{
    const long double ft = ((long double)utc + kDaysFrom1601To1899) * kFileTimePerDay;
    if (ft <= 0)
        return 0;
    if (ft >= (long double)std::numeric_limits<qint64>::max())
        return std::numeric_limits<qint64>::max();
    // Round to whole milliseconds: the day count cannot carry finer detail exactly.
    return std::llround(ft / 10000.0L) * 10000;
}

double FileTimeToUTCDateTime(qint64 fileTime)
{
    const qint64 ms = fileTime / 10000;
    const double days = double(ms / kMsPerDay - kDaysFrom1601To1899);
    const double frac = double(ms % kMsPerDay) / kMsPerDay;
    return days >= 0 ? days + frac : days - frac;
}

qint64 DateTimeToFileTime(double dateTime)
{
    return UTCDateTimeToFileTime(localToUtcNoGap(dateTime, true));
}

QString DateTimeToGeneralizedTime(double dateTime, bool preferDaylight)
{
    const TDateTimeParts p = DecodeDateTime(localToUtcNoGap(dateTime, preferDaylight));
    return QString::asprintf("%04d%02d%02d%02d%02d%02d.0Z", p.year, p.month, p.day, p.hour,
                             p.minute, p.second);
}

bool FileTimeIsNever(qint64 fileTime)
{
    return fileTime == 0 || (quint64(fileTime) & 0xFFFFFFFFULL) == 0xFFFFFFFFULL;
}

std::optional<double> FileTimeToLocalDateTime(qint64 fileTime)
{
    if (FileTimeIsNever(fileTime) || fileTime < 0)
        return std::nullopt;
    // Years up to 9999 only; beyond that the value is not a date anyone set.
    constexpr qint64 kMaxFileTime = 2650467743999990000LL; // 31 Dec 9999 23:59:59.999
    if (fileTime > kMaxFileTime)
        return std::nullopt;
    return localzone::fileTimeToLocalDateTime(fileTime);
}

int GetTimeZoneBias()
{
    const QTimeZone zone = CurrentTimeZone();
    if (!zone.isValid())
        return 0;
    return -zone.standardTimeOffset(QDateTime::currentDateTimeUtc()) / 60;
}
