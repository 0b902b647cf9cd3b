#include "main/unCredentials.h"
#include "main/unDomainTree.h"

#include "options/unOptions.h"
#include "platform/secrets/secrets.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

void showTestResult(QWidget *dialog, const TConnectionSettings &settings)
{
    QString error;
    if (mainwin::testBind(settings, &error))
        ui::Prompt::information(dialog, kConnectionOkText, dialog->windowTitle().trimmed());
    else
        ui::Prompt::error(dialog, error, dialog->windowTitle().trimmed());
}

bool applyShowingErrors(QWidget *dialog, const TConnectionSettings &settings)
{
    QString error;
    if (mainwin::applySettings(settings, &error))
        return true;
    ui::Prompt::error(dialog, error, dialog->windowTitle().trimmed());
    return false;
}

TfrmCredentials::TfrmCredentials(const TConnectionSettings &settings, QWidget *parent)
    : QDialog(parent), settings_(settings)
{
    setObjectName(QStringLiteral("frmCredentials"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("  Credentials"));
    // The window font follows the Unicode-font option like every other window.
    options::ApplyWindowFont(this);

    cbUseCredentials = new QCheckBox(QStringLiteral("Use Credentials"), this);
    cbUseCredentials->setObjectName(QStringLiteral("cbUseCredentials"));
    gbCredentials = new QGroupBox(QStringLiteral("Credentials"), this);
    gbCredentials->setObjectName(QStringLiteral("gbCredentials"));
    lbUserName = new QLabel(QStringLiteral("Domain\\User:"), gbCredentials);
    lbUserName->setObjectName(QStringLiteral("lbUserName"));
    ebUserName = new QLineEdit(gbCredentials);
    ebUserName->setObjectName(QStringLiteral("ebUserName"));
    lbUserName->setBuddy(ebUserName);
    lbPassword = new QLabel(QStringLiteral("Password:"), gbCredentials);
    lbPassword->setObjectName(QStringLiteral("lbPassword"));
    ebPassword = new QLineEdit(gbCredentials);
    ebPassword->setObjectName(QStringLiteral("ebPassword"));
    ebPassword->setEchoMode(QLineEdit::Password);
    lbPassword->setBuddy(ebPassword);
    cbUseSecureAuthentication = new QCheckBox(QStringLiteral("Secure Authentication"), gbCredentials);
    cbUseSecureAuthentication->setObjectName(QStringLiteral("cbUseSecureAuthentication"));
    cbUseKerberos = new QCheckBox(QStringLiteral("Use Kerberos"), gbCredentials);
    cbUseKerberos->setObjectName(QStringLiteral("cbUseKerberos"));
    cbRemember = new QCheckBox(QStringLiteral("Remember Me"), gbCredentials);
    cbRemember->setObjectName(QStringLiteral("cbRemember"));
    ui::setHint(cbRemember, QStringLiteral("You can save (encrypted) your credentials for next connection"));

    auto *g = new QGridLayout(gbCredentials);
    g->addWidget(lbUserName, 0, 0);
    g->addWidget(ebUserName, 0, 1);
    g->addWidget(lbPassword, 1, 0);
    g->addWidget(ebPassword, 1, 1);
    g->addWidget(cbUseSecureAuthentication, 2, 1);
    g->addWidget(cbUseKerberos, 3, 1);
    g->addWidget(cbRemember, 4, 1);
    lbKeyring = new QLabel(gbCredentials);
    lbKeyring->setObjectName(QStringLiteral("lbKeyring"));
    lbKeyring->setWordWrap(true);
    lbKeyring->hide();
    g->addWidget(lbKeyring, 5, 1);
    g->setColumnStretch(1, 1);
    // Whether a keyring answers is asked without waiting for it; a desktop without one is told
    // where a remembered password will be kept instead.
    secrets::probeAsync(this, [this](const secrets::Result &r) {
        if (r.status == secrets::Status::NoService)
            showKeyringNote(secrets::statusText(r));
    });

    btTest = new QPushButton(QStringLiteral("&Test Connection"), this);
    btTest->setObjectName(QStringLiteral("btTest"));
    btOK = new QPushButton(QStringLiteral("&OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btApplay = new QPushButton(QStringLiteral("&Apply"), this);
    btApplay->setObjectName(QStringLiteral("btApplay"));
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btTest);
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btApplay);
    buttons->addWidget(btCancel);
    auto *v = new QVBoxLayout(this);
    v->addWidget(cbUseCredentials);
    v->addWidget(gbCredentials);
    v->addLayout(buttons);
    setMinimumWidth(360);

    fillControls();

    for (QCheckBox *c : {cbUseCredentials, cbUseSecureAuthentication, cbUseKerberos, cbRemember})
        connect(c, &QCheckBox::toggled, this, &TfrmCredentials::controlsChanged);
    for (QLineEdit *e : {ebUserName, ebPassword})
        connect(e, &QLineEdit::textChanged, this, &TfrmCredentials::controlsChanged);
    connect(btTest, &QPushButton::clicked, this, &TfrmCredentials::btTestClick);
    connect(btApplay, &QPushButton::clicked, this, [this] { btApplayClick(); });
    connect(btOK, &QPushButton::clicked, this, &TfrmCredentials::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmCredentials::btCancelClick);
}

void TfrmCredentials::fillControls()
{
    loading_ = true;
    cbUseCredentials->setChecked(settings_.UseCredentials);
    ebUserName->setText(settings_.UserName);
    ebPassword->setText(settings_.Password);
    cbUseSecureAuthentication->setChecked(settings_.SecureAuthentication);
    cbUseKerberos->setChecked(settings_.UseKerberos);
    cbRemember->setChecked(settings_.RememberMe);
    btApplay->setEnabled(false);
    loading_ = false;
    updateEnabling();
}

void TfrmCredentials::setUserName(const QString &name)
{
    ebUserName->setText(name); // counts as an edit: Apply becomes available
}

void TfrmCredentials::updateEnabling()
{
    const bool use = cbUseCredentials->isChecked();
    gbCredentials->setEnabled(use);
    lbUserName->setEnabled(use);
    lbPassword->setEnabled(use);
    ebUserName->setEnabled(use);
    ebPassword->setEnabled(use);
    cbUseSecureAuthentication->setEnabled(use);
    cbUseKerberos->setEnabled(use && cbUseSecureAuthentication->isChecked());
    // Disabled edits take the dialog's face colour, enabled ones the window colour.
    for (QLineEdit *e : {ebUserName, ebPassword}) {
        QPalette p = e->palette();
        p.setColor(QPalette::Base, e->isEnabled() ? palette().color(QPalette::Base) : palette().color(QPalette::Window));
        e->setPalette(p);
    }
}

void TfrmCredentials::controlsChanged()
{
    if (loading_)
        return;
    settings_.UseCredentials = cbUseCredentials->isChecked();
    settings_.UserName = ebUserName->text();
    settings_.Password = ebPassword->text();
    settings_.SecureAuthentication = cbUseSecureAuthentication->isChecked();
    settings_.UseKerberos = cbUseKerberos->isChecked();
    settings_.RememberMe = cbRemember->isChecked();
    btApplay->setEnabled(true);
    updateEnabling();
}

void TfrmCredentials::btTestClick() { showTestResult(this, settings_); }

bool TfrmCredentials::btApplayClick()
{
    if (!applyShowingErrors(this, settings_))
        return false;
    btApplay->setEnabled(false);
    saved_ = true;
    if (const QString note = LastPasswordStore().note; !note.isEmpty())
        showKeyringNote(note);
    return true;
}

void TfrmCredentials::showKeyringNote(const QString &text)
{
    lbKeyring->setText(text);
    lbKeyring->show();
    // The note may come after the window was sized: it grows by what the wrapped note needs
    // at the window's width, so that the note is never cut.
    if (QLayout *l = layout()) {
        l->activate();
        const int needed = l->hasHeightForWidth() ? l->totalHeightForWidth(width()) : l->totalSizeHint().height();
        if (needed > height())
            resize(width(), needed);
    }
}

void TfrmCredentials::btOKClick()
{
    if (btApplay->isEnabled() || !saved_) {
        if (!btApplayClick())
            return;
    }
    done(QDialog::Accepted);
}

void TfrmCredentials::btCancelClick() { done(QDialog::Rejected); }
