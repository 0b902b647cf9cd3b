// Benchmark: the find-and-replace apply loop against ldapmodify, or (--journal) with the
// change journal recording against the same loop without it.
//
//   ARV_TEST_DOMAIN=<large domain folder> replace_bench [--users PREFIX] [--runs N] [--journal]
//
// With --journal each run applies the loop twice, once without and once with the journal
// (the order alternates between runs), and prints wall and CPU time of both halves, their
// paired ratio, and the medians: the server's load changes from run to run, so the paired
// ratios and the CPU times are the steadier figures on a shared machine.
//
// Takes the users of the large OU whose sAMAccountName starts with PREFIX (default
// "large019": 1,000 users) and replaces their description, alternately through the apply loop
// (one delete-old/add-new modify per user on the program's pooled connection) and through
// ldapmodify reading an LDIF file with the same 1,000 delete-old/add-new changes. Prints the
// median wall times and their ratio, then puts the original descriptions back.
#include "bulk/replaceengine.h"
#include "journal/recorder.h"
#include "platform/adsi/adsconnection.h"
#include "support/testdomain.h"
#include "../tests/integration/bulk/replace_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace findreplace;

namespace {

double cpuSeconds(int who)
{
    rusage ru{};
    getrusage(who, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Bench {
    TConnectionContext ctx = replacetest::adminContext();
    QString base = testsupport::fact("LARGE_OU");
    QString restriction;
    Rule rule;
    QTemporaryDir dir;
    QString passwordFile;

    std::vector<Row> preview(const QString &replace, double *seconds)
    {
        rule = Rule();
        rule.attribute = *attributeByName(QStringLiteral("description"));
        rule.replace = replace;
        std::vector<Row> rows;
        QElapsedTimer t;
        t.start();
        ReplaceRun run(ctx);
        const QString error = run.preview(rule, ctx.ServerPrefix + base, false, restriction, [&](Row &&r) {
            rows.push_back(std::move(r));
            return true;
        });
        *seconds = t.nsecsElapsed() / 1e9;
        if (!error.isEmpty())
            std::fprintf(stderr, "preview failed: %s\n", qPrintable(error));
        return rows;
    }

    double applyLoop(std::vector<Row> &rows, int *ok, double *cpu)
    {
        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        QElapsedTimer t;
        t.start();
        ReplaceRun run(ctx);
        const ApplySummary s = run.apply(rule, rows, nullptr);
        const double seconds = t.nsecsElapsed() / 1e9;
        *cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
        *ok = s.succeeded;
        return seconds;
    }

    double ldapmodify(const std::vector<Row> &rows, const QString &newPrefix, int *exitCode, double *cpu)
    {
        const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
        QString ldif;
        ldif.reserve(static_cast<qsizetype>(rows.size()) * 200);
        for (const Row &r : rows) {
            ldif += QStringLiteral("dn:: %1\nchangetype: modify\n").arg(replacetest::b64(r.dn));
            if (!r.current.isEmpty())
                ldif += QStringLiteral("delete: description\ndescription:: %1\n-\n").arg(replacetest::b64(r.currentText));
            ldif += QStringLiteral("add: description\ndescription:: %1\n-\n\n").arg(replacetest::b64(newPrefix + r.cn));
        }
        const QString file = dir.filePath(QStringLiteral("changes.ldif"));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(ldif.toUtf8());
        f.close();
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("ldapmodify"), {QStringLiteral("-x"), QStringLiteral("-H"), testsupport::fact("LDAP_URI"),
                                               QStringLiteral("-D"), testsupport::fact("ADMIN_UPN"), QStringLiteral("-y"),
                                               passwordFile, QStringLiteral("-f"), file});
        p.waitForFinished(600000);
        const double seconds = t.nsecsElapsed() / 1e9;
        *cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
        *exitCode = p.exitCode();
        if (p.exitCode() != 0)
            std::fprintf(stderr, "ldapmodify: %s\n", p.readAllStandardError().constData());
        return seconds;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString prefix = QStringLiteral("large019");
    int runs = 3;
    bool journalCompare = false;
    for (int i = 1; i < argc; ++i) {
        const QString name = QString::fromLocal8Bit(argv[i]);
        if (name == QLatin1String("--journal"))
            journalCompare = true;
        else if (name == QLatin1String("--users") && i + 1 < argc)
            prefix = QString::fromLocal8Bit(argv[++i]);
        else if (name == QLatin1String("--runs") && i + 1 < argc)
            runs = std::max(1, QString::fromLocal8Bit(argv[++i]).toInt());
    }
    if (!testsupport::domainAvailable()) {
        std::fprintf(stderr, "no test domain: set ARV_TEST_DOMAIN to a running large domain\n");
        return 1;
    }
    testsupport::useDomainEnvironment();
    Bench b;
    b.restriction = QStringLiteral("(sAMAccountName=%1*)").arg(prefix);
    b.passwordFile = b.dir.filePath(QStringLiteral("pw"));
    {
        QFile pw(b.passwordFile);
        pw.open(QIODevice::WriteOnly);
        pw.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        pw.write(testsupport::fact("ADMIN_PASSWORD").toUtf8());
    }

    double previewSeconds = 0;
    std::vector<Row> original = b.preview(QStringLiteral("x"), &previewSeconds);
    std::printf("users: %zu (sAMAccountName=%s*), preview search %.3f s\n", original.size(), qPrintable(prefix),
                previewSeconds);
    if (original.empty())
        return 1;

    std::vector<double> loop, tool, loopCpu, toolCpu, ratios;
    // Journal on against off: the loop twice per run.
    std::vector<double> offWall, onWall, offCpu, onCpu, wallRatios, cpuRatios;
    const QString journalFolder = b.dir.filePath(QStringLiteral("journal"));
    for (int run = 0; journalCompare && run < runs; ++run) {
        double halves[2][2] = {};  // [journal off/on][wall/cpu]
        for (int half = 0; half < 2; ++half) {
            const bool on = (half == 0) == (run % 2 == 1);
            if (on)
                journal::install(journalFolder);
            else
                journal::uninstall();
            double ps = 0;
            std::vector<Row> rows = b.preview(QStringLiteral("Replaced %1 %2 <%sAMAccountname%>").arg(run).arg(on ? "on" : "off"), &ps);
            int ok = 0;
            double cpu = 0;
            const double wall = b.applyLoop(rows, &ok, &cpu);
            halves[on ? 1 : 0][0] = wall;
            halves[on ? 1 : 0][1] = cpu;
            std::printf("run %d, journal %s: %.3f s, cpu %.3f s (%d of %zu written)\n", run + 1, on ? "on " : "off", wall, cpu,
                        ok, rows.size());
            std::fflush(stdout);
        }
        journal::uninstall();
        offWall.push_back(halves[0][0]);
        onWall.push_back(halves[1][0]);
        offCpu.push_back(halves[0][1]);
        onCpu.push_back(halves[1][1]);
        wallRatios.push_back(halves[0][0] > 0 ? halves[1][0] / halves[0][0] : 0);
        cpuRatios.push_back(halves[0][1] > 0 ? halves[1][1] / halves[0][1] : 0);
    }
    if (journalCompare) {
        std::printf("journal off: median %.3f s wall, %.3f s cpu; journal on: median %.3f s wall, %.3f s cpu\n",
                    median(offWall), median(offCpu), median(onWall), median(onCpu));
        std::printf("median of the paired ratios (on / off): wall %.3f, cpu %.3f\n", median(wallRatios), median(cpuRatios));
        QFile jf(journalFolder + QLatin1Char('/') + journal::dayFileName(QDateTime::currentDateTimeUtc().date()));
        std::printf("journal file: %lld bytes\n", static_cast<long long>(jf.size()));
    }
    for (int run = 0; !journalCompare && run < runs; ++run) {
        double ps = 0;
        std::vector<Row> rows = b.preview(QStringLiteral("Replaced %1 <%sAMAccountname%>").arg(run), &ps);
        int ok = 0;
        double lc = 0, mc = 0;
        const double l = b.applyLoop(rows, &ok, &lc);
        loop.push_back(l);
        loopCpu.push_back(lc);
        // ldapmodify makes the next 1,000 changes from what the loop just wrote.
        int exitCode = 0;
        const double m = b.ldapmodify(rows, QStringLiteral("Modified %1 ").arg(run), &exitCode, &mc);
        tool.push_back(m);
        toolCpu.push_back(mc);
        ratios.push_back(m > 0 ? l / m : 0.0);
        std::printf("run %d: apply loop %.3f s, cpu %.3f s (%d of %zu written); ldapmodify %.3f s, cpu %.3f s (exit %d); "
                    "ratio %.3f\n",
                    run + 1, l, lc, ok, rows.size(), m, mc, exitCode, m > 0 ? l / m : 0.0);
        std::fflush(stdout);
    }
    const double lm = median(loop), tm = median(tool);
    if (!journalCompare) {
        std::printf("client cpu (median): apply loop %.3f s, ldapmodify %.3f s\n", median(loopCpu), median(toolCpu));
        // The server's load changes between runs; each run's two halves follow each other, so
        // the median of the paired ratios is the steadier figure.
        std::printf("median of the paired ratios: %.3f\n", median(ratios));
        std::printf("median: apply loop %.3f s (%.2f ms/user), ldapmodify %.3f s (%.2f ms/user), ratio %.3f\n", lm,
                    lm * 1000 / original.size(), tm, tm * 1000 / original.size(), tm > 0 ? lm / tm : 0.0);
    }

    // Put the original descriptions back.
    QString ldif;
    for (const Row &r : original) {
        ldif += QStringLiteral("dn:: %1\nchangetype: modify\nreplace: description\n").arg(replacetest::b64(r.dn));
        for (const QVariant &v : r.current)
            ldif += QStringLiteral("description:: %1\n").arg(replacetest::b64(v.toString()));
        ldif += QStringLiteral("-\n\n");
    }
    QFile f(b.dir.filePath(QStringLiteral("restore.ldif")));
    f.open(QIODevice::WriteOnly);
    f.write(ldif.toUtf8());
    f.close();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QStringLiteral("ldapmodify"), {QStringLiteral("-x"), QStringLiteral("-H"), testsupport::fact("LDAP_URI"),
                                           QStringLiteral("-D"), testsupport::fact("ADMIN_UPN"), QStringLiteral("-y"),
                                           b.passwordFile, QStringLiteral("-f"), f.fileName()});
    p.waitForFinished(600000);
    std::printf("original descriptions restored (ldapmodify exit %d)\n", p.exitCode());
    ads::closeAllConnections();
    return 0;
}
