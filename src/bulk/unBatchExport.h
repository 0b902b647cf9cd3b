#pragma once
// The batch export window (TfrmBatchExport, " Batch Export"): a container, an optional filter
// and the columns; a sample of the first 50 matching users; Export hands the request to the
// export window. bulk::wireExport connects it to the main window's actBulkExport.
//
// Library target: arv_bulk_batch (headers "bulk/unBatchExport.h").
#include "bulk/exportengine.h"
#include "bulk/unColumnSets.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QStatusBar;
class QTableWidget;
class TfrmMain;

class TfrmBatchExport : public QDialog {
    Q_OBJECT
public:
    explicit TfrmBatchExport(QWidget *parent = nullptr);

    // What the main window passes: its filter fragment with the builder flag, and the
    // container (ADsPath, display path, whether it has a parent; an empty path: none).
    void setFilter(const QString &filter, bool fromBuilder);
    void setContainer(const QString &adsPath, const QString &displayPath, bool hasParent);

    // The filter builder (query::BuildFilter by default); returns false on Cancel.
    using FilterBuilder = std::function<bool(QWidget *, QString &filter, bool &fromBuilder)>;
    void setFilterBuilder(FilterBuilder builder) { m_builder = std::move(builder); }
    // The column chooser (TfrmExportColumn by default): gets the columns and the status line,
    // returns false on Cancel.
    using ColumnChooser = std::function<bool(QWidget *, QList<bulk::ExportColumnItem> &columns, QString &status)>;
    void setColumnChooser(ColumnChooser chooser) { m_chooser = std::move(chooser); }
    // The export window (TfrmExportFormat by default).
    using ExportWindow = std::function<void(QWidget *, const bulk::ExportRequest &)>;
    void setExportWindow(ExportWindow w) { m_exportWindow = std::move(w); }

    QList<bulk::ExportColumnItem> columnList() const { return m_columns; }
    QString filter() const { return m_filter; }
    // The request Export would hand over.
    bulk::ExportRequest request() const;

    void btRestrictionsClick();
    void btColumsClick();
    void btExportClick();
    // Runs the sample search again.
    void buildSample();

    // The 17 columns the first "Columns..." starts with.
    static QList<bulk::ExportColumnItem> defaultColumns();

private:
    void buildGridColumns();
    void setFilterMarker();

    QString m_filter;
    bool m_fromBuilder = false;
    QString m_path, m_display;
    bool m_hasParent = true;
    QList<bulk::ExportColumnItem> m_columns;
    QString m_setStatus;
    QString m_lastFilter, m_lastBase;
    int m_lastScope = 2;
    FilterBuilder m_builder;
    ColumnChooser m_chooser;
    ExportWindow m_exportWindow;

    QLabel *lbContainerForExport = nullptr;
    QPushButton *btRestrictions = nullptr, *btColums = nullptr, *btExport = nullptr, *btClose = nullptr;
    QTableWidget *NextGrid = nullptr;
    QStatusBar *StatusBar = nullptr;
    QLabel *stPanels[3] = {nullptr, nullptr, nullptr};
};

namespace bulk {
// actBulkExport of the main window opens TfrmBatchExport with its filter and tree node.
void wireExport(TfrmMain &main);
}  // namespace bulk
