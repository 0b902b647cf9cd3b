#pragma once
// A scratch OU of its own users for the find-and-replace tests (never the seeded users that
// other tests read), written and read back with the OpenLDAP tools; support/modifyrelay.h
// puts a relay between them and the server that cuts or holds a chosen modify request.
#include "core/unConnection.h"
#include "platform/adsi/adsconnection.h"
#include "support/ldaptools.h"
#include "support/modifyrelay.h"
#include "support/testdomain.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>

namespace replacetest {

using testsupport::CuttingRelay;

inline QString b64(const QString &s) { return QString::fromLatin1(s.toUtf8().toBase64()); }

// The administrator's connection to the running test domain (or to hostPort, a relay).
inline TConnectionContext adminContext(const QString &hostPort = testsupport::fact("ADDR"))
{
    TConnectionContext c;
    c.ServerPrefix = QStringLiteral("LDAP://%1/").arg(hostPort);
    c.DefaultNamingContext = testsupport::fact("BASE_DN");
    c.DomainPath = c.ServerPrefix + c.DefaultNamingContext;
    c.UserName = testsupport::fact("ADMIN_UPN");
    c.Password = testsupport::fact("ADMIN_PASSWORD");
    c.UseCredentials = true;
    c.AuthFlags = 0x200;  // simple bind; the test domain allows it without TLS
    return c;
}

// The users of the scratch OU and what they hold.
struct ScratchOu {
    QString dn;      // OU=replace-<pid>-<n>,<base>
    QString tag;     // short unique text for sAMAccountName
    QString error;   // why creating it failed

    QString user(const QString &cn) const { return QStringLiteral("CN=%1,%2").arg(cn, dn); }

    static QString homeOf(const char *what)
    {
        // A mailbox user of the seed gives the database and server names to copy.
        const auto found = testsupport::ldapSearch(testsupport::fact("SEED_OU"), QStringLiteral("(homeMDB=*)"),
                                                   {QStringLiteral("homeMDB"), QStringLiteral("msExchHomeServerName")},
                                                   testsupport::Account::admin(), {QStringLiteral("-z"), QStringLiteral("1")});
        return found.isEmpty() ? QString() : found.first().text(QString::fromLatin1(what));
    }

    // Creates the OU and its users. prefix names the OU.
    static ScratchOu create(const QString &prefix)
    {
        ScratchOu ou;
        const quint32 n = QRandomGenerator::global()->bounded(1000000u);
        ou.dn = QStringLiteral("OU=%1-%2-%3,%4").arg(prefix).arg(QCoreApplication::applicationPid()).arg(n).arg(
            testsupport::fact("BASE_DN"));
        ou.tag = QStringLiteral("%1%2").arg(prefix.left(2)).arg(n);
        const QString homeMdb = homeOf("homeMDB"), homeServer = homeOf("msExchHomeServerName");
        QString ldif = QStringLiteral("dn: %1\nchangetype: add\nobjectClass: organizationalUnit\n\n").arg(ou.dn);
        int i = 0;
        auto add = [&](const QString &cn, const QStringList &lines) {
            ldif += QStringLiteral("dn:: %1\nchangetype: add\nobjectClass: user\nsAMAccountName: %2u%3\nuserAccountControl: 546\n")
                        .arg(b64(ou.user(cn)), ou.tag)
                        .arg(i++);
            for (const QString &l : lines)
                ldif += l + QLatin1Char('\n');
            ldif += QLatin1Char('\n');
        };
        add(QStringLiteral("Rep Boss"), {QStringLiteral("title: Boss"), QStringLiteral("sn: Boss")});
        add(QStringLiteral("Rep Other"), {QStringLiteral("title: Chief"), QStringLiteral("sn: Other")});
        add(QStringLiteral("Rep Ann"),
            {QStringLiteral("givenName: Ann"), QStringLiteral("sn: Alpha"), QStringLiteral("title: Engineer"),
             QStringLiteral("c: DE"), QStringLiteral("co: Germany"), QStringLiteral("countryCode: 276"),
             QStringLiteral("manager: ") + ou.user(QStringLiteral("Rep Boss")),
             QStringLiteral("msExchHideFromAddressLists: TRUE"),
             QStringLiteral("streetAddress:: ") + b64(QStringLiteral("1 Main St\r\nFloor 2"))});
        add(QStringLiteral("Rep Ben"),
            {QStringLiteral("givenName: Ben"), QStringLiteral("sn: Beta"), QStringLiteral("title: Senior Engineer"),
             QStringLiteral("c: CH"), QStringLiteral("co: Switzerland"), QStringLiteral("countryCode: 756"),
             QStringLiteral("manager: ") + ou.user(QStringLiteral("Rep Boss")),
             QStringLiteral("streetAddress: 2 Side Rd")});
        add(QStringLiteral("Rep Cid"),
            {QStringLiteral("givenName: Cid"), QStringLiteral("sn: Gamma"), QStringLiteral("title: Engineer II"),
             QStringLiteral("manager: ") + ou.user(QStringLiteral("Rep Other")),
             QStringLiteral("msExchHideFromAddressLists: FALSE")});
        add(QStringLiteral("Rep Dee"), {QStringLiteral("givenName: Dee"), QStringLiteral("sn: Delta")});
        add(QStringLiteral("Rep Mailbox"),
            {QStringLiteral("extensionAttribute3: x"), QStringLiteral("homeMDB: ") + homeMdb,
             QStringLiteral("msExchHomeServerName: ") + homeServer});
        add(QStringLiteral("Rep NoMailbox"), {QStringLiteral("extensionAttribute3: x")});
        add(QStringLiteral("Ünï Çødé"), {QStringLiteral("title:: ") + b64(QStringLiteral("Ωmega Ärztin")),
                                          QStringLiteral("givenName:: ") + b64(QStringLiteral("Ünï"))});
        const testsupport::ToolResult r = testsupport::ldapModify(ldif.toUtf8());
        if (r.exitCode != 0 || homeMdb.isEmpty())
            ou.error = QStringLiteral("creating %1 failed (%2): %3").arg(ou.dn).arg(r.exitCode).arg(QString::fromUtf8(r.err));
        return ou;
    }
};

// Distinguished names (lower case) below base (one level) matching filter, by ldapsearch.
inline QSet<QString> dnsOf(const QString &base, const QString &filter)
{
    QSet<QString> out;
    for (const auto &e : testsupport::ldapSearch(base, filter, {QStringLiteral("1.1")}, testsupport::Account::admin(),
                                                 {QStringLiteral("-s"), QStringLiteral("one")}))
        out.insert(e.dn.toLower());
    return out;
}

// One attribute's values of one entry, as UTF-8 texts.
inline QStringList valuesOf(const QString &dn, const QString &attribute)
{
    QStringList out;
    const auto found = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {attribute},
                                               testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    if (!found.isEmpty())
        for (const QByteArray &v : found.first().values(attribute))
            out << QString::fromUtf8(v);
    return out;
}

inline QString modify(const QString &ldif)
{
    const testsupport::ToolResult r = testsupport::ldapModify(ldif.toUtf8());
    return r.exitCode == 0 ? QString() : QString::fromUtf8(r.err);
}

inline void removeTree(const QString &dn)
{
    // Children first: ldapdelete -r through the shared tool runner has no password file, so
    // the entries are deleted one by one with ldapmodify, deepest first.
    auto entries = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("1.1")});
    std::sort(entries.begin(), entries.end(),
              [](const auto &a, const auto &b) { return a.dn.count(QLatin1Char(',')) > b.dn.count(QLatin1Char(',')); });
    QString ldif;
    for (const auto &e : entries)
        ldif += QStringLiteral("dn:: %1\nchangetype: delete\n\n").arg(b64(e.dn));
    testsupport::ldapModify(ldif.toUtf8());
}

// A test suite over its own scratch OU, made once before its tests and removed after them.
// Suite names the OU with a static member kOuPrefix.
template <class Suite>
class ScratchOuTest : public ::testing::Test {
protected:
    static inline ScratchOu ou;
    static void SetUpTestSuite()
    {
        if (testsupport::domainAvailable()) {
            testsupport::useDomainEnvironment();
            ou = ScratchOu::create(QString::fromLatin1(Suite::kOuPrefix));
        }
    }
    static void TearDownTestSuite()
    {
        if (!ou.dn.isEmpty())
            removeTree(ou.dn);
        ads::closeAllConnections();
    }
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(ou.error.isEmpty()) << ou.error.toStdString();
    }
};

} // namespace replacetest
