#pragma once
// Workbook (.xlsx) and document (.docx) files in place of office automation, and opening a
// written file with the desktop's application.
//
// Library target: arv_office (link it; headers "platform/office/workbook.h").
//
// A workbook of any length, row by row (the grid, lists, export type 4):
//   office::WorkbookWriter wb(path);            // written to a temporary name beside path
//   if (!wb.addSheet("Users", &error)) ...      // sheet-name rules, see checkSheetName
//   wb.writeString(0, 0, "DN", office::CellStyle::bold());
//   wb.writeNumber(1, 3, 42); wb.writeDateTime(1, 4, dayCount); wb.writeBoolean(...)
//   if (!wb.close(&error)) ...                  // renames onto path only on success
// Rows must be written in ascending order (constant-memory mode keeps one row in memory);
// within a row, cells in any order. A writer that is destroyed without close() removes its
// temporary file and leaves path untouched.
//
// An existing workbook gains a sheet with appendWorkbookSheets (its own parts are copied
// verbatim); workbookSheetNames lists the sheets of a file.
//
// Opening a file for the user: openWithDesktop(path) (xdg-open through QDesktopServices);
// tests replace it with setOpenWithDesktopHook to see the file instead.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace office {

// Workbook limits.
constexpr int kMaxSheetNameLength = 31;
constexpr int kMaxCellTextLength = 32767;
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

// Empty when name can be a sheet name, else the reason (one line, for a message box):
// not empty, at most 31 characters, none of \ / ? * [ ] :, not starting or ending with an
// apostrophe.
QString checkSheetName(const QString &name);

struct CellStyle {
    bool bold = false;
    bool underline = false;
    double fontSize = 0;  // 0: the workbook's default
    QString fontName;     // empty: the workbook's default
    static CellStyle boldArial10()
    {
        CellStyle s;
        s.bold = true;
        s.fontSize = 10;
        s.fontName = QStringLiteral("Arial");
        return s;
    }
    static CellStyle boldOnly()
    {
        CellStyle s;
        s.bold = true;
        return s;
    }
};

class WorkbookWriter {
public:
    // constantMemory: rows are flushed as soon as the next row starts (long exports).
    explicit WorkbookWriter(const QString &path, bool constantMemory = true);
    ~WorkbookWriter();
    WorkbookWriter(const WorkbookWriter &) = delete;
    WorkbookWriter &operator=(const WorkbookWriter &) = delete;

    QString path() const;
    // Adds a sheet and makes it the current one; false (with the reason) for an invalid or
    // repeated name or when the temporary file cannot be created.
    bool addSheet(const QString &name, QString *error);

    // Cells of the current sheet (0-based). Text longer than a cell holds is an error the
    // writer remembers (see error()); the cell then holds the first 32,767 characters.
    void writeString(int row, int column, const QString &text, const CellStyle &style = {});
    void writeNumber(int row, int column, double value, const CellStyle &style = {});
    void writeBoolean(int row, int column, bool value);
    // A date-time as a day count from 30 December 1899, shown as "yyyy-mm-dd hh:mm:ss".
    void writeDateTime(int row, int column, double dayCount);
    void setColumnWidth(int column, double width);

    // The first error met while writing cells (empty when none).
    QString error() const;
    // Finishes the file and moves it onto path. False with the reason when the file could not
    // be written (full disk, unwritable folder) or a cell error happened; path then keeps its
    // old content (or stays absent) and the temporary file is removed.
    bool close(QString *error);
    // Drops the file without touching path.
    void discard();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The sheet names of a workbook in their order; false with the reason when path is no
// readable workbook.
bool workbookSheetNames(const QString &path, QStringList *names, QString *error);

// Copies every part of target verbatim and adds the sheets of source (a workbook written by
// WorkbookWriter) behind target's own sheets; the result replaces target through a temporary
// file. Only target's workbook part, its relationships, its content types and its style sheet
// gain entries (the new sheets' cell styles are appended to the style sheet). False with the
// reason when a sheet name is taken or either file cannot be read or written.
bool appendWorkbookSheets(const QString &target, const QString &source, QString *error);

// "If file is opened, please first close it!" cases: true when path exists and another
// application holds it (a LibreOffice/OpenOffice lock file ".~lock.<name>#" beside it, or
// the file cannot be opened for reading and writing). *reason gets the system's text.
bool fileHeldOpen(const QString &path, QString *reason);

// --- Documents ---------------------------------------------------------------------------

// A .docx built paragraph by paragraph:
//   office::DocumentWriter doc;
//   doc.addParagraph(); doc.addRun("Short Information for:", {.bold = true, .underline = true});
//   doc.setPicture(jpegBytes, 400, 100, 100); doc.setFooter(createdWithText);
//   doc.save(path, &error);
struct RunStyle {
    bool bold = false;
    bool underline = false;
    quint32 colour = 0xFFFFFFFF;  // RGB as 0xRRGGBB; 0xFFFFFFFF: automatic
};

class DocumentWriter {
public:
    DocumentWriter();
    ~DocumentWriter();
    // Starts a new paragraph; runs are added to the last paragraph.
    void addParagraph();
    // Adds text to the current paragraph (a paragraph is started when there is none). CR LF
    // or LF inside the text become line breaks.
    void addRun(const QString &text, const RunStyle &style = {});
    // A JPEG picture placed on the page at left/top points with the given width in points
    // (height keeps the aspect ratio); named as given.
    void setPicture(const QByteArray &jpeg, const QString &name, double left, double top, double width);
    void setFooter(const QString &text);
    // Writes the document through a temporary file beside path; false with the reason.
    bool save(const QString &path, QString *error) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// --- Opening files ------------------------------------------------------------------------

// Opens path with the desktop's application for its type; false when none could be started.
bool openWithDesktop(const QString &path);
// Replaces what openWithDesktop does (tests); an empty function restores the desktop.
void setOpenWithDesktopHook(std::function<bool(const QString &)> hook);
// A new private folder for files that are only opened (workbooks of the grid, documents);
// it lives until the process ends.
QString privateOutputFolder();

}  // namespace office
