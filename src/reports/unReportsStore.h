#pragma once
// The result window of a report (TfrmReportsStore): the grid of result rows, its tool bar
// (Save As.., Export, Columns, Options, "Get only the first", Execute Report, Stop) and the
// three status panels.
#include "bulk/exportengine.h"
#include "reports/unReportCatalogue.h"
#include "reports/unReportRun.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QSet>

#include <cstdint>
#include <functional>
#include <vector>

class QLabel;
class QSpinBox;
class QTableView;
class QToolButton;

namespace reports {

// The grid's rows: the shown texts, and for date columns the date as sort key.
class ReportGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ReportGridModel(QObject *parent = nullptr) : QAbstractTableModel(parent) {}

    void setColumns(const QList<ReportColumn> &columns, bool groupReport);
    const QList<ReportColumn> &columns() const { return columns_; }
    void clear();
    // Adds a row of values (one per column); it shows after flush().
    void append(const QVariantList &values);
    void flush();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    QString text(int row, int column) const { return cell(order_[size_t(row)], column).toString(); }

private:
    // One text per row with every cell in it, the cells' ends, and the sort keys of the date
    // and number columns: a row of 100,000 costs a few hundred bytes and one allocation.
    QStringView cell(int record, int column) const;
    QList<ReportColumn> columns_;
    int groupTypeColumn_ = -1;
    std::vector<int> keySlot_;          // per column: its place among the keys, -1 for text
    int keyCount_ = 0;
    std::vector<QString> texts_;        // per record
    std::vector<std::uint32_t> ends_;   // per record and column
    std::vector<double> keys_;          // per record and key column; -1 for no date
    std::vector<int> order_;            // the shown rows' records, in grid order
    qsizetype lastRowSize_ = 0;
};

class TfrmReportsStore : public QDialog {
    Q_OBJECT
public:
    TfrmReportsStore(int reportNumber, const DomainSettings &domain, QWidget *parent = nullptr);

    // Opening: asks the report's parameter (days, group or query-based group) and builds the
    // filter and the grid. Call once before the window is shown. False when the report cannot
    // run: a group report whose group list could not be read or that got no group (the user
    // has been told why); the window is not to be shown then.
    bool prepare();

    // --- tool bar handlers (public so that tests drive them as the buttons do) ---
    void tbExecuteClick();
    void tbStopClick();
    void tbColumnsClick();
    void tbOptionsClick();
    void tbSaveAsClick();
    void tbExportClick();

    // --- state ---
    const ReportInfo &report() const { return report_; }
    QString filter() const { return filter_; }
    QString searchBase() const { return base_; }
    // What Export hands the export window: the visible columns, the run's filter and base.
    bulk::ExportRequest exportRequest() const;
    QSet<int> hiddenColumns() const { return hidden_; }
    bool running() const { return running_; }
    QString statusPanel(int i) const;
    ReportGridModel *model() const { return model_; }
    QTableView *grid() const { return sgReport; }
    // The catalogue entries (keys) of the visible columns in grid order.
    QList<ReportColumn> visibleColumns() const;


protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void buildGrid();
    void applyHidden();
    bool askDays();
    bool askGroup(bool opening = false);
    void askDynamicGroup();
    void rebuildFilter();
    void setRunning(bool on);
    void setStatus(int i, const QString &text);

    ReportInfo report_;
    DomainSettings domain_;
    QList<ReportColumn> columns_;
    QSet<int> hidden_;
    QString condition_;
    QString filter_;
    QString base_;
    QString daysText_;
    QString groupName_;
    QString note_;  // the third status panel between runs: why the search base is the domain
    GroupChoice group_;
    QStringList keptDns_;  // reports checked by the computed control: the users kept
    bool running_ = false;
    bool stop_ = false;
    bool executed_ = false;

    ReportGridModel *model_ = nullptr;
    QTableView *sgReport = nullptr;
    QToolButton *tbSaveAs = nullptr, *tbExport = nullptr, *tbColumns = nullptr, *tbOptions = nullptr,
                *tbExecute = nullptr, *tbStop = nullptr;
    QSpinBox *ebHowMany = nullptr;
    QLabel *status_[3] = {nullptr, nullptr, nullptr};
};

} // namespace reports
