// The Profile tab of the user property dialog: profile path, logon script and home folder.
#include "userprop/unUserProp.h"

#include "core/unSearch.h"
#include "core/unValues.h"
#include "ui/prompt.h"
#include "ui/writable.h"
#include "userprop/unUserPropTabs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

using userprop::tabs::cachedText;

QWidget *TfrmUserProp::buildProfile()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    auto *gbProfile = new QGroupBox(QStringLiteral("User profile"), page);
    auto *pg = new QGridLayout(gbProfile);
    ebProfilePath_ = coupledEdit(Profile, "ebProfilePath", "profilePath");
    ebLogonScript_ = coupledEdit(Profile, "ebLogonScript", "scriptPath");
    pg->addWidget(new QLabel(QStringLiteral("Profile path:"), gbProfile), 0, 0);
    pg->addWidget(ebProfilePath_, 0, 1);
    pg->addWidget(new QLabel(QStringLiteral("Logon script:"), gbProfile), 1, 0);
    pg->addWidget(ebLogonScript_, 1, 1);
    g->addWidget(gbProfile, row++, 0);
    auto *gbHome = new QGroupBox(QStringLiteral("Home folder"), page);
    auto *hg = new QGridLayout(gbHome);
    rbLocalPath_ = new QRadioButton(QStringLiteral("Local path:"), gbHome);
    rbLocalPath_->setObjectName(QStringLiteral("rbLocalPath"));
    rbConnect_ = new QRadioButton(QStringLiteral("Connect:"), gbHome);
    rbConnect_->setObjectName(QStringLiteral("rbConnect"));
    ebLocalPath_ = new QLineEdit(gbHome);
    ebLocalPath_->setObjectName(QStringLiteral("ebLocalPath"));
    cbConnectTo_ = new QComboBox(gbHome);
    cbConnectTo_->setObjectName(QStringLiteral("cbConnectTo"));
    cbConnectTo_->addItems(userprop::homeDrives());
    ebConnectTo_ = new QLineEdit(gbHome);
    ebConnectTo_->setObjectName(QStringLiteral("ebConnectTo"));
    hg->addWidget(rbLocalPath_, 0, 0);
    hg->addWidget(ebLocalPath_, 0, 1, 1, 3);
    hg->addWidget(rbConnect_, 1, 0);
    hg->addWidget(cbConnectTo_, 1, 1);
    hg->addWidget(new QLabel(QStringLiteral("To:"), gbHome), 1, 2);
    hg->addWidget(ebConnectTo_, 1, 3);
    g->addWidget(gbHome, row++, 0);
    g->setRowStretch(row, 1);
    for (QLineEdit *e : {ebLocalPath_, ebConnectTo_})
        connect(e, &QLineEdit::textEdited, this, &TfrmUserProp::changed);
    connect(cbConnectTo_, &QComboBox::currentIndexChanged, this, &TfrmUserProp::changed);
    connect(rbLocalPath_, &QRadioButton::clicked, this, [this] {
        updateHomeFolderControls();
        changed();
    });
    connect(rbConnect_, &QRadioButton::clicked, this, [this] {
        if (cbConnectTo_->currentIndex() < 0)
            cbConnectTo_->setCurrentIndex(cbConnectTo_->count() - 1);
        updateHomeFolderControls();
        changed();
    });
    return page;
}

void TfrmUserProp::updateHomeFolderControls()
{
    const bool homeWritable = writable(QStringLiteral("homeDrive"));
    const bool local = rbLocalPath_->isChecked();
    rbLocalPath_->setEnabled(homeWritable);
    rbConnect_->setEnabled(homeWritable);
    ui::setWritableLook(ebLocalPath_, homeWritable && local);
    ui::setWritableLook(cbConnectTo_, homeWritable && !local);
    ui::setWritableLook(ebConnectTo_, homeWritable && !local);
}

void TfrmUserProp::loadProfile()
{
    loadCoupled(Profile);
    const QString drive = cachedText(user_, QStringLiteral("homeDrive"));
    const QString home = cachedText(user_, QStringLiteral("homeDirectory"));
    cbConnectTo_->setCurrentIndex(userprop::homeDrives().indexOf(drive));
    ebConnectTo_->clear();
    ebLocalPath_->clear();
    (cbConnectTo_->currentIndex() >= 0 ? ebConnectTo_ : ebLocalPath_)->setText(home);
    ebConnectTo_->setModified(false);
    ebLocalPath_->setModified(false);
    const bool local = cbConnectTo_->currentIndex() < 0 && drive.isEmpty();
    rbLocalPath_->setChecked(local);
    rbConnect_->setChecked(!local);
    updateHomeFolderControls();
}

bool TfrmUserProp::saveProfile()
{
    if (!loaded_[Profile])
        return true;
    const QString pathMessage = QStringLiteral(
        "The specified path is not valid. Enter a valid network server path using the form: \\\\server\\share\\folder.");
    QStringList names;
    auto stage = [&](const QString &attr, const QString &text, bool trimmedClear = true) {
        names << attr;
        return (trimmedClear && text.trimmed().isEmpty()) ? user_->PutEx(ads::ADS_PROPERTY_CLEAR, attr, QVariant())
                                                          : user_->Put(attr, text);
    };
    ads::HRESULT hr = ads::S_OK;
    if (ebProfilePath_->isModified()) {
        const QString t = ebProfilePath_->text();
        if (!t.trimmed().isEmpty() && !IsUNCPath(t)) {
            rebind();
            validationFailed(Profile, ebProfilePath_, pathMessage, int(ui::Icon::Error), 45);
            return false;
        }
        hr = stage(QStringLiteral("profilePath"), t);
    }
    if (ads::succeeded(hr) && ebLogonScript_->isModified())
        hr = stage(QStringLiteral("scriptPath"), ebLogonScript_->text());
    if (ads::succeeded(hr) && !rbLocalPath_->isChecked()) {
        if (!IsUNCPath(ebConnectTo_->text())) {
            rebind();
            validationFailed(Profile, ebConnectTo_, pathMessage, int(ui::Icon::Error), 45);
            return false;
        }
        if (cbConnectTo_->currentIndex() < 0) {
            rebind();
            validationFailed(Profile, cbConnectTo_, QStringLiteral("Please, select a drive letter."),
                             int(ui::Icon::Error));
            return false;
        }
        hr = stage(QStringLiteral("homeDirectory"), ebConnectTo_->text(), false);
        if (ads::succeeded(hr))
            hr = stage(QStringLiteral("homeDrive"), cbConnectTo_->currentText(), false);
    } else if (ads::succeeded(hr) && ebLocalPath_->isModified()) {
        hr = stage(QStringLiteral("homeDirectory"), ebLocalPath_->text());
        if (ads::succeeded(hr)) {
            names << QStringLiteral("homeDrive");
            hr = user_->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("homeDrive"), QVariant());
        }
    }
    if (ads::failed(hr)) {
        refused(Profile, names, hr);
        return false;
    }
    if (!names.isEmpty() && !writeStep(Profile, names))
        return false;
    for (QLineEdit *e : {ebProfilePath_, ebLogonScript_, ebLocalPath_, ebConnectTo_})
        e->setModified(false);
    return true;
}
