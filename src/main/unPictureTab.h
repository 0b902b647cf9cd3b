#pragma once
// The "Picture" tab of the quick panel (tsPicture): shows, uploads, clears and exports the
// user's picture in thumbnailPhoto or jpegPhoto. Uploads and clears are written at once.
#include "main/unPicture.h"
#include "platform/adsi/adsobject.h"

#include <QDialog>
#include <QSet>
#include <QWidget>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// A picture scaled into the widget, keeping the proportions and centred: larger pictures
// shrink to fit, smaller ones keep their size.
class TScaledPicture : public QWidget {
    Q_OBJECT
public:
    explicit TScaledPicture(QWidget *parent = nullptr);
    void setImage(const QImage &image);
    const QImage &image() const { return image_; }
    // Where the picture is drawn inside the widget (for tests: never cropped or stretched).
    QRect targetRect() const;
signals:
    void clicked();
    void doubleClicked();
protected:
    void paintEvent(QPaintEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *) override;
private:
    QImage image_;
};

// The large picture window (modal): the picture centred and scaled to the window with its
// proportions (imgPicture), the status bar with palette, size in pixels and in bytes.
// Double clicking the picture toggles between the maximised and the normal window.
class TfrmPictureDetail : public QDialog {
    Q_OBJECT
public:
    TfrmPictureDetail(const picture::Picture &picture, const QString &caption, QWidget *parent = nullptr);
    void imgPictureDblClick();
};

class TPictureTab : public QWidget {
    Q_OBJECT
public:
    explicit TPictureTab(QWidget *parent = nullptr);

    // The user shown by the panel (null: none), its writable set and distinguished name.
    // Marks the tab not loaded and resets the location buttons.
    void setUser(const ads::ObjectPtr &user, const QSet<QString> &allowed, const QString &dn);
    // The same user bound afresh (after a failed write elsewhere on the panel).
    void rebind(const ads::ObjectPtr &user) { user_ = user; }
    // Called after a failed write: binds the user afresh (and calls rebind).
    void setRebind(std::function<ads::ObjectPtr()> f) { rebindAll_ = std::move(f); }
    void setBusyProvider(std::function<bool()> busy) { busy_ = std::move(busy); }
    // Whether the panel's Apply is enabled (an upload into jpegPhoto waits for it).
    void setApplyEnabledProvider(std::function<bool()> f) { applyEnabled_ = std::move(f); }

    void markNotLoaded() { PictureLoaded = false; }
    bool pictureLoaded() const { return PictureLoaded; }
    const QByteArray &photoValues() const { return PhotoValues; }

    // Handlers (public so that the main window and tests can drive them).
    void tsPictureShow();
    void btnPicUploadClick();
    void btnPicRemoveClick();
    void btnPicExportClick();
    void rbthumbnailPhotoClick();
    void rbjpegPhotoClick();
    void cbPictureIDChange();
    void ContactImageClick();
    void ShowPictureDetails(const QString &name, qint64 size);

private:
    bool useJpeg() const;
    bool writable(const char *upperName) const { return allowed_.contains(QLatin1String(upperName)); }
    bool showValue(const QByteArray &bytes);
    // No picture shown: details for name with size 0, no bytes kept.
    void clearShown(const QString &name);
    void loadThumbnail();
    void loadJpegPhoto(int wantedId);
    void commit();
    bool busy() const { return busy_ && busy_(); }
    bool newSelected() const;
    void uncheckLocations();

    ads::ObjectPtr user_;
    QSet<QString> allowed_;
    QString dn_;
    std::function<bool()> busy_;
    std::function<bool()> applyEnabled_;
    std::function<ads::ObjectPtr()> rebindAll_;
    void dropStaged();
    // A write was refused: nothing of it stays staged, the message is shown and the tab
    // shows the directory's pictures again.
    void writeFailed(ads::HRESULT hr);

    QByteArray PhotoValues;
    picture::Picture shown_;
    qint64 shownSize_ = 0;
    bool PictureLoaded = false;
    bool PictureChanged = false;
    bool loading_ = false;

    TScaledPicture *ContactImage;
    QLabel *lbNone;
    QLabel *lbPictDimension;
    QLabel *lblPicSize;
    QLabel *lblPicPal;
    QLabel *lbPicName;
    QPushButton *btnPicUpload;
    QPushButton *btnPicRemove;
    QPushButton *btnPicExport;
    QComboBox *cbPictureID;
    QGroupBox *gbLocation;
    QRadioButton *rbthumbnailPhoto;
    QRadioButton *rbjpegPhoto;
};
