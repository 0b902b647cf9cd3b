// The result window running reports against the test domain, driven through its controls.
#include "core/unConnection.h"
#include "reports/unDaysNumber.h"
#include "reports/unReports.h"
#include "reports/unReportsStore.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"
#include "ui/prompt.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
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
        if (previous.isValid())
            EXPECT_LE(previous, t);
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

} // namespace
