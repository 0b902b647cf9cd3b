// User grid figures: listing the users of one container through ListUsers into the grid
// (offscreen) next to ldapsearch of the same attributes with the same page size (medians of
// paired rounds, CPU per user of both), sorting 100,000 synthetic rows and then the listed
// rows by a column of each kind, and memory per listed user.
//
//   ARV_TEST_DOMAIN=<domain folder> bench_usergrid [--ou <DN>] [--rounds N] [--rows N]
// Without --ou the container is "OU=Large Domain" when the domain was made with
// testdomain.sh --large, else the seeded SEED_OU. The password reaches ldapsearch through an
// owner-only file.
#include "main/unUserGrid.h"
#include "main/unUserListing.h"
#include "support/testdomain.h"
#include "benchutil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace userlist;

namespace {

using bench::cpuSeconds;
using bench::currentRssKb;
using bench::median;
using bench::option;

// CPU of the finished child processes (ldapsearch).
double childCpuSeconds() { return cpuSeconds(RUSAGE_CHILDREN); }

long peakRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// A pronounceable name of two to four syllables.
QString pseudoName(QRandomGenerator *rng)
{
    static const char *const syllables[] = {"an", "be", "ca", "do", "el", "fi", "ga", "ha", "is", "jo", "ka", "li",
                                            "ma", "ne", "ol", "pa", "qui", "ra", "si", "to", "ul", "va", "wi", "xa",
                                            "yo", "ze", "mar", "tin", "son", "berg", "ley", "ton", "ric", "del"};
    QString s;
    const int n = 2 + rng->bounded(3);
    for (int i = 0; i < n; ++i)
        s += QLatin1String(syllables[rng->bounded(int(std::size(syllables)))]);
    s[0] = s[0].toUpper();
    return s;
}

// Synthetic users shaped like real ones (names, mail, office, phone, DN).
void fillSynthetic(UserRows &rows, int count)
{
    auto *rng = QRandomGenerator::global();
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        TShellItem t;
        const QString given = pseudoName(rng);
        const QString sn = pseudoName(rng);
        const QString cn = given + QLatin1Char(' ') + sn;
        t.setText(Field::MailNickname, QStringLiteral("u%1").arg(i));
        t.setText(Field::UserPrincipalName, QStringLiteral("u%1@arvendel.test").arg(i));
        t.setText(Field::Sn, sn);
        t.setText(Field::GivenName, given);
        t.setText(Field::TelephoneNumber, QStringLiteral("+1 555 %1").arg(rng->bounded(1000000), 7, 10, QLatin1Char('0')));
        t.setText(Field::Title, QStringLiteral("Engineer"));
        t.setText(Field::PhysicalDeliveryOfficeName, QStringLiteral("Building %1").arg(rng->bounded(40)));
        t.setText(Field::Department, QStringLiteral("Department %1").arg(rng->bounded(60)));
        t.setText(Field::Company, QStringLiteral("Arvendel Ltd"));
        t.setText(Field::L, QStringLiteral("Springfield"));
        t.setText(Field::Mail, QStringLiteral("u%1@arvendel.test").arg(i));
        t.setText(Field::DisplayName, cn);
        t.setText(Field::Cn, cn);
        t.setText(Field::DistinguishedName, QStringLiteral("CN=%1,OU=Large,DC=arvendel,DC=test").arg(cn));
        // One in five never logged on.
        t.lastLogon = rng->bounded(5) == 0 ? 0 : 40000.0 + rng->generateDouble() * 6000.0;
        t.userAccountControl = 0x200;
        rows.append(std::move(t));
    }
}

void sortFigures(int count)
{
    std::printf("\n== sorting %d synthetic rows through the grid model ==\n", count);
    TUserList list;
    const long before = currentRssKb();
    fillSynthetic(list.rows(), count);
    const long after = currentRssKb();
    std::size_t heap = 0;
    for (int i = 0; i < list.rows().size(); ++i)
        heap += list.rows().at(i).heapBytes();
    std::printf("records: %.0f bytes/user by RSS growth, %.0f bytes/user counted (sizeof(TShellItem) = %zu)\n",
                (after - before) * 1024.0 / count, double(heap) / count + sizeof(TShellItem), sizeof(TShellItem));

    TUserGrid grid(&list);
    grid.resize(1200, 700);
    grid.show();
    QElapsedTimer t;
    t.start();
    grid.fillGrid();
    QApplication::processEvents();
    std::printf("FillGrid + first paint: %lld ms\n", t.elapsed());

    const int lastLogonColumn = columnOfTag(LastLogonTag);
    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        t.restart();
        grid.sortByColumn(lastLogonColumn, order);
        const qint64 sortMs = t.elapsed();
        QApplication::processEvents();
        std::printf("sort by Last Logon %s: %lld ms (with repaint %lld ms)\n",
                    order == Qt::AscendingOrder ? "ascending" : "descending", sortMs, t.elapsed());
    }
    t.restart();
    grid.sortByColumn(columnOfTag(CnTag), Qt::AscendingOrder);
    std::printf("sort by Common Name: %lld ms\n", t.elapsed());
    {
        std::vector<int> order(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            order[static_cast<std::size_t>(i)] = i;
        t.restart();
        sortRows(order, list.rows(), gridColumns()[static_cast<std::size_t>(columnOfTag(CnTag))], false);
        std::printf("  sortRows alone by Common Name: %lld ms\n", t.elapsed());
    }
    t.restart();
    for (int step = 0; step < 50; ++step) {
        grid.verticalScrollBar()->setValue(step * (count / 50));
        QApplication::processEvents();
    }
    std::printf("50 scroll jumps across all rows with repaint: %lld ms\n", t.elapsed());
}

// The longest time the window's event loop went without running while a listing read its
// rows: a zero-interval timer fires on every pass of the loop (or processEvents call), so
// the longest distance between two firings is the longest the window stood still.
class EventLoopGap {
public:
    EventLoopGap()
    {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        longest_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    qint64 stop()
    {
        tick();
        timer_.stop();
        return longest_;
    }

private:
    void tick()
    {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};


// Sorting the listed (real) rows through the grid by one column of each kind: the icon
// (account state), a text column of unique values, one of many equal values, and a date.
void realSortFigures(TUserGrid &grid, int listed)
{
    std::printf("sorting the %d listed rows through the grid (ascending, then descending; with repaint):\n", listed);
    const struct {
        const char *name;
        int tag;
    } columns[] = {{"icon (account state)", IconTag},
                   {"Common Name (text, unique)", CnTag},
                   {"Department (text, 50 values)", 22},
                   {"Last Logon (date)", LastLogonTag}};
    for (const auto &c : columns) {
        const int column = columnOfTag(c.tag);
        if (column < 0)
            continue;
        qint64 ms[2] = {};
        for (int i = 0; i < 2; ++i) {
            QElapsedTimer t;
            t.start();
            grid.sortByColumn(column, i == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
            QApplication::processEvents();
            ms[i] = t.elapsed();
        }
        std::printf("  %-30s %lld ms / %lld ms\n", c.name, ms[0], ms[1]);
    }
}

bool listingFigures(const QString &ouDn, int rounds)
{
    std::printf("\n== listing %s ==\n", qPrintable(ouDn));
    testsupport::useDomainEnvironment();
    ListingConnection c;
    c.serverPrefix = QStringLiteral("LDAP://%1/").arg(testsupport::fact("ADDR"));
    c.userName = testsupport::fact("ADMIN_UPN");
    c.password = testsupport::fact("ADMIN_PASSWORD");
    c.useCredentials = true;
    c.authFlags = 0x200;

    QTemporaryDir dir;
    const QString pw = dir.filePath(QStringLiteral("pw"));
    {
        QFile f(pw);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        f.write(c.password.toUtf8());
    }
    const ListingQuery q = listingQuery(QString(), true, {}, {}, 0);
    QStringList ldapArgs{QStringLiteral("-x"), QStringLiteral("-LLL"), QStringLiteral("-H"), testsupport::fact("LDAP_URI"),
                         QStringLiteral("-D"), c.userName, QStringLiteral("-y"), pw, QStringLiteral("-E"),
                         QStringLiteral("pr=%1/noprompt").arg(q.pageSize), QStringLiteral("-b"), ouDn,
                         QStringLiteral("-s"), QStringLiteral("one"), q.filter};
    ldapArgs << listingAttributes();

    TUserList list;
    list.setConnection(c);
    list.setHideOptions(false, false);
    TUserGrid grid(&list);
    grid.resize(1200, 700);
    grid.show();
    const ListingNode node{c.serverPrefix + ouDn, QStringLiteral("bench"), true};

    // Warm the connection and the server's caches once; the memory this listing adds
    // (records, grid, connection and schema cache) is the memory figure.
    const long rssCold = currentRssKb();
    list.listUsers(node);
    QApplication::processEvents();
    const long rssWarm = currentRssKb();
    qint64 worstGap = 0;
    std::vector<double> ldapTimes, listTimes, ratios, cpuPerUser, ldapCpuPerUser;
    int listed = 0;
    EventLoopGap gap;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        const double childCpu0 = childCpuSeconds();
        p.start(QStringLiteral("ldapsearch"), ldapArgs);
        p.waitForFinished(-1);
        const qint64 ldapMs = t.elapsed();
        const double ldapCpuMs = (childCpuSeconds() - childCpu0) * 1000.0;
        if (p.exitCode() != 0) {
            std::printf("ldapsearch failed (exit %d)\n", p.exitCode());
            return false;
        }
        list.clearGrid();
        t.restart();
        const double cpu0 = cpuSeconds();
        gap.start();
        const ListingResult res = list.listUsers(node);
        const qint64 gapMs = gap.stop();
        worstGap = std::max(worstGap, gapMs);
        QApplication::processEvents();
        const qint64 listMs = t.elapsed();
        const double cpuMs = (cpuSeconds() - cpu0) * 1000.0;
        if (!res.error.isEmpty()) {
            std::printf("listing failed: %s\n", qPrintable(res.error));
            return false;
        }
        listed = res.kept;
        std::printf("round %d: ldapsearch %lld ms, ListUsers into the grid %lld ms (%d users, ratio %.3f; "
                    "our CPU %.0f ms = %.1f us/user)\n",
                    r + 1, ldapMs, listMs, listed, double(listMs) / double(std::max<qint64>(ldapMs, 1)), cpuMs,
                    listed > 0 ? cpuMs * 1000.0 / listed : 0.0);
        std::printf("         longest event-loop gap during ListUsers: %lld ms\n", gapMs);
        ldapTimes.push_back(double(ldapMs));
        listTimes.push_back(double(listMs));
        ratios.push_back(double(listMs) / double(std::max<qint64>(ldapMs, 1)));
        if (listed > 0) {
            cpuPerUser.push_back(cpuMs * 1000.0 / listed);
            ldapCpuPerUser.push_back(ldapCpuMs * 1000.0 / listed);
        }
    }
    const auto [ratioMin, ratioMax] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("median of %d paired rounds: ldapsearch %.0f ms, ListUsers %.0f ms, ratio %.3f (paired ratios %.3f to "
                "%.3f); CPU per user: ours %.1f us, ldapsearch %.1f us\n",
                rounds, median(ldapTimes), median(listTimes), median(ratios), *ratioMin, *ratioMax,
                median(cpuPerUser), median(ldapCpuPerUser));
    std::printf("longest event-loop gap over all rounds: %lld ms (the window should never stand still "
                "for 100 ms or more)\n",
                worstGap);
    std::size_t heap = 0;
    for (int i = 0; i < list.rows().size(); ++i)
        heap += list.rows().at(i).heapBytes() + sizeof(TShellItem);
    if (listed > 0)
        std::printf("memory: %.0f bytes/user by RSS growth of the first listing (records, grid, connection, "
                    "schema cache), %.0f bytes/user held by the records\n",
                    (rssWarm - rssCold) * 1024.0 / listed, double(heap) / listed);
    realSortFigures(grid, listed);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = option(args, QStringLiteral("--rows"), QStringLiteral("100000")).toInt();
    const int rounds = std::max(1, option(args, QStringLiteral("--rounds"), QStringLiteral("5")).toInt());

    sortFigures(rows);

    bool ok = true;
    if (testsupport::domainAvailable()) {
        const bool large = testsupport::fact("LARGE_USERS").toInt() > 0;
        const QString ou = option(args, QStringLiteral("--ou"),
                               large ? QStringLiteral("OU=Large Domain,") + testsupport::fact("BASE_DN")
                                     : testsupport::fact("SEED_OU"));
        ok = listingFigures(ou, rounds);
    } else {
        std::printf("\nno test domain (ARV_TEST_DOMAIN): listing figures skipped\n");
    }
    std::printf("\npeak memory of the process: %ld KB\n", peakRssKb());
    return ok ? 0 : 1;
}
