// The Exchange tabs of a mailbox user, and the dialogs opened from the Organization tab.
#include "userprop_support.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTreeWidget>

using namespace uptest;

namespace {
QString mia()
{
    return QStringLiteral("CN=Mia Mailbox,OU=Showcase,") + testsupport::fact("SEED_OU");
}
} // namespace

class Exchange : public DialogTest {};

TEST_F(Exchange, AliasMustBeUniqueAndPresentAndHidingIsWritten)
{
    const auto m = entry(mia(), {"homeMDB", "msExchHomeServerName"});
    const QString alias = uniqueName("alias");
    const QString dn = createUser("up-mbx", {{"homeMDB", m.text("homeMDB")},
                                            {"msExchHomeServerName", m.text("msExchHomeServerName")},
                                            {"mailNickname", alias}});
    TfrmUserProp *d = open(dn);
    ASSERT_TRUE(d->hasMailbox());
    d->showTab(TfrmUserProp::ExchangeGeneral);
    auto *ebAlias = child<QLineEdit>(d, "ebExchangeAlias");
    EXPECT_EQ(ebAlias->text(), alias);
    typeInto(ebAlias, "   ");
    EXPECT_FALSE(d->Apply());
    EXPECT_EQ(prompts.messages().value(0),
              "The specified user Alias field cannot be empty. Provide a value and then try again.");
    typeInto(ebAlias, "mia.mailbox");
    EXPECT_FALSE(d->Apply());
    EXPECT_EQ(prompts.messages().value(1), "The specified user Alias already exists in the enterprise.");
    EXPECT_EQ(d->pages()->currentIndex(), int(TfrmUserProp::ExchangeGeneral));
    typeInto(ebAlias, " " + alias + "-2 ");
    d->showTab(TfrmUserProp::ExchangeAdvanced);
    auto *hide = child<QCheckBox>(d, "cbHideFromExchangeAddressLists");
    EXPECT_FALSE(hide->isChecked());
    hide->click();
    ASSERT_TRUE(d->Apply());
    const auto e = entry(dn, {"mailNickname", "msExchHideFromAddressLists"});
    EXPECT_EQ(e.text("mailNickname"), alias + "-2"); // trimmed
    EXPECT_EQ(e.text("msExchHideFromAddressLists"), "TRUE");

    // Without a mailbox the two tabs are hidden.
    TfrmUserProp *plain = open(createUser("up-nombx", {{"mailNickname", uniqueName("only")}}));
    EXPECT_FALSE(plain->hasMailbox());
    EXPECT_FALSE(plain->pages()->isTabVisible(TfrmUserProp::ExchangeGeneral));
    EXPECT_FALSE(plain->pages()->isTabVisible(TfrmUserProp::ExchangeAdvanced));
}

TEST_F(Exchange, DirectReportOpensItsOwnDialogBesideThisOne)
{
    const QString boss = createUser("up-boss");
    const QString report = createUser("up-rep", {{"manager", boss}});
    TfrmUserProp *d = open(boss);
    d->move(100, 100);
    d->showTab(TfrmUserProp::Organization);
    auto *list = child<QTreeWidget>(d, "lvDirectReports");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), ads::firstRdn(report).mid(3));
    d->lvDirectReportsDblClick(list->topLevelItem(0));
    TfrmUserProp *r = userprop::findDialog(report);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->frameGeometry().topLeft(), d->frameGeometry().topLeft() + QPoint(20, 20));
    // The same again brings the open one.
    d->lvDirectReportsDblClick(list->topLevelItem(0));
    EXPECT_EQ(userprop::openDialogs().size(), 2);
}
