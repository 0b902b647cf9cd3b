#pragma once
// The export engine: runs its own paged directory search and streams every row into a file
// in one of six formats, with progress and stop. No widgets; the export window
// (unExportFormat), the batch export, the reports and arvendel-cli export drive it.
//
// Library target: arv_bulk_export (headers "bulk/exportengine.h").
//
// Typical use:
//   bulk::ExportRequest req;
//   req.columns = bulk::columnsFromKeys({0, 1, 2});   // catalogue keys, in order
//   req.base = ConnectionContext().DomainPath;  req.scope = ads::ADS_SCOPE_SUBTREE;
//   req.filter = "(&(objectCategory=person)(objectClass=user))";
//   bulk::ExportOptions opt;                          // every default of the window
//   opt.type = bulk::ExportType::Csv;  opt.fileName = "/tmp/users.csv";
//   bulk::ExportResult r = bulk::ExportEngine().run(req, opt, [](int written) {
//       return !stopRequested;                       // false stops after this row
//   });
//   if (!r.ok) show(r.error);
//
// Files are written to a temporary name beside the destination and renamed onto it when
// the export ends normally or is stopped (a stopped export leaves a complete file of the
// rows so far); on an error the destination is left as it was and the temporary file is
// removed. Table stores (types 4 and 5) add a table to an existing workbook or database.
#include "main/unCatalogue.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

namespace bulk {

enum class ExportType : int { Csv = 0, Sql = 1, Xml = 2, Html = 3, Workbook = 4, Database = 5 };

// How a column's values are typed in the formats that declare types.
enum class ColumnKind { Integer, Boolean, DateTime, Text, Octet };

struct ExportColumn {
    qint32 key = -1;          // catalogue key, -1 when the column came by LDAP name only
    QString ldapName;
    QString caption;
    ColumnKind kind = ColumnKind::Text;
    int maxLength = 0;        // 0 or less: no maximum given
    bool multiValued = false;
    bool sortable = false;
    bool wide = false;        // a 64-bit integer that is no date (uSNChanged): declared as such
    bool isText() const { return kind == ColumnKind::Text || kind == ColumnKind::Octet; }
};

// The export column of a catalogue entry (date kinds for the logon and change times).
ExportColumn columnFromEntry(const ADSIUserField &entry);
// Columns for catalogue keys of the user table (or the group table), unknown keys skipped.
QList<ExportColumn> columnsFromKeys(const QList<qint32> &keys, int table = UserTable);
// Columns for LDAP names: catalogue entries where known, else text columns of that name.
QList<ExportColumn> columnsFromNames(const QStringList &names, int table = UserTable);

// The HTML colours: 32-bit values, red in the low byte, blue in the third; a value with the
// top bit set is a system colour (0x80000008: window text).
constexpr quint32 kWindowTextColour = 0x80000008u;
struct HtmlColours {
    quint32 background = 0xFFFFFF;
    quint32 text = kWindowTextColour;
    quint32 headerBackground = 0xFF8080;  // #8080FF
    quint32 headerText = kWindowTextColour;
    quint32 dataText = kWindowTextColour;
    quint32 evenRows = 0x8080FF;          // #FF8080
    quint32 oddRows = 0x80FFFF;           // #FFFF80
};

// The built-in colour templates, by name ("Black&White" ... "Simple"); false for "Custom"
// or an unknown name. font gets the template's font family.
bool htmlTemplate(const QString &name, HtmlColours *colours, QString *font);
QStringList htmlTemplateNames();  // "Custom" first, then the nine built-in ones
// .htf template files (INI text); false with the reason when the file cannot be written/read,
// is no regular file or is larger than kMaxHtmlTemplateFileBytes.
constexpr qsizetype kMaxHtmlTemplateFileBytes = 64 * 1024;
bool saveHtmlTemplateFile(const QString &path, const HtmlColours &c, const QString &font, QString *error);
bool loadHtmlTemplateFile(const QString &path, HtmlColours *c, QString *font, QString *error);

// The system's short date and long time as a date/time picture ("dd/mm/yyyy hh:nn:ss").
QString defaultDateTimeFormat();
// Formats a day count (days from 30 December 1899) with a picture: yyyy yy mm m dd d hh h
// nn n ss s zzz, am/pm, ampm; "..." and '...' are literal; m right after an h is minutes.
QString formatDateTime(const QString &picture, double dayCount);

struct ExportOptions {
    ExportType type = ExportType::Csv;
    QString fileName;
    bool unicode = true;          // UTF-16LE with byte-order mark; else Windows-1252
    int skip = 0;
    int exportOnly = 0;           // 0: all rows
    int batchSize = 100;
    bool includeDN = true;
    QString sortOn;               // LDAP name; empty: no sort
    bool sortReverse = false;
    QString dateTimeFormat;       // empty: defaultDateTimeFormat()
    QString booleanTrue = QStringLiteral("True");
    QString booleanFalse = QStringLiteral("False");
    QString nullString = QStringLiteral("null");
    // SQL
    int sqlCommitCount = 0;
    QString sqlCommitStatement = QStringLiteral("COMMIT");
    bool sqlCommitAfterScript = false;
    QString sqlStatementTerm = QStringLiteral(";");
    QString sqlTableName;         // empty: the file's base name in upper case
    bool sqlCreateTable = false;
    // CSV (also SQL separator and quoting)
    QString csvComma = QStringLiteral(",");
    QString csvQuote = QStringLiteral("'");
    bool csvQuoteStrings = true;
    QString multiValueDelimiter = QStringLiteral("|");
    // XML / HTML
    QString xmlEncoding = QStringLiteral("Windows-1252");
    bool xmlStandalone = true;
    int xmlType = 0;              // 0 DataPacked Friendly, 1 ADO Friendly
    QString htmlTitle;
    QString htmlFontName = QStringLiteral("Arial");
    QString htmlBackground;
    int htmlCellPadding = 4;
    int htmlCellSpacing = 1;
    int htmlBorderWidth = 1;
    HtmlColours colours;
    // Workbook / database
    QString tableName;
};

struct ExportRequest {
    QList<ExportColumn> columns;
    QString filter;
    QString base;                 // ADsPath
    int scope = 2;                // ads::ADS_SCOPE_ONELEVEL (1) or ADS_SCOPE_SUBTREE (2)
    QString sourceText;           // "Selected [...]" for the status bar
};

struct ExportResult {
    bool ok = false;
    bool stopped = false;
    int written = 0;
    QString error;
    // Characters the 8-bit code page cannot hold, written as "?"; the caller reports them.
    int unmappable = 0;
};

// The column list the export writes: distinguishedName put first or removed by includeDN.
QList<ExportColumn> effectiveColumns(const QList<ExportColumn> &columns, bool includeDN);

// Table-name rules of the table stores: empty when valid, else the message to show.
QString checkTableName(const QString &name);
// The tables of a workbook or database file ("Existing Tables"); an absent file has none.
// False with the message when the file is held open by another application or unreadable.
bool listTables(ExportType type, const QString &path, QStringList *tables, QString *error);

class ExportEngine {
public:
    // Called after each written row with the count; return false to stop.
    using Progress = std::function<bool(int written)>;
    // The next row (a QVariantList aligned with the columns) into *row; false at the end.
    // Throws Exception on a failure.
    using RowSource = std::function<bool(QVariantList *row)>;

    // Searches the directory (connection context credentials) and writes the file.
    ExportResult run(const ExportRequest &request, ExportOptions &options, const Progress &progress = {});
    // Writes rows from any source (reports, tests); the columns are used as given.
    ExportResult write(const QList<ExportColumn> &columns, ExportOptions &options,
                       const RowSource &rows, const Progress &progress = {});
};

}  // namespace bulk
