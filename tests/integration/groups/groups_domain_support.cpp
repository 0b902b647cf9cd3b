#include "groups_domain_support.h"

#include "core/unConnection.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QElapsedTimer>

namespace groupstest {

void connectAsAdmin()
{
    if (!ConnectionContext().DomainPath.isEmpty())
        return;
    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = fact("ADDR");
    s.Port = fact("LDAP_PORT");
    s.SecureAuthentication = false;
    s.UseCredentials = true;
    s.UserName = fact("ADMIN_USER");
    s.Password = fact("ADMIN_PASSWORD");
    ConnectWithSettings(s);
}

QString createGroup(const QString &what)
{
    static QAtomicInt counter;
    const QString cn = QStringLiteral("grp-%1-%2-%3").arg(what, adsitest::uniqueTag()).arg(counter.fetchAndAddOrdered(1));
    const QString dn = QStringLiteral("CN=%1,%2").arg(cn, scratch());
    const QByteArray ldif = QStringLiteral("dn: %1\nchangetype: add\nobjectClass: group\nsAMAccountName: %2\ngroupType: -2147483646\n")
                                .arg(dn, cn.left(20))
                                .toUtf8();
    const auto r = testsupport::ldapModify(ldif);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return dn;
}

QSet<QString> membersByTool(const QString &groupDn)
{
    QSet<QString> s;
    const auto entries = testsupport::ldapSearch(groupDn, QStringLiteral("(objectClass=*)"), {QStringLiteral("member")},
                                                 testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    for (const auto &e : entries)
        for (const QByteArray &m : e.values(QStringLiteral("member")))
            s.insert(QString::fromUtf8(m).toLower());
    return s;
}

int addMemberByTool(const QString &groupDn, const QString &memberDn)
{
    const QByteArray ldif = QStringLiteral("dn: %1\nchangetype: modify\nadd: member\nmember: %2\n-\n").arg(groupDn, memberDn).toUtf8();
    return testsupport::ldapModify(ldif).exitCode;
}

QSet<QString> lower(const QStringList &l)
{
    QSet<QString> s;
    for (const QString &x : l)
        s.insert(x.toLower());
    return s;
}

bool waitFor(const std::function<bool()> &pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace groupstest
