// Adding sheets to an existing workbook: every part of the workbook is copied as it is;
// the workbook part, its relationships, the content types and the style sheet gain entries.
// The existing workbook is someone else's file: its parts are read with a size cap and
// rewritten through an XML reader, each in one pass, and whatever does not fit is refused.
#include "platform/office/workbook.h"
#include "platform/office/zipparts.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <limits>
#include <memory>
#include <tuple>

namespace office {

namespace {

const char kWorksheetType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
const char kWorksheetContent[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
const char kRelationshipsNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// The first number format id a workbook may define for itself.
constexpr qint64 kFirstCustomFormat = 164;
// Our own new sheet may be long; it is still read into memory whole.
constexpr qint64 kMaxOwnPartBytes = qint64(1) << 30;

// The prefix of an element as written ("x" of "x:sheets"), with its colon, or empty.
QString prefixOf(const QXmlStreamReader &r)
{
    return r.prefix().isEmpty() ? QString() : r.prefix().toString() + QLatin1Char(':');
}

// The relationships of a relationships part: id -> target.
bool relationships(const QByteArray &xml, QHash<QString, QString> *out)
{
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        const auto token = r.readNext();
        if (token == QXmlStreamReader::DTD)
            return false;
        if (token == QXmlStreamReader::StartElement && r.name() == QLatin1String("Relationship"))
            out->insert(r.attributes().value(QLatin1String("Id")).toString(), r.attributes().value(QLatin1String("Target")).toString());
    }
    return !r.hasError();
}

// What the merge needs to know of a style sheet, read in one pass.
struct StyleFacts {
    bool hasNumFmts = false;
    bool hasCellXfs = false;
    qint64 maxNumFmtId = -1;
    QList<QPair<qint64, QString>> numFmts;  // id, format code
    QList<qint64> cellXfFormats;            // the numFmtId of each xf of cellXfs
};

// False with the reason for damaged XML or a number format id that is not a number that fits.
bool styleFacts(const QByteArray &xml, StyleFacts *f, QString *why)
{
    QXmlStreamReader r(xml);
    // The element names from the root down to the current one.
    QStringList path;
    while (!r.atEnd()) {
        const auto token = r.readNext();
        if (token == QXmlStreamReader::DTD) {
            *why = QStringLiteral("it declares a document type");
            return false;
        }
        if (token == QXmlStreamReader::EndElement) {
            path.removeLast();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QString parent = path.isEmpty() ? QString() : path.last();
        path << r.name().toString();
        const bool top = path.size() == 2;
        if (top && r.name() == QLatin1String("numFmts"))
            f->hasNumFmts = true;
        else if (top && r.name() == QLatin1String("cellXfs"))
            f->hasCellXfs = true;
        const bool numFmt = path.size() == 3 && parent == QLatin1String("numFmts") && r.name() == QLatin1String("numFmt");
        const bool cellXf = path.size() == 3 && parent == QLatin1String("cellXfs") && r.name() == QLatin1String("xf");
        if (!numFmt && !cellXf)
            continue;
        const QStringView idText = r.attributes().value(QLatin1String("numFmtId"));
        bool ok = idText.isEmpty();
        const qint64 id = idText.isEmpty() ? 0 : idText.toLongLong(&ok);
        // Ids are unsigned 32-bit numbers; this program keeps to the signed range so that one
        // above the largest still fits.
        if (!ok || id < 0 || id >= std::numeric_limits<qint32>::max()) {
            *why = QStringLiteral("a number format id (%1) is not a number this program can use").arg(idText.left(32));
            return false;
        }
        if (numFmt) {
            f->maxNumFmtId = std::max(f->maxNumFmtId, id);
            f->numFmts.append({id, r.attributes().value(QLatin1String("formatCode")).toString()});
        } else {
            f->cellXfFormats << id;
        }
    }
    if (r.hasError()) {
        *why = QStringLiteral("%1 (line %2)").arg(r.errorString()).arg(r.lineNumber());
        return false;
    }
    return true;
}

}  // namespace

bool appendWorkbookSheets(const QString &target, const QString &source, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QString shown = QDir::toNativeSeparators(target);
    const QString notOurs = QStringLiteral("%1 is not a workbook this program can add a sheet to.").arg(shown);
    ZipReader t, s;
    if (!t.open(target, error) || !s.open(source, error))
        return false;
    // The target's parts: missing ones mean no workbook; larger ones are refused with the cap.
    QByteArray tWorkbook, tRels, tTypes, tStyles, sWorkbook, sRels, sStyles;
    for (auto [name, data, required] : {std::tuple{"xl/workbook.xml", &tWorkbook, true},
                                        std::tuple{"xl/_rels/workbook.xml.rels", &tRels, true},
                                        std::tuple{"[Content_Types].xml", &tTypes, true},
                                        std::tuple{"xl/styles.xml", &tStyles, false}}) {
        const QString part = QString::fromLatin1(name);
        if (!t.contains(part)) {
            if (required)
                return fail(notOurs);
            continue;
        }
        if (!t.read(part, data))
            return fail(t.error());
    }
    if (!s.read(QStringLiteral("xl/workbook.xml"), &sWorkbook) || !s.read(QStringLiteral("xl/_rels/workbook.xml.rels"), &sRels))
        return fail(QStringLiteral("The new sheet could not be read back."));
    s.read(QStringLiteral("xl/styles.xml"), &sStyles);

    auto damaged = [&](const char *part, const QString &why) {
        return fail(QStringLiteral("%1 is not a workbook this program can add a sheet to: its part %2 is damaged (%3).")
                        .arg(shown, QLatin1String(part), why));
    };
    SheetEntries tSheets, sSheets;
    if (!sheetEntries(tWorkbook, &tSheets))
        return damaged("xl/workbook.xml", QStringLiteral("no well-formed sheet list"));
    if (!sheetEntries(sWorkbook, &sSheets))
        return fail(QStringLiteral("The new sheet could not be read back."));
    for (const QString &n : std::as_const(sSheets.names))
        for (const QString &e : std::as_const(tSheets.names))
            if (n.compare(e, Qt::CaseInsensitive) == 0)
                return fail(QStringLiteral("The workbook already has a sheet named \"%1\".").arg(n));
    if (tSheets.maxSheetId < 0 || tSheets.maxSheetId + sSheets.names.size() >= std::numeric_limits<qint32>::max())
        return damaged("xl/workbook.xml", QStringLiteral("a sheet id out of range"));
    QHash<QString, QString> tRelIds, sRelTargets;
    if (!relationships(tRels, &tRelIds))
        return damaged("xl/_rels/workbook.xml.rels", QStringLiteral("no well-formed XML"));
    if (!relationships(sRels, &sRelTargets))
        return fail(QStringLiteral("The new sheet could not be read back."));

    // Style remapping: the new sheets' cell formats are appended to the target's cellXfs
    // with the target's default font, fill and border; custom number formats get new ids.
    QByteArray styles = tStyles;
    QHash<int, int> xfMap;
    if (!tStyles.isEmpty()) {
        StyleFacts ts, ss;
        QString why;
        if (!styleFacts(tStyles, &ts, &why))
            return damaged("xl/styles.xml", why);
        if (!styleFacts(sStyles, &ss, &why))
            return fail(QStringLiteral("The new sheet could not be read back."));
        qint64 nextFmt = std::max(kFirstCustomFormat, ts.maxNumFmtId + 1);
        if (nextFmt + ss.numFmts.size() >= std::numeric_limits<qint32>::max())
            return damaged("xl/styles.xml", QStringLiteral("no number format id left"));
        QHash<qint64, qint64> fmtMap;
        QList<QPair<qint64, QString>> newFmts;
        for (const auto &[id, code] : std::as_const(ss.numFmts)) {
            fmtMap.insert(id, nextFmt);
            newFmts.append({nextFmt++, code});
        }
        QList<qint64> newXfs;
        for (int i = 1; i < ss.cellXfFormats.size(); ++i) {
            xfMap.insert(i, int(ts.cellXfFormats.size() + newXfs.size()));
            newXfs << fmtMap.value(ss.cellXfFormats.at(i), ss.cellXfFormats.at(i));
        }
        if (!newXfs.isEmpty() && !ts.hasCellXfs)
            return fail(QStringLiteral("The style sheet of %1 has no cell formats.").arg(shown));
        auto writeFmts = [&](QXmlStreamWriter &w, const QString &prefix) {
            for (const auto &[id, code] : std::as_const(newFmts)) {
                w.writeEmptyElement(prefix + QStringLiteral("numFmt"));
                w.writeAttribute(QStringLiteral("numFmtId"), QString::number(id));
                w.writeAttribute(QStringLiteral("formatCode"), code);
            }
        };
        XmlEdit edit;
        int depth = 0;  // of the element last started, the style sheet itself at 1
        edit.attributes = [&](const QXmlStreamReader &r, QXmlStreamAttributes &attrs) {
            if (depth != 1 || (r.name() != QLatin1String("numFmts") && r.name() != QLatin1String("cellXfs")))
                return;
            const qsizetype count = r.name() == QLatin1String("numFmts") ? ts.numFmts.size() + newFmts.size()
                                                                          : ts.cellXfFormats.size() + newXfs.size();
            QXmlStreamAttributes kept;
            for (const QXmlStreamAttribute &a : std::as_const(attrs))
                if (a.qualifiedName() != QLatin1String("count"))
                    kept.append(a);
            kept.append(QStringLiteral("count"), QString::number(count));
            attrs = kept;
        };
        edit.afterStart = [&](const QXmlStreamReader &r, QXmlStreamWriter &w) {
            ++depth;
            // numFmts comes first in a style sheet; one the workbook lacks is put there.
            if (depth == 1 && !ts.hasNumFmts && !newFmts.isEmpty()) {
                w.writeStartElement(prefixOf(r) + QStringLiteral("numFmts"));
                w.writeAttribute(QStringLiteral("count"), QString::number(newFmts.size()));
                writeFmts(w, prefixOf(r));
                w.writeEndElement();
            }
        };
        edit.beforeEnd = [&](const QXmlStreamReader &r, QXmlStreamWriter &w) {
            if (depth-- != 2)
                return;
            if (r.name() == QLatin1String("numFmts"))
                writeFmts(w, prefixOf(r));
            else if (r.name() == QLatin1String("cellXfs"))
                for (const qint64 fmt : std::as_const(newXfs)) {
                    w.writeEmptyElement(prefixOf(r) + QStringLiteral("xf"));
                    w.writeAttribute(QStringLiteral("numFmtId"), QString::number(fmt));
                    for (const char *a : {"fontId", "fillId", "borderId", "xfId"})
                        w.writeAttribute(QLatin1String(a), QStringLiteral("0"));
                    if (fmt)
                        w.writeAttribute(QStringLiteral("applyNumberFormat"), QStringLiteral("1"));
                }
        };
        if (!copyXml(tStyles, &styles, edit, &why))
            return damaged("xl/styles.xml", why);
    }

    QSet<QString> taken;
    for (const QString &n : t.names())
        taken.insert(n.toLower());
    struct NewSheet {
        QString name, part, relId;
        qint64 sheetId;
    };
    QList<NewSheet> added;
    QHash<QString, QByteArray> newParts;
    qint64 sheetId = tSheets.maxSheetId;
    int relNumber = 0;
    for (int i = 0; i < sSheets.names.size(); ++i) {
        QString part = sRelTargets.value(sSheets.relIds.at(i));
        if (part.startsWith(QLatin1Char('/')))
            part = part.mid(1);
        else
            part = QStringLiteral("xl/") + part;
        QByteArray sheetXml;
        if (!s.read(part, &sheetXml, kMaxOwnPartBytes))
            return fail(QStringLiteral("The new sheet could not be read back."));
        if (!xfMap.isEmpty()) {
            // Our own sheet, written by the workbook writer: its cells' style numbers move.
            QString x = QString::fromUtf8(sheetXml);
            static const QRegularExpression sRe(QStringLiteral("(<c\\b[^>]*?\\bs=\")(\\d+)(\")"));
            QString out;
            int last = 0;
            for (auto it = sRe.globalMatch(x); it.hasNext();) {
                const auto m = it.next();
                out += QStringView(x).mid(last, m.capturedStart(2) - last);
                out += QString::number(xfMap.value(m.captured(2).toInt(), 0));
                last = m.capturedEnd(2);
            }
            out += QStringView(x).mid(last);
            sheetXml = out.toUtf8();
        }
        int n = 1;
        QString name;
        do
            name = QStringLiteral("xl/worksheets/sheet%1.xml").arg(n++);
        while (taken.contains(name.toLower()));
        taken.insert(name.toLower());
        newParts.insert(name, sheetXml);
        QString rid;
        do
            rid = QStringLiteral("rIdArv%1").arg(++relNumber);
        while (tRelIds.contains(rid));
        added.append({sSheets.names.at(i), name, rid, ++sheetId});
    }

    QString why;
    QByteArray workbook, rels, types;
    XmlEdit sheetsEdit;
    int depth = 0;
    sheetsEdit.afterStart = [&](const QXmlStreamReader &, QXmlStreamWriter &) { ++depth; };
    sheetsEdit.beforeEnd = [&](const QXmlStreamReader &r, QXmlStreamWriter &w) {
        if (depth-- != 2 || r.name() != QLatin1String("sheets"))
            return;
        for (const NewSheet &a : std::as_const(added)) {
            w.writeEmptyElement(prefixOf(r) + QStringLiteral("sheet"));
            w.writeAttribute(QStringLiteral("xmlns:arvr"), QLatin1String(kRelationshipsNs));
            w.writeAttribute(QStringLiteral("name"), a.name);
            w.writeAttribute(QStringLiteral("sheetId"), QString::number(a.sheetId));
            w.writeAttribute(QStringLiteral("arvr:id"), a.relId);
        }
    };
    bool sawSheets = false;
    sheetsEdit.attributes = [&](const QXmlStreamReader &r, QXmlStreamAttributes &) {
        sawSheets = sawSheets || r.name() == QLatin1String("sheets");
    };
    if (!copyXml(tWorkbook, &workbook, sheetsEdit, &why))
        return damaged("xl/workbook.xml", why);
    if (!sawSheets)
        return fail(QStringLiteral("%1 has no sheet list.").arg(shown));

    // New entries go last inside the root element of the relationships and content types.
    auto atRootEnd = [](const std::function<void(const QXmlStreamReader &, QXmlStreamWriter &)> &add) {
        auto depth = std::make_shared<int>(0);
        XmlEdit e;
        e.afterStart = [depth](const QXmlStreamReader &, QXmlStreamWriter &) { ++*depth; };
        e.beforeEnd = [depth, add](const QXmlStreamReader &r, QXmlStreamWriter &w) {
            if ((*depth)-- == 1)
                add(r, w);
        };
        return e;
    };
    const XmlEdit relsEdit = atRootEnd([&](const QXmlStreamReader &r, QXmlStreamWriter &w) {
        for (const NewSheet &a : std::as_const(added)) {
            w.writeEmptyElement(prefixOf(r) + QStringLiteral("Relationship"));
            w.writeAttribute(QStringLiteral("Id"), a.relId);
            w.writeAttribute(QStringLiteral("Type"), QLatin1String(kWorksheetType));
            w.writeAttribute(QStringLiteral("Target"), a.part.mid(3));
        }
    });
    if (!copyXml(tRels, &rels, relsEdit, &why))
        return damaged("xl/_rels/workbook.xml.rels", why);
    const XmlEdit typesEdit = atRootEnd([&](const QXmlStreamReader &r, QXmlStreamWriter &w) {
        for (const NewSheet &a : std::as_const(added)) {
            w.writeEmptyElement(prefixOf(r) + QStringLiteral("Override"));
            w.writeAttribute(QStringLiteral("PartName"), QLatin1Char('/') + a.part);
            w.writeAttribute(QStringLiteral("ContentType"), QLatin1String(kWorksheetContent));
        }
    });
    if (!copyXml(tTypes, &types, typesEdit, &why))
        return damaged("[Content_Types].xml", why);

    ZipWriter out(target);
    if (!out.open(error))
        return false;
    for (const QString &n : t.names()) {
        bool ok;
        if (n == QLatin1String("xl/workbook.xml"))
            ok = out.add(n, workbook);
        else if (n == QLatin1String("xl/_rels/workbook.xml.rels"))
            ok = out.add(n, rels);
        else if (n == QLatin1String("[Content_Types].xml"))
            ok = out.add(n, types);
        else if (n == QLatin1String("xl/styles.xml") && !styles.isEmpty())
            ok = out.add(n, styles);
        else
            ok = out.copy(t, n);  // the compressed bytes as they are: nothing is unpacked
        if (!ok)
            return fail(QStringLiteral("%1 could not be copied.").arg(n));
    }
    for (auto it = newParts.constBegin(); it != newParts.constEnd(); ++it)
        if (!out.add(it.key(), it.value()))
            return fail(QStringLiteral("The new sheet could not be added."));
    return out.commit(error);
}

}  // namespace office
