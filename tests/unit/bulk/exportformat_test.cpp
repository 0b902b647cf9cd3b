// The export formats on fixed rows: byte-exact golden files, and every format read back by an
// independent reader (Python's csv, xml.etree, html.parser, sqlite3, openpyxl).
#include "bulk/exportengine.h"
#include "bulk/exportinternal.h"
#include "core/unSearch.h"
#include "platform/adsi/adstypes.h"
#include "platform/office/workbook.h"
#include "export_support.h"
#include "support/pipewatch.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace bulk;

namespace {

ExportColumn col(const char *name, ColumnKind kind, int maxLength = 0, bool multi = false)
{
    ExportColumn c;
    c.ldapName = QString::fromLatin1(name);
    c.caption = c.ldapName;
    c.kind = kind;
    c.maxLength = maxLength;
    c.multiValued = multi;
    return c;
}

ExportColumn wide(ExportColumn c)
{
    c.wide = true;
    return c;
}

QList<ExportColumn> columns()
{
    return {col("cn", ColumnKind::Text, 64), col("memberOf", ColumnKind::Text, 0, true),
            col("logonCount", ColumnKind::Integer), wide(col("uSNChanged", ColumnKind::Integer)),
            col("enabled", ColumnKind::Boolean), col("whenCreated", ColumnKind::DateTime),
            col("thumbnailPhoto", ColumnKind::Octet), col("groupType", ColumnKind::Integer)};
}

// Three users: quotes, commas, a line break and Unicode; absent values; a 64-bit number.
QList<QVariantList> rows()
{
    const QVariant date = QVariant::fromValue(ads::AdsDate::fromFields(2024, 3, 5, 14, 7, 9));
    return {
        {QStringLiteral("O'Brien, Pat"), QVariantList{QStringLiteral("CN=A"), QStringLiteral("CN=B")}, 7,
         qint64(5000000000LL), true, date, QByteArray("\x01\xAB\xFF", 3), -2147483646},
        {QStringLiteral("Line\r\nBreak <&> \"q\""), QVariant(), QVariant(), QVariant(), false,
         QVariant::fromValue(ads::AdsDate()), QVariant(), 4},
        {QStringLiteral("Jörg Ærø"), QString(), 0, qint64(-1), QVariant(), QVariant(), QByteArray(), 8},
    };
}

QString goldenDir()
{
    return qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/unit/bulk/golden");
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ExportFormat : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        opt.dateTimeFormat = QStringLiteral("yyyy-mm-dd hh:nn:ss");
        opt.includeDN = false;
    }
    ExportResult write(const QString &file, const QList<QVariantList> &data = rows(), const ExportEngine::Progress &p = {})
    {
        opt.fileName = dir.filePath(file);
        int i = 0;
        return ExportEngine().write(columns(), opt, [&](QVariantList *row) {
            if (i >= data.size())
                return false;
            *row = data.at(i++);
            return true;
        }, p);
    }
    static QJsonObject readBack(const QStringList &args) { return exporttest::readBack(args); }
    void expectGolden(const QString &file, const QString &golden)
    {
        const QByteArray got = readAll(dir.filePath(file));
        const QString goldenPath = goldenDir() + QLatin1Char('/') + golden;
        if (qEnvironmentVariableIsSet("ARV_UPDATE_GOLDEN")) {
            QFile f(goldenPath);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(got);
        }
        EXPECT_EQ(got, readAll(goldenPath)) << golden.toStdString();
    }
    static QStringList cells(const QJsonArray &row)
    {
        QStringList out;
        for (const auto &v : row)
            out << (v.isNull() ? QStringLiteral("<null>") : v.toString());
        return out;
    }
    QTemporaryDir dir;
    ExportOptions opt;
};

TEST_F(ExportFormat, CsvQuotesTextAndMultiValuesAndKeepsNumbersWhole)
{
    opt.type = ExportType::Csv;
    opt.unicode = false;
    ASSERT_TRUE(write(QStringLiteral("a.csv")).ok);
    expectGolden(QStringLiteral("a.csv"), QStringLiteral("csv_ansi.csv"));
    const QJsonObject j = readBack({QStringLiteral("csv"), dir.filePath(QStringLiteral("a.csv")), QStringLiteral("cp1252")});
    const QJsonArray r = j.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(cells(r.at(0).toArray()),
              (QStringList{QStringLiteral("O'Brien, Pat"), QStringLiteral("CN=A|CN=B"), QStringLiteral("7"),
                           QStringLiteral("5000000000"), QStringLiteral("True"), QStringLiteral("2024-03-05 14:07:09"),
                           QStringLiteral("01ABFF"), QStringLiteral("Security Group - Global")}));
    // Absent text gives the null text, absent numbers and octet strings nothing; CR LF stays
    // inside the quotes.
    EXPECT_EQ(cells(r.at(1).toArray()),
              (QStringList{QStringLiteral("Line\r\nBreak <&> \"q\""), QStringLiteral("null"), QString(), QString(),
                           QStringLiteral("False"), QStringLiteral("null"), QString(), QStringLiteral("Distribution Group - Local")}));
    EXPECT_EQ(r.at(2).toArray().at(0).toString(), QStringLiteral("Jörg Ærø"));
    EXPECT_EQ(r.at(2).toArray().at(6).toString(), QString());
}

TEST_F(ExportFormat, UnicodeCsvHasByteOrderMarkAndKeepsEveryCharacter)
{
    opt.type = ExportType::Csv;
    auto data = rows();
    data[2][0] = QStringLiteral("Мария 漢字 😀");
    ASSERT_TRUE(write(QStringLiteral("u.csv"), data).ok);
    EXPECT_TRUE(readAll(dir.filePath(QStringLiteral("u.csv"))).startsWith("\xFF\xFE"));
    const QJsonObject j = readBack({QStringLiteral("csv"), dir.filePath(QStringLiteral("u.csv")), QStringLiteral("utf-16")});
    EXPECT_EQ(j.value(QStringLiteral("rows")).toArray().at(2).toArray().at(0).toString(), QStringLiteral("Мария 漢字 😀"));
}

TEST_F(ExportFormat, EightBitOutputCountsCharactersItCannotHold)
{
    opt.type = ExportType::Csv;
    opt.unicode = false;
    auto data = rows();
    data[2][0] = QStringLiteral("Мария € 😀");
    const ExportResult r = write(QStringLiteral("b.csv"), data);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.unmappable, 6);  // five Cyrillic letters and one emoji; the euro sign fits
    EXPECT_TRUE(readAll(dir.filePath(QStringLiteral("b.csv"))).contains("'????? \x80 ?'"));
}

TEST_F(ExportFormat, EmptySearchGivesCsvHeaderButEmptyStatementFiles)
{
    opt.type = ExportType::Csv;
    opt.unicode = false;
    ASSERT_TRUE(write(QStringLiteral("e.csv"), {}).ok);
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("e.csv"))),
              QByteArray("cn,memberOf,logonCount,uSNChanged,enabled,whenCreated,thumbnailPhoto,groupType\r\n"));
    for (ExportType t : {ExportType::Sql, ExportType::Xml, ExportType::Html}) {
        opt.type = t;
        opt.sqlCreateTable = true;
        ASSERT_TRUE(write(QStringLiteral("e.out"), {}).ok);
        EXPECT_EQ(readAll(dir.filePath(QStringLiteral("e.out"))), QByteArray()) << int(t);
    }
}

TEST_F(ExportFormat, SqlScriptWithCreateTableAndCommits)
{
    opt.type = ExportType::Sql;
    opt.unicode = false;
    opt.sqlCreateTable = true;
    opt.sqlCommitCount = 2;
    opt.sqlCommitAfterScript = true;
    ASSERT_TRUE(write(QStringLiteral("users.sql")).ok);
    EXPECT_EQ(opt.sqlTableName, QStringLiteral("USERS"));
    expectGolden(QStringLiteral("users.sql"), QStringLiteral("sql_create_commit.sql"));
    // The statements run in SQLite as they stand.
    QString script = QString::fromLatin1(readAll(dir.filePath(QStringLiteral("users.sql"))));
    script.replace(QStringLiteral("COMMIT;"), QString());
    QFile f(dir.filePath(QStringLiteral("script.sql")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(script.toUtf8());
    f.close();
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral("import sqlite3,sys; c=sqlite3.connect(':memory:'); c.executescript(open(sys.argv[1], newline='').read()); "
                                                  "print(ascii(c.execute('select cn, logonCount, uSNChanged from USERS').fetchall())); "
                                                  "print(ascii([(r[1], r[2].lower()) for r in c.execute('pragma table_info(USERS)')][2:4]))"),
             dir.filePath(QStringLiteral("script.sql"))});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
              QStringLiteral("[(\"O'Brien, Pat\", 7, 5000000000), ('Line\\r\\nBreak <&> \"q\"', None, None), ('J\\xf6rg \\xc6r\\xf8', 0, -1)]\n"
                             "[('logonCount', 'integer'), ('uSNChanged', 'bigint')]"))
        << p.readAllStandardError().toStdString();
}

TEST_F(ExportFormat, DataPacketXmlKeepsLineBreaksAndParses)
{
    opt.type = ExportType::Xml;
    opt.unicode = false;
    ASSERT_TRUE(write(QStringLiteral("a.xml")).ok);
    expectGolden(QStringLiteral("a.xml"), QStringLiteral("datapacket.xml"));
    const QJsonObject j = readBack({QStringLiteral("xml"), dir.filePath(QStringLiteral("a.xml"))});
    const QJsonArray r = j.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r.at(1).toArray().at(0).toString(), QStringLiteral("Line\r\nBreak <&> \"q\""));
    EXPECT_EQ(r.at(0).toArray().at(3).toString(), QStringLiteral("5000000000"));
    EXPECT_EQ(r.at(2).toArray().at(0).toString(), QStringLiteral("Jörg Ærø"));
    // The 64-bit column is declared 64-bit; the other numbers keep the 32-bit type.
    const QJsonObject types = j.value(QStringLiteral("types")).toObject();
    EXPECT_EQ(types.value(QStringLiteral("uSNChanged")).toString(), QStringLiteral("i8"));
    EXPECT_EQ(types.value(QStringLiteral("logonCount")).toString(), QStringLiteral("int"));
}

TEST_F(ExportFormat, UnicodeXmlDeclaresUtf16AndAdoXmlParses)
{
    opt.type = ExportType::Xml;
    ASSERT_TRUE(write(QStringLiteral("u.xml")).ok);
    EXPECT_EQ(opt.xmlEncoding, QStringLiteral("UTF-16"));
    EXPECT_EQ(readBack({QStringLiteral("xml"), dir.filePath(QStringLiteral("u.xml"))}).value(QStringLiteral("rows")).toArray().size(), 3);

    opt.xmlType = 1;
    opt.unicode = false;
    opt.xmlEncoding = QStringLiteral("Windows-1252");
    ASSERT_TRUE(write(QStringLiteral("ado.xml")).ok);
    const QJsonObject j = readBack({QStringLiteral("ado-xml"), dir.filePath(QStringLiteral("ado.xml"))});
    const QJsonArray r = j.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(cells(r.at(0).toArray()).mid(0, 6),
              (QStringList{QStringLiteral("O'Brien, Pat"), QStringLiteral("CN=A|CN=B"), QStringLiteral("7"),
                           QStringLiteral("5000000000"), QStringLiteral("-1"), QStringLiteral("2024-03-05T14:07:09")}));
    EXPECT_EQ(r.at(1).toArray().at(0).toString(), QStringLiteral("Line\r\nBreak <&> \"q\""));
    const QJsonObject types = j.value(QStringLiteral("types")).toObject();
    EXPECT_EQ(types.value(QStringLiteral("uSNChanged")).toString(), QStringLiteral("xsd:long"));
    EXPECT_EQ(types.value(QStringLiteral("logonCount")).toString(), QStringLiteral("xsd:int"));
    // Everything but the generation time is fixed.
    QByteArray got = readAll(dir.filePath(QStringLiteral("ado.xml")));
    got.replace(QRegularExpression(QStringLiteral("generated=\"[^\"]*\"")).match(QString::fromLatin1(got)).captured(0).toLatin1(),
                "generated=\"*\"");
    QFile f(dir.filePath(QStringLiteral("ado-masked.xml")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(got);
    f.close();
    expectGolden(QStringLiteral("ado-masked.xml"), QStringLiteral("ado.xml"));
}

TEST_F(ExportFormat, EightBitXmlDeclaringUtf8IsWrittenAsUtf8)
{
    opt.type = ExportType::Xml;
    opt.unicode = false;
    opt.xmlEncoding = QStringLiteral("UTF-8");
    auto data = rows();
    data[2][0] = QStringLiteral("Мария");
    const ExportResult r = write(QStringLiteral("u8.xml"), data);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.unmappable, 0);
    const QJsonObject j = readBack({QStringLiteral("xml"), dir.filePath(QStringLiteral("u8.xml"))});
    EXPECT_EQ(j.value(QStringLiteral("rows")).toArray().at(2).toArray().at(0).toString(), QStringLiteral("Мария"));
}

TEST_F(ExportFormat, HtmlWithTemplateEscapesAndBreaksLines)
{
    opt.type = ExportType::Html;
    opt.unicode = false;
    opt.htmlTitle = QStringLiteral("Users & more");
    ASSERT_TRUE(htmlTemplate(QStringLiteral("Classic"), &opt.colours, &opt.htmlFontName));
    ASSERT_TRUE(write(QStringLiteral("a.htm")).ok);
    expectGolden(QStringLiteral("a.htm"), QStringLiteral("classic.htm"));
    const QJsonObject j = readBack({QStringLiteral("html"), dir.filePath(QStringLiteral("a.htm")), QStringLiteral("cp1252")});
    const QJsonArray r = j.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r.at(1).toArray().at(0).toString(), QStringLiteral("Line\nBreak <&> \"q\""));
    EXPECT_EQ(r.at(0).toArray().at(1).toString(), QStringLiteral("CN=A\nCN=B"));
    const QByteArray html = readAll(dir.filePath(QStringLiteral("a.htm")));
    EXPECT_TRUE(html.contains("background: #333399;"));
    EXPECT_TRUE(html.contains("background-color: #ff0000;"));
}

TEST_F(ExportFormat, TemplateFileRoundTrips)
{
    HtmlColours c;
    QString font;
    ASSERT_TRUE(htmlTemplate(QStringLiteral("Murky"), &c, &font));
    QString error;
    ASSERT_TRUE(saveHtmlTemplateFile(dir.filePath(QStringLiteral("t.htf")), c, QStringLiteral("Verdana"), &error)) << error.toStdString();
    EXPECT_TRUE(readAll(dir.filePath(QStringLiteral("t.htf"))).startsWith("[HTML options]\r\nBackground-color=7763505\r\n"));
    HtmlColours back;
    QString backFont;
    ASSERT_TRUE(loadHtmlTemplateFile(dir.filePath(QStringLiteral("t.htf")), &back, &backFont, &error));
    EXPECT_EQ(back.oddRows, c.oddRows);
    EXPECT_EQ(back.headerBackground, c.headerBackground);
    EXPECT_EQ(backFont, QStringLiteral("Verdana"));
}

// A template file is someone else's text: its font cannot end the style sheet or start an
// element, and a file that is far too large or no file at all is refused.
TEST_F(ExportFormat, TemplateFilesCannotPutScriptIntoThePage)
{
    const QString htf = dir.filePath(QStringLiteral("hostile.htf"));
    {
        QFile f(htf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[HTML options]\r\nFont-family=Arial;}</STYLE><script>alert(1)</script><STYLE>x{\r\n");
    }
    QString error;
    ASSERT_TRUE(loadHtmlTemplateFile(htf, &opt.colours, &opt.htmlFontName, &error)) << error.toStdString();
    opt.type = ExportType::Html;
    opt.unicode = false;
    ASSERT_TRUE(write(QStringLiteral("t.htm")).ok);
    const QJsonObject j = readBack({QStringLiteral("html"), dir.filePath(QStringLiteral("t.htm")), QStringLiteral("cp1252")});
    const QStringList tags = j.value(QStringLiteral("tags")).toVariant().toStringList();
    EXPECT_FALSE(tags.contains(QStringLiteral("script"))) << tags.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(j.value(QStringLiteral("rows")).toArray().size(), 3);
    // An ordinary font name is written as it is.
    opt.htmlFontName = QStringLiteral("Times New Roman");
    ASSERT_TRUE(write(QStringLiteral("plain.htm")).ok);
    EXPECT_TRUE(readAll(dir.filePath(QStringLiteral("plain.htm"))).contains("font-family: Times New Roman;"));

    const QString big = dir.filePath(QStringLiteral("big.htf"));
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[HTML options]\r\nFont-family=Arial\r\n" + QByteArray(kMaxHtmlTemplateFileBytes, ' '));
    }
    EXPECT_FALSE(loadHtmlTemplateFile(big, &opt.colours, &opt.htmlFontName, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("larger than"))) << error.toStdString();
    const QString pipe = dir.filePath(QStringLiteral("pipe.htf"));
    testsupport::PipeWatch watch(pipe);
    ASSERT_TRUE(watch.made());
    EXPECT_FALSE(loadHtmlTemplateFile(pipe, &opt.colours, &opt.htmlFontName, &error));
    EXPECT_TRUE(error.endsWith(QStringLiteral("is not a regular file."))) << error.toStdString();
    EXPECT_FALSE(watch.opened());
}

// The export writes the bytes of the 8-bit code page, and declares them, whatever the
// encoding field says: a field left at UTF-16 (a Unicode export sets it) does not make an
// 8-bit XML or HTML file claim UTF-16.
TEST_F(ExportFormat, EightBitFilesNeverDeclareUtf16)
{
    opt.unicode = false;
    for (int xmlType : {0, 1}) {
        opt.type = ExportType::Xml;
        opt.xmlType = xmlType;
        opt.xmlEncoding = QStringLiteral("UTF-16");
        const QString name = QStringLiteral("e%1.xml").arg(xmlType);
        ASSERT_TRUE(write(name).ok);
        EXPECT_TRUE(readAll(dir.filePath(name)).startsWith("<?xml version=\"1.0\" encoding=\"Windows-1252\" ")) << xmlType;
        const QJsonObject j = readBack({xmlType ? QStringLiteral("ado-xml") : QStringLiteral("xml"), dir.filePath(name)});
        ASSERT_EQ(j.value(QStringLiteral("rows")).toArray().size(), 3) << xmlType;
        EXPECT_EQ(j.value(QStringLiteral("rows")).toArray().at(2).toArray().at(0).toString(), QStringLiteral("Jörg Ærø"));
    }
    opt.type = ExportType::Html;
    opt.xmlEncoding = QStringLiteral("utf-16le");
    ASSERT_TRUE(write(QStringLiteral("e.htm")).ok);
    EXPECT_TRUE(readAll(dir.filePath(QStringLiteral("e.htm"))).contains("charset=windows-1252\""));
}

// Writing over an existing output keeps who may read it.
TEST_F(ExportFormat, AnOverwrittenFileKeepsItsMode)
{
    const QString path = dir.filePath(QStringLiteral("private.csv"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    opt.type = ExportType::Csv;
    ASSERT_TRUE(write(QStringLiteral("private.csv")).ok);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(readBack({QStringLiteral("csv"), path}).value(QStringLiteral("rows")).toArray().size(), 3);
}

TEST_F(ExportFormat, SkipAndLimitPickRowsSixToFifteen)
{
    QList<QVariantList> many;
    for (int i = 1; i <= 30; ++i)
        many << QVariantList{QStringLiteral("u%1").arg(i)};
    opt.type = ExportType::Csv;
    opt.unicode = false;
    opt.skip = 5;
    opt.exportOnly = 10;
    const ExportResult r = write(QStringLiteral("s.csv"), many);
    EXPECT_EQ(r.written, 10);
    const QJsonArray out = readBack({QStringLiteral("csv"), dir.filePath(QStringLiteral("s.csv")), QStringLiteral("cp1252")})
                               .value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(out.size(), 10);
    EXPECT_EQ(out.first().toArray().at(0).toString(), QStringLiteral("u6"));
    EXPECT_EQ(out.last().toArray().at(0).toString(), QStringLiteral("u15"));
}

TEST_F(ExportFormat, StopLeavesAClosedValidFileOfTheRowsSoFar)
{
    QList<QVariantList> many;
    for (int i = 1; i <= 50; ++i)
        many << QVariantList{QStringLiteral("u%1").arg(i)};
    opt.type = ExportType::Xml;
    opt.unicode = false;
    const ExportResult r = write(QStringLiteral("stop.xml"), many, [](int written) { return written < 4; });
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(readBack({QStringLiteral("xml"), dir.filePath(QStringLiteral("stop.xml"))}).value(QStringLiteral("rows")).toArray().size(), 4);
}

TEST_F(ExportFormat, FailingSourceLeavesNoFileAndKeepsAnOldOne)
{
    opt.type = ExportType::Csv;
    QFile old(dir.filePath(QStringLiteral("keep.csv")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();
    opt.fileName = dir.filePath(QStringLiteral("keep.csv"));
    int n = 0;
    const ExportResult r = ExportEngine().write(columns(), opt, [&](QVariantList *row) {
        if (++n > 3)
            throw EADSISearchException(QStringLiteral("Can't contact LDAP server"));
        *row = rows().at(0);
        return true;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, QStringLiteral("Can't contact LDAP server"));
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("keep.csv"))), QByteArray("old content"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no temporary left
}

TEST_F(ExportFormat, UnwritableDestinationIsAnError)
{
    opt.type = ExportType::Csv;
    opt.fileName = dir.filePath(QStringLiteral("missing/folder/x.csv"));
    const ExportResult r = ExportEngine().write(columns(), opt, [](QVariantList *) { return false; });
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("Cannot create file"))) << r.error.toStdString();
}

TEST_F(ExportFormat, DatabaseTableRunsTheStatementsAndRefusesTakenNames)
{
    opt.type = ExportType::Database;
    opt.tableName = QStringLiteral("Users");
    ASSERT_TRUE(write(QStringLiteral("a.sqlite")).ok);
    const QJsonObject j = readBack({QStringLiteral("sqlite"), dir.filePath(QStringLiteral("a.sqlite")), QStringLiteral("Users")});
    const QJsonArray r = j.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(cells(r.at(0).toArray()),
              (QStringList{QStringLiteral("O'Brien, Pat"), QStringLiteral("CN=A\r\nCN=B"), QStringLiteral("7"),
                           QStringLiteral("5000000000"), QStringLiteral("-1"), QStringLiteral("2024-03-05 14:07:09"),
                           QStringLiteral("01ABFF"), QStringLiteral("Security Group - Global")}));
    EXPECT_TRUE(r.at(1).toArray().at(1).isNull());  // absent: null
    // Numbers are stored as numbers, the rest (dates and octets included) as text.
    EXPECT_EQ(j.value(QStringLiteral("types")).toArray().at(0).toArray().toVariantList(),
              (QVariantList{QStringLiteral("text"), QStringLiteral("text"), QStringLiteral("integer"),
                            QStringLiteral("integer"), QStringLiteral("integer"), QStringLiteral("text"),
                            QStringLiteral("text"), QStringLiteral("text")}));
    // A second table joins the first; the taken name is refused.
    opt.tableName = QStringLiteral("More");
    ASSERT_TRUE(write(QStringLiteral("a.sqlite")).ok);
    QStringList tables;
    QString error;
    ASSERT_TRUE(listTables(ExportType::Database, dir.filePath(QStringLiteral("a.sqlite")), &tables, &error));
    EXPECT_EQ(tables, (QStringList{QStringLiteral("Users"), QStringLiteral("More")}));
    opt.tableName = QStringLiteral("users");
    const ExportResult again = write(QStringLiteral("a.sqlite"));
    EXPECT_FALSE(again.ok);
    EXPECT_FALSE(again.error.isEmpty());
}

TEST_F(ExportFormat, TableNameRules)
{
    EXPECT_EQ(checkTableName(QString()), QStringLiteral("Table Name\\Sheet can't be empty!"));
    EXPECT_EQ(checkTableName(QString(65, QLatin1Char('a'))), QStringLiteral("Table name can be up to 64 characters long!"));
    EXPECT_TRUE(checkTableName(QStringLiteral("a-b")).startsWith(QStringLiteral("Table name can include")));
    EXPECT_TRUE(checkTableName(QStringLiteral("Users 2024")).isEmpty());
}

TEST_F(ExportFormat, WorkbookSheetWithTypedCellsAndAnExistingWorkbookGainsASheet)
{
    // A workbook of its own first, with a formula and a bold cell.
    {
        office::WorkbookWriter wb(dir.filePath(QStringLiteral("book.xlsx")), false);
        QString error;
        ASSERT_TRUE(wb.addSheet(QStringLiteral("Budget"), &error));
        wb.writeString(0, 0, QStringLiteral("Mine"), office::CellStyle::boldArial10());
        wb.writeNumber(1, 0, 41);
        ASSERT_TRUE(wb.close(&error)) << error.toStdString();
    }
    opt.type = ExportType::Workbook;
    opt.tableName = QStringLiteral("Users");
    const ExportResult r = write(QStringLiteral("book.xlsx"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QJsonObject j = readBack({QStringLiteral("xlsx"), dir.filePath(QStringLiteral("book.xlsx")), QStringLiteral("Users")});
    EXPECT_EQ(j.value(QStringLiteral("sheets")).toArray().toVariantList(), (QVariantList{QStringLiteral("Budget"), QStringLiteral("Users")}));
    const QJsonArray rowsBack = j.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rowsBack.size(), 3);
    EXPECT_EQ(cells(rowsBack.at(0).toArray()),
              (QStringList{QStringLiteral("O'Brien, Pat"), QStringLiteral("CN=A\nCN=B"), QStringLiteral("7"),
                           QStringLiteral("5000000000"), QStringLiteral("True"), QStringLiteral("2024-03-05 14:07:09"),
                           QStringLiteral("01ABFF"), QStringLiteral("Security Group - Global")}));
    const QJsonObject own = readBack({QStringLiteral("xlsx"), dir.filePath(QStringLiteral("book.xlsx")), QStringLiteral("Budget")});
    EXPECT_EQ(own.value(QStringLiteral("header")).toArray().at(0).toString(), QStringLiteral("Mine"));
    EXPECT_EQ(own.value(QStringLiteral("rows")).toArray().at(0).toArray().at(0).toString(), QStringLiteral("41"));
}

TEST_F(ExportFormat, WorkbookHeldOpenGivesTheCloseItMessage)
{
    opt.type = ExportType::Workbook;
    opt.tableName = QStringLiteral("Users");
    ASSERT_TRUE(write(QStringLiteral("held.xlsx")).ok);
    QFile lock(dir.filePath(QStringLiteral(".~lock.held.xlsx#")));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    opt.tableName = QStringLiteral("Second");
    const ExportResult r = write(QStringLiteral("held.xlsx"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.endsWith(QStringLiteral("\r\nIf file is opened, please first close it!"))) << r.error.toStdString();
}

TEST(ExportValues, DatePicturesAndColumns)
{
    const double day = ads::AdsDate::fromFields(2007, 1, 2, 3, 4, 5).value;
    EXPECT_EQ(formatDateTime(QStringLiteral("d/m/yy h:n:s"), day), QStringLiteral("2/1/07 3:4:5"));
    EXPECT_EQ(formatDateTime(QStringLiteral("dd.mm.yyyy hh:mm"), day), QStringLiteral("02.01.2007 03:04"));
    EXPECT_EQ(formatDateTime(QStringLiteral("yyyy\"-\"mm\"-\"dd\"T\"hh:nn:ss"), day), QStringLiteral("2007-01-02T03:04:05"));
    EXPECT_EQ(formatDateTime(QStringLiteral("h:nn ampm"), ads::AdsDate::fromFields(2007, 1, 2, 15, 4).value), QStringLiteral("3:04 PM"));

    // The distinguished name goes first, or away.
    const QList<ExportColumn> cols = columnsFromNames({QStringLiteral("cn"), QStringLiteral("lastLogon")});
    ASSERT_EQ(cols.size(), 2);
    EXPECT_EQ(cols.at(1).kind, ColumnKind::DateTime);
    EXPECT_FALSE(cols.at(1).wide);
    // A 64-bit number that is no date is declared 64-bit; a 32-bit one is not.
    const QList<ExportColumn> numbers = columnsFromNames({QStringLiteral("uSNChanged"), QStringLiteral("logonCount")});
    ASSERT_EQ(numbers.size(), 2);
    EXPECT_EQ(numbers.at(0).kind, ColumnKind::Integer);
    EXPECT_TRUE(numbers.at(0).wide);
    EXPECT_FALSE(numbers.at(1).wide);
    const QList<ExportColumn> withDn = effectiveColumns(cols, true);
    EXPECT_EQ(withDn.first().ldapName, QStringLiteral("distinguishedName"));
    EXPECT_EQ(effectiveColumns(withDn, false).size(), 2);
    EXPECT_EQ(effectiveColumns(withDn, true).size(), 3);
}

}  // namespace
