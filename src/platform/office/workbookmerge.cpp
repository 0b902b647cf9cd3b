// Adding sheets to an existing workbook: every part of the workbook is copied as it is;
// the workbook part, its relationships, the content types and the style sheet gain entries.
#include "platform/office/workbook.h"
#include "platform/office/zipparts.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace office {

namespace {

const char kWorksheetType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
const char kWorksheetContent[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";

QString xmlAttr(const QString &s)
{
    QString t = s;
    t.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    t.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    t.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    return t;
}

// The target of a relationship id in a relationships part.
QString relTarget(const QByteArray &rels, const QString &id)
{
    const QRegularExpression re(QStringLiteral("<Relationship\\b[^>]*>"));
    for (auto it = re.globalMatch(QString::fromUtf8(rels)); it.hasNext();) {
        const QString el = it.next().captured(0);
        const auto idm = QRegularExpression(QStringLiteral("\\bId=\"([^\"]*)\"")).match(el);
        if (idm.hasMatch() && idm.captured(1) == id) {
            const auto t = QRegularExpression(QStringLiteral("\\bTarget=\"([^\"]*)\"")).match(el);
            return t.captured(1);
        }
    }
    return QString();
}

// The <numFmt> and <xf> elements of a style sheet's numFmts and cellXfs.
struct Styles {
    QStringList numFmts;  // whole elements
    QStringList cellXfs;  // whole elements
};

Styles readStyles(const QString &xml)
{
    Styles s;
    const auto nf = QRegularExpression(QStringLiteral("<numFmts\\b[^>]*>(.*?)</numFmts>"),
                                       QRegularExpression::DotMatchesEverythingOption).match(xml);
    if (nf.hasMatch())
        for (auto it = QRegularExpression(QStringLiteral("<numFmt\\b[^>]*/>")).globalMatch(nf.captured(1)); it.hasNext();)
            s.numFmts << it.next().captured(0);
    const auto cx = QRegularExpression(QStringLiteral("<cellXfs\\b[^>]*>(.*?)</cellXfs>"),
                                       QRegularExpression::DotMatchesEverythingOption).match(xml);
    if (cx.hasMatch())
        for (auto it = QRegularExpression(QStringLiteral("<xf\\b[^>]*?(/>|>.*?</xf>)"),
                                          QRegularExpression::DotMatchesEverythingOption).globalMatch(cx.captured(1));
             it.hasNext();)
            s.cellXfs << it.next().captured(0);
    return s;
}

int attrInt(const QString &el, const char *name)
{
    const auto m = QRegularExpression(QStringLiteral("\\b%1=\"(\\d+)\"").arg(QLatin1String(name))).match(el);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString setAttr(QString el, const char *name, const QString &value)
{
    const QRegularExpression re(QStringLiteral("\\b%1=\"[^\"]*\"").arg(QLatin1String(name)));
    if (re.match(el).hasMatch())
        return el.replace(re, QStringLiteral("%1=\"%2\"").arg(QLatin1String(name), value));
    const int at = el.indexOf(QLatin1Char(' ')) > 0 ? el.indexOf(QLatin1Char(' ')) : el.indexOf(QLatin1Char('/'));
    return el.insert(at, QStringLiteral(" %1=\"%2\"").arg(QLatin1String(name), value));
}

}  // namespace

bool appendWorkbookSheets(const QString &target, const QString &source, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    ZipReader t, s;
    if (!t.open(target, error) || !s.open(source, error))
        return false;
    QByteArray tWorkbook, tRels, tTypes, tStyles, sWorkbook, sRels, sStyles;
    if (!t.read(QStringLiteral("xl/workbook.xml"), &tWorkbook) || !t.read(QStringLiteral("xl/_rels/workbook.xml.rels"), &tRels) ||
        !t.read(QStringLiteral("[Content_Types].xml"), &tTypes))
        return fail(QStringLiteral("%1 is not a workbook this program can add a sheet to.").arg(QDir::toNativeSeparators(target)));
    if (!s.read(QStringLiteral("xl/workbook.xml"), &sWorkbook) || !s.read(QStringLiteral("xl/_rels/workbook.xml.rels"), &sRels))
        return fail(QStringLiteral("The new sheet could not be read back."));
    t.read(QStringLiteral("xl/styles.xml"), &tStyles);
    s.read(QStringLiteral("xl/styles.xml"), &sStyles);

    const SheetEntries tSheets = sheetEntries(tWorkbook);
    const SheetEntries sSheets = sheetEntries(sWorkbook);
    for (const QString &n : sSheets.names)
        for (const QString &e : tSheets.names)
            if (n.compare(e, Qt::CaseInsensitive) == 0)
                return fail(QStringLiteral("The workbook already has a sheet named \"%1\".").arg(n));

    // Style remapping: the new sheets' cell formats are appended to the target's cellXfs
    // with the target's default font, fill and border; custom number formats get new ids.
    QString styles = QString::fromUtf8(tStyles);
    QHash<int, int> xfMap;
    if (!styles.isEmpty()) {
        const Styles ts = readStyles(styles), ss = readStyles(QString::fromUtf8(sStyles));
        int nextFmt = 164;
        for (const QString &f : ts.numFmts)
            nextFmt = std::max(nextFmt, attrInt(f, "numFmtId") + 1);
        QHash<int, int> fmtMap;
        QStringList newFmts;
        for (const QString &f : ss.numFmts) {
            const int id = attrInt(f, "numFmtId");
            fmtMap.insert(id, nextFmt);
            newFmts << setAttr(f, "numFmtId", QString::number(nextFmt++));
        }
        QStringList newXfs;
        for (int i = 1; i < ss.cellXfs.size(); ++i) {
            int fmt = attrInt(ss.cellXfs.at(i), "numFmtId");
            fmt = fmtMap.value(fmt, fmt);
            xfMap.insert(i, int(ts.cellXfs.size() + newXfs.size()));
            newXfs << QStringLiteral("<xf numFmtId=\"%1\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"%2/>")
                          .arg(fmt).arg(fmt ? QStringLiteral(" applyNumberFormat=\"1\"") : QString());
        }
        if (!newFmts.isEmpty()) {
            const QRegularExpression nfRe(QStringLiteral("<numFmts\\b[^>]*>(.*?)</numFmts>"), QRegularExpression::DotMatchesEverythingOption);
            const auto m = nfRe.match(styles);
            const int count = int(ts.numFmts.size() + newFmts.size());
            if (m.hasMatch()) {
                styles.replace(m.capturedStart(0), m.capturedLength(0),
                               QStringLiteral("<numFmts count=\"%1\">%2%3</numFmts>").arg(count).arg(m.captured(1), newFmts.join(QString())));
            } else {
                const int at = styles.indexOf(QRegularExpression(QStringLiteral("<styleSheet\\b[^>]*>")));
                const int end = styles.indexOf(QLatin1Char('>'), at) + 1;
                styles.insert(end, QStringLiteral("<numFmts count=\"%1\">%2</numFmts>").arg(count).arg(newFmts.join(QString())));
            }
        }
        if (!newXfs.isEmpty()) {
            const QRegularExpression cxRe(QStringLiteral("<cellXfs\\b[^>]*>(.*?)</cellXfs>"), QRegularExpression::DotMatchesEverythingOption);
            const auto m = cxRe.match(styles);
            if (!m.hasMatch())
                return fail(QStringLiteral("The style sheet of %1 has no cell formats.").arg(QDir::toNativeSeparators(target)));
            styles.replace(m.capturedStart(0), m.capturedLength(0),
                           QStringLiteral("<cellXfs count=\"%1\">%2%3</cellXfs>")
                               .arg(ts.cellXfs.size() + newXfs.size())
                               .arg(m.captured(1), newXfs.join(QString())));
        }
    }

    QSet<QString> taken;
    for (const QString &n : t.names())
        taken.insert(n.toLower());
    QString workbook = QString::fromUtf8(tWorkbook), rels = QString::fromUtf8(tRels), types = QString::fromUtf8(tTypes);
    const int sheetsEnd = workbook.indexOf(QLatin1String("</sheets>"));
    if (sheetsEnd < 0)
        return fail(QStringLiteral("%1 has no sheet list.").arg(QDir::toNativeSeparators(target)));
    QString newSheets, newRels, newTypes;
    QHash<QString, QByteArray> newParts;
    int sheetId = tSheets.maxSheetId;
    for (int i = 0; i < sSheets.names.size(); ++i) {
        QString part = relTarget(sRels, sSheets.relIds.at(i));
        if (part.startsWith(QLatin1Char('/')))
            part = part.mid(1);
        else
            part = QStringLiteral("xl/") + part;
        QByteArray sheetXml;
        if (!s.read(part, &sheetXml))
            return fail(QStringLiteral("The new sheet could not be read back."));
        if (!xfMap.isEmpty()) {
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
        ++sheetId;
        const QString rid = QStringLiteral("rIdArv%1").arg(sheetId);
        newSheets += QStringLiteral("<sheet xmlns:arvr=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
                                    "name=\"%1\" sheetId=\"%2\" arvr:id=\"%3\"/>")
                         .arg(xmlAttr(sSheets.names.at(i)))
                         .arg(sheetId)
                         .arg(rid);
        newRels += QStringLiteral("<Relationship Id=\"%1\" Type=\"%2\" Target=\"%3\"/>")
                       .arg(rid, QLatin1String(kWorksheetType), name.mid(3));
        newTypes += QStringLiteral("<Override PartName=\"/%1\" ContentType=\"%2\"/>").arg(name, QLatin1String(kWorksheetContent));
    }
    workbook.insert(sheetsEnd, newSheets);
    const int relsEnd = rels.lastIndexOf(QLatin1String("</Relationships>"));
    const int typesEnd = types.lastIndexOf(QLatin1String("</Types>"));
    if (relsEnd < 0 || typesEnd < 0)
        return fail(QStringLiteral("%1 is not a workbook this program can add a sheet to.").arg(QDir::toNativeSeparators(target)));
    rels.insert(relsEnd, newRels);
    types.insert(typesEnd, newTypes);

    ZipWriter out(target);
    if (!out.open(error))
        return false;
    for (const QString &n : t.names()) {
        bool ok;
        if (n == QLatin1String("xl/workbook.xml"))
            ok = out.add(n, workbook.toUtf8());
        else if (n == QLatin1String("xl/_rels/workbook.xml.rels"))
            ok = out.add(n, rels.toUtf8());
        else if (n == QLatin1String("[Content_Types].xml"))
            ok = out.add(n, types.toUtf8());
        else if (n == QLatin1String("xl/styles.xml") && !styles.isEmpty())
            ok = out.add(n, styles.toUtf8());
        else
            ok = out.copy(t, n);
        if (!ok)
            return fail(QStringLiteral("%1 could not be copied.").arg(n));
    }
    for (auto it = newParts.constBegin(); it != newParts.constEnd(); ++it)
        if (!out.add(it.key(), it.value()))
            return fail(QStringLiteral("The new sheet could not be added."));
    return out.commit(error);
}

}  // namespace office
