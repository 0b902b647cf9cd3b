#include "core/localzone.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unordered_map>

namespace localzone {
namespace {

constexpr qint64 kSecsPerDay = 86400;
constexpr qint64 kMsPerDay = kSecsPerDay * 1000;
constexpr qint64 kSystemCheckMs = 1000;  // how often /etc/localtime is looked at
constexpr std::size_t kMaxDays = 100000; // days kept before the cache starts afresh

QMutex g_overrideMutex;
QTimeZone g_override;
std::atomic<int> g_overrideGeneration{0};

qint64 floorDiv(qint64 a, qint64 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

qint64 coarseNowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// What identifies the content behind /etc/localtime (following a symbolic link).
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    qint64 mtime = 0;
    qint64 size = -1;
    friend bool operator==(const FileIdentity &a, const FileIdentity &b)
    {
        return a.dev == b.dev && a.ino == b.ino && a.mtime == b.mtime && a.size == b.size;
    }
};

FileIdentity identify(const char *path)
{
    FileIdentity id;
    struct stat st {};
    if (stat(path, &st) == 0) {
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.mtime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        id.size = st.st_size;
    }
    return id;
}

// The offsets of one UTC day: `before` until `switchAt` (UTC seconds), `after` from then on.
// A day holds at most one change of offset, as every zone's history does.
struct DaySpan {
    qint64 switchAt = 0;
    int before = 0;
    int after = 0;
};

// Per thread, so that conversions on worker threads take no lock.
struct Cache {
    bool initialised = false;
    int generation = -1;
    bool tzSet = false;
    std::string tz;
    bool followsSystemFile = false;
    FileIdentity systemFile;
    qint64 nextSystemCheck = 0;
    QTimeZone zone; // the override when valid, else the C library's zone
    std::unordered_map<qint64, DaySpan> days;
    qint64 lastDay = std::numeric_limits<qint64>::min();
    DaySpan last;

    void reset()
    {
        days.clear();
        lastDay = std::numeric_limits<qint64>::min();
    }

    // Starts afresh when the zone may have changed since the last call.
    void refresh()
    {
        bool changed = !initialised;
        const int generation_ = g_overrideGeneration.load(std::memory_order_acquire);
        if (generation_ != generation) {
            generation = generation_;
            QMutexLocker lock(&g_overrideMutex);
            zone = g_override;
            changed = true;
        }
        const char *env = std::getenv("TZ");
        if ((env != nullptr) != tzSet || (env && tz != env)) {
            tzSet = env != nullptr;
            tz = env ? env : "";
            changed = true;
        }
        if (changed) {
            // The C library reads its zone only when told to; TZ unset means /etc/localtime,
            // which it re-reads when the file changes (looked at once a second here).
            tzset();
            followsSystemFile = !tzSet || tz == ":/etc/localtime" || tz == "/etc/localtime";
            if (followsSystemFile) {
                systemFile = identify("/etc/localtime");
                nextSystemCheck = coarseNowMs() + kSystemCheckMs;
            }
            initialised = true;
            reset();
        } else if (followsSystemFile && !zone.isValid()) {
            const qint64 now = coarseNowMs();
            if (now >= nextSystemCheck) {
                nextSystemCheck = now + kSystemCheckMs;
                const FileIdentity current = identify("/etc/localtime");
                if (!(current == systemFile)) {
                    systemFile = current;
                    tzset();
                    reset();
                }
            }
        }
    }

    int offsetOfSecond(qint64 utcSecs) const
    {
        if (zone.isValid())
            return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utcSecs, Qt::UTC));
        const time_t t = time_t(utcSecs);
        struct tm parts {};
        if (localtime_r(&t, &parts) == nullptr)
            return 0;
        return int(parts.tm_gmtoff);
    }

    DaySpan spanOfDay(qint64 day) const
    {
        const qint64 from = day * kSecsPerDay;
        const qint64 to = from + kSecsPerDay;
        DaySpan s;
        s.before = offsetOfSecond(from);
        s.after = offsetOfSecond(to);
        if (s.before == s.after) {
            s.switchAt = to;
            return s;
        }
        // The change lies in (from, to]: the first second that has the new offset.
        qint64 lo = from, hi = to;
        while (hi - lo > 1) {
            const qint64 mid = lo + (hi - lo) / 2;
            if (offsetOfSecond(mid) == s.before)
                lo = mid;
            else
                hi = mid;
        }
        s.switchAt = hi;
        return s;
    }

    int offset(qint64 utcMsecs)
    {
        refresh();
        const qint64 day = floorDiv(utcMsecs, kMsPerDay);
        if (day != lastDay) {
            auto it = days.find(day);
            if (it == days.end()) {
                if (days.size() >= kMaxDays)
                    days.clear();
                it = days.emplace(day, spanOfDay(day)).first;
            }
            lastDay = day;
            last = it->second;
        }
        return floorDiv(utcMsecs, 1000) < last.switchAt ? last.before : last.after;
    }
};

thread_local Cache t_cache;

} // namespace

int offsetAt(qint64 utcMsecs) { return t_cache.offset(utcMsecs); }

double fileTimeToLocalDateTime(qint64 fileTime)
{
    constexpr qint64 kMsFrom1601To1970 = 11644473600000LL;
    constexpr qint64 kDaysFrom1899To1970 = 25569; // 30 December 1899 .. 1 January 1970
    const qint64 local = toLocalMsecs(fileTime / 10000 - kMsFrom1601To1970);
    const qint64 day = floorDiv(local, kMsPerDay);
    const qint64 days = day + kDaysFrom1899To1970;
    const double frac = double(local - day * kMsPerDay) / double(kMsPerDay);
    return days >= 0 ? double(days) + frac : double(days) - frac;
}

void setOverride(const QTimeZone &zone)
{
    {
        QMutexLocker lock(&g_overrideMutex);
        g_override = zone.isValid() ? zone : QTimeZone();
    }
    g_overrideGeneration.fetch_add(1, std::memory_order_release);
}

QTimeZone overrideZone()
{
    QMutexLocker lock(&g_overrideMutex);
    return g_override;
}

} // namespace localzone
