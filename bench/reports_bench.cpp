// Benchmark: a report over a large domain in the result window against ldapsearch.
//
//   ARV_TEST_DOMAIN=<domain folder> QT_QPA_PLATFORM=offscreen reports_bench [--report N] [--runs N]
//
// Runs report N (default 13, "Users Without Logon Script", which matches every user) in
// TfrmReportsStore with its whole column set, and ldapsearch with the same filter, attributes,
// base and page size (LDIF to /dev/null), alternating; prints the median wall and CPU times,
// their ratio, and the longest gap between two turns of the window's event loop during a run.
#include "core/unConnection.h"
#include "reports/unReportsStore.h"
#include "support/testdomain.h"
#include "benchutil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using bench::cpuSeconds;
using bench::currentRssKb;
using bench::median;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int number = 13, runs = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--report"))
            number = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[i + 1].toInt());
    }
    if (!testsupport::domainAvailable()) {
        std::fprintf(stderr, "no test domain (ARV_TEST_DOMAIN)\n");
        return 1;
    }
    testsupport::useDomainEnvironment();
    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = testsupport::fact("ADDR");
    s.Port = testsupport::fact("LDAP_PORT");
    s.SecureAuthentication = false;
    s.UseCredentials = true;
    s.UserName = testsupport::fact("ADMIN_USER");
    s.Password = testsupport::fact("ADMIN_PASSWORD");
    ConnectWithSettings(s);
    const reports::DomainSettings domain = reports::readDomainSettings();

    QTemporaryFile pw;
    pw.open();
    pw.write(testsupport::fact("ADMIN_PASSWORD").toUtf8());
    pw.flush();

    std::vector<double> wWall, wCpu, lWall, lCpu, gaps, ratios, rssGrowth;
    long wRows = 0;
    QString filter, attributes;
    for (int r = 0; r < runs; ++r) {
        const long rss0 = currentRssKb();
        {
            reports::TfrmReportsStore store(number, domain);
            store.prepare();
            store.show();
            filter = store.filter();
            QStringList names;
            for (const auto &c : reports::columnSet(store.report().kind, domain))
                names << c.ldapName;
            attributes = names.join(QLatin1Char(','));
            QElapsedTimer gap;
            double maxGap = 0;
            QTimer tick;
            tick.setInterval(5);
            QObject::connect(&tick, &QTimer::timeout, [&] {
                maxGap = std::max(maxGap, gap.nsecsElapsed() / 1e6);
                gap.restart();
            });
            const double cpu0 = cpuSeconds(RUSAGE_SELF);
            QElapsedTimer t;
            t.start();
            gap.start();
            tick.start();
            store.tbExecuteClick();
            tick.stop();
            wWall.push_back(t.nsecsElapsed() / 1e9);
            wCpu.push_back(cpuSeconds(RUSAGE_SELF) - cpu0);
            gaps.push_back(maxGap);
            wRows = store.model()->rowCount();
            rssGrowth.push_back((currentRssKb() - rss0) / 1024.0);
        }
        {
            const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
            QElapsedTimer t;
            t.start();
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            QStringList a{QStringLiteral("-LLL"), QStringLiteral("-x"), QStringLiteral("-H"), testsupport::fact("LDAP_URI"),
                          QStringLiteral("-D"), testsupport::fact("ADMIN_UPN"), QStringLiteral("-y"), pw.fileName(),
                          QStringLiteral("-b"), testsupport::fact("BASE_DN"), QStringLiteral("-E"),
                          QStringLiteral("pr=100/noprompt"), filter};
            a << attributes.split(QLatin1Char(','));
            p.start(QStringLiteral("ldapsearch"), a);
            p.waitForFinished(-1);
            lWall.push_back(t.nsecsElapsed() / 1e9);
            lCpu.push_back(cpuSeconds(RUSAGE_CHILDREN) - cpu0);
        }
        ratios.push_back(wWall.back() / std::max(1e-9, lWall.back()));
    }
    std::printf("report %d, %ld rows, %d runs, filter %s\n", number, wRows, runs, qPrintable(filter));
    std::printf("result window: wall %.2f s, cpu %.2f s, longest event-loop gap %.0f ms\n", median(wWall), median(wCpu),
                median(gaps));
    std::printf("ldapsearch:    wall %.2f s, cpu %.2f s\n", median(lWall), median(lCpu));
    const auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("ratio (wall):  %.3f (paired ratios %.3f to %.3f)\n", median(wWall) / std::max(1e-9, median(lWall)), *lo,
                *hi);
    const double rows = double(std::max(1L, wRows));
    std::printf("CPU per row:   result window %.1f us, ldapsearch %.1f us (%.2fx)\n", median(wCpu) * 1e6 / rows,
                median(lCpu) * 1e6 / rows, median(wCpu) / std::max(1e-9, median(lCpu)));
    std::printf("memory:        the open result window holds %.1f MB more than before it ran (%.0f bytes a row)\n",
                median(rssGrowth), median(rssGrowth) * 1024 * 1024 / rows);

    // The same report written to a file by the command-line tool: its peak memory with all rows
    // and with the first 2,000.
    QTemporaryDir dir;
    auto cli = [&](int limit) {
        QStringList a{QStringLiteral(ARV_CLI_PATH), QStringLiteral("report"), QStringLiteral("run"), QString::number(number),
                      QStringLiteral("--server"), testsupport::fact("ADDR"), QStringLiteral("--simple"),
                      QStringLiteral("--user"), testsupport::fact("ADMIN_USER"), QStringLiteral("--password-file"),
                      pw.fileName(), QStringLiteral("--output"), dir.filePath(QStringLiteral("report.csv"))};
        if (limit > 0)
            a << QStringLiteral("--size-limit") << QString::number(limit);
        return bench::spawn(a, dir.filePath(QStringLiteral("stdout")));
    };
    qputenv("ARV_SETTINGS_FILE", dir.filePath(QStringLiteral("registry.ini")).toLocal8Bit());
    const bench::Run small = cli(2000), all = cli(0);
    if (small.status == 0 && all.status == 0)
        std::printf("arvendel-cli report run %d to CSV: peak memory %.1f MB with all %ld rows (%.1f MB with "
                    "--size-limit 2000); %.2f s; compare the peak across domain sizes for the growth\n",
                    number, all.maxRssKb / 1024.0, wRows, small.maxRssKb / 1024.0, all.seconds);
    else
        std::printf("arvendel-cli report run failed (exit %d / %d)\n", small.status, all.status);
    DisconnectContext();
    return 0;
}
