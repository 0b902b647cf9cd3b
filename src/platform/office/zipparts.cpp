#include "platform/office/zipparts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace office {

ZipReader::~ZipReader()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipReader::open(const QString &path, QString *error, bool check)
{
    m_path = path;
    const QString shown = QDir::toNativeSeparators(path);
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    // A pipe or a device under a workbook's name would block the reader or never end: only a
    // regular file is opened (without waiting), and checked again once open.
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0)
        return fail(QStringLiteral("%1: %2").arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("%1 is not a regular file.").arg(shown));
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(QStringLiteral("%1: %2").arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("%1 is not a regular file.").arg(shown));
    }
    int code = 0;
    m_zip = zip_fdopen(fd, check ? ZIP_CHECKCONS : 0, &code);
    if (!m_zip) {
        ::close(fd);
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        const QString why = QString::fromUtf8(zip_error_strerror(&ze));
        zip_error_fini(&ze);
        return fail(QStringLiteral("%1: %2").arg(shown, why));
    }
    if (zip_get_num_entries(m_zip, 0) > kMaxPackageEntries) {
        zip_discard(m_zip);
        m_zip = nullptr;
        return fail(QStringLiteral("%1 has more than %2 parts; this program does not read it.").arg(shown).arg(kMaxPackageEntries));
    }
    return true;
}

bool ZipReader::read(const QString &name, QByteArray *data, qint64 maxBytes) const
{
    data->clear();
    m_error.clear();
    const QString shown = QDir::toNativeSeparators(m_path);
    auto fail = [&](const QString &why) {
        m_error = why;
        data->clear();
        return false;
    };
    if (!m_zip)
        return fail(QStringLiteral("%1 is not open.").arg(shown));
    zip_stat_t st;
    const QByteArray n = name.toUtf8();
    if (zip_stat(m_zip, n.constData(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return fail(QStringLiteral("%1 has no part %2.").arg(shown, name));
    const QString tooLarge = QStringLiteral("The part %1 of %2 is larger than the %3 MB this program reads.")
                                 .arg(name, shown).arg(maxBytes / (1024 * 1024));
    // The declared size is only a claim: it decides nothing but the refusal, and reading
    // stops at the cap whatever the entry really holds.
    if (st.size > zip_uint64_t(maxBytes))
        return fail(tooLarge);
    zip_file_t *f = zip_fopen(m_zip, n.constData(), 0);
    if (!f)
        return fail(QStringLiteral("The part %1 of %2 cannot be read: %3").arg(name, shown, QString::fromUtf8(zip_strerror(m_zip))));
    data->reserve(qsizetype(st.size));
    QByteArray chunk(65536, Qt::Uninitialized);
    zip_int64_t got = 0;
    bool over = false;
    // Reading stops at the declared size: a part that unpacks to more is not read on.
    while ((got = zip_fread(f, chunk.data(), zip_uint64_t(chunk.size()))) > 0) {
        if (zip_uint64_t(data->size() + got) > st.size) {
            over = true;
            break;
        }
        data->append(chunk.constData(), qsizetype(got));
    }
    const QString zipWhy = got < 0 ? QString::fromUtf8(zip_file_strerror(f)) : QString();
    const bool closed = zip_fclose(f) == 0;
    if (over)
        return fail(QStringLiteral("The part %1 of %2 holds more than the %3 bytes it declares.").arg(name, shown).arg(st.size));
    if (got < 0 || !closed || zip_uint64_t(data->size()) != st.size)
        return fail(QStringLiteral("The part %1 of %2 cannot be read whole%3").arg(name, shown, zipWhy.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + zipWhy));
    return true;
}

bool ZipReader::contains(const QString &name) const
{
    return m_zip && zip_name_locate(m_zip, name.toUtf8().constData(), 0) >= 0;
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

ZipWriter::ZipWriter(const QString &dest) : m_out(dest) {}

ZipWriter::~ZipWriter()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipWriter::open(QString *error)
{
    if (!m_out.create(error))
        return false;
    m_out.closeHandle();
    int code = 0;
    m_zip = zip_open(QFile::encodeName(m_out.tempPath()).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!m_zip) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        if (error)
            *error = QStringLiteral("%1 could not be created: %2").arg(QDir::toNativeSeparators(m_out.destination()),
                                                                      QString::fromUtf8(zip_error_strerror(&ze)));
        zip_error_fini(&ze);
        m_out.discard();
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
                         .arg(QDir::toNativeSeparators(m_out.destination()), QString::fromUtf8(zip_strerror(m_zip)));
        zip_discard(m_zip);
        m_zip = nullptr;
        m_out.discard();
        return false;
    }
    m_zip = nullptr;
    m_keep.clear();
    return m_out.commit(error);
}

bool sheetEntries(const QByteArray &workbookXml, SheetEntries *out)
{
    SheetEntries e;
    QXmlStreamReader x(workbookXml);
    while (!x.atEnd()) {
        const auto token = x.readNext();
        if (token == QXmlStreamReader::DTD)
            return false;
        if (token != QXmlStreamReader::StartElement || x.name() != QLatin1String("sheet"))
            continue;
        const auto attrs = x.attributes();
        e.names << attrs.value(QLatin1String("name")).toString();
        QString rid;
        for (const auto &a : attrs)
            if (a.name() == QLatin1String("id"))
                rid = a.value().toString();
        e.relIds << rid;
        bool ok = false;
        const qint64 id = attrs.value(QLatin1String("sheetId")).toLongLong(&ok);
        if (ok)
            e.maxSheetId = std::max(e.maxSheetId, id);
    }
    if (x.hasError())
        return false;
    *out = e;
    return true;
}

bool copyXml(const QByteArray &in, QByteArray *out, const XmlEdit &edit, QString *why)
{
    QXmlStreamReader r(in);
    out->clear();
    QXmlStreamWriter w(out);
    // Every name is written as it was read, prefix included, so nothing is re-declared.
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartDocument:
            w.writeStartDocument(r.documentVersion().isEmpty() ? QStringLiteral("1.0") : r.documentVersion().toString(),
                                 r.isStandaloneDocument());
            break;
        case QXmlStreamReader::EndDocument:
            w.writeEndDocument();
            break;
        case QXmlStreamReader::DTD:
            *why = QStringLiteral("it declares a document type, which no part of an office file has");
            return false;
        case QXmlStreamReader::StartElement: {
            w.writeStartElement(r.qualifiedName().toString());
            for (const QXmlStreamNamespaceDeclaration &ns : r.namespaceDeclarations())
                w.writeAttribute(ns.prefix().isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + ns.prefix().toString(),
                                 ns.namespaceUri().toString());
            QXmlStreamAttributes attrs = r.attributes();
            if (edit.attributes)
                edit.attributes(r, attrs);
            for (const QXmlStreamAttribute &a : std::as_const(attrs))
                if (!a.isDefault())
                    w.writeAttribute(a.qualifiedName().toString(), a.value().toString());
            if (edit.afterStart)
                edit.afterStart(r, w);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (edit.beforeEnd)
                edit.beforeEnd(r, w);
            w.writeEndElement();
            break;
        case QXmlStreamReader::Characters:
            if (r.isCDATA())
                w.writeCDATA(r.text().toString());
            else
                w.writeCharacters(r.text().toString());
            break;
        case QXmlStreamReader::Comment:
            w.writeComment(r.text().toString());
            break;
        case QXmlStreamReader::ProcessingInstruction:
            w.writeProcessingInstruction(r.processingInstructionTarget().toString(), r.processingInstructionData().toString());
            break;
        case QXmlStreamReader::EntityReference:
            *why = QStringLiteral("it refers to an entity that is not declared");
            return false;
        default:
            break;
        }
    }
    if (r.hasError()) {
        *why = QStringLiteral("%1 (line %2)").arg(r.errorString()).arg(r.lineNumber());
        return false;
    }
    return true;
}

}  // namespace office
