#include "bulk/unExportFormat.h"

#include "core/unValuesText.h"
#include "ui/prompt.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QThreadPool>
#include <QVBoxLayout>

namespace {

struct TypeInfo {
    const char *caption;
    const char *extension;
    const char *filter;
};
// Types 4 and 5 say what is really written: an .xlsx workbook and a SQLite database.
constexpr TypeInfo kTypes[] = {
    {"CSV File", "csv", "CSV files (*.csv)"},
    {"SQL Script", "sql", "SQL files (*.sql)"},
    {"XML File", "xml", "XML files (*.xml)"},
    {"HTML File", "htm", "HTML files (*.htm)"},
    {"Excel Workbook (.xlsx)", "xlsx", "XLSX files (*.xlsx)"},
    {"SQLite Database", "sqlite", "SQLite files (*.sqlite)"},
};

QLineEdit *edit(QWidget *parent, const char *name, bool digits = false)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    if (digits)
        e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
    return e;
}

QCheckBox *check(QWidget *parent, const char *name, const QString &text)
{
    auto *c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

int number(const QLineEdit *e)
{
    bool ok = false;
    const int v = e->text().toInt(&ok);
    return ok ? v : 0;
}

}  // namespace

TfrmExportFormat::TfrmExportFormat(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExportFormat"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("Export.."));
    auto *top = new QVBoxLayout(this);

    auto *box = new QGroupBox(QStringLiteral("  Export to  "), this);
    box->setObjectName(QStringLiteral("rgExportType"));
    auto *grid = new QGridLayout(box);
    rgExportType = new QButtonGroup(this);
    for (int i = 0; i < 6; ++i) {
        auto *rb = new QRadioButton(QString::fromLatin1(kTypes[i].caption), box);
        rb->setObjectName(QStringLiteral("rgExportType_%1").arg(i));
        rgExportType->addButton(rb, i);
        grid->addWidget(rb, i / 3, i % 3);
    }
    top->addWidget(box);

    auto *fileRow = new QHBoxLayout;
    edFileName = edit(this, "edFileName");
    fileRow->addWidget(ui::buddyLabel(QStringLiteral("Destination file"), edFileName, this));
    fileRow->addWidget(edFileName, 1);
    btSelect = new QPushButton(QStringLiteral("Select..."), this);
    btSelect->setObjectName(QStringLiteral("btSelect"));
    fileRow->addWidget(btSelect);
    top->addLayout(fileRow);
    cbUseUNICODE = check(this, "cbUseUNICODE", QStringLiteral("Save as UNICODE"));
    top->addWidget(cbUseUNICODE);

    pcOptions = new QTabWidget(this);
    pcOptions->setObjectName(QStringLiteral("pcOptions"));
    top->addWidget(pcOptions, 1);

    tsOptions = new QWidget(this);
    tsOptions->hide();
    tsOptions->setObjectName(QStringLiteral("tsOptions"));
    {
        auto *f = new QFormLayout(tsOptions);
        edSkipRecCount = edit(tsOptions, "edSkipRecCount", true);
        auto *skip = new QHBoxLayout;
        skip->addWidget(edSkipRecCount);
        skip->addWidget(new QLabel(QStringLiteral("record(s)"), tsOptions));
        f->addRow(ui::buddyLabel(QStringLiteral("Skip:"), edSkipRecCount, tsOptions), skip);
        rbExportAllRecords = new QRadioButton(QStringLiteral("Export all records"), tsOptions);
        rbExportAllRecords->setObjectName(QStringLiteral("rbExportAllRecords"));
        rbExportOnly = new QRadioButton(QStringLiteral("Export only"), tsOptions);
        rbExportOnly->setObjectName(QStringLiteral("rbExportOnly"));
        edExportRecCount = edit(tsOptions, "edExportRecCount", true);
        // The radio button before it is its caption.
        edExportRecCount->setAccessibleName(QStringLiteral("Export only (records)"));
        f->addRow(rbExportAllRecords);
        auto *only = new QHBoxLayout;
        only->addWidget(rbExportOnly);
        only->addWidget(edExportRecCount);
        f->addRow(only);
        ebBatchSize = edit(tsOptions, "ebBatchSize", true);
        f->addRow(QStringLiteral("Batch Size:"), ebBatchSize);
        cbIncludeDN = check(tsOptions, "cbIncludeDN", QStringLiteral("Add \"Distinguished Name\" as first column "));
        f->addRow(cbIncludeDN);
        cbSortList = new QComboBox(tsOptions);
        cbSortList->setObjectName(QStringLiteral("cbSortList"));
        f->addRow(QStringLiteral(" Sort by "), cbSortList);
        cbfReverseorder = check(tsOptions, "cbfReverseorder", QStringLiteral("Reverse Order"));
        f->addRow(cbfReverseorder);
        connect(ebBatchSize, &QLineEdit::editingFinished, this, [this] {
            const int v = number(ebBatchSize);
            if (v >= 1000)
                ebBatchSize->setText(QStringLiteral("1000"));
            else if (v <= 10)
                ebBatchSize->setText(QStringLiteral("10"));
        });
        connect(edExportRecCount, &QLineEdit::textChanged, this, [this] {
            if (number(edExportRecCount) > 0)
                rbExportOnly->setChecked(true);
        });
    }
    tsFormats = new QWidget(this);
    tsFormats->hide();
    tsFormats->setObjectName(QStringLiteral("tsFormats"));
    {
        auto *f = new QFormLayout(tsFormats);
        edDateTimeFormat = edit(tsFormats, "edDateTimeFormat");
        f->addRow(QStringLiteral("DateTime Format"), edDateTimeFormat);
        edFloatFormat = edit(tsFormats, "edFloatFormat");
        edCurrencyFormat = edit(tsFormats, "edCurrencyFormat");
        f->addRow(QStringLiteral("Float Format"), edFloatFormat);
        f->addRow(QStringLiteral("Currency Format"), edCurrencyFormat);
        edBooleanTrue = edit(tsFormats, "edBooleanTrue");
        edBooleanFalse = edit(tsFormats, "edBooleanFalse");
        f->addRow(QStringLiteral("Boolean True"), edBooleanTrue);
        f->addRow(QStringLiteral("Boolean False"), edBooleanFalse);
        edNullString = edit(tsFormats, "edNullString");
        f->addRow(QStringLiteral("Null string"), edNullString);
        connect(edDateTimeFormat, &QLineEdit::editingFinished, this, [this] {
            if (edDateTimeFormat->text().isEmpty())
                edDateTimeFormat->setText(bulk::defaultDateTimeFormat());
        });
    }
    tsSQL = new QWidget(this);
    tsSQL->hide();
    tsSQL->setObjectName(QStringLiteral("tsSQL"));
    {
        auto *f = new QFormLayout(tsSQL);
        edSQLCommitRecCount = edit(tsSQL, "edSQLCommitRecCount", true);
        f->addRow(QStringLiteral("Commit after"), edSQLCommitRecCount);
        edSQLCommitStatement = edit(tsSQL, "edSQLCommitStatement");
        f->addRow(QStringLiteral("Commit statement"), edSQLCommitStatement);
        chSQLCommitAfterScript = check(tsSQL, "chSQLCommitAfterScript", QStringLiteral("Commit after script"));
        f->addRow(chSQLCommitAfterScript);
        edSQLStatementTerm = edit(tsSQL, "edSQLStatementTerm");
        f->addRow(QStringLiteral("Statement term"), edSQLStatementTerm);
        edSQLTableName = edit(tsSQL, "edSQLTableName");
        f->addRow(QStringLiteral("Table name"), edSQLTableName);
        chSQLCreateTable = check(tsSQL, "chSQLCreateTable", QStringLiteral("Add \"Create Table\" statement"));
        f->addRow(chSQLCreateTable);
        edSQLNullString = edit(tsSQL, "edSQLNullString");
        f->addRow(QStringLiteral("Export null values as"), edSQLNullString);
        // One shared null text.
        connect(edSQLNullString, &QLineEdit::textEdited, edNullString, &QLineEdit::setText);
        connect(edNullString, &QLineEdit::textEdited, edSQLNullString, &QLineEdit::setText);
    }
    tsCSV = new QWidget(this);
    tsCSV->hide();
    tsCSV->setObjectName(QStringLiteral("tsCSV"));
    {
        auto *f = new QFormLayout(tsCSV);
        edCSVComma = edit(tsCSV, "edCSVComma");
        edCSVQuote = edit(tsCSV, "edCSVQuote");
        chCSVQuoteStrings = check(tsCSV, "chCSVQuoteStrings", QStringLiteral("Quote strings"));
        ebMultyValue = edit(tsCSV, "ebMultyValue");
        f->addRow(QStringLiteral("Comma"), edCSVComma);
        f->addRow(QStringLiteral("Quote"), edCSVQuote);
        f->addRow(chCSVQuoteStrings);
        f->addRow(QStringLiteral("MultiValue delimer"), ebMultyValue);
    }
    tsXML = new QWidget(this);
    tsXML->hide();
    tsXML->setObjectName(QStringLiteral("tsXML"));
    {
        auto *f = new QFormLayout(tsXML);
        edXMLEncoding = edit(tsXML, "edXMLEncoding");
        f->addRow(QStringLiteral("Encoding"), edXMLEncoding);
        chXMLStandalone = check(tsXML, "chXMLStandalone", QStringLiteral("Standalone"));
        f->addRow(chXMLStandalone);
        auto *g = new QGroupBox(QStringLiteral(" XML Type "), tsXML);
        g->setObjectName(QStringLiteral("rgExpXMLAs"));
        auto *gl = new QVBoxLayout(g);
        rgExpXMLAs = new QButtonGroup(this);
        const char *xmlTypes[] = {"DataPacked Friendly", "ADO Friendly"};
        for (int i = 0; i < 2; ++i) {
            auto *rb = new QRadioButton(QString::fromLatin1(xmlTypes[i]), g);
            rb->setObjectName(QStringLiteral("rgExpXMLAs_%1").arg(i));
            rgExpXMLAs->addButton(rb, i);
            gl->addWidget(rb);
        }
        f->addRow(g);
    }
    tsHTML = new QWidget(this);
    tsHTML->hide();
    tsHTML->setObjectName(QStringLiteral("tsHTML"));
    {
        auto *f = new QFormLayout(tsHTML);
        cbxHTMLTemplate = new QComboBox(tsHTML);
        cbxHTMLTemplate->setObjectName(QStringLiteral("cbxHTMLTemplate"));
        cbxHTMLTemplate->addItems(bulk::htmlTemplateNames());
        f->addRow(QStringLiteral("Template"), cbxHTMLTemplate);
        edHTMLTitle = edit(tsHTML, "edHTMLTitle");
        f->addRow(QStringLiteral("Title"), edHTMLTitle);
        // XML and HTML share one encoding: each field shows what was typed into the other.
        ebHTMLEncoding = edit(tsHTML, "ebHTMLEncoding");
        f->addRow(QStringLiteral("Encoding"), ebHTMLEncoding);
        for (auto [from, to] : {std::pair{edXMLEncoding, ebHTMLEncoding}, std::pair{ebHTMLEncoding, edXMLEncoding}})
            connect(from, &QLineEdit::textChanged, to, [to](const QString &t) {
                if (to->text() != t)
                    to->setText(t);
            });
        cbxHTMLFontName = new QComboBox(tsHTML);
        cbxHTMLFontName->setObjectName(QStringLiteral("cbxHTMLFontName"));
        cbxHTMLFontName->addItems(QFontDatabase::families());
        f->addRow(QStringLiteral("Font name"), cbxHTMLFontName);
        edHTMLBackground = edit(tsHTML, "edHTMLBackground");
        auto *bg = new QHBoxLayout;
        bg->addWidget(edHTMLBackground);
        auto *bgButton = new QPushButton(QStringLiteral("..."), tsHTML);
        bgButton->setObjectName(QStringLiteral("btHTMLBackground"));
        bg->addWidget(bgButton);
        f->addRow(QStringLiteral("Background"), bg);
        edHTMLCellPadding = edit(tsHTML, "edHTMLCellPadding", true);
        edHTMLCellSpacing = edit(tsHTML, "edHTMLCellSpacing", true);
        edHTMLBorderWidth = edit(tsHTML, "edHTMLBorderWidth", true);
        f->addRow(QStringLiteral("Cell padding"), edHTMLCellPadding);
        f->addRow(QStringLiteral("Cell spacing"), edHTMLCellSpacing);
        f->addRow(QStringLiteral("Border width"), edHTMLBorderWidth);
        // Colour samples: a click opens the colour dialog; any pick makes the template "Custom".
        const QList<QPair<const char *, quint32 bulk::HtmlColours::*>> samples{
            {"Background", &bulk::HtmlColours::background},        {"Default text", &bulk::HtmlColours::text},
            {"Header background", &bulk::HtmlColours::headerBackground}, {"Header text", &bulk::HtmlColours::headerText},
            {"Data text", &bulk::HtmlColours::dataText},           {"Even rows", &bulk::HtmlColours::evenRows},
            {"Odd rows", &bulk::HtmlColours::oddRows}};
        auto *colours = new QGridLayout;
        int n = 0;
        for (const auto &[caption, member] : samples) {
            auto *b = new QPushButton(QString::fromLatin1(caption), tsHTML);
            b->setObjectName(QStringLiteral("pnHTMLColour%1").arg(n));
            colours->addWidget(b, n / 4, n % 4);
            m_colourSamples.append({b, member});
            const auto m = member;
            connect(b, &QPushButton::clicked, this, [this, m] {
                const quint32 v = m_colours.*m;
                QColor c = (v & 0x80000000u) ? palette().color(QPalette::WindowText)
                                             : QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
                const bool ok = m_colourPicker ? m_colourPicker(this, c) : [&] {
                    const QColor picked = QColorDialog::getColor(c, this);
                    c = picked;
                    return picked.isValid();
                }();
                if (!ok || !c.isValid())
                    return;
                m_colours.*m = quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
                const QSignalBlocker block(cbxHTMLTemplate);
                cbxHTMLTemplate->setCurrentIndex(0);
                showColours();
            });
            ++n;
        }
        f->addRow(colours);
        auto *tpl = new QHBoxLayout;
        auto *save = new QPushButton(QStringLiteral("S&ave as template ..."), tsHTML);
        save->setObjectName(QStringLiteral("btSaveTemplate"));
        auto *load = new QPushButton(QStringLiteral("&Load template ..."), tsHTML);
        load->setObjectName(QStringLiteral("btLoadTemplate"));
        tpl->addWidget(save);
        tpl->addWidget(load);
        f->addRow(tpl);
        connect(cbxHTMLTemplate, &QComboBox::currentTextChanged, this, [this](const QString &name) {
            QString font;
            if (bulk::htmlTemplate(name, &m_colours, &font)) {
                showColours();
                const int i = cbxHTMLFontName->findText(font);
                if (i >= 0)
                    cbxHTMLFontName->setCurrentIndex(i);
                else
                    cbxHTMLFontName->setEditText(font);
            }
        });
        connect(bgButton, &QPushButton::clicked, this, [this] {
            const QString f = ui::Prompt::openFileName(
                this, QString(), edHTMLBackground->text(),
                QStringLiteral("All (*.gif *.jpg *.jpeg *.bmp);;CompuServe GIF Image (*.gif);;JPEG Image File (*.jpg);;JPEG Image File (*.jpeg);;Bitmaps (*.bmp)"));
            if (!f.isEmpty())
                edHTMLBackground->setText(f);
        });
        connect(save, &QPushButton::clicked, this, [this] {
            const QString f = ui::Prompt::saveFileName(this, QStringLiteral("Save as HTML template"), QString(),
                                                      QStringLiteral("HTML template file (*.htf)"));
            if (f.isEmpty())
                return;
            QString error;
            if (!bulk::saveHtmlTemplateFile(f.endsWith(QLatin1String(".htf")) ? f : f + QStringLiteral(".htf"), m_colours,
                                            cbxHTMLFontName->currentText(), &error))
                ui::Prompt::error(this, error, windowTitle());
        });
        connect(load, &QPushButton::clicked, this, [this] {
            const QString f = ui::Prompt::openFileName(this, QStringLiteral("Load HTML template"), QString(),
                                                      QStringLiteral("HTML template file (*.htf)"));
            if (f.isEmpty())
                return;
            QString font = cbxHTMLFontName->currentText(), error;
            if (!bulk::loadHtmlTemplateFile(f, &m_colours, &font, &error)) {
                ui::Prompt::error(this, error, windowTitle());
                return;
            }
            cbxHTMLFontName->setCurrentText(font);
            const QSignalBlocker block(cbxHTMLTemplate);
            cbxHTMLTemplate->setCurrentIndex(0);
            showColours();
        });
    }
    tsExcel = new QWidget(this);
    tsExcel->hide();
    tsExcel->setObjectName(QStringLiteral("tsExcel"));
    {
        auto *f = new QFormLayout(tsExcel);
        ebEcxelTableName = edit(tsExcel, "ebEcxelTableName");
        f->addRow(QStringLiteral("Table name"), ebEcxelTableName);
        lbTableNames = new QListWidget(tsExcel);
        lbTableNames->setObjectName(QStringLiteral("lbTableNames"));
        f->addRow(QStringLiteral("Existing Tables"), lbTableNames);
        connect(ebEcxelTableName, &QLineEdit::textEdited, this, [this] { ebEcxelTableNameChange(); });
    }

    auto *buttons = new QHBoxLayout;
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 1000);
    ProgressBar->setVisible(false);
    buttons->addWidget(ProgressBar, 1);
    bStart = new QPushButton(QStringLiteral("&Start Export"), this);
    bStart->setObjectName(QStringLiteral("bStart"));
    bCancel = new QPushButton(QStringLiteral("&Close"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    buttons->addWidget(bStart);
    buttons->addWidget(bCancel);
    top->addLayout(buttons);
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    stSource = new QLabel(StatusBar);
    stExported = new QLabel(StatusBar);
    StatusBar->addWidget(stSource, 1);
    StatusBar->addWidget(stExported);
    top->addWidget(StatusBar);

    connect(rgExportType, &QButtonGroup::idClicked, this, [this] { rgExportTypeClick(); });
    connect(btSelect, &QPushButton::clicked, this, [this] { chooseFile(); });
    connect(edFileName, &QLineEdit::textChanged, this, [this] { edFileNameChange(); });
    // An existing workbook or database is looked at once its name is entered, not while it is
    // typed: every keystroke would open whatever file the name so far happens to name.
    connect(edFileName, &QLineEdit::editingFinished, this, [this] { refreshTables(); });
    connect(bStart, &QPushButton::clicked, this, [this] { bStartClick(); });
    connect(bCancel, &QPushButton::clicked, this, [this] { reject(); });
    resetOptions();
}

TfrmExportFormat::~TfrmExportFormat() = default;

void TfrmExportFormat::resetOptions()
{
    const bulk::ExportOptions d;
    edFileName->clear();
    rgExportType->button(0)->setChecked(true);
    cbUseUNICODE->setChecked(d.unicode);
    edSkipRecCount->setText(QStringLiteral("0"));
    rbExportAllRecords->setChecked(true);
    edExportRecCount->setText(QStringLiteral("0"));
    ebBatchSize->setText(QString::number(d.batchSize));
    cbIncludeDN->setChecked(d.includeDN);
    cbSortList->setCurrentIndex(0);
    cbfReverseorder->setChecked(false);
    edDateTimeFormat->setText(bulk::defaultDateTimeFormat());
    edFloatFormat->setText(QStringLiteral("#,###,##0.00"));
    const QLocale loc = QLocale::system();
    edCurrencyFormat->setText(loc.toCurrencyString(1.0).startsWith(loc.currencySymbol())
                                  ? loc.currencySymbol() + QStringLiteral("#,###,##0.00")
                                  : QStringLiteral("#,###,##0.00 ") + loc.currencySymbol());
    edFloatFormat->setReadOnly(true);
    edCurrencyFormat->setReadOnly(true);
    edBooleanTrue->setText(d.booleanTrue);
    edBooleanFalse->setText(d.booleanFalse);
    edNullString->setText(d.nullString);
    edSQLNullString->setText(d.nullString);
    edSQLCommitRecCount->setText(QStringLiteral("0"));
    edSQLCommitStatement->setText(d.sqlCommitStatement);
    chSQLCommitAfterScript->setChecked(false);
    edSQLStatementTerm->setText(d.sqlStatementTerm);
    edSQLTableName->clear();
    chSQLCreateTable->setChecked(false);
    edCSVComma->setText(d.csvComma);
    edCSVQuote->setText(d.csvQuote);
    chCSVQuoteStrings->setChecked(true);
    ebMultyValue->setText(d.multiValueDelimiter);
    edXMLEncoding->setText(d.xmlEncoding);
    chXMLStandalone->setChecked(true);
    rgExpXMLAs->button(0)->setChecked(true);
    cbxHTMLTemplate->setCurrentIndex(-1);
    m_colours = bulk::HtmlColours();
    showColours();
    edHTMLTitle->clear();
    cbxHTMLFontName->setCurrentIndex(cbxHTMLFontName->count() > 0 ? 0 : -1);
    edHTMLBackground->clear();
    edHTMLCellPadding->setText(QStringLiteral("4"));
    edHTMLCellSpacing->setText(QStringLiteral("1"));
    edHTMLBorderWidth->setText(QStringLiteral("1"));
    ebEcxelTableName->clear();
    lbTableNames->clear();
    m_tables.clear();
    m_tableDone = false;
    rgExportTypeClick();
}

void TfrmExportFormat::showColours()
{
    for (const auto &[button, member] : std::as_const(m_colourSamples)) {
        const quint32 v = m_colours.*member;
        const QColor c = (v & 0x80000000u) ? palette().color(QPalette::WindowText)
                                           : QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
        button->setStyleSheet(QStringLiteral("background-color: %1; color: %2;")
                                  .arg(c.name(), c.lightness() < 128 ? QStringLiteral("white") : QStringLiteral("black")));
    }
}

void TfrmExportFormat::setRequest(const bulk::ExportRequest &request)
{
    m_request = request;
    m_hasRequest = true;
    cbSortList->clear();
    cbSortList->addItem(QStringLiteral("<NONE>"));
    for (const bulk::ExportColumn &c : request.columns)
        if (c.sortable)
            cbSortList->addItem(c.caption, c.ldapName);
    stSource->setText(request.sourceText);
}

int TfrmExportFormat::exportType() const
{
    return std::max(0, rgExportType->checkedId());
}

bulk::ExportOptions TfrmExportFormat::options() const
{
    bulk::ExportOptions o;
    o.type = bulk::ExportType(exportType());
    o.fileName = edFileName->text();
    o.unicode = cbUseUNICODE->isChecked();
    o.skip = number(edSkipRecCount);
    o.exportOnly = rbExportOnly->isChecked() ? number(edExportRecCount) : 0;
    o.batchSize = std::clamp(number(ebBatchSize), 10, 1000);
    o.includeDN = cbIncludeDN->isChecked();
    o.sortOn = cbSortList->currentIndex() > 0 ? cbSortList->currentData().toString() : QString();
    o.sortReverse = cbfReverseorder->isChecked();
    o.dateTimeFormat = edDateTimeFormat->text().isEmpty() ? bulk::defaultDateTimeFormat() : edDateTimeFormat->text();
    o.booleanTrue = edBooleanTrue->text();
    o.booleanFalse = edBooleanFalse->text();
    o.nullString = edNullString->text();
    o.sqlCommitCount = number(edSQLCommitRecCount);
    o.sqlCommitStatement = edSQLCommitStatement->text();
    o.sqlCommitAfterScript = chSQLCommitAfterScript->isChecked();
    o.sqlStatementTerm = edSQLStatementTerm->text();
    o.sqlTableName = edSQLTableName->text();
    o.sqlCreateTable = chSQLCreateTable->isChecked();
    o.csvComma = edCSVComma->text();
    o.csvQuote = edCSVQuote->text();
    o.csvQuoteStrings = chCSVQuoteStrings->isChecked();
    o.multiValueDelimiter = ebMultyValue->text();
    o.xmlEncoding = edXMLEncoding->text();
    o.xmlStandalone = chXMLStandalone->isChecked();
    o.xmlType = std::max(0, rgExpXMLAs->checkedId());
    o.htmlTitle = edHTMLTitle->text();
    o.htmlFontName = cbxHTMLFontName->currentText();
    o.htmlBackground = edHTMLBackground->text();
    o.htmlCellPadding = number(edHTMLCellPadding);
    o.htmlCellSpacing = number(edHTMLCellSpacing);
    o.htmlBorderWidth = number(edHTMLBorderWidth);
    o.colours = m_colours;
    o.tableName = ebEcxelTableName->text();
    return o;
}

void TfrmExportFormat::rgExportTypeClick()
{
    const int t = exportType();
    const QString ext = QString::fromLatin1(kTypes[t].extension);
    if (!edFileName->text().isEmpty()) {
        const QFileInfo fi(edFileName->text());
        const QString base = fi.path() == QLatin1String(".") && !edFileName->text().startsWith(QLatin1String("./"))
                                 ? fi.completeBaseName()
                                 : fi.path() + QLatin1Char('/') + fi.completeBaseName();
        edFileName->setText(base + QLatin1Char('.') + ext);
    }
    while (pcOptions->count() > 0)
        pcOptions->removeTab(0);
    // Pages out of the tab bar stay children of the window, hidden.
    for (QWidget *page : {tsOptions, tsFormats, tsSQL, tsCSV, tsXML, tsHTML, tsExcel})
        page->hide();
    pcOptions->addTab(tsOptions, QStringLiteral("&Options"));
    if (t == 0 || t == 2 || t == 3)
        pcOptions->addTab(tsFormats, QStringLiteral("&Formats"));
    if (t == 0)
        pcOptions->addTab(tsCSV, QStringLiteral("&CSV Options "));
    if (t == 1)
        pcOptions->addTab(tsSQL, QStringLiteral("&SQL Options"));
    if (t == 2)
        pcOptions->addTab(tsXML, QStringLiteral("&XML Options"));
    if (t == 3)
        pcOptions->addTab(tsHTML, QStringLiteral("&HTML Options"));
    if (t == 4 || t == 5)
        pcOptions->addTab(tsExcel, t == 4 ? QStringLiteral("&Excel Options") : QStringLiteral("&Access Options"));
    cbUseUNICODE->setVisible(t < 4);
    m_tableDone = false;
    refreshTables();
    updateState();
}

void TfrmExportFormat::chooseFile()
{
    const int t = exportType();
    const QString f = ui::Prompt::saveFileName(this, QString(), edFileName->text(), QString::fromLatin1(kTypes[t].filter));
    if (f.isEmpty())
        return;
    const QString ext = QString::fromLatin1(kTypes[t].extension);
    edFileName->setText(QFileInfo(f).suffix().isEmpty() ? f + QLatin1Char('.') + ext : f);
    refreshTables();
}

void TfrmExportFormat::edFileNameChange()
{
    const QString name = QFileInfo(edFileName->text()).fileName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Export..") : QStringLiteral("Export to %1..").arg(name));
    m_tableDone = false;
    // The listed tables belonged to the name before; a check still under way is dropped.
    ++m_tablesGeneration;
    lbTableNames->clear();
    m_tables.clear();
    updateState();
}

void TfrmExportFormat::refreshTables()
{
    lbTableNames->clear();
    m_tables.clear();
    const quint64 generation = ++m_tablesGeneration;
    const int t = exportType();
    const QString path = edFileName->text();
    if ((t != 4 && t != 5) || path.isEmpty())
        return;
    // Read off the window's thread: a large or slow file must not freeze the window. The
    // answer comes back through the application object and finds the window only if it is
    // still open and still shows the same name.
    QPointer<TfrmExportFormat> self(this);
    QThreadPool::globalInstance()->start([self, generation, t, path] {
        QStringList tables;
        QString error;
        const bool ok = bulk::listTables(bulk::ExportType(t), path, &tables, &error);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, generation, ok, tables, error] {
                if (self)
                    self->tablesListed(generation, ok, tables, error);
            },
            Qt::QueuedConnection);
    });
}

void TfrmExportFormat::tablesListed(quint64 generation, bool ok, const QStringList &tables, const QString &error)
{
    if (generation != m_tablesGeneration)
        return;
    if (!ok) {
        ui::Prompt::error(this, error, windowTitle());
        return;
    }
    m_tables = tables;
    lbTableNames->addItems(m_tables);
    updateState();
    emit tablesChecked();
}

void TfrmExportFormat::ebEcxelTableNameChange()
{
    m_tableDone = false;
    const QString why = bulk::checkTableName(ebEcxelTableName->text());
    if (!why.isEmpty() && !ebEcxelTableName->text().isEmpty())
        ui::Prompt::error(this, why, windowTitle());
    updateState();
}

void TfrmExportFormat::updateState()
{
    const int t = exportType();
    bool enable = !edFileName->text().isEmpty();
    if (t == 4 || t == 5) {
        const QString table = ebEcxelTableName->text();
        enable = enable && !m_tableDone && bulk::checkTableName(table).isEmpty() &&
                 !m_tables.contains(table, Qt::CaseInsensitive);
    }
    bStart->setEnabled(m_running || (enable && m_hasRequest));
}

void TfrmExportFormat::bStartClick()
{
    if (m_running) {
        m_stop = true;
        bStart->setText(QStringLiteral("&Start Export"));
        return;
    }
    bulk::ExportOptions o = options();
    m_running = true;
    m_stop = false;
    bStart->setText(QStringLiteral("&Stop Export"));
    for (QWidget *w : {static_cast<QWidget *>(pcOptions), static_cast<QWidget *>(edFileName), static_cast<QWidget *>(btSelect),
                       static_cast<QWidget *>(cbUseUNICODE), findChild<QWidget *>(QStringLiteral("rgExportType"))})
        if (w)
            w->setEnabled(false);
    stExported->setText(QStringLiteral("Exported %1").arg(0));
    ProgressBar->setValue(0);
    ProgressBar->setVisible(true);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_last = bulk::ExportEngine().run(m_request, o, [this](int written) {
        stExported->setText(QStringLiteral("Exported %1").arg(written));
        ProgressBar->setValue((ProgressBar->value() + 3) % 1001);
        QApplication::processEvents();
        return !m_stop;
    });
    QApplication::restoreOverrideCursor();
    // The SQL table name the export derived shows as it was used. The encoding field stays as
    // the user left it: a Unicode XML export declares UTF-16 for itself, and copied back here
    // that would be declared by the next 8-bit XML or HTML file too.
    edSQLTableName->setText(o.sqlTableName);
    ProgressBar->setVisible(false);
    bStart->setText(QStringLiteral("&Start Export"));
    for (QWidget *w : {static_cast<QWidget *>(pcOptions), static_cast<QWidget *>(edFileName), static_cast<QWidget *>(btSelect),
                       static_cast<QWidget *>(cbUseUNICODE), findChild<QWidget *>(QStringLiteral("rgExportType"))})
        if (w)
            w->setEnabled(true);
    m_running = false;
    if (m_last.ok && (o.type == bulk::ExportType::Workbook || o.type == bulk::ExportType::Database)) {
        m_tableDone = true;
        refreshTables();
    }
    updateState();
    if (!m_last.ok)
        ui::Prompt::error(this, m_last.error, windowTitle());
    else if (m_last.unmappable > 0)
        ui::Prompt::warning(this,
                            UnmappableCharactersText(m_last.unmappable) +
                                QStringLiteral("\r\nExport with \"Save as UNICODE\" to keep them."),
                            windowTitle());
}

void TfrmExportFormat::showEvent(QShowEvent *e)
{
    if (!e->spontaneous() && !m_running)
        resetOptions();
    QDialog::showEvent(e);
}

void TfrmExportFormat::closeEvent(QCloseEvent *e)
{
    if (m_running || !m_hasRequest) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void TfrmExportFormat::reject()
{
    if (m_running)
        return;
    QDialog::reject();
}
