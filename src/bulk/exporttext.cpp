// The text file under the text formats, one value as text, and the escaping the formats share.
#include "bulk/exportinternal.h"
#include "bulk/exportwriter.h"

#include "core/unValuesText.h"
#include "platform/adsi/adstypes.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace bulk {

// --- TextSink ----------------------------------------------------------------------------------

namespace {
// Windows-1252 bytes 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
}  // namespace

QByteArray TextSink::toWindows1252(const QString &text, int *unmappable)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(char(u));
            continue;
        }
        char b = 0;
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] == u && u != 0) {
                b = char(0x80 + k);
                break;
            }
        if (b) {
            out.append(b);
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;  // one character, one replacement
        out.append('?');
        if (unmappable)
            ++*unmappable;
    }
    return out;
}

TextSink::~TextSink()
{
    discard();
}

bool TextSink::open(const QString &path, bool unicode, QString *error)
{
    m_path = path;
    m_unicode = unicode;
    const QFileInfo fi(path);
    if (fi.isDir()) {
        if (error)
            *error = QStringLiteral("%1 is a folder.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    m_temp = fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QLatin1Char('.') +
             QUuid::createUuid().toString(QUuid::Id128).left(8) + QStringLiteral(".tmp");
    m_file.setFileName(m_temp);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), m_file.errorString());
        m_temp.clear();
        return false;
    }
    if (m_unicode && m_file.write("\xFF\xFE", 2) != 2)
        m_error = m_file.errorString();
    return true;
}

void TextSink::write(const QString &text)
{
    m_pending += text;
    if (m_pending.size() > 16384)
        flush();
}

void TextSink::flush()
{
    if (m_pending.isEmpty() || !m_error.isEmpty()) {
        m_pending.clear();
        return;
    }
    QByteArray bytes;
    if (m_unicode) {
        bytes.resize(m_pending.size() * 2);
        char *p = bytes.data();
        for (const QChar c : std::as_const(m_pending)) {
            *p++ = char(c.unicode() & 0xFF);
            *p++ = char(c.unicode() >> 8);
        }
    } else if (m_utf8) {
        bytes = m_pending.toUtf8();
    } else {
        bytes = toWindows1252(m_pending, &m_unmappable);
    }
    m_pending.clear();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        m_error = QStringLiteral("Cannot write to \"%1\". %2").arg(QDir::toNativeSeparators(m_path), m_file.errorString());
}

bool TextSink::commit(QString *error)
{
    flush();
    if (m_error.isEmpty() && ::fsync(m_file.handle()) != 0 && errno != EINVAL)
        m_error = QStringLiteral("Cannot write to \"%1\". %2")
                      .arg(QDir::toNativeSeparators(m_path), QString::fromLocal8Bit(std::strerror(errno)));
    m_file.close();
    if (m_error.isEmpty() && m_file.error() != QFileDevice::NoError)
        m_error = m_file.errorString();
    if (m_error.isEmpty()) {
        QFile::remove(m_path);
        if (!QFile::rename(m_temp, m_path))
            m_error = QStringLiteral("Cannot create file \"%1\".").arg(QDir::toNativeSeparators(m_path));
    }
    if (!m_error.isEmpty()) {
        if (error)
            *error = m_error;
        discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void TextSink::discard()
{
    if (m_file.isOpen())
        m_file.close();
    if (!m_temp.isEmpty())
        QFile::remove(m_temp);
    m_temp.clear();
}

// --- Values ------------------------------------------------------------------------------------

namespace {

const QString kTypedDate = QStringLiteral("yyyy\"-\"mm\"-\"dd hh\":\"nn\":\"ss");

QString scalarText(const QVariant &v, TextMode mode, const ExportOptions &o, bool groupType)
{
    const int id = v.metaType().id();
    if (groupType && (id == QMetaType::Int || id == QMetaType::LongLong || id == QMetaType::UInt))
        return GroupTypeText(qint32(v.toLongLong()));
    if (id == qMetaTypeId<ads::AdsDate>()) {
        const double day = v.value<ads::AdsDate>().value;
        if (day < 1)
            return QString();
        if (mode == TextMode::Typed) {
            QString s = formatDateTime(kTypedDate, day);
            s.replace(QLatin1Char('\''), QStringLiteral("''"));
            return QLatin1Char('\'') + s + QLatin1Char('\'');
        }
        if (mode == TextMode::AdoXml)
            return formatDateTime(kAdoDate, day);
        return formatDateTime(o.dateTimeFormat.isEmpty() ? defaultDateTimeFormat() : o.dateTimeFormat, day);
    }
    switch (id) {
    case QMetaType::Bool:
        if (mode == TextMode::Display)
            return v.toBool() ? o.booleanTrue : o.booleanFalse;
        return v.toBool() ? QStringLiteral("-1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        // 64-bit values whole: their low 32 bits alone would be a different number.
        return v.toString();
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    case QMetaType::QString:
        return v.toString();
    default:
        return v.toString();
    }
}

}  // namespace

ValueText valueToText(const QVariant &value, TextMode mode, const ExportOptions &o, const QString &delimiter,
                      bool groupTypeColumn)
{
    ValueText r;
    if (!value.isValid())
        return r;
    if (value.metaType().id() == QMetaType::QVariantList) {
        r.wasList = true;
        const QVariantList list = value.toList();
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (i > 0)
                r.text += delimiter;
            r.text += scalarText(list.at(i), mode, o, groupTypeColumn);
        }
        return r;
    }
    r.text = scalarText(value, mode, o, groupTypeColumn);
    return r;
}

QString firstChar(const QString &s, const QString &fallback)
{
    return s.isEmpty() ? fallback : s.left(1);
}

QString xmlEscape(const QString &s, bool attribute)
{
    QString out;
    out.reserve(s.size() + 8);
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '&': out += QStringLiteral("&amp;"); break;
        case '<': out += QStringLiteral("&lt;"); break;
        case '>': out += QStringLiteral("&gt;"); break;
        case '"': out += QStringLiteral("&quot;"); break;
        // A parser turns raw line breaks in attributes into spaces and CR LF in content into
        // LF; character references keep them.
        case '\r': out += QStringLiteral("&#13;"); break;
        case '\n': out += attribute ? QStringLiteral("&#10;") : QStringLiteral("\n"); break;
        case '\t': out += attribute ? QStringLiteral("&#9;") : QStringLiteral("\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QChar(0xFFFD);  // not representable in XML 1.0
            else
                out += c;
        }
    }
    return out;
}

QString htmlText(const QString &s)
{
    QString t = xmlEscape(s, false);
    t.replace(QStringLiteral("&#13;\n"), QStringLiteral("<br>"));
    t.replace(QStringLiteral("&#13;"), QStringLiteral("<br>"));
    t.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    if (s.trimmed().isEmpty())
        return QStringLiteral("&nbsp;");
    return t;
}

QString htmlColour(quint32 c)
{
    if (c & 0x80000000u)
        return (c & 0xFF) == 8 ? QStringLiteral("#000000") : QStringLiteral("#ffffff");
    const quint32 rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0'));
}

}  // namespace bulk
