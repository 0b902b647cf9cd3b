#pragma once
// The grid's own outputs: the grid as an HTML page or a comma-separated file, the grid as a
// workbook opened with the desktop's spreadsheet application, and the quick panel's user as
// a document opened with the desktop's word processor.
//
// Library target: arv_main_gridoutput (headers "main/unGridOutput.h").
// The writers take any QTableView (the user grid, a report's result grid): the visible
// columns in their creation (logical) order, the rows in their current order, each cell's
// display text. gridoutput::wireMainWindow adds tbSaveAsHTML, tbSaveAsCSV, tbExportToExcel
// and tbUserToWord to the main window's grid toolbar and sbUserToWord to the quick panel.
#include <QString>
#include <QStringList>

class QTableView;
class QWidget;
class TfrmMain;
class TQuickPanel;

namespace gridoutput {

struct WriteResult {
    bool ok = false;
    bool cancelled = false;  // the progress display was cancelled; the file holds the rows so far
    int rows = 0;
    int unmappable = 0;      // characters the 8-bit code page cannot hold (written as "?")
    QString error;
};

// The HTML page of the grid (8-bit Windows-1252 text, CR LF). Progress that can be cancelled
// is shown when showProgress and the grid has more than 500 rows.
WriteResult WriteGridHtml(const QTableView &grid, const QString &fileName, bool showProgress);
// The grid as text: captions, then one line per row, each cell quoted when it holds the
// separator or a double quote; UTF-16LE with byte-order mark when unicode.
WriteResult WriteGridText(const QTableView &grid, const QString &fileName, QChar separator, bool showProgress,
                          bool unicode);
// The grid as a workbook: "DN" and the captions in bold Arial 10, the rows with the
// distinguished name each row carries, the created-with line below.
WriteResult WriteGridWorkbook(const QTableView &grid, const QString &fileName);

// One field of the user document: the label's caption and the attribute it shows.
struct DocumentField {
    QString label;
    QString attribute;
    bool multiLine = false;  // every value followed by CR LF, no leading blank
};
struct DocumentSection {
    QString heading;
    QList<DocumentField> fields;
};
// The five sections of the document in their order, captions from the panel's labels when
// panel is given (its lbFirstName ... lbNotes controls), else the catalogue's captions.
QList<DocumentSection> UserDocumentSections(const QWidget *panel = nullptr);
// Reads the user's attributes (the connection context's credentials) and writes the .docx.
WriteResult WriteUserDocument(const QString &userDn, const QList<DocumentSection> &sections, const QString &fileName);
// The document of the user the quick panel shows, with the panel's captions (nothing
// written, and an error, when it shows none).
WriteResult WritePanelUserDocument(const TQuickPanel &panel, const QString &fileName);

// Connects the four outputs to the main window.
void wireMainWindow(TfrmMain &main);

}  // namespace gridoutput
