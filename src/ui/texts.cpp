#include "ui/texts.h"

#include <QAction>
#include <QApplication>
#include <QProxyStyle>
#include <QStyle>
#include <QVariant>
#include <QWidget>

namespace ui {

namespace {
const char *kRawHint = "arvRawHint";
constexpr int kHintDisplayMs = 3000;

bool isBreakChar(QChar c) { return c == u' ' || c == u'-' || c == u'\t'; }
bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Wraps one line that holds no line break.
QString wrapLine(const QString &line, int maxCol)
{
    QString out;
    int start = 0;
    const int n = line.size();
    while (n - start > maxCol) {
        // The last break character whose position keeps the line within maxCol.
        int brk = -1;
        for (int i = start; i < start + maxCol && i < n; ++i)
            if (isBreakChar(line[i]))
                brk = i;
        if (brk < 0) {
            // No break within the column: break at the first one after it, if any.
            for (int i = start + maxCol; i < n; ++i)
                if (isBreakChar(line[i])) {
                    brk = i;
                    break;
                }
            if (brk < 0)
                break;
        }
        int next = brk + 1;
        while (next < n && isBlank(line[next]))
            ++next;
        if (next >= n) // only blanks follow: nothing left to put on a new line
            break;
        out += line.mid(start, brk - start + 1);
        out += QChar(13);
        start = next;
    }
    out += line.mid(start);
    return out;
}
} // namespace

QString wrapText(const QString &text, int maxCol)
{
    if (maxCol < 1)
        return text;
    QString out;
    int lineStart = 0;
    const int n = text.size();
    for (int i = 0; i <= n; ++i) {
        if (i < n && text[i] != u'\r' && text[i] != u'\n')
            continue;
        out += wrapLine(text.mid(lineStart, i - lineStart), maxCol);
        if (i < n) {
            out += text[i];
            if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
                out += text[i + 1];
                ++i;
            }
        }
        lineStart = i + 1;
    }
    return out;
}

QString displayText(const QString &text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

void setHint(QWidget *w, const QString &text, int maxCol)
{
    const QString wrapped = wrapText(text, maxCol);
    w->setProperty(kRawHint, wrapped);
    w->setToolTip(displayText(wrapped));
    w->setToolTipDuration(kHintDisplayMs);
}

void setHint(QAction *a, const QString &text, int maxCol)
{
    const QString wrapped = wrapText(text, maxCol);
    a->setProperty(kRawHint, wrapped);
    a->setToolTip(displayText(wrapped));
    a->setStatusTip(displayText(text));
}

namespace {
// Hints appear after 250 ms.
class HintStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 250;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
} // namespace

void installHintTiming()
{
    if (!dynamic_cast<HintStyle *>(QApplication::style()))
        QApplication::setStyle(new HintStyle(QApplication::style()->name()));
}

QString hintOf(const QWidget *w) { return w->property(kRawHint).toString(); }
QString hintOf(const QAction *a) { return a->property(kRawHint).toString(); }

QString withExtension(const QString &fileName, const QString &extension)
{
    const qsizetype slash = qMax(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    // A dot that starts the name (".profile") or sits in a folder is no extension.
    const bool hasExtension = dot > slash + 1;
    return (hasExtension ? fileName.left(dot) : fileName) + extension;
}

} // namespace ui
