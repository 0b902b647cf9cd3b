#pragma once
// The " Server Info" dialog (TfrmServerInfo): the forest's domain controllers and, for the one
// clicked, its RootDSE's operational attributes in readable form; a row's values in a viewer;
// the property list as a workbook. The "  Credentials" dialog (TfrmServerCredential) asks for
// other credentials when a controller refuses the connection's.
#include "network/unDcServers.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmServerCredential : public QDialog {
    Q_OBJECT
public:
    explicit TfrmServerCredential(QWidget *parent = nullptr);
    QString UserName() const;
    QString Password() const;
    bool SecureAuthentication() const;

    QLineEdit *ebUserName;
    QLineEdit *ebPassword;
    QCheckBox *cbUseSecureAuthentication;
    QPushButton *btOK;
    QPushButton *btCancel;
};

class TfrmServerInfo : public QDialog {
    Q_OBJECT
public:
    TfrmServerInfo(const TServerInfoCredentials &credentials, QWidget *parent = nullptr);
    ~TfrmServerInfo() override;

    // Lists the controllers (with the wait cursor); raises EADSIException.
    void ListServers();
    // The account later binds use (the listing keeps the servers it found).
    void setCredentials(const TServerInfoCredentials &credentials) { cred_ = credentials; }
    // Handlers (public so that tests drive them as the controls do).
    void lvDCServersClick(QTreeWidgetItem *item);
    void lvServerProperiesDblClick(QTreeWidgetItem *item);
    void sbRawToExcelClick();

    const QList<TDcServer> &servers() const { return servers_; }
    const QList<TServerProperty> &properties() const { return properties_; }
    // The RootDSE path the last click bound (tests read which controller was asked).
    QString lastPath() const { return lastPath_; }
    // The credentials dialog while it is open, else null.
    TfrmServerCredential *credentialDialog() const { return credentialDialog_; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void done(int r) override;

private:
    bool loadDetails(const TDcServer &server);

    TServerInfoCredentials cred_;
    QList<TDcServer> servers_;
    QList<TServerProperty> properties_;
    QString currentServer_;
    QString lastPath_;
    bool busy_ = false;
    TfrmServerCredential *credentialDialog_ = nullptr;

    QLabel *lbDCServers;
    QTreeWidget *lvDCServers;
    QLabel *lbDetails;
    QTreeWidget *lvServerProperies;
    QToolButton *sbRawToExcel;
    QPushButton *btClose;
};

// The action: lists the controllers and shows the dialog modally; a listing error is shown
// as a message instead.
void ShowServerInfo(QWidget *parent, const QString &prefix, const QString &domainPath, std::uint32_t flags,
                    const QString &password, const QString &user, const QString &defaultNamingContext);
