// The change journal against the test domain: what each write leaves in the journal (read by
// Python) agrees with ldapsearch before and after it, each undo rule puts the object back as
// ldapsearch saw it before, an object changed by someone else is left alone, a renamed one is
// found by its GUID, and secrets never reach the journal.
#include "../bulk/replace_fixture.h"
#include "adsi_fixture.h"
#include "core/unConnection.h"
#include "core/unValues.h"
#include "journal/journalstore.h"
#include "journal/recorder.h"
#include "journal/undo.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adsschema.h"
#include "platform/adsi/adsvalue.h"
#include "support/journalread.h"
#include "support/ldaptools.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace journal;

namespace {

QString b64(const QByteArray &b) { return QString::fromLatin1(b.toBase64()); }

testsupport::LdifEntry ldapEntry(const QString &dn, const QStringList &attrs)
{
    const auto found = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), attrs, testsupport::Account::admin(),
                                               {QStringLiteral("-s"), QStringLiteral("base")});
    EXPECT_EQ(found.size(), 1) << dn.toStdString();
    return found.value(0);
}

QList<QByteArray> sorted(QList<QByteArray> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// The DACL's entries as Samba's own code decodes them, in a stable order.
QStringList acesOf(const QByteArray &descriptor)
{
    QStringList out;
    for (const auto &a : testsupport::decodeAclWithSamba(descriptor))
        out << QStringLiteral("%1|%2|%3|%4").arg(a.type).arg(a.mask).arg(a.sid, a.objectType);
    out.sort();
    return out;
}

// Someone else's change, with the directory's own tool.
void ldapModify(const QString &ldif) { ASSERT_EQ(replacetest::modify(ldif), QString()); }

class JournalDomain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath(QStringLiteral("journal"));
        recorder = install(folder);
        TDirectoryAccess a;
        a.ServerPrefix = replacetest::adminContext().ServerPrefix;
        a.DefaultNamingContext = adsitest::baseDn();
        a.UserName = adsitest::adminUpn();
        a.Password = adsitest::adminPassword();
        a.UseCredentials = true;
        SetDirectoryAccess(a);
    }
    void TearDown() override { uninstall(); }

    QString newUser(const QString &prefix) { return adsitest::createUsers(adsitest::scratchOu(), prefix, 1).value(0); }
    // The modify entries of an object (the test's own creation of it is journaled too).
    QList<Entry> entriesOf(const QString &dn)
    {
        Filter f;
        f.object = dn;
        QList<Entry> out = filterEntries(readJournal(folder).entries, f);
        out.removeIf([](const Entry &e) { return e.kind != QLatin1String("modify"); });
        return out;
    }
    UndoSummary undo(const QList<Entry> &entries, UndoPlan *planOut = nullptr)
    {
        UndoPlan plan = planUndo(entries);
        UndoRun run(replacetest::adminContext());
        const UndoSummary s = run.apply(plan);
        if (planOut)
            *planOut = plan;
        return s;
    }

    QTemporaryDir dir;
    QString folder;
    std::shared_ptr<Recorder> recorder;
};

} // namespace

// Each undo rule on the domain: values (texts, several values, large integers, flags, binary
// values, a group's member list) and replace-if-unchanged (the security descriptor). The
// journal's before and after are what ldapsearch saw, and undo puts back what it saw before.
TEST_F(JournalDomain, EveryUndoRulePutsTheObjectBackAsLdapsearchSawItBefore)
{
    const QString dn = newUser(QStringLiteral("jr"));
    const QString otherMember = adsitest::createUsers(adsitest::scratchOu(), QStringLiteral("jm"), 1).value(0);
    ldapModify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: description\ndescription: before\n-\n"
                              "replace: otherTelephone\notherTelephone: 111\notherTelephone: 222\n-\n"
                              "replace: accountExpires\naccountExpires: 133000000000000000\n-\n"
                              "replace: thumbnailPhoto\nthumbnailPhoto:: %2\n-\n")
                   .arg(dn, b64(QByteArray("\xff\xd8\xff\x01 old picture", 15))));
    const QString groupDn = QStringLiteral("CN=jg%1,%2").arg(adsitest::uniqueTag(), adsitest::scratchOu());
    ldapModify(QStringLiteral("dn: %1\nchangetype: add\nobjectClass: group\nsAMAccountName: jg%2\nmember: %3\n")
                   .arg(groupDn, adsitest::uniqueTag(), otherMember));
    const QStringList attrs{QStringLiteral("description"), QStringLiteral("otherTelephone"), QStringLiteral("accountExpires"),
                            QStringLiteral("userAccountControl"), QStringLiteral("logonHours"), QStringLiteral("thumbnailPhoto")};
    const testsupport::LdifEntry before = ldapEntry(dn, attrs + QStringList{QStringLiteral("nTSecurityDescriptor")});

    // As the windows write: the attributes read first, then changed and written in one modify.
    ads::ObjectPtr user = adsitest::bindAdmin(dn);
    ASSERT_EQ(user->GetInfoEx(attrs), ads::S_OK);
    user->Put(QStringLiteral("description"), QStringLiteral("after"));
    user->Put(QStringLiteral("otherTelephone"), QVariantList{QStringLiteral("222"), QStringLiteral("333")});
    user->Put(QStringLiteral("accountExpires"), QVariant::fromValue<qint64>(0));
    QVariant uac;
    user->Get(QStringLiteral("userAccountControl"), &uac);
    user->Put(QStringLiteral("userAccountControl"), uac.toInt() ^ 0x10000);  // password never expires
    user->Put(QStringLiteral("logonHours"), QByteArray(21, '\x0f'));
    user->Put(QStringLiteral("thumbnailPhoto"), QByteArray("\xff\xd8\xff\x02 new picture", 15));
    ASSERT_EQ(user->SetInfo(), ads::S_OK);
    ASSERT_TRUE(SetCannotChangePassword(user, true));
    ASSERT_TRUE(AddGroupMember(adsitest::path(groupDn), dn));
    const testsupport::LdifEntry after = ldapEntry(dn, attrs + QStringList{QStringLiteral("nTSecurityDescriptor")});

    const QJsonArray py = testsupport::journalEntriesByPython(folder);
    QJsonObject valuesEntry, sdEntry, memberEntry;
    for (const QJsonValue &v : py) {
        const QJsonObject e = v.toObject();
        if (e[QStringLiteral("dn")].toString().compare(groupDn, Qt::CaseInsensitive) == 0)
            memberEntry = e;
        else if (e[QStringLiteral("dn")].toString().compare(dn, Qt::CaseInsensitive) == 0)
            (testsupport::changeValues(e, QStringLiteral("nTSecurityDescriptor"), "after").isEmpty() ? valuesEntry : sdEntry) = e;
    }
    ASSERT_FALSE(valuesEntry.isEmpty());
    EXPECT_EQ(valuesEntry[QStringLiteral("outcome")].toString(), QStringLiteral("written"));
    EXPECT_EQ(valuesEntry[QStringLiteral("guid")].toString(),
              ads::guidToString(ldapEntry(dn, {QStringLiteral("objectGUID")}).values(QStringLiteral("objectGUID")).value(0)));
    // The server's "Who am I?" answer where it gives one, else the bind name.
    const QString identity = valuesEntry[QStringLiteral("identity")].toString().toLower();
    EXPECT_TRUE(identity == QStringLiteral("u:%1").arg(adsitest::adminNt4()).toLower() || identity == adsitest::adminUpn().toLower())
        << identity.toStdString();
    EXPECT_EQ(valuesEntry[QStringLiteral("server")].toString(), adsitest::server() + QStringLiteral(":389"));
    for (const QString &a : attrs) {
        EXPECT_EQ(sorted(testsupport::changeValues(valuesEntry, a, "before")), sorted(before.values(a))) << a.toStdString();
        EXPECT_EQ(sorted(testsupport::changeValues(valuesEntry, a, "after")), sorted(after.values(a))) << a.toStdString();
    }
    ASSERT_FALSE(sdEntry.isEmpty());
    EXPECT_EQ(acesOf(testsupport::changeValues(sdEntry, QStringLiteral("nTSecurityDescriptor"), "before").value(0)),
              acesOf(before.values(QStringLiteral("nTSecurityDescriptor")).value(0)));
    EXPECT_EQ(acesOf(testsupport::changeValues(sdEntry, QStringLiteral("nTSecurityDescriptor"), "after").value(0)),
              acesOf(after.values(QStringLiteral("nTSecurityDescriptor")).value(0)));
    ASSERT_FALSE(memberEntry.isEmpty());
    EXPECT_EQ(testsupport::changeValues(memberEntry, QStringLiteral("member"), "after"), QList<QByteArray>{dn.toUtf8()});
    EXPECT_TRUE(testsupport::changeValues(memberEntry, QStringLiteral("member"), "before").isEmpty());

    // Undo everything: the user and the group are as ldapsearch saw them before.
    UndoPlan plan;
    const UndoSummary s = undo(readJournal(folder).entries, &plan);
    EXPECT_EQ(s.undone, 2) << plan.objects.value(0).detail.toStdString() << " / " << plan.objects.value(1).detail.toStdString();
    const testsupport::LdifEntry restored = ldapEntry(dn, attrs + QStringList{QStringLiteral("nTSecurityDescriptor")});
    for (const QString &a : attrs)
        EXPECT_EQ(sorted(restored.values(a)), sorted(before.values(a))) << a.toStdString();
    const auto aces = [](const testsupport::LdifEntry &e) { return acesOf(e.values(QStringLiteral("nTSecurityDescriptor")).value(0)); };
    EXPECT_EQ(aces(restored), aces(before));
    EXPECT_NE(aces(after), aces(before));
    EXPECT_EQ(ldapEntry(groupDn, {QStringLiteral("member")}).values(QStringLiteral("member")).size(), 1);

    // The undo is in the journal as a run that names what it put back, and can be undone.
    Filter f;
    f.run = s.runId;
    const QList<Entry> undoEntries = filterEntries(readJournal(folder).entries, f);
    ASSERT_EQ(undoEntries.size(), 2);
    EXPECT_EQ(undoEntries.first().runKind, QStringLiteral("undo"));
    EXPECT_FALSE(undoEntries.first().undoes.isEmpty());
    EXPECT_EQ(undo(undoEntries).undone, 2);
    const testsupport::LdifEntry redone = ldapEntry(dn, attrs + QStringList{QStringLiteral("nTSecurityDescriptor")});
    for (const QString &a : attrs)
        EXPECT_EQ(sorted(redone.values(a)), sorted(after.values(a))) << a.toStdString();
    EXPECT_EQ(aces(redone), aces(after));
}

// pwdLastSet takes only 0 or -1 (the domain refuses the date an account had before), and
// lockoutTime only 0 on Active Directory (Samba accepts others, but writing a lock-out back is no
// undo anyone wants): both are journaled as not undoable, and undo of a write that changed them
// with other attributes puts back the others and leaves them alone.
TEST_F(JournalDomain, LockoutAndPasswordDateAreLeftOutOfUndoSinceTheirOldValuesCannotBeWritten)
{
    const QString dn = newUser(QStringLiteral("jl"));
    const auto r = testsupport::ldapModify(
        QStringLiteral("dn: %1\nchangetype: modify\nreplace: pwdLastSet\npwdLastSet: 133000000000000000\n").arg(dn).toUtf8());
    EXPECT_NE(r.exitCode, 0) << "pwdLastSet took an earlier date";
    ldapModify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: description\ndescription: before\n").arg(dn));
    ads::ObjectPtr user = adsitest::bindAdmin(dn);
    ASSERT_EQ(user->GetInfoEx({QStringLiteral("description"), QStringLiteral("lockoutTime"), QStringLiteral("pwdLastSet")}),
              ads::S_OK);
    user->Put(QStringLiteral("description"), QStringLiteral("after"));
    user->Put(QStringLiteral("lockoutTime"), QVariant::fromValue<qint64>(0));
    user->Put(QStringLiteral("pwdLastSet"), QVariant::fromValue<qint64>(0));
    ASSERT_EQ(user->SetInfo(), ads::S_OK);
    const QList<Entry> entries = entriesOf(dn);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries.first().undoable());
    int notUndoable = 0;
    for (const Change &c : entries.first().changes)
        notUndoable += c.undoable() ? 0 : 1;
    EXPECT_EQ(notUndoable, 2);
    UndoPlan plan;
    EXPECT_EQ(undo(entries, &plan).undone, 1);
    ASSERT_EQ(plan.objects.size(), 1);
    EXPECT_EQ(plan.objects.first().notes.size(), 2);
    EXPECT_EQ(ldapEntry(dn, {QStringLiteral("description")}).text(QStringLiteral("description")), QStringLiteral("before"));
    EXPECT_EQ(ldapEntry(dn, {QStringLiteral("pwdLastSet")}).text(QStringLiteral("pwdLastSet")), QStringLiteral("0"));
}

// Someone else changes one object after the write and renames another: the first is left
// alone and reported, the second is found under its new name and put back.
TEST_F(JournalDomain, ChangedSinceIsLeftAloneAndARenamedObjectIsFoundByItsGuid)
{
    const QString changed = newUser(QStringLiteral("jc"));
    const QString renamed = newUser(QStringLiteral("jn"));
    for (const QString &dn : {changed, renamed}) {
        ads::ObjectPtr u = adsitest::bindAdmin(dn);
        ASSERT_EQ(u->GetInfoEx({QStringLiteral("title")}), ads::S_OK);
        u->Put(QStringLiteral("title"), QStringLiteral("Written by the program"));
        ASSERT_EQ(u->SetInfo(), ads::S_OK);
    }
    ldapModify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: title\ntitle: Someone else's\n").arg(changed));
    const QString newRdn = QStringLiteral("CN=jn-moved-%1").arg(adsitest::uniqueTag());
    ldapModify(QStringLiteral("dn: %1\nchangetype: modrdn\nnewrdn: %2\ndeleteoldrdn: 1\n").arg(renamed, newRdn));
    const QString newDn = newRdn + QLatin1Char(',') + adsitest::scratchOu();

    UndoPlan plan;
    const UndoSummary s = undo(entriesOf(changed) + entriesOf(renamed), &plan);
    EXPECT_EQ(s.changedSince, 1);
    EXPECT_EQ(s.undone, 1);
    EXPECT_EQ(ldapEntry(changed, {QStringLiteral("title")}).text(QStringLiteral("title")), QStringLiteral("Someone else's"));
    EXPECT_TRUE(ldapEntry(newDn, {QStringLiteral("title")}).values(QStringLiteral("title")).isEmpty());
    for (const UndoObject &o : plan.objects) {
        if (o.recordedDn.compare(renamed, Qt::CaseInsensitive) == 0) {
            EXPECT_EQ(o.currentDn.toLower(), newDn.toLower());
        }
    }
    // The listing finds the renamed object's entries by its new name too.
    EXPECT_EQ(entriesOf(newDn).size(), 2);  // the program's write and the undo, under both names
}

// A password set and a confidential attribute: the journal says they were written, never
// what they hold.
TEST_F(JournalDomain, SecretsAreRecordedAsWrittenWithoutTheirValues)
{
    const QString dn = newUser(QStringLiteral("js"));
    const QString password = QStringLiteral("Jr-Secret-%1!").arg(adsitest::uniqueTag());
    ads::ObjectPtr tls = adsitest::bindAdmin(dn, ads::ADS_USE_ENCRYPTION);
    ASSERT_EQ(tls->SetPassword(password), ads::S_OK);
    // An attribute the domain's schema marks confidential (searchFlags bit 0x80).
    const auto confidential = testsupport::ldapSearch(
        QStringLiteral("CN=Schema,CN=Configuration,") + adsitest::baseDn(),
        QStringLiteral("(&(lDAPDisplayName=msPKIRoamingTimeStamp)(searchFlags:1.2.840.113556.1.4.803:=128))"),
        {QStringLiteral("lDAPDisplayName")});
    ASSERT_EQ(confidential.size(), 1) << "the test domain's schema has no confidential msPKIRoamingTimeStamp";
    const QByteArray secretValue("Confidential-" + adsitest::uniqueTag().toLatin1());
    ads::ObjectPtr user = adsitest::bindAdmin(dn);
    user->Put(QStringLiteral("msPKIRoamingTimeStamp"), secretValue);
    user->Put(QStringLiteral("description"), QStringLiteral("visible"));
    ASSERT_EQ(user->SetInfo(), ads::S_OK);

    QByteArray all;
    QDirIterator it(folder, {QStringLiteral("*.jsonl")}, QDir::Files);
    while (it.hasNext()) {
        QFile f(it.next());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        all += f.readAll();
    }
    for (const QByteArray &secret : {password.toUtf8(), secretValue}) {
        EXPECT_FALSE(all.contains(secret));
        EXPECT_FALSE(all.contains(secret.toBase64()));
        EXPECT_FALSE(all.contains(QByteArray(reinterpret_cast<const char *>(QString::fromUtf8(secret).utf16()),
                                             secret.size() * 2).toBase64()));
    }
    Filter f;
    f.object = dn;
    QList<Entry> entries = filterEntries(readJournal(folder).entries, f);
    entries.removeIf([](const Entry &e) { return e.kind == QLatin1String("add"); });
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].kind, QStringLiteral("password"));
    EXPECT_FALSE(entries[0].undoable());
    EXPECT_EQ(entries[0].outcome, Outcome::Written);
    ASSERT_EQ(entries[1].changes.size(), 2);
    EXPECT_TRUE(entries[1].changes[0].secret);
    EXPECT_FALSE(entries[1].changes[1].secret);
    EXPECT_EQ(entries[1].changes[1].after.value(0).bytes, QByteArray("visible"));
}
