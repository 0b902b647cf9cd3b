#include "main/unConnectionDlg.h"
#include "main/unCredentials.h"
#include "main/unDomainTree.h"

#include "options/unOptions.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

bool portKeyAccepted(int key, const QString &text)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Backspace)
        return true;
    if (text.isEmpty() || !text.at(0).isPrint())
        return true; // cursor keys, Delete, Tab: they type nothing
    return text.size() == 1 && text.at(0) >= u'0' && text.at(0) <= u'9';
}

TfrmConnection::TfrmConnection(const TConnectionSettings &settings, QWidget *parent)
    : QDialog(parent), settings_(settings)
{
    setObjectName(QStringLiteral("frmConnection"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("   Connection"));
    // The window font follows the Unicode-font option like every other window.
    options::ApplyWindowFont(this);

    gbComputer = new QGroupBox(QStringLiteral("Computer"), this);
    gbComputer->setObjectName(QStringLiteral("gbComputer"));
    rbDefaultPC = new QRadioButton(QStringLiteral("&Default (Server that you logged in to)"), gbComputer);
    rbDefaultPC->setObjectName(QStringLiteral("rbDefaultPC"));
    rbSelectPC = new QRadioButton(QStringLiteral("Server &Name:"), gbComputer);
    rbSelectPC->setObjectName(QStringLiteral("rbSelectPC"));
    ebServerName = new QLineEdit(gbComputer);
    ebServerName->setObjectName(QStringLiteral("ebServerName"));
    sbSelect = new QToolButton(gbComputer);
    sbSelect->setObjectName(QStringLiteral("sbSelect"));
    sbSelect->setText(QStringLiteral("  ..."));
    sbSelect->setEnabled(static_cast<bool>(serverBrowser()));
    lbPort = new QLabel(QStringLiteral("Port: "), gbComputer);
    lbPort->setObjectName(QStringLiteral("lbPort"));
    ebPort = new QLineEdit(gbComputer);
    ebPort->setObjectName(QStringLiteral("ebPort"));
    ebPort->setMaxLength(5);
    // Pasted text obeys the same rule as typed keys.
    ebPort->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), ebPort));
    ebPort->installEventFilter(this);
    lbPort->setBuddy(ebPort);
    cbUseEncryption = new QCheckBox(QStringLiteral("Use &Encryption "), gbComputer);
    cbUseEncryption->setObjectName(QStringLiteral("cbUseEncryption"));

    auto *g = new QGridLayout(gbComputer);
    g->addWidget(rbDefaultPC, 0, 0, 1, 4);
    g->addWidget(rbSelectPC, 1, 0);
    g->addWidget(ebServerName, 1, 1, 1, 2);
    g->addWidget(sbSelect, 1, 3);
    g->addWidget(lbPort, 2, 0, Qt::AlignRight);
    g->addWidget(ebPort, 2, 1);
    g->addWidget(cbUseEncryption, 2, 2, 1, 2);
    g->setColumnStretch(2, 1);

    btCredentials = new QPushButton(QStringLiteral("C&redentials"), this);
    btCredentials->setObjectName(QStringLiteral("btCredentials"));
    btTest = new QPushButton(QStringLiteral("&Test Connection"), this);
    btTest->setObjectName(QStringLiteral("btTest"));
    btOK = new QPushButton(QStringLiteral("&OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btApplay = new QPushButton(QStringLiteral("&Apply"), this);
    btApplay->setObjectName(QStringLiteral("btApplay"));

    auto *side = new QHBoxLayout;
    side->addWidget(btCredentials);
    side->addWidget(btTest);
    side->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    buttons->addWidget(btApplay);
    auto *v = new QVBoxLayout(this);
    v->addWidget(gbComputer);
    v->addLayout(side);
    v->addLayout(buttons);

    fillControls();

    connect(rbDefaultPC, &QRadioButton::toggled, this, &TfrmConnection::controlsChanged);
    connect(ebServerName, &QLineEdit::textEdited, this, &TfrmConnection::controlsChanged);
    connect(ebPort, &QLineEdit::textEdited, this, &TfrmConnection::controlsChanged);
    connect(cbUseEncryption, &QCheckBox::clicked, this, &TfrmConnection::cbUseEncryptionClick);
    connect(btCredentials, &QPushButton::clicked, this, &TfrmConnection::btCredentialsClick);
    connect(sbSelect, &QToolButton::clicked, this, &TfrmConnection::sbSelectClick);
    connect(btTest, &QPushButton::clicked, this, &TfrmConnection::btTestClick);
    connect(btApplay, &QPushButton::clicked, this, [this] { btApplayClick(); });
    connect(btOK, &QPushButton::clicked, this, &TfrmConnection::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmConnection::btCancelClick);
}

TfrmConnection::ServerBrowser &TfrmConnection::serverBrowser()
{
    static ServerBrowser browser;
    return browser;
}

void TfrmConnection::setServerBrowser(ServerBrowser browser) { serverBrowser() = std::move(browser); }

void TfrmConnection::sbSelectClick()
{
    const ServerBrowser &browse = serverBrowser();
    QString server, domain;
    if (!browse || !browse(this, &server, &domain) || server.isEmpty())
        return;
    // A picked server is a named server: the name is used, not the default one.
    rbSelectPC->setChecked(true);
    ebServerName->setText(server);
    browsedDomain_ = domain;
    controlsChanged();
}

void TfrmConnection::fillControls()
{
    loading_ = true;
    rbDefaultPC->setChecked(settings_.UseDefaultServer);
    rbSelectPC->setChecked(!settings_.UseDefaultServer);
    ebServerName->setText(settings_.ServerName);
    ebPort->setText(settings_.Port);
    cbUseEncryption->setChecked(settings_.UseEncryption);
    btApplay->setEnabled(false);
    loading_ = false;
    updateEnabling();
}

void TfrmConnection::updateEnabling()
{
    // Server name and port only mean something for a named server.
    const bool named = rbSelectPC->isChecked();
    ebServerName->setEnabled(named);
    ebPort->setEnabled(named);
    lbPort->setEnabled(named);
}

void TfrmConnection::controlsChanged()
{
    if (loading_)
        return;
    settings_.UseDefaultServer = rbDefaultPC->isChecked();
    settings_.ServerName = ebServerName->text();
    settings_.Port = ebPort->text();
    settings_.UseEncryption = cbUseEncryption->isChecked();
    changed_ = true;
    btApplay->setEnabled(true);
    updateEnabling();
}

void TfrmConnection::cbUseEncryptionClick()
{
    ebPort->setText(cbUseEncryption->isChecked() ? QStringLiteral("636") : QStringLiteral("389"));
    controlsChanged();
}

bool TfrmConnection::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ebPort && event->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(event);
        if (k->matches(QKeySequence::Paste) || k->matches(QKeySequence::Copy) || k->matches(QKeySequence::Cut)
            || k->matches(QKeySequence::SelectAll) || k->matches(QKeySequence::Undo))
            return false;
        if (!portKeyAccepted(k->key(), k->text()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmConnection::btTestClick() { showTestResult(this, settings_); }

bool TfrmConnection::btApplayClick()
{
    if (!applyShowingErrors(this, settings_))
        return false;
    btApplay->setEnabled(false);
    changed_ = false;
    saved_ = true;
    return true;
}

void TfrmConnection::btOKClick()
{
    // Settings that cannot bind are neither saved nor used: the dialog stays open with the
    // error so that they can be corrected (or the dialog cancelled).
    if (btApplay->isEnabled() || !saved_) {
        if (!btApplayClick())
            return;
    }
    done(QDialog::Accepted);
}

void TfrmConnection::btCancelClick() { done(saved_ ? QDialog::Accepted : QDialog::Rejected); }

void TfrmConnection::btCredentialsClick()
{
    TfrmCredentials dlg(settings_, this);
    credentials_ = &dlg;
    const QString prefill = PrefillCredentialsUserName(settings_.UserName, browsedDomain_);
    if (prefill != settings_.UserName)
        dlg.setUserName(prefill);
    dlg.move(pos() + QPoint(20, 20));
    const int r = dlg.exec();
    credentials_ = nullptr;
    if (r == QDialog::Accepted) {
        // That dialog saved the settings: take them as stored.
        TConnectionSettings reloaded;
        LoadConnectionSettings(reloaded);
        settings_ = reloaded;
        fillControls();
        changed_ = false;
        saved_ = true;
    }
}
