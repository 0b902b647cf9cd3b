// The main window opens the group lists from "Groups" and "Query-Based Distribution Groups",
// and a group's window from the list's "View".
#include "../main/mainwindow_support.h"

#include "groups/unDynamicGroupView.h"
#include "groups/unGroupView.h"
#include "groups/unGroupsWiring.h"
#include "groups/unSelectGroup.h"
#include "main/unMain.h"
#include "support/testdomain.h"
#include "ui/prompt.h"

#include <gtest/gtest.h>

using namespace mwtest;

namespace {

// What the test saw when a wait ran out: the open modal window and any message shown.
std::string stateText(const ui::ScriptedPrompts &script)
{
    const QWidget *modal = QApplication::activeModalWidget();
    return QStringLiteral("modal window: %1; messages: %2")
        .arg(modal ? QString::fromLatin1(modal->metaObject()->className()) : QStringLiteral("none"),
             script.messages().join(QLatin1Char('|')))
        .toStdString();
}

} // namespace

TEST(GroupsWiring, MainWindowActionsOpenTheListsAndViewOpensTheGroup)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    groups::wireMainWindow(w);
    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    ASSERT_TRUE(w.ActionGroups->isEnabled());

    QString viewTitle;
    int listed = 0;
    whenModal<groups::TfrmSelectGroup>([&](groups::TfrmSelectGroup *list) {
        waitFor([&] { return list->ListViewGroups->topLevelItemCount() > 0; }, 30000);
        listed = list->ListViewGroups->topLevelItemCount();
        for (int i = 0; i < listed; ++i)
            if (list->ListViewGroups->topLevelItem(i)->text(0) == QStringLiteral("GG Sales"))
                list->ListViewGroups->setCurrentItem(list->ListViewGroups->topLevelItem(i));
        whenModal<groups::TfrmGroupView>([&](groups::TfrmGroupView *view) {
            viewTitle = view->windowTitle();
            view->btCancelClick();
            QTimer::singleShot(0, list, [list] { list->btClose->click(); });
        });
        list->btViewClick();
    });
    w.ActionGroups->trigger();
    ASSERT_TRUE(waitFor([&] { return !viewTitle.isEmpty() && !QApplication::activeModalWidget(); }, 120000))
        << "groups listed: " << listed << ", view title: " << viewTitle.toStdString() << "; " << stateText(script);
    EXPECT_GT(listed, 20);
    EXPECT_EQ(viewTitle, QStringLiteral("  GG Sales Properties"));

    QStringList dynamicNames;
    whenModal<groups::TfrmQueryBasedDistributionList>([&](groups::TfrmQueryBasedDistributionList *list) {
        waitFor([&] { return list->ListViewGroups->topLevelItemCount() > 0; }, 30000);
        for (int i = 0; i < list->ListViewGroups->topLevelItemCount(); ++i)
            dynamicNames << list->ListViewGroups->topLevelItem(i)->text(0);
        list->btClose->click();
    });
    w.ActionQueryBasedDL->trigger();
    ASSERT_TRUE(waitFor([&] { return !dynamicNames.isEmpty() && !QApplication::activeModalWidget(); }, 120000))
        << stateText(script);
    EXPECT_TRUE(dynamicNames.contains(QStringLiteral("All Mailbox Users")));
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join(QLatin1Char('|')).toStdString();
}
