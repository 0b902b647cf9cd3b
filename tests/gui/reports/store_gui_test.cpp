// The result window running reports against the test domain, driven through its controls.
#include "core/unConnection.h"
#include "reports/unDaysNumber.h"
#include "reports/unDynamicgroupSelect.h"
#include "reports/unReports.h"
#include "reports/unReportsStore.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"
#include "bulk/unExportFormat.h"
#include "ui/prompt.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace reports;
using testsupport::fact;

namespace {

class ReportStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        TConnectionSettings s;
        s.UseDefaultServer = false;
        s.ServerName = fact("ADDR");
        s.Port = fact("LDAP_PORT");
        s.SecureAuthentication = false;
        s.UseCredentials = true;
        s.UserName = fact("ADMIN_USER");
        s.Password = fact("ADMIN_PASSWORD");
        ASSERT_NO_THROW(ConnectWithSettings(s));
        domain = readDomainSettings();
    }
    void TearDown() override { DisconnectContext(); }

    QToolButton *button(TfrmReportsStore &w, const char *name)
    {
        return w.findChild<QToolButton *>(QString::fromLatin1(name));
    }
    // Answers the next modal days dialog with a typed number and OK.
    static void answerDays(const QString &typed)
    {
        QTimer::singleShot(0, [typed] {
            auto *dlg = qobject_cast<TfrmDaysNumber *>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            dlg->findChild<QComboBox *>(QStringLiteral("cbDays"))->setEditText(typed);
            dlg->findChild<QPushButton *>(QStringLiteral("btOK"))->click();
        });
    }

    DomainSettings domain;
};

TEST_F(ReportStore, ExecuteFillsTheGridAndTheStatus)
{
    TfrmReportsStore w(14, domain);
    w.prepare();
    EXPECT_EQ(w.windowTitle(), QStringLiteral(" Report - Disabled Users"));
    EXPECT_EQ(w.statusPanel(0), QStringLiteral("Report is NOT yet Executed."));
    EXPECT_EQ(w.statusPanel(1), QStringLiteral("Disabled Users"));
    EXPECT_FALSE(button(w, "tbSaveAs")->isEnabled());
    EXPECT_FALSE(button(w, "tbOptions")->isEnabled());

    button(w, "tbExecute")->click();
    const int expected = testsupport::ldapCount(
        fact("BASE_DN"), QStringLiteral("(&(objectCategory=person)(objectClass=user)(userAccountControl:1.2.840.113556.1.4.803:=2))"));
    EXPECT_GE(expected, 20);
    EXPECT_EQ(w.model()->rowCount(), expected);
    EXPECT_EQ(w.statusPanel(0), QStringLiteral("  %1 items finded.").arg(expected));
    EXPECT_TRUE(button(w, "tbSaveAs")->isEnabled());
    EXPECT_TRUE(button(w, "tbExport")->isEnabled());
    EXPECT_FALSE(button(w, "tbStop")->isEnabled());

    // Visible columns: the first four of the user set.
    QStringList visible;
    for (const ReportColumn &c : w.visibleColumns())
        visible << c.ldapName;
    EXPECT_EQ(visible, QStringList({"cn", "givenName", "sn", "displayName"}));

    // A size limit caps the next run.
    w.findChild<QSpinBox *>(QStringLiteral("ebHowMany"))->setValue(5);
    button(w, "tbExecute")->click();
    EXPECT_EQ(w.model()->rowCount(), 5);
}

TEST_F(ReportStore, DateColumnsSortAsDates)
{
    TfrmReportsStore w(9, domain);  // accountExpires and whenChanged shown
    w.prepare();
    w.tbExecuteClick();
    ASSERT_GE(w.model()->rowCount(), 20);
    int col = -1;
    for (int i = 0; i < w.model()->columns().size(); ++i)
        if (w.model()->columns()[i].ldapName == QLatin1String("accountExpires"))
            col = i;
    ASSERT_GE(col, 0);
    EXPECT_FALSE(w.grid()->isColumnHidden(col));
    w.grid()->horizontalHeader()->sectionClicked(col);
    // The cells read back as dates must come in ascending order, whatever their text order.
    QLocale l = QLocale::system();
    const QString format = l.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + l.timeFormat(QLocale::LongFormat);
    QDateTime previous;
    for (int r = 0; r < w.model()->rowCount(); ++r) {
        const QDateTime t = l.toDateTime(w.model()->text(r, col), format);
        ASSERT_TRUE(t.isValid()) << w.model()->text(r, col).toStdString();
        if (previous.isValid()) {
            EXPECT_LE(previous, t);
        }
        previous = t;
    }
    w.grid()->horizontalHeader()->sectionClicked(col);  // again: descending
    EXPECT_GE(l.toDateTime(w.model()->text(0, col), format), l.toDateTime(w.model()->text(1, col), format));
}

TEST_F(ReportStore, OptionsRebuildTheConditionAndRunAtOnce)
{
    answerDays(QStringLiteral("abc"));  // no number: the step, 1 for the password reports
    TfrmReportsStore w(24, domain);
    w.prepare();
    EXPECT_EQ(w.statusPanel(1), QStringLiteral("Users \"Password Unchanged\" - 1 days"));
    EXPECT_TRUE(button(w, "tbOptions")->isEnabled());
    const QString before = w.filter();

    answerDays(QStringLiteral("300"));
    button(w, "tbOptions")->click();
    EXPECT_EQ(w.statusPanel(1), QStringLiteral("Users \"Password Unchanged\" - 300 days"));
    EXPECT_NE(w.filter(), before);
    EXPECT_TRUE(w.statusPanel(0).endsWith(QStringLiteral("items finded.")));
    // Passwords older than 300 days: the seed has some (expired and never-expiring ones).
    EXPECT_GE(w.model()->rowCount(), 1);
    for (int r = 0; r < w.model()->rowCount(); ++r)
        EXPECT_FALSE(w.model()->text(r, 0).isEmpty());
}

TEST_F(ReportStore, StopEndsTheRunWithTheRowsSoFar)
{
    TfrmReportsStore w(13, domain);  // every user: about two thousand rows
    w.prepare();
    const int all = testsupport::ldapCount(fact("BASE_DN"),
                                           QStringLiteral("(&(objectCategory=person)(objectClass=user)(!(scriptPath=*)))"));
    QTimer::singleShot(0, &w, [&w] {
        EXPECT_TRUE(w.running());
        // The window refuses to close while the report runs.
        EXPECT_FALSE(w.close());
        w.findChild<QToolButton *>(QStringLiteral("tbStop"))->click();
    });
    w.tbExecuteClick();
    EXPECT_FALSE(w.running());
    EXPECT_LT(w.model()->rowCount(), all);
    EXPECT_TRUE(w.statusPanel(0).endsWith(QStringLiteral("items finded.")));
    EXPECT_TRUE(w.findChild<QToolButton *>(QStringLiteral("tbExecute"))->isEnabled());
}

TEST_F(ReportStore, ReportOnQueryBasedGroupWithoutChoiceOpensWithoutColumns)
{
    ui::ScriptedPrompts script;
    QTimer::singleShot(0, [] {
        if (QWidget *dlg = QApplication::activeModalWidget())
            qobject_cast<QDialog *>(dlg)->reject();
    });
    TfrmReportsStore w(33, domain);
    w.prepare();
    EXPECT_EQ(w.model()->columnCount(), 0);
    w.tbExecuteClick();
    EXPECT_EQ(w.model()->rowCount(), 0);
    ASSERT_EQ(script.asked().size(), 1);  // the run explains that there is nothing to run
}

// Reports 18 and 19 without their group do not run and say why; their filter never falls
// back to every user. First the group list cannot be read (the domain path names no object),
// then it reads no group at all (a container without groups) and the dialog closes empty.
TEST_F(ReportStore, GroupReportsWithoutTheirGroupDoNotRun)
{
    ui::ScriptedPrompts script;
    const TConnectionContext saved = ConnectionContext();
    TConnectionContext ctx = saved;
    ctx.DomainPath = ctx.ServerPrefix + QStringLiteral("OU=No Such Place,") + fact("BASE_DN");
    PublishConnectionContext(ctx);
    for (int number : {18, 19}) {
        TfrmReportsStore w(number, domain);
        EXPECT_FALSE(w.prepare()) << number;
        EXPECT_TRUE(w.filter().isEmpty()) << number << " " << w.filter().toStdString();
        ASSERT_FALSE(script.messages().isEmpty());
        const QString said = script.messages().last();
        EXPECT_TRUE(said.contains(QStringLiteral("could not be read")) && said.contains(w.report().title))
            << said.toStdString();
        w.tbExecuteClick();
        EXPECT_EQ(w.model()->rowCount(), 0);
    }

    ctx.DomainPath = ctx.ServerPrefix + QStringLiteral("OU=Domain Controllers,") + fact("BASE_DN");
    PublishConnectionContext(ctx);
    QTimer::singleShot(0, [] {
        if (auto *dlg = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dlg->reject();
    });
    TfrmReportsStore w(18, domain);
    EXPECT_FALSE(w.prepare());
    PublishConnectionContext(saved);
    EXPECT_TRUE(w.filter().isEmpty()) << w.filter().toStdString();
    ASSERT_FALSE(script.messages().isEmpty());
    EXPECT_TRUE(script.messages().last().contains(QStringLiteral("no group was chosen"))) << script.messages().last().toStdString();
}

// Report 33 on a query-based group whose search base cannot be read: the run and Export both
// search the domain, and the window says why.
TEST_F(ReportStore, QueryBasedGroupWithoutReadableBaseSearchesTheDomainInRunAndExport)
{
    ui::ScriptedPrompts script;
    const QString cn = QStringLiteral("rep33-nobase-%1").arg(QCoreApplication::applicationPid());
    const QString dn = QStringLiteral("CN=%1,CN=Users,%2").arg(cn, fact("BASE_DN"));
    const auto added = testsupport::ldapModify(
        QStringLiteral("dn: %1\nchangetype: add\nobjectClass: msExchDynamicDistributionList\ndisplayName: %2\n"
                       "msExchDynamicDLFilter: (&(objectCategory=person)(objectClass=user)(sn=Fullprofile))\n")
            .arg(dn, cn)
            .toUtf8());
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    QTimer::singleShot(0, [cn] {
        auto *dlg = qobject_cast<TfrmDynamicgroupSelect *>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        for (int i = 0; i < dlg->list()->topLevelItemCount(); ++i)
            if (dlg->list()->topLevelItem(i)->text(0) == cn)
                dlg->list()->topLevelItem(i)->setSelected(true);
        dlg->findChild<QPushButton *>(QStringLiteral("btOK"))->click();
    });
    TfrmReportsStore w(33, domain);
    w.prepare();
    EXPECT_EQ(w.searchBase(), ConnectionContext().DomainPath);
    EXPECT_TRUE(w.statusPanel(2).contains(QStringLiteral("could not be read"))) << w.statusPanel(2).toStdString();
    w.tbExecuteClick();
    EXPECT_EQ(w.model()->rowCount(), testsupport::ldapCount(fact("BASE_DN"), QStringLiteral("(sn=Fullprofile)")));
    EXPECT_GE(w.model()->rowCount(), 1);
    EXPECT_TRUE(w.statusPanel(2).contains(QStringLiteral("could not be read"))) << w.statusPanel(2).toStdString();
    EXPECT_EQ(w.exportRequest().base, ConnectionContext().DomainPath);
    testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: delete\n").arg(dn).toUtf8());
}

// Reads a written file with Python's own readers: the rows of a CSV file (with the given
// encoding and quote character) or the cell texts of an HTML table, as JSON.
QJsonArray readBack(const QString &kind, const QString &file, const QString &encoding, const QString &quote = QStringLiteral("\""))
{
    static const char *script = R"(
import csv, io, json, sys
from html.parser import HTMLParser
kind, path, enc, quote = sys.argv[1:5]
text = open(path, 'rb').read().decode(enc)
if kind == 'csv':
    rows = list(csv.reader(io.StringIO(text, newline=''), quotechar=quote))
else:
    class P(HTMLParser):
        def __init__(self):
            super().__init__(); self.rows = []; self.cell = None
        def handle_starttag(self, tag, attrs):
            if tag == 'tr': self.rows.append([])
            if tag in ('td', 'th'): self.cell = ''
        def handle_endtag(self, tag):
            if tag in ('td', 'th') and self.cell is not None and self.rows:
                self.rows[-1].append(self.cell.strip()); self.cell = None
        def handle_data(self, data):
            if self.cell is not None: self.cell += data
    p = P(); p.feed(text); rows = [r for r in p.rows if r]
print(json.dumps(rows))
)";
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(script), kind, file, encoding, quote});
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

QSet<QString> column(const QJsonArray &rows, int index)
{
    QSet<QString> out;
    for (int r = 1; r < rows.size(); ++r)
        out.insert(rows[r].toArray().at(index).toString());
    return out;
}

TEST_F(ReportStore, SaveAsWritesTheVisibleColumnsAsTextAndWebPage)
{
    QTemporaryDir dir;
    TfrmReportsStore w(14, domain);
    w.prepare();
    w.tbExecuteClick();
    const int rows = w.model()->rowCount();
    ASSERT_GE(rows, 20);
    // The names the grid shows: other tests add and remove disabled scratch users meanwhile, so
    // the file is compared with the rows it was written from (the directory check of this
    // report is ReportsDomain.AccountStateReportsMatchTheDirectory).
    QSet<QString> names;
    for (int r = 0; r < rows; ++r)
        names.insert(w.model()->index(r, 0).data().toString());

    ui::ScriptedPrompts script;
    ui::ScriptedAnswer text = ui::ScriptedAnswer::file(dir.filePath(QStringLiteral("plain")));
    text.selectedFilter = QStringLiteral("Text file (*.txt)");
    ui::ScriptedAnswer unicode = ui::ScriptedAnswer::file(dir.filePath(QStringLiteral("wide.txt")));
    unicode.selectedFilter = QStringLiteral("Unicode text file (*.txt)");
    ui::ScriptedAnswer page = ui::ScriptedAnswer::file(dir.filePath(QStringLiteral("page")));
    page.selectedFilter = QStringLiteral("Web page (*.htm)");
    script.answer(text).answer(unicode).answer(page);
    button(w, "tbSaveAs")->click();
    button(w, "tbSaveAs")->click();
    button(w, "tbSaveAs")->click();
    ASSERT_EQ(script.asked().size(), 3);
    EXPECT_EQ(script.asked().at(0).caption, QStringLiteral("Save Report..."));
    EXPECT_EQ(script.asked().at(0).initial, QStringLiteral("Disabled Users"));

    // Without an extension the file gets the one of its type.
    const QJsonArray plain = readBack(QStringLiteral("csv"), dir.filePath(QStringLiteral("plain.txt")), QStringLiteral("cp1252"));
    ASSERT_EQ(plain.size(), rows + 1);
    EXPECT_EQ(plain.at(0).toArray().size(), 4);  // the four visible columns
    const QJsonArray wide = readBack(QStringLiteral("csv"), dir.filePath(QStringLiteral("wide.txt")), QStringLiteral("utf-16"));
    ASSERT_EQ(wide.size(), rows + 1);
    EXPECT_EQ(column(wide, 0), names);
    const QJsonArray html = readBack(QStringLiteral("html"), dir.filePath(QStringLiteral("page.htm")), QStringLiteral("cp1252"));
    EXPECT_GE(html.size(), rows);
}

TEST_F(ReportStore, ExportHandsTheReportsFilterBaseAndVisibleColumnsToTheExportWindow)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("export.csv"));
    TfrmReportsStore w(9, domain);  // expired accounts: accountExpires and whenChanged shown too
    w.prepare();
    w.tbExecuteClick();
    const int rows = w.model()->rowCount();
    ASSERT_GE(rows, 20);
    bool exported = false;
    QString source;
    QTimer::singleShot(0, [&] {
        auto *dlg = qobject_cast<TfrmExportFormat *>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        // The first panel of the export window's status bar names the source.
        const auto panels = dlg->findChild<QStatusBar *>(QStringLiteral("StatusBar"))->findChildren<QLabel *>();
        source = panels.isEmpty() ? QString() : panels.first()->text();
        dlg->findChild<QLineEdit *>(QStringLiteral("edFileName"))->setText(file);
        dlg->bStartClick();
        exported = dlg->lastResult().ok;
        static_cast<QDialog *>(dlg)->reject();
    });
    button(w, "tbExport")->click();
    ASSERT_TRUE(exported);
    EXPECT_EQ(source, QStringLiteral(" Account Expired Users"));
    const QJsonArray written = readBack(QStringLiteral("csv"), file, QStringLiteral("utf-16"), QStringLiteral("'"));
    ASSERT_EQ(written.size(), rows + 1);
    // The distinguished name first, then the six visible columns in grid order.
    EXPECT_EQ(written.at(0).toArray().size(), 7);
    const auto expired = testsupport::ldapSearch(
        fact("BASE_DN"),
        QStringLiteral("(&(objectCategory=person)(objectClass=user)(accountExpires>=1)(!(accountExpires=9223372036854775807)))"),
        {QStringLiteral("accountExpires")});
    QSet<QString> past;
    const qint64 now = (QDateTime::currentMSecsSinceEpoch() + 11644473600000LL) * 10000LL;
    for (const auto &e : expired)
        if (e.text(QStringLiteral("accountExpires")).toLongLong() <= now)
            past.insert(e.dn);
    EXPECT_EQ(column(written, 0), past);
}

TEST_F(ReportStore, ExportOfLockedOutUsersWritesOnlyTheUsersTheRunKept)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("locked.csv"));
    TfrmReportsStore w(15, domain);
    w.prepare();
    w.tbExecuteClick();
    ASSERT_GE(w.model()->rowCount(), 20);
    bool exported = false;
    QTimer::singleShot(0, [&] {
        auto *dlg = qobject_cast<TfrmExportFormat *>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        dlg->findChild<QLineEdit *>(QStringLiteral("edFileName"))->setText(file);
        dlg->bStartClick();
        exported = dlg->lastResult().ok;
        static_cast<QDialog *>(dlg)->reject();
    });
    button(w, "tbExport")->click();
    ASSERT_TRUE(exported);
    const auto users = testsupport::ldapSearch(fact("BASE_DN"), QStringLiteral("(&(objectCategory=person)(objectClass=user))"),
                                               {QStringLiteral("msDS-User-Account-Control-Computed")});
    QSet<QString> locked;
    for (const auto &e : users)
        if (e.text(QStringLiteral("msDS-User-Account-Control-Computed")).toLongLong() & 0x10)
            locked.insert(e.dn);
    const QJsonArray written = readBack(QStringLiteral("csv"), file, QStringLiteral("utf-16"), QStringLiteral("'"));
    EXPECT_EQ(written.size(), w.model()->rowCount() + 1);
    EXPECT_EQ(column(written, 0), locked);
}

} // namespace
