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

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds(int who)
{
    rusage ru{};
    getrusage(who, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double wall = 0, cpu = 0, maxGapMs = 0;
    long rows = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int number = 13, runs = 3;
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

    std::vector<double> wWall, wCpu, lWall, lCpu, gaps;
    long wRows = 0;
    QString filter, attributes;
    for (int r = 0; r < runs; ++r) {
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
    }
    std::printf("report %d, %ld rows, %d runs, filter %s\n", number, wRows, runs, qPrintable(filter));
    std::printf("result window: wall %.2f s, cpu %.2f s, longest event-loop gap %.0f ms\n", median(wWall), median(wCpu),
                median(gaps));
    std::printf("ldapsearch:    wall %.2f s, cpu %.2f s\n", median(lWall), median(lCpu));
    std::printf("ratio (wall):  %.3f\n", median(wWall) / std::max(1e-9, median(lWall)));
    DisconnectContext();
    return 0;
}
