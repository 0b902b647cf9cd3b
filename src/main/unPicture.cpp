#include "main/unPicture.h"

#include <QFileInfo>
#include <QLocale>
#include <QtEndian>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace picture {

namespace {

// libjpeg reports fatal errors through error_exit, which by default ends the process; jump
// back instead and keep the library's message.
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr info)
{
    auto *err = reinterpret_cast<JpegError *>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

namespace {
bool dimensionsAcceptable(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide &&
           width * height <= MaxPicturePixels;
}

QString tooLargeText(qint64 width, qint64 height)
{
    return QStringLiteral("The picture claims %1x%2 pixels, more than a user picture can have; it is not read.")
        .arg(width)
        .arg(height);
}
} // namespace

Picture decodeJpeg(const QByteArray &bytes, QString *error)
{
    if (bytes.size() < 4) {
        setError(error, QStringLiteral("The data is not a JPEG picture."));
        return {};
    }
    jpeg_decompress_struct cinfo{};
    JpegError jerr{};
    cinfo.err = jpeg_std_error(&jerr.mgr);
    jerr.mgr.error_exit = jpegErrorExit;
    jerr.mgr.emit_message = jpegSilence;
    // Everything that must survive a longjmp lives outside this frame's registers.
    Picture *const result = new Picture;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        setError(error, QStringLiteral("The data is not a readable JPEG picture (%1).")
                            .arg(QString::fromLocal8Bit(jerr.message)));
        delete result;
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    // libjpeg's own working memory is bounded as well (progressive pictures buffer whole
    // coefficient planes).
    cinfo.mem->max_memory_to_use = 256L * 1024 * 1024;
    jpeg_read_header(&cinfo, TRUE);
    if (!dimensionsAcceptable(cinfo.image_width, cinfo.image_height)) {
        const QString text = tooLargeText(cinfo.image_width, cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        delete result;
        setError(error, text);
        return {};
    }
    const int components = cinfo.num_components;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    if (cmyk)
        cinfo.out_color_space = JCS_CMYK;
    else if (cinfo.jpeg_color_space == JCS_GRAYSCALE)
        cinfo.out_color_space = JCS_GRAYSCALE;
    else
        cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    const int outComponents = cinfo.output_components;
    // The picture and the line buffer live where a longjmp cannot skip their destructors:
    // the picture on the heap, the line in libjpeg's own pool.
    result->image = QImage(width, height, QImage::Format_RGB32);
    if (result->image.isNull())
        jpegErrorExit(reinterpret_cast<j_common_ptr>(&cinfo));
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                    static_cast<JDIMENSION>(width * outComponents), 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, buffer, 1);
        auto *dst = reinterpret_cast<QRgb *>(result->image.scanLine(y));
        const unsigned char *src = buffer[0];
        for (int x = 0; x < width; ++x) {
            if (outComponents == 1) {
                dst[x] = qRgb(src[x], src[x], src[x]);
            } else if (outComponents == 4) {
                // Adobe writes CMYK inverted; the saw_Adobe_marker flag tells which.
                int c = src[4 * x], m = src[4 * x + 1], ye = src[4 * x + 2], k = src[4 * x + 3];
                if (!cinfo.saw_Adobe_marker) {
                    c = 255 - c; m = 255 - m; ye = 255 - ye; k = 255 - k;
                }
                dst[x] = qRgb(c * k / 255, m * k / 255, ye * k / 255);
            } else {
                dst[x] = qRgb(src[3 * x], src[3 * x + 1], src[3 * x + 2]);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    result->bitDepth = components * 8;
    Picture out = *result;
    delete result;
    return out;
}

Picture decodeBmp(const QByteArray &bytes, QString *error)
{
    // BITMAPFILEHEADER (14 bytes) + at least the core header; the depth is a 16-bit field at
    // offset 28 of the info header and 24 of the old core header.
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') {
        setError(error, QStringLiteral("The file is not a bitmap picture."));
        return {};
    }
    // The dimensions from the header (BITMAPCOREHEADER: 16-bit, BITMAPINFOHEADER and later:
    // 32-bit signed, a negative height meaning top-down) are checked before decoding.
    {
        const auto *head = reinterpret_cast<const uchar *>(bytes.constData());
        const quint32 size = qFromLittleEndian<quint32>(head + 14);
        qint64 width = 0, height = 0;
        if (size == 12) {
            width = qFromLittleEndian<quint16>(head + 18);
            height = qFromLittleEndian<quint16>(head + 20);
        } else if (bytes.size() >= 26) {
            width = qFromLittleEndian<qint32>(head + 18);
            height = qAbs(qint64(qFromLittleEndian<qint32>(head + 22)));
        }
        if (!dimensionsAcceptable(width, height)) {
            setError(error, width > 0 && height > 0 ? tooLargeText(width, height)
                                                    : QStringLiteral("The bitmap picture cannot be read."));
            return {};
        }
    }
    QImage image;
    if (!image.loadFromData(bytes, "BMP") || image.isNull()) {
        setError(error, QStringLiteral("The bitmap picture cannot be read."));
        return {};
    }
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const quint32 headerSize = qFromLittleEndian<quint32>(data + 14);
    int depth = image.depth();
    if (headerSize == 12 && bytes.size() >= 26)
        depth = qFromLittleEndian<quint16>(data + 24);
    else if (bytes.size() >= 30)
        depth = qFromLittleEndian<quint16>(data + 28);
    return Picture{image, depth};
}

QByteArray encodeJpeg(const QImage &source, int quality, QString *error)
{
    if (source.isNull()) {
        setError(error, QStringLiteral("There is no picture to save."));
        return {};
    }
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    JpegError jerr{};
    cinfo.err = jpeg_std_error(&jerr.mgr);
    jerr.mgr.error_exit = jpegErrorExit;
    jerr.mgr.emit_message = jpegSilence;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        setError(error, QStringLiteral("The picture cannot be encoded as JPEG (%1).")
                            .arg(QString::fromLocal8Bit(jerr.message)));
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width());
    cinfo.image_height = static_cast<JDIMENSION>(image.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, qBound(0, quality, 100), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray out(reinterpret_cast<const char *>(buffer), static_cast<qsizetype>(size));
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

QString byteCountText(qint64 size)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(size) + QStringLiteral(" bytes");
}

QString pictureStatusText(const Picture &picture)
{
    const Details d = pictureDetails(QString(), -1, picture, true);
    return QStringLiteral("[Palette: %1] [%2] [%3]").arg(d.palette, d.dimension, d.sizeText);
}

QString tooBigMessage(qint64 size)
{
    return QStringLiteral("The picture you have selected is too big (") + QString::number(size)
           + QStringLiteral(" bytes)!\r\r") + QStringLiteral("Maximum allowed file size is ")
           + QStringLiteral("102400") + QStringLiteral(" bytes.");
}

Details pictureDetails(const QString &name, qint64 size, const Picture &shown, bool jpegPhotoOption)
{
    Details d;
    d.name = QFileInfo(name).fileName();
    const int width = shown.isNull() ? 0 : shown.image.width();
    const int height = shown.isNull() ? 0 : shown.image.height();
    int factor = 1;
    switch (shown.bitDepth) {
    case 15:
    case 16:
        d.palette = QStringLiteral("Hi-Color");
        factor = 2;
        break;
    case 24:
        d.palette = QStringLiteral("True-Color");
        factor = 3;
        break;
    case 32:
        d.palette = QStringLiteral("True-Color");
        factor = 4;
        break;
    default:
        d.palette = QStringLiteral("Low-Color");
        factor = 1;
    }
    if (size == -1 && !shown.isNull())
        size = qint64(width) * height * factor;
    d.visible = size > 0;
    if (d.visible) {
        d.dimension = QStringLiteral("%1x%2 pixels").arg(width).arg(height);
        d.size = size;
        d.sizeText = byteCountText(size);
        d.nameRed = size > MaxThumbnailBytes && !jpegPhotoOption;
    } else {
        d.dimension = QStringLiteral("0x0 pixels");
        d.palette = QStringLiteral("none");
        d.sizeText = QStringLiteral("0 bytes");
        d.size = 0;
        d.nameRed = false;
    }
    return d;
}

Upload prepareUpload(const QString &fileName, const QByteArray &fileBytes, bool intoThumbnail)
{
    Upload u;
    u.fileSize = fileBytes.size();
    if (intoThumbnail && u.fileSize > MaxThumbnailBytes) {
        u.error = tooBigMessage(u.fileSize);
        return u;
    }
    QString why;
    const QString base = QFileInfo(fileName).fileName();
    if (QFileInfo(fileName).suffix().toUpper() == QLatin1String("BMP")) {
        u.shown = decodeBmp(fileBytes, &why);
        if (u.shown.isNull()) {
            u.error = QStringLiteral("\"%1\" is not a picture that can be stored: %2\r\rNothing has been written.")
                          .arg(base, why);
            return u;
        }
        u.bytes = encodeJpeg(u.shown.image, 90, &why);
        if (u.bytes.isEmpty()) {
            u.error = QStringLiteral("\"%1\" cannot be converted to JPEG: %2\r\rNothing has been written.")
                          .arg(base, why);
            return u;
        }
        // The converted picture must still fit the attribute it goes to.
        if (intoThumbnail && u.bytes.size() > MaxThumbnailBytes) {
            u.error = tooBigMessage(u.bytes.size());
            u.bytes.clear();
            return u;
        }
    } else {
        u.shown = decodeJpeg(fileBytes, &why);
        if (u.shown.isNull()) {
            u.error = QStringLiteral("\"%1\" is not a picture that can be stored: %2\r\rOnly JPEG pictures and bitmaps (*.bmp) can be uploaded; nothing has been written.")
                          .arg(base, why);
            return u;
        }
        u.bytes = fileBytes;
    }
    u.ok = true;
    return u;
}

QString pictureName(int id)
{
    return id < 0 ? QStringLiteral("Picture.jpg") : QStringLiteral("Picture%1.jpg").arg(id);
}

} // namespace picture
