// Benchmark: arvendel-cli export of the large test domain's users against ldapsearch.
//
//   ARV_TEST_DOMAIN=<large domain folder> export_bench [--runs N] [--formats csv,xlsx,sqlite]
//
// Exports the users of the large OU with the grid's columns to CSV, to a workbook and to a
// SQLite database, each run next to an ldapsearch of the same attributes with the same page
// size (100) writing LDIF to a file, in the same run; prints median wall times, their ratios,
// and the export's peak resident memory at 2,000 and at 20,000 users (the child's maximum
// resident set, from wait4).
#include "support/testdomain.h"
#include "benchutil.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *kColumns = "cn,displayName,lastLogon,description,mail,co,st,l,postalCode,company,department,"
                       "physicalDeliveryOfficeName,title,telephoneNumber,givenName,sn,userPrincipalName,mailNickname,"
                       "userAccountControl";

using bench::median;
using bench::Run;
using bench::spawn;


}  // namespace

int main(int argc, char **argv)
{
    int runs = 5;
    QStringList formats{QStringLiteral("csv"), QStringLiteral("xlsx"), QStringLiteral("sqlite")};
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, atoi(argv[i + 1]));
        else if (QByteArray(argv[i]) == "--formats")
            formats = QString::fromLocal8Bit(argv[i + 1]).split(QLatin1Char(','));
    }
    if (!testsupport::domainAvailable()) {
        std::fprintf(stderr, "no test domain (set ARV_TEST_DOMAIN to a running large domain)\n");
        return 1;
    }
    const QString cli = QStringLiteral(ARV_CLI_PATH);
    QTemporaryDir dir;
    const QString pw = dir.filePath(QStringLiteral("pw"));
    {
        QFile f(pw);
        f.open(QIODevice::WriteOnly);
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        f.write(testsupport::fact("ADMIN_PASSWORD").toUtf8());
    }
    qputenv("ARV_SETTINGS_FILE", dir.filePath(QStringLiteral("registry.ini")).toLocal8Bit());
    qputenv("LDAPTLS_CACERT", testsupport::fact("CA_FILE").toLocal8Bit());
    const QString base = testsupport::fact("LARGE_OU");
    const QString filter = QStringLiteral("(&(objectCategory=person)(objectClass=user))");
    const QStringList ldapsearch = QStringList{QStringLiteral("ldapsearch"), QStringLiteral("-LLL"), QStringLiteral("-x"),
                                               QStringLiteral("-H"), testsupport::fact("LDAP_URI"), QStringLiteral("-D"),
                                               testsupport::fact("ADMIN_UPN"), QStringLiteral("-y"), pw,
                                               QStringLiteral("-b"), base, QStringLiteral("-E"), QStringLiteral("pr=100/noprompt"),
                                               filter, QStringLiteral("distinguishedName")}
                                   + QString::fromLatin1(kColumns).split(QLatin1Char(','));
    auto exportArgs = [&](const QString &format, const QString &file, int limit) {
        QStringList a{cli, QStringLiteral("export"), QStringLiteral("--server"), testsupport::fact("ADDR"), QStringLiteral("--simple"),
                      QStringLiteral("--user"), testsupport::fact("ADMIN_USER"), QStringLiteral("--password-file"), pw,
                      QStringLiteral("--base"), base, QStringLiteral("--columns"), QString::fromLatin1(kColumns),
                      QStringLiteral("--format"), format, QStringLiteral("--output"), file, QStringLiteral("--quiet")};
        if (format != QLatin1String("csv"))
            a << QStringLiteral("--table") << QStringLiteral("Users");
        if (limit > 0)
            a << QStringLiteral("--limit") << QString::number(limit);
        return a;
    };
    std::printf("export_bench: %s users of %s, columns of the grid, page size 100, %d runs (medians)\n",
                qPrintable(testsupport::fact("LARGE_USERS")), qPrintable(base), runs);
    const double users = std::max(1, testsupport::fact("LARGE_USERS").toInt());
    std::printf("%-8s %10s %12s %8s %15s %18s %12s %13s %10s\n", "format", "export s", "ldapsearch s", "ratio",
                "paired ratios", "CPU us/row ours", "ldapsearch", "RSS 2000 MB", "growth MB");
    for (const QString &format : formats) {
        const QByteArray name = format.toLatin1();
        const char *fmt = name.constData();
        std::vector<double> exportTimes, searchTimes, ratios, exportCpu, searchCpu;
        long rssFull = 0;
        for (int i = 0; i < runs; ++i) {
            const QString file = dir.filePath(QStringLiteral("out%1.%2").arg(i).arg(format));
            const Run s = spawn(ldapsearch, dir.filePath(QStringLiteral("ldif%1").arg(i)));
            const Run e = spawn(exportArgs(format, file, 0), dir.filePath(QStringLiteral("stdout")));
            if (e.status != 0 || s.status != 0) {
                std::fprintf(stderr, "%s: export exit %d, ldapsearch exit %d\n", fmt, e.status, s.status);
                return 1;
            }
            exportTimes.push_back(e.seconds);
            searchTimes.push_back(s.seconds);
            ratios.push_back(e.seconds / std::max(1e-9, s.seconds));
            exportCpu.push_back(e.cpu * 1e6 / users);
            searchCpu.push_back(s.cpu * 1e6 / users);
            rssFull = std::max(rssFull, e.maxRssKb);
            QFile::remove(file);
        }
        const QString small = dir.filePath(QStringLiteral("small.%1").arg(format));
        const Run e2 = spawn(exportArgs(format, small, 2000), dir.filePath(QStringLiteral("stdout")));
        QFile::remove(small);
        const double ex = median(exportTimes), se = median(searchTimes);
        const auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("%-8s %10.2f %12.2f %8.2f %7.2f to %5.2f %18.1f %12.1f %13.1f %10.1f\n", fmt, ex, se,
                    se > 0 ? ex / se : 0, *lo, *hi, median(exportCpu), median(searchCpu), e2.maxRssKb / 1024.0,
                    (rssFull - e2.maxRssKb) / 1024.0);
    }
    return 0;
}
