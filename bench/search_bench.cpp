// Benchmark: the search wrapper against ldapsearch.
//
//   ARV_TEST_DOMAIN=<domain folder> search_bench [--base DN] [--filter F] [--runs N]
//                                                [--pages 100,500] [--startup N]
//
// Lists every user below the base with the user grid's 20 attributes, once through
// TQelADSISearching (rows converted as the grid reads them) and once through ldapsearch
// (LDIF to /dev/null), with the same filter, attributes, page size and simple bind on the
// same server, alternating, and prints the median wall and CPU times and their ratio.
// Then the start of arvendel-cli: reading one user (--scope base --attrs cn) with an empty
// schema cache folder (cold) and with the cache of the run before (warm), against ldapsearch
// reading the same attribute, N paired runs (default 9), median and spread.
#include "core/unSearch.h"
#include "support/testdomain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

const char *kAttributes =
    "sAMAccountName,cn,givenName,sn,displayName,mail,title,department,company,"
    "physicalDeliveryOfficeName,telephoneNumber,l,st,c,description,userAccountControl,"
    "lastLogon,pwdLastSet,accountExpires,lockoutTime";

double cpuSeconds(int who)
{
    rusage ru{};
    getrusage(who, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double wall = 0;
    double cpu = 0;
    long rows = 0;
};

Run runWrapper(const QString &base, const QString &filter, int pageSize)
{
    Run r;
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    TQelADSISearching s;
    s.setADsPath(QStringLiteral("LDAP://") + testsupport::fact("ADDR") + QLatin1Char('/') + base);
    s.setUserName(testsupport::fact("ADMIN_UPN"));
    s.setPassword(testsupport::fact("ADMIN_PASSWORD"));
    s.setUseCredentials(true);
    s.setAuthFlags(0x200);
    s.setFilter(filter);
    s.setAttributes(QString::fromLatin1(kAttributes));
    s.setPageSize(pageSize);
    s.ExecuteSearch();
    QVariant row;
    long filled = 0;
    for (s.GetFirstRow(row); row.isValid(); s.GetNextRow(row)) {
        ++r.rows;
        for (const QVariant &v : row.toList()) // what the grid does: look at each value
            filled += v.isValid();
    }
    r.wall = t.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    if (filled < r.rows)
        std::fprintf(stderr, "warning: rows without values\n");
    return r;
}

Run runLdapsearch(const QString &base, const QString &filter, int pageSize, const QString &passwordFile)
{
    Run r;
    const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QStringList args = {QStringLiteral("-LLL"), QStringLiteral("-H"), testsupport::fact("LDAP_URI"), QStringLiteral("-x"),
                        QStringLiteral("-D"), testsupport::fact("ADMIN_UPN"), QStringLiteral("-y"), passwordFile,
                        QStringLiteral("-b"), base, QStringLiteral("-E"),
                        QStringLiteral("pr=%1/noprompt").arg(pageSize), filter};
    args += QString::fromLatin1(kAttributes).split(QLatin1Char(','));
    p.start(QStringLiteral("ldapsearch"), args);
    p.waitForFinished(-1);
    r.wall = t.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    if (p.exitCode() != 0)
        std::fprintf(stderr, "ldapsearch failed: %s\n", p.readAllStandardError().constData());
    return r;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Wall seconds of one run of a program; the environment's XDG_CACHE_HOME set to cacheHome
// when given.
double timedRun(const QString &program, const QStringList &args, const QString &cacheHome = QString())
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    if (!cacheHome.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
        p.setProcessEnvironment(env);
    }
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(-1);
    const double wall = t.nsecsElapsed() / 1e9;
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
    return wall;
}

void printSpread(const char *what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("  %-28s median %.3f s  (min %.3f, max %.3f)\n", what, median(v), v.front(), v.back());
}

// arvendel-cli reading one user, cold and warm schema cache, against ldapsearch.
void startupFigures(int runs, const QString &passwordFile)
{
    const QString dn = testsupport::fact("ADMIN_DN");
    const QStringList cli = {QStringLiteral("search"), QStringLiteral("--base"), dn, QStringLiteral("--scope"),
                             QStringLiteral("base"), QStringLiteral("--attrs"), QStringLiteral("cn"),
                             QStringLiteral("--server"), testsupport::fact("ADDR"), QStringLiteral("--user"),
                             testsupport::fact("ADMIN_USER"), QStringLiteral("--password-file"), passwordFile,
                             QStringLiteral("--simple")};
    const QStringList ldap = {QStringLiteral("-LLL"), QStringLiteral("-H"), testsupport::fact("LDAP_URI"),
                              QStringLiteral("-x"), QStringLiteral("-D"), testsupport::fact("ADMIN_UPN"),
                              QStringLiteral("-y"), passwordFile, QStringLiteral("-b"), dn, QStringLiteral("-s"),
                              QStringLiteral("base"), QStringLiteral("cn")};
    const QString program = QString::fromUtf8(ARV_CLI_PATH);
    QTemporaryDir warmHome;
    timedRun(program, cli, warmHome.path()); // fills the warm cache
    std::vector<double> cold, warm, ls;
    for (int i = 0; i < runs; ++i) {
        QTemporaryDir coldHome;
        cold.push_back(timedRun(program, cli, coldHome.path()));
        warm.push_back(timedRun(program, cli, warmHome.path()));
        ls.push_back(timedRun(QStringLiteral("ldapsearch"), ldap));
    }
    std::printf("arvendel-cli search --scope base --attrs cn (one user), %d paired runs:\n", runs);
    printSpread("cold schema cache", cold);
    printSpread("warm schema cache", warm);
    printSpread("ldapsearch", ls);
    std::printf("  warm/ldapsearch ratio %.2f\n", median(warm) / median(ls));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    auto option = [&](const QString &name, const QString &def) {
        const int i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : def;
    };
    if (!testsupport::domainAvailable()) {
        std::fprintf(stderr, "no test domain: set ARV_TEST_DOMAIN to a running domain's folder\n");
        return 2;
    }
    testsupport::useDomainEnvironment();
    const QString base = option(QStringLiteral("--base"), testsupport::fact("BASE_DN"));
    const QString filter = option(QStringLiteral("--filter"), QStringLiteral("(&(objectCategory=person)(objectClass=user))"));
    const int runs = option(QStringLiteral("--runs"), QStringLiteral("3")).toInt();
    const int startupRuns = option(QStringLiteral("--startup"), QStringLiteral("9")).toInt();
    QList<int> pages;
    for (const QString &p : option(QStringLiteral("--pages"), QStringLiteral("100,500")).split(QLatin1Char(',')))
        pages << p.toInt();

    // The password reaches ldapsearch through an owner-only file, never its command line.
    QTemporaryFile pw;
    if (!pw.open())
        return 2;
    pw.write(testsupport::fact("ADMIN_PASSWORD").toUtf8());
    pw.flush();

    std::printf("base %s, filter %s, 20 attributes, %d runs each (median)\n", qPrintable(base), qPrintable(filter), runs);
    runWrapper(base, filter, 500); // warm up: bind, schema, server caches
    for (int pageSize : pages) {
        std::vector<double> ww, wc, lw, lc;
        long rows = 0;
        for (int i = 0; i < runs; ++i) {
            // Alternate which goes first, so that neither always meets a warmer server.
            Run a, b;
            if (i % 2 == 0) {
                a = runWrapper(base, filter, pageSize);
                b = runLdapsearch(base, filter, pageSize, pw.fileName());
            } else {
                b = runLdapsearch(base, filter, pageSize, pw.fileName());
                a = runWrapper(base, filter, pageSize);
            }
            ww.push_back(a.wall);
            wc.push_back(a.cpu);
            lw.push_back(b.wall);
            lc.push_back(b.cpu);
            rows = a.rows;
        }
        std::printf("page %4d: %ld rows  wrapper %.3f s (cpu %.3f s)  ldapsearch %.3f s (cpu %.3f s)  ratio %.3f\n",
                    pageSize, rows, median(ww), median(wc), median(lw), median(lc), median(ww) / median(lw));
        std::fflush(stdout);
    }
    if (startupRuns > 0)
        startupFigures(startupRuns, pw.fileName());
    return 0;
}
