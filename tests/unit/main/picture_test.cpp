#include "main/unPicture.h"

#include <QBuffer>
#include <QLocale>
#include <gtest/gtest.h>

using namespace picture;

namespace {

QImage gradient(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 255 / qMax(1, w - 1), y * 255 / qMax(1, h - 1), 128));
    return img;
}

QByteArray bmpBytes(const QImage &img)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "BMP");
    return out;
}

} // namespace

TEST(PictureCodec, JpegRoundTripKeepsSizeAndColour)
{
    const QImage src = gradient(64, 40);
    const QByteArray jpeg = encodeJpeg(src, 95);
    ASSERT_GT(jpeg.size(), 4);
    EXPECT_EQ(uchar(jpeg[0]), 0xFF);
    EXPECT_EQ(uchar(jpeg[1]), 0xD8);
    const Picture p = decodeJpeg(jpeg);
    ASSERT_FALSE(p.isNull());
    EXPECT_EQ(p.image.size(), src.size());
    EXPECT_EQ(p.bitDepth, 24);
    // Lossy, but a smooth gradient must come back close to the original.
    const QRgb a = src.pixel(50, 30), b = p.image.pixel(50, 30);
    EXPECT_NEAR(qRed(a), qRed(b), 8);
    EXPECT_NEAR(qGreen(a), qGreen(b), 8);
    EXPECT_NEAR(qBlue(a), qBlue(b), 8);
}

TEST(PictureCodec, GreyJpegReportsEightBits)
{
    QImage grey(20, 10, QImage::Format_Grayscale8);
    grey.fill(100);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    ASSERT_TRUE(grey.save(&buf, "JPEG"));
    const Picture p = decodeJpeg(bytes);
    ASSERT_FALSE(p.isNull());
    EXPECT_EQ(p.bitDepth, 8);
    EXPECT_EQ(pictureDetails("x.jpg", bytes.size(), p, false).palette, "Low-Color");
}

TEST(PictureCodec, UndecodableBytesFailWithAReasonInsteadOfAborting)
{
    QString why;
    EXPECT_TRUE(decodeJpeg(QByteArray("not a picture at all, just text"), &why).isNull());
    EXPECT_FALSE(why.isEmpty());
    // A JPEG signature followed by garbage goes through libjpeg's fatal error path.
    why.clear();
    QByteArray fake("\xFF\xD8\xFF\xE0garbage-garbage-garbage", 26);
    EXPECT_TRUE(decodeJpeg(fake, &why).isNull());
    EXPECT_FALSE(why.isEmpty());
    EXPECT_TRUE(decodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(decodeBmp(QByteArray("BMxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"), &why).isNull());
}

TEST(PictureUpload, ThumbnailRefusesFilesAboveTheLimitJpegPhotoTakesThem)
{
    QByteArray big = encodeJpeg(gradient(120, 120));
    ASSERT_LT(big.size(), 150000);
    big.append(QByteArray(150000 - big.size(), '\0')); // padding after the end marker
    const Upload refused = prepareUpload("/tmp/big.jpg", big, /*intoThumbnail=*/true);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, QStringLiteral("The picture you have selected is too big (150000 bytes)!\r\r"
                                            "Maximum allowed file size is 102400 bytes."));
    EXPECT_TRUE(refused.bytes.isEmpty());

    const Upload taken = prepareUpload("/tmp/big.jpg", big, /*intoThumbnail=*/false);
    ASSERT_TRUE(taken.ok) << taken.error.toStdString();
    EXPECT_EQ(taken.bytes, big); // JPEG files are stored byte for byte
    EXPECT_EQ(taken.shown.image.size(), QSize(120, 120));
}

TEST(PictureUpload, LimitIsInclusive)
{
    QByteArray exact = encodeJpeg(gradient(30, 30));
    exact.append(QByteArray(MaxThumbnailBytes - exact.size(), '\0'));
    EXPECT_TRUE(prepareUpload("a.jpeg", exact, true).ok);
    exact.append('\0');
    EXPECT_FALSE(prepareUpload("a.jpeg", exact, true).ok);
}

TEST(PictureUpload, BitmapIsStoredAsJpeg)
{
    const QImage src = gradient(50, 30);
    const QByteArray bmp = bmpBytes(src);
    ASSERT_TRUE(bmp.startsWith("BM"));
    const Upload u = prepareUpload("/home/u/Photo.BMP", bmp, true);
    ASSERT_TRUE(u.ok) << u.error.toStdString();
    EXPECT_NE(u.bytes, bmp);
    const Picture stored = decodeJpeg(u.bytes);
    ASSERT_FALSE(stored.isNull());
    EXPECT_EQ(stored.image.size(), QSize(50, 30));
    EXPECT_EQ(u.shown.bitDepth, 24); // the bitmap header says 24 bits, whatever Qt decodes into
}

TEST(PictureUpload, FilesThatAreNotPicturesAreRefusedWithNothingToWrite)
{
    const Upload text = prepareUpload("/tmp/notes.jpg", QByteArray("hello, I am a text file"), true);
    EXPECT_FALSE(text.ok);
    EXPECT_TRUE(text.bytes.isEmpty());
    EXPECT_TRUE(text.error.contains("notes.jpg"));

    // A bitmap with a .jpg extension is not JPEG data: refused rather than stored as is.
    const Upload misnamed = prepareUpload("/tmp/photo.jpg", bmpBytes(gradient(8, 8)), true);
    EXPECT_FALSE(misnamed.ok);
    EXPECT_TRUE(misnamed.bytes.isEmpty());

    const Upload badBmp = prepareUpload("/tmp/photo.bmp", QByteArray("BM-broken"), false);
    EXPECT_FALSE(badBmp.ok);
    EXPECT_TRUE(badBmp.bytes.isEmpty());
}

TEST(PictureDetails, VisiblePictureTexts)
{
    Picture p{gradient(96, 72), 24};
    const Details d = pictureDetails("/some/folder/Picture0.jpg", 123456, p, false);
    EXPECT_EQ(d.name, "Picture0.jpg");
    EXPECT_EQ(d.dimension, "96x72 pixels");
    EXPECT_EQ(d.palette, "True-Color");
    EXPECT_TRUE(d.visible);
    EXPECT_EQ(d.size, 123456);
    QLocale loc = QLocale::system();
    const QString sep = loc.groupSeparator();
    EXPECT_EQ(d.sizeText, "123" + sep + "456 bytes");
    EXPECT_TRUE(d.nameRed); // above the thumbnail limit while pictures go to thumbnailPhoto
    EXPECT_FALSE(pictureDetails("x", 123456, p, true).nameRed);
    EXPECT_FALSE(pictureDetails("x", MaxThumbnailBytes, p, false).nameRed);
}

TEST(PictureDetails, SizeComputedFromDepthAndNothingVisible)
{
    EXPECT_EQ(pictureDetails("x", -1, Picture{gradient(10, 5), 16}, false).size, 10 * 5 * 2);
    EXPECT_EQ(pictureDetails("x", -1, Picture{gradient(10, 5), 32}, false).size, 10 * 5 * 4);
    EXPECT_EQ(pictureDetails("x", -1, Picture{gradient(10, 5), 8}, false).size, 10 * 5);

    const Details none = pictureDetails("noname", 0, Picture{gradient(10, 5), 24}, false);
    EXPECT_FALSE(none.visible);
    EXPECT_EQ(none.dimension, "0x0 pixels");
    EXPECT_EQ(none.palette, "none");
    EXPECT_EQ(none.sizeText, "0 bytes");
    EXPECT_EQ(none.size, 0);
    EXPECT_FALSE(pictureDetails("x", -1, Picture{}, false).visible);
}

// A header that claims a huge picture is refused before the decoder allocates for it.
TEST(PictureCodec, HugeClaimedDimensionsAreRefusedUpFront)
{
    QImage small(4, 4, QImage::Format_RGB32);
    small.fill(Qt::red);
    QByteArray jpeg = picture::encodeJpeg(small);
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    // SOF0: marker, length (2), precision (1), height (2), width (2).
    for (qsizetype at : {sof + 5, sof + 7}) {
        jpeg[at] = char(0xEA);  // 60,000
        jpeg[at + 1] = char(0x60);
    }
    QString error;
    EXPECT_TRUE(picture::decodeJpeg(jpeg, &error).isNull());
    EXPECT_TRUE(error.contains(QLatin1String("60000x60000"))) << error.toStdString();

    // A bitmap whose info header claims 50,000 x 50,000 pixels and holds six bytes of them.
    QByteArray bmp("BM", 2);
    auto le32 = [&bmp](qint32 v) { for (int i = 0; i < 4; ++i) bmp.append(char((v >> (8 * i)) & 0xFF)); };
    auto le16 = [&bmp](qint16 v) { bmp.append(char(v & 0xFF)); bmp.append(char((v >> 8) & 0xFF)); };
    le32(60); le32(0); le32(54);                 // file size, reserved, pixel offset
    le32(40); le32(50000); le32(-50000);         // header size, width, top-down height
    le16(1); le16(24); le32(0); le32(0); le32(0); le32(0); le32(0); le32(0);
    bmp.append(QByteArray(6, '\0'));
    error.clear();
    EXPECT_TRUE(picture::decodeBmp(bmp, &error).isNull());
    EXPECT_TRUE(error.contains(QLatin1String("50000x50000"))) << error.toStdString();
}
