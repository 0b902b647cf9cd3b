// The Select User dialog against the test domain: what it finds is what ldapsearch finds.
#include "adsi_fixture.h"
#include "mainwindow_support.h"
#include "query_gui_support.h"

#include "core/unValuesTime.h"
#include "query/unFind.h"
#include "query/unLastLogonBox.h"
#include "ui/prompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace querytest;
using query::TfrmFind;

namespace {

constexpr int DnColumn = 4;

QString staffOu() { return QStringLiteral("OU=Staff,") + seedOu(); }

void findIn(TfrmFind &dlg, const QString &baseDn, query::FindScope scope = query::FindScope::Users)
{
    query::FindRequest r;
    r.basePath = pathOf(baseDn);
    r.scope = scope;
    dlg.setRequest(r);
}

} // namespace

TEST(FindUser, NamesWithFilterCharactersFindExactlyThatName)
{
    ARV_REQUIRE_DOMAIN();
    ASSERT_TRUE(connectDomain());
    const QString ou = adsitest::scratchOu();
    const QString tag = adsitest::uniqueTag();
    const QString star = QStringLiteral("Star*Name (q%1)").arg(tag);
    const QString plain = QStringLiteral("StarXName (q%1)").arg(tag);
    for (const QString &cn : {star, plain}) {
        ads::ObjectPtr parent = adsitest::bindAdmin(ou);
        ads::ObjectPtr u;
        ASSERT_EQ(parent->Create("user", "CN=" + cn, &u), ads::S_OK);
        u->Put("sAMAccountName", QStringLiteral("q") + tag + (cn == star ? "s" : "p"));
        ASSERT_EQ(u->SetInfo(), ads::S_OK);
    }
    TfrmFind dlg;
    findIn(dlg, ou);
    // "Starts with" a name holding '*' and '(' : the star is a character, not a wildcard.
    dlg.ebName->setText(QStringLiteral("Star*Name (q"));
    dlg.btFindClick();
    ASSERT_EQ(dlg.lvResult->topLevelItemCount(), 1);
    EXPECT_EQ(dlg.lvResult->topLevelItem(0)->text(0), star);
    EXPECT_EQ(columnTexts(dlg.lvResult, DnColumn),
              ldapDns(ou, QStringLiteral("(&(objectCategory=person)(objectClass=user)(cn=Star\\2aName \\28q*))")));
    dlg.cbQuery->setCurrentIndex(1);
    dlg.ebName->setText(plain);
    dlg.btFindClick();
    ASSERT_EQ(dlg.lvResult->topLevelItemCount(), 1);
    EXPECT_EQ(dlg.lvResult->topLevelItem(0)->text(0), plain);
    // A lone '(' or '\' is no error either.
    ui::ScriptedPrompts prompts;
    dlg.ebName->setText(QStringLiteral("("));
    dlg.btFindClick();
    dlg.ebName->setText(QStringLiteral("\\"));
    dlg.btFindClick();
    EXPECT_EQ(prompts.asked().size(), 0);
    EXPECT_EQ(dlg.lvResult->topLevelItemCount(), 0);

    // Enter in the name box searches once.
    QSignalSpy searches(&dlg, &TfrmFind::searchFinished);
    dlg.show();
    dlg.activateWindow();
    dlg.ebName->setFocus();
    dlg.ebName->setText(plain);
    QTest::keyClick(dlg.ebName, Qt::Key_Return);
    EXPECT_EQ(searches.count(), 1);
    EXPECT_EQ(dlg.lvResult->topLevelItemCount(), 1);
}

TEST(FindUser, EntryPointReturnsNameDnAndKind)
{
    ARV_REQUIRE_DOMAIN();
    ASSERT_TRUE(connectDomain());
    query::FindRequest r;
    r.basePath = pathOf(seedOu());
    r.initialName = QStringLiteral("Smith, John");
    mwtest::whenModal<TfrmFind>([](TfrmFind *d) {
        d->cbQuery->setCurrentIndex(1);
        d->btFindClick();
        ASSERT_EQ(d->lvResult->topLevelItemCount(), 1);
        EXPECT_FALSE(d->btOK->isEnabled());
        d->lvResult->setCurrentItem(d->lvResult->topLevelItem(0));
        EXPECT_TRUE(d->btOK->isEnabled());
        d->btOKClick();
    });
    query::FindResult found;
    ASSERT_TRUE(query::FindUser(nullptr, r, &found));
    EXPECT_EQ(found.name, QStringLiteral("Smith, John"));
    EXPECT_EQ(found.distinguishedName, QStringLiteral("CN=Smith\\, John,OU=Showcase,") + seedOu());
    EXPECT_EQ(found.kind, query::FindKind::User);

    // OK without a selection says so and stays; Cancel gives nothing back.
    mwtest::whenModal<TfrmFind>([](TfrmFind *d) {
        ui::ScriptedPrompts prompts;
        d->btOKClick();
        ASSERT_EQ(prompts.asked().size(), 1);
        EXPECT_EQ(prompts.asked().at(0).text, QStringLiteral("Nothing is selected."));
        EXPECT_TRUE(d->isVisible());
        d->btCancelClick();
    });
    EXPECT_FALSE(query::FindUser(nullptr, r, &found));
}

TEST(FindUser, ExchangeOnlyListsMailboxUsersOnly)
{
    ARV_REQUIRE_DOMAIN();
    ASSERT_TRUE(connectDomain());
    TfrmFind dlg;
    query::FindRequest r;
    r.basePath = pathOf(seedOu());
    r.exchangeOnly = true;
    dlg.setRequest(r);
    EXPECT_TRUE(dlg.cbExchangeOnly->isChecked());
    EXPECT_FALSE(dlg.cbExchangeOnly->isEnabled());
    dlg.btFindClick();
    const QSet<QString> found = columnTexts(dlg.lvResult, DnColumn);
    const QSet<QString> mailboxes = ldapDns(seedOu(), QStringLiteral("(&(objectCategory=person)(objectClass=user)(homeMDB=*))"));
    EXPECT_GT(found.size(), 30);
    EXPECT_EQ(found, mailboxes);
    EXPECT_FALSE(found.contains((QStringLiteral("CN=Mail Only,OU=Showcase,") + seedOu()).toLower()));
}

TEST(FindUser, LastLogonAgeAgainstTheSeedsLogonTimes)
{
    ARV_REQUIRE_DOMAIN();
    ASSERT_TRUE(connectDomain());
    ASSERT_GT(ConnectionContext().DomainFunctionality, 1);
    // Expected sets from the stored values, computed here without the program's filters.
    const QDate today = QDate::currentDate();
    const qint64 threshold =
        QDateTime(today.addDays(-90), QTime(0, 0)).toMSecsSinceEpoch() * 10000 + 116444736000000000LL;
    QSet<QString> recent, old;
    for (const testsupport::LdifEntry &e :
         testsupport::ldapSearch(staffOu(), QStringLiteral("(&(objectCategory=person)(objectClass=user))"),
                                 {QStringLiteral("lastLogonTimestamp")})) {
        const QByteArray v = e.values(QStringLiteral("lastLogonTimestamp")).value(0);
        if (v.isEmpty())
            continue;
        (v.toLongLong() >= threshold ? recent : old).insert(e.dn.toLower());
    }
    ASSERT_GT(recent.size(), 20);
    ASSERT_GT(old.size(), 20);

    TfrmFind dlg;
    findIn(dlg, staffOu());
    dlg.gbLastLogon->setDays(90);
    dlg.btFindClick();
    EXPECT_EQ(columnTexts(dlg.lvResult, DnColumn), recent);
    // Every listed user shows a last logon.
    for (int i = 0; i < dlg.lvResult->topLevelItemCount(); ++i)
        EXPECT_FALSE(dlg.lvResult->topLevelItem(i)->text(3).isEmpty());
    dlg.gbLastLogon->setToggled(true);
    EXPECT_EQ(dlg.gbLastLogon->lbHave->text(), QStringLiteral("have not"));
    dlg.btFindClick();
    EXPECT_EQ(columnTexts(dlg.lvResult, DnColumn), old);
    // A typed age below the step is raised to the step.
    dlg.gbLastLogon->cbDays->setEditText(QStringLiteral("3"));
    dlg.gbLastLogon->setDays(dlg.gbLastLogon->days());
    EXPECT_EQ(dlg.gbLastLogon->cbDays->currentText(), QString::number(dlg.gbLastLogon->rule().step));
}

TEST(FindUser, MaximumItemsAndStop)
{
    ARV_REQUIRE_DOMAIN();
    ASSERT_TRUE(connectDomain());
    TfrmFind dlg;
    findIn(dlg, seedOu());
    dlg.rbNumb->setChecked(true);
    dlg.ebNumbers->setText(QStringLiteral("3000"));
    dlg.btFindClick();
    EXPECT_EQ(dlg.ebNumbers->text(), QStringLiteral("2000"));
    dlg.ebNumbers->setText(QStringLiteral("5"));
    dlg.btFindClick();
    EXPECT_EQ(dlg.lvResult->topLevelItemCount(), 5);
    EXPECT_EQ(dlg.lbHowManyAre->text(), QStringLiteral(" First 5 Users are listed"));

    // Stop during a search of the whole seed (almost 2,000 users) ends it early; the dialog
    // cannot be closed meanwhile.
    dlg.rbAll->setChecked(true);
    dlg.show();
    bool closedWhileSearching = true;
    QTimer::singleShot(0, &dlg, [&] {
        EXPECT_TRUE(dlg.searching());
        EXPECT_TRUE(dlg.btStop->isEnabled());
        dlg.reject();
        closedWhileSearching = !dlg.isVisible();
        dlg.btStopClick();
    });
    dlg.btFindClick();
    EXPECT_FALSE(closedWhileSearching);
    const int total = ldapDns(seedOu(), QStringLiteral("(&(objectCategory=person)(objectClass=user))")).size();
    EXPECT_GT(dlg.lvResult->topLevelItemCount(), 0);
    EXPECT_LT(dlg.lvResult->topLevelItemCount(), total);
    EXPECT_FALSE(dlg.btStop->isEnabled());
    EXPECT_TRUE(dlg.btFind->isEnabled());
    EXPECT_EQ(dlg.lbHowManyAre->text(), QStringLiteral(" First %1 Users are listed").arg(dlg.lvResult->topLevelItemCount()));
}

TEST(FindUser, GroupsAreMatchedByNameAndDistributionOnlyWithTheLastLogonGroup)
{
    ARV_REQUIRE_DOMAIN();
    ASSERT_TRUE(connectDomain());
    const QString groups = QStringLiteral("OU=Groups,") + seedOu();
    TfrmFind dlg;
    findIn(dlg, groups, query::FindScope::UsersAndGroups);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral(" Select User or Distribution Group"));
    dlg.ebName->setText(QStringLiteral("G"));
    dlg.btFindClick();
    QSet<QString> names = columnTexts(dlg.lvResult, 0);
    EXPECT_TRUE(names.contains(QStringLiteral("gd project team")));
    EXPECT_FALSE(names.contains(QStringLiteral("gg engineering")));
    EXPECT_EQ(columnTexts(dlg.lvResult, DnColumn),
              ldapDns(groups, QStringLiteral("(&(objectCategory=Group)(objectClass=Group)"
                                             "(!(groupType:1.2.840.113556.1.4.803:=2147483648))(cn=G*))")));
    dlg.lvResult->setCurrentItem(dlg.lvResult->topLevelItem(0));
    EXPECT_TRUE(dlg.selection().isGroup());

    dlg.setShowLastLogon(false);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral(" Select User or Group"));
    dlg.btFindClick();
    names = columnTexts(dlg.lvResult, 0);
    EXPECT_TRUE(names.contains(QStringLiteral("gg engineering")));
    EXPECT_TRUE(names.contains(QStringLiteral("gd project team")));
}
