#include "options/unFormOptions.h"
#include "options/unModifyColumns.h"
#include "options/unOptions.h"
#include "platform/registry/registry.h"
#include "ui/objectbus.h"

#include <QApplication>
#include <QStyle>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace options;

namespace {

const QList<int> kGridTags = {-3, -2, 0, 1, 3, 4, 5, 7, 10, 17, 18, 19, 20, 21, 22, 23, 81};

QString caption(int tag)
{
    switch (tag) {
    case -3: return "Common Name";
    case -2: return "Display Name";
    case 7: return "E-Mail";
    case 23: return "Company";
    default: return QString("Column %1").arg(tag);
    }
}

template <class T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

QStringList texts(QListWidget *l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

class OptionsDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        registry::setStoreFile(dir.filePath("registry.ini"));
    }
    void TearDown() override
    {
        registry::setStoreFile(QString());
        setFontInstalledProbe({});
    }
    QTemporaryDir dir;
};

// Runs fn on the dialog once it is shown modally, then lets exec() return.
void whenShown(std::function<void(QDialog *)> fn)
{
    QTimer::singleShot(0, [fn] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QDialog *>(w); d && d->isVisible()) {
                fn(d);
                return;
            }
    });
}

} // namespace

TEST_F(OptionsDialogs, OptionsDialogShowsAndSavesTheRecord)
{
    setFontInstalledProbe([](const QString &f) { return f == "Tahoma"; });
    TOptions opts;
    LoadOptions(opts);
    QWidget mainWindow;
    mainWindow.setObjectName("frmMain");
    QObject other;
    QStringList received;
    ui::ObjectBus::instance().registerWindow(&other, [&](int code, const QString &text) {
        received << QString("%1:%2").arg(code).arg(text);
    });

    whenShown([](QDialog *d) {
        EXPECT_EQ(d->windowTitle(), " Options");
        EXPECT_TRUE(child<QCheckBox>(d, "HideDisabled")->isChecked());
        EXPECT_TRUE(child<QRadioButton>(d, "rbthumbnailPhoto")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(d, "cbUniCode")->isEnabled());
        child<QRadioButton>(d, "rbJpegPhoto")->click();
        child<QCheckBox>(d, "cbUniCode")->click();
        child<QCheckBox>(d, "HideExpired")->click();
        child<QPushButton>(d, "btOK")->click();
    });
    OptionsOutcome out;
    ASSERT_TRUE(ActionGeneralExecute(&mainWindow, opts, &out));
    EXPECT_TRUE(out.hideChanged);
    EXPECT_TRUE(out.fontChanged);
    EXPECT_EQ(received, QStringList{"2:1"});
    EXPECT_EQ(mainWindow.font().family(), "Tahoma");

    TOptions stored;
    LoadOptions(stored);
    EXPECT_TRUE(stored.UseJpegPhoto);
    EXPECT_TRUE(stored.UnicodeFont);
    EXPECT_FALSE(stored.HideExpired);

    // Cancel changes nothing.
    whenShown([](QDialog *d) {
        child<QCheckBox>(d, "cbShowWarning")->click();
        child<QPushButton>(d, "btCancel")->click();
    });
    EXPECT_FALSE(ActionGeneralExecute(&mainWindow, opts));
    LoadOptions(stored);
    EXPECT_TRUE(stored.ShowWarning);
    ui::ObjectBus::instance().unregisterWindow(&other);
}

TEST_F(OptionsDialogs, UnicodeFontCannotBeChosenWithoutItsFonts)
{
    setFontInstalledProbe([](const QString &) { return false; });
    TOptions fresh;
    LoadOptions(fresh); // font option off: the rule asks for "MS Sans Serif"
    TfrmFormOptions dlg(fresh);
    EXPECT_FALSE(child<QCheckBox>(&dlg, "cbUniCode")->isEnabled());
    // The bitmap font is not installed here: the desktop's default font stands in.
    EXPECT_EQ(dlg.font().family(), QGuiApplication::font().family());
}

TEST_F(OptionsDialogs, ModifyColumnsRemoveKeepsNameColumnsAndOkWithoutChangeCancels)
{
    TfrmModifyColumns dlg(kGridTags, {0, 1, 3, 4, 5, 10, 17, 18, 19, 20, 21, 22, 23}, caption);
    EXPECT_EQ(dlg.windowTitle(), "  Modify Columns");
    auto *shown = child<QListWidget>(&dlg, "lbUnHiddenColumn");
    auto *hidden = child<QListWidget>(&dlg, "lbHiddenColumn");
    EXPECT_EQ(texts(shown), (QStringList{"Common Name", "Display Name", "E-Mail", "Column 81"}));

    // Ctrl+A in the displayed list, then remove: only E-Mail and column 81 move.
    dlg.show();
    shown->setFocus();
    QTest::keyClick(shown, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(shown->selectedItems().size(), 4);
    child<QToolButton>(&dlg, "btRemove")->click();
    EXPECT_EQ(texts(shown), (QStringList{"Common Name", "Display Name"}));
    EXPECT_EQ(texts(hidden).mid(hidden->count() - 2), (QStringList{"E-Mail", "Column 81"}));

    // Reset and OK without a change ends as cancelled.
    child<QToolButton>(&dlg, "btReset")->click();
    EXPECT_EQ(shown->count(), 4);
    child<QPushButton>(&dlg, "btOK")->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(OptionsDialogs, ModifyColumnsAddByDoubleClickGivesTheNewSet)
{
    std::vector<int> set = {23, 4};
    whenShown([](QDialog *d) {
        auto *hidden = child<QListWidget>(d, "lbHiddenColumn");
        ASSERT_EQ(hidden->count(), 2);
        QListWidgetItem *company = hidden->item(1);
        EXPECT_EQ(company->text(), "Company");
        company->setSelected(true);
        emit hidden->itemDoubleClicked(company);
        auto *shown = child<QListWidget>(d, "lbUnHiddenColumn");
        EXPECT_EQ(shown->item(shown->count() - 1)->text(), "Company");
        child<QPushButton>(d, "btOK")->click();
    });
    const std::vector<int> columns(kGridTags.cbegin(), kGridTags.cend());
    ASSERT_TRUE(selectVisibleColumns(nullptr, columns, set, caption));
    EXPECT_EQ(set, std::vector<int>{4});
}

TEST_F(OptionsDialogs, ModifyColumnsMoveButtons)
{
    TfrmModifyColumns dlg(kGridTags, {}, caption);
    auto *shown = child<QListWidget>(&dlg, "lbUnHiddenColumn");
    shown->item(1)->setSelected(true); // Display Name is second: Move Up does nothing
    child<QPushButton>(&dlg, "btMoveUp")->click();
    EXPECT_EQ(shown->item(1)->text(), "Display Name");
    child<QPushButton>(&dlg, "btMoveDown")->click();
    EXPECT_EQ(shown->item(2)->text(), "Display Name");
    EXPECT_TRUE(shown->item(2)->isSelected()); // the moved item stays selected
    child<QPushButton>(&dlg, "btMoveUp")->click();
    EXPECT_EQ(shown->item(1)->text(), "Display Name");
}

TEST_F(OptionsDialogs, ThemesOffGivesTheClassicStyle)
{
    TOptions o;
    LoadOptions(o);
    EXPECT_EQ(ApplyThemeStyle(), ""); // on by default: the desktop's style stays
    const QString before = QApplication::style()->name();
    o.UseThemes = false;
    SaveOptions(o);
    LoadOptions(o);
    EXPECT_EQ(ApplyThemeStyle(), "Windows");
    EXPECT_EQ(QApplication::style()->name().toLower(), "windows");
    QApplication::setStyle(before);
}
