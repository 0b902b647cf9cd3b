#pragma once
// The "Connection" dialog: default or named server, port, encryption, the credentials
// dialog, Test Connection; Apply and OK test the settings before saving them, so that
// settings that cannot bind are never stored.
#include "core/unConnection.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TfrmCredentials;

class TfrmConnection : public QDialog {
    Q_OBJECT
public:
    explicit TfrmConnection(const TConnectionSettings &settings, QWidget *parent = nullptr);

    const TConnectionSettings &settings() const { return settings_; }
    // True once Apply, OK or the credentials dialog saved the settings.
    bool saved() const { return saved_; }
    bool changed() const { return changed_; }

    // The domain of the server picked in the network browser (prefills the credentials).
    void setBrowsedDomain(const QString &domain) { browsedDomain_ = domain; }
    QString browsedDomain() const { return browsedDomain_; }

    // The network browser behind "  ..." (the program sets it once the browser exists): it
    // returns the chosen server and its domain, false on Cancel. Without one the button is
    // disabled.
    using ServerBrowser = std::function<bool(QWidget *parent, QString *server, QString *domain)>;
    static void setServerBrowser(ServerBrowser browser);
    void sbSelectClick();

    // Button handlers (public so that tests can drive them without a mouse).
    void btTestClick();
    bool btApplayClick();
    void btOKClick();
    void btCancelClick();
    void btCredentialsClick();
    void cbUseEncryptionClick();

    // The credentials dialog while it is open (tests answer it), else null.
    TfrmCredentials *credentialsDialog() const { return credentials_; }

protected:
    // Escape and the title bar's close button act as Cancel.
    void reject() override { btCancelClick(); }
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static ServerBrowser &serverBrowser();
    void fillControls();
    void controlsChanged();
    void updateEnabling();

    TConnectionSettings settings_;
    QString browsedDomain_;
    bool loading_ = false;
    bool changed_ = false;
    bool saved_ = false;
    TfrmCredentials *credentials_ = nullptr;

    QGroupBox *gbComputer;
    QRadioButton *rbDefaultPC;
    QRadioButton *rbSelectPC;
    QLineEdit *ebServerName;
    QToolButton *sbSelect;
    QLabel *lbPort;
    QLineEdit *ebPort;
    QCheckBox *cbUseEncryption;
    QPushButton *btCredentials;
    QPushButton *btTest;
    QPushButton *btOK;
    QPushButton *btCancel;
    QPushButton *btApplay;
};

// Whether a key typed into the port field is kept: digits, Enter and Backspace, and keys
// that type nothing (moving the cursor, Delete, Tab).
bool portKeyAccepted(int key, const QString &text);
