#include "platform/adsi/adstypes.h"

#include <QTimeZone>
#include <cmath>

namespace ads {

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr qint64 kMsPerDay = 86400000LL;
// 1601-01-01 to 1970-01-01 in 100-ns units.
constexpr qint64 kFileTimeUnixOffset = 116444736000000000LL;
} // namespace

AdsDate AdsDate::fromFields(int year, int month, int day, int hour, int minute, int second, int msec)
{
    const QDate d(year, month, day);
    const QTime t(hour, minute, second, msec);
    if (!d.isValid() || !t.isValid())
        return AdsDate();
    const qint64 days = kEpoch.daysTo(d);
    const double frac = t.msecsSinceStartOfDay() / double(kMsPerDay);
    // VT_DATE: the integer part is the day (negative before the epoch), the fraction is
    // always the time of day counted away from zero.
    return AdsDate(days >= 0 ? days + frac : days - frac);
}

AdsDate AdsDate::fromDateTime(const QDateTime &dt)
{
    if (!dt.isValid())
        return AdsDate();
    const QDate d = dt.date();
    const QTime t = dt.time();
    return fromFields(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
}

QDateTime AdsDate::toDateTime(Qt::TimeSpec timeSpec) const
{
    if (!std::isfinite(value))
        return QDateTime();
    const double whole = std::trunc(value);
    const double frac = std::fabs(value - whole);
    qint64 ms = std::llround(frac * kMsPerDay);
    qint64 days = static_cast<qint64>(whole);
    if (ms >= kMsPerDay) { // rounding up to midnight
        ms -= kMsPerDay;
        days += 1;
    }
    const QDate d = kEpoch.addDays(days);
    const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
    if (timeSpec == Qt::UTC)
        return QDateTime(d, t, Qt::UTC);
    return QDateTime(d, t);
}

QDateTime fileTimeToDateTime(qint64 fileTime)
{
    if (fileTime < 0)
        return QDateTime();
    const qint64 ms = (fileTime - kFileTimeUnixOffset) / 10000;
    QDateTime dt = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    if (!dt.isValid() || dt.date().year() > 9999)
        return QDateTime();
    return dt;
}

qint64 dateTimeToFileTime(const QDateTime &dt)
{
    if (!dt.isValid())
        return 0;
    return dt.toMSecsSinceEpoch() * 10000 + kFileTimeUnixOffset;
}

} // namespace ads
