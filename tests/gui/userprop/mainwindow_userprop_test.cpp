// The property dialog in the program's main window: the grid opens it, and its Apply
// refreshes the grid row and the quick panel.
#include "userprop_support.h"

#include "main/unMain.h"
#include "main/unQuickPanel.h"
#include "main/unUserGrid.h"
#include "mainwindow_support.h"
#include "userprop/unUserPropWiring.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QTreeWidget>

using namespace uptest;

class MainWindowUserProp : public ::testing::Test {};

TEST_F(MainWindowUserProp, GridOpensTheDialogAndApplyRefreshesGridAndPanel)
{
    ARV_REQUIRE_DOMAIN();
    // The user lives in an OU of its own below the domain root, made before connecting.
    const QString ou = QStringLiteral("OU=") + uniqueName("up-mw") + QLatin1Char(',') + adsitest::baseDn();
    modify(QStringLiteral("dn: %1\nchangetype: add\nobjectClass: organizationalUnit\n").arg(ou));
    const QString dn = createUser("up-mwu", {{"physicalDeliveryOfficeName", "Room 1"}, {"title", "Clerk"}}, ou);

    mwtest::TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(mwtest::domainSettings()));
    // The new user has no password yet (disabled, password expired): list it anyway.
    options::TOptions o;
    o.HideDisabled = false;
    o.HideExpired = false;
    o.ShowWarning = false;
    ASSERT_TRUE(options::SaveOptions(o));
    options::LoadOptions(o);
    ui::ScriptedPrompts script;
    {
        TfrmMain w;
        userprop::wireMainWindow(w);
        w.show();
        w.acConnectExecute();
        ASSERT_TRUE(mwtest::waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
        QTreeWidgetItem *root = w.tree()->topLevelItem(0);
        ASSERT_NE(root, nullptr);
        QTreeWidgetItem *node = nullptr;
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == ads::firstRdn(ou).mid(3))
                node = root->child(i);
        ASSERT_NE(node, nullptr);
        w.tree()->setCurrentItem(node);
        ASSERT_TRUE(mwtest::waitFor([&] { return !w.Busy() && w.userList()->rows().size() == 1; }, 30000));
        const QModelIndex cell = w.grid()->gridModel()->index(0, 0);
        w.grid()->setCurrentIndex(cell);
        ASSERT_TRUE(mwtest::waitFor([&] { return w.quickPanel()->currentUser() != nullptr; }, 10000));
        w.quickPanel()->tabs()->setCurrentIndex(quickpanel::Organization);

        // A double click opens the dialog of the selected user; Enter brings the same one.
        emit w.grid()->doubleClicked(cell);
        TfrmUserProp *d = userprop::findDialog(dn);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(userprop::openDialogs().size(), 1);
        w.grid()->setFocus();
        QTest::keyClick(w.grid(), Qt::Key_Return);
        EXPECT_EQ(userprop::openDialogs().size(), 1);

        typeInto(d->findChild<QLineEdit *>(QStringLiteral("ebOffice")), "Room 42");
        d->showTab(TfrmUserProp::Organization);
        typeInto(d->findChild<QLineEdit *>(QStringLiteral("ebTitle")), "Director");
        ASSERT_TRUE(d->Apply());
        EXPECT_EQ(ldapText(dn, "physicalDeliveryOfficeName"), "Room 42");
        // The listed record, the grid row and the panel show the new values; the panel stays
        // on the page it showed.
        EXPECT_EQ(w.userList()->rows().at(0).text(userlist::Field::PhysicalDeliveryOfficeName), "Room 42");
        EXPECT_EQ(w.userList()->rows().at(0).text(userlist::Field::Title), "Director");
        EXPECT_EQ(w.quickPanel()->findChild<QLineEdit *>(QStringLiteral("ebOffice"))->text(), "Room 42");
        EXPECT_EQ(w.quickPanel()->findChild<QLineEdit *>(QStringLiteral("ebTitle"))->text(), "Director");
        EXPECT_EQ(w.quickPanel()->tabs()->currentIndex(), int(quickpanel::Organization));
    }
    // No property dialog outlives the main window.
    EXPECT_TRUE(userprop::openDialogs().isEmpty());
    adsitest::deleteTree(ou);
}
