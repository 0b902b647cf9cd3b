// Workbooks someone else made: their sheet list and a sheet added to them, with parts that
// claim or hold more than is read, damaged or unusual style sheets, and files that are no
// files. The workbooks come from openpyxl (tests/unit/office/hostile_workbook.py); results
// are read back with openpyxl.
#include "platform/office/workbook.h"
#include "platform/jet/tablestore.h"
#include "support/pipewatch.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString sourceFile(const char *name)
{
    return qEnvironmentVariable("ARV_SOURCE_DIR") + QLatin1String(name);
}

QByteArray python(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), args);
    EXPECT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ExistingWorkbook : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString make(const char *kind)
    {
        const QString path = dir.filePath(QLatin1String(kind) + QStringLiteral(".xlsx"));
        python({sourceFile("/tests/unit/office/hostile_workbook.py"), QLatin1String(kind), path});
        return path;
    }
    // A sheet of ours with a date cell, whose format needs a number format of its own.
    QString newSheet()
    {
        const QString path = dir.filePath(QStringLiteral("new.xlsx"));
        office::WorkbookWriter wb(path, true);
        QString error;
        EXPECT_TRUE(wb.addSheet(QStringLiteral("Users"), &error)) << error.toStdString();
        wb.writeString(0, 0, QStringLiteral("when"), office::CellStyle::boldOnly());
        wb.writeDateTime(1, 0, 45000.5);  // 2023-03-15 12:00
        EXPECT_TRUE(wb.close(&error)) << error.toStdString();
        return path;
    }
    // Sheet names and the cells of one sheet as openpyxl reads them (dates as text).
    QJsonObject readBack(const QString &path, const QString &sheet)
    {
        return QJsonDocument::fromJson(python({sourceFile("/tests/unit/bulk/readback.py"), QStringLiteral("xlsx"), path, sheet}))
            .object();
    }
    QTemporaryDir dir;
};

TEST_F(ExistingWorkbook, PartsThatClaimOrHoldTooMuchAreRefusedWithTheReason)
{
    QStringList names;
    QString error;
    // A few hundred bytes claiming a part of a petabyte: refused before anything is allocated.
    const QString huge = make("huge-declared");
    EXPECT_FALSE(office::workbookSheetNames(huge, &names, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("larger than"))) << error.toStdString();
    // A part that really holds 40 MB, and one that holds megabytes behind a claim of 1,000
    // bytes: the target stays as it was.
    for (const char *kind : {"big-part", "lying-size"}) {
        const QString target = make(kind);
        const QByteArray before = bytesOf(target);
        ASSERT_TRUE(office::workbookSheetNames(target, &names, &error)) << kind << error.toStdString();
        EXPECT_EQ(names, QStringList{QStringLiteral("Existing")});
        error.clear();
        EXPECT_FALSE(office::appendWorkbookSheets(target, newSheet(), &error)) << kind;
        EXPECT_TRUE(error.contains(QStringLiteral("xl/styles.xml"))) << kind << error.toStdString();
        EXPECT_EQ(bytesOf(target), before) << kind;
    }
}

TEST_F(ExistingWorkbook, DamagedStyleSheetsAreRefusedAndUnusualOnesGainTheSheet)
{
    QString error;
    for (const char *kind : {"unclosed-xf", "huge-numfmtid"}) {
        const QString target = make(kind);
        const QByteArray before = bytesOf(target);
        error.clear();
        EXPECT_FALSE(office::appendWorkbookSheets(target, newSheet(), &error)) << kind;
        EXPECT_TRUE(error.contains(QStringLiteral("xl/styles.xml is damaged"))) << kind << error.toStdString();
        EXPECT_EQ(bytesOf(target), before) << kind;
    }
    // <numFmts/> written as an empty element: the new date format goes inside it, once.
    const QString target = make("selfclosing-numfmts");
    ASSERT_TRUE(office::appendWorkbookSheets(target, newSheet(), &error)) << error.toStdString();
    const QJsonObject added = readBack(target, QStringLiteral("Users"));
    EXPECT_EQ(added.value(QStringLiteral("sheets")).toArray().toVariantList(),
              (QVariantList{QStringLiteral("Existing"), QStringLiteral("Users")}));
    ASSERT_EQ(added.value(QStringLiteral("rows")).toArray().size(), 1);
    EXPECT_EQ(added.value(QStringLiteral("rows")).toArray().at(0).toArray().at(0).toString(), QStringLiteral("2023-03-15 12:00:00"));
    const QJsonObject kept = readBack(target, QStringLiteral("Existing"));
    EXPECT_EQ(kept.value(QStringLiteral("header")).toArray().toVariantList(),
              (QVariantList{QStringLiteral("kept"), QStringLiteral("2020-01-02 03:04:05")}));
}

TEST_F(ExistingWorkbook, GainingASheetKeepsTheFilesModeAndItsOwnFormats)
{
    const QString target = make("plain");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    QString error;
    ASSERT_TRUE(office::appendWorkbookSheets(target, newSheet(), &error)) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Its own formats (164, 165) and the new sheet's date format all still apply.
    EXPECT_EQ(readBack(target, QStringLiteral("Existing")).value(QStringLiteral("header")).toArray().at(1).toString(),
              QStringLiteral("2020-01-02 03:04:05"));
    EXPECT_EQ(readBack(target, QStringLiteral("Users")).value(QStringLiteral("rows")).toArray().at(0).toArray().at(0).toString(),
              QStringLiteral("2023-03-15 12:00:00"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".tmp")), QStringList());
}

// A pipe under a workbook's or a database's name would block whoever opens it for reading.
TEST_F(ExistingWorkbook, APipeIsRefusedWithoutBeingOpened)
{
    for (const char *name : {"pipe.xlsx", "pipe.sqlite"}) {
        const QString pipe = dir.filePath(QLatin1String(name));
        testsupport::PipeWatch watch(pipe);
        ASSERT_TRUE(watch.made());
        QStringList names;
        QString error;
        const bool listed = QString::fromLatin1(name).endsWith(QLatin1String(".xlsx"))
                                ? office::workbookSheetNames(pipe, &names, &error)
                                : jet::listDatabaseTables(pipe, &names, &error);
        EXPECT_FALSE(listed) << name;
        EXPECT_TRUE(error.endsWith(QStringLiteral("is not a regular file."))) << error.toStdString();
        EXPECT_FALSE(office::fileHeldOpen(pipe, &error)) << name;
        EXPECT_FALSE(watch.opened()) << name;
    }
}

}  // namespace
