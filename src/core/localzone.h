#pragma once
// The local time zone's offset from UTC at an instant, for converting many directory time
// values: a listing of 100,000 users converts several dates per row. Asking the C library or
// QTimeZone for each value re-examines the zone every time (the C library checks its zone file,
// Qt re-derives the system zone and computes the year's rule); this keeps the offsets of the
// days already seen and drops them when the zone changes while the program runs.
#include <QTimeZone>
#include <QtGlobal>

namespace localzone {

// Seconds to add to UTC for local time at `utcMsecs` (milliseconds since 1970-01-01 UTC).
// The zone is the override when one is set, else the system's as the C library reads it:
// TZ in all its forms (a zone name, ":<zone file>", a rule such as "EST5EDT"), else
// /etc/localtime. A change of TZ or of the override shows at the next call; a change of
// /etc/localtime within a second.
int offsetAt(qint64 utcMsecs);

// Local milliseconds since 1970 (UTC plus the offset) for an instant.
inline qint64 toLocalMsecs(qint64 utcMsecs) { return utcMsecs + qint64(offsetAt(utcMsecs)) * 1000; }

// A file time (100-ns units since 1601-01-01 UTC, not negative) as a local date-time: days
// since 30 December 1899 with the time of day as the fraction (counted away from zero before
// that day), to the millisecond.
double fileTimeToLocalDateTime(qint64 fileTime);

// Makes the conversions use `zone` instead of the system's; an invalid zone removes the
// override.
void setOverride(const QTimeZone &zone);
// The override, or an invalid zone when none is set.
QTimeZone overrideZone();

} // namespace localzone
