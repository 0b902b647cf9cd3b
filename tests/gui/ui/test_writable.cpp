// Editors follow the writable set: enabled only for attributes the account may write, and
// read-only ones keep a readable text on the pale background.
#include "ui/writable.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <gtest/gtest.h>

TEST(WritableLook, EnablesOnlyAttributesInTheSetWhateverTheirCase)
{
    QWidget parent;
    auto *title = new QLineEdit(&parent);
    auto *city = new QLineEdit(&parent);
    auto *notes = new QPlainTextEdit(&parent);
    auto *country = new QComboBox(&parent);
    const QStringList writable{QStringLiteral("TITLE"), QStringLiteral("INFO")};

    ui::EnableForAttribute(title, writable, QStringLiteral("title"));
    ui::EnableForAttribute(city, writable, QStringLiteral("l"));
    ui::EnableForAttribute(notes, writable, QStringLiteral(" info "));
    ui::EnableForAttribute(country, writable, QStringLiteral("c"));

    EXPECT_TRUE(title->isEnabled());
    EXPECT_FALSE(city->isEnabled());
    EXPECT_TRUE(notes->isEnabled());
    EXPECT_FALSE(country->isEnabled());
}

TEST(WritableLook, ReadOnlyEditorsArePaleButReadableAndComeBackWhenWritable)
{
    QWidget parent;
    auto *edit = new QLineEdit(&parent);
    ui::setWritableLook(edit, false);
    const QPalette pal = edit->palette();
    EXPECT_EQ(pal.color(QPalette::Disabled, QPalette::Base), QColor(0xF7, 0xFF, 0xFF));
    EXPECT_EQ(pal.color(QPalette::Disabled, QPalette::Text), parent.palette().color(QPalette::Active, QPalette::WindowText));

    ui::setWritableLook(edit, true);
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_EQ(edit->palette().color(QPalette::Base), parent.palette().color(QPalette::Base));
}
