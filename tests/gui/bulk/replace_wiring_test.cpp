// actFindAndReplace of the connected main window opens the window with the selected
// container, the current filter and its filter-builder flag.
#include "bulk/unFindAndReplace.h"
#include "bulk/unFindAndReplaceWiring.h"
#include "main/unMain.h"
#include "main/unUserListing.h"
#include "support/testdomain.h"
#include "ui/prompt.h"
#include "../main/mainwindow_support.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace mwtest;

TEST(ReplaceWiring, MainWindowHandsOverContainerAndFilter)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    findreplace::wireMainWindow(w);
    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    QTreeWidgetItem *root = w.tree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    QTreeWidgetItem *seed = nullptr;
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->text(0) == QStringLiteral("Arvendel"))
            seed = root->child(i);
    ASSERT_NE(seed, nullptr);
    w.tree()->setCurrentItem(seed);
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 60000));
    w.userList()->setCurrentFilter(QStringLiteral("(l=Bern)"), true);

    QString container, extra;
    bool fromBuilder = false;
    int attributes = 0;
    whenModal<TfrmFindAndReplace>([&](TfrmFindAndReplace *dlg) {
        container = dlg->lbSelectesContainer->text();
        extra = dlg->extraRestriction();
        fromBuilder = dlg->extraFromBuilder();
        attributes = dlg->cbAttributes->count();
        dlg->btCloseClick();
    });
    w.actFindAndReplace->trigger();
    EXPECT_EQ(container, testsupport::fact("SEED_OU"));
    EXPECT_EQ(extra, QStringLiteral("(l=Bern)"));
    EXPECT_TRUE(fromBuilder);
    // The schema was read at connect: the test domain knows all 39 attributes.
    EXPECT_EQ(attributes, 39);
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join(QLatin1Char('|')).toStdString();
}
