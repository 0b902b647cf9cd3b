#include "fuzz_file_targets.h"

#include "bulk/exportengine.h"
#include "bulk/unColumnSets.h"
#include "platform/office/workbook.h"
#include "platform/office/zipparts.h"
#include "platform/registry/registry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace fuzz {

namespace {

// Shown when an invariant breaks (libFuzzer and the suite's driver keep the input too).
void require(bool condition, const char *what, const QByteArray &input)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz invariant broken: %s; input (hex): %s\n", what, input.toHex().constData());
        std::abort();
    }
}

// Files of the runs live in memory where the system offers it: every run writes a few.
QTemporaryDir &scratch()
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/arv-fuzz-XXXXXX")
                                                                        : QDir::tempPath() + QStringLiteral("/arv-fuzz-XXXXXX"));
    return dir;
}

QString scratchFile(const char *name)
{
    return scratch().filePath(QLatin1String(name));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A workbook of our own writer: the base whose parts the input replaces, and (with a date
// cell, so that it brings a number format) the sheet that is added.
QString ownWorkbook(const char *name, const char *sheet)
{
    const QString path = scratchFile(name);
    office::WorkbookWriter wb(path, false);
    QString error;
    wb.addSheet(QLatin1String(sheet), &error);
    wb.writeString(0, 0, QStringLiteral("head"), office::CellStyle::boldArial10());
    wb.writeDateTime(1, 0, 45000.25);
    wb.close(&error);
    return path;
}

}  // namespace

int existingWorkbook(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QString source = ownWorkbook("source.xlsx", "Users");
    static const QHash<QString, QByteArray> base = [] {
        QHash<QString, QByteArray> parts;
        office::ZipReader zip;
        if (zip.open(ownWorkbook("base.xlsx", "Existing"), nullptr))
            for (const QString &n : zip.names()) {
                QByteArray b;
                zip.read(n, &b);
                parts.insert(n, b);
            }
        return parts;
    }();
    static const char *const replaceable[] = {"xl/workbook.xml", "xl/_rels/workbook.xml.rels", "[Content_Types].xml",
                                              "xl/styles.xml"};
    const QString target = scratchFile("target.xlsx");
    const QByteArray rest = input.mid(1);
    if (std::uint8_t(input.at(0)) >= 4) {
        if (!writeFile(target, rest))
            return 0;
    } else {
        office::ZipWriter zip(target);
        if (!zip.open(nullptr))
            return 0;
        const QString replaced = QLatin1String(replaceable[std::uint8_t(input.at(0))]);
        for (auto it = base.constBegin(); it != base.constEnd(); ++it)
            zip.add(it.key(), it.key() == replaced ? rest : it.value());
        if (!zip.commit(nullptr))
            return 0;
    }
    QStringList before, after;
    QString error;
    const bool listed = office::workbookSheetNames(target, &before, &error);
    if (office::appendWorkbookSheets(target, source, &error)) {
        // A workbook that gained the sheet lists it behind its own.
        require(listed, "a workbook that gains a sheet had a readable sheet list", input);
        require(office::workbookSheetNames(target, &after, &error), "the sheet list reads after the merge", input);
        require(after == before + QStringList{QStringLiteral("Users")}, "the new sheet comes after the old ones", input);
    }
    return 0;
}

int columnSetRecords(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QString name;
    QList<qint32> keys;
    if (bulk::decodeColumnSet(input, &name, &keys)) {
        const QByteArray again = bulk::encodeColumnSet(name, keys);
        require(input.startsWith(again), "a decoded record encodes to the same bytes", input);
    }
    // In a private store beside a sound set: listing, reading and renaming never lose a set.
    registry::setStoreFile(scratchFile("columnsets.ini"));
    {
        registry::Key key;
        if (!key.open(bulk::kColumnSetKey, registry::Access::ReadWrite))
            return 0;
        for (const QString &v : key.valueNames())
            key.deleteValue(v);
        key.writeBinary(QStringLiteral("0"), bulk::encodeColumnSet(QStringLiteral("sound"), {1, 2}));
        key.writeBinary(QStringLiteral("1"), input);
    }
    const QList<bulk::ColumnSetInfo> sets = bulk::listColumnSets();
    require(sets.size() == 2, "every stored value is listed", input);
    const QList<bulk::ExportColumnItem> columns = bulk::readColumnSet(1);
    const int renamed = bulk::renameColumnSet(1, QStringLiteral("renamed"), columns);
    registry::Key key;
    require(key.open(bulk::kColumnSetKey, registry::Access::Read, false), "the store stays readable", input);
    if (renamed < 0)
        require(key.readBinary(QStringLiteral("1")) == input, "a rename that fails keeps the record", input);
    else
        require(!key.valueExists(QStringLiteral("1")) && bulk::readColumnSet(renamed) == columns,
                "a renamed set keeps its columns under its new number", input);
    require(bulk::readColumnSet(0).size() == 2, "the other set is untouched", input);
    return 0;
}

int htmlTemplateFiles(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString file = scratchFile("template.htf");
    if (!writeFile(file, input))
        return 0;
    bulk::ExportOptions o;
    QString error;
    if (!bulk::loadHtmlTemplateFile(file, &o.colours, &o.htmlFontName, &error))
        return 0;
    o.type = bulk::ExportType::Html;
    o.unicode = false;
    o.fileName = scratchFile("page.htm");
    bulk::ExportColumn cn;
    cn.ldapName = cn.caption = QStringLiteral("cn");
    bool once = true;
    const bulk::ExportResult r = bulk::ExportEngine().write({cn}, o, [&](QVariantList *row) {
        *row = {QStringLiteral("user")};
        return std::exchange(once, false);
    });
    require(r.ok, "a loaded template makes a page", input);
    QFile page(o.fileName);
    require(page.open(QIODevice::ReadOnly), "the page reads back", input);
    const QString html = QString::fromLatin1(page.readAll());
    // Whatever the template says, the style sheet ends where the program ends it and holds
    // its four rules: the font cannot close it, open a rule or start an element.
    static const QRegularExpression styleEnd(QStringLiteral("</style"), QRegularExpression::CaseInsensitiveOption);
    int ends = 0;
    for (auto it = styleEnd.globalMatch(html); it.hasNext(); it.next())
        ++ends;
    require(ends == 1, "one end of the style sheet", input);
    const qsizetype from = html.indexOf(QStringLiteral("<STYLE")), to = html.indexOf(styleEnd);
    const QString sheet = html.mid(from, to - from);
    require(sheet.count(QLatin1Char('{')) == 4 && sheet.count(QLatin1Char('}')) == 4, "four rules in the style sheet", input);
    require(sheet.count(QLatin1Char('<')) == 1, "no element inside the style sheet", input);
    return 0;
}

}  // namespace fuzz
