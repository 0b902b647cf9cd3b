// The property dialog's sub-dialogs: the hours grid, the workstation list, the group picker
// and the manager dialog.
#include "userprop_support.h"

#include "userprop/unHours.h"
#include "userprop/unLogonWorkstations.h"
#include "userprop/unManager.h"
#include "userprop/unSelectGroups.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

using namespace uptest;

TEST(Hours, RowsStartAtTheLocalesFirstDayAndEditTheSundayFirstArray)
{
    TfrmHours dlg;
    dlg.setFirstDay(0); // the week starts on Monday: row 0 is Monday
    userprop::HoursArray hours = userprop::allHours(1);
    dlg.setHours(hours, true);
    dlg.selectHours(0, 4, 8, 16); // Monday through Friday, 08:00 to 17:00
    EXPECT_EQ(dlg.selectionText(), QLocale().dayName(1) + " through " + QLocale().dayName(5) + " from 8:00 to 17:00");
    EXPECT_EQ(dlg.findChild<QLabel *>("lbDeys")->text(), dlg.selectionText());
    dlg.rbRedClick();
    const userprop::HoursArray edited = dlg.hours();
    for (int day = 0; day < 7; ++day)
        for (int h = 0; h < 24; ++h)
            EXPECT_EQ(edited[std::size_t(day * 24 + h)], (day >= 1 && day <= 5 && h >= 8 && h <= 16) ? 0 : 1)
                << day << " " << h;
    // A click beside the grid drops the selection.
    dlg.selectHours(0, 0, 0, 3);
    QTest::mouseClick(&dlg, Qt::LeftButton, {}, QPoint(2, dlg.height() - 2));
    EXPECT_TRUE(dlg.selectionText().isEmpty());
    // Row 6 is Sunday.
    dlg.selectHours(6, 6, 0, 0);
    EXPECT_EQ(dlg.selectionText(), QLocale().dayName(7) + " from 0:00 to 1:00");
    dlg.rbRedClick();
    EXPECT_EQ(dlg.hours()[0], 0);
    // Read-only: nothing can be changed or confirmed.
    TfrmHours ro;
    ro.setHours(hours, false);
    EXPECT_FALSE(ro.findChild<QRadioButton *>("rbBlue")->isEnabled());
    EXPECT_FALSE(ro.findChild<QPushButton *>("btOK")->isEnabled());
}

TEST(LogonWorkstations, AddEditRemoveAndDuplicates)
{
    TfrmLogonWorkstations dlg;
    dlg.setNames({"WS-1"}, true);
    EXPECT_TRUE(dlg.rbTheFollowingComputers->isChecked());
    EXPECT_FALSE(dlg.btOK->isEnabled());
    EXPECT_FALSE(dlg.btAdd->isEnabled());
    dlg.ebAddComputer->setText("  ws-1 ");
    EXPECT_TRUE(dlg.btAdd->isEnabled());
    dlg.btAddClick(); // the same name in another case: cleared, not added
    EXPECT_EQ(dlg.lvComputers->count(), 1);
    EXPECT_TRUE(dlg.ebAddComputer->text().isEmpty());
    dlg.ebAddComputer->setText("LAPTOP-9");
    dlg.btAddClick();
    EXPECT_EQ(dlg.names(), (QStringList{"WS-1", "LAPTOP-9"}));
    EXPECT_TRUE(dlg.btOK->isEnabled());
    // An edit that makes two names equal keeps OK from closing.
    dlg.editName(1, "ws-1");
    dlg.btOKClick();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    dlg.editName(1, "LAPTOP-10");
    dlg.lvComputers->setCurrentRow(0);
    dlg.btRemoveClick();
    EXPECT_EQ(dlg.names(), (QStringList{"LAPTOP-10"}));
    dlg.rbAllComputers->setChecked(true);
    dlg.rbAllComputersClick();
    EXPECT_TRUE(dlg.names().isEmpty());
    // Without the right to write, only Cancel works.
    TfrmLogonWorkstations ro;
    ro.setNames({"WS-1"}, false);
    EXPECT_FALSE(ro.lvComputers->isEnabled());
    EXPECT_FALSE(ro.ebAddComputer->isEnabled());
    EXPECT_TRUE(ro.btCancel->isEnabled());
}

class SubDialogs : public DialogTest {};

TEST_F(SubDialogs, SelectGroupsListsTheDomainsGroupsAndRefusesTheUsersOwn)
{
    const QString mine = QStringLiteral("CN=GG Engineering,OU=Groups,") + testsupport::fact("SEED_OU");
    TfrmSelectGroups dlg;
    dlg.load(adminConnection(), {mine}, QStringLiteral("Ada Fullprofile"));
    QTreeWidgetItem *own = nullptr, *other = nullptr;
    for (int i = 0; i < dlg.ListViewGroups->topLevelItemCount(); ++i) {
        QTreeWidgetItem *it = dlg.ListViewGroups->topLevelItem(i);
        if (it->text(0) == "GG Engineering")
            own = it;
        if (it->text(0) == "GG Sales")
            other = it;
    }
    ASSERT_NE(own, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(own->text(1), testsupport::fact("DNS_DOMAIN") + "/Arvendel/Groups");
    // Sorted by name.
    for (int i = 1; i < dlg.ListViewGroups->topLevelItemCount(); ++i)
        EXPECT_LE(dlg.ListViewGroups->topLevelItem(i - 1)->text(0).compare(dlg.ListViewGroups->topLevelItem(i)->text(0),
                                                                            Qt::CaseInsensitive),
                  0);
    dlg.addGroup(own);
    EXPECT_EQ(prompts.messages().value(0),
              "The \"Ada Fullprofile\" is already in the list and cannot be added a second time.");
    dlg.addGroup(other);
    dlg.addGroup(other); // chosen already: ignored without a message
    EXPECT_EQ(prompts.messages().size(), 1);
    EXPECT_EQ(dlg.chosen().size(), 1);
    EXPECT_TRUE(dlg.btOK->isEnabled());
    dlg.removeGroup(dlg.ListViewGroupsResult->topLevelItem(0));
    dlg.btOKClick(); // nothing chosen: acts as Cancel
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(SubDialogs, ManagerDialogAnswersOkOnlyForAnotherManager)
{
    const QString a = createUser("up-ma");
    TfrmManager dlg;
    dlg.setManager(QString(), QString(), adminConnection());
    EXPECT_EQ(dlg.lbManagerName->text(), "NONE");
    EXPECT_FALSE(dlg.btRemove->isEnabled());
    EXPECT_FALSE(dlg.btProperties->isEnabled());
    dlg.setChoice(ads::firstRdn(a).mid(3), a);
    EXPECT_TRUE(dlg.btProperties->isEnabled());
    dlg.btPropertiesClick();
    EXPECT_NE(userprop::findDialog(a), nullptr);
    dlg.btOKClick();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.managerDn(), a);

    TfrmManager same;
    same.setManager(QStringLiteral("x"), a, adminConnection());
    same.setChoice(QStringLiteral("x"), a.toUpper()); // the same manager in other letters
    same.btOKClick();
    EXPECT_EQ(same.result(), QDialog::Rejected);
    same.btRemoveClick();
    EXPECT_EQ(same.lbManagerName->text(), "NONE");
    same.btOKClick();
    EXPECT_EQ(same.result(), QDialog::Accepted);
    EXPECT_TRUE(same.managerDn().isEmpty());
}
