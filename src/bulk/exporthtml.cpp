// Export as an HTML table.
#include "bulk/exportwriter.h"

#include <QStringBuilder>

namespace bulk {

namespace {

class HtmlWriter : public TextWriter {
public:
    using TextWriter::TextWriter;
    void row(const QVariantList &v) override
    {
        if (!started)
            head();
        sink.writeLine(rows % 2 == 0 ? QStringLiteral(" <tr class=\"TQelRows\">") : QStringLiteral(" <tr class=\"TQelOddRows\">"));
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant value = at(v, i);
            if (!value.isValid()) {
                sink.writeLine(QStringLiteral("  <td nowrap>&nbsp;</td>"));
                continue;
            }
            if (value.metaType().id() == QMetaType::QVariantList) {
                QStringList parts;
                for (const QVariant &e : value.toList())
                    parts << htmlText(valueToText(e, TextMode::Display, opt, QString(), isGroupType(i)).text);
                sink.writeLine(QStringLiteral("  <td nowrap>"));
                sink.writeLine(parts.join(QStringLiteral("<br>")) + QStringLiteral("</td>"));
                continue;
            }
            sink.writeLine(QStringLiteral("  <td nowrap>"));
            sink.writeLine(htmlText(valueToText(value, TextMode::Display, opt, QString(), isGroupType(i)).text));
            sink.writeLine(QStringLiteral("  </td>"));
        }
        sink.writeLine(QStringLiteral(" </tr>"));
        ++rows;
    }

protected:
    QString closingText() const override { return QStringLiteral("</Table>\r\n</BODY>\r\n</HTML>"); }

private:
    void head()
    {
        started = true;
        const HtmlColours &c = opt.colours;
        // The font may come from a template file someone else made.
        const QString font = cssFontFamily(opt.htmlFontName);
        sink.writeLine(QStringLiteral("<HTML>"));
        sink.writeLine(QStringLiteral("<HEAD>"));
        sink.writeLine(QStringLiteral("<Title>%1</Title>").arg(xmlEscape(opt.htmlTitle, false)));
        if (!opt.xmlEncoding.isEmpty()) {
            QString cs = declaredEncoding(opt).trimmed().toLower();
            if (cs.isEmpty())
                cs = QStringLiteral("windows-1252");
            sink.writeLine(QStringLiteral("<META Http-Equiv=\"Content-Type\" Content=\"text/html; charset=%1\">").arg(cs));
        }
        sink.writeLine(QStringLiteral("<META Http-Equiv=\"Cache-Control\" Content=\"no-cache, must-revalidate\">"));
        sink.writeLine(QStringLiteral("<META Http-Equiv=\"Pragma\" Content=\"no-cache\">"));
        sink.writeLine(QStringLiteral("<STYLE type=\"text/css\">"));
        sink.writeLine(QStringLiteral("  BODY {"));
        sink.writeLine(QStringLiteral("         background: ") + htmlColour(c.background) + QLatin1Char(';'));
        sink.writeLine(QStringLiteral("         color: ") + htmlColour(c.text) + QLatin1Char(';'));
        if (!opt.htmlBackground.isEmpty())
            sink.writeLine(QStringLiteral("         background-image: url(\"%1\");").arg(xmlEscape(opt.htmlBackground, true)));
        sink.writeLine(QStringLiteral("         font-family: ") + font + QLatin1Char(';'));
        sink.writeLine(QStringLiteral("  }"));
        auto cls = [&](const char *name, quint32 bg, quint32 fg, const char *fixed) {
            sink.writeLine(QStringLiteral("  .%1 { ").arg(QLatin1String(name)));
            sink.writeLine(QStringLiteral("            background-color: %1;").arg(htmlColour(bg)));
            sink.writeLine(QStringLiteral("            color: %1;").arg(htmlColour(fg)));
            sink.writeLine(QString::fromLatin1(fixed));
            sink.writeLine(QStringLiteral("            font-family: ") + font + QLatin1Char(';'));
            sink.writeLine(QStringLiteral("  }"));
        };
        cls("TQelHead", c.headerBackground, c.headerText, "            font-weight: bold; text-align: center; font-size:8pt;");
        cls("TQelRows", c.evenRows, c.dataText, "            font-weight: bold; text-align: left; font-size:8pt;");
        cls("TQelOddRows", c.oddRows, c.dataText, "            font-weight: bold; text-align: left; font-size:8pt;");
        sink.writeLine(QStringLiteral("</STYLE>"));
        sink.writeLine(QStringLiteral("</HEAD>"));
        sink.writeLine(QStringLiteral("<BODY>"));
        sink.writeLine(QStringLiteral("<Table Border=\"%1\" Cellpadding=\"%2\" Cellspacing=\"%3\">")
                           .arg(opt.htmlBorderWidth).arg(opt.htmlCellPadding).arg(opt.htmlCellSpacing));
        sink.writeLine(QStringLiteral(" <tr class=\"TQelHead\">"));
        for (const QString &n : std::as_const(names))
            sink.writeLine(QStringLiteral("<td>") + xmlEscape(n, false) + QStringLiteral("</td>"));
        sink.writeLine(QString());
        sink.writeLine(QStringLiteral(" </tr>"));
    }
    int rows = 0;
};

}  // namespace

std::unique_ptr<FormatWriter> makeHtmlWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    return std::make_unique<HtmlWriter>(cols, o);
}

}  // namespace bulk
