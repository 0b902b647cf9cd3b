// The main window with the query windows plugged in: the grid lists what ldapsearch lists for
// the filter built, refuses a typed filter that is not valid, and Find User lists one user.
#include "mainwindow_support.h"
#include "query_gui_support.h"

#include "main/unMain.h"
#include "options/unOptions.h"
#include "query/unFilter.h"
#include "query/unFind.h"
#include "query/wiremain.h"
#include "ui/prompt.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace querytest;

namespace {

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

QSet<QString> gridDns(const TfrmMain &w)
{
    QSet<QString> out;
    for (std::size_t i = 0; i < std::size_t(w.userList()->rows().size()); ++i)
        out.insert(w.userList()->rows().at(int(i)).distinguishedName().toString().toLower());
    return out;
}

} // namespace

TEST(MainWindowQueries, FilterBuilderAndFindUserNarrowTheGrid)
{
    ARV_REQUIRE_DOMAIN();
    mwtest::TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(mwtest::domainSettings()));
    options::TOptions opts;
    options::LoadOptions(opts);
    opts.HideDisabled = false;
    opts.HideExpired = false;
    ASSERT_TRUE(options::SaveOptions(opts));
    ui::ScriptedPrompts prompts;

    TfrmMain w;
    query::wireMainWindow(w);
    w.show();
    w.acConnectExecute();
    ASSERT_TRUE(mwtest::waitFor([&] { return !w.schemaThreadsRunning() && !w.Busy(); }, 120000));
    QTreeWidgetItem *seed = childNamed(w.tree()->topLevelItem(0), QStringLiteral("Arvendel"));
    ASSERT_NE(seed, nullptr);
    w.tree()->setCurrentItem(seed);
    ASSERT_TRUE(mwtest::waitFor([&] { return !w.Busy() && seed->childCount() > 0; }, 30000));
    QTreeWidgetItem *showcase = childNamed(seed, QStringLiteral("Showcase"));
    ASSERT_NE(showcase, nullptr);
    w.tree()->setCurrentItem(showcase);
    ASSERT_TRUE(mwtest::waitFor([&] { return !w.Busy() && w.userList()->rows().size() > 0; }, 30000));
    const QString showcaseDn = QStringLiteral("OU=Showcase,") + seedOu();
    const QSet<QString> all = ldapDns(showcaseDn, query::userFilter(QString()), true);
    EXPECT_EQ(gridDns(w), all);

    // Conditions: the grid lists exactly what ldapsearch lists for the same filter.
    QString fragment;
    mwtest::whenModal<query::TfrmFilter>([&](query::TfrmFilter *f) {
        EXPECT_EQ(f->statusPanel(0), QStringLiteral(" Container: Showcase"));
        addCondition(*f, "mail", "Present");
        addCondition(*f, "cn", "Containing", QStringLiteral("Mail"));
        fragment = f->filterText();
        f->btOKClick();
    });
    w.ActionFilter->trigger();
    ASSERT_TRUE(mwtest::waitFor([&] { return !w.Busy(); }, 30000));
    ASSERT_EQ(fragment, QStringLiteral("(mail=*)(cn=*Mail*)"));
    EXPECT_EQ(w.userList()->currentFilter(), fragment);
    EXPECT_TRUE(w.userList()->filterFromBuilder());
    const QSet<QString> narrowed = ldapDns(showcaseDn, query::userFilter(fragment), true);
    EXPECT_FALSE(narrowed.isEmpty());
    EXPECT_LT(narrowed.size(), all.size());
    EXPECT_EQ(gridDns(w), narrowed);
    EXPECT_TRUE(w.statusPanel(0).contains(QStringLiteral("[Filter Activated]")));

    // The builder opens on the current filter as conditions; a typed filter that is not valid
    // is refused there and never reaches the grid.
    prompts.answer(ui::Button::Ok);
    mwtest::whenModal<query::TfrmFilter>([&](query::TfrmFilter *f) {
        EXPECT_EQ(f->lvCond->topLevelItemCount(), 2);
        f->memoQuery->clear();
        QTest::keyClicks(f->memoQuery, QStringLiteral("(!mail=*)"));
        f->btOKClick();
        EXPECT_TRUE(f->isVisible());
        f->memoQuery->clear();
        QTest::keyClicks(f->memoQuery, QStringLiteral("(!(mail=*))"));
        f->btOKClick();
    });
    w.ActionFilter->trigger();
    ASSERT_TRUE(mwtest::waitFor([&] { return !w.Busy(); }, 30000));
    ASSERT_EQ(prompts.asked().size(), 1);
    EXPECT_EQ(prompts.asked().at(0).text, QStringLiteral("The specified search filter is invalid."));
    EXPECT_EQ(w.userList()->currentFilter(), QStringLiteral("(!(mail=*))"));
    EXPECT_FALSE(w.userList()->filterFromBuilder());
    EXPECT_EQ(gridDns(w), ldapDns(showcaseDn, query::userFilter(QStringLiteral("(!(mail=*))")), true));

    // Cancel removes the filter and lists the node again.
    mwtest::whenModal<query::TfrmFilter>([](query::TfrmFilter *f) { f->btCancelClick(); });
    w.ActionFilter->trigger();
    ASSERT_TRUE(mwtest::waitFor([&] { return !w.Busy(); }, 30000));
    EXPECT_TRUE(w.userList()->currentFilter().isEmpty());
    EXPECT_EQ(gridDns(w), all);
    EXPECT_FALSE(w.statusPanel(0).contains(QStringLiteral("[Filter Activated]")));

    // Find User: the whole domain is searched for the one user picked; no node stays selected.
    const QString smith = QStringLiteral("CN=Smith\\, John,OU=Showcase,") + seedOu();
    mwtest::whenModal<query::TfrmFind>([](query::TfrmFind *d) {
        d->ebName->setText(QStringLiteral("Smith, J"));
        d->btFindClick();
        ASSERT_EQ(d->lvResult->topLevelItemCount(), 1);
        d->lvResult->setCurrentItem(d->lvResult->topLevelItem(0));
        d->btOKClick();
    });
    w.actFindFast->trigger();
    ASSERT_TRUE(mwtest::waitFor([&] { return !w.Busy() && w.userList()->rows().size() == 1; }, 30000));
    EXPECT_EQ(gridDns(w), QSet<QString>{smith.toLower()});
    EXPECT_TRUE(w.tree()->selectedItems().isEmpty());
    EXPECT_TRUE(w.statusPanel(0).contains(QStringLiteral("[Filter Activated]")));
    for (const ui::PromptRecord &r : prompts.asked())
        EXPECT_FALSE(r.unscripted) << r.text.toStdString();
}
