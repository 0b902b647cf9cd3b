#include "ui/windowlayout.h"

#include "platform/registry/registry.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QDialog>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QScopedValueRollback>
#include <QSet>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <algorithm>

namespace ui {

namespace {

const char *const kKeeperName = "arvColumnKeeper";
const char *const kMemoryName = "arvWindowMemory";
const char *const kFixedName = "arvColumnsFixed";

QHeaderView *headerOf(const QAbstractItemView *view)
{
    if (auto *t = qobject_cast<const QTableView *>(view))
        return t->horizontalHeader();
    if (auto *t = qobject_cast<const QTreeView *>(view))
        return t->header();
    return nullptr;
}

// ---- columns ---------------------------------------------------------------------------------

// Keeps the columns of one view: fits them to their content, tells the widths the user set
// (by dragging or double-clicking a divider) from the widths the program sets, and holds the
// widths the window remembers.
class ColumnKeeper : public QObject {
public:
    ColumnKeeper(QAbstractItemView *view, Columns kind) : QObject(view), view_(view), viewId_(view), kind_(kind)
    {
        setObjectName(QLatin1String(kKeeperName));
        QHeaderView *h = headerOf(view);
        h->viewport()->installEventFilter(this);
        view->installEventFilter(this);
        // Only the column whose divider the user holds is theirs; the others that move with it
        // (the last column taking up the slack) are not.
        connect(h, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
            if (userActing_ && !fitting_ && logical == userSection_ && size > 0)
                pinned_.insert(keyOf(logical), size);
        });
        // The view fits the column first (its own connection was made before this one). A
        // column whose width the window gives keeps the fitted width; a column that fits its
        // content goes on following it.
        connect(h, &QHeaderView::sectionHandleDoubleClicked, this, [this](int logical) {
            if (kind_ == Columns::Fit) {
                pinned_.remove(keyOf(logical));
                scheduleFit();
            } else {
                pin(logical);
            }
        });
        connect(h, &QHeaderView::sectionCountChanged, this, [this] { scheduleFit(); });
        watchModel();
    }

    Columns kind() const { return kind_; }
    void setKind(Columns kind)
    {
        kind_ = kind;
        scheduleFit();
    }

    QHeaderView *header() const { return headerOf(view_); }

    // Columns are known by their caption (column sets differ between uses of a window, and
    // some grids let the user reorder them); a column without one by its position.
    QString keyOf(int logical) const
    {
        QString caption = view_->model() ? view_->model()->headerData(logical, Qt::Horizontal).toString() : QString();
        caption.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' '));
        return caption.trimmed().isEmpty() ? QStringLiteral("#%1").arg(logical) : caption;
    }

    void pin(int logical)
    {
        const int size = header()->sectionSize(logical);
        if (size > 0)
            pinned_.insert(keyOf(logical), size);
    }

    // How much wider than its viewport the columns are (0 when they fit).
    int missingWidth() const
    {
        QHeaderView *h = header();
        return h && view_->isVisible() ? qMax(0, h->length() - view_->viewport()->width()) : 0;
    }

    void scheduleFit()
    {
        watchModel();
        if (fitPending_)
            return;
        fitPending_ = true;
        QTimer::singleShot(0, this, [this] {
            fitPending_ = false;
            fitNow();
        });
    }

    void fitNow()
    {
        QHeaderView *h = header();
        if (!view_ || !h || !view_->model())
            return;
        const bool fit = kind_ == Columns::Fit && view_->isVisible();
        // What the program sets here is never taken for the user's choice.
        const QScopedValueRollback<bool> fitting(fitting_, true);
        int lastShown = -1;
        for (int visual = h->count() - 1; visual >= 0 && lastShown < 0; --visual)
            if (!h->isSectionHidden(h->logicalIndex(visual)))
                lastShown = h->logicalIndex(visual);

        for (int logical = 0; logical < h->count(); ++logical) {
            if (h->isSectionHidden(logical))
                continue;
            if (fit && logical == lastShown && kind_ != Columns::Frozen && !pinned_.contains(keyOf(logical))) {
                // The last column takes the space left over, but never less than its content:
                // a longer value than the room left gives a scroll bar, not a cut name.
                const int content = qMax(static_cast<const QAbstractItemView *>(view_)->sizeHintForColumn(logical),
                                         h->sectionSizeHint(logical));
                const int room = view_->viewport()->width() - h->sectionPosition(logical);
                h->setStretchLastSection(content <= room);
                if (content > room)
                    h->resizeSection(logical, content);
                continue;
            }
            const QString key = keyOf(logical);
            if (const auto it = pinned_.constFind(key); it != pinned_.constEnd()) {
                if (!defaults_.contains(key))
                    defaults_.insert(key, h->sectionSize(logical));
                if (h->sectionSize(logical) != *it)
                    h->resizeSection(logical, *it);
            } else if (fit) {
                // sizeHintForColumn is public in the base class only.
                const int content = static_cast<const QAbstractItemView *>(view_)->sizeHintForColumn(logical);
                const int width = qMax(qMax(h->sectionSizeHint(logical), content), h->minimumSectionSize());

                if (h->sectionSize(logical) != width)
                    h->resizeSection(logical, width);
            }
        }
    }

    // Widths to remember: those the user set, as they are now.
    QHash<QString, int> userWidths() const
    {
        QHash<QString, int> out = pinned_;
        QHeaderView *h = header();
        for (int logical = 0; h && logical < h->count(); ++logical) {
            const QString key = keyOf(logical);
            if (out.contains(key) && !h->isSectionHidden(logical) && h->sectionSize(logical) > 0)
                out.insert(key, h->sectionSize(logical));
        }
        return out;
    }

    void restore(const QHash<QString, int> &widths)
    {
        for (auto it = widths.constBegin(); it != widths.constEnd(); ++it)
            pinned_.insert(it.key(), it.value());
        fitNow();
    }

    void reset()
    {
        const QScopedValueRollback<bool> fitting(fitting_, true);
        pinned_.clear();
        QHeaderView *h = header();
        for (int logical = 0; h && logical < h->count(); ++logical)
            if (const auto it = defaults_.constFind(keyOf(logical)); it != defaults_.constEnd())
                h->resizeSection(logical, *it);
        defaults_.clear();
        fitNow();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Compared by address: events also come while the view is being destroyed, when it is
        // no longer an item view and the guarded pointer must not be read as one.
        if (watched == viewId_) {
            if (event->type() == QEvent::Show)
                scheduleFit();
            return false;
        }
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            userActing_ = true;
            userSection_ = sectionOfDivider(static_cast<QMouseEvent *>(event)->position().toPoint().x());
            break;
        case QEvent::MouseButtonRelease:
        case QEvent::Leave:
            userActing_ = false;
            break;
        case QEvent::MouseMove:
            // A release that went elsewhere (or never came) does not leave the flag set.
            if (static_cast<QMouseEvent *>(event)->buttons() == Qt::NoButton)
                userActing_ = false;
            break;
        default:
            break;
        }
        return false;
    }

private:
    // The column whose right-hand divider lies at x (viewport coordinates), or -1.
    int sectionOfDivider(int x) const
    {
        QHeaderView *h = header();
        const int reach = qMax(4, h->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, h));
        int best = -1;
        int bestDistance = reach + 1;
        for (int logical = 0; logical < h->count(); ++logical) {
            if (h->isSectionHidden(logical))
                continue;
            const int distance = qAbs(h->sectionViewportPosition(logical) + h->sectionSize(logical) - x);
            if (distance < bestDistance) {
                best = logical;
                bestDistance = distance;
            }
        }
        return best;
    }

    void watchModel()
    {
        QAbstractItemModel *m = view_ ? view_->model() : nullptr;
        if (m == model_)
            return;
        if (model_)
            disconnect(model_, nullptr, this, nullptr);
        model_ = m;
        if (!m)
            return;
        auto refit = [this] { scheduleFit(); };
        connect(m, &QAbstractItemModel::modelReset, this, refit);
        connect(m, &QAbstractItemModel::rowsInserted, this, refit);
        connect(m, &QAbstractItemModel::layoutChanged, this, refit);
        connect(m, &QAbstractItemModel::headerDataChanged, this, refit);
        connect(m, &QAbstractItemModel::dataChanged, this, refit);
    }

    QPointer<QAbstractItemView> view_;
    const QObject *viewId_ = nullptr;
    QPointer<QAbstractItemModel> model_;
    Columns kind_;
    QHash<QString, int> pinned_;   // column key -> width the user set or the window remembered
    QHash<QString, int> defaults_; // column key -> width before a pinned width replaced it
    bool fitPending_ = false;
    bool userActing_ = false;
    bool fitting_ = false;
    int userSection_ = -1;
};

ColumnKeeper *keeperOf(const QAbstractItemView *view)
{
    return view ? view->findChild<ColumnKeeper *>(QLatin1String(kKeeperName), Qt::FindDirectChildrenOnly) : nullptr;
}

// ---- remembered layout -----------------------------------------------------------------------

QString sizeText(const QSize &s) { return QStringLiteral("%1,%2").arg(s.width()).arg(s.height()); }

QList<int> numbers(const QString &text)
{
    QList<int> out;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok)
            return {};
        out << n;
    }
    return out;
}

QString widthsText(const QHash<QString, int> &widths)
{
    QStringList keys = widths.keys();
    keys.sort();
    QStringList lines;
    for (const QString &k : keys)
        lines << QStringLiteral("%1\t%2").arg(widths.value(k)).arg(k);
    return lines.join(QLatin1Char('\n'));
}

QHash<QString, int> widthsFromText(const QString &text)
{
    QHash<QString, int> out;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        bool ok = false;
        const int w = line.left(tab).toInt(&ok);
        if (tab > 0 && ok && w > 0 && w < 10000)
            out.insert(line.mid(tab + 1), w);
    }
    return out;
}

bool ownedBy(const QWidget *w, const QWidget *window)
{
    if (w->window() != window)
        return false;
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QCalendarWidget *>(p))
            return false;
    return true;
}

class WindowMemory;
QList<QPointer<WindowMemory>> &memories()
{
    static QList<QPointer<WindowMemory>> list;
    return list;
}

class WindowMemory : public QObject {
public:
    WindowMemory(QWidget *window, QSize preferred) : QObject(window), window_(window), windowId_(window), preferred_(preferred)
    {
        setObjectName(QLatin1String(kMemoryName));
        window->installEventFilter(this);
        memories().removeAll(QPointer<WindowMemory>());
        memories() << this;
    }

    QSize openingSize() const
    {
        if (QLayout *l = window_->layout()) {
            l->invalidate();
            l->activate();
        }
        QSize s = window_->sizeHint().expandedTo(window_->minimumSizeHint());
        if (preferred_.isValid())
            s = s.expandedTo(preferred_);
        return s.boundedTo(room());
    }

    void reset()
    {
        if (!shown_)
            return;
        window_->resize(openingSize());
        for (QSplitter *sp : splitters())
            if (const auto it = splitterDefaults_.constFind(sp); it != splitterDefaults_.constEnd())
                sp->restoreState(*it);
        movedSplitters_.clear();
        for (ColumnKeeper *k : keepers())
            k->reset();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == windowId_ && !event->spontaneous()) {
            if (event->type() == QEvent::Show && !shown_)
                firstShow();
            else if (event->type() == QEvent::Hide && shown_)
                save();
        }
        return false;
    }

private:
    QString key() const { return windowLayoutKey() + QLatin1Char('\\') + window_->objectName(); }

    QRect available() const
    {
        const QWidget *anchor = window_->parentWidget() ? window_->parentWidget()->window() : window_.data();
        QScreen *screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
        return screen ? screen->availableGeometry() : QRect(0, 0, 1366, 768);
    }

    // The largest size the window itself may take: the screen less the frame around it, so
    // that the framed window fits too (a few pixels that decide a 768-pixel screen at 125 %).
    QSize room() const
    {
        const QWindow *handle = window_->windowHandle();
        return available().size().shrunkBy(handle ? handle->frameMargins() : QMargins());
    }

    QList<QSplitter *> splitters() const
    {
        QList<QSplitter *> out;
        for (QSplitter *sp : window_->findChildren<QSplitter *>())
            if (ownedBy(sp, window_) && !sp->objectName().isEmpty())
                out << sp;
        return out;
    }

    QList<QAbstractItemView *> views() const
    {
        QList<QAbstractItemView *> out;
        for (QAbstractItemView *v : window_->findChildren<QAbstractItemView *>())
            if (ownedBy(v, window_) && headerOf(v))
                out << v;
        return out;
    }

    QList<ColumnKeeper *> keepers() const
    {
        QList<ColumnKeeper *> out;
        for (QAbstractItemView *v : views())
            if (ColumnKeeper *k = keeperOf(v))
                out << k;
        return out;
    }

    // Screen readers name a list only by its own accessible name, not by the label beside it
    // (as they do for edits): a list takes the text of the label whose buddy it is.
    void nameListsByTheirLabels() const
    {
        for (QLabel *l : window_->findChildren<QLabel *>()) {
            auto *view = qobject_cast<QAbstractItemView *>(l->buddy());
            if (!view || !view->accessibleName().isEmpty())
                continue;
            QString text = l->text();
            text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&')).replace(QLatin1Char('\x01'), QLatin1Char('&'));
            if (text.endsWith(QLatin1Char(':')))
                text.chop(1);
            view->setAccessibleName(text.trimmed());
        }
    }

    // Views are remembered by name; two views of one name in a window share what they keep.
    static QString viewKey(const QAbstractItemView *v) { return QStringLiteral("Columns ") + v->objectName(); }

    void firstShow()
    {
        shown_ = true;
        for (QAbstractItemView *v : views())
            if (!keeperOf(v) && !v->property(kFixedName).toBool())
                setupColumns(v, Columns::Fit);
        nameListsByTheirLabels();
        QList<QTabWidget *> tabs;
        for (QTabWidget *t : window_->findChildren<QTabWidget *>()) {
            if (!ownedBy(t, window_))
                continue;
            t->setUsesScrollButtons(false);
            t->setElideMode(Qt::ElideNone);
            t->updateGeometry(); // the window's layout keeps the tab widget's old hints
            tabs << t;
        }
        // A row of tabs wider than the screen scrolls rather than push the window off it.
        if (!tabs.isEmpty() && window_->layout()) {
            window_->layout()->invalidate();
            if (window_->minimumSizeHint().width() > room().width())
                for (QTabWidget *t : tabs) {
                    t->setUsesScrollButtons(true);
                    t->updateGeometry();
                }
        }
        for (QSplitter *sp : splitters()) {
            splitterDefaults_.insert(sp, sp->saveState());
            connect(sp, &QSplitter::splitterMoved, this, [this, sp] { movedSplitters_.insert(sp); });
        }

        registry::Key k;
        const bool stored = k.open(key(), registry::Access::Read, false);
        QSize size = openingSize();
        if (stored) {
            const QList<int> wh = numbers(k.readString(QStringLiteral("Size")).value_or(QString()));
            if (wh.size() == 2 && wh[0] > 0 && wh[1] > 0)
                size = QSize(wh[0], wh[1]).expandedTo(window_->minimumSizeHint()).boundedTo(room());
        }
        window_->resize(size);
        if (QLayout *l = window_->layout())
            l->activate();
        if (!stored || !k.valueExists(QStringLiteral("Size"))) {
            // Lists that already hold their rows widen the window, as far as the screen
            // allows, so that their columns show whole.
            int missing = 0;
            for (ColumnKeeper *keeper : keepers()) {
                if (keeper->kind() != Columns::Fit)
                    continue;
                keeper->fitNow();
                missing = qMax(missing, keeper->missingWidth());
            }
            if (missing > 0) {
                window_->resize(QSize(qMin(size.width() + missing + 2, room().width()), size.height()));
                if (QLayout *l = window_->layout())
                    l->activate();
            }
        }
        if (stored) {
            for (QSplitter *sp : splitters()) {
                const QList<int> sizes = numbers(k.readString(QStringLiteral("Splitter ") + sp->objectName()).value_or(QString()));
                if (sizes.size() == sp->count()) {
                    sp->setSizes(sizes);
                    movedSplitters_.insert(sp);
                }
            }
            for (QAbstractItemView *v : views())
                if (ColumnKeeper *keeper = keeperOf(v); keeper && !v->objectName().isEmpty())
                    keeper->restore(widthsFromText(k.readString(viewKey(v)).value_or(QString())));
        }
        // A dialog with a parent is centred on it by the dialog itself; a window its opener
        // has placed (a direct report's dialog beside its manager's) stays where it was put.
        if (!window_->parentWidget() && !window_->testAttribute(Qt::WA_Moved)) {
            QWidget *active = QApplication::activeWindow();
            const QRect over = active && active != window_ ? active->frameGeometry() : available();
            QRect r(QPoint(0, 0), window_->frameGeometry().size());
            r.moveCenter(over.center());
            const QRect screen = available();
            r.moveLeft(qBound(screen.left(), r.left(), qMax(screen.left(), screen.right() - r.width())));
            r.moveTop(qBound(screen.top(), r.top(), qMax(screen.top(), screen.bottom() - r.height())));
            window_->move(r.topLeft());
        }
    }

    // Writes what the user changed; values that are back at their defaults are removed, and
    // a window nobody changed leaves no key behind.
    void save()
    {
        QHash<QString, QString> values; // name -> text; an empty text removes the value
        const QSize now = window_->size();
        const bool maximized = window_->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
        values.insert(QStringLiteral("Size"), !maximized && now != openingSize() ? sizeText(now) : QString());
        for (QSplitter *sp : splitters()) {
            if (!movedSplitters_.contains(sp))
                continue;
            QStringList parts;
            for (int s : sp->sizes())
                parts << QString::number(s);
            values.insert(QStringLiteral("Splitter ") + sp->objectName(), parts.join(QLatin1Char(',')));
        }
        for (QAbstractItemView *v : views())
            if (ColumnKeeper *keeper = keeperOf(v); keeper && !v->objectName().isEmpty())
                values.insert(viewKey(v), widthsText(keeper->userWidths()));

        bool anything = false;
        for (const QString &text : values)
            anything = anything || !text.isEmpty();
        registry::Key k;
        if (!anything && !registry::keyExists(key()))
            return;
        if (!k.open(key(), registry::Access::ReadWrite))
            return;
        for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
            if (it.value().isEmpty())
                k.deleteValue(it.key());
            else
                k.writeString(it.key(), it.value());
        }
        k.close();
    }

    QPointer<QWidget> window_;
    const QObject *windowId_ = nullptr;  // for the event filter: compared by address only
    QSize preferred_;
    bool shown_ = false;
    QHash<QSplitter *, QByteArray> splitterDefaults_;
    QSet<QSplitter *> movedSplitters_;
};

} // namespace

void setupColumns(QAbstractItemView *view, Columns kind)
{
    QHeaderView *h = headerOf(view);
    if (!h)
        return;
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (kind == Columns::Fixed) {
        view->setProperty(kFixedName, true);
        if (h->sectionResizeMode(0) == QHeaderView::Interactive)
            h->setSectionResizeMode(QHeaderView::Fixed);
        h->setStretchLastSection(false);
    } else {
        h->setSectionResizeMode(QHeaderView::Interactive);
        h->setStretchLastSection(kind != Columns::Frozen);
        // A fit looks at the rows in view only, so that it stays cheap on long lists.
        h->setResizeContentsPrecision(0);
    }
    if (ColumnKeeper *k = keeperOf(view))
        k->setKind(kind);
    else if (kind != Columns::Fixed)
        (new ColumnKeeper(view, kind))->scheduleFit();
}

void fitColumns(QAbstractItemView *view)
{
    if (ColumnKeeper *k = keeperOf(view))
        k->fitNow();
}

void setupWindow(QWidget *window, QSize preferred)
{
    if (!window || window->findChild<WindowMemory *>(QLatin1String(kMemoryName), Qt::FindDirectChildrenOnly))
        return;
    new WindowMemory(window, preferred);
}

QSize defaultWindowSize(const QWidget *window)
{
    auto *m = window ? window->findChild<WindowMemory *>(QLatin1String(kMemoryName), Qt::FindDirectChildrenOnly) : nullptr;
    return m ? m->openingSize() : QSize();
}

void tabOrder(std::initializer_list<QWidget *> widgets)
{
    QWidget *previous = nullptr;
    for (QWidget *w : widgets) {
        if (previous && w)
            QWidget::setTabOrder(previous, w);
        if (w)
            previous = w;
    }
}

void tabOrderLast(std::initializer_list<QWidget *> widgets)
{
    if (widgets.size() == 0 || !*widgets.begin())
        return;
    QWidget *window = (*widgets.begin())->window();
    QWidget *last = window->previousInFocusChain();
    while (last && last != window && std::find(widgets.begin(), widgets.end(), last) != widgets.end())
        last = last->previousInFocusChain();
    for (QWidget *w : widgets) {
        if (!w || !last)
            continue;
        QWidget::setTabOrder(last, w);
        last = w;
    }
}

QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

bool resetWindowLayouts(QString *error)
{
    if (!forgetWindowLayouts(error))
        return false;
    memories().removeAll(QPointer<WindowMemory>());
    for (const QPointer<WindowMemory> &m : memories())
        m->reset();
    return true;
}

} // namespace ui
