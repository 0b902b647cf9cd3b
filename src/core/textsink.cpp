#include "core/textsink.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace core {

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

}  // namespace core
