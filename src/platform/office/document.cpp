// A .docx document written directly: the main document, one footer and an optional picture.
#include "platform/office/workbook.h"
#include "platform/office/zipparts.h"

#include <QImage>
#include <QList>

namespace office {

namespace {

struct Run {
    QString text;
    RunStyle style;
};

QString esc(const QString &s)
{
    QString t = s;
    t.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    t.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    t.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    t.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    QString out;
    for (const QChar c : std::as_const(t))
        out += (c.unicode() < 0x20 && c != QLatin1Char('\t')) ? QChar(0xFFFD) : c;
    return out;
}

QString runXml(const Run &r)
{
    QString props;
    if (r.style.bold)
        props += QStringLiteral("<w:b/>");
    if (r.style.underline)
        props += QStringLiteral("<w:u w:val=\"single\"/>");
    if (r.style.colour != 0xFFFFFFFFu)
        props += QStringLiteral("<w:color w:val=\"%1\"/>").arg(QStringLiteral("%1").arg(r.style.colour, 6, 16, QLatin1Char('0')).toUpper());
    QString body;
    QString text = r.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            body += QStringLiteral("<w:br/>");
        if (!lines.at(i).isEmpty())
            body += QStringLiteral("<w:t xml:space=\"preserve\">%1</w:t>").arg(esc(lines.at(i)));
    }
    return QStringLiteral("<w:r>%1%2</w:r>").arg(props.isEmpty() ? QString() : QStringLiteral("<w:rPr>%1</w:rPr>").arg(props), body);
}

const char kNs[] =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
    "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"";

}  // namespace

struct DocumentWriter::Private {
    QList<QList<Run>> paragraphs;
    QByteArray picture;
    QString pictureName;
    double left = 0, top = 0, width = 0;
    QString footer;
};

DocumentWriter::DocumentWriter() : d(std::make_unique<Private>()) {}
DocumentWriter::~DocumentWriter() = default;

void DocumentWriter::addParagraph()
{
    d->paragraphs.append(QList<Run>());
}

void DocumentWriter::addRun(const QString &text, const RunStyle &style)
{
    if (d->paragraphs.isEmpty())
        addParagraph();
    d->paragraphs.last().append(Run{text, style});
}

void DocumentWriter::setPicture(const QByteArray &jpeg, const QString &name, double left, double top, double width)
{
    d->picture = jpeg;
    d->pictureName = name;
    d->left = left;
    d->top = top;
    d->width = width;
}

void DocumentWriter::setFooter(const QString &text)
{
    d->footer = text;
}

bool DocumentWriter::save(const QString &path, QString *error) const
{
    constexpr qint64 emuPerPoint = 12700;
    QString drawing;
    const QImage image = QImage::fromData(d->picture);
    const bool withPicture = !d->picture.isEmpty() && !image.isNull();
    if (withPicture) {
        const qint64 cx = qint64(d->width * emuPerPoint);
        const qint64 cy = image.width() > 0 ? cx * image.height() / image.width() : cx;
        drawing = QStringLiteral(
                      "<w:r><w:drawing><wp:anchor distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\" simplePos=\"0\" relativeHeight=\"1\" "
                      "behindDoc=\"0\" locked=\"0\" layoutInCell=\"1\" allowOverlap=\"1\"><wp:simplePos x=\"0\" y=\"0\"/>"
                      "<wp:positionH relativeFrom=\"page\"><wp:posOffset>%1</wp:posOffset></wp:positionH>"
                      "<wp:positionV relativeFrom=\"page\"><wp:posOffset>%2</wp:posOffset></wp:positionV>"
                      "<wp:extent cx=\"%3\" cy=\"%4\"/><wp:wrapNone/><wp:docPr id=\"1\" name=\"%5\"/>"
                      "<wp:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect=\"1\"/></wp:cNvGraphicFramePr>"
                      "<a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
                      "<pic:pic><pic:nvPicPr><pic:cNvPr id=\"1\" name=\"%5\"/><pic:cNvPicPr><a:picLocks noChangeAspect=\"1\"/></pic:cNvPicPr></pic:nvPicPr>"
                      "<pic:blipFill><a:blip r:embed=\"rIdPicture\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>"
                      "<pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"%3\" cy=\"%4\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom>"
                      "<a:ln><a:prstDash val=\"solid\"/></a:ln></pic:spPr></pic:pic></a:graphicData></a:graphic></wp:anchor></w:drawing></w:r>")
                      .arg(qint64(d->left * emuPerPoint))
                      .arg(qint64(d->top * emuPerPoint))
                      .arg(cx)
                      .arg(cy)
                      .arg(esc(d->pictureName));
    }
    QString body;
    for (int i = 0; i < d->paragraphs.size(); ++i) {
        body += QStringLiteral("<w:p>");
        if (i == 0)
            body += drawing;
        for (const Run &r : d->paragraphs.at(i))
            body += runXml(r);
        body += QStringLiteral("</w:p>");
    }
    if (d->paragraphs.isEmpty())
        body += QStringLiteral("<w:p>%1</w:p>").arg(drawing);
    const QString document = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<w:document %1><w:body>%2"
                                            "<w:sectPr><w:footerReference w:type=\"default\" r:id=\"rIdFooter\"/></w:sectPr></w:body></w:document>")
                                 .arg(QLatin1String(kNs), body);
    const QString footer = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<w:ftr %1><w:p>%2</w:p></w:ftr>")
                               .arg(QLatin1String(kNs), runXml({d->footer, {}}));
    QString rels = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                                  "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                                  "<Relationship Id=\"rIdFooter\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer\" Target=\"footer1.xml\"/>");
    if (withPicture)
        rels += QStringLiteral("<Relationship Id=\"rIdPicture\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" Target=\"media/image1.jpeg\"/>");
    rels += QStringLiteral("</Relationships>");
    const QString types = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Default Extension=\"jpeg\" ContentType=\"image/jpeg\"/>"
        "<Override PartName=\"/word/document.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
        "<Override PartName=\"/word/footer1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml\"/>"
        "</Types>");
    const QString rootRels = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
        "</Relationships>");
    ZipWriter zip(path);
    if (!zip.open(error))
        return false;
    bool ok = zip.add(QStringLiteral("[Content_Types].xml"), types.toUtf8()) && zip.add(QStringLiteral("_rels/.rels"), rootRels.toUtf8()) &&
              zip.add(QStringLiteral("word/document.xml"), document.toUtf8()) &&
              zip.add(QStringLiteral("word/_rels/document.xml.rels"), rels.toUtf8()) &&
              zip.add(QStringLiteral("word/footer1.xml"), footer.toUtf8());
    if (ok && withPicture)
        ok = zip.add(QStringLiteral("word/media/image1.jpeg"), d->picture);
    if (!ok) {
        if (error)
            *error = QStringLiteral("The document could not be assembled.");
        return false;
    }
    return zip.commit(error);
}

}  // namespace office
