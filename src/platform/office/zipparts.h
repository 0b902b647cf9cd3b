#pragma once
// Zip parts of office files: reading entries, writing a new package through a temporary
// file, and the sheet list of a workbook part. Internal to arv_office.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <functional>

#include "platform/files/replacefile.h"

struct zip;

namespace office {

// What a reader takes from a file someone else made: parts read into memory are capped, and
// so is the number of parts.
constexpr qint64 kMaxReadPartBytes = 32 * 1024 * 1024;
constexpr qint64 kMaxPackageEntries = 65536;

class ZipReader {
public:
    ZipReader() = default;
    ~ZipReader();
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;
    // Opens a regular file only (a pipe or device is refused, never read); check: also verify
    // the archive's structure (a truncated file fails here).
    bool open(const QString &path, QString *error, bool check = false);
    // Reads a whole part of at most maxBytes, by its declared and by its actual size; false
    // when it is missing, larger or cannot be read whole (error() then says which).
    bool read(const QString &name, QByteArray *data, qint64 maxBytes = kMaxReadPartBytes) const;
    // The reason the last read failed.
    QString error() const { return m_error; }
    bool contains(const QString &name) const;
    QStringList names() const;
    // True when every entry decompresses to its stated size with a matching checksum.
    bool readsWhole() const;
    // Streams one entry through f(chunk); false when it is missing or cannot be read whole.
    bool stream(const QString &name, const std::function<void(const QByteArray &)> &f) const;
    struct zip *handle() const { return m_zip; }

private:
    struct zip *m_zip = nullptr;
    QString m_path;
    mutable QString m_error;
};

// Builds a package in a temporary file beside dest; commit() puts it in dest's place.
class ZipWriter {
public:
    explicit ZipWriter(const QString &dest);
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;
    bool open(QString *error);
    // Adds a part with the given bytes (kept until commit).
    bool add(const QString &name, const QByteArray &data);
    // Adds a part of another open package without changing its bytes.
    bool copy(const ZipReader &from, const QString &name);
    bool commit(QString *error);

private:
    files::ReplacementFile m_out;
    struct zip *m_zip = nullptr;
    QList<QByteArray> m_keep;
    QString m_error;
};

struct SheetEntries {
    QStringList names;
    QStringList relIds;
    qint64 maxSheetId = 0;
};
// The <sheet> elements of a workbook part; false for a part that is no well-formed XML.
bool sheetEntries(const QByteArray &workbookXml, SheetEntries *out);

// Copies an XML part event by event (names and prefixes as they were, the text UTF-8),
// letting the caller change a start tag's attributes and add content after a start tag or
// before an end tag. False with the reason for a part that is no well-formed XML, or that
// declares a document type.
struct XmlEdit {
    std::function<void(const QXmlStreamReader &, QXmlStreamAttributes &)> attributes;
    std::function<void(const QXmlStreamReader &, QXmlStreamWriter &)> afterStart;
    std::function<void(const QXmlStreamReader &, QXmlStreamWriter &)> beforeEnd;
};
bool copyXml(const QByteArray &in, QByteArray *out, const XmlEdit &edit, QString *why);

}  // namespace office
