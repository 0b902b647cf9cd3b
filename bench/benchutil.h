#pragma once
// Small measuring helpers the benchmarks share: medians, CPU seconds and resident memory.
#include <QByteArray>
#include <QFile>
#include <QList>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace bench {

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// User and system seconds of this process (RUSAGE_SELF) or of its finished children.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The resident set of this process now, in KB.
inline long currentRssKb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

} // namespace bench
