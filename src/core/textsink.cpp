#include "core/textsink.h"

#include "core/unValuesText.h"

#include <QDir>

namespace core {

TextSink::~TextSink()
{
    discard();
}

bool TextSink::open(const QString &path, bool unicode, QString *error)
{
    discard();
    m_path = path;
    m_unicode = unicode;
    m_error.clear();
    m_out = std::make_unique<files::ReplacementFile>(path);
    if (!m_out->create(error)) {
        m_out.reset();
        return false;
    }
    if (!m_file.open(m_out->handle(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        if (error)
            *error = QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), m_file.errorString());
        discard();
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
        bytes = TextToWindows1252(m_pending, &m_unmappable);
    }
    m_pending.clear();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        m_error = QStringLiteral("Cannot write to \"%1\". %2").arg(QDir::toNativeSeparators(m_path), m_file.errorString());
}

bool TextSink::commit(QString *error)
{
    flush();
    m_file.close();
    if (m_error.isEmpty() && m_file.error() != QFileDevice::NoError)
        m_error = m_file.errorString();
    if (m_error.isEmpty() && !m_out)
        m_error = QStringLiteral("Cannot create file \"%1\".").arg(QDir::toNativeSeparators(m_path));
    // Synced, given the old file's mode and renamed onto it: the old file is never removed first.
    if (m_error.isEmpty() && !m_out->commit(&m_error) && m_error.isEmpty())
        m_error = QStringLiteral("Cannot create file \"%1\".").arg(QDir::toNativeSeparators(m_path));
    if (!m_error.isEmpty()) {
        if (error)
            *error = m_error;
        discard();
        return false;
    }
    m_out.reset();
    return true;
}

void TextSink::discard()
{
    if (m_file.isOpen())
        m_file.close();
    if (m_out)
        m_out->discard();
    m_out.reset();
}

}  // namespace core
