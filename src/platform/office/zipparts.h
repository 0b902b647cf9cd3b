#pragma once
// Zip parts of office files: reading entries, writing a new package through a temporary
// file, and the sheet list of a workbook part. Internal to arv_office.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

struct zip;

namespace office {

// Moves temp onto dest (same folder) after flushing it to disk; false with the reason.
bool replaceFile(const QString &temp, const QString &dest, QString *error);
// A temporary name beside dest (hidden, unique).
QString temporaryNameBeside(const QString &dest);

class ZipReader {
public:
    ZipReader() = default;
    ~ZipReader();
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;
    // check: also verify the archive's structure (a truncated file fails here).
    bool open(const QString &path, QString *error, bool check = false);
    bool read(const QString &name, QByteArray *data) const;
    QStringList names() const;
    // True when every entry decompresses to its stated size with a matching checksum.
    bool readsWhole() const;
    // Streams one entry through f(chunk); false when it is missing or cannot be read whole.
    bool stream(const QString &name, const std::function<void(const QByteArray &)> &f) const;
    struct zip *handle() const { return m_zip; }

private:
    struct zip *m_zip = nullptr;
};

// Builds a package in a temporary file beside dest; commit() renames it onto dest.
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
    QString m_dest, m_temp;
    struct zip *m_zip = nullptr;
    QList<QByteArray> m_keep;
    QString m_error;
};

struct SheetEntries {
    QStringList names;
    QStringList relIds;
    int maxSheetId = 0;
};
// The <sheet> elements of a workbook part.
SheetEntries sheetEntries(const QByteArray &workbookXml);

}  // namespace office
