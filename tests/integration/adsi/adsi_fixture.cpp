#include "adsi_fixture.h"

#include "platform/adsi/adserror.h"
#include "platform/adsi/adspath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <cstdlib>
#include <mutex>

using namespace ads;

namespace adsitest {

QString server() { return testsupport::fact("ADDR"); }
QString baseDn() { return testsupport::fact("BASE_DN"); }
QString adminUpn() { return testsupport::fact("ADMIN_UPN"); }
QString adminNt4() { return testsupport::fact("ADMIN_USER"); }
QString adminPassword() { return testsupport::fact("ADMIN_PASSWORD"); }
QString path(const QString &dn) { return QStringLiteral("LDAP://") + server() + QLatin1Char('/') + escapePathDn(dn); }

ObjectPtr bindAdmin(const QString &dn, std::uint32_t flags)
{
    ObjectPtr o;
    const HRESULT h = ADsOpenObject(path(dn), adminUpn(), adminPassword(), flags, &o);
    QString text;
    ADsGetLastError(nullptr, &text, nullptr);
    EXPECT_EQ(h, S_OK) << std::hex << h << " " << text.toStdString();
    return o;
}

void deleteTree(const QString &dn)
{
    ObjectPtr o;
    if (failed(ADsOpenObject(path(dn), adminUpn(), adminPassword(), 0, &o)))
        return;
    std::unique_ptr<Enumerator> e;
    if (succeeded(ADsBuildEnumerator(o, &e))) {
        QStringList children;
        ObjectPtr c;
        while (e->Next(&c) == S_OK && c)
            children << c->distinguishedName();
        for (const QString &child : children)
            deleteTree(child);
    }
    ObjectPtr parent;
    if (succeeded(ADsOpenObject(path(parentDn(dn)), adminUpn(), adminPassword(), 0, &parent)))
        parent->Delete(QString(), firstRdn(dn));
}

namespace {
bool g_scratchUsed = false;
}

QString scratchOu()
{
    static QString ou;
    static std::once_flag once;
    std::call_once(once, [] {
        g_scratchUsed = true;
        // Directly below the domain root, never inside the seeded OU: the seed's own tests
        // count users there while these tests run beside them.
        const QString seed = baseDn();
        const QString name = QStringLiteral("adsi-test-%1-%2")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(QRandomGenerator::global()->bounded(1000000));
        ObjectPtr parent = bindAdmin(seed);
        ObjectPtr child;
        EXPECT_EQ(parent->Create(QStringLiteral("organizationalUnit"), QStringLiteral("OU=") + name, &child), S_OK);
        EXPECT_EQ(child->SetInfo(), S_OK);
        ou = QStringLiteral("OU=") + name + QLatin1Char(',') + seed;
    });
    return ou;
}

namespace {
// Removes the scratch OU after the last test (before the program's thread state goes).
class ScratchCleanup : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (g_scratchUsed)
            deleteTree(scratchOu());
    }
};
const auto *g_cleanup = ::testing::AddGlobalTestEnvironment(new ScratchCleanup);
} // namespace

QString uniqueTag()
{
    static const QString tag = QString::number(QRandomGenerator::global()->bounded(36 * 36 * 36), 36);
    return tag;
}

QStringList createUsers(const QString &ou, const QString &prefix, int count)
{
    ObjectPtr parent = bindAdmin(ou);
    QStringList dns;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("%1%2%3").arg(prefix, uniqueTag()).arg(i, 3, 10, QLatin1Char('0'));
        ObjectPtr u;
        EXPECT_EQ(parent->Create(QStringLiteral("user"), QStringLiteral("CN=") + name, &u), S_OK);
        u->Put(QStringLiteral("sAMAccountName"), name.left(20));
        u->Put(QStringLiteral("sn"), QStringLiteral("Sn%1").arg(i, 3, 10, QLatin1Char('0')));
        u->Put(QStringLiteral("givenName"), QStringLiteral("Given"));
        const HRESULT h = u->SetInfo();
        QString text;
        ADsGetLastError(nullptr, &text, nullptr);
        EXPECT_EQ(h, S_OK) << std::hex << h << " " << text.toStdString();
        dns << QStringLiteral("CN=") + name + QLatin1Char(',') + ou;
    }
    return dns;
}

int openLdapSockets(int port)
{
    // Inodes of this process's sockets.
    QSet<QString> inodes;
    QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.contains(QLatin1String("socket:[")))
            inodes << target.section(QLatin1Char('['), 1).chopped(1);
    }
    // Established TCP connections to the DC's address and port.
    const QStringList parts = server().split(QLatin1Char('.'));
    QString remote;
    for (int i = 3; i >= 0; --i)
        remote += QStringLiteral("%1").arg(parts.value(i).toInt(), 2, 16, QLatin1Char('0')).toUpper();
    remote += QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    const QList<QByteArray> lines = tcp.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 10 || f[2] != remote.toLatin1() || f[3] != "01")
            continue;
        if (inodes.contains(QString::fromLatin1(f[9])))
            ++count;
    }
    return count;
}

} // namespace adsitest
