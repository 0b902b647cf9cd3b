// Export columns, date pictures, HTML colour templates and .htf files.
#include "bulk/exportengine.h"
#include "bulk/exportinternal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStringBuilder>

#include <cmath>

namespace bulk {

namespace {

bool isDateColumn(const ADSIUserField &e)
{
    static const char *const names[] = {"accountExpires", "badPasswordTime", "lastLogon", "lastLogoff",
                                        "pwdLastSet", "lockoutTime", "whenCreated", "whenChanged",
                                        "lastLogonTimestamp"};
    for (const char *n : names)
        if (e.ldapName.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

}  // namespace

ExportColumn columnFromEntry(const ADSIUserField &e)
{
    ExportColumn c;
    c.key = e.key;
    c.ldapName = e.ldapName.toString();
    c.caption = e.caption.toString();
    c.maxLength = e.maxLength;
    c.multiValued = e.multiValued;
    c.sortable = e.sortFlag;
    switch (e.type) {
    case FieldType::Integer:
    case FieldType::LargeInteger:
        c.kind = isDateColumn(e) ? ColumnKind::DateTime : ColumnKind::Integer;
        c.wide = e.type == FieldType::LargeInteger && c.kind == ColumnKind::Integer;
        break;
    case FieldType::Boolean:
        c.kind = ColumnKind::Boolean;
        break;
    case FieldType::Binary:
        c.kind = ColumnKind::Octet;
        break;
    default:
        c.kind = ColumnKind::Text;
    }
    return c;
}

QList<ExportColumn> columnsFromKeys(const QList<qint32> &keys, int table)
{
    QList<ExportColumn> out;
    for (qint32 k : keys)
        if (const ADSIUserField *e = EntryByKeyIn(table, k); e && !e->isHeader() && !e->ldapName.isEmpty())
            out << columnFromEntry(*e);
    return out;
}

QList<ExportColumn> columnsFromNames(const QStringList &names, int table)
{
    QList<ExportColumn> out;
    for (const QString &raw : names) {
        const QString n = raw.trimmed();
        if (n.isEmpty())
            continue;
        if (const ADSIUserField *e = catalogue::entryByLdapNameIn(table, n); e && !e->isHeader()) {
            out << columnFromEntry(*e);
        } else if (const ADSIUserField *u = EntryByLdapName(n); u && !u->isHeader()) {
            out << columnFromEntry(*u);
        } else {
            ExportColumn c;
            c.ldapName = n;
            c.caption = n;
            out << c;
        }
    }
    return out;
}

QList<ExportColumn> effectiveColumns(const QList<ExportColumn> &columns, bool includeDN)
{
    QList<ExportColumn> out = columns;
    const bool firstIsDN =
        !out.isEmpty() && out.first().ldapName.compare(QLatin1String("distinguishedName"), Qt::CaseInsensitive) == 0;
    if (includeDN && !firstIsDN) {
        if (const ADSIUserField *e = EntryByLdapName(u"distinguishedName"))
            out.prepend(columnFromEntry(*e));
    } else if (!includeDN && firstIsDN) {
        out.removeFirst();
    }
    return out;
}

// --- Date pictures ---------------------------------------------------------------------------

QString defaultDateTimeFormat()
{
    // The system's short date and long time, turned from Qt's pattern letters into the
    // picture letters the export understands (minutes are n, months m).
    const QLocale loc = QLocale::system();
    auto convert = [](const QString &qt) {
        QString out;
        for (int i = 0; i < qt.size(); ++i) {
            const QChar c = qt.at(i);
            if (c == QLatin1Char('M'))
                out += QLatin1Char('m');
            else if (c == QLatin1Char('m'))
                out += QLatin1Char('n');
            else if (c == QLatin1Char('H'))
                out += QLatin1Char('h');
            else if (c == QLatin1Char('A') || c == QLatin1Char('a')) {
                if (i + 1 < qt.size() && (qt.at(i + 1) == QLatin1Char('P') || qt.at(i + 1) == QLatin1Char('p')))
                    ++i;
                out += QStringLiteral("ampm");
            } else if (c == QLatin1Char('t'))
                continue;
            else
                out += c;
        }
        return out.trimmed();
    };
    return convert(loc.dateFormat(QLocale::ShortFormat)) + QLatin1Char(' ') + convert(loc.timeFormat(QLocale::LongFormat));
}

QString formatDateTime(const QString &picture, double dayCount)
{
    const qint64 msTotal = qint64(std::llround(dayCount * 86400000.0));
    const QDateTime base(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    const QDateTime dt = base.addMSecs(msTotal);
    const QDate d = dt.date();
    const QTime t = dt.time();
    QString out;
    const int n = picture.size();
    bool lastWasHour = false;
    const bool ampm = picture.contains(QLatin1String("am/pm"), Qt::CaseInsensitive) ||
                      picture.contains(QLatin1String("ampm"), Qt::CaseInsensitive);
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    for (int i = 0; i < n;) {
        const QChar c = picture.at(i);
        const QChar lc = c.toLower();
        int run = 1;
        while (i + run < n && picture.at(i + run).toLower() == lc)
            ++run;
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const int end = picture.indexOf(c, i + 1);
            if (end < 0) {
                out += picture.mid(i + 1);
                break;
            }
            out += picture.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (lc == QLatin1Char('a')) {
            if (picture.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
                out += t.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm");
                i += 5;
                continue;
            }
            if (picture.mid(i, 4).compare(QLatin1String("ampm"), Qt::CaseInsensitive) == 0) {
                out += t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
                i += 4;
                continue;
            }
            out += c;
            ++i;
            continue;
        }
        if (lc == QLatin1Char('y')) {
            out += run <= 2 ? two(d.year() % 100) : QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0'));
        } else if (lc == QLatin1Char('m')) {
            const int v = lastWasHour ? t.minute() : d.month();
            if (!lastWasHour && run >= 3) {
                out += QLocale::system().monthName(v, run >= 4 ? QLocale::LongFormat : QLocale::ShortFormat);
                i += std::min(run, 4);
                continue;
            }
            out += run >= 2 ? two(v) : QString::number(v);
            i += std::min(run, 2);
            lastWasHour = false;
            continue;
        } else if (lc == QLatin1Char('d')) {
            if (run >= 3) {
                out += QLocale::system().dayName(d.dayOfWeek(), run >= 4 ? QLocale::LongFormat : QLocale::ShortFormat);
                i += std::min(run, 4);
                lastWasHour = false;
                continue;
            }
            out += run >= 2 ? two(d.day()) : QString::number(d.day());
            i += std::min(run, 2);
            lastWasHour = false;
            continue;
        } else if (lc == QLatin1Char('h')) {
            int h = t.hour();
            if (ampm) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            out += run >= 2 ? two(h) : QString::number(h);
            i += std::min(run, 2);
            lastWasHour = true;
            continue;
        } else if (lc == QLatin1Char('n')) {
            out += run >= 2 ? two(t.minute()) : QString::number(t.minute());
            i += std::min(run, 2);
            lastWasHour = false;
            continue;
        } else if (lc == QLatin1Char('s')) {
            out += run >= 2 ? two(t.second()) : QString::number(t.second());
            i += std::min(run, 2);
            continue;
        } else if (lc == QLatin1Char('z')) {
            out += run >= 3 ? QStringLiteral("%1").arg(t.msec(), 3, 10, QLatin1Char('0')) : QString::number(t.msec());
        } else {
            out += picture.mid(i, run);
        }
        i += run;
    }
    return out;
}

// --- HTML colour templates -------------------------------------------------------------------

namespace {

struct TemplateRow {
    const char *name;
    quint32 background, text, headerBackground, headerText, evenRows, dataText, oddRows;  // as #RRGGBB
};

constexpr TemplateRow kTemplates[] = {
    {"Black&White", 0xFFFFFF, 0x000000, 0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000, 0xF3F3F3},
    {"Classic", 0x333399, 0xFFFFFF, 0xFF0000, 0xFFFFFF, 0x007AEC, 0xFFFFFF, 0x006BCE},
    {"ColorFul", 0x339966, 0xFFFFFF, 0xCC0033, 0xFFFFFF, 0xFFFFFF, 0x000000, 0xFAF100},
    {"Gray", 0xFFFFFF, 0x000000, 0x808080, 0xFFFFFF, 0xFFFFFF, 0x000000, 0xEEEEEE},
    {"MS_Money", 0xFFFFFF, 0x000000, 0xCEC6B5, 0x000000, 0xDEE7DE, 0x000000, 0xFFFBF0},
    {"Murky", 0x317676, 0xFFFFFF, 0x3A9393, 0xFFFFFF, 0x276262, 0xFFE760, 0x367800},
    {"Olive", 0xFFFFFF, 0x5F605F, 0xCFC890, 0x000000, 0xFFFFFF, 0x5F605F, 0xFFFFCF},
    {"Plain", 0xFFFFFF, 0x000000, 0x068FE6, 0xFFFFFF, 0xFFFFFF, 0x000000, 0xFFFCD9},
    {"Simple", 0xFFFFFF, 0x004080, 0x336699, 0xFFFFFF, 0xFFFFFF, 0x000000, 0xFFFFCF},
};

// #RRGGBB to the stored form (red in the low byte).
constexpr quint32 fromRgb(quint32 rgb)
{
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

}  // namespace

QStringList htmlTemplateNames()
{
    QStringList out{QStringLiteral("Custom")};
    for (const auto &t : kTemplates)
        out << QString::fromLatin1(t.name);
    return out;
}

bool htmlTemplate(const QString &name, HtmlColours *c, QString *font)
{
    for (const auto &t : kTemplates) {
        if (name != QLatin1String(t.name))
            continue;
        c->background = fromRgb(t.background);
        c->text = fromRgb(t.text);
        c->headerBackground = fromRgb(t.headerBackground);
        c->headerText = fromRgb(t.headerText);
        c->evenRows = fromRgb(t.evenRows);
        c->dataText = fromRgb(t.dataText);
        c->oddRows = fromRgb(t.oddRows);
        if (font)
            *font = QStringLiteral("Arial");
        return true;
    }
    return false;
}

namespace {

// The INI layout of .htf files, written by hand: QSettings would quote and escape keys.
QString iniValue(const QString &text, const QString &section, const QString &key, bool *found)
{
    *found = false;
    QString current;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2);
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && current.compare(section, Qt::CaseInsensitive) == 0 &&
            line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            *found = true;
            return line.mid(eq + 1);
        }
    }
    return QString();
}

}  // namespace

bool saveHtmlTemplateFile(const QString &path, const HtmlColours &c, const QString &font, QString *error)
{
    auto num = [](quint32 v) { return QString::number(qint32(v)); };
    const QString text = QStringLiteral("[HTML options]\r\n") % QStringLiteral("Background-color=") % num(c.background) %
                         QStringLiteral("\r\nFont-color=") % num(c.text) % QStringLiteral("\r\nFont-family=") % font %
                         QStringLiteral("\r\n\r\n[Table options]\r\nHeader-bgcolor=") % num(c.headerBackground) %
                         QStringLiteral("\r\nHeader-color=") % num(c.headerText) % QStringLiteral("\r\nTable-color=") %
                         num(c.dataText) % QStringLiteral("\r\nEven_row-bgcolor=") % num(c.evenRows) %
                         QStringLiteral("\r\nOdd_row-bgcolor=") % num(c.oddRows) % QStringLiteral("\r\n");
    TextSink sink;
    if (!sink.open(path, false, error))
        return false;
    sink.write(text);
    return sink.commit(error);
}

bool loadHtmlTemplateFile(const QString &path, HtmlColours *c, QString *font, QString *error)
{
    // A template file is a few hundred bytes of INI text; anything much larger, or anything
    // that is no regular file (a pipe would never end), is no template.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (error)
            *error = QStringLiteral("%1 is not a regular file.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    const QByteArray bytes = f.read(kMaxHtmlTemplateFileBytes + 1);
    if (bytes.size() > kMaxHtmlTemplateFileBytes) {
        if (error)
            *error = QStringLiteral("%1 is not an HTML template file: it is larger than %2 KB.")
                         .arg(QDir::toNativeSeparators(path))
                         .arg(kMaxHtmlTemplateFileBytes / 1024);
        return false;
    }
    const QString text = QString::fromLatin1(bytes).remove(QLatin1Char('\r'));
    auto colour = [&](const char *section, const char *key, quint32 *v) {
        bool found = false;
        const QString s = iniValue(text, QLatin1String(section), QLatin1String(key), &found);
        bool ok = false;
        const qint64 n = s.trimmed().toLongLong(&ok);
        if (found && ok)
            *v = quint32(n);
    };
    colour("HTML options", "Background-color", &c->background);
    colour("HTML options", "Font-color", &c->text);
    colour("Table options", "Header-bgcolor", &c->headerBackground);
    colour("Table options", "Header-color", &c->headerText);
    colour("Table options", "Table-color", &c->dataText);
    colour("Table options", "Even_row-bgcolor", &c->evenRows);
    colour("Table options", "Odd_row-bgcolor", &c->oddRows);
    bool found = false;
    const QString fam = iniValue(text, QStringLiteral("HTML options"), QStringLiteral("Font-family"), &found);
    if (found && font)
        *font = fam;
    return true;
}

}  // namespace bulk
