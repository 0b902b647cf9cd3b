#include "ui/prompt.h"
#include "ui/texts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutex>
#include <QPushButton>

namespace ui {

namespace {

struct State {
    QMutex mutex;
    bool scripted = false;
    QList<ScriptedAnswer> queue;
    QList<PromptRecord> record;
    std::function<ScriptedAnswer(const PromptRecord &)> responder;
};

State &state()
{
    static State s;
    return s;
}

// The answer given when scripted and nothing was queued: whatever backs out.
int cancellingButton(int buttons)
{
    for (int b : {int(Button::Cancel), int(Button::No), int(Button::Abort), int(Button::Ignore), int(Button::Ok)})
        if (buttons & b)
            return b;
    return buttons;
}

bool acceptsButton(int b) { return b != Button::Cancel && b != Button::No && b != Button::Abort && b != 0; }

// When scripted, fills the record's answer and returns true; the record is kept either way.
bool scriptedAnswer(PromptRecord &r, QString *selectedFilter = nullptr, bool secret = false)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    if (!s.scripted)
        return false;
    ScriptedAnswer a;
    bool have = false;
    if (!s.queue.isEmpty()) {
        a = s.queue.takeFirst();
        have = true;
    } else if (s.responder) {
        auto responder = s.responder;
        lock.unlock();
        a = responder(r);
        lock.relock();
        have = true;
    }
    if (!have) {
        r.unscripted = true;
        a = ScriptedAnswer::cancel();
        a.button = cancellingButton(r.buttons);
    }
    switch (r.kind) {
    case PromptKind::Message:
        r.button = a.button ? a.button : cancellingButton(r.buttons);
        r.accepted = acceptsButton(r.button);
        break;
    case PromptKind::InputText:
        r.accepted = a.accepted && have && !r.unscripted;
        r.answerText = r.accepted ? a.text : QString();
        if (secret) { // hand the text back to the caller but never keep it in the record
            PromptRecord kept = r;
            kept.answerText.clear();
            s.record.append(kept);
            return true;
        }
        break;
    default:
        r.files = a.accepted ? a.files : QStringList();
        r.accepted = !r.files.isEmpty();
        if (selectedFilter && !a.selectedFilter.isEmpty())
            *selectedFilter = a.selectedFilter;
        break;
    }
    s.record.append(r);
    return true;
}

// Interactive prompts are not recorded: the record exists for scripted runs only, and a
// long session must not keep every text it showed.
void recordInteractive(const PromptRecord &) {}

QMessageBox::Icon toQt(Icon i)
{
    switch (i) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
    }
}

const std::pair<int, QMessageBox::StandardButton> kButtons[] = {
    {Button::Ok, QMessageBox::Ok},       {Button::Cancel, QMessageBox::Cancel},
    {Button::Yes, QMessageBox::Yes},     {Button::No, QMessageBox::No},
    {Button::Abort, QMessageBox::Abort}, {Button::Retry, QMessageBox::Retry},
    {Button::Ignore, QMessageBox::Ignore}};

PromptRecord makeRecord(PromptKind kind, QWidget *parent, const QString &caption, const QString &text)
{
    PromptRecord r;
    r.kind = kind;
    r.caption = caption;
    r.text = text;
    if (parent)
        r.parentName = parent->window()->objectName();
    return r;
}

} // namespace

int Prompt::message(QWidget *parent, const QString &text, const QString &caption, Icon icon,
                    int buttons, int defaultButton, int wrapColumn)
{
    if (buttons == 0)
        buttons = Button::Ok;
    PromptRecord r = makeRecord(PromptKind::Message, parent, caption, text);
    r.shown = wrapColumn > 0 ? wrapText(text, wrapColumn) : text;
    r.icon = icon;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    if (scriptedAnswer(r))
        return r.button;

    QMessageBox box(toQt(icon), caption, displayText(r.shown), QMessageBox::NoButton, parent);
    for (auto [ours, qt] : kButtons)
        if (buttons & ours) {
            QPushButton *b = box.addButton(qt);
            if (ours == defaultButton)
                box.setDefaultButton(b);
        }
    box.exec();
    const auto pressed = box.standardButton(box.clickedButton());
    r.button = 0;
    for (auto [ours, qt] : kButtons)
        if (pressed == qt)
            r.button = ours;
    if (r.button == 0) // closed with Escape or the title bar: the cancelling button
        r.button = cancellingButton(buttons);
    r.accepted = acceptsButton(r.button);
    recordInteractive(r);
    return r.button;
}

void Prompt::information(QWidget *parent, const QString &text, const QString &caption)
{
    message(parent, text, caption, Icon::Information);
}

void Prompt::warning(QWidget *parent, const QString &text, const QString &caption)
{
    message(parent, text, caption, Icon::Warning);
}

void Prompt::error(QWidget *parent, const QString &text, const QString &caption)
{
    message(parent, text, caption, Icon::Error);
}

bool Prompt::confirmSave(QWidget *parent)
{
    return message(parent,
                   QStringLiteral("Do you want to save the changes you have made?\r\nThere is no \u201Cundo\u201D after this point."),
                   QStringLiteral("Do you want to save..."), Icon::Question, Button::Yes | Button::No, Button::Yes, 0)
        == Button::Yes;
}

bool Prompt::question(QWidget *parent, const QString &text, const QString &caption, Icon icon,
                      int defaultButton)
{
    return message(parent, text, caption, icon, Button::Yes | Button::No, defaultButton) == Button::Yes;
}

namespace {
// One file name asked for: the scripted answer in tests, else the desktop's file dialog.
using FileDialogFn = QString (*)(QWidget *, const QString &, const QString &, const QString &, QString *,
                                 QFileDialog::Options);
QString singleFile(PromptKind kind, FileDialogFn dialog, QWidget *parent, const QString &caption,
                   const QString &initial, const QString &filter, QString *selectedFilter)
{
    PromptRecord r = makeRecord(kind, parent, caption, QString());
    r.initial = initial;
    r.filter = filter;
    if (scriptedAnswer(r, selectedFilter))
        return r.files.value(0);
    const QString f = dialog(parent, caption, initial, filter, selectedFilter, QFileDialog::Options());
    if (!f.isEmpty())
        r.files = {f};
    r.accepted = !f.isEmpty();
    recordInteractive(r);
    return f;
}
} // namespace

QString Prompt::openFileName(QWidget *parent, const QString &caption, const QString &initial,
                             const QString &filter, QString *selectedFilter)
{
    return singleFile(PromptKind::OpenFile, &QFileDialog::getOpenFileName, parent, caption, initial, filter,
                      selectedFilter);
}

QStringList Prompt::openFileNames(QWidget *parent, const QString &caption, const QString &initial,
                                  const QString &filter, QString *selectedFilter)
{
    PromptRecord r = makeRecord(PromptKind::OpenFiles, parent, caption, QString());
    r.initial = initial;
    r.filter = filter;
    if (scriptedAnswer(r, selectedFilter))
        return r.files;
    r.files = QFileDialog::getOpenFileNames(parent, caption, initial, filter, selectedFilter);
    r.accepted = !r.files.isEmpty();
    recordInteractive(r);
    return r.files;
}

QString Prompt::saveFileName(QWidget *parent, const QString &caption, const QString &initial,
                             const QString &filter, QString *selectedFilter)
{
    return singleFile(PromptKind::SaveFile, &QFileDialog::getSaveFileName, parent, caption, initial, filter,
                      selectedFilter);
}

QString Prompt::saveFileNameSwitchingExtension(QWidget *parent, const QString &caption, const QString &initial,
                                               const QString &filter, const QStringList &extensions,
                                               QString *selectedFilter)
{
    PromptRecord r = makeRecord(PromptKind::SaveFile, parent, caption, QString());
    r.initial = initial;
    r.filter = filter;
    if (scriptedAnswer(r, selectedFilter))
        return r.files.value(0);
    QFileDialog dlg(parent, caption, initial, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    // Qt's own dialog: its file name box can be reached when the type changes.
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    const QStringList filters = filter.split(QStringLiteral(";;"));
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg, &filters, &extensions](const QString &f) {
        const int i = int(filters.indexOf(f));
        auto *edit = dlg.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (i >= 0 && i < extensions.size() && edit && !edit->text().isEmpty())
            edit->setText(withExtension(edit->text(), extensions.at(i)));
    });
    QString f;
    if (dlg.exec() == QDialog::Accepted)
        f = dlg.selectedFiles().value(0);
    if (selectedFilter)
        *selectedFilter = dlg.selectedNameFilter();
    if (!f.isEmpty())
        r.files = {f};
    r.accepted = !f.isEmpty();
    recordInteractive(r);
    return f;
}

QString Prompt::directory(QWidget *parent, const QString &caption, const QString &initial)
{
    PromptRecord r = makeRecord(PromptKind::Directory, parent, caption, QString());
    r.initial = initial;
    if (scriptedAnswer(r))
        return r.files.value(0);
    const QString d = QFileDialog::getExistingDirectory(parent, caption, initial);
    if (!d.isEmpty())
        r.files = {d};
    r.accepted = !d.isEmpty();
    recordInteractive(r);
    return d;
}

bool Prompt::inputText(QWidget *parent, const QString &caption, const QString &label, QString &text,
                       bool password)
{
    PromptRecord r = makeRecord(PromptKind::InputText, parent, caption, label);
    // A password's start text is never recorded.
    r.initial = password ? QString() : text;
    if (scriptedAnswer(r, nullptr, password)) {
        if (r.accepted)
            text = r.answerText;
        return r.accepted;
    }
    bool ok = false;
    const QString t = QInputDialog::getText(parent, caption, displayText(label),
                                            password ? QLineEdit::Password : QLineEdit::Normal, text, &ok);
    if (ok)
        text = t;
    r.accepted = ok;
    r.answerText = password ? QString() : (ok ? t : QString());
    recordInteractive(r);
    return ok;
}

void Prompt::setScripted(bool on)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    s.scripted = on;
    s.queue.clear();
    s.record.clear();
}

bool Prompt::isScripted()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.scripted;
}

void Prompt::enqueue(const ScriptedAnswer &a)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    s.queue.append(a);
}

void Prompt::setResponder(std::function<ScriptedAnswer(const PromptRecord &)> responder)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    s.responder = std::move(responder);
}

QList<PromptRecord> Prompt::asked()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.record;
}

int Prompt::pending()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return int(s.queue.size());
}

void Prompt::clearRecord()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    s.record.clear();
}

} // namespace ui
