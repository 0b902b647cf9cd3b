// actFindAndReplace of the connected main window opens the window with the selected
// container, the current filter and its filter-builder flag; the filter builder composes the
// same terms from the domain's policy whichever window opens it.
#include "bulk/unBatchExport.h"
#include "bulk/unFindAndReplace.h"
#include "bulk/unFindAndReplaceWiring.h"
#include "main/unMain.h"
#include "main/unUserListing.h"
#include "query/unFilter.h"
#include "query/unLastLogonBox.h"
#include "query/wiremain.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"
#include "ui/prompt.h"
#include "../main/mainwindow_support.h"

#include <QCheckBox>

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

// The filter builder opened from the main window, from Find and Replace and from Batch Export
// takes the connected domain's maximum password age (the test domain's is 90 days, not the 42
// of a domain never read) and logon sync interval: "password expired" gives the same term in
// all three, a fragment parsed back keeps it, and it finds exactly the users whose computed
// account control says the password expired, as ldapsearch reads them.
TEST(ReplaceWiring, EveryFilterBuilderOpenerTakesTheDomainsPolicy)
{
    ARV_REQUIRE_DOMAIN();
    using testsupport::fact;
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    query::wireMainWindow(w);
    findreplace::wireMainWindow(w);
    bulk::wireExport(w);
    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning() && !w.Busy(); }, 120000));

    const auto domain = testsupport::ldapSearch(fact("BASE_DN"), QStringLiteral("(objectClass=*)"),
                                                {QStringLiteral("msDS-logonTimeSyncInterval")},
                                                testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_EQ(domain.size(), 1);
    // Without a stored interval the step is 15 days.
    const QString sync = domain.first().text(QStringLiteral("msDS-logonTimeSyncInterval"));
    const QString step = sync.isEmpty() ? QStringLiteral("15") : sync;

    // Each builder's day step, and the conditions the later ones parse back from the fragment
    // they were handed (the main window's filter).
    QStringList parsedBack, steps;
    auto compose = [&](query::TfrmFilter *f) {
        if (!f->filterText().isEmpty())
            parsedBack << f->conditions().fragment();
        steps << QString::number(f->gbLastLogon->rule().step);
        f->btClearClick();
        f->HideExpired->setChecked(true);
        f->btOKClick();
    };
    whenModal<query::TfrmFilter>(compose);
    w.ActionFilter->trigger();
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 60000));
    const QString fromMain = w.userList()->currentFilter();
    ASSERT_FALSE(fromMain.isEmpty());

    QString fromReplace;
    whenModal<TfrmFindAndReplace>([&](TfrmFindAndReplace *dlg) {
        whenModal<query::TfrmFilter>(compose);
        dlg->sbExtraRestrictionClick();
        fromReplace = dlg->extraRestriction();
        dlg->btCloseClick();
    });
    w.actFindAndReplace->trigger();

    QString fromExport;
    whenModal<TfrmBatchExport>([&](TfrmBatchExport *dlg) {
        whenModal<query::TfrmFilter>(compose);
        dlg->btRestrictionsClick();
        fromExport = dlg->filter();
        dlg->accept();
    });
    w.actBulkExport->trigger();

    EXPECT_EQ(fromReplace, fromMain);
    EXPECT_EQ(fromExport, fromMain);
    EXPECT_EQ(parsedBack, (QStringList{fromMain, fromMain}));
    EXPECT_EQ(steps, (QStringList{step, step, step}));

    // The users: those whose computed control has the password-expired bit.
    QSet<QString> expired, found;
    for (const auto &e : testsupport::ldapSearch(fact("SEED_OU"), query::userFilter(QString()),
                                                 {QStringLiteral("msDS-User-Account-Control-Computed")}))
        if (e.text(QStringLiteral("msDS-User-Account-Control-Computed")).toUInt() & 0x800000)
            expired.insert(e.dn.toLower());
    ASSERT_GE(expired.size(), 40);
    for (const auto &e : testsupport::ldapSearch(fact("SEED_OU"), query::userFilter(fromMain), {QStringLiteral("1.1")}))
        found.insert(e.dn.toLower());
    EXPECT_EQ(found, expired);
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join(QLatin1Char('|')).toStdString();
}
