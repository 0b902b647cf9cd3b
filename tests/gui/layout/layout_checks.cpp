#include "layout_checks.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

namespace layouttest {

namespace {

QString stripMnemonic(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

QString quoted(const QString &text)
{
    QString t = text;
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QLatin1Char('"') + (t.size() > 60 ? t.left(57) + QStringLiteral("...") : t) + QLatin1Char('"');
}

bool inside(const QWidget *w, const char *className)
{
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget())
        if (p->inherits(className))
            return true;
    return false;
}

// Controls of this window that the user sees now.
bool shown(const QWidget *w, const QWidget *window)
{
    return w->window() == window && w->isVisible() && !inside(w, "QCalendarWidget");
}

// The part of the widget that its ancestors let show.
int visibleWidth(const QWidget *w) { return w->visibleRegion().boundingRect().width(); }

QHeaderView *headerOf(QAbstractItemView *view)
{
    if (auto *t = qobject_cast<QTableView *>(view))
        return t->horizontalHeader();
    if (auto *t = qobject_cast<QTreeView *>(view))
        return t->header();
    return nullptr;
}

// ---- cut texts -------------------------------------------------------------------------------

void checkTextFits(QWidget *w, const QString &text, int need, QStringList &failures, const char *what)
{
    // A control scrolled out of its panel's view (the account options) is judged by its own
    // width: it shows whole when scrolled to.
    const int shownWidth = visibleWidth(w);
    const int has = shownWidth > 0 ? qMin(w->width(), shownWidth) : w->width();
    if (need > has + 1)
        failures << QStringLiteral("%1: %2 %3 is cut (needs %4 px, shows %5)")
                        .arg(controlPath(w), QLatin1String(what), quoted(text))
                        .arg(need)
                        .arg(has);
}

void checkLabel(QLabel *l, QStringList &failures)
{
    if (l->text().trimmed().isEmpty() || !l->pixmap().isNull())
        return;
    if (l->wordWrap()) {
        const int need = l->heightForWidth(l->width());
        if (need > l->height() + 1)
            failures << QStringLiteral("%1: label %2 is cut (needs %3 px of height, has %4)")
                            .arg(controlPath(l), quoted(l->text()))
                            .arg(need)
                            .arg(l->height());
        return;
    }
    checkTextFits(l, l->text(), l->sizeHint().width(), failures, "label");
}

void checkButton(QAbstractButton *b, QStringList &failures)
{
    const QString text = stripMnemonic(b->text());
    if (text.trimmed().isEmpty())
        return;
    if (qobject_cast<QCheckBox *>(b) || qobject_cast<QRadioButton *>(b)) {
        checkTextFits(b, text, b->sizeHint().width(), failures, qobject_cast<QCheckBox *>(b) ? "check box" : "radio button");
    } else if (auto *tb = qobject_cast<QToolButton *>(b)) {
        if (tb->toolButtonStyle() != Qt::ToolButtonIconOnly)
            checkTextFits(b, text, tb->sizeHint().width(), failures, "button");
    } else if (qobject_cast<QPushButton *>(b)) {
        // The text with the style's margins, without the minimum width some styles give.
        int need = b->fontMetrics().horizontalAdvance(text) + b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) +
                   2 * b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
        if (!b->icon().isNull())
            need += b->iconSize().width() + 4;
        checkTextFits(b, text, need, failures, "button");
    }
}

void checkTabBar(QTabBar *bar, QStringList &failures)
{
    for (QToolButton *arrow : bar->findChildren<QToolButton *>(Qt::FindDirectChildrenOnly))
        if (arrow->isVisible()) {
            failures << QStringLiteral("%1: the tabs do not all fit; the bar shows scroll arrows").arg(controlPath(bar));
            break;
        }
    const int hspace = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
    for (int i = 0; i < bar->count(); ++i) {
        if (!bar->isTabVisible(i))
            continue;
        const QString text = stripMnemonic(bar->tabText(i));
        const QRect r = bar->tabRect(i);
        int need = bar->fontMetrics().horizontalAdvance(text) + hspace;
        if (!bar->tabIcon(i).isNull())
            need += bar->iconSize().width() + 4;
        if (r.left() < 0 || r.right() >= bar->width() + 1)
            failures << QStringLiteral("%1: tab %2 lies outside the bar").arg(controlPath(bar), quoted(text));
        else if (r.width() + 1 < need)
            failures << QStringLiteral("%1: tab %2 is cut (needs %3 px, has %4)")
                            .arg(controlPath(bar), quoted(text))
                            .arg(need)
                            .arg(r.width());
    }
}

// ---- columns ---------------------------------------------------------------------------------

// Rows of the view that are in view now.
QModelIndexList rowsInView(QAbstractItemView *view, int column)
{
    QModelIndexList out;
    const int height = view->viewport()->height();
    QModelIndex idx = view->indexAt(QPoint(1, 1));
    // indexAt may land in a hidden or narrow column; walk by rows of the first hit.
    for (int y = 1; y < height;) {
        idx = view->indexAt(QPoint(0, y));
        if (!idx.isValid()) {
            // Past the last row or a gap: try the column's own x.
            break;
        }
        const QModelIndex cell = idx.siblingAtColumn(column);
        if (cell.isValid())
            out << cell;
        const int h = view->visualRect(idx).height();
        y = view->visualRect(idx).bottom() + 2;
        if (h <= 0)
            break;
    }
    return out;
}

struct Widest {
    int need = 0;
    int has = 0;
    QString text;
};

// The value in view that needs the most room beyond what its cell gives.
Widest widestValue(QAbstractItemView *view, int column)
{
    Widest worst;
    QStyleOptionViewItem opt;
    opt.initFrom(view);
    opt.font = view->font();
    opt.fontMetrics = view->fontMetrics();
    opt.decorationSize = view->iconSize().isValid() ? view->iconSize()
                                                   : QSize(view->style()->pixelMetric(QStyle::PM_SmallIconSize),
                                                           view->style()->pixelMetric(QStyle::PM_SmallIconSize));
    opt.widget = view;
    int worstShort = 0;
    for (const QModelIndex &idx : rowsInView(view, column)) {
        const QString text = idx.data(Qt::DisplayRole).toString();
        if (text.isEmpty())
            continue;
        const int need = view->itemDelegateForIndex(idx)->sizeHint(opt, idx).width();
        const int has = view->visualRect(idx).width();
        if (need - has > worstShort) {
            worstShort = need - has;
            worst = {need, has, text};
        }
    }
    return worst;
}

void checkColumns(QAbstractItemView *view, QWidget *window, const WindowRules &rules, QStringList &failures)
{
    QHeaderView *h = headerOf(view);
    if (!h || !h->isVisible() || !view->model())
        return;
    const QString name = view->objectName();
    if (rules.fixedContent.contains(name))
        return;
    for (int logical = 0; logical < h->count(); ++logical) {
        if (h->isSectionHidden(logical) || h->sectionSize(logical) <= 0)
            continue;
        const QString caption = view->model()->headerData(logical, Qt::Horizontal).toString();
        const QString label = caption.isEmpty() ? QStringLiteral("#%1").arg(logical) : quoted(caption);
        if (h->sectionResizeMode(logical) != QHeaderView::Interactive) {
            failures << QStringLiteral("%1: column %2 cannot be resized by dragging its divider").arg(controlPath(view), label);
            continue;
        }
        if (!isNameColumn(caption))
            continue;
        if (!rules.givenWidths.contains(name)) {
            const Widest w = widestValue(view, logical);
            if (w.need > w.has + 1)
                failures << QStringLiteral("%1: name column %2 opens narrower (%3 px) than %4 (%5 px)")
                                .arg(controlPath(view), label)
                                .arg(w.has)
                                .arg(quoted(w.text))
                                .arg(w.need);
        }
        // A double click on the divider, where the user would make it: the divider must be in
        // view and not under another control (the frozen columns lie over the grid's own).
        view->scrollTo(view->model()->index(0, logical));
        const int x = h->sectionViewportPosition(logical) + h->sectionSize(logical) - 1;
        const QPoint at(x, h->height() / 2);
        if (x < 0 || x >= h->viewport()->width())
            continue;
        const QPoint inWindow = h->viewport()->mapTo(window, at);
        QWidget *hit = window->childAt(inWindow);
        if (hit != h->viewport() && hit != h)
            continue;
        QTest::mouseDClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCoreApplication::processEvents();
        const Widest w = widestValue(view, logical);
        if (w.need > w.has + 1)
            failures << QStringLiteral("%1: name column %2 is narrower (%3 px) than %4 (%5 px) after a double click on its divider")
                            .arg(controlPath(view), label)
                            .arg(w.has)
                            .arg(quoted(w.text))
                            .arg(w.need);
    }
}

// ---- accessible names --------------------------------------------------------------------------

bool isInput(QWidget *w)
{
    if (qobject_cast<QHeaderView *>(w) || qobject_cast<QScrollBar *>(w))
        return false;
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return !qobject_cast<QAbstractSpinBox *>(e->parentWidget()) && !qobject_cast<QComboBox *>(e->parentWidget());
    return qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QTextEdit *>(w) ||
           qobject_cast<QPlainTextEdit *>(w) || qobject_cast<QAbstractItemView *>(w) || qobject_cast<QSlider *>(w);
}

void checkAccessibleName(QWidget *w, QStringList &failures)
{
    // A part of another control (its focus goes there) is named by that control.
    if (w->focusProxy())
        return;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    const QString name = iface ? iface->text(QAccessible::Name).trimmed() : QString();
    if (name.isEmpty())
        failures << QStringLiteral("%1: input has no accessible name (no label names it as its buddy)").arg(controlPath(w));
}

// ---- Tab order ---------------------------------------------------------------------------------

// Controls a keyboard user must be able to reach.
bool isControl(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        const QWidget *p = b->parentWidget();
        // Tool bar buttons answer their actions' keys; scroll arrows and corner buttons belong
        // to the control around them.
        return !qobject_cast<const QToolBar *>(p) && !qobject_cast<const QTabBar *>(p) &&
               !qobject_cast<const QAbstractItemView *>(p) && !inside(b, "QAbstractSpinBox");
    }
    if (auto *t = qobject_cast<QTabBar *>(w))
        return t->count() > 1;
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->isCheckable();
    return isInput(w);
}

// The control that takes the focus for w (a spin box's edit focuses the spin box).
QWidget *focusTarget(QWidget *w)
{
    while (w->focusProxy())
        w = w->focusProxy();
    return w;
}

// The Tab cycle as QWidget::focusNextPrevChild walks it.
QList<QWidget *> tabCycle(QWidget *window)
{
    QList<QWidget *> cycle;
    QWidget *w = window->nextInFocusChain();
    for (int guard = 0; w && w != window && guard < 10000; ++guard, w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy() && w->isVisibleTo(window) &&
            w->isEnabled() && w->window() == window)
            cycle << w;
    }
    return cycle;
}

// A group of exclusive radio buttons is one Tab stop (the checked button, or the first);
// the arrow keys move within it.
bool groupReached(QWidget *w, const QList<QWidget *> &cycle)
{
    auto *rb = qobject_cast<QRadioButton *>(w);
    if (!rb)
        return false;
    QList<QAbstractButton *> members;
    if (QButtonGroup *g = rb->group(); g && g->exclusive())
        members = g->buttons();
    else if (rb->autoExclusive() && rb->parentWidget())
        for (QRadioButton *other : rb->parentWidget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly))
            if (other->autoExclusive() && !other->group())
                members << other;
    for (QAbstractButton *m : members)
        if (cycle.contains(m))
            return true;
    return false;
}

// Where the control shows in the window; one scrolled out of its panel's view stands where
// the panel does.
QRect rectIn(const QWidget *w, const QWidget *window)
{
    while (w != window && w->parentWidget() && w->visibleRegion().isEmpty())
        w = w->parentWidget();
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

void checkTabOrder(QWidget *window, QStringList &failures)
{
    QList<QWidget *> cycle = tabCycle(window);
    // Tab goes round: the cycle is read from the control that comes first in reading order
    // (the top one, of those the leftmost), and the step back to it closes the round.
    qsizetype first = 0;
    for (qsizetype i = 1; i < cycle.size(); ++i) {
        const QRect r = rectIn(cycle[i], window);
        const QRect f = rectIn(cycle[first], window);
        if (r.top() < f.top() - 4 || (qAbs(r.top() - f.top()) <= 4 && r.left() < f.left()))
            first = i;
    }
    std::rotate(cycle.begin(), cycle.begin() + first, cycle.end());
    if (qEnvironmentVariableIsSet("ARV_LAYOUT_DEBUG"))
        for (QWidget *w : cycle)
            qInfo("tab: %s %d,%d", qPrintable(controlPath(w)), rectIn(w, window).left(), rectIn(w, window).top());
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!shown(w, window) || !w->isEnabled() || !isControl(w))
            continue;
        if (!cycle.contains(focusTarget(w)) && !groupReached(w, cycle))
            failures << QStringLiteral("%1: cannot be reached with the Tab key").arg(controlPath(w));
    }
    constexpr int tol = 4;
    for (qsizetype i = 0; i + 1 < cycle.size(); ++i) {
        QWidget *a = cycle[i];
        QWidget *b = cycle[i + 1];
        const QRect ra = rectIn(a, window);
        const QRect rb = rectIn(b, window);
        const int overlap = qMin(ra.bottom(), rb.bottom()) - qMax(ra.top(), rb.top());
        const bool sameRow = overlap >= qMin(ra.height(), rb.height()) / 2;
        bool backward = false;
        if (sameRow)
            backward = rb.center().x() < ra.left() - tol && rb.right() <= ra.left() + tol;
        else if (rb.bottom() < ra.top() + tol)
            // Up is allowed only into a new column to the right.
            backward = rb.left() < ra.right() - tol;
        if (backward)
            failures << QStringLiteral("%1: Tab goes from here back to %2, against the reading order")
                            .arg(controlPath(a), controlPath(b));
    }
}

// ---- keys ------------------------------------------------------------------------------------

bool hasAccessKey(const QString &text)
{
    QString t = text;
    t.remove(QStringLiteral("&&"));
    return t.contains(QLatin1Char('&'));
}

void checkMenu(const QMenu *menu, const QString &path, QStringList &failures)
{
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator() || !a->isVisible())
            continue;
        if (!hasAccessKey(a->text()))
            failures << QStringLiteral("%1: menu item %2 has no access key").arg(path, quoted(a->text()));
        if (a->menu())
            checkMenu(a->menu(), path, failures);
    }
}

// Enter presses OK (the default button) and every menu item has an access key.
void checkKeys(QWidget *window, QStringList &failures)
{
    if (qobject_cast<QDialog *>(window)) {
        QPushButton *ok = nullptr;
        bool hasDefault = false;
        for (QPushButton *b : window->findChildren<QPushButton *>()) {
            if (!shown(b, window))
                continue;
            hasDefault = hasDefault || b->isDefault();
            if (b->objectName() == QLatin1String("btOK"))
                ok = b;
        }
        if (ok && !hasDefault)
            failures << QStringLiteral("%1: Enter does not press OK (no default button)").arg(controlPath(ok));
    }
    for (QMenuBar *bar : window->findChildren<QMenuBar *>()) {
        if (!shown(bar, window))
            continue;
        for (const QAction *a : bar->actions()) {
            if (!hasAccessKey(a->text()))
                failures << QStringLiteral("%1: menu %2 has no access key").arg(controlPath(bar), quoted(a->text()));
            if (a->menu())
                checkMenu(a->menu(), controlPath(bar) + QLatin1Char('/') + stripMnemonic(a->text()), failures);
        }
    }
}

} // namespace

QString controlPath(const QWidget *w)
{
    QStringList parts;
    const QWidget *window = w->window();
    for (const QWidget *p = w; p && p != window; p = p->parentWidget())
        if (!p->objectName().isEmpty() && !p->objectName().startsWith(QLatin1String("qt_")))
            parts.prepend(p->objectName());
    if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) {
        QString what = QString::fromLatin1(w->metaObject()->className());
        if (auto *b = qobject_cast<const QAbstractButton *>(w); b && !b->text().isEmpty())
            what += QLatin1Char(' ') + quoted(stripMnemonic(b->text()));
        else if (auto *l = qobject_cast<const QLabel *>(w); l && !l->text().isEmpty())
            what += QLatin1Char(' ') + quoted(l->text());
        parts << QStringLiteral("(%1)").arg(what);
    }
    parts.prepend(window->objectName().isEmpty() ? QString::fromLatin1(window->metaObject()->className())
                                                 : window->objectName());
    return parts.join(QLatin1Char('/'));
}

bool isNameColumn(const QString &caption)
{
    static const QRegularExpression names(QStringLiteral("name|permission|trustee|group|member"),
                                          QRegularExpression::CaseInsensitiveOption);
    return names.match(caption).hasMatch();
}

void checkShownState(QWidget *window, const WindowRules &rules, QStringList &failures)
{
    const qreal dpr = window->devicePixelRatioF();
    const QSize frame = window->frameGeometry().size();
    if (frame.width() * dpr > kScreenWidth + 0.5 || frame.height() * dpr > kScreenHeight + 0.5)
        failures << QStringLiteral("%1: the window (%2x%3 device pixels) is larger than a %4x%5 screen")
                        .arg(controlPath(window))
                        .arg(qRound(frame.width() * dpr))
                        .arg(qRound(frame.height() * dpr))
                        .arg(kScreenWidth)
                        .arg(kScreenHeight);

    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!shown(w, window))
            continue;
        if (auto *l = qobject_cast<QLabel *>(w))
            checkLabel(l, failures);
        else if (auto *b = qobject_cast<QAbstractButton *>(w))
            checkButton(b, failures);
        else if (auto *t = qobject_cast<QTabBar *>(w))
            checkTabBar(t, failures);
        else if (auto *g = qobject_cast<QGroupBox *>(w); g && !g->title().isEmpty() && g->minimumSizeHint().width() > g->width() + 1)
            failures << QStringLiteral("%1: group box %2 is cut (needs %3 px, has %4)")
                            .arg(controlPath(g), quoted(g->title()))
                            .arg(g->minimumSizeHint().width())
                            .arg(g->width());

        auto *area = qobject_cast<QAbstractScrollArea *>(w);
        const bool fixed = qobject_cast<QScrollArea *>(w) || rules.fixedContent.contains(w->objectName());
        if (area && fixed &&
            ((area->horizontalScrollBar() && area->horizontalScrollBar()->isVisible()) ||
             (area->verticalScrollBar() && area->verticalScrollBar()->isVisible())))
            failures << QStringLiteral("%1: needs a scroll bar to show its fixed content").arg(controlPath(w));
        if (auto *view = qobject_cast<QAbstractItemView *>(w); view && !qobject_cast<QHeaderView *>(w))
            checkColumns(view, window, rules, failures);
        if (isInput(w))
            checkAccessibleName(w, failures);
    }
    checkTabOrder(window, failures);
    checkKeys(window, failures);
}

QStringList checkWindow(QWidget *window, const WindowRules &rules)
{
    QStringList failures;
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    checkShownState(window, rules, failures);

    // Tab widgets and the other stacks of pages (a stack inside a tab widget is its own).
    QList<QStackedWidget *> stacks;
    for (QStackedWidget *st : window->findChildren<QStackedWidget *>())
        if (st->window() == window && st->count() > 1)
            stacks << st;
    QHash<QStackedWidget *, int> current;
    for (QStackedWidget *st : stacks)
        current.insert(st, st->currentIndex());
    auto tabsOf = [](QStackedWidget *st) { return qobject_cast<QTabWidget *>(st->parentWidget()); };
    for (QStackedWidget *st : stacks) {
        for (int i = 0; i < st->count(); ++i) {
            if (QTabWidget *t = tabsOf(st); t && (!t->isTabEnabled(i) || !t->isTabVisible(i)))
                continue;
            // Bring the stack itself into view: the pages of the outer stacks holding it.
            for (QWidget *p = st; p && p != window; p = p->parentWidget())
                if (auto *outer = qobject_cast<QStackedWidget *>(p->parentWidget()); outer && outer->indexOf(p) >= 0) {
                    if (QTabWidget *t = tabsOf(outer))
                        t->setCurrentWidget(p);
                    else
                        outer->setCurrentWidget(p);
                }
            if (QTabWidget *t = tabsOf(st))
                t->setCurrentIndex(i);
            else
                st->setCurrentIndex(i);
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            checkShownState(window, rules, failures);
        }
    }
    for (auto it = current.constBegin(); it != current.constEnd(); ++it) {
        if (QTabWidget *t = tabsOf(it.key()))
            t->setCurrentIndex(it.value());
        else
            it.key()->setCurrentIndex(it.value());
    }
    failures.removeDuplicates();
    return failures;
}

} // namespace layouttest
