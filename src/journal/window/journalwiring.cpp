#include "journal/window/journalwiring.h"

#include "journal/recorder.h"
#include "journal/window/unChangeHistory.h"
#include "main/unMain.h"
#include "ui/prompt.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

namespace journal {

bool askToWriteUnrecorded(const QString &why)
{
    // The window the write comes from (a property dialog, the quick panel's main window...).
    QWidget *parent = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activeWindow();
    return ui::Prompt::message(parent,
                               QStringLiteral("The change journal cannot be written:\r\n%1\r\n\r\nThe change can be made "
                                              "without being recorded, but then Change History cannot show or undo "
                                              "it. Make the change anyway?")
                                   .arg(why),
                               QStringLiteral("Change History"), ui::Icon::Warning, ui::Button::Yes | ui::Button::No,
                               ui::Button::No, 80)
        == ui::Button::Yes;
}

void wireMainWindow(TfrmMain &main)
{
    install()->setUnrecordedWritePolicy(askToWriteUnrecorded);
    auto *action = new QAction(QStringLiteral("Change &History..."), &main);
    action->setObjectName(QStringLiteral("actChangeHistory"));
    if (QMenu *extras = main.findChild<QMenu *>(QStringLiteral("mnuExtras"))) {
        extras->addSeparator();
        extras->addAction(action);
    }
    TfrmMain *m = &main;
    QObject::connect(action, &QAction::triggered, m, [m] {
        if (m->Busy())
            return;
        ChangeHistoryWindow window(m);
        window.exec();
    });
}

} // namespace journal
