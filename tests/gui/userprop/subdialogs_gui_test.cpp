// The property dialog's sub-dialogs: the hours grid, the workstation list, the group picker
// and the manager dialog.
#include "userprop_support.h"

#include "platform/registry/registry.h"
#include "userprop/unHours.h"
#include "userprop/unLogonWorkstations.h"
#include "userprop/unManager.h"
#include "userprop/unSelectGroups.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QHeaderView>
#include <QScrollBar>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
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

// At the size it opens with, the whole week shows: seven rows and 24 hours of 8 pixels beside
// the 100-pixel day names, no scroll bar, the hour labels 0 to 22 over the starts of their
// hours and the closing 0 over the end of the last one; the radio buttons show the colours.
TEST(Hours, OpensWithTheWholeWeekInEightPixelHours)
{
    // The window remembers a size the user gives it: a settings file of this test's own.
    QTemporaryDir dir;
    registry::setStoreFile(dir.filePath(QStringLiteral("registry.ini")));
    const auto restore = qScopeGuard([] { registry::setStoreFile(QString()); });
    TfrmHours dlg;
    dlg.setHours(userprop::allHours(1), true);
    dlg.show();
    QCoreApplication::processEvents();
    auto *grid = dlg.findChild<QTableWidget *>("grid");
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->verticalHeader()->width(), 100);
    for (int h = 0; h < 24; ++h)
        EXPECT_EQ(grid->columnWidth(h), 8) << "hour " << h;
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    EXPECT_LE(grid->rowViewportPosition(6) + grid->rowHeight(6), grid->viewport()->height()) << "Sunday's row is cut";
    EXPECT_LE(grid->columnViewportPosition(23) + 8, grid->viewport()->width()) << "hour 23 is cut";

    // Each label is centred over its hour's start, the closing one over hour 23's end.
    const QHeaderView *header = grid->horizontalHeader();
    auto centreOver = [&](const QLabel *l) { return l->mapTo(&dlg, l->rect().center()).x(); };
    auto boundary = [&](int hour) { return header->mapTo(&dlg, QPoint(grid->columnViewportPosition(0) + hour * 8, 0)).x(); };
    for (int h = 0; h <= 24; h += 2) {
        const QLabel *l = dlg.findChild<QLabel *>(QStringLiteral("lbHour%1").arg(h));
        ASSERT_NE(l, nullptr) << "no label for hour " << h;
        EXPECT_EQ(l->text(), QString::number(h % 24));
        EXPECT_TRUE(l->isVisible());
        if (h > 0 && h < 24) // the first and the closing label are kept inside the window
            EXPECT_NEAR(centreOver(l), boundary(h), 2) << "label " << h;
    }
    EXPECT_GT(dlg.findChild<QLabel *>("lbHour24")->geometry().left(), dlg.findChild<QLabel *>("lbHour22")->geometry().right())
        << "the closing 0 overlaps 22";
    EXPECT_FALSE(dlg.findChild<QRadioButton *>("rbBlue")->icon().isNull()) << "the permitted colour is not shown";

    // A larger window gives the hours the room.
    dlg.resize(dlg.width() + 240, dlg.height() + 100);
    QCoreApplication::processEvents();
    EXPECT_GT(grid->columnWidth(0), 8);
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
