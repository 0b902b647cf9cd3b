// The grid's outputs over a small grid: creation order, hidden columns, quoting, escaping,
// the workbook's DN column and credit line, and a cancelled long output; read back by
// Python's csv, html.parser and openpyxl.
#include "core/unValues.h"
#include "main/unGridOutput.h"
#include "main/unUserGrid.h"
#include "export_support.h"

#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using exporttest::readBack;

QStringList strings(const QJsonArray &a)
{
    QStringList out;
    for (const auto &v : a)
        out << (v.isNull() ? QString() : v.toString());
    return out;
}

class GridOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        model.setColumnCount(4);
        model.setHorizontalHeaderLabels({QString(), QStringLiteral("Common Name"), QStringLiteral("Office"), QStringLiteral("Secret")});
        addRow(1, QStringLiteral("Smith, John"), QStringLiteral("CN=Smith\\, John,OU=X"), QStringLiteral("Room \"7\""), QStringLiteral("h"));
        addRow(0, QStringLiteral("<b>Ann</b> & Co"), QStringLiteral("CN=Ann,OU=X"), QStringLiteral("Line1\r\nLine2"), QStringLiteral("h"));
        addRow(0, QStringLiteral("Jörg"), QStringLiteral("CN=Jörg,OU=X"), QStringLiteral("plain"), QStringLiteral("h"));
        view.setModel(&model);
        view.setColumnHidden(3, true);
        // A dragged column is still written at its creation position.
        view.horizontalHeader()->moveSection(2, 0);
    }
    void addRow(int state, const QString &cn, const QString &dn, const QString &office, const QString &secret)
    {
        auto *icon = new QStandardItem;
        icon->setData(state, UserGridModel::StateRole);
        auto *name = new QStandardItem(cn);
        name->setData(dn, UserGridModel::CarriedDnRole);
        model.appendRow({icon, name, new QStandardItem(office), new QStandardItem(secret)});
    }
    QTemporaryDir dir;
    QStandardItemModel model;
    QTableView view;
};

TEST_F(GridOutput, CsvQuotesSeparatorsQuotesAndLineBreaksOnly)
{
    const QString ansi = dir.filePath(QStringLiteral("g.txt"));
    ASSERT_TRUE(gridoutput::WriteGridText(view, ansi, QLatin1Char(','), false, false).ok);
    QFile f(ansi);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("Status,Common Name,Office\r\n1,\"Smith, John\",\"Room \"\"7\"\"\"\r\n"));
    EXPECT_TRUE(bytes.contains("0,J\xF6rg,plain\r\n"));
    const QJsonObject j = readBack({QStringLiteral("csv"), ansi, QStringLiteral("cp1252"), QStringLiteral(","), QStringLiteral("\"")});
    const QJsonArray rows = j.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(strings(rows.at(1).toArray()), (QStringList{QStringLiteral("0"), QStringLiteral("<b>Ann</b> & Co"), QStringLiteral("Line1\r\nLine2")}));

    const QString uni = dir.filePath(QStringLiteral("u.txt"));
    ASSERT_TRUE(gridoutput::WriteGridText(view, uni, QLatin1Char(','), false, true).ok);
    const QJsonObject u = readBack({QStringLiteral("csv"), uni, QStringLiteral("utf-16"), QStringLiteral(","), QStringLiteral("\"")});
    EXPECT_EQ(strings(u.value(QStringLiteral("header")).toArray()),
              (QStringList{QStringLiteral("Status"), QStringLiteral("Common Name"), QStringLiteral("Office")}));
    EXPECT_EQ(u.value(QStringLiteral("rows")).toArray().at(2).toArray().at(1).toString(), QStringLiteral("Jörg"));
}

TEST_F(GridOutput, HtmlIsEscapedAndHoldsEveryVisibleCell)
{
    const QString html = dir.filePath(QStringLiteral("g.htm"));
    ASSERT_TRUE(gridoutput::WriteGridHtml(view, html, false).ok);
    const QJsonObject j = readBack({QStringLiteral("html"), html, QStringLiteral("cp1252")});
    EXPECT_EQ(strings(j.value(QStringLiteral("header")).toArray()),
              (QStringList{QStringLiteral("Status"), QStringLiteral("Common Name"), QStringLiteral("Office")}));
    const QJsonArray rows = j.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.at(1).toArray().at(1).toString(), QStringLiteral("<b>Ann</b> & Co"));
    EXPECT_EQ(rows.at(0).toArray().at(2).toString(), QStringLiteral("Room \"7\""));

    model.removeRows(0, model.rowCount());
    ASSERT_TRUE(gridoutput::WriteGridHtml(view, html, false).ok);
    EXPECT_EQ(readBack({QStringLiteral("html"), html, QStringLiteral("cp1252")}).value(QStringLiteral("rows")).toArray().size(), 0);
}

TEST_F(GridOutput, WorkbookHasTheDnColumnAndTheCreditLine)
{
    const QString book = dir.filePath(QStringLiteral("g.xlsx"));
    const gridoutput::WriteResult r = gridoutput::WriteGridWorkbook(view, book);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QJsonObject j = readBack({QStringLiteral("xlsx"), book});
    EXPECT_EQ(strings(j.value(QStringLiteral("header")).toArray()),
              (QStringList{QStringLiteral("DN"), QStringLiteral("Status"), QStringLiteral("Common Name"), QStringLiteral("Office")}));
    const QJsonArray rows = j.value(QStringLiteral("rows")).toArray();
    ASSERT_GE(rows.size(), 7);
    EXPECT_EQ(rows.at(0).toArray().at(0).toString(), QStringLiteral("CN=Smith\\, John,OU=X"));
    EXPECT_EQ(rows.at(2).toArray().at(2).toString(), QStringLiteral("Jörg"));
    // Row number of rows + 5 (1-based), that is index rows + 3 below the header.
    EXPECT_EQ(rows.at(6).toArray().at(0).toString(), CreatedWithText());
}

TEST_F(GridOutput, CancelledLongOutputIsAClosedPage)
{
    for (int i = 0; i < 600; ++i)
        addRow(0, QStringLiteral("u%1").arg(i), QStringLiteral("CN=u%1").arg(i), QString(), QString());
    view.show();
    QTimer::singleShot(0, &view, [this] {
        if (auto *p = view.findChild<QProgressDialog *>(QStringLiteral("GridOutputProgress")))
            p->cancel();
    });
    const QString html = dir.filePath(QStringLiteral("long.htm"));
    const gridoutput::WriteResult r = gridoutput::WriteGridHtml(view, html, true);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.cancelled);
    EXPECT_LT(r.rows, 603);
    QFile f(html);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().endsWith("</table>\r\n</body>\r\n</html>\r\n"));
    EXPECT_EQ(readBack({QStringLiteral("html"), html, QStringLiteral("cp1252")}).value(QStringLiteral("rows")).toArray().size(), r.rows);
}

}  // namespace
