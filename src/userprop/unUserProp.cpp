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
#include "ui/windowlayout.h"
#include "userprop/unRawDataView.h"
#include "userprop/unSecurityViews.h"
#include "userprop/unUserPropTabs.h"

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
using userprop::tabs::cachedText;
using userprop::tabs::kAppTitle;

namespace {

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


} // namespace

namespace userprop::tabs {

QString cachedText(const ads::ObjectPtr &o, const QString &attr, bool *ok)
{
    QVariant v;
    QString t;
    const bool got = ads::succeeded(o->Get(attr, &v)) && singleText(v, &t);
    if (ok)
        *ok = got;
    return got ? t : QString();
}

} // namespace userprop::tabs

namespace userprop {

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
    openSeveralValues(e, QLatin1String(attribute));
    return e;
}

void TfrmUserProp::openSeveralValues(QWidget *editor, const QString &attribute)
{
    // A field that shows several values (read-only) edits them one by one in the
    // other-values editor, and shows afterwards what the directory holds.
    quickpanel::openSeveralValuesOnDoubleClick(editor, [this, editor, attribute] {
        const ADSIUserField *entry = EntryByLdapName(attribute);
        btOtherClick(attribute, entry ? entry->key : -1);
        QVariant value;
        int count = 0;
        QString text;
        if (ads::succeeded(user_->GetInfoEx({attribute})) && ads::succeeded(user_->Get(attribute, &value)))
            text = quickpanel::fieldText(value, &count);
        const QScopedValueRollback guard(suppress_, true);
        quickpanel::fillEditor(editor, attribute, text, writable(attribute), count);
    });
}

QPlainTextEdit *TfrmUserProp::coupledMemo(Tab tab, const char *name, const char *attribute)
{
    auto *m = new QPlainTextEdit;
    m->setObjectName(QLatin1String(name));
    m->setTabChangesFocus(true);
    m->setMaximumHeight(70);
    connect(m, &QPlainTextEdit::textChanged, this, &TfrmUserProp::changed);
    coupled_.push_back({tab, QLatin1String(attribute), m});
    openSeveralValues(m, QLatin1String(attribute));
    return m;
}

void TfrmUserProp::build()
{
    // Wide enough for every tab's caption in one row.
    ui::setupWindow(this, QSize(440, 520));
    auto *layout = new QVBoxLayout(this);
    // Twelve tabs in one row take nearly all of a 1366-pixel screen at 125 %: narrow side
    // margins keep the row whole there.
    const QMargins margins = layout->contentsMargins();
    layout->setContentsMargins(6, margins.top(), 6, margins.bottom());
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
    raw_ = new userprop::TRawDataPage;
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
        // An attribute the schema lets hold several values shows all of them, read-only.
        QVariant value;
        int count = 0;
        const QString text =
            ads::succeeded(user_->Get(c.attribute, &value)) ? quickpanel::fieldText(value, &count) : QString();
        quickpanel::fillEditor(c.editor, c.attribute, text, writable(c.attribute), count);
    }
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
