#include "main/unGridOutput.h"

#include "core/textsink.h"
#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "core/unValuesText.h"
#include "main/unCatalogue.h"
#include "main/unMain.h"
#include "main/unQuickPanel.h"
#include "main/unUserGrid.h"
#include "platform/adsi/adspath.h"
#include "platform/office/workbook.h"
#include "ui/prompt.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUuid>

namespace gridoutput {

namespace {

// The visible columns in creation (logical) order.
QList<int> visibleColumns(const QTableView &grid)
{
    QList<int> out;
    const QAbstractItemModel *m = grid.model();
    for (int c = 0; m && c < m->columnCount(); ++c)
        if (!grid.isColumnHidden(c))
            out << c;
    return out;
}

QString caption(const QAbstractItemModel *m, int column)
{
    const QString t = m->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    // The icon column has no caption of its own; in the outputs it is "Status".
    return t.isEmpty() && column == 0 ? QStringLiteral("Status") : t;
}

QString cellText(const QAbstractItemModel *m, int row, int column)
{
    const QModelIndex i = m->index(row, column);
    const QVariant d = m->data(i, Qt::DisplayRole);
    if (d.isValid())
        return d.toString();
    // The icon cells: the account state (0 normal, 1 disabled, 2 locked out, 3 expired).
    const QVariant state = m->data(i, UserGridModel::StateRole);
    return state.isValid() ? state.toString() : QString();
}

QString htmlEscape(const QString &s)
{
    QString t = s;
    t.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    t.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    t.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    t.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    return t;
}

QString colourText(const QColor &c)
{
    return QStringLiteral("#%1%2%3")
        .arg(c.red(), 2, 16, QLatin1Char('0'))
        .arg(c.green(), 2, 16, QLatin1Char('0'))
        .arg(c.blue(), 2, 16, QLatin1Char('0'))
        .toUpper();
}

// A progress display that can be cancelled, for grids of more than 500 rows.
class Progress {
public:
    Progress(const QTableView &grid, int rows, bool show)
    {
        if (show && rows > 500 && qobject_cast<QApplication *>(QCoreApplication::instance())) {
            dlg_ = new QProgressDialog(QStringLiteral("Writing..."), QStringLiteral("Cancel"), 0, rows,
                                       const_cast<QTableView *>(&grid));
            dlg_->setObjectName(QStringLiteral("GridOutputProgress"));
            dlg_->setWindowModality(Qt::WindowModal);
            dlg_->setMinimumDuration(0);
        }
    }
    ~Progress() { delete dlg_; }
    // False when cancelled.
    bool step(int done)
    {
        if (!dlg_)
            return true;
        if (done % 50 == 0) {
            dlg_->setValue(done);
            QApplication::processEvents();
        }
        return !dlg_->wasCanceled();
    }

private:
    QProgressDialog *dlg_ = nullptr;
};

const QString kFont = QStringLiteral("<font color=\"#000000\" face=\"Verdana, Tahoma, Arial, Helvetica, sans-serif\" style=\"font-size: 10px\">");

}  // namespace

WriteResult WriteGridHtml(const QTableView &grid, const QString &fileName, bool showProgress)
{
    WriteResult r;
    const QAbstractItemModel *m = grid.model();
    core::TextSink sink;
    if (!m || !sink.open(fileName, false, &r.error))
        return r;
    const QList<int> cols = visibleColumns(grid);
    const QString window = colourText(grid.palette().color(QPalette::Base));
    sink.writeLine(QStringLiteral("<html>"));
    sink.writeLine(QStringLiteral("<body>"));
    sink.writeLine(QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpading=\"1\" border=\"1\" style=\"border-collapse: collapse; border: 1px solid #666666\">"));
    sink.writeLine(QStringLiteral("<tr>"));
    for (int c : cols) {
        sink.writeLine(QStringLiteral("<td bgcolor=\"#ffffff\" width=\"%1\">").arg(grid.columnWidth(c)));
        sink.writeLine(kFont);
        sink.writeLine(QStringLiteral("<b>") + htmlEscape(caption(m, c)) + QStringLiteral("</b>"));
        sink.writeLine(QStringLiteral("</font>"));
        sink.writeLine(QStringLiteral("</td>"));
    }
    sink.writeLine(QStringLiteral("</tr>"));
    const int rows = m->rowCount();
    Progress progress(grid, rows, showProgress);
    for (int row = 0; row < rows; ++row) {
        if (!progress.step(row)) {
            r.cancelled = true;
            break;
        }
        sink.writeLine(QStringLiteral("<tr>"));
        for (int c : cols) {
            const QModelIndex i = m->index(row, c);
            const QVariant bg = m->data(i, Qt::BackgroundRole);
            const QColor colour = bg.canConvert<QBrush>() ? bg.value<QBrush>().color() : QColor();
            const int a = m->data(i, Qt::TextAlignmentRole).toInt();
            const QString align = (a & Qt::AlignRight) ? QStringLiteral("right")
                                  : (a & Qt::AlignHCenter) ? QStringLiteral("center")
                                                           : QStringLiteral("left");
            sink.writeLine(QStringLiteral("<td bgcolor=\"%1\" align=\"%2\" width=\"%3\">")
                               .arg(colour.isValid() ? colourText(colour) : window, align)
                               .arg(grid.columnWidth(c)));
            sink.writeLine(kFont);
            sink.writeLine(htmlEscape(cellText(m, row, c)));
            sink.writeLine(QStringLiteral("</font>"));
            sink.writeLine(QStringLiteral("</td>"));
        }
        sink.writeLine(QStringLiteral("</tr>"));
        ++r.rows;
    }
    sink.writeLine(QStringLiteral("</table>"));
    sink.writeLine(QStringLiteral("</body>"));
    sink.writeLine(QStringLiteral("</html>"));
    r.ok = sink.commit(&r.error);
    r.unmappable = sink.unmappable();
    return r;
}

WriteResult WriteGridText(const QTableView &grid, const QString &fileName, QChar separator, bool showProgress, bool unicode)
{
    WriteResult r;
    const QAbstractItemModel *m = grid.model();
    core::TextSink sink;
    if (!m || !sink.open(fileName, unicode, &r.error))
        return r;
    const QList<int> cols = visibleColumns(grid);
    auto quote = [separator](QString t) {
        // A line break inside an unquoted field would start a new record for every reader.
        const bool needs = t.contains(separator) || t.contains(QLatin1Char('"')) || t.contains(QLatin1Char('\r')) ||
                           t.contains(QLatin1Char('\n'));
        t.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return needs ? QLatin1Char('"') + t + QLatin1Char('"') : t;
    };
    QStringList head;
    for (int c : cols)
        head << caption(m, c);
    sink.writeLine(head.join(separator));
    const int rows = m->rowCount();
    Progress progress(grid, rows, showProgress);
    for (int row = 0; row < rows; ++row) {
        if (!progress.step(row)) {
            r.cancelled = true;
            break;
        }
        QStringList cells;
        for (int c : cols)
            cells << quote(cellText(m, row, c));
        sink.writeLine(cells.join(separator));
        ++r.rows;
    }
    r.ok = sink.commit(&r.error);
    r.unmappable = sink.unmappable();
    return r;
}

WriteResult WriteGridWorkbook(const QTableView &grid, const QString &fileName)
{
    WriteResult r;
    const QAbstractItemModel *m = grid.model();
    if (!m)
        return r;
    office::WorkbookWriter wb(fileName, true);
    if (!wb.addSheet(QStringLiteral("Sheet1"), &r.error))
        return r;
    const QList<int> cols = visibleColumns(grid);
    const office::CellStyle head = office::CellStyle::boldArial10();
    wb.writeString(0, 0, QStringLiteral("DN"), head);
    for (int i = 0; i < cols.size(); ++i)
        wb.writeString(0, i + 1, caption(m, cols.at(i)), head);
    // The distinguished name rides on one cell of each row (the cn cell of the user grid).
    int dnColumn = -1;
    for (int c = 0; c < m->columnCount() && m->rowCount() > 0; ++c)
        if (m->data(m->index(0, c), UserGridModel::CarriedDnRole).isValid()) {
            dnColumn = c;
            break;
        }
    const int rows = m->rowCount();
    for (int row = 0; row < rows; ++row) {
        if (dnColumn >= 0)
            wb.writeString(row + 1, 0, m->data(m->index(row, dnColumn), UserGridModel::CarriedDnRole).toString());
        for (int i = 0; i < cols.size(); ++i)
            wb.writeString(row + 1, i + 1, cellText(m, row, cols.at(i)));
        ++r.rows;
    }
    wb.writeString(rows + 4, 0, CreatedWithText(), office::CellStyle::boldOnly());
    r.ok = wb.close(&r.error);
    return r;
}

// --- The user document -------------------------------------------------------------------------

QList<DocumentSection> UserDocumentSections(const QWidget *panel)
{
    auto label = [panel](const char *control, const char *fallbackAttribute) {
        if (const QLabel *l = panel ? panel->findChild<QLabel *>(QLatin1String(control)) : nullptr)
            return l->text().remove(QLatin1Char('&'));
        return CaptionByLdapName(QLatin1String(fallbackAttribute)) + QLatin1Char(':');
    };
    auto f = [&](const char *control, const char *attribute) {
        return DocumentField{label(control, attribute), QString::fromLatin1(attribute), false};
    };
    auto multi = [](const char *text, const char *attribute) {
        return DocumentField{QString::fromLatin1(text), QString::fromLatin1(attribute), true};
    };
    return {
        {QStringLiteral("General Section"),
         {f("lbFirstName", "givenName"), f("lbInitials", "initials"), f("lbLastName", "sn"), f("lbDisplayName", "displayName"),
          f("lbDescription", "description"), f("lbOffice", "physicalDeliveryOfficeName")}},
        {QStringLiteral("Address Section"),
         {f("lbStreet", "streetAddress"), f("lbPOBox", "postOfficeBox"), f("lbCity", "l"), f("lbZip", "postalCode"),
          f("lbStateProvince", "st"), DocumentField{QStringLiteral("Country:"), QStringLiteral("co"), false}}},
        {QStringLiteral("Telephones Section"),
         {f("lbPhoneBusiness", "telephoneNumber"), multi("Phone Business Other:", "otherTelephone"), f("lbhomePhone", "homePhone"),
          multi("Phone Home Other:", "otherHomePhone"), f("lbPagerPhone", "pager"), f("lbMobilePhone", "mobile"),
          f("lbFacsimileTelephoneNumber", "facsimileTelephoneNumber"), f("lbIPPhone", "ipPhone")}},
        {QStringLiteral("Organization Section"),
         {f("lbTitle", "title"), f("lbDepartment", "department"), f("lbCompany", "company"), f("lbManager", "manager"),
          multi("Direct Reports:", "directReports")}},
        {QStringLiteral("Others Section"), {f("lbEMail", "mail"), f("lbWebPage", "wwwHomePage"), f("lbNotes", "info")}},
    };
}

namespace {

// Reads attributes of one object by a base search (bounded by the search wrapper's waits).
QVariantList readAttributes(const QString &dn, const QStringList &names)
{
    TQelADSISearching s;
    ApplyContextCredentials(s);
    s.setADsPath(ConnectionContext().ServerPrefix + ads::escapePathDn(dn));
    s.setSearchScope(ads::ADS_SCOPE_BASE);
    s.setFilter(QStringLiteral("(objectClass=*)"));
    s.setAttributes(names.join(QLatin1Char(',')));
    s.setPageSize(0);
    QVariant row;
    try {
        s.ExecuteSearch();
        s.GetFirstRow(row);
        s.CloseSearch();
    } catch (const Exception &) {
        return {};  // a value that cannot be read is left empty
    }
    return row.toList();
}

QStringList texts(const QVariant &v)
{
    QStringList out;
    if (v.metaType().id() == QMetaType::QVariantList) {
        for (const QVariant &e : v.toList())
            out << e.toString();
    } else if (v.isValid()) {
        out << v.toString();
    }
    return out;
}

}  // namespace

WriteResult WriteUserDocument(const QString &userDn, const QList<DocumentSection> &sections, const QString &fileName)
{
    WriteResult r;
    office::DocumentWriter doc;
    for (int i = 0; i < 3; ++i)
        doc.addParagraph();
    doc.addRun(QStringLiteral("Short Information for:"), {true, true, 0xFFFFFFFFu});
    doc.addParagraph();
    doc.addRun(QStringLiteral("DN: "));
    doc.addRun(QStringLiteral(" ") + userDn, {false, true, 0xFF0000u});
    for (const DocumentSection &section : sections) {
        doc.addParagraph();
        doc.addParagraph();
        doc.addParagraph();
        doc.addRun(section.heading, {true, true, 0x339966u});
        QStringList names;
        for (const DocumentField &f : section.fields)
            names << (f.attribute == QLatin1String("directReports") ? QStringLiteral("directReports") : f.attribute);
        // Each section reads its attributes again, as the panel's tabs do.
        const QVariantList values = readAttributes(userDn, names);
        for (int i = 0; i < section.fields.size(); ++i) {
            const DocumentField &f = section.fields.at(i);
            doc.addParagraph();
            doc.addRun(f.label);
            const QStringList vals = texts(values.value(i));
            if (f.multiLine) {
                QString text;
                for (const QString &v : vals) {
                    QString shown = v;
                    if (f.attribute == QLatin1String("directReports")) {
                        // The report's cn, read by binding the report.
                        const QVariantList cn = readAttributes(v, {QStringLiteral("cn")});
                        shown = cn.value(0).toString();
                    }
                    text += shown + QStringLiteral("\r\n");
                }
                doc.addRun(text, {true, false, 0xFFFFFFFFu});
            } else {
                doc.addRun(QStringLiteral(" ") + vals.value(0), {true, false, 0xFFFFFFFFu});
            }
        }
    }
    // The picture: thumbnailPhoto, else the first jpegPhoto.
    const QVariantList pics = readAttributes(userDn, {QStringLiteral("thumbnailPhoto"), QStringLiteral("jpegPhoto")});
    QByteArray picture = pics.value(0).toByteArray();
    if (picture.isEmpty()) {
        const QVariant j = pics.value(1);
        picture = j.metaType().id() == QMetaType::QVariantList ? j.toList().value(0).toByteArray() : j.toByteArray();
    }
    if (!picture.isEmpty())
        doc.setPicture(picture, QStringLiteral("User_Pictute"), 400, 100, 100);
    doc.setFooter(CreatedWithText());
    r.ok = doc.save(fileName, &r.error);
    return r;
}

WriteResult WritePanelUserDocument(const TQuickPanel &panel, const QString &fileName)
{
    if (panel.currentDn().isEmpty()) {
        WriteResult r;
        r.error = QStringLiteral("No user is shown.");
        return r;
    }
    return WriteUserDocument(panel.currentDn(), UserDocumentSections(&panel), fileName);
}

// --- The main window's buttons ------------------------------------------------------------------

namespace {

// The save dialogs' preset: the selected node's text as a plain file name. The text comes
// from the directory, so a "/" in it becomes "_" and no folder is ever named by it.
QString presetName(TfrmMain &main)
{
    const QTreeWidgetItem *item = main.tree()->currentItem();
    if (!item || !item->isSelected())
        return QString();
    QString name = item->text(0);
    for (QChar &c : name)
        if (c == u'/' || c == u'\\' || c == QChar(0))
            c = u'_';
    return name == QLatin1String(".") || name == QLatin1String("..") ? QStringLiteral("_") : name;
}

void reportResult(TfrmMain &main, const WriteResult &r)
{
    if (!r.ok)
        ui::Prompt::error(&main, r.error, main.windowTitle());
    else if (r.unmappable > 0)
        ui::Prompt::warning(&main, UnmappableCharactersText(r.unmappable), main.windowTitle());
}

void tbSaveAsHTMLClick(TfrmMain *m)
{
    const QString f = ui::Prompt::saveFileName(m, QStringLiteral("Save Report As HTML"), presetName(*m), QStringLiteral("Web page (*.htm)"));
    if (f.isEmpty())
        return;
    m->setEnabled(false);
    const WriteResult r = WriteGridHtml(*m->grid(), QFileInfo(f).suffix().isEmpty() ? f + QStringLiteral(".htm") : f, true);
    m->setEnabled(true);
    reportResult(*m, r);
}

void tbSaveAsCSVClick(TfrmMain *m)
{
    QString filter;
    const QString f = ui::Prompt::saveFileName(m, QStringLiteral("Save Report"), presetName(*m),
                                              QStringLiteral("Text file (*.txt);;Unicode text file (*.txt)"), &filter);
    if (f.isEmpty())
        return;
    m->setEnabled(false);
    const WriteResult r = WriteGridText(*m->grid(), QFileInfo(f).suffix().isEmpty() ? f + QStringLiteral(".txt") : f,
                                        QLatin1Char(','), true, filter.startsWith(QLatin1String("Unicode")));
    m->setEnabled(true);
    reportResult(*m, r);
}

// The grid as a workbook in the private output folder, opened with the desktop's spreadsheet.
// The file is named by the program alone: the selected node's name is directory text, and a
// unit named "../../x" or "a/b" must not choose where the file goes.
void tbExportToExcelClick(TfrmMain *m)
{
    const QString f = office::privateOutputFolder() + QStringLiteral("/Grid-") +
                      QUuid::createUuid().toString(QUuid::Id128).left(8) + QStringLiteral(".xlsx");
    const WriteResult r = WriteGridWorkbook(*m->grid(), f);
    if (!r.ok)
        ui::Prompt::error(m, r.error.isEmpty() ? QStringLiteral("The workbook could not be written.") : r.error, m->windowTitle());
    else if (!office::openWithDesktop(f))
        ui::Prompt::error(m, QStringLiteral("Microsoft Office Excel is unavailable!"), m->windowTitle());
}

// The quick panel's user as a document, opened with the desktop's word processor.
void tbUserToWordClick(TfrmMain *m)
{
    TQuickPanel *panel = m->quickPanel();
    if (!panel || panel->currentDn().isEmpty())
        return;
    const QString f = office::privateOutputFolder() + QStringLiteral("/User-") + QUuid::createUuid().toString(QUuid::Id128).left(8) +
                      QStringLiteral(".docx");
    const WriteResult r = WritePanelUserDocument(*panel, f);
    if (!r.ok)
        ui::Prompt::error(m, r.error, m->windowTitle());
    else if (!office::openWithDesktop(f))
        ui::Prompt::error(m, QStringLiteral("Microsoft Office Word is unavailable!"), m->windowTitle());
}

// The panel's speed button does what the toolbar's does.
void sbUserToWordClick(TfrmMain *m) { tbUserToWordClick(m); }

}  // namespace

void wireMainWindow(TfrmMain &main)
{
    TfrmMain *m = &main;
    auto *toolbar = main.findChild<QToolBar *>(QStringLiteral("ToolBarGridFont"));
    if (!toolbar)
        return;
    auto add = [&](const char *name, const QString &text, const QString &hint, auto handler) {
        auto *a = new QAction(text, toolbar);
        a->setObjectName(QString::fromLatin1(name));
        a->setToolTip(hint);
        QObject::connect(a, &QAction::triggered, m, handler);
        toolbar->addAction(a);
        if (QWidget *w = toolbar->widgetForAction(a))
            w->setObjectName(QString::fromLatin1(name));
        return a;
    };
    add("tbSaveAsHTML", QStringLiteral("HTML"), QStringLiteral("Export Grid to HTML file"), [m] { tbSaveAsHTMLClick(m); });
    add("tbSaveAsCSV", QStringLiteral("CSV"), QStringLiteral("Export Grid to CSV file"), [m] { tbSaveAsCSVClick(m); });
    QAction *excel = add("tbExportToExcel", QStringLiteral("Excel"), QStringLiteral("Open Grid with Microsoft Office Excel"),
                         [m] { tbExportToExcelClick(m); });
    excel->setEnabled(OfficeAppAvailable(QStringLiteral("Excel.Application")));

    const bool word = OfficeAppAvailable(QStringLiteral("Word.Application"));
    QAction *tb = add("tbUserToWord", QStringLiteral("Word"), QStringLiteral("User Properties to Microsoft Office Word document"),
                      [m] { tbUserToWordClick(m); });
    tb->setEnabled(false);
    QToolButton *sb = nullptr;
    if (TQuickPanel *panel = main.quickPanel()) {
        panel->setWordAvailable(word);
        // The speed button beside the panel's property button.
        if (QWidget *detail = panel->findChild<QWidget *>(QStringLiteral("spUserProperiesDetail"));
            detail && detail->parentWidget() && qobject_cast<QBoxLayout *>(detail->parentWidget()->layout())) {
            sb = new QToolButton(detail->parentWidget());
            sb->setObjectName(QStringLiteral("sbUserToWord"));
            sb->setText(QStringLiteral("W"));
            sb->setToolTip(QStringLiteral("User Properties to Microsoft Office Word document"));
            sb->setEnabled(false);
            auto *box = qobject_cast<QBoxLayout *>(detail->parentWidget()->layout());
            box->insertWidget(box->indexOf(detail) + 1, sb);
            QObject::connect(sb, &QToolButton::clicked, m, [m] { sbUserToWordClick(m); });
        }
        QObject::connect(panel, &TQuickPanel::userButtonsChanged, tb, [tb, sb](bool, bool wordOn) {
            tb->setEnabled(wordOn);
            if (sb)
                sb->setEnabled(wordOn);
        });
    }
}

}  // namespace gridoutput
