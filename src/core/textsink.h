#pragma once
// The text file under every file output of the program (export formats, grid outputs).
#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

#include "platform/files/replacefile.h"

namespace core {

// A text file written to a temporary name beside the destination (files::ReplacementFile:
// created exclusively, the replaced file's mode kept, renamed onto it in one step, the old
// file never removed first): UTF-16LE with byte-order mark, or Windows-1252 (TextToWindows1252:
// characters it cannot hold become "?" and are counted). Text is collected and written
// whenever more than 16384 characters are pending.
class TextSink {
public:
    TextSink() = default;
    ~TextSink();
    TextSink(const TextSink &) = delete;
    TextSink &operator=(const TextSink &) = delete;

    bool open(const QString &path, bool unicode, QString *error);
    // 8-bit files whose text declares UTF-8 (XML and HTML with that encoding) are written as
    // UTF-8, so that the bytes match the declaration. Call after open.
    void setUtf8(bool on) { m_utf8 = on && !m_unicode; }
    void write(const QString &text);
    void writeLine(const QString &text) { write(text); write(QStringLiteral("\r\n")); }
    // Flushes, syncs and renames onto the destination; false with the reason.
    bool commit(QString *error);
    // Removes the temporary file; the destination stays as it was.
    void discard();
    // A write error met so far (full disk), or empty.
    QString error() const { return m_error; }
    int unmappable() const { return m_unmappable; }

private:
    void flush();
    std::unique_ptr<files::ReplacementFile> m_out;
    QFile m_file;
    QString m_path;
    QString m_pending;
    bool m_unicode = true;
    bool m_utf8 = false;
    QString m_error;
    int m_unmappable = 0;
};

}  // namespace core
