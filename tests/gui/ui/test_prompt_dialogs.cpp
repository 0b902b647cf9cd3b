// The prompt service shown for real (not scripted): the buttons a user presses come back as
// the service's own button values, and closing a box without a button backs out.
#include "ui/prompt.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {
// Runs action on the next modal message box or input dialog that opens.
template <typename T> void onModal(std::function<void(T *)> action)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (auto *d = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(d);
        }
    });
    timer->start(10);
}
} // namespace

TEST(PromptShown, PressedButtonsMapToTheServiceValues)
{
    ASSERT_FALSE(ui::Prompt::isScripted());
    QString shownText;
    onModal<QMessageBox>([&](QMessageBox *box) {
        shownText = box->text();
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->button(QMessageBox::No)->click();
    });
    const int b = ui::Prompt::message(nullptr, "first line\rsecond line", "Arvendel", ui::Icon::Warning,
                                      ui::Button::Yes | ui::Button::No | ui::Button::Cancel, ui::Button::No);
    EXPECT_EQ(b, int(ui::Button::No));
    EXPECT_EQ(shownText, "first line\nsecond line"); // a CR break shows as a line break

    onModal<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(ui::Prompt::question(nullptr, "Go on?", "Arvendel"));
}

TEST(PromptShown, EscapeBacksOut)
{
    onModal<QMessageBox>([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(ui::Prompt::message(nullptr, "m", "c", ui::Icon::Question, ui::Button::Yes | ui::Button::No),
              int(ui::Button::No));

    onModal<QInputDialog>([](QInputDialog *d) { d->reject(); });
    QString text = "kept";
    EXPECT_FALSE(ui::Prompt::inputText(nullptr, "c", "label", text));
    EXPECT_EQ(text, "kept");

    onModal<QInputDialog>([](QInputDialog *d) {
        EXPECT_EQ(d->textEchoMode(), QLineEdit::Password);
        d->setTextValue("typed");
        d->accept();
    });
    EXPECT_TRUE(ui::Prompt::inputText(nullptr, "c", "Password:", text, true));
    EXPECT_EQ(text, "typed");
    // Nothing shown for real is kept in the record.
    EXPECT_TRUE(ui::Prompt::asked().isEmpty());
}
