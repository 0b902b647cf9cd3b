// The find-and-replace window on the offscreen platform, driven by its control names with the
// prompt service scripted: the attribute list and pages, the greying rules, Preview and Apply
// over a scratch OU of the test domain (read back with ldapsearch), unticking, the
// confirmation, the log, Show Query and the manager buttons.
#include "bulk/unFindAndReplace.h"
#include "platform/adsi/adsconnection.h"
#include "../../integration/bulk/replace_fixture.h"
#include "ui/prompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace findreplace;
using namespace replacetest;

namespace {

void chooseAttribute(TfrmFindAndReplace &w, const QString &caption)
{
    const int i = w.cbAttributes->findText(caption);
    ASSERT_GE(i, 0) << caption.toStdString();
    w.cbAttributes->setCurrentIndex(i);
}

} // namespace

TEST(ReplaceWindow, AttributesPagesColumnsAndGreying)
{
    ui::ScriptedPrompts script;
    TfrmFindAndReplace w(nullptr, TConnectionContext{});
    w.fillAttributes(false, {});
    EXPECT_EQ(w.windowTitle(), QStringLiteral(" Find Fast & Replace"));
    EXPECT_EQ(w.cbAttributes->count(), 39);
    EXPECT_EQ(w.cbAttributes->currentText(), QStringLiteral("First Name"));
    EXPECT_EQ(w.lbSelectesContainer->text(), QStringLiteral("<none>"));
    EXPECT_FALSE(w.sbApply->isEnabled());
    EXPECT_FALSE(w.sbStop->isEnabled());
    EXPECT_EQ(w.ListView->headerItem()->text(1), QStringLiteral("First Name [Current]"));

    // The schema test: only attributes the directory knows.
    w.fillAttributes(true, {QStringLiteral("sn"), QStringLiteral("CO"), QStringLiteral("msExchHideFromAddressLists")});
    EXPECT_EQ(w.cbAttributes->count(), 3);

    chooseAttribute(w, QStringLiteral("Country/Region"));
    EXPECT_EQ(w.PageControlCondition->currentWidget(), w.TabSheetCountry);
    EXPECT_EQ(w.cbCountry->count(), 244);
    EXPECT_EQ(w.cbCountry->currentIndex(), -1);
    EXPECT_EQ(w.cbCountryTo->currentIndex(), 0);
    EXPECT_EQ(w.ListView->headerItem()->text(2), QStringLiteral("Country/Region [Target]"));
    w.cbIsBlankCountry->click();
    EXPECT_FALSE(w.cbCountry->isEnabled());
    EXPECT_FALSE(w.gbCountryWhere->isEnabled());
    w.cbClearVlaueCountry->click();
    EXPECT_EQ(w.cbCountryTo->currentIndex(), -1);
    w.cbClearVlaueCountry->click();
    EXPECT_EQ(w.cbCountryTo->currentIndex(), 0);  // back to the first row

    chooseAttribute(w, QStringLiteral("Hide From Exchange Address Lists"));
    EXPECT_EQ(w.PageControlCondition->currentWidget(), w.TabSheetBooleans);
    EXPECT_EQ(w.cbFindBoolean->currentIndex(), -1);
    EXPECT_EQ(w.cbReplaceBoolean->currentText(), QStringLiteral("TRUE"));
    w.cbClearValueBoolean->click();
    EXPECT_FALSE(w.cbReplaceBoolean->isEnabled());
    EXPECT_EQ(w.cbReplaceBoolean->currentIndex(), -1);

    chooseAttribute(w, QStringLiteral("Last Name"));
    EXPECT_EQ(w.PageControlCondition->currentWidget(), w.TabSheetMain);
    w.cbIsBlank->click();
    EXPECT_FALSE(w.ebFind->isEnabled());
    EXPECT_FALSE(w.gbConditions->isEnabled());
    w.cbIsBlank->click();
    w.ebFind->setFocus();
    w.cbIsBlank->setChecked(true);
    w.ebFind->setEnabled(true);
    emit w.ebFind->textEdited(QStringLiteral("x"));  // typing a find value clears "Value Is Not Set"
    EXPECT_FALSE(w.cbIsBlank->isChecked());

    // Both checkboxes are refused by Preview with the window's message, before any search.
    w.cbIsBlank->setChecked(true);
    w.cbClearVlaue->setChecked(true);
    w.sbPreviewClick();
    ASSERT_EQ(script.messages().size(), 1);
    EXPECT_EQ(script.messages().first(),
              QStringLiteral("You cannot select both checkboxes\r\n\"Value Is Not Set\" and \"Clear Value\""));
    EXPECT_FALSE(w.sbApply->isEnabled());
    EXPECT_TRUE(w.sbPreview->isEnabled());
}

TEST(ReplaceWindow, ShowQuerySaveLogAndManagerButtons)
{
    ui::ScriptedPrompts script;
    TfrmFindAndReplace w(nullptr, TConnectionContext{});
    w.fillAttributes(false, {});
    w.setExtraRestriction(QStringLiteral("(l=Bern)"), false);
    chooseAttribute(w, QStringLiteral("Extension Attribute 3"));
    w.ebFind->setText(QStringLiteral("x"));
    QString shown;
    QTimer::singleShot(0, [&] {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *q = qobject_cast<TfrmQueryShow *>(top)) {
                EXPECT_EQ(q->windowTitle(), QStringLiteral("LDAP Query Show"));
                shown = q->memoQuery->toPlainText();
                q->btClose->click();
            }
    });
    w.btSeeClick();
    EXPECT_EQ(shown, QStringLiteral("(&(objectCategory=person)(objectClass=user)"
                                    "(&(extensionAttribute3=x)(homeMDB=*)(msExchHomeServerName=*))(l=Bern))"));

    // The log path: a name without an extension gets .TXT; Cancel means no log.
    script.answer(ui::ScriptedAnswer::file(QStringLiteral("/tmp/replace-log")));
    w.btSaveLogClick();
    EXPECT_EQ(w.logPath(), QStringLiteral("/tmp/replace-log.TXT"));
    ASSERT_FALSE(script.asked().isEmpty());
    EXPECT_EQ(script.asked().last().caption, QStringLiteral("Save Replace Actions To..."));
    w.btSaveLogClick();  // unscripted: cancelled
    EXPECT_TRUE(w.logPath().isEmpty());

    // The manager buttons take the picked user's name and DN.
    chooseAttribute(w, QStringLiteral("Manager"));
    w.setUserPicker([](QWidget *, QString &name, QString &dn) {
        name = QStringLiteral("Rep Boss");
        dn = QStringLiteral("CN=Rep Boss,OU=x,DC=y");
        return true;
    });
    w.cbIsBlankManager->setChecked(true);
    w.sbFindWhatManagerClick();
    EXPECT_EQ(w.ebManagerWhat->text(), QStringLiteral("CN=Rep Boss,OU=x,DC=y"));
    EXPECT_EQ(w.lbFindWhatCN->text(), QStringLiteral("Rep Boss"));
    EXPECT_FALSE(w.cbIsBlankManager->isChecked());
    EXPECT_EQ(conditionFilter(w.currentRule()), QStringLiteral("(manager=CN=Rep Boss,OU=x,DC=y)"));

    // The extra restriction from the filter builder: a different text replaces it, with its flag.
    w.setFilterBuilder([](QWidget *, QString &filter, bool &fromBuilder) {
        filter = QStringLiteral("(department=Sales)");
        fromBuilder = true;
        return true;
    });
    w.sbExtraRestrictionClick();
    EXPECT_EQ(w.extraRestriction(), QStringLiteral("(department=Sales)"));
    EXPECT_TRUE(w.extraFromBuilder());
}

class ReplaceWindowDomain : public ScratchOuTest<ReplaceWindowDomain> {
public:
    static constexpr const char *kOuPrefix = "replgui";
};

TEST_F(ReplaceWindowDomain, PreviewUntickApplyAfterConfirmationAndLog)
{
    ui::ScriptedPrompts script;
    const TConnectionContext ctx = adminContext();
    TfrmFindAndReplace w(nullptr, ctx);
    w.fillAttributes(false, {});
    w.setContainer(ctx.ServerPrefix + ou.dn, ou.dn, false);
    EXPECT_EQ(w.lbSelectesContainer->text(), ou.dn);
    chooseAttribute(w, QStringLiteral("Department"));

    // Nothing found: Apply stays off.
    w.ebFind->setText(QStringLiteral("No Such Department"));
    w.ebReplace->setText(QStringLiteral("x"));
    w.sbPreviewClick();
    EXPECT_EQ(w.statusText(), QStringLiteral("   0 items are available"));
    EXPECT_FALSE(w.sbApply->isEnabled());

    // Users without a department get "<sn> Dept".
    w.ebFind->clear();
    w.cbIsBlank->setChecked(true);
    w.ebReplace->setText(QStringLiteral("<%sn%> Dept"));
    w.sbPreviewClick();
    ASSERT_TRUE(script.messages().isEmpty()) << script.messages().join(QLatin1Char('|')).toStdString();
    const int found = static_cast<int>(w.rows().size());
    EXPECT_EQ(found, 9);
    EXPECT_EQ(w.statusText(), QStringLiteral("   %1 items are available").arg(found));
    EXPECT_TRUE(w.sbApply->isEnabled());
    EXPECT_EQ(w.ListView->topLevelItemCount(), found);
    int ann = -1, ben = -1;
    for (int i = 0; i < found; ++i) {
        EXPECT_EQ(w.ListView->topLevelItem(i)->checkState(0), Qt::Checked);
        if (w.rows()[static_cast<std::size_t>(i)].cn == QStringLiteral("Rep Ann"))
            ann = i;
        if (w.rows()[static_cast<std::size_t>(i)].cn == QStringLiteral("Rep Ben"))
            ben = i;
    }
    ASSERT_GE(ann, 0);
    ASSERT_GE(ben, 0);
    EXPECT_EQ(w.ListView->topLevelItem(ann)->text(1), QStringLiteral("<blank>"));
    EXPECT_EQ(w.ListView->topLevelItem(ann)->text(2), QStringLiteral("Alpha Dept"));
    // A real click on a row's check box flips its tick once.
    const int first = ann != 0 && ben != 0 ? 0 : (ann != 1 && ben != 1 ? 1 : 2);
    w.show();
    const QRect rect = w.ListView->visualItemRect(w.ListView->topLevelItem(first));
    QTest::mouseClick(w.ListView->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 8, rect.center().y()));
    EXPECT_FALSE(w.rows()[static_cast<std::size_t>(first)].selected);
    EXPECT_EQ(w.ListView->topLevelItem(first)->checkState(0), Qt::Unchecked);
    // Untick every other row but Ann and Ben.
    for (int i = 0; i < found; ++i)
        if (i != ann && i != ben && i != first)
            w.ListViewRowPressed(i);
    for (int i = 0; i < found; ++i)
        EXPECT_EQ(w.ListView->topLevelItem(i)->checkState(0), i == ann || i == ben ? Qt::Checked : Qt::Unchecked);

    // "No" writes nothing and keeps Apply.
    script.answer(ui::Button::No);
    w.sbApplyClick();
    EXPECT_TRUE(valuesOf(ou.user(QStringLiteral("Rep Ann")), QStringLiteral("department")).isEmpty());
    EXPECT_TRUE(w.sbApply->isEnabled());
    EXPECT_EQ(script.asked().last().caption, QStringLiteral("Do you want to save..."));
    EXPECT_EQ(script.asked().last().text,
              QStringLiteral("Do you want to save the changes you have made?\r\nThere is no \u201Cundo\u201D after this point."));

    QTemporaryDir dir;
    w.setLogPath(dir.filePath(QStringLiteral("window.txt")));
    script.answer(ui::Button::Yes);
    w.sbApplyClick();
    EXPECT_EQ(w.lastApply().succeeded, 2);
    EXPECT_EQ(w.lastApply().visited, found);
    EXPECT_EQ(w.statusText(), QStringLiteral("   2 items of %1 are processed").arg(found));
    EXPECT_FALSE(w.sbApply->isEnabled());
    EXPECT_TRUE(w.btSaveLog->isEnabled());
    EXPECT_FALSE(w.previewMode());
    EXPECT_EQ(w.rows()[static_cast<std::size_t>(ann)].status, Succeeded);
    EXPECT_FALSE(w.ListView->topLevelItem(ann)->icon(1).isNull());
    // Exactly the ticked users changed.
    EXPECT_EQ(dnsOf(ou.dn, QStringLiteral("(department=*)")),
              (QSet<QString>{ou.user(QStringLiteral("Rep Ann")).toLower(), ou.user(QStringLiteral("Rep Ben")).toLower()}));
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Ben")), QStringLiteral("department")),
              QStringList{QStringLiteral("Beta Dept")});
    // Pressing rows outside preview mode changes nothing.
    w.ListViewRowPressed(ann);
    EXPECT_TRUE(w.rows()[static_cast<std::size_t>(ann)].selected);

    QFile log(w.logPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[LDAP ATTRIBUTE] [department] {Department}\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("[Rep Ann]; [%1]; [<blank>]; [Alpha Dept]; [SUCCEEDED]\r\n")
                                  .arg(ou.user(QStringLiteral("Rep Ann")))));
    EXPECT_EQ(text.count(QStringLiteral("[SUCCEEDED]")), 2);
    EXPECT_TRUE(text.contains(QStringLiteral("%1 items was processed for ").arg(found)));
}

// A modify the server applies without answering in time: the window marks the row as not
// known (its own icon, the outcome in the row's tip) and its status says the change may have
// been applied; nothing reads "failed".
TEST_F(ReplaceWindowDomain, AModifyWithoutAnAnswerShowsAsNotKnown)
{
    ui::ScriptedPrompts script;
    ads::closeAllConnections();
    CuttingRelay relay(testsupport::fact("ADDR"), testsupport::fact("LDAP_PORT").toInt(), 1, CuttingRelay::Mode::HoldAnswer);
    const TConnectionContext ctx = adminContext(QStringLiteral("127.0.0.1:%1").arg(relay.port()));
    TfrmFindAndReplace w(nullptr, ctx);
    w.fillAttributes(false, {});
    w.setContainer(ctx.ServerPrefix + ou.dn, ou.dn, false);
    chooseAttribute(w, QStringLiteral("Office"));
    w.cbIsBlank->setChecked(true);
    w.ebReplace->setText(QStringLiteral("Held Office"));
    w.setExtraRestriction(QStringLiteral("(givenName=Ann)"), false);
    w.sbPreviewClick();
    ASSERT_EQ(w.rows().size(), 1u) << script.messages().join(QLatin1Char('|')).toStdString();
    script.answer(ui::Button::Yes);
    ads::setOperationTimeout(2);
    w.sbApplyClick();
    ads::setOperationTimeout(60);
    ads::closeAllConnections();
    EXPECT_EQ(w.lastApply().notKnown, 1);
    EXPECT_EQ(w.lastApply().failed, 0);
    EXPECT_EQ(w.rows()[0].status, NotKnown);
    EXPECT_TRUE(w.statusPanel2->text().contains(QStringLiteral("1 not known (may have been applied)")))
        << w.statusPanel2->text().toStdString();
    EXPECT_FALSE(w.statusPanel2->text().contains(QStringLiteral("failed"))) << w.statusPanel2->text().toStdString();
    EXPECT_TRUE(w.ListView->topLevelItem(0)->toolTip(0).contains(QStringLiteral("may have been applied")));
    EXPECT_FALSE(w.ListView->topLevelItem(0)->icon(1).isNull());
    const QString ann = ou.user(QStringLiteral("Rep Ann"));
    EXPECT_EQ(valuesOf(ann, QStringLiteral("physicalDeliveryOfficeName")), QStringList{QStringLiteral("Held Office")});
    modify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: physicalDeliveryOfficeName\n\n").arg(ann));
}
