#pragma once
// Small measuring helpers the benchmarks share: medians, CPU seconds and resident memory.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

extern char **environ;

namespace bench {

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The value after an option on the command line ("--rounds 5"), or the fallback.
inline QString option(const QStringList &args, const QString &name, const QString &fallback)
{
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
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

struct Run {
    double seconds = 0;
    long maxRssKb = 0;
    double cpu = 0;  // user and system seconds of the child
    int status = -1;
};

// Runs a program with stdout to outFile; wall time, CPU and the program's peak memory.
//
// The peak a parent reads from wait4 is never below the parent's own peak at the time of the
// spawn (the kernel carries the old address space's high-water mark over the exec), so a
// benchmark that holds a large result would see its own size. With GNU time present the
// program runs under it, and its peak is the one time reads for its own (small) child.
inline Run spawn(const QStringList &args, const QString &outFile)
{
    static const bool haveTime = QFile::exists(QStringLiteral("/usr/bin/time"));
    const QString peakFile = outFile + QStringLiteral(".peak");
    QStringList command = args;
    if (haveTime)
        command = QStringList{QStringLiteral("/usr/bin/time"), QStringLiteral("-f"), QStringLiteral("%M"),
                              QStringLiteral("-o"), peakFile} + args;
    std::vector<QByteArray> bytes;
    for (const QString &a : command)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    const QByteArray out = QFile::encodeName(outFile);
    posix_spawn_file_actions_addopen(&fa, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    Run r;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        return r;
    }
    rusage ru{};
    int status = 0;
    wait4(pid, &status, 0, &ru);
    r.seconds = t.nsecsElapsed() / 1e9;
    r.maxRssKb = ru.ru_maxrss;
    if (haveTime) {
        QFile peak(peakFile);
        bool ok = false;
        if (peak.open(QIODevice::ReadOnly)) {
            // The last line holds the figure (earlier ones tell of a failing command).
            const QList<QByteArray> lines = peak.readAll().trimmed().split('\n');
            const long kb = lines.last().trimmed().toLong(&ok);
            if (ok)
                r.maxRssKb = kb;
        }
        peak.remove();
    }
    r.cpu = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&fa);
    return r;
}

} // namespace bench
