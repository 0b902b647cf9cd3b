#include "network/unServerInfo.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "options/unOptions.h"
#include "platform/netenum/netenum.h"
#include "platform/office/workbook.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/unMVADSI.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kCaption = QStringLiteral(" Server Info");
const QString kAppTitle = QStringLiteral("Arvendel");
constexpr ads::HRESULT kLogonFailure = ads::HRESULT(0x8007052E);

struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

void registerFont(QWidget *w)
{
    options::ApplyWindowFont(w);
    ui::ObjectBus::instance().registerWindow(w, [w](int code, const QString &) {
        if (code == ui::UnicodeFontChanged)
            options::ApplyWindowFont(w);
    });
}

} // namespace

// --- TfrmServerCredential -----------------------------------------------------------------

TfrmServerCredential::TfrmServerCredential(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmServerCredential"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("  Credentials"));
    ebUserName = new QLineEdit(this);
    ebUserName->setObjectName(QStringLiteral("ebUserName"));
    ebPassword = new QLineEdit(this);
    ebPassword->setObjectName(QStringLiteral("ebPassword"));
    ebPassword->setEchoMode(QLineEdit::Password);
    ebPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    cbUseSecureAuthentication = new QCheckBox(QStringLiteral("Secure Authentication"), this);
    cbUseSecureAuthentication->setObjectName(QStringLiteral("cbUseSecureAuthentication"));
    cbUseSecureAuthentication->setChecked(true);
    btOK = new QPushButton(QStringLiteral("&OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Domain\\User:"), ebUserName);
    form->addRow(QStringLiteral("Password:"), ebPassword);
    form->addRow(QString(), cbUseSecureAuthentication);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto *v = new QVBoxLayout(this);
    v->addLayout(form);
    v->addLayout(buttons);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    registerFont(this);
}

QString TfrmServerCredential::UserName() const { return ebUserName->text(); }
QString TfrmServerCredential::Password() const { return ebPassword->text(); }
bool TfrmServerCredential::SecureAuthentication() const { return cbUseSecureAuthentication->isChecked(); }

// --- TfrmServerInfo -----------------------------------------------------------------------

TfrmServerInfo::TfrmServerInfo(const TServerInfoCredentials &credentials, QWidget *parent)
    : QDialog(parent), cred_(credentials)
{
    setObjectName(QStringLiteral("frmServerInfo"));
    setWindowTitle(kCaption);
    lbDCServers = new QLabel(QStringLiteral("Directory Server (Domain Controller):"), this);
    lbDCServers->setObjectName(QStringLiteral("lbDCServers"));
    lvDCServers = new QTreeWidget(this);
    lvDCServers->setObjectName(QStringLiteral("lvDCServers"));
    lvDCServers->setHeaderLabels({QStringLiteral("Server Name"), QStringLiteral("DNS Host Name"), QString()});
    lvDCServers->setColumnHidden(2, true);
    lvDCServers->setRootIsDecorated(false);
    lbDCServers->setBuddy(lvDCServers);
    lbDetails = new QLabel(QStringLiteral("Details:"), this);
    lbDetails->setObjectName(QStringLiteral("lbDetails"));
    lvServerProperies = new QTreeWidget(this);
    lvServerProperies->setObjectName(QStringLiteral("lvServerProperies"));
    lvServerProperies->setHeaderLabels({QStringLiteral("Attribute Name"), QStringLiteral("Attribute Value"), QString()});
    lvServerProperies->setColumnHidden(2, true);
    lvServerProperies->setRootIsDecorated(false);
    lvServerProperies->setColumnWidth(0, 220);
    lbDetails->setBuddy(lvServerProperies);
    sbRawToExcel = new QToolButton(this);
    sbRawToExcel->setObjectName(QStringLiteral("sbRawToExcel"));
    sbRawToExcel->setText(QStringLiteral("Server Properties to Microsoft Office Excel document"));
    ui::setHint(sbRawToExcel, QStringLiteral("Server Properties to Microsoft Office Excel document"));
    sbRawToExcel->setVisible(false);
    btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));

    auto *v = new QVBoxLayout(this);
    v->addWidget(lbDCServers);
    v->addWidget(lvDCServers, 1);
    v->addWidget(lbDetails);
    v->addWidget(lvServerProperies, 2);
    auto *h = new QHBoxLayout;
    h->addWidget(sbRawToExcel);
    h->addStretch(1);
    h->addWidget(btClose);
    v->addLayout(h);
    ui::setupWindow(this, QSize(640, 560));
    connect(lvDCServers, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { lvDCServersClick(item); });
    connect(lvServerProperies, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { lvServerProperiesDblClick(item); });
    connect(sbRawToExcel, &QToolButton::clicked, this, &TfrmServerInfo::sbRawToExcelClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
    registerFont(this);
}

TfrmServerInfo::~TfrmServerInfo() = default;

void TfrmServerInfo::ListServers()
{
    WaitCursor wait;
    busy_ = true;
    lvDCServers->clear();
    servers_.clear();
    try {
        servers_ = ListDcServers(cred_);
    } catch (...) {
        busy_ = false;
        throw;
    }
    for (const TDcServer &s : servers_)
        lvDCServers->addTopLevelItem(new QTreeWidgetItem(QStringList{s.ServerName, s.DnsHostName, s.DistinguishedName}));
    busy_ = false;
}

bool TfrmServerInfo::loadDetails(const TDcServer &server)
{
    const TConnectionContext &ctx = ConnectionContext();
    const bool encrypted = cred_.AuthFlags & ads::ADS_USE_ENCRYPTION;
    const QString path = ServerRootDsePath(cred_.Prefix, ctx.DcShortName, server, encrypted,
                                           [](const QString &host) { return netenum::addressForBind(host); });
    lastPath_ = path;
    ads::ObjectPtr rootDse;
    std::uint32_t flags = cred_.AuthFlags;
    ads::HRESULT h = OpenADsObject(path, cred_.UserName, cred_.Password, &rootDse, QString::fromLatin1(ads::IID_IADs),
                                   flags, cred_.UseCredentials);
    if (h == kLogonFailure) {
        const QString firstError = GetADSIErrorText(h);
        TfrmServerCredential dlg(this);
        credentialDialog_ = &dlg;
        const int r = dlg.exec();
        credentialDialog_ = nullptr;
        if (r != QDialog::Accepted)
            throw EADSIException(firstError);
        // The typed account is used whether or not secure authentication is ticked; the tick
        // chooses Kerberos over a simple bind.
        flags = (dlg.SecureAuthentication() ? ads::ADS_SECURE_AUTHENTICATION : 0u) |
                (cred_.AuthFlags & ads::ADS_USE_ENCRYPTION) | ads::ADS_SERVER_BIND;
        h = OpenADsObject(path, dlg.UserName(), dlg.Password(), &rootDse, QString::fromLatin1(ads::IID_IADs), flags,
                          true);
    }
    if (ads::failed(h))
        throw EADSIException(ServerBindErrorText(server, path, flags, h));
    properties_ = ServerPropertyRows(rootDse);
    for (const TServerProperty &p : properties_)
        lvServerProperies->addTopLevelItem(new QTreeWidgetItem(
            QStringList{p.Caption, p.Value, p.MultiValued ? QStringLiteral("1") : QStringLiteral("0")}));
    return true;
}

void TfrmServerInfo::lvDCServersClick(QTreeWidgetItem *item)
{
    if (busy_ || !item)
        return;
    const int index = lvDCServers->indexOfTopLevelItem(item);
    if (index < 0 || index >= servers_.size())
        return;
    busy_ = true;
    {
        WaitCursor wait;
        lvServerProperies->clear();
        properties_.clear();
        currentServer_ = servers_.at(index).ServerName;
        try {
            loadDetails(servers_.at(index));
        } catch (const Exception &e) {
            ui::Prompt::message(this, e.Message(), kAppTitle, ui::Icon::Error);
        }
    }
    sbRawToExcel->setVisible(OfficeAppAvailable(QStringLiteral("Excel.Application")) && !properties_.isEmpty());
    busy_ = false;
}

void TfrmServerInfo::lvServerProperiesDblClick(QTreeWidgetItem *item)
{
    if (!item || currentServer_.isEmpty())
        return;
    const int index = lvServerProperies->indexOfTopLevelItem(item);
    if (index < 0 || index >= properties_.size())
        return;
    const TServerProperty &p = properties_.at(index);
    const QString title = QStringLiteral(" \"") + p.Caption + QStringLiteral("\" for [") + currentServer_ + QLatin1Char(']');
    ui::TfrmMVADSI viewer(title, ViewerLines(p), this);
    registerFont(&viewer);
    viewer.exec();
}

void TfrmServerInfo::sbRawToExcelClick()
{
    if (properties_.isEmpty())
        return;
    // A private folder (owner-only) holds the workbook the desktop's application opens.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/arvendel-XXXXXX"));
    dir.setAutoRemove(false);
    QString error;
    const QString path = dir.isValid() ? dir.filePath(QStringLiteral("Server Info.xlsx")) : QString();
    if (path.isEmpty() || !WriteServerPropertiesWorkbook(path, currentServer_, windowTitle(), properties_, &error) ||
        !office::openWithDesktop(path)) {
        ui::Prompt::message(this, QStringLiteral("Microsoft Office Excel is unavailable!"), kAppTitle, ui::Icon::Error);
    }
}

void TfrmServerInfo::closeEvent(QCloseEvent *event)
{
    busy_ = true;
    QDialog::closeEvent(event);
}

void TfrmServerInfo::done(int r)
{
    busy_ = true;
    QDialog::done(r);
}

void ShowServerInfo(QWidget *parent, const QString &prefix, const QString &domainPath, std::uint32_t flags,
                    const QString &password, const QString &user, const QString &defaultNamingContext)
{
    TServerInfoCredentials c = ServerInfoCredentialsFromContext();
    c.Prefix = prefix;
    c.DomainPath = domainPath;
    c.AuthFlags = flags;
    c.Password = password;
    c.UserName = user;
    c.DefaultNamingContext = defaultNamingContext;
    TfrmServerInfo dlg(c, parent);
    try {
        dlg.ListServers();
    } catch (const Exception &e) {
        ui::Prompt::message(parent, e.Message(), kAppTitle, ui::Icon::Error);
        return;
    }
    dlg.exec();
}
