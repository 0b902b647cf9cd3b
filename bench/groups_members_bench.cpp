// Benchmark: the Members tab's loader on a large group against ldapsearch running the same
// requests.
//
//   ARV_TEST_DOMAIN=<domain folder> groups_members_bench [--group DN] [--runs N] [--range N]
//
// The loader (groups::LoadGroupMembers, what the Members tab and "arvendel-cli group members"
// run) reads the group's "member" values in ranges and then searches the domain for the
// members directly, through nesting or by primary group (page size 100), building one row per
// member. ldapsearch does the same two requests: a base read of "member" and the same paged
// search with the same filter and attributes, LDIF to /dev/null. Runs alternate which goes
// first; the medians of wall and CPU time and their ratio are printed.
#include "core/unConnection.h"
#include "groups/unGroupMembers.h"
#include "support/testdomain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>

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
    double wall = 0;
    double cpu = 0;
    long rows = 0;
};

Run runLoader(const QString &groupDn, int rangeSize)
{
    Run r;
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    const groups::TGroupFacts facts = groups::ReadGroupFacts(groupDn);
    groups::TLoadOptions options;
    options.rangeSize = rangeSize;
    QList<groups::TGroupMember> rows;
    groups::LoadGroupMembers(facts, [&](const groups::TGroupMember &m) {
        rows.append(m);
        return true;
    }, options);
    r.rows = rows.size();
    r.wall = t.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    return r;
}

bool runTool(const QStringList &args, double *wall, double *cpu)
{
    const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QStringLiteral("ldapsearch"), args);
    p.waitForFinished(-1);
    *wall += t.nsecsElapsed() / 1e9;
    *cpu += cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "ldapsearch failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

Run runLdapsearch(const QString &groupDn, int token, const QString &passwordFile)
{
    Run r;
    const QStringList bind = {QStringLiteral("-LLL"), QStringLiteral("-H"), testsupport::fact("LDAP_URI"), QStringLiteral("-x"),
                              QStringLiteral("-D"), testsupport::fact("ADMIN_UPN"), QStringLiteral("-y"), passwordFile};
    runTool(bind + QStringList{QStringLiteral("-b"), groupDn, QStringLiteral("-s"), QStringLiteral("base"),
                               QStringLiteral("(objectClass=*)"), QStringLiteral("member")},
            &r.wall, &r.cpu);
    QStringList search = bind + QStringList{QStringLiteral("-b"), testsupport::fact("BASE_DN"), QStringLiteral("-E"),
                                            QStringLiteral("pr=100/noprompt"), groups::MembersFilter(groupDn, token)};
    search += groups::MembersAttributes().split(QLatin1Char(','));
    runTool(search, &r.wall, &r.cpu);
    return r;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const QString &name, const QString &def) {
        const int i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : def;
    };
    if (!testsupport::domainAvailable()) {
        std::fprintf(stderr, "no test domain: set ARV_TEST_DOMAIN to a running domain's folder\n");
        return 2;
    }
    testsupport::useDomainEnvironment();
    const QString group = option(QStringLiteral("--group"), QStringLiteral("CN=GG Large Members,") + testsupport::fact("LARGE_OU"));
    const int runs = option(QStringLiteral("--runs"), QStringLiteral("3")).toInt();
    const int rangeSize = option(QStringLiteral("--range"), QStringLiteral("1500")).toInt();

    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = testsupport::fact("ADDR");
    s.Port = testsupport::fact("LDAP_PORT");
    s.SecureAuthentication = false;
    s.UseCredentials = true;
    s.UserName = testsupport::fact("ADMIN_USER");
    s.Password = testsupport::fact("ADMIN_PASSWORD");
    try {
        ConnectWithSettings(s);
    } catch (const Exception &e) {
        std::fprintf(stderr, "connect failed: %s\n", e.what());
        return 2;
    }
    // The password reaches ldapsearch through an owner-only file, never its command line.
    QTemporaryFile pw;
    if (!pw.open())
        return 2;
    pw.write(testsupport::fact("ADMIN_PASSWORD").toUtf8());
    pw.flush();

    int token = -1;
    try {
        token = groups::ReadGroupFacts(group).PrimaryGroupToken;
        runLoader(group, rangeSize); // warm up: bind, schema, server caches
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(group), e.what());
        return 2;
    }
    std::printf("group %s, member ranges of %d, %d runs each (median)\n", qPrintable(group), rangeSize, runs);
    std::vector<double> lw, lc, tw, tc;
    long rows = 0;
    for (int i = 0; i < runs; ++i) {
        Run a, b;
        if (i % 2 == 0) {
            a = runLoader(group, rangeSize);
            b = runLdapsearch(group, token, pw.fileName());
        } else {
            b = runLdapsearch(group, token, pw.fileName());
            a = runLoader(group, rangeSize);
        }
        lw.push_back(a.wall);
        lc.push_back(a.cpu);
        tw.push_back(b.wall);
        tc.push_back(b.cpu);
        rows = a.rows;
    }
    std::printf("%ld members  loader %.3f s (cpu %.3f s)  ldapsearch %.3f s (cpu %.3f s)  ratio %.3f\n", rows, median(lw),
                median(lc), median(tw), median(tc), median(lw) / median(tw));
    return 0;
}
