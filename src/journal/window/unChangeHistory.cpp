#include "journal/window/unChangeHistory.h"

#include "options/unOptions.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace journal {

namespace {

const QString kCaption = QStringLiteral("Change History");

QString valuesShown(const Change &c, const QList<Value> &values)
{
    if (c.secret)
        return QStringLiteral("(secret, not recorded)");
    if (values.isEmpty())
        return QStringLiteral("(none)");
    QStringList parts;
    for (const Value &v : values)
        parts << valueText(c, v);
    return parts.join(QStringLiteral("; "));
}

QString attributesOf(const Entry &e)
{
    QStringList names;
    for (const Change &c : e.changes)
        names << c.attribute;
    return names.join(QStringLiteral(", "));
}

QTreeWidget *makeList(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *l = new QTreeWidget(parent);
    l->setObjectName(QLatin1String(name));
    l->setHeaderLabels(headers);
    l->setRootIsDecorated(false);
    l->setUniformRowHeights(true);
    l->setAllColumnsShowFocus(true);
    return l;
}

} // namespace

ChangeHistoryWindow::ChangeHistoryWindow(QWidget *parent, const TConnectionContext &context, const QString &folder)
    : QDialog(parent), ctx_(context), folder_(folder)
{
    setObjectName(QStringLiteral("frmChangeHistory"));
    setWindowTitle(kCaption);
    resize(900, 600);
    auto *layout = new QVBoxLayout(this);
    pages_ = new QStackedWidget(this);
    layout->addWidget(pages_, 1);

    // Page 1: the journal.
    auto *history = new QWidget(pages_);
    auto *hl = new QVBoxLayout(history);
    auto *filters = new QHBoxLayout;
    const QDate today = QDate::currentDate();
    dtFrom = new QDateEdit(today.addDays(-7), history);
    dtFrom->setObjectName(QStringLiteral("dtFrom"));
    dtFrom->setCalendarPopup(true);
    dtTo = new QDateEdit(today, history);
    dtTo->setObjectName(QStringLiteral("dtTo"));
    dtTo->setCalendarPopup(true);
    ebObject = new QLineEdit(history);
    ebObject->setObjectName(QStringLiteral("ebObject"));
    ebObject->setPlaceholderText(QStringLiteral("part of a DN, or a GUID"));
    ebRun = new QLineEdit(history);
    ebRun->setObjectName(QStringLiteral("ebRun"));
    ebRun->setPlaceholderText(QStringLiteral("run id"));
    btRefresh = new QPushButton(QStringLiteral("&Show"), history);
    btRefresh->setObjectName(QStringLiteral("btRefresh"));
    btRefresh->setDefault(true);
    auto label = [&](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, history);
        l->setBuddy(buddy);
        filters->addWidget(l);
        filters->addWidget(buddy);
    };
    label(QStringLiteral("&From"), dtFrom);
    label(QStringLiteral("&To"), dtTo);
    label(QStringLiteral("&Object"), ebObject);
    label(QStringLiteral("&Run"), ebRun);
    filters->addWidget(btRefresh);
    hl->addLayout(filters);
    auto *split = new QSplitter(Qt::Vertical, history);
    lvEntries = makeList(split, "lvEntries",
                         {QStringLiteral("Time"), QStringLiteral("Outcome"), QStringLiteral("Object"),
                          QStringLiteral("Attributes"), QStringLiteral("Run"), QStringLiteral("Undo")});
    lvEntries->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *detail = new QWidget(split);
    auto *dl = new QVBoxLayout(detail);
    dl->setContentsMargins(0, 0, 0, 0);
    lbEntry = new QLabel(detail);
    lbEntry->setObjectName(QStringLiteral("lbEntry"));
    lbEntry->setWordWrap(true);
    lbEntry->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lvChanges = makeList(detail, "lvChanges",
                         {QStringLiteral("Attribute"), QStringLiteral("Before"), QStringLiteral("After"),
                          QStringLiteral("Undo")});
    dl->addWidget(lbEntry);
    dl->addWidget(lvChanges, 1);
    hl->addWidget(split, 1);
    auto *actions = new QHBoxLayout;
    btUndoSelected = new QPushButton(QStringLiteral("&Undo Selected..."), history);
    btUndoSelected->setObjectName(QStringLiteral("btUndoSelected"));
    btUndoRun = new QPushButton(QStringLiteral("Undo Whole R&un..."), history);
    btUndoRun->setObjectName(QStringLiteral("btUndoRun"));
    actions->addWidget(btUndoSelected);
    actions->addWidget(btUndoRun);
    actions->addStretch(1);
    hl->addLayout(actions);
    pages_->addWidget(history);

    // Page 2: what undo will do.
    auto *preview = new QWidget(pages_);
    auto *pl = new QVBoxLayout(preview);
    lbPreview = new QLabel(preview);
    lbPreview->setObjectName(QStringLiteral("lbPreview"));
    lbPreview->setWordWrap(true);
    lvPreview = makeList(preview, "lvPreview",
                         {QStringLiteral("State"), QStringLiteral("Object"), QStringLiteral("Changes"),
                          QStringLiteral("Detail")});
    pl->addWidget(lbPreview);
    pl->addWidget(lvPreview, 1);
    auto *pa = new QHBoxLayout;
    btApplyUndo = new QPushButton(QStringLiteral("&Undo Now"), preview);
    btApplyUndo->setObjectName(QStringLiteral("btApplyUndo"));
    btBack = new QPushButton(QStringLiteral("&Back"), preview);
    btBack->setObjectName(QStringLiteral("btBack"));
    pa->addWidget(btApplyUndo);
    pa->addWidget(btBack);
    pa->addStretch(1);
    pl->addLayout(pa);
    pages_->addWidget(preview);

    // Below both pages: progress, Stop, status, Close.
    auto *bottom = new QHBoxLayout;
    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setVisible(false);
    btStop = new QPushButton(QStringLiteral("&Stop"), this);
    btStop->setObjectName(QStringLiteral("btStop"));
    btStop->setEnabled(false);
    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    btClose = new QPushButton(QStringLiteral("&Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    bottom->addWidget(lbStatus, 1);
    bottom->addWidget(pbProgress);
    bottom->addWidget(btStop);
    bottom->addWidget(btClose);
    layout->addLayout(bottom);

    connect(btRefresh, &QPushButton::clicked, this, &ChangeHistoryWindow::btRefreshClick);
    connect(btUndoSelected, &QPushButton::clicked, this, &ChangeHistoryWindow::btUndoSelectedClick);
    connect(btUndoRun, &QPushButton::clicked, this, &ChangeHistoryWindow::btUndoRunClick);
    connect(btApplyUndo, &QPushButton::clicked, this, &ChangeHistoryWindow::btApplyUndoClick);
    connect(btBack, &QPushButton::clicked, this, &ChangeHistoryWindow::btBackClick);
    connect(btStop, &QPushButton::clicked, this, &ChangeHistoryWindow::btStopClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvEntries, &QTreeWidget::currentItemChanged, this, [this] { showEntry(); });
    connect(lvEntries, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(ebObject, &QLineEdit::returnPressed, this, &ChangeHistoryWindow::btRefreshClick);
    connect(ebRun, &QLineEdit::returnPressed, this, &ChangeHistoryWindow::btRefreshClick);

    options::ApplyWindowFont(this);
    btRefreshClick();
}

void ChangeHistoryWindow::btRefreshClick()
{
    if (busy_)
        return;
    Filter f;
    f.since = QDateTime(dtFrom->date(), QTime(0, 0), Qt::LocalTime).toUTC();
    f.until = QDateTime(dtTo->date().addDays(1), QTime(0, 0), Qt::LocalTime).toUTC().addMSecs(-1);
    f.object = ebObject->text().trimmed();
    f.objectContains = true;
    f.run = ebRun->text().trimmed();
    // The day files are UTC days: one more on each side covers every local date.
    const ReadResult r = readJournal(folder_, f.since.date().addDays(-1), f.until.date().addDays(1));
    shown_ = filterEntries(r.entries, f);
    std::reverse(shown_.begin(), shown_.end());  // newest first
    lvEntries->clear();
    QList<QTreeWidgetItem *> items;
    for (int i = 0; i < shown_.size(); ++i) {
        const Entry &e = shown_[i];
        auto *it = new QTreeWidgetItem({e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                        outcomeName(e.outcome), e.dn, attributesOf(e), e.run,
                                        e.undoable() ? QStringLiteral("yes") : QStringLiteral("no")});
        it->setData(0, Qt::UserRole, i);
        if (!e.undoable())
            it->setToolTip(5, e.notUndoableReason());
        items.append(it);
    }
    lvEntries->addTopLevelItems(items);
    for (int c = 0; c < lvEntries->columnCount(); ++c)
        lvEntries->resizeColumnToContents(c);
    QString status = QStringLiteral("%1 entries").arg(shown_.size());
    if (r.skippedLines > 0)
        status += QStringLiteral("; %1 damaged lines skipped").arg(r.skippedLines);
    if (!r.problems.isEmpty())
        status += QStringLiteral("; ") + r.problems.join(QStringLiteral("; "));
    lbStatus->setText(status);
    if (!items.isEmpty())
        lvEntries->setCurrentItem(items.first());
    showEntry();
    updateButtons();
}

void ChangeHistoryWindow::showEntry()
{
    lvChanges->clear();
    const QTreeWidgetItem *it = lvEntries->currentItem();
    if (!it) {
        lbEntry->clear();
        return;
    }
    const Entry &e = shown_.at(it->data(0, Qt::UserRole).toInt());
    QString text = QStringLiteral("%1 %2 on %3 as %4, GUID %5, entry %6")
                       .arg(e.kind, e.dn, e.server, e.identity, e.guidText().isEmpty() ? QStringLiteral("unknown") : e.guidText(), e.id);
    if (!e.reason.isEmpty())
        text += QStringLiteral("\n") + outcomeName(e.outcome) + QStringLiteral(": ") + e.reason;
    else if (!e.outcomeRecorded)
        text += QStringLiteral("\nnot known: no outcome was recorded (the program ended before the directory answered)");
    if (!e.undoes.isEmpty())
        text += QStringLiteral("\nputs back: ") + e.undoes.join(QStringLiteral(", "));
    lbEntry->setText(text);
    for (const Change &c : e.changes) {
        const QString before = (c.whole ? QString() : QStringLiteral("removed: ")) + valuesShown(c, c.before);
        const QString after = (c.whole ? QString() : QStringLiteral("added: ")) + valuesShown(c, c.after);
        auto *row = new QTreeWidgetItem(lvChanges, {c.attribute, before, after, c.undoable() ? ruleName(c.undo)
                                                                                             : c.notUndoableReason()});
        row->setToolTip(1, before);
        row->setToolTip(2, after);
    }
    for (int c = 0; c < lvChanges->columnCount(); ++c)
        lvChanges->resizeColumnToContents(c);
}

void ChangeHistoryWindow::updateButtons()
{
    const bool connected = !ctx_.DomainPath.isEmpty();
    const QTreeWidgetItem *current = lvEntries->currentItem();
    const bool hasRun = current && !shown_.at(current->data(0, Qt::UserRole).toInt()).run.isEmpty();
    btUndoSelected->setEnabled(!busy_ && connected && !lvEntries->selectedItems().isEmpty());
    btUndoRun->setEnabled(!busy_ && connected && hasRun);
    const QString hint = connected ? QString() : QStringLiteral("Connect to the domain first.");
    btUndoSelected->setToolTip(hint);
    btUndoRun->setToolTip(hint);
    btRefresh->setEnabled(!busy_);
    btApplyUndo->setEnabled(!busy_ && pages_->currentIndex() == 1);
    btBack->setEnabled(!busy_);
    btStop->setEnabled(busy_);
    btClose->setEnabled(!busy_);
}

bool ChangeHistoryWindow::keepAlive()
{
    // The window stays responsive between objects, so that Stop can be pressed.
    static QElapsedTimer last;
    if (!last.isValid() || last.elapsed() >= 15) {
        QCoreApplication::processEvents();
        last.restart();
    }
    return stopRequested_;
}

void ChangeHistoryWindow::btUndoSelectedClick()
{
    QList<Entry> picked;
    for (const QTreeWidgetItem *it : lvEntries->selectedItems())
        picked.append(shown_.at(it->data(0, Qt::UserRole).toInt()));
    if (picked.isEmpty())
        return;
    startUndo(picked, QStringLiteral("%1 selected entries").arg(picked.size()));
}

void ChangeHistoryWindow::btUndoRunClick()
{
    const QTreeWidgetItem *current = lvEntries->currentItem();
    if (!current)
        return;
    const QString run = shown_.at(current->data(0, Qt::UserRole).toInt()).run;
    if (run.isEmpty())
        return;
    // The whole run, also its entries outside the shown dates.
    Filter f;
    f.run = run;
    startUndo(filterEntries(readJournal(folder_).entries, f), QStringLiteral("run %1").arg(run));
}

void ChangeHistoryWindow::startUndo(const QList<Entry> &entries, const QString &what)
{
    plan_ = planUndo(entries);
    busy_ = true;
    stopRequested_ = false;
    updateButtons();
    pbProgress->setRange(0, static_cast<int>(plan_.objects.size()));
    pbProgress->setValue(0);
    pbProgress->setVisible(true);
    lbStatus->setText(QStringLiteral("Finding the objects of %1...").arg(what));
    UndoHooks hooks;
    hooks.stopRequested = [this] { return keepAlive(); };
    hooks.objectDone = [this](int, int handled) { pbProgress->setValue(handled); };
    UndoRun run(ctx_);
    run.preview(plan_, hooks);
    busy_ = false;
    pbProgress->setVisible(false);
    lbPreview->setText(QStringLiteral("Undo of %1: each object below gets one change that removes the values written "
                                      "and puts back the values before. An object changed since is left alone.")
                           .arg(what));
    fillPreview();
    pages_->setCurrentIndex(1);
    lbStatus->setText(stopRequested_ ? QStringLiteral("Stopped: not every object was looked at.") : QString());
    updateButtons();
}

void ChangeHistoryWindow::fillPreview()
{
    lvPreview->clear();
    for (const UndoObject &o : plan_.objects) {
        QStringList steps;
        for (const UndoStep &s : o.steps)
            steps << QStringLiteral("%1: %2").arg(s.attribute,
                                                  s.kind == UndoStep::DeleteValues ? QStringLiteral("remove %1 value(s)").arg(s.values.size())
                                                  : s.kind == UndoStep::AddValues  ? QStringLiteral("add %1 value(s)").arg(s.values.size())
                                                                                   : QStringLiteral("put back if unchanged"));
        QStringList detail;
        if (!o.detail.isEmpty())
            detail << o.detail;
        detail += o.notes;
        new QTreeWidgetItem(lvPreview, {undoStateText(o.state), o.currentDn, steps.join(QStringLiteral("; ")),
                                        detail.join(QStringLiteral("; "))});
    }
    for (const SkippedEntry &s : plan_.skipped)
        new QTreeWidgetItem(lvPreview, {QStringLiteral("skipped"), s.dn, QString(), s.why});
    for (int c = 0; c < lvPreview->columnCount(); ++c)
        lvPreview->resizeColumnToContents(c);
}

void ChangeHistoryWindow::btApplyUndoClick()
{
    if (busy_ || pages_->currentIndex() != 1)
        return;
    busy_ = true;
    stopRequested_ = false;
    updateButtons();
    pbProgress->setRange(0, static_cast<int>(plan_.objects.size()));
    pbProgress->setValue(0);
    pbProgress->setVisible(true);
    lbStatus->setText(QStringLiteral("Undoing..."));
    UndoHooks hooks;
    hooks.stopRequested = [this] { return keepAlive(); };
    hooks.objectDone = [this](int index, int handled) {
        pbProgress->setValue(handled);
        const UndoObject &o = plan_.objects.at(index);
        // Open windows that show the object read it again.
        if (o.state == UndoState::Undone || o.state == UndoState::NotKnown)
            ui::ObjectBus::instance().notify(0, o.currentDn, this);
    };
    UndoRun run(ctx_);
    run.preview(plan_, {});  // the objects again: time has passed since the preview was shown
    summary_ = run.apply(plan_, hooks);
    busy_ = false;
    pbProgress->setVisible(false);
    fillPreview();
    QString text = QStringLiteral("%1 undone, %2 changed since (left alone), %3 not found, %4 failed, %5 not known, %6 not done.")
                       .arg(summary_.undone)
                       .arg(summary_.changedSince)
                       .arg(summary_.notFound)
                       .arg(summary_.failed)
                       .arg(summary_.notKnown)
                       .arg(summary_.notDone);
    if (!summary_.stopReason.isEmpty())
        text += QStringLiteral(" Stopped: ") + summary_.stopReason;
    lbStatus->setText(text);
    lbPreview->setText(text + QStringLiteral(" The undo is itself in the journal (run %1) and can be undone.")
                                  .arg(summary_.runId));
    btApplyUndo->setEnabled(false);
    btBack->setEnabled(true);
    btStop->setEnabled(false);
    btClose->setEnabled(true);
}

void ChangeHistoryWindow::btBackClick()
{
    if (busy_)
        return;
    pages_->setCurrentIndex(0);
    btRefreshClick();
}

void ChangeHistoryWindow::btStopClick() { stopRequested_ = true; }

void ChangeHistoryWindow::reject()
{
    // Closing while objects are written would leave the run half done without a summary.
    if (busy_) {
        stopRequested_ = true;
        return;
    }
    QDialog::reject();
}

} // namespace journal
