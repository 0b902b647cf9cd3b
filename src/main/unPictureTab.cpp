#include "main/unPictureTab.h"

#include "core/unSearch.h"
#include "options/unOptions.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScopedValueRollback>
#include <QStackedLayout>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {
const QString kAppTitle = QStringLiteral("Arvendel");
const QString kNew = QStringLiteral("<new>");
} // namespace

// --- TScaledPicture -----------------------------------------------------------------------

TScaledPicture::TScaledPicture(QWidget *parent) : QWidget(parent) {}

void TScaledPicture::setImage(const QImage &image)
{
    image_ = image;
    update();
}

QRect TScaledPicture::targetRect() const
{
    if (image_.isNull())
        return {};
    QSize size = image_.size();
    // Larger pictures shrink to fit; smaller ones keep their size. Proportions always stay.
    if (size.width() > width() || size.height() > height())
        size = size.scaled(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void TScaledPicture::paintEvent(QPaintEvent *)
{
    if (image_.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(targetRect(), image_);
}

void TScaledPicture::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton)
        emit clicked();
}

void TScaledPicture::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton)
        emit doubleClicked();
}

// --- TfrmPictureDetail --------------------------------------------------------------------

TfrmPictureDetail::TfrmPictureDetail(const picture::Picture &picture, const QString &caption, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPictureDetail"));
    setWindowTitle(caption);
    setModal(true);
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    auto *layout = new QVBoxLayout(this);
    auto *image = new TScaledPicture(this);
    image->setObjectName(QStringLiteral("imgPicture"));
    image->setMinimumSize(16, 16);
    image->setImage(picture.image);
    connect(image, &TScaledPicture::doubleClicked, this, &TfrmPictureDetail::imgPictureDblClick);
    layout->addWidget(image, 1);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("btClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    auto *text = new QLabel(picture::pictureStatusText(picture), status);
    text->setObjectName(QStringLiteral("lbPictureStatus"));
    status->addWidget(text, 1);
    layout->addWidget(status);
    const QSize size = picture.image.size();
    ui::setupWindow(this, QSize(qBound(200, size.width() + 40, 1000), qBound(200, size.height() + 100, 800)));
    options::ApplyWindowFont(this);
}

void TfrmPictureDetail::imgPictureDblClick()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

// --- TPictureTab --------------------------------------------------------------------------

TPictureTab::TPictureTab(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsPicture"));
    auto *outer = new QHBoxLayout(this);
    auto *group = new QGroupBox(QStringLiteral(" Picture/Photo: "), this);
    outer->addWidget(group);
    auto *grid = new QGridLayout(group);

    auto *frame = new QWidget(group);
    frame->setFixedSize(100, 100);
    auto *stack = new QStackedLayout(frame);
    stack->setStackingMode(QStackedLayout::StackAll);
    lbNone = new QLabel(QStringLiteral("<none>"), frame);
    lbNone->setTextFormat(Qt::PlainText);
    lbNone->setAlignment(Qt::AlignCenter);
    ContactImage = new TScaledPicture(frame);
    ContactImage->setObjectName(QStringLiteral("ContactImage"));
    ContactImage->setFixedSize(100, 100);
    ContactImage->setCursor(Qt::PointingHandCursor);
    ui::setHint(ContactImage, QStringLiteral("Click For Large Image"));
    stack->addWidget(lbNone);
    stack->addWidget(ContactImage);
    ContactImage->raise();
    grid->addWidget(frame, 0, 0, 5, 1);

    auto *details = new QLabel(QStringLiteral("Image Details:"), group);
    grid->addWidget(details, 0, 1, 1, 2);
    lbPictDimension = new QLabel(group);
    lbPictDimension->setObjectName(QStringLiteral("lbPictDimension"));
    grid->addWidget(lbPictDimension, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Size:"), group), 2, 1);
    lblPicSize = new QLabel(group);
    lblPicSize->setObjectName(QStringLiteral("lblPicSize"));
    grid->addWidget(lblPicSize, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("Palette:"), group), 3, 1);
    lblPicPal = new QLabel(group);
    lblPicPal->setObjectName(QStringLiteral("lblPicPal"));
    grid->addWidget(lblPicPal, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("Name:"), group), 4, 1);
    lbPicName = new QLabel(group);
    lbPicName->setObjectName(QStringLiteral("lbPicName"));
    grid->addWidget(lbPicName, 4, 2);

    auto *buttons = new QVBoxLayout;
    btnPicUpload = new QPushButton(QStringLiteral("&Upload..."), group);
    btnPicUpload->setObjectName(QStringLiteral("btnPicUpload"));
    btnPicRemove = new QPushButton(QStringLiteral("&Clear..."), group);
    btnPicRemove->setObjectName(QStringLiteral("btnPicRemove"));
    btnPicExport = new QPushButton(QStringLiteral("Export..."), group);
    btnPicExport->setObjectName(QStringLiteral("btnPicExport"));
    buttons->addWidget(btnPicUpload);
    buttons->addWidget(btnPicRemove);
    buttons->addWidget(btnPicExport);
    auto *idRow = new QHBoxLayout;
    auto *idLabel = new QLabel(QStringLiteral("Picture ID:"), group);
    cbPictureID = new QComboBox(group);
    cbPictureID->setObjectName(QStringLiteral("cbPictureID"));
    idLabel->setBuddy(cbPictureID);
    idRow->addWidget(idLabel);
    idRow->addWidget(cbPictureID);
    buttons->addLayout(idRow);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 3, 5, 1);

    gbLocation = new QGroupBox(QStringLiteral(" Location "), group);
    gbLocation->setObjectName(QStringLiteral("gbLocation"));
    auto *loc = new QVBoxLayout(gbLocation);
    rbthumbnailPhoto = new QRadioButton(QStringLiteral("thumbnailPhoto"), gbLocation);
    rbthumbnailPhoto->setObjectName(QStringLiteral("rbthumbnailPhoto"));
    rbjpegPhoto = new QRadioButton(QStringLiteral("jpegPhoto"), gbLocation);
    rbjpegPhoto->setObjectName(QStringLiteral("rbjpegPhoto"));
    loc->addWidget(rbthumbnailPhoto);
    loc->addWidget(rbjpegPhoto);
    grid->addWidget(gbLocation, 0, 4, 5, 1);
    grid->setColumnStretch(5, 1);

    connect(btnPicUpload, &QPushButton::clicked, this, &TPictureTab::btnPicUploadClick);
    connect(btnPicRemove, &QPushButton::clicked, this, &TPictureTab::btnPicRemoveClick);
    connect(btnPicExport, &QPushButton::clicked, this, &TPictureTab::btnPicExportClick);
    connect(rbthumbnailPhoto, &QRadioButton::clicked, this, &TPictureTab::rbthumbnailPhotoClick);
    connect(rbjpegPhoto, &QRadioButton::clicked, this, &TPictureTab::rbjpegPhotoClick);
    connect(cbPictureID, &QComboBox::activated, this, &TPictureTab::cbPictureIDChange);
    connect(ContactImage, &TScaledPicture::clicked, this, &TPictureTab::ContactImageClick);
    ShowPictureDetails(QStringLiteral("noname"), 0);
}

bool TPictureTab::useJpeg() const
{
    return options::UseJpegPhoto();
}

void TPictureTab::uncheckLocations()
{
    rbthumbnailPhoto->setAutoExclusive(false);
    rbjpegPhoto->setAutoExclusive(false);
    rbthumbnailPhoto->setChecked(false);
    rbjpegPhoto->setChecked(false);
    rbthumbnailPhoto->setAutoExclusive(true);
    rbjpegPhoto->setAutoExclusive(true);
}

void TPictureTab::setUser(const ads::ObjectPtr &user, const QSet<QString> &allowed, const QString &dn)
{
    user_ = user;
    allowed_ = allowed;
    dn_ = dn;
    PictureChanged = false;
    PictureLoaded = false;
    PhotoValues.clear();
    shown_ = {};
    ContactImage->setImage({});
    cbPictureID->clear();
    uncheckLocations();
    ShowPictureDetails(QStringLiteral("noname"), 0);
}

void TPictureTab::clearShown(const QString &name)
{
    shown_ = {};
    ContactImage->setImage({});
    ShowPictureDetails(name, 0);
    PhotoValues.clear();
}

void TPictureTab::ShowPictureDetails(const QString &name, qint64 size)
{
    const picture::Details d = picture::pictureDetails(name, size, shown_, useJpeg());
    lbPicName->setText(d.name);
    lbPictDimension->setText(d.dimension);
    lblPicPal->setText(d.palette);
    lblPicSize->setText(d.sizeText);
    shownSize_ = d.size;
    ContactImage->setVisible(d.visible);
    btnPicExport->setEnabled(d.visible);
    btnPicRemove->setEnabled(d.visible && btnPicUpload->isEnabled());
    QPalette pal = palette();
    if (d.nameRed)
        pal.setColor(QPalette::WindowText, QColor(255, 0, 0));
    lbPicName->setPalette(pal);
}

bool TPictureTab::showValue(const QByteArray &bytes)
{
    PhotoValues.clear();
    shown_ = picture::decodeJpeg(bytes);
    ContactImage->setImage(shown_.image);
    const QString name = (cbPictureID->isEnabled() && cbPictureID->currentIndex() >= 0 && rbjpegPhoto->isChecked())
                             ? picture::pictureName(cbPictureID->currentIndex())
                             : picture::pictureName(-1);
    // Bytes that do not decode show nothing rather than an empty frame with a size.
    const qint64 size = shown_.isNull() ? 0 : bytes.size();
    ShowPictureDetails(name, size);
    if (size > 0)
        PhotoValues = bytes;
    return size > 0;
}

void TPictureTab::loadThumbnail()
{
    QVariant v;
    const ads::HRESULT hr = user_->Get(QStringLiteral("thumbnailPhoto"), &v);
    if (hr == ads::E_ADS_PROPERTY_NOT_FOUND || v.typeId() != QMetaType::QByteArray || v.toByteArray().isEmpty()) {
        ShowPictureDetails(QStringLiteral("noname"), 0);
        rbthumbnailPhoto->setEnabled(!useJpeg());
    } else if (ads::failed(hr)) {
        ShowPictureDetails(QStringLiteral("noname"), 0);
    } else {
        const bool shown = showValue(v.toByteArray());
        if (shown) {
            rbthumbnailPhoto->setChecked(true);
            rbthumbnailPhoto->setEnabled(true);
        }
        btnPicRemove->setEnabled(shown && shown_.image.width() > 0);
    }
    cbPictureID->setEnabled(false);
    cbPictureID->setCurrentIndex(-1);
}

void TPictureTab::loadJpegPhoto(int wantedId)
{
    cbPictureID->clear();
    QVariant v;
    const ads::HRESULT hr = user_->GetEx(QStringLiteral("jpegPhoto"), &v);
    if (hr == ads::E_ADS_PROPERTY_NOT_FOUND) {
        rbjpegPhoto->setEnabled(useJpeg());
    } else if (ads::succeeded(hr)) {
        const QVariantList values = v.toList();
        for (int i = 0; i < values.size(); ++i)
            cbPictureID->addItem(QString::number(i));
        if (!values.isEmpty()) {
            cbPictureID->setCurrentIndex(0);
            int id = wantedId;
            if (rbthumbnailPhoto->isChecked() || id < 0 || id >= values.size())
                id = 0;
            else
                cbPictureID->setCurrentIndex(id);
            const bool removeWas = btnPicRemove->isEnabled();
            cbPictureID->setEnabled(true); // the shown name carries the id
            rbjpegPhoto->setChecked(true);
            const bool shown = showValue(values.at(id).toByteArray());
            if (!shown && !rbthumbnailPhoto->isChecked())
                rbjpegPhoto->setChecked(false);
            btnPicRemove->setEnabled(removeWas || useJpeg());
        }
    }
    if (writable("JPEGPHOTO") && useJpeg()) {
        cbPictureID->addItem(kNew);
        cbPictureID->setCurrentIndex(wantedId < 0 ? 0 : qMin(wantedId, cbPictureID->count() - 1));
    }
    if (cbPictureID->currentIndex() >= 0 && rbjpegPhoto->isChecked())
        lbPicName->setText(picture::pictureName(cbPictureID->currentIndex()));
    cbPictureID->setEnabled(cbPictureID->count() > 0);
}

bool TPictureTab::newSelected() const
{
    return cbPictureID->currentText().compare(kNew, Qt::CaseInsensitive) == 0;
}

void TPictureTab::tsPictureShow()
{
    if (!user_)
        return;
    if (!PictureLoaded) {
        const QScopedValueRollback loading(loading_, true);
        user_->GetInfoEx({QStringLiteral("thumbnailPhoto"), QStringLiteral("jpegPhoto")});
        gbLocation->hide();
        uncheckLocations();
        loadThumbnail();
        loadJpegPhoto(0);
        if (!rbthumbnailPhoto->isChecked() && !rbjpegPhoto->isChecked()) {
            (useJpeg() ? rbjpegPhoto : rbthumbnailPhoto)->setChecked(true);
            btnPicRemove->setEnabled(!PhotoValues.isEmpty() && shown_.image.width() > 0);
        }
        cbPictureID->setEnabled(rbjpegPhoto->isChecked() && cbPictureID->count() > 0);
        gbLocation->show();
        PictureLoaded = true;
        PictureChanged = false;
    }
    bool upload = writable("THUMBNAILPHOTO") || writable("JPEGPHOTO");
    upload = upload
             && ((rbthumbnailPhoto->isChecked() && !useJpeg() && writable("THUMBNAILPHOTO"))
                 || (rbjpegPhoto->isChecked() && useJpeg() && newSelected()));
    btnPicUpload->setEnabled(upload);
    if (rbthumbnailPhoto->isChecked())
        btnPicRemove->setEnabled(upload && !PhotoValues.isEmpty());
    else
        btnPicRemove->setEnabled(useJpeg() && !PhotoValues.isEmpty() && writable("JPEGPHOTO"));
}

void TPictureTab::rbthumbnailPhotoClick()
{
    if (loading_ || !user_)
        return;
    clearShown(QStringLiteral("noname"));
    loadThumbnail();
    btnPicUpload->setEnabled(writable("THUMBNAILPHOTO") && !useJpeg());
    btnPicRemove->setEnabled(btnPicUpload->isEnabled() && !PhotoValues.isEmpty() && shown_.image.width() > 0);
    cbPictureID->setEnabled(false);
    cbPictureID->setCurrentIndex(-1);
}

void TPictureTab::rbjpegPhotoClick()
{
    if (loading_ || !user_)
        return;
    clearShown(QStringLiteral("noname"));
    const int selected = cbPictureID->currentIndex();
    rbthumbnailPhoto->setChecked(false);
    rbjpegPhoto->setChecked(true);
    loadJpegPhoto(selected);
    const bool canWrite = writable("JPEGPHOTO") && useJpeg();
    const int last = cbPictureID->count() - 1;
    btnPicUpload->setEnabled(canWrite && last >= 0 && cbPictureID->currentIndex() == last && newSelected());
    btnPicRemove->setEnabled(canWrite && cbPictureID->currentIndex() >= 0 && cbPictureID->currentIndex() < last
                             && !PhotoValues.isEmpty());
    cbPictureID->setEnabled(cbPictureID->count() > 0);
}

void TPictureTab::cbPictureIDChange()
{
    if (!user_)
        return;
    const bool isNew = writable("JPEGPHOTO") && newSelected();
    btnPicUpload->setEnabled(isNew);
    if (isNew) {
        clearShown(QStringLiteral("noname"));
    } else {
        loadJpegPhoto(cbPictureID->currentIndex());
        btnPicRemove->setEnabled(useJpeg() && writable("JPEGPHOTO") && !PhotoValues.isEmpty());
    }
}

void TPictureTab::btnPicUploadClick()
{
    if (busy() || loading_ || !user_)
        return;
    const QString file = ui::Prompt::openFileName(
        this, QStringLiteral("Open"), QCoreApplication::applicationDirPath(),
        QStringLiteral("All (*.jpg *.jpeg *.bmp);;JPEG Image File (*.jpg);;JPEG Image File (*.jpeg);;Bitmaps (*.bmp)"));
    if (file.isEmpty())
        return;
    if (PictureChanged && rbjpegPhoto->isChecked() && applyEnabled_ && applyEnabled_()) {
        ui::Prompt::error(this, QStringLiteral("Please, first save changes"), kAppTitle);
        return;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        ui::Prompt::error(this, ui::wrapText(QStringLiteral("The file \"%1\" cannot be read: %2").arg(file, f.errorString())),
                          kAppTitle);
        return;
    }
    const QByteArray bytes = f.readAll();
    const picture::Upload up = picture::prepareUpload(file, bytes, rbthumbnailPhoto->isChecked());
    if (!up.ok) {
        ui::Prompt::error(this, up.error, kAppTitle);
        return;
    }
    shown_ = up.shown;
    ContactImage->setImage(shown_.image);
    ShowPictureDetails(file, bytes.size());

    ads::HRESULT hr = ads::S_OK;
    if (rbthumbnailPhoto->isChecked() && !useJpeg()) {
        hr = user_->Put(QStringLiteral("thumbnailPhoto"), up.bytes);
    } else if (rbjpegPhoto->isChecked() && useJpeg()) {
        QVariant existing;
        const bool hasValue = ads::succeeded(user_->GetEx(QStringLiteral("jpegPhoto"), &existing))
                              && !existing.toList().isEmpty();
        hr = hasValue ? user_->PutEx(ads::ADS_PROPERTY_APPEND, QStringLiteral("jpegPhoto"), QVariantList{up.bytes})
                      : user_->Put(QStringLiteral("jpegPhoto"), up.bytes);
        const int newId = cbPictureID->count() > 0 ? cbPictureID->count() - 1 : 0;
        cbPictureID->insertItem(newId, QString::number(newId));
        cbPictureID->setCurrentIndex(newId);
    } else {
        return;
    }
    if (ads::failed(hr)) {
        writeFailed(hr);
        return;
    }
    btnPicUpload->setEnabled(false);
    cbPictureID->setEnabled(false);
    PictureChanged = true;
    commit();
}

void TPictureTab::btnPicRemoveClick()
{
    if (busy() || loading_ || !user_)
        return;
    ads::HRESULT hr = ads::S_OK;
    if (rbthumbnailPhoto->isChecked()) {
        hr = user_->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("thumbnailPhoto"), QVariant());
    } else if (rbjpegPhoto->isChecked()) {
        // Count the stored pictures, not the box's entries: without "<new>" two entries are
        // two pictures, and clearing the attribute would take the one not shown as well.
        const int stored = cbPictureID->count() - (cbPictureID->findText(kNew) >= 0 ? 1 : 0);
        if (stored < 2)
            hr = user_->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("jpegPhoto"), QVariant());
        else
            hr = user_->PutEx(ads::ADS_PROPERTY_DELETE, QStringLiteral("jpegPhoto"), QVariantList{PhotoValues});
        cbPictureID->removeItem(cbPictureID->currentIndex());
    } else {
        return;
    }
    if (ads::failed(hr)) {
        writeFailed(hr);
        return;
    }
    btnPicRemove->setEnabled(false);
    clearShown(QStringLiteral("none"));
    PictureChanged = true;
    commit();
}

void TPictureTab::commit()
{
    if (PictureChanged) {
        const ads::HRESULT hr = user_->SetInfo();
        if (ads::failed(hr)) {
            writeFailed(hr);
            return;
        }
        PictureLoaded = false;
        tsPictureShow();
    }
    if (rbthumbnailPhoto->isChecked()) {
        btnPicUpload->setEnabled(btnPicUpload->isEnabled() && !useJpeg());
        btnPicRemove->setEnabled(btnPicUpload->isEnabled() && !PhotoValues.isEmpty());
        cbPictureID->setEnabled(false);
    } else if (rbjpegPhoto->isChecked()) {
        btnPicUpload->setEnabled(btnPicUpload->isEnabled() && useJpeg());
        btnPicRemove->setEnabled(useJpeg() && !PhotoValues.isEmpty());
        cbPictureID->setEnabled(true);
    }
    ui::notifyOtherWindows(ui::PictureChanged, dn_, window());
}

void TPictureTab::dropStaged()
{
    if (rebindAll_)
        user_ = rebindAll_();
}

void TPictureTab::writeFailed(ads::HRESULT hr)
{
    dropStaged();
    ui::Prompt::error(this, GetADSIErrorText(hr), kAppTitle);
    PictureChanged = false;
    PictureLoaded = false;
    tsPictureShow();
}

void TPictureTab::btnPicExportClick()
{
    if (PhotoValues.isEmpty() && shown_.isNull())
        return;
    QString selected;
    // Choosing the other type switches the extension of the proposed name.
    QString file = ui::Prompt::saveFileNameSwitchingExtension(
        this, QStringLiteral("Save As"), QDir(QCoreApplication::applicationDirPath()).filePath(lbPicName->text()),
        QStringLiteral("JPEG Image File (*.jpg *.jpeg);;Bitmaps (*.bmp)"),
        {QStringLiteral(".jpg"), QStringLiteral(".bmp")}, &selected);
    if (file.isEmpty())
        return;
    // The chosen type decides the extension of a name given without one; the content is JPEG.
    if (QFileInfo(file).suffix().isEmpty())
        file += selected.startsWith(QLatin1String("Bitmaps")) ? QStringLiteral(".bmp") : QStringLiteral(".jpg");
    // The stored bytes are JPEG already; saving them unchanged keeps the picture exact.
    QByteArray bytes = PhotoValues;
    QString why;
    if (bytes.isEmpty())
        bytes = picture::encodeJpeg(shown_.image, 90, &why);
    QSaveFile out(file);
    if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        ui::Prompt::error(this,
                          ui::wrapText(QStringLiteral("The picture could not be saved to \"%1\": %2")
                                           .arg(file, why.isEmpty() ? out.errorString() : why)),
                          kAppTitle);
    }
}

void TPictureTab::ContactImageClick()
{
    if (PhotoValues.isEmpty())
        return;
    TfrmPictureDetail dlg(shown_, lbPicName->text(), window());
    dlg.exec();
}
