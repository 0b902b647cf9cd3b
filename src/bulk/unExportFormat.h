#pragma once
// The export window: format, destination and options, then the export engine's run with
// progress and Stop.
//
// Library target: arv_bulk_exportform (headers "bulk/unExportFormat.h").
//   TfrmExportFormat dlg(parent);
//   dlg.setRequest(request);                  // columns, filter, base, scope, source text
//   dlg.exec();
#include "bulk/exportengine.h"

#include <QColor>
#include <QDialog>
#include <QList>
#include <QPair>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class QWidget;

class TfrmExportFormat : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExportFormat(QWidget *parent = nullptr);
    ~TfrmExportFormat() override;

    // Sets what is exported; fills the sort list and allows closing.
    void setRequest(const bulk::ExportRequest &request);
    // Resets every option to its default (done each time the window is shown).
    void resetOptions();
    // The options as the controls hold them.
    bulk::ExportOptions options() const;
    bool exporting() const { return m_running; }
    // The colour dialog of the colour samples (QColorDialog by default); false on Cancel.
    void setColourPicker(std::function<bool(QWidget *, QColor &)> picker) { m_colourPicker = std::move(picker); }
    const bulk::HtmlColours &htmlColours() const { return m_colours; }
    // The result of the last export (tests, callers).
    const bulk::ExportResult &lastResult() const { return m_last; }

public slots:
    void bStartClick();
    void rgExportTypeClick();

signals:
    // The existing tables of the entered file have been listed (tests wait for it).
    void tablesChecked();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void reject() override;

private:
    void updateState();
    void refreshTables();
    void chooseFile();
    void edFileNameChange();
    void tablesListed(quint64 generation, bool ok, const QStringList &tables, const QString &error);
    void ebEcxelTableNameChange();
    int exportType() const;

    bulk::ExportRequest m_request;
    bulk::ExportResult m_last;
    bool m_running = false;
    bool m_stop = false;
    bool m_hasRequest = false;
    bool m_tableDone = false;
    QStringList m_tables;
    quint64 m_tablesGeneration = 0;

    QButtonGroup *rgExportType = nullptr;
    QLineEdit *edFileName = nullptr;
    QPushButton *btSelect = nullptr;
    QCheckBox *cbUseUNICODE = nullptr;
    QTabWidget *pcOptions = nullptr;
    QWidget *tsOptions = nullptr, *tsFormats = nullptr, *tsSQL = nullptr, *tsCSV = nullptr, *tsXML = nullptr,
            *tsHTML = nullptr, *tsExcel = nullptr;
    QLineEdit *edSkipRecCount = nullptr, *edExportRecCount = nullptr, *ebBatchSize = nullptr;
    QRadioButton *rbExportAllRecords = nullptr, *rbExportOnly = nullptr;
    QCheckBox *cbIncludeDN = nullptr, *cbfReverseorder = nullptr;
    QComboBox *cbSortList = nullptr;
    QLineEdit *edDateTimeFormat = nullptr, *edFloatFormat = nullptr, *edCurrencyFormat = nullptr,
              *edBooleanTrue = nullptr, *edBooleanFalse = nullptr, *edNullString = nullptr, *edSQLNullString = nullptr;
    QLineEdit *edSQLCommitRecCount = nullptr, *edSQLCommitStatement = nullptr, *edSQLStatementTerm = nullptr,
              *edSQLTableName = nullptr;
    QCheckBox *chSQLCommitAfterScript = nullptr, *chSQLCreateTable = nullptr;
    QLineEdit *edCSVComma = nullptr, *edCSVQuote = nullptr, *ebMultyValue = nullptr;
    QCheckBox *chCSVQuoteStrings = nullptr;
    QLineEdit *edXMLEncoding = nullptr;
    QLineEdit *ebHTMLEncoding = nullptr;  // the same value as edXMLEncoding, on the HTML tab
    QCheckBox *chXMLStandalone = nullptr;
    QButtonGroup *rgExpXMLAs = nullptr;
    QComboBox *cbxHTMLTemplate = nullptr, *cbxHTMLFontName = nullptr;
    QLineEdit *edHTMLTitle = nullptr, *edHTMLBackground = nullptr, *edHTMLCellPadding = nullptr,
              *edHTMLCellSpacing = nullptr, *edHTMLBorderWidth = nullptr;
    QLineEdit *ebEcxelTableName = nullptr;
    QListWidget *lbTableNames = nullptr;
    QPushButton *bStart = nullptr, *bCancel = nullptr;
    QProgressBar *ProgressBar = nullptr;
    QStatusBar *StatusBar = nullptr;
    QLabel *stSource = nullptr, *stExported = nullptr;
    void showColours();
    bulk::HtmlColours m_colours;
    std::function<bool(QWidget *, QColor &)> m_colourPicker;
    QList<QPair<QPushButton *, quint32 bulk::HtmlColours::*>> m_colourSamples;
};
