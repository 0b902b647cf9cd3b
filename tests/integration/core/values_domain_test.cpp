// Group membership, group information, value checks, the "user cannot change password" rule
// and the name caches against the test domain.
#include "../adsi/adsi_fixture.h"

#include "core/unSearch.h"
#include "core/unValues.h"
#include "platform/adsi/adserror.h"
#include "platform/security/wellknown.h"

#include <QAtomicInt>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>
#include <lber.h>
#include <ldap.h>

using namespace ads;

namespace {

QString uniqueName(const char *prefix)
{
    return QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(QRandomGenerator::global()->bounded(100000000));
}

QString randomPassword()
{
    QString p = QStringLiteral("Pw-");
    for (int i = 0; i < 14; ++i)
        p += QChar(u'a' + QRandomGenerator::global()->bounded(26));
    return p + QStringLiteral("-9Z");
}

class ValuesDomain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        TDirectoryAccess a;
        a.ServerPrefix = QStringLiteral("LDAP://%1/").arg(adsitest::server());
        a.DefaultNamingContext = adsitest::baseDn();
        a.DcShortName = testsupport::fact("HOST");
        a.UserName = adsitest::adminUpn();
        a.Password = adsitest::adminPassword();
        a.AuthFlags = ADS_SERVER_BIND; // simple bind: the test domain allows it without TLS
        a.UseCredentials = true;
        SetDirectoryAccess(a);
        ou = adsitest::scratchOu();
    }

    QString createGroup(const QString &cn, int groupType)
    {
        ObjectPtr parent = adsitest::bindAdmin(ou);
        ObjectPtr g;
        EXPECT_EQ(parent->Create(QStringLiteral("group"), QStringLiteral("CN=") + cn, &g), S_OK);
        g->Put(QStringLiteral("sAMAccountName"), QString(cn).remove(QLatin1Char('/')));
        g->Put(QStringLiteral("groupType"), groupType);
        EXPECT_EQ(g->SetInfo(), S_OK);
        return QStringLiteral("CN=") + cn + QLatin1Char(',') + ou;
    }

    QStringList membersOf(const QString &dn)
    {
        ObjectPtr g = adsitest::bindAdmin(dn);
        g->GetInfoEx({QStringLiteral("member")});
        QVariant v;
        QStringList out;
        if (succeeded(g->GetEx(QStringLiteral("member"), &v)))
            for (const QVariant &m : v.toList())
                out << m.toString().toLower();
        return out;
    }

    QString ou;
};

// --- Raw LDAP over TLS, as the user would change a password from another client ---------------

struct Ldap {
    LDAP *ld = nullptr;
    QString diagnostic; // the server's text for the last modify
    ~Ldap()
    {
        if (ld)
            ldap_unbind_ext_s(ld, nullptr, nullptr);
    }
    int bind(const QString &dn, const QString &password)
    {
        const QByteArray uri = testsupport::fact("LDAPS_URI").toUtf8();
        int rc = ldap_initialize(&ld, uri.constData());
        if (rc != LDAP_SUCCESS)
            return rc;
        int version = LDAP_VERSION3;
        ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        const QByteArray ca = testsupport::fact("CA_FILE").toUtf8();
        ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, ca.constData());
        int demand = LDAP_OPT_X_TLS_DEMAND;
        ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
        int newCtx = 0;
        ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &newCtx);
        ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
        QByteArray pw = password.toUtf8();
        berval cred{ber_len_t(pw.size()), pw.data()};
        rc = ldap_sasl_bind_s(ld, dn.toUtf8().constData(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr);
        pw.fill('\0');
        return rc;
    }
    static QByteArray quotedUtf16(const QString &password)
    {
        const QString q = QLatin1Char('"') + password + QLatin1Char('"');
        QByteArray b;
        for (QChar c : q) {
            b.append(char(c.unicode() & 0xFF));
            b.append(char(c.unicode() >> 8));
        }
        return b;
    }
    // Replace (administrator's reset) or delete-old/add-new (the user's own change).
    int setPassword(const QString &dn, const QString *oldPassword, const QString &newPassword)
    {
        QByteArray oldValue = oldPassword ? quotedUtf16(*oldPassword) : QByteArray();
        QByteArray newValue = quotedUtf16(newPassword);
        berval oldBv{ber_len_t(oldValue.size()), oldValue.data()};
        berval newBv{ber_len_t(newValue.size()), newValue.data()};
        berval *oldVals[] = {&oldBv, nullptr};
        berval *newVals[] = {&newBv, nullptr};
        char attr[] = "unicodePwd";
        LDAPMod del{LDAP_MOD_DELETE | LDAP_MOD_BVALUES, attr, {}};
        del.mod_bvalues = oldVals;
        LDAPMod add{(oldPassword ? LDAP_MOD_ADD : LDAP_MOD_REPLACE) | LDAP_MOD_BVALUES, attr, {}};
        add.mod_bvalues = newVals;
        LDAPMod *withOld[] = {&del, &add, nullptr};
        LDAPMod *replaceOnly[] = {&add, nullptr};
        const int rc = ldap_modify_ext_s(ld, dn.toUtf8().constData(), oldPassword ? withOld : replaceOnly, nullptr, nullptr);
        char *diag = nullptr;
        ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diag);
        diagnostic = QString::fromUtf8(diag ? diag : "");
        ldap_memfree(diag);
        oldValue.fill('\0');
        newValue.fill('\0');
        return rc;
    }
};

enum class Change { Accepted, RefusedByAccessCheck, OtherFailure };

// The user binds with their own password and changes it. A refusal counts as the access
// check's when the server says so: Windows answers insufficientAccessRights, Samba a
// constraint violation raised by its access-control module.
Change userChangesOwnPassword(const QString &dn, const QString &oldPassword, const QString &newPassword)
{
    Ldap user;
    if (user.bind(dn, oldPassword) != LDAP_SUCCESS)
        return Change::OtherFailure;
    const int rc = user.setPassword(dn, &oldPassword, newPassword);
    if (rc == LDAP_SUCCESS)
        return Change::Accepted;
    if (rc == LDAP_INSUFFICIENT_ACCESS
        || (rc == LDAP_CONSTRAINT_VIOLATION && user.diagnostic.contains(QLatin1String("module acl"))))
        return Change::RefusedByAccessCheck;
    ADD_FAILURE() << "password change failed with " << rc << ": " << user.diagnostic.toStdString();
    return Change::OtherFailure;
}

security::SecurityDescriptor readDescriptor(const QString &dn)
{
    ObjectPtr u = adsitest::bindAdmin(dn);
    u->GetInfoEx({QStringLiteral("ntSecurityDescriptor")});
    QVariant v;
    EXPECT_EQ(u->Get(QStringLiteral("ntSecurityDescriptor"), &v), S_OK);
    QString error;
    auto sd = security::SecurityDescriptor::parse(v.toByteArray(), &error);
    EXPECT_TRUE(sd) << error.toStdString();
    return sd.value_or(security::SecurityDescriptor{});
}

} // namespace

TEST_F(ValuesDomain, GroupMembershipChangesOnlyWhenNeeded)
{
    const QString group = createGroup(uniqueName("vgrp"), -2147483646);
    const QString user = adsitest::createUsers(ou, uniqueName("vmem").left(12), 1).value(0);
    const QString groupPath = DirectoryAccess().ServerPrefix + group;

    EXPECT_TRUE(AddGroupMember(groupPath, user));
    EXPECT_TRUE(membersOf(group).contains(user.toLower()));
    // Already a member, whatever the case of the DN: nothing is written.
    EXPECT_FALSE(AddGroupMember(groupPath, user.toUpper()));
    EXPECT_EQ(membersOf(group).size(), 1);
    EXPECT_TRUE(RemoveGroupMember(groupPath, user.toUpper()));
    EXPECT_TRUE(membersOf(group).isEmpty());
    EXPECT_FALSE(RemoveGroupMember(groupPath, user));
    // A group that does not exist is a bind failure with the directory's message.
    EXPECT_THROW(AddGroupMember(DirectoryAccess().ServerPrefix + QStringLiteral("CN=nope-") + uniqueName("x") + QLatin1Char(',') + ou, user),
                 EADSIException);
    // A member that does not exist is refused by the server, not reported as done.
    EXPECT_THROW(AddGroupMember(groupPath, QStringLiteral("CN=ghost,") + ou), EADSIException);
}

TEST_F(ValuesDomain, GroupInfoNegatesTheTokenOfDistributionGroups)
{
    const QString secName = uniqueName("vsec") + QStringLiteral(" R/D");
    const QString distName = uniqueName("vdist");
    const QString sec = createGroup(secName, -2147483646);
    const QString dist = createGroup(distName, 8);
    const QString prefix = DirectoryAccess().ServerPrefix;

    // A "/" in the name must not break the bind.
    QString name, parent;
    int token = 0;
    GetGroupInfo(prefix, sec, name, token, parent);
    EXPECT_EQ(name, secName);
    EXPECT_GT(token, 1000);

    int distToken = 0;
    GetGroupInfo(prefix, dist, name, distToken, parent);
    EXPECT_EQ(name, distName);
    EXPECT_LT(distToken, 0);
    EXPECT_NE(-distToken, token);
    // The canonical name of the OU that holds the group.
    EXPECT_TRUE(parent.startsWith(testsupport::fact("DNS_DOMAIN") + QLatin1Char('/'))) << parent.toStdString();
    EXPECT_TRUE(parent.endsWith(QLatin1Char('/') + ou.section(QLatin1Char(','), 0, 0).mid(3))) << parent.toStdString();

    EXPECT_THROW(GetGroupInfo(prefix, QStringLiteral("CN=missing,") + ou, name, token, parent), EADSIException);
}

TEST_F(ValuesDomain, IsValueTakenComparesExactlyAndMatchesSpecialCharactersLiterally)
{
    const QString dn = adsitest::createUsers(ou, uniqueName("vtak").left(12), 1).value(0);
    const QString value = QStringLiteral("Room *(4)/") + uniqueName("");
    ObjectPtr u = adsitest::bindAdmin(dn);
    u->Put(QStringLiteral("physicalDeliveryOfficeName"), value);
    ASSERT_EQ(u->SetInfo(), S_OK);
    const TDirectoryAccess a = DirectoryAccess();
    auto taken = [&](const QString &v) {
        return IsValueTaken(a.ServerPrefix + ou, QStringLiteral("physicalDeliveryOfficeName"), v, a.UserName, a.Password,
                            a.AuthFlags, true);
    };
    EXPECT_TRUE(taken(value));
    EXPECT_FALSE(taken(value.toUpper()));  // the server matches without case; the check does not
    EXPECT_FALSE(taken(QStringLiteral("Room *"))); // no wildcard
    EXPECT_FALSE(taken(QStringLiteral("nobody has this ") + uniqueName("")));
    // Wrong credentials are an error, which reads as "not taken".
    EXPECT_FALSE(IsValueTaken(a.ServerPrefix + ou, QStringLiteral("physicalDeliveryOfficeName"), value, a.UserName,
                              QStringLiteral("wrong"), a.AuthFlags, true));
}

TEST_F(ValuesDomain, CannotChangePasswordReallyStopsTheUser)
{
    const QString dn = adsitest::createUsers(ou, uniqueName("vpwd").left(12), 1).value(0);
    QString password = randomPassword();
    {
        Ldap admin;
        ASSERT_EQ(admin.bind(testsupport::fact("ADMIN_DN"), adsitest::adminPassword()), LDAP_SUCCESS);
        ASSERT_EQ(admin.setPassword(dn, nullptr, password), LDAP_SUCCESS);
    }
    ObjectPtr u = adsitest::bindAdmin(dn);
    u->Put(QStringLiteral("userAccountControl"), 512);
    ASSERT_EQ(u->SetInfo(), S_OK);

    // Start from a user that has neither entry.
    security::SecurityDescriptor sd = readDescriptor(dn);
    ASSERT_TRUE(sd.dacl);
    sd.dacl->aces.removeIf([](const security::Ace &a) {
        return !a.isInherited() && a.objectTypeText().compare(kChangePasswordGuid, Qt::CaseInsensitive) == 0;
    });
    u = adsitest::bindAdmin(dn);
    ASSERT_EQ(u->Put(QStringLiteral("ntSecurityDescriptor"), sd.toBytes()), S_OK);
    ASSERT_EQ(u->SetInfo(), S_OK);
    sd = readDescriptor(dn);
    ASSERT_EQ(sd.findObjectAce(kChangePasswordGuid, security::everyoneSid()), -1);
    ASSERT_EQ(sd.findObjectAce(kChangePasswordGuid, security::selfSid()), -1);
    EXPECT_FALSE(GetCannotChangePassword(sd));

    // Deny: both entries are added, denied, in canonical order, and the server enforces them.
    ASSERT_TRUE(SetCannotChangePassword(BindWithDirectoryAccess(dn), true));
    sd = readDescriptor(dn);
    EXPECT_TRUE(GetCannotChangePassword(sd));
    EXPECT_TRUE(sd.daclIsCanonical());
    const QString next = randomPassword();
    EXPECT_EQ(userChangesOwnPassword(dn, password, next), Change::RefusedByAccessCheck);

    // Allow again: the same entries change type, the change goes through.
    ASSERT_TRUE(SetCannotChangePassword(BindWithDirectoryAccess(dn), false));
    sd = readDescriptor(dn);
    EXPECT_FALSE(GetCannotChangePassword(sd));
    EXPECT_EQ(sd.dacl->aces[sd.findObjectAce(kChangePasswordGuid, security::selfSid())].type,
              security::ACCESS_ALLOWED_OBJECT_ACE_TYPE);
    int entries = 0;
    for (const security::Ace &a : sd.dacl->aces)
        entries += a.objectTypeText().compare(kChangePasswordGuid, Qt::CaseInsensitive) == 0 && !a.isInherited();
    EXPECT_EQ(entries, 2) << "set twice must not add the entries twice";
    EXPECT_EQ(userChangesOwnPassword(dn, password, next), Change::Accepted);
    password = next;

    // And deny once more on a user that has both entries already (as allowed).
    ASSERT_TRUE(SetCannotChangePassword(BindWithDirectoryAccess(dn), true));
    EXPECT_TRUE(GetCannotChangePassword(readDescriptor(dn)));
    EXPECT_EQ(userChangesOwnPassword(dn, password, randomPassword()), Change::RefusedByAccessCheck);
}

TEST_F(ValuesDomain, CachesLoadFromTheDirectory)
{
    ClearExtendedRightNames();
    ClearSchemaGuidNames();
    ClearGroupList();

    LoadExtendedRightNames();
    // Windows names them "Change Password" and "Reset Password", Samba "User Change Password"
    // and "User Force Change Password".
    EXPECT_TRUE(ExtendedRightName(QStringLiteral("ab721a53-1e2f-11d0-9819-00aa0040529b")).endsWith(QLatin1String("Change Password")));
    EXPECT_TRUE(ExtendedRightName(QStringLiteral("{00299570-246D-11D0-A768-00AA006E0529}")).contains(QLatin1String("Password")));
    EXPECT_TRUE(ExtendedRightName(QStringLiteral("{00000000-0000-0000-0000-000000000000}")).isEmpty());

    LoadSchemaGuidNames();
    EXPECT_EQ(SchemaGuidName(QStringLiteral("{bf967aba-0de6-11d0-a285-00aa003049e2}")).toStdString(), "user");
    EXPECT_EQ(SchemaGuidName(QStringLiteral("{BF96793F-0DE6-11D0-A285-00AA003049E2}")).toStdString(), "cn");

    const QString base = adsitest::baseDn();
    EXPECT_EQ(GroupDnByToken(512, base).toLower(), (QStringLiteral("CN=Domain Admins,CN=Users,") + base).toLower());
    ASSERT_TRUE(GroupListLoaded());
    // Keyed by the SID in hexadecimal.
    const auto domainAdmins = LookupAccountName(testsupport::fact("NETBIOS") + QStringLiteral("\\Domain Admins"));
    ASSERT_TRUE(domainAdmins);
    const auto rec = GroupBySidHex(BytesToHexText(domainAdmins->toBytes()));
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->CommonName.toStdString(), "Domain Admins");
    EXPECT_EQ(rec->PrimaryGroupToken, 512);
    EXPECT_TRUE(GroupDnByToken(987654321, base).isEmpty());
}

TEST_F(ValuesDomain, AccountNamesOfSids)
{
    const QString netbios = testsupport::fact("NETBIOS");
    const auto admin = LookupAccountName(netbios + QStringLiteral("\\Administrator"));
    ASSERT_TRUE(admin);
    EXPECT_EQ(admin->rid(), 500u);
    EXPECT_EQ(DomainNetbiosName(), netbios);
    EXPECT_EQ(LookupAccountSid(*admin), netbios + QStringLiteral("\\Administrator"));
    EXPECT_EQ(LookupAccountSid(security::everyoneSid()), QStringLiteral("Everyone"));
    EXPECT_EQ(LookupAccountSid(security::selfSid()), QStringLiteral("NT AUTHORITY\\SELF"));
    EXPECT_EQ(LookupAccountSid(*security::Sid::fromString(QStringLiteral("S-1-5-32-544"))),
              QStringLiteral("BUILTIN\\Administrators"));
    security::Sid unknown = admin->domainSid();
    unknown = security::Sid(unknown.authority(), QList<quint32>(unknown.subAuthorities()) << 4000000000u);
    EXPECT_TRUE(LookupAccountSid(unknown).isEmpty());
    EXPECT_FALSE(LookupAccountName(netbios + QStringLiteral("\\no-such-account-") + uniqueName("")));
}

TEST_F(ValuesDomain, ClearingWhileAWorkerReadsIsSafeAndWaitsForTheLock)
{
    const QString base = adsitest::baseDn();
    LoadGroupList(base);
    LoadExtendedRightNames();
    ASSERT_FALSE(GroupListSnapshot().isEmpty());

    // A worker keeps reading and clearing while this thread reloads.
    QAtomicInt stop(0);
    QAtomicInt reads(0);
    std::unique_ptr<QThread> worker(QThread::create([&] {
        while (!stop.loadRelaxed()) {
            const QList<TGroupListRec> groups = GroupListSnapshot();
            for (const TGroupListRec &g : groups)
                if (g.DistinguishedName.isEmpty())
                    ADD_FAILURE() << "a cached group without its name";
            ExtendedRightName(QStringLiteral("{AB721A53-1E2F-11D0-9819-00AA0040529B}"));
            if (reads.fetchAndAddRelaxed(1) % 50 == 0) {
                ClearGroupList();
                ClearExtendedRightNames();
            }
        }
    }));
    worker->start();
    for (int i = 0; i < 5; ++i) {
        LoadGroupList(base);
        LoadExtendedRightNames();
        GroupDnByToken(512, base);
    }
    stop.storeRelaxed(1);
    worker->wait();
    EXPECT_GT(reads.loadRelaxed(), 0);

    // While this thread holds the process lock, a clear in another thread has to wait.
    LoadGroupList(base);
    QAtomicInt cleared(0);
    {
        QMutexLocker lock(&ProcessLock());
        std::unique_ptr<QThread> clearer(QThread::create([&] {
            ClearGroupList();
            cleared.storeRelaxed(1);
        }));
        clearer->start();
        EXPECT_FALSE(clearer->wait(200));
        EXPECT_EQ(cleared.loadRelaxed(), 0);
        EXPECT_TRUE(GroupListLoaded());
        lock.unlock();
        clearer->wait();
    }
    EXPECT_EQ(cleared.loadRelaxed(), 1);
    EXPECT_FALSE(GroupListLoaded());
}

TEST_F(ValuesDomain, JoinedValuesAndMailboxPresence)
{
    const QString dn = adsitest::createUsers(ou, uniqueName("vjoin").left(12), 1).value(0);
    ObjectPtr u = adsitest::bindAdmin(dn);
    ASSERT_EQ(u->Put(QStringLiteral("otherTelephone"), QVariantList{QStringLiteral("+49 1"), QStringLiteral("+49 2")}), S_OK);
    ASSERT_EQ(u->SetInfo(), S_OK);
    u = BindWithDirectoryAccess(dn);
    const QString lines = JoinValuesLines(u, QStringLiteral("otherTelephone"));
    EXPECT_TRUE(lines == QStringLiteral("+49 1\r\n+49 2\r\n") || lines == QStringLiteral("+49 2\r\n+49 1\r\n")) << lines.toStdString();
    const QString bracketed = JoinValuesBracketed(u, QStringLiteral("otherTelephone"));
    EXPECT_TRUE(bracketed == QStringLiteral("[+49 1][+49 2]") || bracketed == QStringLiteral("[+49 2][+49 1]")) << bracketed.toStdString();
    EXPECT_TRUE(JoinValuesLines(u, QStringLiteral("otherMobile")).isEmpty());
    EXPECT_TRUE(JoinValuesBracketed(nullptr, QStringLiteral("otherTelephone")).isEmpty());

    ASSERT_EQ(u->GetInfo(), S_OK);
    EXPECT_FALSE(HasMailbox(u));
    // A seeded mailbox user has homeMDB.
    TQelADSISearching s;
    s.setADsPath(DirectoryAccess().ServerPrefix + adsitest::baseDn());
    s.setUserName(adsitest::adminUpn());
    s.setPassword(adsitest::adminPassword());
    s.setAuthFlags(ADS_SERVER_BIND);
    s.setUseCredentials(true);
    s.setFilter(QStringLiteral("(&(objectClass=user)(homeMDB=*))"));
    s.setAttributes(QStringLiteral("distinguishedName"));
    s.ExecuteSearch();
    QVariant row;
    s.GetFirstRow(row);
    ASSERT_TRUE(row.isValid()) << "the test domain has no mailbox user";
    const QString mailboxDn = row.toList().value(0).toString();
    s.CloseSearch();
    ObjectPtr mailbox = BindWithDirectoryAccess(mailboxDn);
    ASSERT_EQ(mailbox->GetInfo(), S_OK);
    EXPECT_TRUE(HasMailbox(mailbox));
}
