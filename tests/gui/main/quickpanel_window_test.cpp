#include "adsi_fixture.h"
#include "mainwindow_support.h"

#include "main/unMain.h"
#include "main/unQuickPanel.h"
#include "main/unUserGrid.h"
#include "options/unOptions.h"
#include "platform/adsi/adspath.h"
#include "ui/prompt.h"

#include <QLineEdit>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace mwtest;

namespace {

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

void connectAndList(TfrmMain &w)
{
    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    QTreeWidgetItem *users = childNamed(w.tree()->topLevelItem(0), "Users");
    ASSERT_NE(users, nullptr);
    w.tree()->setCurrentItem(users);
    ASSERT_TRUE(waitFor([&] { return !w.Busy() && w.userList()->rows().size() > 0; }, 30000));
}

} // namespace

// An administrator selects a user, edits two tabs, applies, and sees grid and directory
// follow; hidden columns come back after a restart.
TEST(QuickPanelInWindow, EditApplyAndColumnsAcrossRestart)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts prompts;
    // A user made without a password is disabled; list disabled users too.
    options::TOptions opts;
    options::LoadOptions(opts);
    opts.HideDisabled = false;
    ASSERT_TRUE(options::SaveOptions(opts));

    const QString name = QStringLiteral("qp-win-%1").arg(QRandomGenerator::global()->bounded(100000000));
    const QString usersDn = QStringLiteral("CN=Users,") + adsitest::baseDn();
    const QString dn = QStringLiteral("CN=") + name + QLatin1Char(',') + usersDn;
    {
        ads::ObjectPtr parent = adsitest::bindAdmin(usersDn);
        ads::ObjectPtr u;
        ASSERT_EQ(parent->Create("user", "CN=" + name, &u), ads::S_OK);
        u->Put("sAMAccountName", name.right(20));
        u->Put("title", "Before");
        ASSERT_EQ(u->SetInfo(), ads::S_OK);
    }
    struct Cleanup {
        QString dn;
        ~Cleanup() { adsitest::deleteTree(dn); }
    } cleanup{dn};

    {
        TfrmMain w;
        w.show();
        connectAndList(w);
        const int row = w.grid()->gridModel()->findRowByDn(dn);
        ASSERT_GE(row, 0);
        w.grid()->setCurrentIndex(w.grid()->model()->index(row, 1));
        TQuickPanel *panel = w.quickPanel();
        ASSERT_TRUE(waitFor([&] { return panel->currentUser() != nullptr; }, 10000));
        ASSERT_TRUE(panel->tabs()->isVisible());
        auto *title = panel->findChild<QLineEdit *>("ebTitle");
        auto *city = panel->findChild<QLineEdit *>("ebCity");
        ASSERT_TRUE(title && city);
        EXPECT_EQ(title->text(), "Before");
        title->selectAll();
        QTest::keyClicks(title, "After");
        QTest::keyClicks(city, "Lyon");
        ASSERT_TRUE(panel->ActionApplay()->isEnabled());
        prompts.answer(ui::Button::Yes); // the warning option is on in a fresh store
        panel->ActionApplay()->trigger();
        EXPECT_EQ(prompts.asked().size(), 1);
        EXPECT_FALSE(panel->ActionApplay()->isEnabled());

        const int titleCol = userlist::columnOfTag(21);
        const int cityCol = userlist::columnOfTag(17);
        const int shownRow = w.grid()->gridModel()->findRowByDn(dn);
        EXPECT_EQ(w.grid()->model()->index(shownRow, titleCol).data().toString(), "After");
        EXPECT_EQ(w.grid()->model()->index(shownRow, cityCol).data().toString(), "Lyon");
        ads::ObjectPtr fresh = adsitest::bindAdmin(dn);
        QVariant v;
        fresh->GetInfoEx({"title", "l"});
        ASSERT_EQ(fresh->Get("title", &v), ads::S_OK);
        EXPECT_EQ(v.toString(), "After");
        ASSERT_EQ(fresh->Get("l", &v), ads::S_OK);
        EXPECT_EQ(v.toString(), "Lyon");

        // Only Office and Company hidden when the window closes.
        w.grid()->setHiddenTags({23, 4});
        w.close();
    }
    // Stored one byte per column, in column order, and hidden again at the next start.
    EXPECT_EQ(options::LoadHiddenColumns(), (std::vector<int>{4, 23}));
    {
        TfrmMain again;
        EXPECT_EQ(again.grid()->hiddenTags(), (std::vector<int>{4, 23}));
    }
}
