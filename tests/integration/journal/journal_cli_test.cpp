// arvendel-cli and the change journal, as child processes against the test domain: a
// find-and-replace run, group membership and account changes are journaled with the values
// ldapsearch saw, listed as JSON that Python reads, and undone (a run at once); an object
// changed since is left alone and a renamed one found; a journal that cannot be written stops
// every write unless --no-journal; processes append to one file at once; a process killed in a
// run or between a modify and its outcome leaves complete lines and shows the write as not known.
#include "../bulk/replace_fixture.h"
#include "platform/adsi/adsvalue.h"
#include "support/journalread.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>
#include <csignal>

using namespace replacetest;
using testsupport::fact;

namespace {

struct CliRun {
    int exitCode = -1;
    QStringList lines;
    QString err;
};

QString valueAfter(const QString &text, const QString &label)
{
    const qsizetype at = text.indexOf(label);
    return at < 0 ? QString() : text.mid(at + label.size()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

class JournalCli : public ScratchOuTest<JournalCli> {
public:
    static constexpr const char *kOuPrefix = "jcli";

protected:
    QTemporaryDir dir;
    QString state() const { return dir.filePath(QStringLiteral("state")); }
    QString folder() const { return state() + QStringLiteral("/arvendel/journal"); }

    QProcessEnvironment env(const QString &stateHome) const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("ARV_SETTINGS_FILE"), dir.filePath(QStringLiteral("registry.ini")));
        e.insert(QStringLiteral("LDAPTLS_CACERT"), fact("CA_FILE"));
        e.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
        e.insert(QStringLiteral("ARV_JOURNAL_TEST_PW"), fact("ADMIN_PASSWORD"));
        return e;
    }
    QStringList connection() const
    {
        return {QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--simple"), QStringLiteral("--user"),
                fact("ADMIN_UPN"), QStringLiteral("--password-env"), QStringLiteral("ARV_JOURNAL_TEST_PW")};
    }
    void start(QProcess &p, const QStringList &args, const QString &stateHome = {}) const
    {
        p.setProcessEnvironment(env(stateHome.isEmpty() ? state() : stateHome));
        p.setStandardInputFile(QProcess::nullDevice());
        const bool local = args.value(0) == QLatin1String("journal") && args.value(1) == QLatin1String("list");
        p.start(QStringLiteral(ARV_CLI_PATH), args + (local ? QStringList() : connection()));
    }
    CliRun cli(const QStringList &args, const QString &stateHome = {}) const
    {
        QProcess p;
        start(p, args, stateHome);
        EXPECT_TRUE(p.waitForFinished(180000));
        CliRun r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    // `journal list --output json` read by Python's json, one object per line.
    QJsonArray listJson(const QStringList &filter) const
    {
        const CliRun r = cli(QStringList{QStringLiteral("journal"), QStringLiteral("list"), QStringLiteral("--output"),
                                         QStringLiteral("json")} + filter);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        QProcess py;
        py.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                             QStringLiteral("import sys, json\nprint(json.dumps([json.loads(l) for l in sys.stdin if l.strip()]))")});
        py.write(r.lines.join(QLatin1Char('\n')).toUtf8());
        py.closeWriteChannel();
        EXPECT_TRUE(py.waitForFinished(60000));
        EXPECT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(py.readAllStandardOutput()).array();
    }
    static QJsonObject byDn(const QJsonArray &entries, const QString &dn)
    {
        for (const QJsonValue &v : entries)
            if (v.toObject()[QStringLiteral("dn")].toString().compare(dn, Qt::CaseInsensitive) == 0)
                return v.toObject();
        return {};
    }
    // count users "<prefix>NN" in a new OU below the scratch OU, made with one ldapmodify.
    QString bulkOu(const QString &prefix, int count) const
    {
        const QString o = QStringLiteral("OU=%1,%2").arg(prefix, ou.dn);
        QString ldif = QStringLiteral("dn: %1\nchangetype: add\nobjectClass: organizationalUnit\n\n").arg(o);
        for (int i = 0; i < count; ++i)
            ldif += QStringLiteral("dn: CN=%1%2,%3\nchangetype: add\nobjectClass: user\nsAMAccountName: %4%1%2\n"
                                   "userAccountControl: 546\n\n")
                        .arg(prefix)
                        .arg(i, 2, 10, QLatin1Char('0'))
                        .arg(o, ou.tag);
        EXPECT_EQ(modify(ldif), QString());
        return o;
    }
};

} // namespace

TEST_F(JournalCli, ReplaceRunIsListedAsJsonAndUndoneAsARunLeavingChangedObjectsAlone)
{
    const QString ann = ou.user(QStringLiteral("Rep Ann")), ben = ou.user(QStringLiteral("Rep Ben")),
                  cid = ou.user(QStringLiteral("Rep Cid"));
    const QStringList before{valuesOf(ann, QStringLiteral("title")).value(0), valuesOf(ben, QStringLiteral("title")).value(0),
                             valuesOf(cid, QStringLiteral("title")).value(0)};
    const CliRun applied = cli({QStringLiteral("replace"), QStringLiteral("--base"), ou.dn, QStringLiteral("--attribute"),
                                QStringLiteral("title"), QStringLiteral("--where"), QStringLiteral("contains"),
                                QStringLiteral("--find"), QStringLiteral("Engineer"), QStringLiteral("--replace"),
                                QStringLiteral("X-<%CURRENT%>"), QStringLiteral("--apply")});
    ASSERT_EQ(applied.exitCode, 0) << applied.err.toStdString();
    const QString run = valueAfter(applied.err, QStringLiteral("journal run:"));
    ASSERT_FALSE(run.isEmpty()) << applied.err.toStdString();

    const QJsonArray listed = listJson({QStringLiteral("--run"), run});
    ASSERT_EQ(listed.size(), 3);
    int i = 0;
    for (const QString &dn : {ann, ben, cid}) {
        const QJsonObject e = byDn(listed, dn);
        ASSERT_FALSE(e.isEmpty()) << dn.toStdString();
        EXPECT_EQ(e[QStringLiteral("outcome")].toString(), QStringLiteral("written"));
        EXPECT_EQ(e[QStringLiteral("run")].toString(), run);
        EXPECT_EQ(e[QStringLiteral("guid")].toString(),
                  ads::guidToString(testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("objectGUID")},
                                                            testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")})
                                        .value(0)
                                        .values(QStringLiteral("objectGUID"))
                                        .value(0)));
        EXPECT_EQ(testsupport::changeValues(e, QStringLiteral("title"), "before"), QList<QByteArray>{before[i].toUtf8()});
        EXPECT_EQ(testsupport::changeValues(e, QStringLiteral("title"), "after"),
                  QList<QByteArray>{valuesOf(dn, QStringLiteral("title")).value(0).toUtf8()});
        EXPECT_EQ(valuesOf(dn, QStringLiteral("title")).value(0), QStringLiteral("X-") + before[i]);
        ++i;
    }

    // Someone else changes Cid and renames Ben after the run.
    ASSERT_EQ(modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: title\ntitle: Changed by someone\n").arg(cid)), QString());
    const QString benNow = QStringLiteral("CN=Rep Ben Moved,") + ou.dn;
    ASSERT_EQ(modify(QStringLiteral("dn: %1\nchangetype: modrdn\nnewrdn: CN=Rep Ben Moved\ndeleteoldrdn: 1\n").arg(ben)), QString());

    const CliRun preview = cli({QStringLiteral("journal"), QStringLiteral("undo"), QStringLiteral("--run"), run.left(8)});
    ASSERT_EQ(preview.exitCode, 0) << preview.err.toStdString();
    const QString shown = preview.lines.join(QLatin1Char('\n'));
    EXPECT_TRUE(shown.contains(QStringLiteral("ready\t") + ann)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("ready\t") + benNow)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("changed since\t") + cid)) << shown.toStdString();
    EXPECT_EQ(valuesOf(ann, QStringLiteral("title")).value(0), QStringLiteral("X-") + before[0]);  // a preview writes nothing

    const CliRun undone = cli({QStringLiteral("journal"), QStringLiteral("undo"), QStringLiteral("--run"), run,
                               QStringLiteral("--apply")});
    EXPECT_EQ(undone.exitCode, 1) << undone.err.toStdString();  // one object was left alone
    EXPECT_TRUE(undone.err.contains(QStringLiteral("2 undone, 1 changed since"))) << undone.err.toStdString();
    EXPECT_EQ(valuesOf(ann, QStringLiteral("title")).value(0), before[0]);
    EXPECT_EQ(valuesOf(benNow, QStringLiteral("title")).value(0), before[1]);
    EXPECT_EQ(valuesOf(cid, QStringLiteral("title")).value(0), QStringLiteral("Changed by someone"));

    // The undo is a run of its own, and undoing it writes the replaced values again.
    const QString undoRun = valueAfter(undone.err, QStringLiteral("journal run:"));
    ASSERT_FALSE(undoRun.isEmpty());
    const CliRun redone = cli({QStringLiteral("journal"), QStringLiteral("undo"), QStringLiteral("--run"), undoRun,
                               QStringLiteral("--apply")});
    EXPECT_EQ(redone.exitCode, 0) << redone.err.toStdString() << redone.lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(valuesOf(ann, QStringLiteral("title")).value(0), QStringLiteral("X-") + before[0]);
    EXPECT_EQ(valuesOf(benNow, QStringLiteral("title")).value(0), QStringLiteral("X-") + before[1]);
}

TEST_F(JournalCli, MembershipAndAccountChangesAreJournaledAndAnUnwritableJournalStopsThem)
{
    const QString group = QStringLiteral("CN=Journal Group,") + ou.dn;
    const QString dee = ou.user(QStringLiteral("Rep Dee"));
    ASSERT_EQ(modify(QStringLiteral("dn: %1\nchangetype: add\nobjectClass: group\nsAMAccountName: jg%2\n").arg(group, ou.tag)),
              QString());
    CliRun r = cli({QStringLiteral("group"), QStringLiteral("add-member"), group, dee});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonObject e = byDn(listJson({QStringLiteral("--dn"), group}), group);
    ASSERT_FALSE(e.isEmpty());
    EXPECT_EQ(testsupport::changeValues(e, QStringLiteral("member"), "after"), QList<QByteArray>{dee.toUtf8()});
    EXPECT_EQ(e[QStringLiteral("changes")].toArray()[0].toObject()[QStringLiteral("mode")].toString(), QStringLiteral("values"));

    const QStringList expiresBefore = valuesOf(dee, QStringLiteral("accountExpires"));
    r = cli({QStringLiteral("account"), dee, QStringLiteral("--unlock"), QStringLiteral("--expires"), QStringLiteral("2031-01-31")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    e = byDn(listJson({QStringLiteral("--dn"), dee, QStringLiteral("--since"), QStringLiteral("1h")}), dee);
    ASSERT_FALSE(e.isEmpty());
    EXPECT_EQ(testsupport::changeValues(e, QStringLiteral("accountExpires"), "before"), QList<QByteArray>{expiresBefore.value(0).toUtf8()});
    EXPECT_EQ(testsupport::changeValues(e, QStringLiteral("accountExpires"), "after"),
              QList<QByteArray>{valuesOf(dee, QStringLiteral("accountExpires")).value(0).toUtf8()});
    bool lockout = false;
    for (const QJsonValue &c : e[QStringLiteral("changes")].toArray()) {
        if (c.toObject()[QStringLiteral("attribute")].toString() == QLatin1String("lockoutTime")) {
            lockout = true;
            EXPECT_EQ(c.toObject()[QStringLiteral("undo")].toString(), QStringLiteral("none"));
        }
    }
    EXPECT_TRUE(lockout);
    EXPECT_TRUE(e[QStringLiteral("undoable")].toBool());  // the expiry can be put back

    // The state folder is a file: the change is refused before anything is written.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QFile f(blocked);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    r = cli({QStringLiteral("group"), QStringLiteral("remove-member"), group, dee}, blocked);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--no-journal"))) << r.err.toStdString();
    EXPECT_EQ(valuesOf(group, QStringLiteral("member")), QStringList{dee});
    r = cli({QStringLiteral("group"), QStringLiteral("remove-member"), group, dee, QStringLiteral("--no-journal")}, blocked);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(valuesOf(group, QStringLiteral("member")).isEmpty());
}

TEST_F(JournalCli, TwoProcessesAppendToOneFileAtOnceAndEveryLineParses)
{
    const QString first = bulkOu(QStringLiteral("ja"), 15), second = bulkOu(QStringLiteral("jb"), 15);
    QProcess a, b;
    const QStringList rule{QStringLiteral("replace"), QStringLiteral("--attribute"), QStringLiteral("description"),
                           QStringLiteral("--not-set"), QStringLiteral("--replace"), QStringLiteral("from <%sAMAccountname%>"),
                           QStringLiteral("--apply"), QStringLiteral("--base")};
    start(a, rule + QStringList{first});
    start(b, rule + QStringList{second});
    ASSERT_TRUE(a.waitForFinished(180000) && b.waitForFinished(180000));
    ASSERT_EQ(a.exitCode(), 0) << a.readAllStandardError().toStdString();
    ASSERT_EQ(b.exitCode(), 0) << b.readAllStandardError().toStdString();
    ASSERT_EQ(QDir(folder()).entryList(QDir::Files).size(), 1);  // one day, one file (unless run across midnight UTC)
    const QJsonArray records = testsupport::journalRecordsByPython(folder());
    int intents = 0, outcomes = 0;
    for (const QJsonValue &v : records)
        (v.toObject()[QStringLiteral("type")].toString() == QLatin1String("intent") ? intents : outcomes)++;
    EXPECT_EQ(intents, 30);
    EXPECT_EQ(outcomes, 30);
    for (const QJsonValue &v : testsupport::journalEntriesByPython(folder()))
        EXPECT_EQ(v.toObject()[QStringLiteral("outcome")].toString(), QStringLiteral("written"));
}

TEST_F(JournalCli, AProcessKilledInARunLeavesCompleteLinesThatAllParse)
{
    const QString base = bulkOu(QStringLiteral("jk"), 30);
    QProcess p;
    start(p, {QStringLiteral("replace"), QStringLiteral("--base"), base, QStringLiteral("--attribute"),
              QStringLiteral("description"), QStringLiteral("--not-set"), QStringLiteral("--replace"),
              QStringLiteral("killed run <%sAMAccountname%>"), QStringLiteral("--apply")});
    ASSERT_TRUE(p.waitForStarted());
    // Killed once some rows are in the journal, in the middle of the run.
    const QString file = folder() + QLatin1Char('/') + QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate) + QStringLiteral(".jsonl");
    for (int i = 0; i < 6000 && p.state() == QProcess::Running; ++i) {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly) && f.readAll().count('\n') >= 12)
            break;
        QThread::msleep(10);
    }
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    p.waitForFinished(30000);
    ASSERT_EQ(p.exitStatus(), QProcess::CrashExit) << "the run ended before it could be killed";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    // Only complete lines count: a last line without its line break was being written.
    bytes.truncate(bytes.lastIndexOf('\n') + 1);
    QTemporaryDir complete;
    QFile copy(complete.filePath(QStringLiteral("2000-01-01.jsonl")));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(bytes);
    copy.close();
    const QJsonArray entries = testsupport::journalEntriesByPython(complete.path());
    EXPECT_GE(entries.size(), 6);
    EXPECT_LT(entries.size(), 30);
    // The program's own listing shows every entry; one without an outcome is "not known".
    const CliRun listed = cli({QStringLiteral("journal"), QStringLiteral("list")});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_GE(listed.lines.size(), entries.size());
    for (const QJsonValue &v : entries) {
        if (!v.toObject().contains(QStringLiteral("outcome"))) {
            EXPECT_TRUE(listed.lines.join(QLatin1Char('\n')).contains(v.toObject()[QStringLiteral("id")].toString() + QStringLiteral("\tnot known")));
        }
    }
}

TEST_F(JournalCli, AWriteWhoseProcessDiedBeforeItsOutcomeIsNotKnownAndCanBeUndone)
{
    const QString dee = ou.user(QStringLiteral("Rep Dee"));
    const QStringList before = valuesOf(dee, QStringLiteral("description"));
    QProcess helper;
    helper.setProcessEnvironment(env(state()));
    helper.start(QStringLiteral(ARV_KILL_HELPER_PATH), {folder(), dee});
    ASSERT_TRUE(helper.waitForFinished(120000));
    ASSERT_EQ(helper.exitStatus(), QProcess::CrashExit) << helper.readAllStandardError().toStdString();
    // The modify went through; only its outcome line is missing.
    EXPECT_EQ(valuesOf(dee, QStringLiteral("description")), QStringList{QStringLiteral("written before the kill")});
    const QJsonObject e = byDn(listJson({QStringLiteral("--dn"), dee}), dee);
    ASSERT_FALSE(e.isEmpty());
    EXPECT_EQ(e[QStringLiteral("outcome")].toString(), QStringLiteral("not known"));
    EXPECT_TRUE(e[QStringLiteral("undoable")].toBool());
    const CliRun undone = cli({QStringLiteral("journal"), QStringLiteral("undo"), e[QStringLiteral("id")].toString(),
                               QStringLiteral("--apply")});
    EXPECT_EQ(undone.exitCode, 0) << undone.err.toStdString() << undone.lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(valuesOf(dee, QStringLiteral("description")), before);
}
