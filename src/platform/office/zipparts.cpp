#include "platform/office/zipparts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <QXmlStreamReader>

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace office {

QString temporaryNameBeside(const QString &dest)
{
    const QFileInfo fi(dest);
    return fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QLatin1Char('.') +
           QUuid::createUuid().toString(QUuid::Id128).left(8) + QStringLiteral(".tmp");
}

bool replaceFile(const QString &temp, const QString &dest, QString *error)
{
    const QByteArray t = QFile::encodeName(temp), d = QFile::encodeName(dest);
    const int fd = ::open(t.constData(), O_RDONLY);
    if (fd >= 0) {
        const int rc = ::fsync(fd);
        const int e = errno;
        ::close(fd);
        if (rc != 0 && e != EINVAL) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(dest), QString::fromLocal8Bit(std::strerror(e)));
            return false;
        }
    }
    if (std::rename(t.constData(), d.constData()) != 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(dest), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

ZipReader::~ZipReader()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipReader::open(const QString &path, QString *error, bool check)
{
    int code = 0;
    m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | (check ? ZIP_CHECKCONS : 0), &code);
    if (!m_zip) {
        if (error) {
            zip_error_t ze;
            zip_error_init_with_code(&ze, code);
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), QString::fromUtf8(zip_error_strerror(&ze)));
            zip_error_fini(&ze);
        }
        return false;
    }
    return true;
}

bool ZipReader::read(const QString &name, QByteArray *data) const
{
    if (!m_zip)
        return false;
    zip_stat_t st;
    const QByteArray n = name.toUtf8();
    if (zip_stat(m_zip, n.constData(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return false;
    zip_file_t *f = zip_fopen(m_zip, n.constData(), 0);
    if (!f)
        return false;
    data->resize(qsizetype(st.size));
    const zip_int64_t got = zip_fread(f, data->data(), st.size);
    zip_fclose(f);
    return got == zip_int64_t(st.size);
}

QStringList ZipReader::names() const
{
    QStringList out;
    if (!m_zip)
        return out;
    const zip_int64_t n = zip_get_num_entries(m_zip, 0);
    for (zip_int64_t i = 0; i < n; ++i)
        if (const char *name = zip_get_name(m_zip, zip_uint64_t(i), 0))
            out << QString::fromUtf8(name);
    return out;
}

bool ZipReader::readsWhole() const
{
    if (!m_zip)
        return false;
    const zip_int64_t n = zip_get_num_entries(m_zip, 0);
    QByteArray buffer(65536, Qt::Uninitialized);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_file_t *f = zip_fopen_index(m_zip, zip_uint64_t(i), 0);
        if (!f)
            return false;
        zip_int64_t got;
        while ((got = zip_fread(f, buffer.data(), zip_uint64_t(buffer.size()))) > 0) {
        }
        // zip_fclose reports a CRC mismatch of the data read.
        if (got < 0 || zip_fclose(f) != 0)
            return false;
    }
    return true;
}

bool ZipReader::stream(const QString &name, const std::function<void(const QByteArray &)> &f) const
{
    if (!m_zip)
        return false;
    zip_file_t *file = zip_fopen(m_zip, name.toUtf8().constData(), 0);
    if (!file)
        return false;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    zip_int64_t got;
    while ((got = zip_fread(file, buffer.data(), zip_uint64_t(buffer.size()))) > 0)
        f(QByteArray::fromRawData(buffer.constData(), qsizetype(got)));
    return got == 0 && zip_fclose(file) == 0;
}

ZipWriter::ZipWriter(const QString &dest) : m_dest(dest) {}

ZipWriter::~ZipWriter()
{
    if (m_zip)
        zip_discard(m_zip);
    if (!m_temp.isEmpty())
        QFile::remove(m_temp);
}

bool ZipWriter::open(QString *error)
{
    m_temp = temporaryNameBeside(m_dest);
    int code = 0;
    m_zip = zip_open(QFile::encodeName(m_temp).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!m_zip) {
        if (error)
            *error = QStringLiteral("%1 could not be created.").arg(QDir::toNativeSeparators(m_dest));
        m_temp.clear();
        return false;
    }
    return true;
}

bool ZipWriter::add(const QString &name, const QByteArray &data)
{
    if (!m_zip)
        return false;
    m_keep << data;
    zip_source_t *src = zip_source_buffer(m_zip, m_keep.last().constData(), zip_uint64_t(m_keep.last().size()), 0);
    if (!src)
        return false;
    if (zip_file_add(m_zip, name.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
        zip_source_free(src);
        return false;
    }
    return true;
}

bool ZipWriter::copy(const ZipReader &from, const QString &name)
{
    if (!m_zip || !from.handle())
        return false;
    const zip_int64_t idx = zip_name_locate(from.handle(), name.toUtf8().constData(), 0);
    if (idx < 0)
        return false;
    zip_source_t *src = zip_source_zip(m_zip, from.handle(), zip_uint64_t(idx), 0, 0, -1);
    if (!src)
        return false;
    if (zip_file_add(m_zip, name.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
        zip_source_free(src);
        return false;
    }
    return true;
}

bool ZipWriter::commit(QString *error)
{
    if (!m_zip)
        return false;
    if (zip_close(m_zip) != 0) {
        if (error)
            *error = QStringLiteral("%1 could not be written: %2")
                         .arg(QDir::toNativeSeparators(m_dest), QString::fromUtf8(zip_strerror(m_zip)));
        zip_discard(m_zip);
        m_zip = nullptr;
        QFile::remove(m_temp);
        m_temp.clear();
        return false;
    }
    m_zip = nullptr;
    m_keep.clear();
    const bool ok = replaceFile(m_temp, m_dest, error);
    if (!ok)
        QFile::remove(m_temp);
    m_temp.clear();
    return ok;
}

SheetEntries sheetEntries(const QByteArray &workbookXml)
{
    SheetEntries e;
    QXmlStreamReader x(workbookXml);
    while (!x.atEnd()) {
        if (x.readNext() != QXmlStreamReader::StartElement || x.name() != QLatin1String("sheet"))
            continue;
        const auto attrs = x.attributes();
        e.names << attrs.value(QLatin1String("name")).toString();
        QString rid;
        for (const auto &a : attrs)
            if (a.name() == QLatin1String("id"))
                rid = a.value().toString();
        e.relIds << rid;
        e.maxSheetId = std::max(e.maxSheetId, attrs.value(QLatin1String("sheetId")).toInt());
    }
    return e;
}

}  // namespace office
