#include "platform/office/workbook.h"
#include "platform/office/zipparts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamReader>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstring>

namespace office {

QString checkSheetName(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("A sheet name can't be empty.");
    if (name.size() > kMaxSheetNameLength)
        return QStringLiteral("A sheet name can be up to 31 characters long.");
    for (const QChar c : name)
        if (QStringLiteral("\\/?*[]:").contains(c))
            return QStringLiteral("A sheet name must not contain any of \\ / ? * [ ] :");
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
        return QStringLiteral("A sheet name must not start or end with an apostrophe.");
    return QString();
}

// --- WorkbookWriter -----------------------------------------------------------------------

struct WorkbookWriter::Private {
    QString path;
    std::unique_ptr<files::ReplacementFile> out;
    QString tempPath;
    QByteArray tempPathBytes;
    QByteArray tmpDir;
    bool constantMemory = true;
    lxw_workbook *workbook = nullptr;
    lxw_worksheet *sheet = nullptr;
    lxw_format *dateFormat = nullptr;
    QHash<QString, lxw_format *> formats;
    QStringList sheetNames;
    QList<int> lastRows;  // per sheet: 1-based number of the last row written, 0 for none
    QString error;

    void wrote(int row)
    {
        if (!lastRows.isEmpty())
            lastRows.last() = std::max(lastRows.last(), row + 1);
    }

    lxw_format *format(const CellStyle &s)
    {
        if (!s.bold && !s.underline && s.fontSize <= 0 && s.fontName.isEmpty())
            return nullptr;
        const QString k = QStringLiteral("%1|%2|%3|%4").arg(s.bold).arg(s.underline).arg(s.fontSize).arg(s.fontName);
        auto it = formats.constFind(k);
        if (it != formats.constEnd())
            return it.value();
        lxw_format *f = workbook_add_format(workbook);
        if (s.bold)
            format_set_bold(f);
        if (s.underline)
            format_set_underline(f, LXW_UNDERLINE_SINGLE);
        if (s.fontSize > 0)
            format_set_font_size(f, s.fontSize);
        if (!s.fontName.isEmpty())
            format_set_font_name(f, s.fontName.toUtf8().constData());
        formats.insert(k, f);
        return f;
    }
    void note(lxw_error e, int row, int column)
    {
        if (e == LXW_NO_ERROR || !error.isEmpty())
            return;
        if (e == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
            error = QStringLiteral("The text of cell %1 of row %2 is longer than the 32,767 characters a cell can hold.")
                        .arg(column + 1).arg(row + 1);
        else
            error = QStringLiteral("Row %1, column %2: %3").arg(row + 1).arg(column + 1).arg(QString::fromUtf8(lxw_strerror(e)));
    }
    // Every sheet part is well-formed XML whose last row is the last row written.
    bool sheetsComplete(const ZipReader &zip) const
    {
        for (int i = 0; i < sheetNames.size(); ++i) {
            QXmlStreamReader x;
            int lastRow = 0;
            bool ok = zip.stream(QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1), [&](const QByteArray &chunk) {
                x.addData(chunk);
                while (!x.atEnd()) {
                    if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("row"))
                        lastRow = x.attributes().value(QLatin1String("r")).toInt();
                }
            });
            // Fed the whole part, a reader still waiting for more has met a cut-off document.
            if (!ok || x.hasError() || lastRow != lastRows.value(i, 0))
                return false;
        }
        return true;
    }
    void removeTemp()
    {
        if (out)
            out->discard();
        out.reset();
    }
};

WorkbookWriter::WorkbookWriter(const QString &path, bool constantMemory) : d(std::make_unique<Private>())
{
    d->path = path;
    d->constantMemory = constantMemory;
}

WorkbookWriter::~WorkbookWriter()
{
    discard();
}

QString WorkbookWriter::path() const
{
    return d->path;
}

bool WorkbookWriter::addSheet(const QString &name, QString *error)
{
    const QString why = checkSheetName(name);
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    for (const QString &n : std::as_const(d->sheetNames))
        if (n.compare(name, Qt::CaseInsensitive) == 0) {
            if (error)
                *error = QStringLiteral("The workbook already has a sheet named \"%1\".").arg(name);
            return false;
        }
    if (!d->workbook) {
        const QFileInfo fi(d->path);
        const QString dir = fi.absolutePath();
        if (!QFileInfo(dir).isDir()) {
            if (error)
                *error = QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(dir));
            return false;
        }
        d->out = std::make_unique<files::ReplacementFile>(d->path);
        if (!d->out->create(error)) {
            d->out.reset();
            return false;
        }
        d->out->closeHandle();
        d->tempPath = d->out->tempPath();
        d->tempPathBytes = QFile::encodeName(d->tempPath);
        d->tmpDir = QFile::encodeName(QDir::tempPath());
        lxw_workbook_options options{};
        options.constant_memory = d->constantMemory ? LXW_TRUE : LXW_FALSE;
        options.tmpdir = d->tmpDir.data();
        d->workbook = workbook_new_opt(d->tempPathBytes.constData(), &options);
        if (!d->workbook) {
            if (error)
                *error = QStringLiteral("The workbook %1 could not be created.").arg(QDir::toNativeSeparators(d->path));
            d->removeTemp();
            d->tempPath.clear();
            return false;
        }
        d->dateFormat = workbook_add_format(d->workbook);
        format_set_num_format(d->dateFormat, "yyyy-mm-dd hh:mm:ss");
    }
    d->sheet = workbook_add_worksheet(d->workbook, name.toUtf8().constData());
    if (!d->sheet) {
        if (error)
            *error = QStringLiteral("The sheet \"%1\" could not be added.").arg(name);
        return false;
    }
    d->sheetNames << name;
    d->lastRows << 0;
    return true;
}

void WorkbookWriter::writeString(int row, int column, const QString &text, const CellStyle &style)
{
    if (!d->sheet)
        return;
    QByteArray utf8;
    lxw_error e = LXW_NO_ERROR;
    if (text.size() > kMaxCellTextLength) {
        e = LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED;
        d->note(e, row, column);
        utf8 = text.left(kMaxCellTextLength).toUtf8();
    } else {
        utf8 = text.toUtf8();
    }
    if (utf8.isEmpty() && !style.bold)
        return;
    d->note(worksheet_write_string(d->sheet, row, column, utf8.constData(), d->format(style)), row, column);
    d->wrote(row);
}

void WorkbookWriter::writeNumber(int row, int column, double value, const CellStyle &style)
{
    if (d->sheet)
        d->note(worksheet_write_number(d->sheet, row, column, value, d->format(style)), row, column);
    d->wrote(row);
}

void WorkbookWriter::writeBoolean(int row, int column, bool value)
{
    if (d->sheet)
        d->note(worksheet_write_boolean(d->sheet, row, column, value ? 1 : 0, nullptr), row, column);
    d->wrote(row);
}

void WorkbookWriter::writeDateTime(int row, int column, double dayCount)
{
    if (d->sheet)
        d->note(worksheet_write_number(d->sheet, row, column, dayCount, d->dateFormat), row, column);
    d->wrote(row);
}

void WorkbookWriter::setColumnWidth(int column, double width)
{
    if (d->sheet)
        worksheet_set_column(d->sheet, column, column, width, nullptr);
}

QString WorkbookWriter::error() const
{
    return d->error;
}

bool WorkbookWriter::close(QString *error)
{
    if (!d->workbook) {
        if (error)
            *error = QStringLiteral("The workbook has no sheet.");
        return false;
    }
    errno = 0;
    const lxw_error e = workbook_close(d->workbook);
    const int savedErrno = errno;
    d->workbook = nullptr;
    d->sheet = nullptr;
    d->formats.clear();
    QString why = d->error;
    if (why.isEmpty() && e != LXW_NO_ERROR) {
        why = QStringLiteral("The workbook %1 could not be written: %2")
                  .arg(QDir::toNativeSeparators(d->path), QString::fromUtf8(lxw_strerror(e)));
        if (savedErrno != 0)
            why += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(savedErrno)));
    }
    if (why.isEmpty() && !QFileInfo::exists(d->tempPath))
        why = QStringLiteral("The workbook %1 could not be written.").arg(QDir::toNativeSeparators(d->path));
    if (why.isEmpty()) {
        // The library does not see every failed write (a full disk can leave a cut-off
        // file behind a success): the finished package must read back whole.
        ZipReader check;
        QString zipError;
        if (!check.open(d->tempPath, &zipError, true) || !d->sheetsComplete(check))
            why = QStringLiteral("The workbook %1 could not be written completely (is the disk full?).")
                      .arg(QDir::toNativeSeparators(d->path));
    }
    if (why.isEmpty()) {
        QString renameError;
        if (!d->out->commit(&renameError))
            why = renameError;
    }
    if (!why.isEmpty()) {
        d->removeTemp();
        d->tempPath.clear();
        if (error)
            *error = why;
        return false;
    }
    d->out.reset();
    d->tempPath.clear();
    return true;
}

void WorkbookWriter::discard()
{
    if (d->workbook) {
        // libxlsxwriter has no abandon call: finish into the temporary name, then remove it.
        workbook_close(d->workbook);
        d->workbook = nullptr;
        d->sheet = nullptr;
    }
    d->removeTemp();
    d->tempPath.clear();
}

// --- Reading sheet names ------------------------------------------------------------------

bool workbookSheetNames(const QString &path, QStringList *names, QString *error)
{
    ZipReader zip;
    if (!zip.open(path, error))
        return false;
    QByteArray workbook;
    if (!zip.read(QStringLiteral("xl/workbook.xml"), &workbook)) {
        if (error)
            *error = zip.contains(QStringLiteral("xl/workbook.xml"))
                         ? zip.error()
                         : QStringLiteral("%1 is not a workbook.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    SheetEntries sheets;
    if (!sheetEntries(workbook, &sheets)) {
        if (error)
            *error = QStringLiteral("%1 is not a workbook this program can read: its sheet list is damaged.")
                         .arg(QDir::toNativeSeparators(path));
        return false;
    }
    *names = sheets.names;
    return true;
}

// --- Files held open -----------------------------------------------------------------------

bool fileHeldOpen(const QString &path, QString *reason)
{
    const QFileInfo fi(path);
    // Only a regular file can be held: anything else is refused by its reader, unopened.
    if (!fi.isFile())
        return false;
    const QString lock = fi.absolutePath() + QStringLiteral("/.~lock.") + fi.fileName() + QLatin1Char('#');
    if (QFileInfo::exists(lock)) {
        if (reason)
            *reason = QStringLiteral("The process cannot access the file because it is being used by another process.");
        return true;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        if (reason)
            *reason = f.errorString();
        return true;
    }
    return false;
}

QString privateOutputFolder()
{
    static QTemporaryDir *dir = [] {
        auto *d = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/arvendel-XXXXXX"));
        QFile::setPermissions(d->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return d;
    }();
    return dir->path();
}

}  // namespace office
