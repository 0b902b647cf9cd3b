#include "quickpanel_support.h"

#include "main/unPicture.h"
#include "main/unPictureTab.h"
#include "ui/objectbus.h"

#include <QApplication>
#include <QBuffer>
#include <QTimer>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QRegularExpression>
#include <QTest>

using namespace qptest;

namespace {

QImage gradient(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 90));
    return img;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QByteArray> jpegPhotos(const QString &dn)
{
    const QVariant v = read(dn, "jpegPhoto");
    QList<QByteArray> out;
    if (v.typeId() == QMetaType::QVariantList)
        for (const QVariant &e : v.toList())
            out << e.toByteArray();
    else if (v.isValid())
        out << v.toByteArray();
    return out;
}

} // namespace

class PictureTab : public PanelTest {
protected:
    void useJpegPhoto(bool on)
    {
        options::TOptions o;
        options::LoadOptions(o);
        o.UseJpegPhoto = on;
        options::SaveOptions(o);
    }
    void showPictureTab() { child<QTabWidget>("pcFastUser")->setCurrentIndex(5); }
    QString text(const char *name) { return child<QLabel>(name)->text(); }
    bool enabled(const char *name) { return child<QWidget>(name)->isEnabled(); }
};

TEST_F(PictureTab, UserWithoutPictureShowsNone)
{
    load(createUser("qp-nopic"));
    showPictureTab();
    EXPECT_EQ(text("lblPicPal"), "none");
    EXPECT_EQ(text("lblPicSize"), "0 bytes");
    EXPECT_EQ(text("lbPictDimension"), "0x0 pixels");
    EXPECT_FALSE(child<QWidget>("ContactImage")->isVisible());
    EXPECT_FALSE(enabled("btnPicExport"));
    EXPECT_FALSE(enabled("btnPicRemove"));
    EXPECT_TRUE(enabled("btnPicUpload"));
    EXPECT_TRUE(child<QRadioButton>("rbthumbnailPhoto")->isChecked());
}

TEST_F(PictureTab, ThumbnailUploadExportAndClear)
{
    useJpegPhoto(false);
    const QString dn = createUser("qp-thumb");
    load(dn);
    showPictureTab();
    QObject other;
    QStringList notices;
    ui::ObjectBus::instance().registerWindow(&other, [&](int code, const QString &d) { notices << QString("%1 %2").arg(code).arg(d); });

    const QByteArray jpeg = picture::encodeJpeg(gradient(160, 120));
    const QString file = writeFile(dir, "face.jpg", jpeg);
    prompts.answer(ui::ScriptedAnswer::file(file));
    child<QPushButton>("btnPicUpload")->click();
    EXPECT_EQ(read(dn, "thumbnailPhoto").toByteArray(), jpeg); // JPEG stored byte for byte
    EXPECT_EQ(notices, QStringList{"1 " + dn});
    EXPECT_EQ(text("lbPictDimension"), "160x120 pixels");
    EXPECT_EQ(text("lblPicPal"), "True-Color");
    EXPECT_EQ(text("lbPicName"), "Picture.jpg");
    EXPECT_TRUE(enabled("btnPicExport"));
    EXPECT_TRUE(enabled("btnPicRemove"));
    // Shown inside the 100 x 100 box, scaled down with its proportions, nothing cut off.
    auto *image = panel.findChild<TScaledPicture *>("ContactImage");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->targetRect(), QRect(0, 12, 100, 75));

    // A click on the picture opens the large window, titled with the picture's name.
    QString caption;
    QTimer::singleShot(0, [&caption] {
        if (auto *d = qobject_cast<TfrmPictureDetail *>(QApplication::activeModalWidget())) {
            caption = d->windowTitle();
            d->accept();
        }
    });
    emit image->clicked();
    EXPECT_EQ(caption, "Picture.jpg");

    const QString out = dir.filePath("export.jpg");
    prompts.answer(ui::ScriptedAnswer::file(out));
    child<QPushButton>("btnPicExport")->click();
    EXPECT_EQ(readFile(out), jpeg);
    EXPECT_TRUE(prompts.asked().last().initial.endsWith("Picture.jpg"));

    child<QPushButton>("btnPicRemove")->click();
    EXPECT_FALSE(read(dn, "thumbnailPhoto").isValid());
    EXPECT_EQ(text("lblPicSize"), "0 bytes");
    EXPECT_FALSE(enabled("btnPicExport"));
    ui::ObjectBus::instance().unregisterWindow(&other);
}

TEST_F(PictureTab, TooBigForThumbnailButFineForJpegPhoto)
{
    useJpegPhoto(false);
    const QString dn = createUser("qp-big");
    load(dn);
    showPictureTab();
    QByteArray big = picture::encodeJpeg(gradient(200, 200));
    big.append(QByteArray(150000 - big.size(), '\0'));
    const QString file = writeFile(dir, "big.jpg", big);
    prompts.answer(ui::ScriptedAnswer::file(file));
    child<QPushButton>("btnPicUpload")->click();
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_EQ(prompts.messages().at(0), "The picture you have selected is too big (150000 bytes)!\r\r"
                                        "Maximum allowed file size is 102400 bytes.");
    EXPECT_FALSE(read(dn, "thumbnailPhoto").isValid());

    useJpegPhoto(true);
    load(dn);
    showPictureTab();
    EXPECT_TRUE(child<QRadioButton>("rbjpegPhoto")->isChecked());
    EXPECT_EQ(child<QComboBox>("cbPictureID")->currentText(), "<new>");
    ASSERT_TRUE(enabled("btnPicUpload"));
    prompts.answer(ui::ScriptedAnswer::file(file));
    child<QPushButton>("btnPicUpload")->click();
    EXPECT_EQ(jpegPhotos(dn), QList<QByteArray>{big});
    EXPECT_EQ(text("lblPicSize"), picture::byteCountText(150000));
}

TEST_F(PictureTab, BitmapIsStoredAsJpeg)
{
    useJpegPhoto(false);
    const QString dn = createUser("qp-bmp");
    load(dn);
    showPictureTab();
    QByteArray bmp;
    QBuffer buf(&bmp);
    buf.open(QIODevice::WriteOnly);
    gradient(64, 48).save(&buf, "BMP");
    prompts.answer(ui::ScriptedAnswer::file(writeFile(dir, "scan.bmp", bmp)));
    child<QPushButton>("btnPicUpload")->click();
    const QByteArray stored = read(dn, "thumbnailPhoto").toByteArray();
    ASSERT_FALSE(stored.isEmpty());
    EXPECT_TRUE(stored.startsWith("\xFF\xD8"));
    EXPECT_EQ(picture::decodeJpeg(stored).image.size(), QSize(64, 48));
}

TEST_F(PictureTab, NotAPictureIsRefusedAndNothingWritten)
{
    useJpegPhoto(false);
    const QString dn = createUser("qp-txt");
    load(dn);
    showPictureTab();
    prompts.answer(ui::ScriptedAnswer::file(writeFile(dir, "notes.jpg", "just some text")));
    child<QPushButton>("btnPicUpload")->click();
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages().at(0).contains("notes.jpg"));
    EXPECT_FALSE(read(dn, "thumbnailPhoto").isValid());
}

TEST_F(PictureTab, SecondOfTwoJpegPhotosIsExportedAndClearedAlone)
{
    const QByteArray first = picture::encodeJpeg(gradient(40, 30));
    const QByteArray second = picture::encodeJpeg(gradient(30, 40));
    const QString dn = createUser("qp-two", {{"jpegPhoto", QVariantList{first, second}}});
    useJpegPhoto(true);
    load(dn);
    showPictureTab();
    auto *ids = child<QComboBox>("cbPictureID");
    ASSERT_EQ(ids->count(), 3);
    EXPECT_EQ(ids->itemText(2), "<new>");
    ids->setCurrentIndex(1);
    panel.pictureTab()->cbPictureIDChange();
    EXPECT_EQ(text("lbPicName"), "Picture1.jpg");
    EXPECT_EQ(panel.pictureTab()->photoValues(), second);

    const QString out = dir.filePath("second.jpg");
    prompts.answer(ui::ScriptedAnswer::file(out));
    child<QPushButton>("btnPicExport")->click();
    EXPECT_EQ(readFile(out), second);

    ASSERT_TRUE(enabled("btnPicRemove"));
    child<QPushButton>("btnPicRemove")->click();
    EXPECT_EQ(jpegPhotos(dn), QList<QByteArray>{first});

    // With one value left, clearing removes the attribute.
    ids->setCurrentIndex(0);
    panel.pictureTab()->cbPictureIDChange();
    child<QPushButton>("btnPicRemove")->click();
    EXPECT_TRUE(jpegPhotos(dn).isEmpty());
}

TEST_F(PictureTab, JpegPhotoIsNotWritableWhileTheOptionIsOff)
{
    const QString dn = createUser("qp-off", {{"jpegPhoto", picture::encodeJpeg(gradient(20, 20))}});
    useJpegPhoto(false);
    load(dn);
    showPictureTab();
    EXPECT_TRUE(child<QRadioButton>("rbjpegPhoto")->isChecked());
    EXPECT_FALSE(enabled("btnPicUpload"));
    EXPECT_FALSE(enabled("btnPicRemove"));
    EXPECT_TRUE(enabled("btnPicExport"));
    EXPECT_EQ(child<QComboBox>("cbPictureID")->findText("<new>"), -1);
}

TEST_F(PictureTab, UploadIntoNewAppendsToJpegPhoto)
{
    const QByteArray first = picture::encodeJpeg(gradient(40, 30));
    const QString dn = createUser("qp-app", {{"jpegPhoto", first}});
    useJpegPhoto(true);
    load(dn);
    showPictureTab();
    auto *ids = child<QComboBox>("cbPictureID");
    ASSERT_EQ(ids->count(), 2);
    EXPECT_EQ(ids->currentIndex(), 0);
    EXPECT_FALSE(enabled("btnPicUpload")); // a stored picture is selected, not "<new>"
    ids->setCurrentIndex(1);
    panel.pictureTab()->cbPictureIDChange();
    ASSERT_TRUE(enabled("btnPicUpload"));
    const QByteArray added = picture::encodeJpeg(gradient(50, 50));
    prompts.answer(ui::ScriptedAnswer::file(writeFile(dir, "added.jpeg", added)));
    child<QPushButton>("btnPicUpload")->click();
    EXPECT_EQ(jpegPhotos(dn), (QList<QByteArray>{first, added}));
    EXPECT_EQ(ids->count(), 3);
}

TEST(ScaledPicture, SmallPicturesKeepTheirSizeLargeOnesShrinkInProportion)
{
    TScaledPicture box;
    box.setFixedSize(100, 100);
    box.setImage(gradient(40, 30));
    EXPECT_EQ(box.targetRect(), QRect(30, 35, 40, 30)); // centred, not stretched
    box.setImage(gradient(90, 300));
    EXPECT_EQ(box.targetRect(), QRect(35, 0, 30, 100)); // whole picture, proportions kept
    box.setImage({});
    EXPECT_TRUE(box.targetRect().isNull());
}

TEST_F(PictureTab, LargeWindowOfASeededPictureShowsItsStatusAndTogglesMaximised)
{
    useJpegPhoto(false);
    const QString dn = QStringLiteral("CN=Thumbnail Photo,OU=Showcase,") + testsupport::fact("SEED_OU");
    const QByteArray jpeg = read(dn, "thumbnailPhoto").toByteArray();
    ASSERT_FALSE(jpeg.isEmpty());
    // The frame header of the stored JPEG, read here marker by marker: height, width and the
    // number of colour components.
    int width = 0, height = 0, components = 0;
    for (qsizetype i = 2; i + 9 < jpeg.size() && uchar(jpeg[i]) == 0xFF;) {
        const int marker = uchar(jpeg[i + 1]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            height = uchar(jpeg[i + 5]) << 8 | uchar(jpeg[i + 6]);
            width = uchar(jpeg[i + 7]) << 8 | uchar(jpeg[i + 8]);
            components = uchar(jpeg[i + 9]);
            break;
        }
        i += 2 + (uchar(jpeg[i + 2]) << 8 | uchar(jpeg[i + 3]));
    }
    ASSERT_EQ(components, 3) << "the seed's portraits are colour pictures";
    load(dn);
    showPictureTab();

    QString caption, status;
    QRect shown;
    QSize box;
    bool maximised = false, normalAgain = false;
    QTimer::singleShot(0, [&] {
        auto *d = qobject_cast<TfrmPictureDetail *>(QApplication::activeModalWidget());
        if (!d)
            return;
        caption = d->windowTitle();
        status = d->findChild<QLabel *>("lbPictureStatus")->text();
        auto *image = d->findChild<TScaledPicture *>("imgPicture");
        // A window too low for the picture: it shrinks to the height left for it.
        d->resize(width * 5, 0);
        QApplication::processEvents();
        shown = image->targetRect();
        box = image->size();
        QTest::mouseDClick(image, Qt::LeftButton, {}, box.isEmpty() ? QPoint() : QPoint(box.width() / 2, box.height() / 2));
        maximised = d->isMaximized();
        QTest::mouseDClick(image, Qt::LeftButton, {}, QPoint(1, 1));
        normalAgain = !d->isMaximized();
        d->accept();
    });
    emit child<TScaledPicture>("ContactImage")->clicked();
    EXPECT_EQ(caption, "Picture.jpg");
    // 24-bit colour: three bytes a pixel.
    const QString sizeText = status.section("] [", 2).chopped(1);
    EXPECT_EQ(status.section("] [", 0, 1) + "] [", QString("[Palette: True-Color] [%1x%2 pixels] [").arg(width).arg(height));
    EXPECT_TRUE(sizeText.endsWith(" bytes")) << status.toStdString();
    EXPECT_EQ(QString(sizeText).remove(QRegularExpression("[^0-9]")), QString::number(qint64(width) * height * 3));
    // Scaled down to the height, its proportions kept, in the middle of the window's width.
    ASSERT_FALSE(shown.isEmpty());
    ASSERT_LT(box.height(), height);
    EXPECT_EQ(shown.height(), box.height());
    EXPECT_NEAR(double(shown.width()) / shown.height(), double(width) / height, 0.05);
    EXPECT_NEAR(shown.center().x(), box.width() / 2, 1);
    EXPECT_NEAR(shown.center().y(), box.height() / 2, 1);
    EXPECT_TRUE(maximised);
    EXPECT_TRUE(normalAgain);
}
