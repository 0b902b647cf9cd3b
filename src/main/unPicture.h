#pragma once
// Picture handling for the user's photo attributes (thumbnailPhoto, jpegPhoto): JPEG decoding
// and encoding through libjpeg, Windows bitmaps converted to JPEG before they are stored, the
// size limit of thumbnailPhoto and the texts of the picture details. No widgets here.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace picture {

// thumbnailPhoto holds at most this many bytes (the directory's range limit).
inline constexpr qint64 MaxThumbnailBytes = 102400;

// Pictures whose header claims more pixels than this (or a side longer than MaxPictureSide)
// are refused before anything is allocated for them: a directory value or a file is
// untrusted input, and a few bytes can claim gigabytes.
inline constexpr qint64 MaxPicturePixels = 40'000'000;
inline constexpr int MaxPictureSide = 20'000;

// A decoded picture with the colour depth of its source (bits per pixel: 8 for grey JPEG,
// 24 for colour JPEG, 32 for CMYK JPEG, the header's depth for bitmaps).
struct Picture {
    QImage image;
    int bitDepth = 0;
    bool isNull() const { return image.isNull(); }
};

// Decodes JPEG bytes. On failure returns a null picture and, when error is given, says why.
Picture decodeJpeg(const QByteArray &bytes, QString *error = nullptr);

// Decodes a Windows bitmap file's bytes (the depth is taken from its header).
Picture decodeBmp(const QByteArray &bytes, QString *error = nullptr);

// Encodes an image as baseline JPEG (quality 0..100). Empty on failure.
QByteArray encodeJpeg(const QImage &image, int quality = 90, QString *error = nullptr);

// The message shown when a file is too big for thumbnailPhoto.
QString tooBigMessage(qint64 size);

// "1,234,567 bytes": the size with the locale's thousands separators and no decimals.
QString byteCountText(qint64 size);

// What the details labels show for a picture (ShowPictureDetails).
struct Details {
    QString name;          // lbPicName: the name without its folder
    QString dimension;     // lbPictDimension: "%dx%d pixels"
    QString palette;       // lblPicPal
    QString sizeText;      // lblPicSize
    qint64 size = 0;       // the remembered size (0 when nothing is visible)
    bool visible = false;  // a picture is visible
    bool nameRed = false;  // the name label is shown in red
};

// name: the picture's name or path; size: its byte count (-1: computed from the picture);
// shown: the picture now displayed (may be null); jpegPhotoOption: pictures go to jpegPhoto.
Details pictureDetails(const QString &name, qint64 size, const Picture &shown, bool jpegPhotoOption);

// The status line of the large picture window: "[Palette: True-Color] [160x120 pixels]
// [57,600 bytes]", the size being width x height x bytes per pixel of the colour depth.
QString pictureStatusText(const Picture &picture);

// An upload prepared from a file: what to show and the bytes to write.
struct Upload {
    bool ok = false;
    QString error;      // the message to show when not ok
    Picture shown;      // the picture as read from the file
    QByteArray bytes;   // JPEG bytes to store
    qint64 fileSize = 0;
};

// Prepares an upload: a file larger than the thumbnailPhoto limit is refused when it goes to
// thumbnailPhoto; a ".bmp" file is decoded as a bitmap and re-encoded as JPEG; any other file
// must decode as JPEG and is stored unchanged. Files that do not decode are refused.
Upload prepareUpload(const QString &fileName, const QByteArray &fileBytes, bool intoThumbnail);

// The name a picture of the id box is shown under: "Picture<id>.jpg" or "Picture.jpg".
QString pictureName(int id);

} // namespace picture
