#include "userprop/unUserProp.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "main/unCatalogue.h"
#include "main/unPictureTab.h"
#include "main/unQuickPanel.h"
#include "options/unOptions.h"
#include "platform/adsi/adspath.h"
#include "query/unFind.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/writable.h"
#include "userprop/unSecurityViews.h"
#include "userprop/unBussPhone.h"
#include "userprop/unExchangeDialogs.h"
#include "groups/unGroupPages.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

using quickpanel::clearModified;
using quickpanel::isModified;
using quickpanel::singleText;
using quickpanel::textOf;

namespace {

const QString kAppTitle = QStringLiteral("Arvendel");

QList<QPointer<TfrmUserProp>> &registry()
{
    static QList<QPointer<TfrmUserProp>> list;
    return list;
}

const char *const kTabNames[] = {"tsGeneral", "tsAddress", "tsAccount", "tsProfile", "tsTelephone",
                                 "tsOrganization", "tsMemberOf", "tsExchangeGeneral", "tsExchangeAdvanced",
                                 "tsPicture", "tsSecurity", "tsRAWData"};
const char *const kTabCaptions[] = {"General", "Address", "Account", "Profile", "Telephones", "Organization",
                                    "Member Of", "Exchange General", "Exchange Advanced", "Picture", "Security",
                                    "RAW Data"};

// The attributes each tab reads in one batch, in the order of its controls.
QStringList batchOf(TfrmUserProp::Tab t)
{
    switch (t) {
    case TfrmUserProp::General:
        return {"cn", "givenName", "initials", "sn", "displayName", "description", "physicalDeliveryOfficeName",
                "telephoneNumber", "mail", "wwwHomePage"};
    case TfrmUserProp::Address:
        return {"streetAddress", "postOfficeBox", "l", "st", "postalCode", "co", "c", "countryCode"};
    case TfrmUserProp::Telephones:
        return {"homePhone", "pager", "mobile", "facsimileTelephoneNumber", "ipPhone", "info"};
    case TfrmUserProp::Organization:
        return {"title", "department", "company", "manager", "directReports"};
    case TfrmUserProp::Profile:
        return {"profilePath", "scriptPath", "homeDirectory", "homeDrive"};
    case TfrmUserProp::ExchangeGeneral:
        return {"homeMDB", "mailNickname"};
    case TfrmUserProp::ExchangeAdvanced:
        return {"displayNamePrintable", "msExchHidefromAddressLists", "securityProtocol"};
    default:
        return {};
    }
}

struct OtherButton {
    const char *name;
    const char *beside;
    const char *attribute;
    int key;
};
const OtherButton kOtherButtons[] = {
    {"btTelephoneNumberOther", "ebTelephoneBusiness", "otherTelephone", 6},
    {"btOtherURLs", "ebWWW", "url", 9},
    {"btOtherHomePhone", "ebHomePhone", "otherHomePhone", 32},
    {"btOtherPager", "ebPagerPhone", "otherPager", 34},
    {"btOtherMobile", "ebMobilePhone", "otherMobile", 36},
    {"btOtherFacsimileTelephoneNumber", "ebFacsimileTelephoneNumber", "otherFacsimileTelephoneNumber", 38},
    {"btOtherIpPhone", "ebIPPhone", "otherIpPhone", 40},
};

QString captionOfKey(const char *attribute)
{
    const ADSIUserField *e = EntryByLdapName(QLatin1String(attribute));
    const QString c = e ? CaptionByKey(e->key) : QString();
    return c.isEmpty() ? QString::fromLatin1(attribute) + QLatin1Char(':') : c + QLatin1Char(':');
}

QString cachedText(const ads::ObjectPtr &o, const QString &attr, bool *ok = nullptr)
{
    QVariant v;
    QString t;
    const bool got = ads::succeeded(o->Get(attr, &v)) && singleText(v, &t);
    if (ok)
        *ok = got;
    return got ? t : QString();
}

std::function<bool(QWidget *, const userprop::UserPropConnection &, QString &, QString &)> g_userPicker;
std::function<void(QDialog *)> g_mailDialogHook;

} // namespace

namespace userprop {

UserPropConnection UserPropConnection::fromContext()
{
    const TConnectionContext &ctx = ConnectionContext();
    UserPropConnection c;
    c.pathPrefix = ctx.ServerPrefix;
    c.searchRoot = ctx.DomainPath;
    c.userName = ctx.UserName;
    c.password = ctx.Password;
    c.authFlags = ctx.AuthFlags;
    c.useCredentials = ctx.UseCredentials;
    return c;
}

void prepareSearch(TQelADSISearching &search, const UserPropConnection &c)
{
    search.setADsPath(c.searchRoot);
    search.setUserName(c.userName);
    search.setPassword(c.password);
    search.setAuthFlags(int(c.authFlags));
    search.setUseCredentials(c.useCredentials);
    search.setSearchScope(ads::ADS_SCOPE_SUBTREE);
}

bool pickUser(QWidget *parent, const UserPropConnection &c, QString &name, QString &dn)
{
    int kind = 0;
    return pickRecipient(parent, c, false, false, name, dn, kind);
}

bool pickRecipient(QWidget *parent, const UserPropConnection &c, bool groupsToo, bool mailboxOnly, QString &name,
                   QString &dn, int &kind)
{
    query::FindRequest req;
    req.basePath = c.searchRoot;
    req.scope = groupsToo ? query::FindScope::UsersAndGroups : query::FindScope::Users;
    req.exchangeOnly = mailboxOnly;
    req.userName = c.userName;
    req.password = c.password;
    req.authFlags = c.authFlags;
    query::FindResult found;
    if (!query::FindUser(parent, req, &found))
        return false;
    name = found.name;
    dn = found.distinguishedName;
    kind = int(found.kind);
    return true;
}

QString dialogCaption(const QString &cn)
{
    return QStringLiteral(" %1 Properties - Arvendel").arg(cn);
}

QList<TfrmUserProp *> openDialogs()
{
    QList<TfrmUserProp *> out;
    for (const auto &p : registry())
        if (p)
            out << p.data();
    return out;
}

static QString stripPrefix(const QString &dnOrPath, const QString &prefix)
{
    QString dn = dnOrPath.trimmed();
    if (!prefix.isEmpty() && dn.startsWith(prefix, Qt::CaseInsensitive))
        return dn.mid(prefix.size());
    if (dn.startsWith(QLatin1String("LDAP://"), Qt::CaseInsensitive)) {
        dn = dn.mid(7);
        const int slash = dn.indexOf(QLatin1Char('/'));
        // "LDAP://server/DN": the DN follows the first "/" when the part before it is no DN.
        if (slash >= 0 && !dn.left(slash).contains(QLatin1Char('=')))
            dn = dn.mid(slash + 1);
    }
    return dn;
}

TfrmUserProp *findDialog(const QString &dnOrPath, const QString &pathPrefix)
{
    const QString dn = stripPrefix(dnOrPath, pathPrefix);
    for (TfrmUserProp *d : openDialogs())
        if (!d->userDn().isEmpty() && d->userDn().compare(dn, Qt::CaseInsensitive) == 0)
            return d;
    return nullptr;
}

TfrmUserProp *openUserProperties(QWidget *cascadeFrom, const QString &dnOrPath, const UserPropConnection &c,
                                 bool screenCornerFallback, QWidget *owner)
{
    if (TfrmUserProp *open = findDialog(dnOrPath, c.pathPrefix)) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return open;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Owned by the main window (the owner given, or the owner of the window it is opened
    // from), so that none outlives it; each is still a window of its own.
    QWidget *parent = owner ? owner->window() : cascadeFrom ? cascadeFrom->window()->parentWidget() : nullptr;
    auto *dlg = new TfrmUserProp(parent);
    try {
        dlg->Open(dnOrPath, c);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        delete dlg;
        throw;
    }
    // The user may be known under another spelling of the DN: one window per user still.
    for (TfrmUserProp *other : openDialogs())
        if (other != dlg && other->userDn().compare(dlg->userDn(), Qt::CaseInsensitive) == 0) {
            delete dlg;
            QApplication::restoreOverrideCursor();
            other->raise();
            other->activateWindow();
            return other;
        }
    if (cascadeFrom) {
        QWidget *top = cascadeFrom->window();
        const QPoint p = top->frameGeometry().topLeft() + QPoint(20, 20);
        const QScreen *screen = top->screen();
        const int bottom = screen ? screen->availableGeometry().bottom() : 100000;
        if (p.y() + dlg->frameGeometry().height() <= bottom - 20)
            dlg->move(p);
        else if (screenCornerFallback)
            dlg->move(20, 20);
    }
    dlg->show();
    dlg->raise();
    dlg->activateWindow();
    QApplication::restoreOverrideCursor();
    return dlg;
}

} // namespace userprop

// --- construction -------------------------------------------------------------------------

TfrmUserProp::TfrmUserProp(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmUserProp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    build();
    applyFonts();
    SetApplyEnabled(false);
    registry().append(this);
    ui::ObjectBus::instance().registerWindow(this, [this](int code, const QString &text) { handleNotice(code, text); });
}

TfrmUserProp::~TfrmUserProp()
{
    ui::ObjectBus::instance().unregisterWindow(this);
    registry().removeAll(QPointer<TfrmUserProp>(this));
    registry().removeAll(QPointer<TfrmUserProp>());
}

void TfrmUserProp::setUserPicker(std::function<bool(QWidget *, const userprop::UserPropConnection &, QString &, QString &)> f)
{
    g_userPicker = std::move(f);
}

void TfrmUserProp::applyFonts()
{
    options::ApplyWindowFont(this);
}

QLineEdit *TfrmUserProp::coupledEdit(Tab tab, const char *name, const char *attribute)
{
    auto *e = new QLineEdit;
    e->setObjectName(QLatin1String(name));
    connect(e, &QLineEdit::textEdited, this, &TfrmUserProp::changed);
    coupled_.push_back({tab, QLatin1String(attribute), e});
    return e;
}

QPlainTextEdit *TfrmUserProp::coupledMemo(Tab tab, const char *name, const char *attribute)
{
    auto *m = new QPlainTextEdit;
    m->setObjectName(QLatin1String(name));
    m->setTabChangesFocus(true);
    m->setMaximumHeight(70);
    connect(m, &QPlainTextEdit::textChanged, this, &TfrmUserProp::changed);
    coupled_.push_back({tab, QLatin1String(attribute), m});
    return m;
}

namespace {
// Rows of captioned editors; an "Other..." button beside the editors that have one.
void addRows(QWidget *owner, QGridLayout *grid, int &row, const QList<QPair<const char *, QWidget *>> &rows,
             const std::function<void(const QString &, int)> &other)
{
    for (const auto &[attribute, editor] : rows) {
        auto *label = new QLabel(captionOfKey(attribute), owner);
        label->setBuddy(editor);
        grid->addWidget(label, row, 0);
        grid->addWidget(editor, row, 1);
        for (const OtherButton &ob : kOtherButtons)
            if (editor->objectName() == QLatin1String(ob.beside)) {
                auto *bt = new QPushButton(QStringLiteral("Other..."), owner);
                bt->setObjectName(QLatin1String(ob.name));
                const QString attr = QLatin1String(ob.attribute);
                const int key = ob.key;
                QObject::connect(bt, &QPushButton::clicked, owner, [other, attr, key] { other(attr, key); });
                grid->addWidget(bt, row, 2);
            }
        ++row;
    }
}
} // namespace

void TfrmUserProp::build()
{
    resize(440, 520);
    auto *layout = new QVBoxLayout(this);
    pcUserProp_ = new QTabWidget(this);
    pcUserProp_->setObjectName(QStringLiteral("pcUserProp"));
    pages_[General] = buildGeneral();
    pages_[Address] = buildAddress();
    pages_[Account] = buildAccount();
    pages_[Profile] = buildProfile();
    pages_[Telephones] = buildTelephones();
    pages_[Organization] = buildOrganization();
    pages_[MemberOf] = buildMemberOf();
    pages_[ExchangeGeneral] = buildExchangeGeneral();
    pages_[ExchangeAdvanced] = buildExchangeAdvanced();
    picture_ = new TPictureTab;
    pages_[Picture] = picture_;
    security_ = new userprop::TUserSecurityPage;
    pages_[Security] = security_;
    raw_ = new groups::TRawDataPage;
    pages_[RawData] = raw_;
    for (int t = 0; t < TabCount; ++t) {
        if (t != Picture && t != RawData)
            pages_[t]->setObjectName(QLatin1String(kTabNames[t]));
        pcUserProp_->addTab(pages_[t], QLatin1String(kTabCaptions[t]));
    }
    picture_->setApplyEnabledProvider([this] { return applyEnabled(); });
    picture_->setRebind([this] {
        rebind();
        return user_;
    });
    connect(pcUserProp_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index < TabCount)
            showTab(static_cast<Tab>(index));
    });
    layout->addWidget(pcUserProp_, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btOK_ = new QPushButton(QStringLiteral("OK"), this);
    btOK_->setObjectName(QStringLiteral("btOK"));
    btCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel_->setObjectName(QStringLiteral("btCancel"));
    btApply_ = new QPushButton(QStringLiteral("&Apply"), this);
    btApply_->setObjectName(QStringLiteral("btApply"));
    btOK_->setDefault(true);
    buttons->addWidget(btOK_);
    buttons->addWidget(btCancel_);
    buttons->addWidget(btApply_);
    layout->addLayout(buttons);
    connect(btOK_, &QPushButton::clicked, this, &TfrmUserProp::btOKClick);
    connect(btCancel_, &QPushButton::clicked, this, &TfrmUserProp::btCancelClick);
    connect(btApply_, &QPushButton::clicked, this, &TfrmUserProp::btApplyClick);
}

QWidget *TfrmUserProp::buildGeneral()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    lbContainerName_ = new QLabel(page);
    lbContainerName_->setObjectName(QStringLiteral("lbContainerName"));
    QFont bold = lbContainerName_->font();
    bold.setBold(true);
    lbContainerName_->setFont(bold);
    g->addWidget(lbContainerName_, row++, 0, 1, 3);
    auto other = [this](const QString &attribute, int key) { btOtherClick(attribute, key); };
    addRows(page, g, row,
            {{"givenName", coupledEdit(General, "ebFirstName", "givenName")},
             {"initials", coupledEdit(General, "ebInitials", "initials")},
             {"sn", coupledEdit(General, "ebLastName", "sn")},
             {"displayName", coupledEdit(General, "ebDisplayName", "displayName")},
             {"description", coupledEdit(General, "ebDescription", "description")},
             {"physicalDeliveryOfficeName", coupledEdit(General, "ebOffice", "physicalDeliveryOfficeName")},
             {"telephoneNumber", coupledEdit(General, "ebTelephoneBusiness", "telephoneNumber")},
             {"mail", coupledEdit(General, "ebEmail", "mail")},
             {"wwwHomePage", coupledEdit(General, "ebWWW", "wwwHomePage")}},
            other);
    auto label = [page](const char *name, const QString &text = {}) {
        auto *l = new QLabel(text, page);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    lbCr_ = label("lbCr", QStringLiteral("Created:"));
    lbCreated_ = label("lbCreated");
    lbChan_ = label("lbChan", QStringLiteral("Changed:"));
    lbChanged_ = label("lbChanged");
    lbuSNCreated_ = label("lbuSNCreated");
    lbuSNChanged_ = label("lbuSNChanged");
    g->addWidget(lbCr_, row, 0);
    g->addWidget(lbCreated_, row, 1);
    g->addWidget(lbuSNCreated_, row++, 2);
    g->addWidget(lbChan_, row, 0);
    g->addWidget(lbChanged_, row, 1);
    g->addWidget(lbuSNChanged_, row++, 2);
    g->setRowStretch(row, 1);
    return page;
}

QWidget *TfrmUserProp::buildAddress()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    cbCountry_ = new QComboBox(page);
    cbCountry_->setObjectName(QStringLiteral("cbCountry"));
    for (const CountryISO &c : catalogue::countries())
        cbCountry_->addItem(catalogue::text(c.name));
    connect(cbCountry_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!suppress_ && index != loadedCountry_)
            SetApplyEnabled(true);
    });
    addRows(page, g, row,
            {{"streetAddress", coupledMemo(Address, "memoStreet", "streetAddress")},
             {"postOfficeBox", coupledEdit(Address, "ebPOBox", "postOfficeBox")},
             {"l", coupledEdit(Address, "ebCity", "l")},
             {"st", coupledEdit(Address, "ebStateProvince", "st")},
             {"postalCode", coupledEdit(Address, "ebZip", "postalCode")},
             {"co", cbCountry_}},
            {});
    g->setRowStretch(row, 1);
    return page;
}

QWidget *TfrmUserProp::buildTelephones()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    addRows(page, g, row,
            {{"homePhone", coupledEdit(Telephones, "ebHomePhone", "homePhone")},
             {"pager", coupledEdit(Telephones, "ebPagerPhone", "pager")},
             {"mobile", coupledEdit(Telephones, "ebMobilePhone", "mobile")},
             {"facsimileTelephoneNumber", coupledEdit(Telephones, "ebFacsimileTelephoneNumber", "facsimileTelephoneNumber")},
             {"ipPhone", coupledEdit(Telephones, "ebIPPhone", "ipPhone")},
             {"info", coupledMemo(Telephones, "memoNotes", "info")}},
            [this](const QString &attribute, int key) { btOtherClick(attribute, key); });
    g->setRowStretch(row, 1);
    return page;
}

QWidget *TfrmUserProp::buildOrganization()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    addRows(page, g, row,
            {{"title", coupledEdit(Organization, "ebTitle", "title")},
             {"department", coupledEdit(Organization, "ebDepartment", "department")},
             {"company", coupledEdit(Organization, "ebCompany", "company")}},
            {});
    ebManager_ = new QLineEdit(page);
    ebManager_->setObjectName(QStringLiteral("ebManager"));
    ebManager_->setReadOnly(true);
    g->addWidget(new QLabel(QStringLiteral("Manager:"), page), row, 0);
    g->addWidget(ebManager_, row++, 1, 1, 2);
    lbManagerDN_ = new QLabel(page);
    lbManagerDN_->setObjectName(QStringLiteral("lbManagerDN"));
    lbManagerDN_->hide();
    auto *mb = new QHBoxLayout;
    auto button = [page, mb](const char *name, const QString &text) {
        auto *b = new QPushButton(text, page);
        b->setObjectName(QLatin1String(name));
        mb->addWidget(b);
        return b;
    };
    btManagerChange_ = button("btManagerChange", QStringLiteral("Change..."));
    btManagerProperties_ = button("btManagerProperties", QStringLiteral("Properties"));
    btManagerClear_ = button("btManagerClear", QStringLiteral("Clear"));
    mb->addStretch(1);
    g->addLayout(mb, row++, 1, 1, 2);
    connect(btManagerChange_, &QPushButton::clicked, this, &TfrmUserProp::btManagerChangeClick);
    connect(btManagerProperties_, &QPushButton::clicked, this, &TfrmUserProp::btManagerPropertiesClick);
    connect(btManagerClear_, &QPushButton::clicked, this, &TfrmUserProp::btManagerClearClick);
    g->addWidget(new QLabel(QStringLiteral("Direct reports:"), page), row, 0, Qt::AlignTop);
    lvDirectReports_ = new QTreeWidget(page);
    lvDirectReports_->setObjectName(QStringLiteral("lvDirectReports"));
    lvDirectReports_->setColumnCount(2);
    lvDirectReports_->setHeaderHidden(true);
    lvDirectReports_->setColumnHidden(1, true);
    lvDirectReports_->setRootIsDecorated(false);
    connect(lvDirectReports_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const auto sel = lvDirectReports_->selectedItems();
        ui::setHint(lvDirectReports_, sel.isEmpty() ? QString() : sel.first()->text(1));
    });
    connect(lvDirectReports_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { lvDirectReportsDblClick(item); });
    g->addWidget(lvDirectReports_, row++, 1, 1, 2);
    g->setRowStretch(row - 1, 1);
    return page;
}

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

QWidget *TfrmUserProp::buildExchangeGeneral()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    ebMailboxstore_ = new QLineEdit(page);
    ebMailboxstore_->setObjectName(QStringLiteral("ebMailboxstore"));
    ebMailboxstore_->setReadOnly(true);
    g->addWidget(new QLabel(QStringLiteral("Mailbox store:"), page), row, 0);
    g->addWidget(ebMailboxstore_, row++, 1, 1, 2);
    ebExchangeAlias_ = coupledEdit(ExchangeGeneral, "ebExchangeAlias", "mailNickname");
    g->addWidget(new QLabel(QStringLiteral("Alias:"), page), row, 0);
    g->addWidget(ebExchangeAlias_, row++, 1, 1, 2);
    const struct {
        const char *name, *caption, *line1, *line2;
    } rows[] = {{"btRestrictions", "Restrictions...", "Set the maximum message size and specify",
                 "the messages accepted by this mailbox."},
                {"btOptions", "Options...", "Designate delegated permissions and", "a forwarding address."},
                {"btLimits", "Limits...", "Specify the mailbox warning and limit sizes",
                 "and how long to keep deleted items."}};
    for (const auto &r : rows) {
        auto *l = new QLabel(QStringLiteral("%1\n%2").arg(QLatin1String(r.line1), QLatin1String(r.line2)), page);
        auto *b = new QPushButton(QLatin1String(r.caption), page);
        b->setObjectName(QLatin1String(r.name));
        const QString name = QLatin1String(r.name);
        connect(b, &QPushButton::clicked, this, [this, name] { openMailDialog(name); });
        g->addWidget(l, row, 0, 1, 2);
        g->addWidget(b, row++, 2);
    }
    g->setRowStretch(row, 1);
    return page;
}

QWidget *TfrmUserProp::buildExchangeAdvanced()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    ebSimpleDisplayName_ = coupledEdit(ExchangeAdvanced, "ebSimpleDisplayName", "displayNamePrintable");
    g->addWidget(new QLabel(QStringLiteral("Simple display name:"), page), row, 0);
    g->addWidget(ebSimpleDisplayName_, row++, 1);
    cbHideFromExchangeAddressLists_ = new QCheckBox(QStringLiteral("Hide from Exchange address lists"), page);
    cbHideFromExchangeAddressLists_->setObjectName(QStringLiteral("cbHideFromExchangeAddressLists"));
    connect(cbHideFromExchangeAddressLists_, &QCheckBox::clicked, this, &TfrmUserProp::changed);
    g->addWidget(cbHideFromExchangeAddressLists_, row++, 0, 1, 2);
    cbDowngradeHighPriorityMailBoundForX400_ =
        new QCheckBox(QStringLiteral("Downgrade high priority mail bound for X.400"), page);
    cbDowngradeHighPriorityMailBoundForX400_->setObjectName(QStringLiteral("cbDowngradeHighPriorityMailBoundForX400"));
    cbDowngradeHighPriorityMailBoundForX400_->setEnabled(false);
    g->addWidget(cbDowngradeHighPriorityMailBoundForX400_, row++, 0, 1, 2);
    auto *bl = new QHBoxLayout;
    for (const auto &[name, caption] : {std::pair{"btAttributes", "Attributes..."}, std::pair{"btSettings", "Settings..."},
                                        std::pair{"btRights", "Rights..."}}) {
        auto *b = new QPushButton(QLatin1String(caption), page);
        b->setObjectName(QLatin1String(name));
        const QString button = QLatin1String(name);
        connect(b, &QPushButton::clicked, this, [this, button] { openMailDialog(button); });
        bl->addWidget(b);
    }
    g->addLayout(bl, row++, 0, 1, 2);
    g->setRowStretch(row, 1);
    return page;
}

// --- opening and loading ----------------------------------------------------------------

void TfrmUserProp::Open(const QString &userDn, const userprop::UserPropConnection &connection)
{
    conn_ = connection;
    QString path = userDn.trimmed();
    if (!path.startsWith(conn_.pathPrefix, Qt::CaseInsensitive) || conn_.pathPrefix.isEmpty())
        path = conn_.pathPrefix + ads::escapePathDn(path);
    ads::ObjectPtr obj;
    CheckADSIResult(OpenADsObject(path, conn_.userName, conn_.password, &obj, QString::fromLatin1(ads::IID_IADs),
                                  conn_.authFlags, conn_.useCredentials));
    CheckADSIResult(obj->QueryInterface(QString::fromLatin1(ads::IID_IADsUser)));
    user_ = obj;
    QVariant v;
    if (ads::succeeded(user_->GetInfoEx({QStringLiteral("distinguishedName")})))
        dn_ = cachedText(user_, QStringLiteral("distinguishedName"));
    allowed_.clear();
    if (ads::succeeded(user_->GetInfoEx({QStringLiteral("allowedAttributesEffective")}))
        && ads::succeeded(user_->Get(QStringLiteral("allowedAttributesEffective"), &v))) {
        for (const QVariant &a : (v.typeId() == QMetaType::QVariantList ? v.toList() : QVariantList{v}))
            allowed_.insert(a.toString().trimmed().toUpper());
    }
    picture_->setUser(user_, allowed_, dn_);
    loadTab(General);
    loadTab(Account);
    hasMailbox_ = readMailbox();
    pcUserProp_->setTabVisible(ExchangeGeneral, hasMailbox_);
    pcUserProp_->setTabVisible(ExchangeAdvanced, hasMailbox_);
    {
        const QSignalBlocker block(pcUserProp_);
        pcUserProp_->setCurrentIndex(General);
    }
    SetApplyEnabled(false);
}

bool TfrmUserProp::readMailbox()
{
    if (ads::failed(user_->GetInfoEx({QStringLiteral("homeMDB"), QStringLiteral("mailNickname"),
                                      QStringLiteral("msExchHomeServerName")})))
        return false;
    for (const char *a : {"homeMDB", "mailNickname", "msExchHomeServerName"}) {
        bool ok = false;
        if (cachedText(user_, QLatin1String(a), &ok).isEmpty() || !ok)
            return false;
    }
    return true;
}

void TfrmUserProp::showTab(Tab t)
{
    if (pcUserProp_->currentIndex() != t)
        pcUserProp_->setCurrentIndex(t); // comes back here through currentChanged
    if (!user_)
        return;
    if (!loaded_[t] || t == RawData)
        loadTab(t);
    if (t == General)
        refreshCreatedChanged();
    QLineEdit *first = nullptr;
    switch (t) {
    case General: first = findChild<QLineEdit *>(QStringLiteral("ebFirstName")); break;
    case Telephones: first = findChild<QLineEdit *>(QStringLiteral("ebHomePhone")); break;
    case Organization: first = findChild<QLineEdit *>(QStringLiteral("ebTitle")); break;
    case Account: first = ebUserLogonName_; break;
    case Profile: first = ebProfilePath_; break;
    default: break;
    }
    if (first && first->isEnabled()) {
        first->setFocus();
        first->selectAll();
    }
}

void TfrmUserProp::loadTab(Tab t)
{
    if (!user_)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QScopedValueRollback guard(suppress_, true);
    try {
        switch (t) {
        case General: loadGeneral(); break;
        case Address: loadAddress(); break;
        case Telephones: loadCoupled(Telephones); break;
        case Organization: loadOrganization(); break;
        case Profile: loadProfile(); break;
        case ExchangeGeneral: loadExchangeGeneral(); break;
        case ExchangeAdvanced: loadExchangeAdvanced(); break;
        case Account: loadAccount(); break;
        case MemberOf: loadMemberOf(); break;
        case Picture: picture_->tsPictureShow(); break;
        case Security: security_->load(user_); break;
        case RawData: raw_->load(rawObject(), windowTitle()); break;
        default: break;
        }
        loaded_[t] = true;
    } catch (const Exception &e) {
        QApplication::restoreOverrideCursor();
        ui::Prompt::error(this, e.Message(), kAppTitle);
        return;
    }
    QApplication::restoreOverrideCursor();
}

void TfrmUserProp::loadCoupled(Tab t)
{
    CheckADSIResult(user_->GetInfoEx(batchOf(t)));
    for (const Coupled &c : coupled_) {
        if (c.tab != t)
            continue;
        quickpanel::fillEditor(c.editor, c.attribute, cachedText(user_, c.attribute), writable(c.attribute));
    }
}

void TfrmUserProp::loadGeneral()
{
    loadCoupled(General);
    bool ok = false;
    const QString cn = cachedText(user_, QStringLiteral("cn"), &ok);
    displayName_ = ok ? cn : QStringLiteral("UNKNOWN");
    lbContainerName_->setText(displayName_);
    setWindowTitle(userprop::dialogCaption(displayName_));
    refreshCreatedChanged();
}

void TfrmUserProp::refreshCreatedChanged()
{
    if (!user_)
        return;
    user_->GetInfoEx({QStringLiteral("whenCreated"), QStringLiteral("whenChanged"), QStringLiteral("uSNCreated"),
                      QStringLiteral("uSNChanged")});
    auto time = [this](const char *attr, QLabel *label, QLabel *caption) {
        QVariant v;
        if (ads::succeeded(user_->Get(QLatin1String(attr), &v)) && v.canConvert<ads::AdsDate>()) {
            // Shown as the directory gives it (UTC), in the locale's short date and long time.
            const QDateTime dt = v.value<ads::AdsDate>().toDateTime(Qt::UTC);
            label->setText(QLocale().toString(dt.date(), QLocale::ShortFormat) + QLatin1Char(' ')
                           + QLocale().toString(dt.time(), QLocale::LongFormat));
            caption->show();
        } else {
            label->clear();
            caption->hide();
        }
    };
    time("whenCreated", lbCreated_, lbCr_);
    time("whenChanged", lbChanged_, lbChan_);
    auto usn = [this](const char *attr, QLabel *label, const char *format) {
        QVariant v;
        try {
            if (ads::succeeded(user_->Get(QLatin1String(attr), &v)) && v.isValid()) {
                label->setText(QString::fromLatin1(format).arg(LargeIntegerToInt64(v)));
                return;
            }
        } catch (const Exception &) {
        }
        label->clear();
    };
    usn("uSNCreated", lbuSNCreated_, "USN Created: %1");
    usn("uSNChanged", lbuSNChanged_, "USN Changed: %1");
}

void TfrmUserProp::loadAddress()
{
    loadCoupled(Address);
    loadedCountry_ = quickpanel::readCountry(user_);
    cbCountry_->setCurrentIndex(loadedCountry_);
    loadedCountry_ = cbCountry_->currentIndex();
    ui::setWritableLook(cbCountry_, writable(QStringLiteral("c")));
}

void TfrmUserProp::loadOrganization()
{
    loadCoupled(Organization);
    quickpanel::QuickPanelLogic names(userlist::ListingConnection{conn_.pathPrefix, conn_.userName, conn_.password,
                                                                 conn_.useCredentials, int(conn_.authFlags)});
    const QString managerDn = cachedText(user_, QStringLiteral("manager"));
    const QString managerName = managerDn.isEmpty() ? QString() : names.cnOf(managerDn);
    if (managerName.isEmpty()) {
        ebManager_->clear();
        loadedManagerDn_.clear();
    } else {
        ebManager_->setText(managerName);
        loadedManagerDn_ = managerDn;
    }
    managerDn_ = loadedManagerDn_;
    managerModified_ = false;
    ui::setHint(ebManager_, managerDn_);
    lbManagerDN_->setText(managerDn_);
    const bool shown = !managerDn_.isEmpty();
    btManagerProperties_->setEnabled(shown);
    btManagerClear_->setEnabled(shown && writable(QStringLiteral("manager")));
    btManagerChange_->setEnabled(writable(QStringLiteral("manager")));
    lvDirectReports_->clear();
    QVariant r;
    if (ads::succeeded(user_->Get(QStringLiteral("directReports"), &r)))
        for (const QString &dn : quickpanel::textList(r))
            new QTreeWidgetItem(lvDirectReports_, {names.cnOf(dn), dn});
    QPalette pal = lvDirectReports_->parentWidget()->palette();
    if (!writable(QStringLiteral("directReports")))
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    lvDirectReports_->setPalette(pal);
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

void TfrmUserProp::loadExchangeGeneral()
{
    loadCoupled(ExchangeGeneral);
    bool ok = false;
    const QString store = cachedText(user_, QStringLiteral("homeMDB"), &ok);
    ebMailboxstore_->setText(ok ? store : QStringLiteral("UNKNOWN"));
}

void TfrmUserProp::loadExchangeAdvanced()
{
    loadCoupled(ExchangeAdvanced);
    hideLoaded_ = QVariant();
    hideReadFailed_ = ads::failed(user_->Get(QStringLiteral("msExchHidefromAddressLists"), &hideLoaded_));
    cbHideFromExchangeAddressLists_->setChecked(!hideReadFailed_ && hideLoaded_.toBool());
    cbHideFromExchangeAddressLists_->setEnabled(writable(QStringLiteral("msExchHidefromAddressLists")));
    QVariant sp;
    bool downgrade = false;
    if (ads::succeeded(user_->Get(QStringLiteral("securityProtocol"), &sp))) {
        const QVariant first = sp.typeId() == QMetaType::QVariantList ? sp.toList().value(0) : sp;
        const QByteArray b = first.toByteArray();
        downgrade = !b.isEmpty() && b.at(0) != 0;
    }
    cbDowngradeHighPriorityMailBoundForX400_->setChecked(downgrade);
}

// --- change tracking and the buttons ------------------------------------------------------

void TfrmUserProp::changed()
{
    if (!suppress_)
        SetApplyEnabled(true);
}

bool TfrmUserProp::applyEnabled() const
{
    return btApply_->isEnabled();
}

void TfrmUserProp::SetApplyEnabled(bool on)
{
    btApply_->setEnabled(on);
}

void TfrmUserProp::btApplyClick()
{
    Apply();
}

void TfrmUserProp::btOKClick()
{
    if (applyEnabled() && !Apply())
        return;
    SetApplyEnabled(false);
    close();
}

void TfrmUserProp::btCancelClick()
{
    close();
}

void TfrmUserProp::closeEvent(QCloseEvent *event)
{
    if (applyEnabled()) {
        QApplication::beep();
        if (ui::Prompt::message(this, QStringLiteral("You have made changes. Do you want to discard them?"), kAppTitle,
                                ui::Icon::Question, ui::Button::Yes | ui::Button::No, ui::Button::No)
            != ui::Button::Yes) {
            event->ignore();
            return;
        }
        SetApplyEnabled(false);
    }
    event->accept();
}

bool TfrmUserProp::isGood(ads::HRESULT hr) const
{
    return ads::succeeded(hr);
}

void TfrmUserProp::rebind()
{
    ads::ObjectPtr fresh;
    if (user_ && ads::succeeded(OpenADsObject(user_->ADsPath(), conn_.userName, conn_.password, &fresh,
                                              QString::fromLatin1(ads::IID_IADsUser), conn_.authFlags,
                                              conn_.useCredentials))) {
        user_ = fresh;
        picture_->rebind(fresh);
    }
}

void TfrmUserProp::refused(Tab t, const QStringList &attributes, ads::HRESULT hr)
{
    // Whatever the refused modify staged must not ride along with the next write.
    rebind();
    pcUserProp_->setCurrentIndex(t);
    ui::Prompt::error(this, quickpanel::refusedTabMessage(QLatin1String(kTabCaptions[t]), attributes, hr), kAppTitle);
}

bool TfrmUserProp::writeStep(Tab t, const QStringList &attributes)
{
    const ads::HRESULT hr = user_->SetInfo();
    if (ads::failed(hr)) {
        refused(t, attributes, hr);
        return false;
    }
    committed_ = true;
    return true;
}

void TfrmUserProp::validationFailed(Tab t, QWidget *focus, const QString &text, int icon, int wrap)
{
    pcUserProp_->setCurrentIndex(t);
    ui::Prompt::message(this, text, kAppTitle, static_cast<ui::Icon>(icon), ui::Button::Ok, 0, wrap > 0 ? wrap : 40);
    if (focus) {
        focus->setFocus();
        if (auto *e = qobject_cast<QLineEdit *>(focus))
            e->selectAll();
    }
}

bool TfrmUserProp::saveCoupled(Tab t, bool extraCountry)
{
    if (!loaded_[t])
        return true;
    QStringList names;
    ads::HRESULT hr = ads::S_OK;
    std::vector<QWidget *> written;
    for (const Coupled &c : coupled_) {
        if (c.tab != t || !isModified(c.editor))
            continue;
        // The alias and the simple display name have their own save steps.
        if (c.editor == ebExchangeAlias_ || c.editor == ebSimpleDisplayName_)
            continue;
        const QString text = textOf(c.editor);
        names << c.attribute;
        hr = text.trimmed().isEmpty() ? user_->PutEx(ads::ADS_PROPERTY_CLEAR, c.attribute, QVariant())
                                      : user_->Put(c.attribute, text);
        written.push_back(c.editor);
        if (ads::failed(hr))
            break;
    }
    int country = -1;
    if (ads::succeeded(hr) && extraCountry && cbCountry_->currentIndex() != loadedCountry_
        && cbCountry_->currentIndex() >= 0) {
        country = cbCountry_->currentIndex();
        names << QStringLiteral("c") << QStringLiteral("co") << QStringLiteral("countryCode");
        hr = quickpanel::putCountry(user_, country);
    }
    if (names.isEmpty())
        return true;
    if (ads::failed(hr)) {
        refused(t, names, hr);
        return false;
    }
    if (!writeStep(t, names))
        return false;
    for (QWidget *w : written)
        clearModified(w);
    if (country >= 0)
        loadedCountry_ = country;
    return true;
}

bool TfrmUserProp::saveOrganization()
{
    if (!loaded_[Organization])
        return true;
    if (!saveCoupled(Organization))
        return false;
    if (!managerModified_ || managerDn_ == loadedManagerDn_)
        return true;
    const ads::HRESULT hr = managerDn_.isEmpty()
        ? user_->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("manager"), QVariant())
        : user_->Put(QStringLiteral("manager"), managerDn_);
    if (ads::failed(hr)) {
        refused(Organization, {QStringLiteral("manager")}, hr);
        return false;
    }
    if (!writeStep(Organization, {QStringLiteral("manager")}))
        return false;
    if (!loadedManagerDn_.isEmpty())
        ui::notifyOtherWindows(ui::ObjectChanged, loadedManagerDn_, this);
    if (!managerDn_.isEmpty())
        ui::notifyOtherWindows(ui::ObjectChanged, managerDn_, this);
    loadedManagerDn_ = managerDn_;
    managerModified_ = false;
    return true;
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

bool TfrmUserProp::saveExchangeGeneral()
{
    if (!loaded_[ExchangeGeneral] || !ebExchangeAlias_->isModified())
        return true;
    user_->GetInfoEx({QStringLiteral("mailNickname")});
    const QString current = cachedText(user_, QStringLiteral("mailNickname"));
    const QString alias = ebExchangeAlias_->text().trimmed();
    if (alias.isEmpty()) {
        validationFailed(ExchangeGeneral, ebExchangeAlias_,
                         QStringLiteral("The specified user Alias field cannot be empty. Provide a value and then try again."),
                         int(ui::Icon::Information));
        return false;
    }
    if (IsValueTaken(conn_.searchRoot, QStringLiteral("mailNickname"), alias, conn_.userName, conn_.password,
                     conn_.authFlags, conn_.useCredentials)) {
        if (alias.compare(current, Qt::CaseInsensitive) != 0) {
            validationFailed(ExchangeGeneral, ebExchangeAlias_,
                             QStringLiteral("The specified user Alias already exists in the enterprise."),
                             int(ui::Icon::Information));
            return false;
        }
        ebExchangeAlias_->setModified(false);
        return true;
    }
    const ads::HRESULT hr = user_->Put(QStringLiteral("mailNickname"), alias);
    if (ads::failed(hr)) {
        refused(ExchangeGeneral, {QStringLiteral("mailNickname")}, hr);
        return false;
    }
    if (!writeStep(ExchangeGeneral, {QStringLiteral("mailNickname")}))
        return false;
    ebExchangeAlias_->setModified(false);
    return true;
}

bool TfrmUserProp::saveExchangeAdvanced()
{
    if (!loaded_[ExchangeAdvanced])
        return true;
    QStringList names;
    ads::HRESULT hr = ads::S_OK;
    if (ebSimpleDisplayName_->isModified()) {
        const QString t = ebSimpleDisplayName_->text().trimmed();
        names << QStringLiteral("displayNamePrintable");
        hr = t.isEmpty() ? user_->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("displayNamePrintable"), QVariant())
                         : user_->Put(QStringLiteral("displayNamePrintable"), t);
    }
    const bool checked = cbHideFromExchangeAddressLists_->isChecked();
    const bool hadValue = !hideReadFailed_ && hideLoaded_.isValid();
    // An unset value stays unset while the box stays unchecked.
    if (ads::succeeded(hr) && (hadValue ? checked != hideLoaded_.toBool() : checked)) {
        names << QStringLiteral("msExchHidefromAddressLists");
        hr = user_->Put(QStringLiteral("msExchHidefromAddressLists"), checked);
    }
    if (ads::failed(hr)) {
        refused(ExchangeAdvanced, names, hr);
        return false;
    }
    if (names.isEmpty())
        return true;
    hr = user_->SetInfo();
    if (ads::failed(hr)) {
        refused(ExchangeAdvanced, names, hr);
        return false;
    }
    committed_ = true;
    ebSimpleDisplayName_->setModified(false);
    hideLoaded_ = checked;
    hideReadFailed_ = false;
    return true;
}

bool TfrmUserProp::Apply()
{
    if (!user_)
        return false;
    if (options::ConfirmWrites() && !ui::Prompt::confirmSave(this))
        return false;
    committed_ = false;
    const bool ok = saveCoupled(General) && saveCoupled(Address, true) && saveCoupled(Telephones)
        && saveOrganization() && saveMemberOf() && saveAccount() && saveProfile()
        && (!hasMailbox_ || (saveExchangeGeneral() && saveExchangeAdvanced()));
    if (committed_) {
        ui::notifyOtherWindows(ui::ObjectChanged, dn_, this);
        committed_ = false;
    }
    if (!ok)
        return false; // Apply stays enabled with what was not written
    SetApplyEnabled(false);
    refreshCreatedChanged();
    if (pcUserProp_->currentIndex() == RawData)
        loadTab(RawData);
    return true;
}

ads::ObjectPtr TfrmUserProp::rawObject() const
{
    // A binding of its own: reading every attribute must not replace what the dialog's
    // object holds for its tabs.
    ads::ObjectPtr obj;
    CheckADSIResult(OpenADsObject(user_->ADsPath(), conn_.userName, conn_.password, &obj,
                                  QString::fromLatin1(ads::IID_IADs), conn_.authFlags, conn_.useCredentials));
    return obj;
}

void TfrmUserProp::openMailDialog(const QString &button)
{
    if (!user_)
        return;
    const userprop::ExchangeContext context{user_, conn_, allowed_};
    std::unique_ptr<QDialog> dlg;
    if (button == QLatin1String("btRestrictions"))
        dlg = std::make_unique<userprop::TfrmDeliveryRestrictions>(context, this);
    else if (button == QLatin1String("btOptions"))
        dlg = std::make_unique<userprop::TfrmDeliveryOptions>(context, this);
    else if (button == QLatin1String("btLimits"))
        dlg = std::make_unique<userprop::TfrmStorageLimits>(context, this);
    else if (button == QLatin1String("btAttributes"))
        dlg = std::make_unique<userprop::TfrmExchangeExtAtt>(context, this);
    else if (button == QLatin1String("btSettings"))
        dlg = std::make_unique<userprop::TfrmILSSetings>(context, this);
    else if (button == QLatin1String("btRights"))
        dlg = std::make_unique<userprop::TfrmPermitions>(user_, this);
    if (!dlg)
        return;
    if (g_mailDialogHook)
        g_mailDialogHook(dlg.get());
    else
        dlg->exec();
}

void TfrmUserProp::setMailDialogRunner(std::function<void(QDialog *)> runner)
{
    g_mailDialogHook = std::move(runner);
}

void TfrmUserProp::btOtherClick(const QString &attribute, int key)
{
    if (!user_)
        return;
    userprop::TfrmBussPhone::edit(this, user_, attribute, key, writable(attribute), conn_);
}

void TfrmUserProp::handleNotice(int code, const QString &dn)
{
    if (!user_)
        return;
    if (code == ui::UnicodeFontChanged) {
        applyFonts();
        return;
    }
    if (dn.compare(dn_, Qt::CaseInsensitive) != 0)
        return;
    if (code == ui::ObjectChanged) {
        for (Tab t : {General, Address, Telephones, Organization, MemberOf, Account, Profile})
            if (loaded_[t])
                loadTab(t);
    } else if (code == ui::PictureChanged) {
        if (loaded_[Picture]) {
            loaded_[Picture] = false;
            picture_->markNotLoaded();
            if (pcUserProp_->currentIndex() == Picture)
                loadTab(Picture);
        }
    }
}

// --- Organization -------------------------------------------------------------------------

void TfrmUserProp::setManagerChoice(const QString &name, const QString &dn)
{
    if (dn == managerDn_)
        return;
    managerDn_ = dn;
    ebManager_->setText(name);
    ui::setHint(ebManager_, dn);
    lbManagerDN_->setText(dn);
    btManagerProperties_->setEnabled(true);
    btManagerClear_->setEnabled(writable(QStringLiteral("manager")));
    managerModified_ = true;
    SetApplyEnabled(true);
}

void TfrmUserProp::btManagerChangeClick()
{
    QString name, dn;
    if (g_userPicker) {
        if (g_userPicker(this, conn_, name, dn))
            setManagerChoice(name, dn);
        return;
    }
    if (userprop::pickUser(this, conn_, name, dn))
        setManagerChoice(name, dn);
}

void TfrmUserProp::btManagerClearClick()
{
    managerDn_.clear();
    ebManager_->clear();
    ui::setHint(ebManager_, QString());
    lbManagerDN_->clear();
    managerModified_ = true;
    btManagerProperties_->setEnabled(false);
    btManagerClear_->setEnabled(false);
    SetApplyEnabled(true);
}

void TfrmUserProp::btManagerPropertiesClick()
{
    if (managerDn_.isEmpty())
        return;
    try {
        userprop::openUserProperties(this, managerDn_, conn_, true);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
    }
}

void TfrmUserProp::lvDirectReportsDblClick(QTreeWidgetItem *item)
{
    if (!item || item->text(1).trimmed().isEmpty())
        return;
    try {
        userprop::openUserProperties(this, item->text(1), conn_, false);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
    }
}
