// The column chooser and the saved column sets window on the offscreen platform.
#include "bulk/unColumnSets.h"
#include "bulk/unExportColumn.h"
#include "platform/registry/registry.h"
#include "ui/prompt.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

class ExportColumnWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        registry::setStoreFile(dir.filePath(QStringLiteral("registry.ini")));
    }
    void TearDown() override { registry::setStoreFile(QString()); }
    static QStringList texts(const QListWidget *l)
    {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
        return out;
    }
    static QList<qint32> keys(const QList<bulk::ExportColumnItem> &cols)
    {
        QList<qint32> out;
        for (const auto &c : cols)
            out << c.second;
        return out;
    }
    QTemporaryDir dir;
    ui::ScriptedPrompts prompts;
};

TEST_F(ExportColumnWindows, MovingKeepsOrderAndButtonsFollowTheLists)
{
    TfrmExportColumn w;
    // cn is never offered but stays when passed in.
    w.setColumns({{QStringLiteral("Common Name"), -3}});
    auto *available = w.findChild<QListWidget *>(QStringLiteral("lvAvailable"));
    auto *exported = w.findChild<QListWidget *>(QStringLiteral("lvExported"));
    ASSERT_TRUE(available && exported);
    EXPECT_EQ(texts(exported), QStringList{QStringLiteral("Common Name")});
    EXPECT_FALSE(texts(available).contains(QStringLiteral("Common Name")));
    EXPECT_TRUE(texts(available).contains(QStringLiteral("Member of")));
    const int offered = available->count();

    available->setCurrentRow(0);
    available->item(0)->setSelected(true);
    available->item(2)->setSelected(true);
    const QString first = available->item(0)->text(), third = available->item(2)->text();
    w.tbtAddSelectedClick();
    EXPECT_EQ(texts(exported), (QStringList{QStringLiteral("Common Name"), first, third}));
    EXPECT_EQ(available->count(), offered - 2);

    exported->setCurrentRow(2);
    auto *up = w.findChild<QToolButton *>(QStringLiteral("tbtMoveColumnUp"));
    auto *down = w.findChild<QToolButton *>(QStringLiteral("tbtMoveColumnDown"));
    EXPECT_TRUE(up->isEnabled());
    EXPECT_FALSE(down->isEnabled());
    w.tbtMoveColumnUpClick();
    EXPECT_EQ(texts(exported), (QStringList{QStringLiteral("Common Name"), third, first}));
    EXPECT_EQ(exported->currentRow(), 1);

    w.tbtDelAllClick();
    EXPECT_EQ(exported->count(), 0);
    EXPECT_EQ(available->count(), offered + 1);
    EXPECT_FALSE(w.findChild<QToolButton *>(QStringLiteral("tbtDelAll"))->isEnabled());
    // OK with nothing exported closes as cancelled; Save refuses.
    w.sbSaveasdefClick();
    ASSERT_EQ(prompts.asked().size(), 1);
    EXPECT_EQ(prompts.asked().at(0).text, QStringLiteral("Nothing to save"));
    w.btOKClick();
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

TEST_F(ExportColumnWindows, SaveRenameLoadAndDeleteSets)
{
    const QList<bulk::ExportColumnItem> cols{{QStringLiteral("First Name"), 1}, {QStringLiteral("Common Name"), -3}};
    ASSERT_EQ(bulk::saveColumnSet(QStringLiteral("Existing"), cols), 0);
    {
        TfrmSavedColumn save(TfrmSavedColumn::SaveMode);
        save.setColumns(cols);
        auto *name = save.findChild<QLineEdit *>(QStringLiteral("ebLDAPColName"));
        auto *saveAs = save.findChild<QPushButton *>(QStringLiteral("btSaveAs"));
        EXPECT_FALSE(saveAs->isEnabled());
        name->setText(QStringLiteral("existing "));
        EXPECT_FALSE(saveAs->isEnabled());  // taken, without regard to case
        name->setText(QStringLiteral("Mine"));
        ASSERT_TRUE(saveAs->isEnabled());
        save.btSaveAsClick();
        EXPECT_EQ(save.setName(), QStringLiteral("Mine"));
        EXPECT_FALSE(name->isEnabled());
        EXPECT_TRUE(save.findChild<QPushButton *>(QStringLiteral("btOK"))->isEnabled());
    }
    EXPECT_EQ(bulk::findColumnSet(QStringLiteral("Mine")), 1);

    TfrmSavedColumn load(TfrmSavedColumn::LoadMode);
    auto *sets = load.findChild<QTreeWidget *>(QStringLiteral("ListViewSaved"));
    ASSERT_EQ(sets->topLevelItemCount(), 2);
    EXPECT_FALSE(load.findChild<QLineEdit *>(QStringLiteral("ebLDAPColName"))->isEnabled());
    load.selectSet(0);
    EXPECT_EQ(keys(load.columns()), (QList<qint32>{1, -3}));
    // Renaming to a listed name is refused; a new name gives the set a new number.
    prompts.answer(ui::ScriptedAnswer::input(QStringLiteral("MINE")));
    load.btRenameClick();
    EXPECT_EQ(prompts.asked().last().text, QStringLiteral("The \"MINE\" is already in the list."));
    prompts.answer(ui::ScriptedAnswer::input(QStringLiteral("  Renamed ")));
    load.btRenameClick();
    EXPECT_EQ(sets->topLevelItem(0)->text(0), QStringLiteral("Renamed"));
    EXPECT_EQ(bulk::findColumnSet(QStringLiteral("Renamed")), 2);
    EXPECT_EQ(bulk::findColumnSet(QStringLiteral("Existing")), -1);
    load.btOKClick();
    EXPECT_EQ(load.result(), QDialog::Accepted);
    EXPECT_EQ(load.setName(), QStringLiteral("Renamed"));

    load.btDeleteClick();
    EXPECT_EQ(sets->topLevelItemCount(), 1);
    EXPECT_EQ(load.columns().size(), 0);
    EXPECT_EQ(bulk::listColumnSets().size(), 1);
}

TEST_F(ExportColumnWindows, RenameThatCannotBeSavedSaysWhyAndKeepsTheSet)
{
    const QList<bulk::ExportColumnItem> cols{{QStringLiteral("First Name"), 1}};
    ASSERT_EQ(bulk::saveColumnSet(QStringLiteral("Kept"), cols), 0);
    TfrmSavedColumn load(TfrmSavedColumn::LoadMode);
    auto *sets = load.findChild<QTreeWidget *>(QStringLiteral("ListViewSaved"));
    load.selectSet(0);
    prompts.answer(ui::ScriptedAnswer::input(QStringLiteral("   ")));
    load.btRenameClick();
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_FALSE(prompts.messages().at(0).isEmpty());
    EXPECT_EQ(sets->topLevelItem(0)->text(0), QStringLiteral("Kept"));
    EXPECT_EQ(bulk::findColumnSet(QStringLiteral("Kept")), 0);
    EXPECT_EQ(keys(bulk::readColumnSet(0)), QList<qint32>{1});
    // The line still names a set that exists: loading it works.
    load.btOKClick();
    EXPECT_EQ(load.result(), QDialog::Accepted);
}

TEST_F(ExportColumnWindows, RenameDialogShowsTheOldName)
{
    TfrmRenameColumnSet dlg(QStringLiteral("Old set"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("   Rename to.."));
    EXPECT_EQ(dlg.findChild<QLabel *>(QStringLiteral("lbOldName"))->text(), QStringLiteral("Old set"));
    dlg.findChild<QLineEdit *>(QStringLiteral("ebRenameTo"))->setText(QStringLiteral("New"));
    EXPECT_EQ(dlg.newName(), QStringLiteral("New"));
}

}  // namespace
