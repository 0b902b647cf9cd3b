// Stored query records: the byte layout, malformed values, numbering, and the text file.
#include "platform/registry/registry.h"
#include "query/savedqueries.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace query;

namespace {

QString s(const char *t) { return QString::fromUtf8(t); }

QByteArray le32(quint32 v)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

QByteArray utf16(const char *ascii)
{
    QByteArray b;
    for (const char *p = ascii; *p; ++p) {
        b.append(*p);
        b.append('\0');
    }
    return b;
}

class Store : public ::testing::Test {
protected:
    void SetUp() override { registry::setStoreFile(dir.filePath(QStringLiteral("registry.ini"))); }
    void TearDown() override { registry::setStoreFile(QString()); }
    QTemporaryDir dir;
};

} // namespace

TEST(QueryRecord, LayoutIsByteExact)
{
    const QByteArray expected = le32(10) + le32(36) + utf16("Sales") + utf16("(department=Sales)") + QByteArray(1, '\1');
    ASSERT_EQ(expected.size(), 55);
    EXPECT_EQ(encodeQueryRecord({s("Sales"), s("(department=Sales)"), true}), expected);
    const std::optional<SavedQuery> q = decodeQueryRecord(expected);
    ASSERT_TRUE(q);
    EXPECT_EQ(*q, (SavedQuery{s("Sales"), s("(department=Sales)"), true}));
    // Non-Latin text and an empty query, flag false.
    const SavedQuery u{s("Größe 日本"), QString(), false};
    const QByteArray b = encodeQueryRecord(u);
    EXPECT_EQ(b.size(), 2 * 8 + 9); // eight UTF-16 units
    EXPECT_EQ(b.at(b.size() - 1), '\0');
    EXPECT_EQ(decodeQueryRecord(b), u);
}

TEST(QueryRecord, MalformedRecordsAreRefusedWithoutReadingPastThem)
{
    const QByteArray good = encodeQueryRecord({s("A"), s("(cn=x)"), true});
    EXPECT_FALSE(decodeQueryRecord(QByteArray()));
    EXPECT_FALSE(decodeQueryRecord(good.left(8)));
    EXPECT_FALSE(decodeQueryRecord(good.left(good.size() - 1)));    // flag missing
    EXPECT_FALSE(decodeQueryRecord(good + QByteArray(1, '\0')));    // a byte too many
    QByteArray huge = good;
    huge.replace(0, 4, le32(0xFFFFFFFEu));                          // length beyond the value
    EXPECT_FALSE(decodeQueryRecord(huge));
    QByteArray wrap = good;                                         // lengths that wrap 32 bits
    wrap.replace(0, 4, le32(0xFFFFFFFFu));
    wrap.replace(4, 4, le32(static_cast<quint32>(good.size() - 9) + 1));
    EXPECT_FALSE(decodeQueryRecord(wrap));
    const QByteArray odd = le32(3) + le32(0) + QByteArray("abc") + QByteArray(1, '\1');
    EXPECT_FALSE(decodeQueryRecord(odd));
}

TEST_F(Store, NewQueriesGoAboveTheLargestNumberAndLoadInNumericOrder)
{
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(SaveQuery(s("-1"), {s("q%1").arg(i), s("(cn=%1)").arg(i), false}), QString::number(i));
    EXPECT_EQ(SaveQuery(s("-1"), {s("eleventh"), s("(sn=x)"), true}), s("11"));
    // An existing value name is overwritten in place.
    EXPECT_EQ(SaveQuery(s("3"), {s("three"), s("(cn=3)"), true}), s("3"));
    const SavedQueryList list = LoadSavedQueries();
    ASSERT_EQ(list.queries.size(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(list.queries.at(i).valueName, QString::number(i));
    EXPECT_EQ(list.queries.at(3).query.name, s("three"));
    EXPECT_EQ(list.queries.at(11).query, (SavedQuery{s("eleventh"), s("(sn=x)"), true}));
}

TEST_F(Store, SavingAllRenumbersWithoutGaps)
{
    for (const char *n : {"a", "b", "c"})
        SaveQuery(s("-1"), {s(n), s("(cn=%1)").arg(s(n)), false});
    QList<SavedQuery> kept;
    for (const StoredQuery &q : LoadSavedQueries().queries)
        if (q.query.name != s("b"))
            kept << q.query;
    ASSERT_TRUE(SaveAllQueries(kept));
    registry::Key key;
    ASSERT_TRUE(key.open(savedQueriesKey(), registry::Access::Read, false));
    QStringList names = key.valueNames();
    names.sort();
    EXPECT_EQ(names, QStringList({s("0"), s("1")}));
    EXPECT_EQ(decodeQueryRecord(*key.readBinary(s("1")))->name, s("c"));
}

// The settings file may refuse a write (a full disk; here a file-size limit). Whatever
// fails, the file keeps the stored list whole: nothing is removed before the new list is in.
TEST_F(Store, AListThatCannotBeWrittenLeavesTheStoredQueriesInTheFile)
{
    QList<SavedQuery> stored;
    for (int i = 0; i < 40; ++i)
        stored << SavedQuery{s("query %1").arg(i), s("(description=%1)").arg(QString(60, QLatin1Char('a' + i % 26))), i % 2 == 0};
    ASSERT_TRUE(SaveAllQueries(stored));
    const QString file = registry::storeFile();
    const qint64 size = QFileInfo(file).size();
    QList<SavedQuery> more = stored;
    more << SavedQuery{s("long"), s("(info=%1)").arg(QString(4000, QLatin1Char('x'))), false};

    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit limit = old;
    limit.rlim_cur = rlim_t(size + 512);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    QString error;
    const bool saved = SaveAllQueries(more, &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.isEmpty());

    // The file as another reader sees it: a fresh QSettings on a copy.
    const QString copy = dir.filePath(s("copy.ini"));
    ASSERT_TRUE(QFile::copy(file, copy));
    QSettings ini(copy, QSettings::IniFormat);
    ini.beginGroup(s("Software/Vastrel/Pordex/LDAPQ"));
    EXPECT_EQ(ini.childKeys().filter(QRegularExpression(s("^v\\.\\d+$"))).size(), 40);
    // And this process still lists the stored queries, not the list that failed.
    const SavedQueryList back = LoadSavedQueries();
    ASSERT_EQ(back.queries.size(), 40);
    EXPECT_EQ(back.queries.at(39).query, stored.at(39));

    // Without the limit the same list is saved, and only then are the extra values gone.
    ASSERT_TRUE(SaveAllQueries(more, &error)) << error.toStdString();
    EXPECT_EQ(LoadSavedQueries().queries.size(), 41);
    ASSERT_TRUE(SaveAllQueries(stored.mid(0, 3)));
    EXPECT_EQ(LoadSavedQueries().queries.size(), 3);
}

TEST_F(Store, UnreadableValuesAreSkippedAndTheRestStillLoad)
{
    SaveQuery(s("-1"), {s("good"), s("(cn=g)"), true});
    {
        registry::Key key;
        ASSERT_TRUE(key.open(savedQueriesKey(), registry::Access::ReadWrite));
        key.writeBinary(s("1"), le32(400) + le32(2) + QByteArray("xx") + QByteArray(1, '\0'));
        key.writeString(s("2"), s("not binary"));
        key.writeBinary(s("3"), encodeQueryRecord({s("after"), s("(cn=a)"), false}));
    }
    const SavedQueryList list = LoadSavedQueries();
    ASSERT_EQ(list.queries.size(), 2);
    EXPECT_EQ(list.queries.at(1).query.name, s("after"));
    EXPECT_EQ(list.skipped, QStringList({s("1"), s("2")}));
    EXPECT_TRUE(skippedQueriesText(list.skipped).contains(s("1, 2")));
}

TEST(QueryFile, BothEncodingsReadBackByPython)
{
    QTemporaryDir dir;
    const QList<SavedQuery> qs{{s("One €"), s("(cn=“1”)"), true}, {s("Zwei ß"), s("(sn=日本)"), false}};
    EXPECT_EQ(queriesFileText(qs), s("[One €]\r\n(cn=“1”)\r\n\r\n\r\n\r\n[Zwei ß]\r\n(sn=日本)\r\n"));
    const QString ansi = dir.filePath(s("a.txt")), wide = dir.filePath(s("w.txt"));
    // The 8-bit file is Windows-1252 like the exports: the euro sign and typographic quotes
    // survive, and what it cannot hold is counted.
    int lost = 0;
    ASSERT_TRUE(writeQueriesFile(ansi, qs, false, nullptr, &lost));
    EXPECT_EQ(lost, 2);
    ASSERT_TRUE(writeQueriesFile(wide, qs, true));
    auto pyRead = [](const QString &path, const char *encoding) {
        QProcess p;
        p.start(s("python3"), {s("-c"), s("import sys; d=open(sys.argv[1],'rb').read(); "
                                          "sys.stdout.buffer.write(d.decode(sys.argv[2]).encode('utf-8'))"),
                                path, s(encoding)});
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    EXPECT_EQ(pyRead(ansi, "cp1252"), s("[One €]\r\n(cn=“1”)\r\n\r\n\r\n\r\n[Zwei ß]\r\n(sn=?" "?)\r\n"));
    EXPECT_EQ(pyRead(wide, "utf-16"), queriesFileText(qs)); // the BOM tells Python the byte order
    QFile f(wide);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(2) == QByteArray("\xFF\xFE", 2));
    EXPECT_TRUE(flagFromText(s("-1")) && flagFromText(s("True")) && flagFromText(s("1")));
    EXPECT_FALSE(flagFromText(s("0")) || flagFromText(s("no")));
}
