// The cached local offsets against Qt's own zone rules (a second, independent reading of the
// zone files), across every change of summer time from 1990 to 2045 in zones of both
// hemispheres, with half-hour and negative summer time; and a zone that changes while the
// program runs, through TZ (a zone name or a zone file) and through the override.
#include "core/localzone.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

qint64 utcMs(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC).toMSecsSinceEpoch();
}

QString zoneFile(const char *id) { return QStringLiteral("/usr/share/zoneinfo/") + QLatin1String(id); }

class LocalZone : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        oldTz_ = tz ? tz : "";
    }
    void TearDown() override
    {
        localzone::setOverride(QTimeZone());
        if (hadTz_)
            setenv("TZ", oldTz_.c_str(), 1);
        else
            unsetenv("TZ");
    }
    // Switches the process's zone the way a user's environment names it: ":<zone file>".
    void useZoneFile(const QString &file)
    {
        ASSERT_TRUE(QFile::exists(file)) << "time-zone data missing: " << file.toStdString();
        setenv("TZ", (QStringLiteral(":") + file).toLocal8Bit().constData(), 1);
    }

private:
    bool hadTz_ = false;
    std::string oldTz_;
};

} // namespace

TEST_F(LocalZone, AgreesWithTheZoneRulesAtEverySummerTimeEdge)
{
    std::mt19937 rng(25);
    for (const char *id : {"Europe/Berlin", "Australia/Sydney", "America/New_York", "Europe/Dublin",
                           "Australia/Lord_Howe", "America/Sao_Paulo", "Asia/Kolkata"}) {
        SCOPED_TRACE(id);
        const QTimeZone reference(id);
        ASSERT_TRUE(reference.isValid());
        useZoneFile(zoneFile(id));
        // Instants on both sides of every change, and ordinary ones between, asked in a
        // shuffled order so that the cache is filled from either side of a change.
        std::vector<qint64> instants;
        const QDateTime from(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC);
        const QDateTime to(QDate(2045, 12, 31), QTime(0, 0), Qt::UTC);
        for (const QTimeZone::OffsetData &t : reference.transitions(from, to)) {
            const qint64 at = t.atUtc.toMSecsSinceEpoch();
            for (qint64 d : {-3600000LL, -1000LL, -1LL, 0LL, 1LL, 999LL, 3600000LL})
                instants.push_back(at + d);
        }
        for (int i = 0; i < 400; ++i)
            instants.push_back(from.toMSecsSinceEpoch()
                               + qint64(rng() % 1000000) * (to.toMSecsSinceEpoch() - from.toMSecsSinceEpoch()) / 1000000);
        std::shuffle(instants.begin(), instants.end(), rng);
        int wrong = 0;
        for (qint64 at : instants) {
            const int expected = reference.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(at, Qt::UTC));
            const int got = localzone::offsetAt(at);
            if (got != expected && ++wrong <= 5)
                ADD_FAILURE() << QDateTime::fromMSecsSinceEpoch(at, Qt::UTC).toString(Qt::ISODateWithMs).toStdString()
                              << ": offset " << got << ", the zone says " << expected;
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(LocalZone, LocalDateTimesAroundTheChangeOfTheClock)
{
    useZoneFile(zoneFile("Europe/Berlin"));
    auto local = [](qint64 utc) {
        const double v = localzone::fileTimeToLocalDateTime((utc + 11644473600000LL) * 10000);
        const double whole = std::trunc(v);
        const QDate day = QDate(1899, 12, 30).addDays(qint64(whole));
        const int ms = int(std::llround(std::fabs(v - whole) * 86400000.0));
        return QDateTime(day, QTime::fromMSecsSinceStartOfDay(ms), Qt::UTC)
            .toString(Qt::ISODateWithMs)
            .toStdString();
    };
    // Spring: 02:00 local does not exist; autumn: 02:00-03:00 local happens twice.
    EXPECT_EQ(local(utcMs(2024, 3, 31, 0, 59, 59, 999)), "2024-03-31T01:59:59.999Z");
    EXPECT_EQ(local(utcMs(2024, 3, 31, 1, 0)), "2024-03-31T03:00:00.000Z");
    EXPECT_EQ(local(utcMs(2024, 10, 27, 0, 59, 59, 999)), "2024-10-27T02:59:59.999Z");
    EXPECT_EQ(local(utcMs(2024, 10, 27, 1, 0)), "2024-10-27T02:00:00.000Z");
    // Before 30 December 1899 the day count is negative and the time of day still counts
    // forward from midnight.
    EXPECT_EQ(local(utcMs(1899, 12, 29, 5, 0)), "1899-12-29T06:00:00.000Z");
}

TEST_F(LocalZone, FollowsAChangeOfZoneWhileRunning)
{
    const qint64 winter = utcMs(2024, 1, 15, 12, 0);
    const qint64 summer = utcMs(2024, 7, 15, 12, 0);
    useZoneFile(zoneFile("Asia/Tokyo"));
    EXPECT_EQ(localzone::offsetAt(winter), 9 * 3600);
    EXPECT_EQ(localzone::offsetAt(summer), 9 * 3600);
    // The same instants again after the environment names another zone: nothing stale.
    useZoneFile(zoneFile("America/New_York"));
    EXPECT_EQ(localzone::offsetAt(winter), -5 * 3600);
    EXPECT_EQ(localzone::offsetAt(summer), -4 * 3600);
    // A zone name instead of a file, and a zone file outside the system's zone folder.
    setenv("TZ", "Europe/Berlin", 1);
    EXPECT_EQ(localzone::offsetAt(summer), 2 * 3600);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("office-zone"));
    ASSERT_TRUE(QFile::copy(zoneFile("Asia/Kolkata"), copy));
    useZoneFile(copy);
    EXPECT_EQ(localzone::offsetAt(summer), 5 * 3600 + 1800);
}

TEST_F(LocalZone, OverrideWinsOnEveryThreadAndCanBeRemoved)
{
    const qint64 summer = utcMs(2024, 7, 15, 12, 0);
    useZoneFile(zoneFile("Europe/Berlin"));
    int before = 0, during = 0;
    std::thread worker;
    {
        // A worker that converted before the override must not keep its old zone.
        std::mutex m;
        std::condition_variable cv;
        int step = 0;
        worker = std::thread([&] {
            before = localzone::offsetAt(summer);
            {
                std::unique_lock<std::mutex> lock(m);
                step = 1;
                cv.notify_all();
                cv.wait(lock, [&] { return step == 2; });
            }
            during = localzone::offsetAt(summer);
        });
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return step == 1; });
        localzone::setOverride(QTimeZone("Asia/Kolkata"));
        step = 2;
        cv.notify_all();
    }
    worker.join();
    EXPECT_EQ(before, 2 * 3600);
    EXPECT_EQ(during, 5 * 3600 + 1800);
    EXPECT_EQ(localzone::offsetAt(summer), 5 * 3600 + 1800);
    localzone::setOverride(QTimeZone());
    EXPECT_EQ(localzone::offsetAt(summer), 2 * 3600);
}
