#include "reports/unReportsStore.h"

#include "bulk/exportengine.h"
#include "bulk/unExportFormat.h"
#include "core/unConnection.h"
#include "main/unGridOutput.h"
#include "query/filtercompose.h"
#include "platform/adsi/adsconnection.h"
#include "options/unModifyColumns.h"
#include "options/unOptions.h"
#include "reports/unDaysNumber.h"
#include "reports/unDynamicgroupSelect.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace reports {

// --- the grid model ----------------------------------------------------------------------

void ReportGridModel::setColumns(const QList<ReportColumn> &columns, bool groupReport)
{
    beginResetModel();
    columns_ = columns;
    groupTypeColumn_ = -1;
    keySlot_.assign(size_t(columns_.size()), -1);
    keyCount_ = 0;
    for (int i = 0; i < columns_.size(); ++i) {
        if (groupReport && columns_[i].ldapName.compare(QLatin1String("groupType"), Qt::CaseInsensitive) == 0)
            groupTypeColumn_ = i;
        if (columns_[i].date || columns_[i].number)
            keySlot_[size_t(i)] = keyCount_++;
    }
    texts_.clear();
    ends_.clear();
    keys_.clear();
    order_.clear();
    endResetModel();
}

void ReportGridModel::clear()
{
    beginResetModel();
    texts_.clear();
    ends_.clear();
    keys_.clear();
    order_.clear();
    endResetModel();
}

void ReportGridModel::append(const QVariantList &values)
{
    QString text;
    text.reserve(lastRowSize_ + 32);
    for (int i = 0; i < columns_.size(); ++i) {
        const QVariant v = values.value(i);
        text += cellText(v, i == groupTypeColumn_);
        ends_.push_back(std::uint32_t(text.size()));
        if (columns_[i].date)
            keys_.push_back(cellDate(v));
        else if (columns_[i].number)
            keys_.push_back(v.isValid() ? v.toDouble() : -1e300);
    }
    lastRowSize_ = text.size();
    if (text.capacity() > text.size() + 64)
        text.squeeze();
    texts_.push_back(std::move(text));
}

void ReportGridModel::flush()
{
    const int shown = int(order_.size());
    const int held = int(texts_.size());
    if (held == shown)
        return;
    beginInsertRows({}, shown, held - 1);
    for (int r = shown; r < held; ++r)
        order_.push_back(r);
    endInsertRows();
}

QStringView ReportGridModel::cell(int record, int column) const
{
    const size_t at = size_t(record) * size_t(columns_.size()) + size_t(column);
    const std::uint32_t from = column == 0 ? 0 : ends_[at - 1];
    return QStringView(texts_[size_t(record)]).mid(from, ends_[at] - from);
}

int ReportGridModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(order_.size()); }

int ReportGridModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(columns_.size()); }

QVariant ReportGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(order_.size()) || index.column() >= columns_.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cell(order_[size_t(index.row())], index.column()).toString();
    return {};
}

QVariant ReportGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section < columns_.size() ? columns_[section].caption : QVariant();
    return QString::number(section + 1);
}

void ReportGridModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columns_.size())
        return;
    emit layoutAboutToBeChanged();
    const int slot = keySlot_[size_t(column)];
    const size_t keys = size_t(keyCount_);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
        int cmp;
        if (slot >= 0) {
            const double x = keys_[size_t(a) * keys + size_t(slot)], y = keys_[size_t(b) * keys + size_t(slot)];
            cmp = x < y ? -1 : (x > y ? 1 : 0);
        } else {
            cmp = cell(a, column).compare(cell(b, column), Qt::CaseInsensitive);
        }
        return order == Qt::AscendingOrder ? cmp < 0 : cmp > 0;
    });
    emit layoutChanged();
}

// --- the window --------------------------------------------------------------------------


TfrmReportsStore::TfrmReportsStore(int reportNumber, const DomainSettings &domain, QWidget *parent)
    : QDialog(parent), domain_(domain)
{
    if (const ReportInfo *r = reportByNumber(reportNumber))
        report_ = *r;
    setObjectName(QStringLiteral("TfrmReportsStore"));
    setWindowTitle(QStringLiteral(" Report - ") + report_.title);
    base_ = ConnectionContext().DomainPath;
    buildWindow();
}

static QToolButton *makeButton(QToolBar *bar, const char *name, const QString &text, const QString &hint)
{
    auto *b = new QToolButton(bar);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    if (!hint.isEmpty())
        ui::setHint(b, hint);
    bar->addWidget(b);
    return b;
}

void TfrmReportsStore::buildWindow()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    tbSaveAs = makeButton(bar, "tbSaveAs", QStringLiteral("Save As.."), QStringLiteral("Fast Save Result as.."));
    tbExport = makeButton(bar, "tbExport", QStringLiteral("Export"), QStringLiteral("Export to..."));
    bar->addSeparator();
    tbColumns = makeButton(bar, "tbColumns", QStringLiteral("Columns"), QStringLiteral("Columns"));
    tbOptions = makeButton(bar, "tbOptions", QStringLiteral("Options"), QString());
    bar->addSeparator();
    auto *lbFirst = new QLabel(QStringLiteral("Get only the first"), bar);
    bar->addWidget(lbFirst);
    ebHowMany = new QSpinBox(bar);
    ebHowMany->setObjectName(QStringLiteral("ebHowMany"));
    lbFirst->setBuddy(ebHowMany);
    ebHowMany->setRange(0, 2000);
    ebHowMany->installEventFilter(this);
    bar->addWidget(ebHowMany);
    bar->addWidget(new QLabel(QStringLiteral("   items   "), bar));
    tbExecute = makeButton(bar, "tbExecute", QStringLiteral("Execute Report"), QStringLiteral("Execute Report"));
    tbStop = makeButton(bar, "tbStop", QStringLiteral("Stop"), QString());
    layout->addWidget(bar);

    model_ = new ReportGridModel(this);
    sgReport = new QTableView(this);
    sgReport->setObjectName(QStringLiteral("sgReport"));
    sgReport->setAccessibleName(report_.title);
    sgReport->setModel(model_);
    sgReport->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgReport->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgReport->setWordWrap(false);
    sgReport->horizontalHeader()->setDefaultSectionSize(80);
    // The 80 pixels stay each column's default; every divider can be dragged or fitted.
    ui::setupColumns(sgReport, ui::Columns::Given);
    sgReport->verticalHeader()->setDefaultSectionSize(sgReport->fontMetrics().height() + 4);
    sgReport->horizontalHeader()->setSortIndicatorShown(true);
    sgReport->setSortingEnabled(false);
    connect(sgReport->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (running_)
            return;
        QHeaderView *h = sgReport->horizontalHeader();
        const Qt::SortOrder order = h->sortIndicatorSection() == column && h->sortIndicatorOrder() == Qt::AscendingOrder
                                        ? Qt::DescendingOrder
                                        : Qt::AscendingOrder;
        h->setSortIndicator(column, order);
        model_->sort(column, order);
    });
    layout->addWidget(sgReport, 1);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        status_[i] = new QLabel(status);
        status_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        status->addWidget(status_[i], i == 1 ? 1 : 0);
    }
    layout->addWidget(status);

    connect(tbExecute, &QToolButton::clicked, this, &TfrmReportsStore::tbExecuteClick);
    connect(tbStop, &QToolButton::clicked, this, &TfrmReportsStore::tbStopClick);
    connect(tbColumns, &QToolButton::clicked, this, &TfrmReportsStore::tbColumnsClick);
    connect(tbOptions, &QToolButton::clicked, this, &TfrmReportsStore::tbOptionsClick);
    connect(tbSaveAs, &QToolButton::clicked, this, &TfrmReportsStore::tbSaveAsClick);
    connect(tbExport, &QToolButton::clicked, this, &TfrmReportsStore::tbExportClick);

    setStatus(0, QStringLiteral("Report is NOT yet Executed."));
    setStatus(1, statusText(report_, QString(), QString()));
    tbStop->setEnabled(false);
    tbSaveAs->setEnabled(false);
    tbExport->setEnabled(false);
    tbOptions->setEnabled(report_.parameter == ParameterKind::Days || report_.parameter == ParameterKind::Group);
    ui::setupWindow(this, QSize(760, 480));
    options::ApplyWindowFont(this);
}

bool TfrmReportsStore::prepare()
{
    columns_ = columnSet(report_.kind, domain_);
    hidden_ = initialHidden(report_, columns_, domain_);
    bool runnable = true;
    switch (report_.parameter) {
    case ParameterKind::Days:
        askDays();
        break;
    case ParameterKind::Group:
        // A group report without its group would have no condition: it does not run.
        askGroup(true);
        runnable = !condition_.isEmpty();
        break;
    case ParameterKind::DynamicGroup:
        askDynamicGroup();
        break;
    case ParameterKind::None:
        break;
    }
    rebuildFilter();
    buildGrid();
    return runnable;
}

void TfrmReportsStore::buildGrid()
{
    model_->setColumns(columns_, report_.kind == ReportKind::Group);
    applyHidden();
}

void TfrmReportsStore::applyHidden()
{
    for (int i = 0; i < columns_.size(); ++i)
        sgReport->setColumnHidden(i, hidden_.contains(columns_[i].key));
}

bool TfrmReportsStore::askDays()
{
    TfrmDaysNumber dlg(report_, domain_, daysText_, this);
    const bool ok = dlg.exec() == QDialog::Accepted;
    if (ok || daysText_.isEmpty())
        daysText_ = dlg.daysText();  // the first run takes the checked number even without OK
    if (ok || condition_.isEmpty())
        condition_ = daysCondition(report_, normaliseDays(daysText_, daysCheckStep(report_, domain_)), domain_,
                                   localNow());
    return ok;
}

bool TfrmReportsStore::askGroup(bool opening)
{
    QList<GroupChoice> groups;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        groups = loadGroups();
        QApplication::restoreOverrideCursor();
    } catch (const Exception &e) {
        QApplication::restoreOverrideCursor();
        ui::Prompt::error(this,
                          opening ? QStringLiteral("The groups of the domain could not be read, so \"%1\" does not "
                                                   "run:\r\n%2")
                                        .arg(report_.title, e.Message())
                                  : e.Message(),
                          windowTitle());
        return false;
    }
    TfrmDaysNumber dlg(report_, groups, groupName_, this);
    const bool ok = dlg.exec() == QDialog::Accepted;
    if (const GroupChoice *g = dlg.group(); g && (ok || groupName_.isEmpty())) {
        group_ = *g;
        groupName_ = g->name;
        condition_ = groupCondition(report_.number, g->dn, g->token);
    }
    if (opening && condition_.isEmpty())
        ui::Prompt::warning(this,
                            QStringLiteral("\"%1\" lists the users of one group, and no group was chosen, so the "
                                           "report does not run.")
                                .arg(report_.title),
                            windowTitle());
    return ok;
}

void TfrmReportsStore::askDynamicGroup()
{
    QList<DynamicGroupChoice> groups;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        groups = loadDynamicGroups();
        QApplication::restoreOverrideCursor();
    } catch (const Exception &e) {
        QApplication::restoreOverrideCursor();
        ui::Prompt::error(this, e.Message(), windowTitle());
    }
    TfrmDynamicgroupSelect dlg(groups, this);
    const DynamicGroupChoice *g = dlg.exec() == QDialog::Accepted ? dlg.chosen() : nullptr;
    if (!g) {
        columns_.clear();  // opens without columns
        hidden_.clear();
        return;
    }
    groupName_ = g->name;
    bool baseRead = true;
    readDynamicGroup(g->dn, &condition_, &base_, &baseRead);
    if (!baseRead)
        note_ = QStringLiteral("The search base of \"%1\" could not be read: the whole domain is searched.").arg(groupName_);
    setStatus(2, note_);
}

void TfrmReportsStore::rebuildFilter()
{
    filter_ = columns_.isEmpty() ? QString() : reportFilter(report_, condition_, domain_, localNow());
    setStatus(1, statusText(report_, daysText_, groupName_));
}

void TfrmReportsStore::setStatus(int i, const QString &text) { status_[i]->setText(text); }

QString TfrmReportsStore::statusPanel(int i) const { return status_[i]->text(); }

QList<ReportColumn> TfrmReportsStore::visibleColumns() const
{
    QList<ReportColumn> out;
    QHeaderView *h = sgReport->horizontalHeader();
    for (int visual = 0; visual < h->count(); ++visual) {
        const int logical = h->logicalIndex(visual);
        if (logical >= 0 && logical < columns_.size() && !h->isSectionHidden(logical))
            out << columns_[logical];
    }
    return out;
}

void TfrmReportsStore::setRunning(bool on)
{
    running_ = on;
    const bool rows = model_->rowCount() > 0;
    tbExecute->setEnabled(!on);
    tbOptions->setEnabled(!on && (report_.parameter == ParameterKind::Days || report_.parameter == ParameterKind::Group));
    tbColumns->setEnabled(!on);
    tbExport->setEnabled(!on && rows);
    tbSaveAs->setEnabled(!on && rows);
    ebHowMany->setEnabled(!on);
    sgReport->setEnabled(!on);
    tbStop->setEnabled(on);
    setStatus(2, on ? QStringLiteral("...") : note_);
}

void TfrmReportsStore::tbExecuteClick()
{
    if (running_)
        return;
    stop_ = false;
    model_->clear();
    sgReport->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setRunning(true);
    setStatus(0, QStringLiteral("Executing Report..."));
    int count = 0;
    try {
        if (columns_.isEmpty() || filter_.isEmpty())
            throw EADSISearchException(QStringLiteral("The report has no filter to run."));
        ReportQuery q = makeQuery(report_, filter_, columns_, ebHowMany->value(), base_);
        // Which candidates the computed control kept is known only here; Export needs their
        // names to write the same users.
        keptDns_.clear();
        const int dnSlot = int(q.attributes.size());
        if (q.computedBit)
            q.attributes << QStringLiteral("distinguishedName");
        QElapsedTimer sinceEvents, sinceFlush;
        sinceEvents.start();
        sinceFlush.start();
        // While a page is on its way the window keeps running and Stop abandons the wait.
        ads::WaitHookScope waiting([this] {
            QCoreApplication::processEvents();
            return !stop_;
        });
        // The first rows show at once; later ones once a second, since each showing repaints
        // the grid, which costs as much as thousands of rows.
        int flushEvery = 200;
        runReport(q, [&](const QVariantList &row) {
            model_->append(row);
            if (q.computedBit)
                keptDns_ << row.value(dnSlot).toString();
            ++count;
            // Handling input costs more than a row: input every 15 ms keeps the window
            // responsive and Stop usable.
            if (sinceEvents.elapsed() >= 15) {
                if (sinceFlush.elapsed() >= flushEvery) {
                    model_->flush();
                    setStatus(0, QStringLiteral("   %1").arg(count));
                    sinceFlush.restart();
                    flushEvery = 1000;
                }
                QCoreApplication::processEvents();
                sinceEvents.restart();
            }
            return !stop_;
        });
    } catch (const Exception &e) {
        model_->flush();
        setRunning(false);
        setStatus(0, QStringLiteral("  %1 items finded.").arg(model_->rowCount()));
        executed_ = true;
        if (!stop_)  // Stop while waiting for a page abandons the request; that is no error
            ui::Prompt::error(this, e.Message(), windowTitle());
        return;
    }
    model_->flush();
    executed_ = true;
    setRunning(false);
    setStatus(0, QStringLiteral("  %1 items finded.").arg(model_->rowCount()));
}

void TfrmReportsStore::tbStopClick() { stop_ = true; }

void TfrmReportsStore::tbColumnsClick()
{
    if (running_)
        return;
    options::TOurColumnArray tags;
    for (const ReportColumn &c : columns_)
        tags << c.key;
    QSet<int> hidden = hidden_;
    const QList<ReportColumn> cols = columns_;
    const bool changed = options::selectVisibleColumns(this, tags, hidden, [cols](int tag) {
        for (const ReportColumn &c : cols)
            if (c.key == tag)
                return c.caption;
        return QString();
    });
    if (changed) {
        hidden_ = hidden;
        applyHidden();
    }
}

void TfrmReportsStore::tbOptionsClick()
{
    if (running_)
        return;
    bool ok = false;
    if (report_.parameter == ParameterKind::Days)
        ok = askDays();
    else if (report_.parameter == ParameterKind::Group)
        ok = askGroup();
    if (!ok)
        return;
    rebuildFilter();
    tbExecuteClick();
}

void TfrmReportsStore::tbSaveAsClick()
{
    if (running_ || model_->rowCount() == 0)
        return;
    const QStringList filters{QStringLiteral("Text file (*.txt)"), QStringLiteral("Unicode text file (*.txt)"),
                              QStringLiteral("Web page (*.htm)")};
    QString chosen;
    QString file = ui::Prompt::saveFileName(this, QStringLiteral("Save Report..."), statusPanel(1),
                                            filters.join(QStringLiteral(";;")), &chosen);
    if (file.isEmpty())
        return;  // cancelled
    if (QFileInfo(file).fileName().trimmed().isEmpty()) {
        ui::Prompt::warning(this, QStringLiteral("Please, specify the file name."), windowTitle());
        return;
    }
    const int index = std::max<int>(0, int(filters.indexOf(chosen)));
    if (QFileInfo(file).suffix().isEmpty())
        file += index == 2 ? QStringLiteral(".htm") : QStringLiteral(".txt");
    // The grid's own outputs: comma-separated text (8-bit or UTF-16) or a web page, of the
    // visible columns in the rows' current order.
    setEnabled(false);
    const gridoutput::WriteResult r = index == 2 ? gridoutput::WriteGridHtml(*sgReport, file, true)
                                                 : gridoutput::WriteGridText(*sgReport, file, QLatin1Char(','), true,
                                                                             index == 1);
    setEnabled(true);
    if (!r.ok && !r.cancelled)
        ui::Prompt::error(this, r.error, windowTitle());
}

void TfrmReportsStore::tbExportClick()
{
    if (running_ || model_->rowCount() == 0)
        return;
    TfrmExportFormat dlg(this);
    dlg.setRequest(exportRequest());
    dlg.exec();
}

bulk::ExportRequest TfrmReportsStore::exportRequest() const
{
    QList<qint32> keys;
    for (const ReportColumn &c : visibleColumns())
        keys << c.key;
    bulk::ExportRequest request;
    request.columns = bulk::columnsFromKeys(keys, report_.kind == ReportKind::Group ? GroupTable : UserTable);
    request.filter = filter_;
    if (report_.computedBit) {
        // The server cannot evaluate the computed control: the export asks for exactly the
        // users the run kept.
        QStringList names;
        for (const QString &dn : keptDns_)
            names << query::equals(QStringLiteral("distinguishedName"), dn);
        request.filter = query::andOf({filter_, query::orOf(names)});
    }
    request.base = base_;
    request.scope = 2;
    request.sourceText = QLatin1Char(' ') + statusPanel(1);
    return request;
}

void TfrmReportsStore::closeEvent(QCloseEvent *event)
{
    if (running_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmReportsStore::reject()
{
    // The window refuses to close during a run.
    if (!running_)
        QDialog::reject();
}

bool TfrmReportsStore::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ebHowMany && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab) {
            sgReport->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace reports
