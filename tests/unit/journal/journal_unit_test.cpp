// The change journal without a directory: its line format read back by Python, cut lines,
// the folder's and files' modes, retention, the undo plan and the rule that only the directory
// layer sends modify requests.
#include "journal/journalentry.h"
#include "journal/journalstore.h"
#include "journal/recorder.h"
#include "journal/undo.h"
#include "platform/adsi/adserror.h"
#include "platform/registry/registry.h"
#include "support/journalread.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace journal;

namespace {

QByteArray guid16() { return QByteArray::fromHex("00112233445566778899aabbccddeeff"); }

ads::WriteRequest sampleRequest()
{
    ads::WriteRequest r;
    r.kind = ads::WriteKind::Modify;
    r.server = QStringLiteral("dc1.example.test:389");
    r.identity = QStringLiteral("u:EXAMPLE\\admin");
    r.dn = QStringLiteral("CN=Jane \"J\" Doe\\, Jr.,OU=Staff,DC=example,DC=test");
    r.guid = guid16();
    ads::WriteChange text;
    text.attribute = QStringLiteral("description");
    text.type = ads::ADSTYPE_CASE_IGNORE_STRING;
    text.before = {QByteArray("old \"quoted\"\nline, ü")};
    text.after = {QByteArray("{\"v\":1,\"type\":\"intent\"} inside a value")};
    ads::WriteChange multi;
    multi.attribute = QStringLiteral("otherTelephone");
    multi.type = ads::ADSTYPE_CASE_IGNORE_STRING;
    multi.whole = false;
    multi.before = {QByteArray("1"), QByteArray("2")};
    multi.after = {QByteArray("3")};
    ads::WriteChange sd;
    sd.attribute = QStringLiteral("nTSecurityDescriptor");
    sd.type = ads::ADSTYPE_NT_SECURITY_DESCRIPTOR;
    sd.before = {QByteArray("\x01\x00\x04\x80\xff", 5)};
    sd.after = {QByteArray("\x01\x00\x04\x80\xfe", 5)};
    ads::WriteChange notUtf8;  // a text attribute holding bytes that are no UTF-8
    notUtf8.attribute = QStringLiteral("info");
    notUtf8.type = ads::ADSTYPE_CASE_IGNORE_STRING;
    notUtf8.after = {QByteArray("\xc3\x28 broken", 9)};
    r.changes = {text, multi, sd, notUtf8};
    return r;
}

} // namespace

TEST(JournalLines, EveryFieldSurvivesTheFileAndPythonReadsTheSameValues)
{
    QTemporaryDir dir;
    Store store(dir.path());
    Entry e = entryFromRequest(sampleRequest());
    e.run = QStringLiteral("run-1");
    e.runKind = QStringLiteral("replace");
    e.undoes = {QStringLiteral("older")};
    QString error;
    const QDate day = e.time.date();
    ASSERT_TRUE(store.append(day, intentLine(e), &error)) << error.toStdString();
    e.outcomeRecorded = true;
    e.outcome = Outcome::Refused;
    e.status = QStringLiteral("0x8007200A");
    e.reason = QStringLiteral("no such attribute");
    e.outcomeTime = e.time.addSecs(1);
    e.stored = {{QStringLiteral("nTSecurityDescriptor"), {QByteArray("\x01\x02", 2)}}};
    ASSERT_TRUE(store.append(day, outcomeLine(e), &error));

    const QJsonArray py = testsupport::journalRecordsByPython(dir.path());
    ASSERT_EQ(py.size(), 2);
    const QJsonObject intent = py[0].toObject();
    EXPECT_EQ(intent[QStringLiteral("dn")].toString(), sampleRequest().dn);
    EXPECT_EQ(intent[QStringLiteral("guid")].toString(), QStringLiteral("{33221100-5544-7766-8899-AABBCCDDEEFF}"));
    const QJsonArray changes = intent[QStringLiteral("changes")].toArray();
    ASSERT_EQ(changes.size(), 4);
    EXPECT_EQ(changes[0].toObject()[QStringLiteral("before")].toArray()[0].toString(),
              QString::fromUtf8("old \"quoted\"\nline, ü"));
    EXPECT_EQ(changes[1].toObject()[QStringLiteral("mode")].toString(), QStringLiteral("values"));
    EXPECT_EQ(changes[2].toObject()[QStringLiteral("encoding")].toString(), QStringLiteral("base64"));
    EXPECT_EQ(changes[2].toObject()[QStringLiteral("undo")].toString(), QStringLiteral("replace-if-unchanged"));
    EXPECT_EQ(QByteArray::fromBase64(changes[3].toObject()[QStringLiteral("after")].toArray()[0].toString().toLatin1()),
              QByteArray("\xc3\x28 broken", 9));
    EXPECT_EQ(py[1].toObject()[QStringLiteral("outcome")].toString(), QStringLiteral("refused"));

    const ReadResult back = readJournal(dir.path());
    ASSERT_EQ(back.entries.size(), 1);
    const Entry &r = back.entries.first();
    EXPECT_EQ(r.dn, e.dn);
    EXPECT_EQ(r.guid, guid16());
    EXPECT_EQ(r.run, QStringLiteral("run-1"));
    EXPECT_EQ(r.undoes, QStringList{QStringLiteral("older")});
    EXPECT_EQ(r.outcome, Outcome::Refused);
    EXPECT_EQ(r.reason, e.reason);
    ASSERT_EQ(r.changes.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r.changes[i].before, e.changes[i].before) << i;
        EXPECT_EQ(r.changes[i].after, e.changes[i].after) << i;
        EXPECT_EQ(r.changes[i].whole, e.changes[i].whole) << i;
    }
    ASSERT_NE(r.storedValues(QStringLiteral("ntsecuritydescriptor")), nullptr);
    EXPECT_FALSE(r.undoable());  // refused: nothing was written
}

TEST(JournalLines, SecretsKeepNoValueAndLargeValuesOnlyTheirSizeAndHash)
{
    ads::WriteRequest r = sampleRequest();
    r.changes.clear();
    ads::WriteChange pwd;
    pwd.attribute = QStringLiteral("unicodePwd");
    pwd.after = {QByteArray("\"S3cret-Pa55\"")};  // even if a caller passed one
    ads::WriteChange laps;
    laps.attribute = QStringLiteral("ms-Mcs-AdmPwd");
    laps.after = {QByteArray("Laps-S3cret")};
    ads::WriteChange confidential;
    confidential.attribute = QStringLiteral("someConfidentialAttribute");
    confidential.confidential = true;
    confidential.after = {QByteArray("Conf-S3cret")};
    ads::WriteChange photo;
    photo.attribute = QStringLiteral("jpegPhoto");
    photo.type = ads::ADSTYPE_OCTET_STRING;
    photo.before = {QByteArray(700 * 1024, 'a')};
    photo.after = {QByteArray(700 * 1024, 'b')};  // the two together exceed the budget
    r.changes = {pwd, laps, confidential, photo};
    const Entry e = entryFromRequest(r);
    const QByteArray line = intentLine(e);
    for (const char *secret : {"S3cret-Pa55", "Laps-S3cret", "Conf-S3cret"})
        EXPECT_FALSE(line.contains(secret)) << secret;
    EXPECT_TRUE(e.changes[0].secret && e.changes[1].secret && e.changes[2].secret);
    EXPECT_FALSE(e.changes[2].undoable());
    EXPECT_FALSE(e.changes[3].before.first().omitted);
    ASSERT_TRUE(e.changes[3].after.first().omitted);
    EXPECT_EQ(e.changes[3].after.first().size, 700 * 1024);
    EXPECT_EQ(e.changes[3].after.first().sha256Hex,
              QCryptographicHash::hash(QByteArray(700 * 1024, 'b'), QCryptographicHash::Sha256).toHex());
    EXPECT_FALSE(e.changes[3].undoable());
    EXPECT_LT(line.size(), 1100 * 1024);
    EXPECT_FALSE(e.undoable());
}

TEST(JournalFiles, CutLinesAreSkippedAndTheRecordsAfterThemKept)
{
    Entry a = entryFromRequest(sampleRequest());
    Entry b = entryFromRequest(sampleRequest());
    Entry c = entryFromRequest(sampleRequest());
    const QByteArray lineA = intentLine(a), lineB = intentLine(b), lineC = intentLine(c);
    // A crash cut A short; another process appended B right behind it, on the same line.
    QByteArray bytes = lineA.left(lineA.size() / 2) + lineB + lineC.left(40);
    ReadResult r;
    readRecords(bytes, &r);
    ASSERT_EQ(r.entries.size(), 1);
    EXPECT_EQ(r.entries.first().id, b.id);
    EXPECT_EQ(r.skippedLines, 2);
    EXPECT_FALSE(r.entries.first().outcomeRecorded);  // shown as not known
    EXPECT_EQ(entryToJson(r.entries.first())[QStringLiteral("outcome")].toString(), QStringLiteral("not known"));
}

TEST(JournalFiles, FolderAndFilesAreOwnerOnlyAndAFileInTheWayIsAnError)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("state/arvendel/journal"));
    QDir().mkpath(dir.filePath(QStringLiteral("state/arvendel")));
    QFile::setPermissions(dir.filePath(QStringLiteral("state/arvendel")), QFileDevice::Permissions(0x7755));
    Store store(folder);
    QString error;
    const QDate day(2024, 2, 29);
    ASSERT_TRUE(store.append(day, QByteArrayLiteral("{\"v\":1}\n"), &error)) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(QFile::encodeName(dir.filePath(QStringLiteral("state/arvendel"))).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(QFile::encodeName(folder + QStringLiteral("/2024-02-29.jsonl")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The state folder is a file: nothing can be written, and the recorder says so before
    // the write goes out, asking its policy.
    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Recorder recorder(dir.filePath(QStringLiteral("blocked/arvendel/journal")));
    EXPECT_FALSE(recorder.check(&error));
    ads::WriteRequest req = sampleRequest();
    quint64 ticket = 99;
    EXPECT_EQ(recorder.aboutToWrite(req, &ticket), ads::HR_WRITE_NOT_RECORDED);
    std::uint32_t code = 0;
    QString text, provider;
    ads::ADsGetLastError(&code, &text, &provider);
    EXPECT_TRUE(text.contains(QStringLiteral("change journal cannot be written"))) << text.toStdString();
    QStringList asked;
    recorder.setUnrecordedWritePolicy([&](const QString &why) {
        asked << why;
        return true;
    });
    EXPECT_EQ(recorder.aboutToWrite(req, &ticket), ads::S_OK);
    EXPECT_EQ(recorder.aboutToWrite(req, &ticket), ads::S_OK);
    EXPECT_EQ(asked.size(), 1);  // one question until the journal works again
    EXPECT_EQ(ticket, 0u);
}

TEST(JournalFiles, RetentionRemovesWholeDaysOlderThanTheSetting)
{
    QTemporaryDir dir;
    const QDate today(2025, 3, 10);
    for (const QDate &d : {today, today.addDays(-90), today.addDays(-91), today.addDays(-400)}) {
        QFile f(dir.filePath(dayFileName(d)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFile other(dir.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    EXPECT_EQ(prune(dir.path(), 0, today), 0);  // 0 keeps everything
    EXPECT_EQ(prune(dir.path(), 90, today), 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("2024-12-10.jsonl"), QStringLiteral("2025-03-10.jsonl"), QStringLiteral("notes.txt")}));

    registry::setStoreFile(dir.filePath(QStringLiteral("registry.ini")));
    EXPECT_EQ(retentionDays(), kDefaultRetentionDays);
    EXPECT_TRUE(setRetentionDays(0));
    EXPECT_EQ(retentionDays(), 0);
    registry::setStoreFile(QString());
}

namespace {

Entry entry(const QString &id, int second, const QString &attr, QList<QByteArray> before, QList<QByteArray> after,
            const QByteArray &guid = guid16(), const QString &dn = QStringLiteral("CN=u,DC=x"))
{
    Entry e;
    e.id = id;
    e.kind = QStringLiteral("modify");
    e.time = QDateTime(QDate(2025, 1, 1), QTime(10, 0, second), Qt::UTC);
    e.dn = dn;
    e.guid = guid;
    e.outcomeRecorded = true;
    e.outcome = Outcome::Written;
    Change c;
    c.attribute = attr;
    const AttributeRule rule = ruleFor(attr);
    c.undo = rule.undo;
    c.secret = rule.secret;
    c.why = rule.why;
    for (const QByteArray &b : before)
        c.before.append(Value{b, false, b.size(), {}});
    for (const QByteArray &a : after)
        c.after.append(Value{a, false, a.size(), {}});
    e.changes = {c};
    return e;
}

} // namespace

TEST(UndoPlanning, OneModifyPerObjectWithChainsFoldedAndUnundoableEntriesSkipped)
{
    Entry first = entry(QStringLiteral("e1"), 1, QStringLiteral("title"), {"a"}, {"b"});
    Entry second = entry(QStringLiteral("e2"), 2, QStringLiteral("title"), {"b"}, {"c"}, guid16(),
                         QStringLiteral("CN=renamed,DC=x"));
    Entry added = entry(QStringLiteral("e3"), 3, QStringLiteral("member"), {}, {"CN=m,DC=x"});
    Entry lockout = entry(QStringLiteral("e4"), 4, QStringLiteral("lockoutTime"), {"123"}, {"0"});
    Entry refused = entry(QStringLiteral("e5"), 5, QStringLiteral("title"), {"c"}, {"d"});
    refused.outcome = Outcome::Refused;
    Entry other = entry(QStringLiteral("e6"), 6, QStringLiteral("title"), {"x"}, {"y"},
                        QByteArray::fromHex("ffeeddccbbaa99887766554433221100"));
    Entry sd = entry(QStringLiteral("e7"), 7, QStringLiteral("nTSecurityDescriptor"), {"sd-before"}, {"sd-written"},
                     guid16(), QStringLiteral("CN=renamed,DC=x"));
    sd.stored = {{QStringLiteral("nTSecurityDescriptor"), {QByteArray("sd-as-stored")}}};

    const UndoPlan plan = planUndo({first, second, added, lockout, refused, other, sd});
    ASSERT_EQ(plan.skipped.size(), 2);  // the lock-out cannot be put back; the refusal wrote nothing
    EXPECT_EQ(plan.skipped[0].id, QStringLiteral("e5"));
    EXPECT_EQ(plan.skipped[1].id, QStringLiteral("e4"));
    ASSERT_EQ(plan.objects.size(), 2);
    const UndoObject &u = plan.objects[0];  // its newest entry comes first
    EXPECT_EQ(plan.objects[1].entryIds, QStringList{QStringLiteral("e6")});
    EXPECT_EQ(u.recordedDn, QStringLiteral("CN=renamed,DC=x"));  // the newest name
    EXPECT_EQ(u.entryIds, (QStringList{QStringLiteral("e7"), QStringLiteral("e3"), QStringLiteral("e2"), QStringLiteral("e1")}));
    ASSERT_EQ(u.steps.size(), 4);
    EXPECT_EQ(u.steps[0].kind, UndoStep::ReplaceIfUnchanged);
    EXPECT_EQ(u.steps[0].expected, QByteArray("sd-as-stored"));
    EXPECT_EQ(u.steps[0].values, QList<QByteArray>{"sd-before"});
    EXPECT_EQ(u.steps[1].kind, UndoStep::DeleteValues);
    EXPECT_EQ(u.steps[1].values, QList<QByteArray>{"CN=m,DC=x"});
    // a -> b -> c is put back as one step: delete c, add a.
    EXPECT_EQ(u.steps[2].kind, UndoStep::DeleteValues);
    EXPECT_EQ(u.steps[2].values, QList<QByteArray>{"c"});
    EXPECT_EQ(u.steps[3].kind, UndoStep::AddValues);
    EXPECT_EQ(u.steps[3].values, QList<QByteArray>{"a"});

    // A chain with a gap (someone else's change between the two) is not folded.
    Entry gap = entry(QStringLiteral("e8"), 8, QStringLiteral("title"), {"q"}, {"r"});
    const UndoPlan broken = planUndo({first, gap});
    ASSERT_EQ(broken.objects.size(), 1);
    EXPECT_EQ(broken.objects[0].steps.size(), 4);
}

TEST(JournalFilter, AnObjectsEntriesAreFoundUnderEveryNameItHad)
{
    const Entry early = entry(QStringLiteral("e1"), 1, QStringLiteral("title"), {"a"}, {"b"}, guid16(),
                              QStringLiteral("CN=Old Name,OU=A,DC=x"));
    const Entry late = entry(QStringLiteral("e2"), 9, QStringLiteral("title"), {"b"}, {"c"}, guid16(),
                             QStringLiteral("CN=New Name,OU=B,DC=x"));
    Entry otherRun = entry(QStringLiteral("e3"), 5, QStringLiteral("title"), {"b"}, {"c"},
                           QByteArray::fromHex("ffeeddccbbaa99887766554433221100"), QStringLiteral("CN=Else,DC=x"));
    otherRun.run = QStringLiteral("0123456789abcdef");
    Filter f;
    f.object = QStringLiteral("cn=new name,ou=b,dc=x");
    EXPECT_EQ(filterEntries({early, late, otherRun}, f).size(), 2);
    f.object = QStringLiteral("Old Name");
    f.objectContains = true;
    EXPECT_EQ(filterEntries({early, late, otherRun}, f).size(), 2);
    f = Filter();
    f.run = QStringLiteral("01234567");
    ASSERT_EQ(filterEntries({early, late, otherRun}, f).size(), 1);
    f.run = QStringLiteral("0123");  // too short to stand for a run
    EXPECT_TRUE(filterEntries({early, late, otherRun}, f).isEmpty());
    f = Filter();
    f.since = QDateTime(QDate(2025, 1, 1), QTime(10, 0, 5), Qt::UTC);
    EXPECT_EQ(filterEntries({early, late, otherRun}, f).size(), 2);
}

// Every modify, add, delete and rename request leaves the program through the directory
// layer's write functions, and each of those tells the write recorder.
TEST(WritePaths, OnlyTheDirectoryLayerSendsWritesAndEveryOneIsRecorded)
{
    const QString src = qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/src");
    ASSERT_TRUE(QDir(src).exists()) << src.toStdString();
    static const QRegularExpression call(
        QStringLiteral("\\bldap_(modify|add|delete|rename|modrdn|modrdn2|passwd|extended_operation)\\w*\\s*\\("));
    static const QRegularExpression writeTool(QStringLiteral("\"(ldapmodify|ldapadd|ldapdelete|ldapmodrdn|ldappasswd)\""));
    int calls = 0;
    QDirIterator it(src, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        EXPECT_FALSE(writeTool.match(text).hasMatch()) << path.toStdString() << " runs a directory write tool";
        const bool layer = path.contains(QStringLiteral("/src/platform/adsi/"));
        auto m = call.globalMatch(text);
        while (m.hasNext()) {
            const auto hit = m.next();
            EXPECT_TRUE(layer) << path.toStdString() << " sends " << hit.captured(0).toStdString();
            if (!layer)
                continue;
            ++calls;
            // The function around the call: from the last line that starts a function
            // ("HRESULT Object::...") up to the call.
            const qsizetype start = text.lastIndexOf(QRegularExpression(QStringLiteral("\\n\\S[^\\n]*\\)\\n\\{")), hit.capturedStart());
            const QString body = text.mid(start, hit.capturedStart() - start);
            EXPECT_TRUE(body.contains(QStringLiteral("WriteCall journal(")) && body.contains(QStringLiteral("journal.begin(")))
                << path.toStdString() << ": " << hit.captured(0).toStdString() << " is not recorded";
        }
    }
    EXPECT_EQ(calls, 4);  // SetInfo (modify, add), Delete, SetPassword
}
