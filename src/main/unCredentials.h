#pragma once
// The "Credentials" dialog: whether to bind with an explicit account, the account and its
// password, secure authentication and Kerberos sealing. Works on a copy of the settings;
// Test binds RootDSE with them, Apply and OK test and then save them.
#include "core/unConnection.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What both connection dialogs do on Test Connection and Apply, with their messages:
// "Connection is OK" or the explained error; Apply saves only after a successful test.
void showTestResult(QWidget *dialog, const TConnectionSettings &settings);
bool applyShowingErrors(QWidget *dialog, const TConnectionSettings &settings);

class TfrmCredentials : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCredentials(const TConnectionSettings &settings, QWidget *parent = nullptr);

    // The settings as the controls show them now.
    const TConnectionSettings &settings() const { return settings_; }
    // Prefills the user name (used when it is blank and a domain is known).
    void setUserName(const QString &name);
    // True once Apply or OK saved the settings.
    bool saved() const { return saved_; }

    // Button handlers (public so that tests and the connection dialog can drive them).
    void btTestClick();
    bool btApplayClick();
    void btOKClick();
    void btCancelClick();

protected:
    void reject() override { btCancelClick(); }

private:
    void showKeyringNote(const QString &text);
    void fillControls();
    void controlsChanged();
    void updateEnabling();

    TConnectionSettings settings_;
    bool loading_ = false;
    bool saved_ = false;

    QCheckBox *cbUseCredentials;
    QGroupBox *gbCredentials;
    QLabel *lbUserName;
    QLabel *lbPassword;
    QLineEdit *ebUserName;
    QLineEdit *ebPassword;
    QCheckBox *cbUseSecureAuthentication;
    QCheckBox *cbUseKerberos;
    QCheckBox *cbRemember;
    QLabel *lbKeyring;  // where Remember Me keeps the password when the keyring cannot take it
    QPushButton *btTest;
    QPushButton *btOK;
    QPushButton *btApplay;
    QPushButton *btCancel;
};
