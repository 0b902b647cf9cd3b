// The Account and Member Of tabs of the user property dialog.
#include "userprop/unUserProp.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "main/unQuickPanel.h"
#include "platform/adsi/adspath.h"
#include "platform/security/sid.h"
#include "query/filtercompose.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/writable.h"
#include "ui/windowlayout.h"
#include "userprop/unHours.h"
#include "userprop/unLogonWorkstations.h"
#include "userprop/unSelectGroups.h"
#include "userprop/unUserPropTabs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <deque>
#include <map>

using userprop::tabs::cachedText;
using userprop::tabs::kAppTitle;

namespace {

std::function<bool(QWidget *, userprop::HoursArray &, bool)> g_hoursEditor;
std::function<bool(QWidget *, QStringList &, bool)> g_workstationsEditor;
std::function<bool(QWidget *, const userprop::UserPropConnection &, const QStringList &, const QString &, QStringList &)>
    g_groupPicker;

} // namespace

void TfrmUserProp::setHoursEditor(std::function<bool(QWidget *, userprop::HoursArray &, bool)> f)
{
    g_hoursEditor = std::move(f);
}
void TfrmUserProp::setWorkstationsEditor(std::function<bool(QWidget *, QStringList &, bool)> f)
{
    g_workstationsEditor = std::move(f);
}
void TfrmUserProp::setGroupPicker(std::function<bool(QWidget *, const userprop::UserPropConnection &,
                                                     const QStringList &, const QString &, QStringList &)> f)
{
    g_groupPicker = std::move(f);
}

// --- Account: widgets -------------------------------------------------------------------------

QWidget *TfrmUserProp::buildAccount()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *g = new QGridLayout;
    v->addLayout(g);
    auto edit = [page](const char *name) {
        auto *e = new QLineEdit(page);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    ebUserLogonName_ = edit("ebUserLogonName");
    cbebUserLogonNameDomain_ = new QComboBox(page);
    cbebUserLogonNameDomain_->setObjectName(QStringLiteral("cbebUserLogonNameDomain"));
    cbebUserLogonNameDomain_->setEnabled(false);
    ebUserLogonNamePreWindowsDomain_ = edit("ebUserLogonNamePreWindowsDomain");
    ebUserLogonNamePreWindowsDomain_->setReadOnly(true);
    ebUserLogonNamePreWindows_ = edit("ebUserLogonNamePreWindows");
    g->addWidget(ui::buddyLabel(QStringLiteral("User logon name:"), ebUserLogonName_, page), 0, 0, 1, 2);
    // The domain part beside the pre-Windows 2000 name has no caption of its own.
    ebUserLogonNamePreWindowsDomain_->setAccessibleName(QStringLiteral("Pre-Windows 2000 domain"));
    g->addWidget(ebUserLogonName_, 1, 0);
    g->addWidget(cbebUserLogonNameDomain_, 1, 1);
    g->addWidget(ui::buddyLabel(QStringLiteral("User logon name (pre-Windows 2000):"), ebUserLogonNamePreWindows_, page), 2, 0,
                 1, 2);
    g->addWidget(ebUserLogonNamePreWindowsDomain_, 3, 0);
    g->addWidget(ebUserLogonNamePreWindows_, 3, 1);
    for (QLineEdit *e : {ebUserLogonName_, ebUserLogonNamePreWindows_})
        connect(e, &QLineEdit::textEdited, this, &TfrmUserProp::changed);

    auto *bl = new QHBoxLayout;
    btLogonHours_ = new QPushButton(QStringLiteral("Logon Hours..."), page);
    btLogonHours_->setObjectName(QStringLiteral("btLogonHours"));
    btLogOnTo_ = new QPushButton(QStringLiteral("Log In To..."), page);
    btLogOnTo_->setObjectName(QStringLiteral("btLogOnTo"));
    bl->addWidget(btLogonHours_);
    bl->addWidget(btLogOnTo_);
    bl->addStretch(1);
    v->addLayout(bl);
    connect(btLogonHours_, &QPushButton::clicked, this, &TfrmUserProp::btLogonHoursClick);
    connect(btLogOnTo_, &QPushButton::clicked, this, &TfrmUserProp::btLogOnToClick);

    cbAccountIsLockedOut_ = new QCheckBox(QStringLiteral("Account is locked out"), page);
    cbAccountIsLockedOut_->setObjectName(QStringLiteral("cbAccountIsLockedOut"));
    v->addWidget(cbAccountIsLockedOut_);
    connect(cbAccountIsLockedOut_, &QCheckBox::clicked, this, &TfrmUserProp::accountOptionClicked);

    auto *lp = new QHBoxLayout;
    lp->addWidget(new QLabel(QStringLiteral("Password last set:"), page));
    lbLastPassset_ = new QLabel(QStringLiteral("Unknown"), page);
    lbLastPassset_->setObjectName(QStringLiteral("lbLastPassset"));
    lp->addWidget(lbLastPassset_, 1);
    v->addLayout(lp);

    // The account options scroll inside a frame; the scroll bar moves the panel.
    auto *frame = new QWidget(page);
    frame->setObjectName(QStringLiteral("pnlAccOptionsFrame"));
    frame->setMinimumHeight(110);
    auto *fl = new QHBoxLayout(frame);
    fl->setContentsMargins(0, 0, 0, 0);
    auto *clip = new QWidget(frame);
    fl->addWidget(clip, 1);
    sbVerticalMove_ = new QScrollBar(Qt::Vertical, frame);
    sbVerticalMove_->setObjectName(QStringLiteral("sbVerticalMove"));
    fl->addWidget(sbVerticalMove_);
    pnlAccOptions_ = new QWidget(clip);
    pnlAccOptions_->setObjectName(QStringLiteral("pnlAccOptions"));
    auto *ol = new QVBoxLayout(pnlAccOptions_);
    auto box = [this, ol](const char *name, const QString &caption) {
        auto *c = new QCheckBox(caption, pnlAccOptions_);
        c->setObjectName(QLatin1String(name));
        ol->addWidget(c);
        return c;
    };
    cbUserMustChangePasswordAtNextLogon_ =
        box("cbUserMustChangePasswordAtNextLogon", QStringLiteral("User must change password at next logon"));
    cbUserCannotChangePassword_ = box("cbUserCannotChangePassword", QStringLiteral("User cannot change password"));
    using namespace userprop;
    const struct {
        const char *name, *caption;
        quint32 bit;
    } options[] = {
        {"cbPasswordNeverExpires", "Password never expires", uac::DontExpirePassword},
        {"cbStorePasswordUsingReversibleEncryption", "Store password using reversible encryption",
         uac::EncryptedTextPasswordAllowed},
        {"cbAccountIsDisabled", "Account is disabled", uac::AccountDisable},
        {"cbSmartCardIsRequiredForInteractiveLogon", "Smart card is required for interactive logon",
         uac::SmartcardRequired},
        {"cbAccountIsTrustedFor", "Account is trusted for delegation", uac::TrustedToAuthForDelegation},
        {"cbAccountIsSensetiveAndCannotbeDelegated", "Account is sensitive and cannot be delegated", uac::NotDelegated},
        {"cbUseDESencryptiontypesForThisAccount", "Use DES encryption types for this account", uac::UseDesKeyOnly},
        {"cbDoNotRequireKerberospreauthentication", "Do not require Kerberos preauthentication",
         uac::DontRequirePreauth},
    };
    for (const auto &o : options)
        optionBoxes_.emplace_back(box(o.name, QLatin1String(o.caption)), o.bit);
    pnlAccOptions_->adjustSize();
    connect(cbUserMustChangePasswordAtNextLogon_, &QCheckBox::clicked, this, &TfrmUserProp::accountOptionClicked);
    connect(cbUserCannotChangePassword_, &QCheckBox::clicked, this, [this] {
        if (suppress_)
            return;
        cannotChangeChanged_ = true;
        SetApplyEnabled(true);
    });
    for (auto &[b, bit] : optionBoxes_)
        connect(b, &QCheckBox::clicked, this, &TfrmUserProp::accountOptionClicked);
    sbVerticalMove_->setRange(0, qMax(0, pnlAccOptions_->sizeHint().height() - 110));
    connect(sbVerticalMove_, &QScrollBar::valueChanged, this,
            [this](int pos) { pnlAccOptions_->move(0, -pos - 4); });
    v->addWidget(frame, 1);

    gbAccountExpires_ = new QGroupBox(QStringLiteral("Account expires"), page);
    gbAccountExpires_->setObjectName(QStringLiteral("gbAccountExpires"));
    auto *el = new QGridLayout(gbAccountExpires_);
    rbNever_ = new QRadioButton(QStringLiteral("Never"), gbAccountExpires_);
    rbNever_->setObjectName(QStringLiteral("rbNever"));
    rbEndOf_ = new QRadioButton(QStringLiteral("End of:"), gbAccountExpires_);
    rbEndOf_->setObjectName(QStringLiteral("rbEndOf"));
    dtpAccountExpires_ = new QDateEdit(gbAccountExpires_);
    dtpAccountExpires_->setObjectName(QStringLiteral("dtpAccountExpires"));
    dtpAccountExpires_->setCalendarPopup(true);
    el->addWidget(rbNever_, 0, 0);
    el->addWidget(rbEndOf_, 1, 0);
    el->addWidget(dtpAccountExpires_, 1, 1);
    v->addWidget(gbAccountExpires_);
    auto modeClicked = [this] {
        if (suppress_)
            return;
        ui::setWritableLook(dtpAccountExpires_, rbEndOf_->isChecked());
        expiryModeChanged_ = true;
        SetApplyEnabled(true);
    };
    connect(rbNever_, &QRadioButton::clicked, this, modeClicked);
    connect(rbEndOf_, &QRadioButton::clicked, this, modeClicked);
    connect(dtpAccountExpires_, &QDateEdit::dateChanged, this, [this] {
        if (suppress_)
            return;
        expiryDateChanged_ = true;
        SetApplyEnabled(true);
    });
    return page;
}

void TfrmUserProp::accountOptionClicked()
{
    if (suppress_)
        return;
    optionsChanged_ = true;
    SetApplyEnabled(true);
}

// --- Account: load --------------------------------------------------------------------------

void TfrmUserProp::loadAccount()
{
    using namespace userprop;
    CheckADSIResult(user_->GetInfoEx({QStringLiteral("userPrincipalName"), QStringLiteral("sAMAccountName"),
                                      QStringLiteral("userAccountControl"), QStringLiteral("pwdLastSet"),
                                      QStringLiteral("ntSecurityDescriptor"), QStringLiteral("objectSID"),
                                      QStringLiteral("accountExpires"), QStringLiteral("lockoutTime"),
                                      QStringLiteral("msDS-User-Account-Control-Computed")}));
    // A1: the domain part of the pre-Windows 2000 name.
    QVariant sidValue;
    const bool sidRead = ads::succeeded(user_->Get(QStringLiteral("objectSID"), &sidValue));
    if (sidRead) {
        QString domain;
        if (auto nt = GetNameTranslator()) {
            QString nt4;
            if (ads::succeeded(nt->Set(TNameTranslate::ADS_NAME_TYPE_1779, dn_))
                && ads::succeeded(nt->Get(TNameTranslate::ADS_NAME_TYPE_NT4, &nt4)) && nt4.contains(QLatin1Char('\\')))
                domain = nt4.section(QLatin1Char('\\'), 0, 0);
        }
        if (domain.isEmpty())
            domain = DomainNetbiosName();
        if (domain.isEmpty())
            domain = QStringLiteral("UNKNOWN DOMAIN");
        ebUserLogonNamePreWindowsDomain_->setText(EnsureTrailingBackslash(domain));
    } else {
        ebUserLogonNamePreWindowsDomain_->clear();
    }
    // A2: the logon names.
    bool upnOk = false;
    const QString upn = cachedText(user_, QStringLiteral("userPrincipalName"), &upnOk);
    QString name, suffix;
    SplitUPN(upn, name, suffix);
    ebUserLogonName_->setText(name);
    upnSuffix_ = suffix;
    cbebUserLogonNameDomain_->clear();
    cbebUserLogonNameDomain_->addItem(suffix);
    cbebUserLogonNameDomain_->setCurrentIndex(0);
    ebUserLogonNamePreWindows_->setText(cachedText(user_, QStringLiteral("sAMAccountName")));
    ebUserLogonName_->setModified(false);
    ebUserLogonNamePreWindows_->setModified(false);
    accountReadOnly_ = !upnOk || name.isEmpty();

    // A3: the built-in administrator and the key-distribution account.
    wellKnown_ = WellKnownAccount::None;
    if (sidRead) {
        const QVariant first = sidValue.typeId() == QMetaType::QVariantList ? sidValue.toList().value(0) : sidValue;
        if (auto sid = security::Sid::fromBytes(first.toByteArray()))
            wellKnown_ = wellKnownAccountOf(sid->toString());
    }

    // A4: pwdLastSet.
    QVariant pls;
    const bool plsRead = ads::succeeded(user_->Get(QStringLiteral("pwdLastSet"), &pls));
    qint64 pwdLastSet = -1;
    try {
        if (plsRead)
            pwdLastSet = LargeIntegerToInt64(pls);
    } catch (const Exception &) {
    }
    lbLastPassset_->setText(QStringLiteral("Unknown"));
    if (pwdLastSet > 0)
        if (auto local = FileTimeToLocalDateTime(pwdLastSet))
            lbLastPassset_->setText(QLocale().toString(ads::AdsDate(*local).toDateTime(), QLocale::ShortFormat));
    mustChangeLoaded_ = plsRead && pwdLastSet == 0;
    cbUserMustChangePasswordAtNextLogon_->setChecked(mustChangeLoaded_);

    // A5: userAccountControl; the lock-out comes from the computed value, since the stored one
    // never carries it.
    QVariant uacValue;
    uacKnown_ = ads::succeeded(user_->Get(QStringLiteral("userAccountControl"), &uacValue)) && uacValue.isValid();
    uacLoaded_ = uacKnown_ ? static_cast<quint32>(uacValue.toLongLong()) : 0;
    QVariant computed;
    quint32 computedBits = 0;
    if (ads::succeeded(user_->Get(QStringLiteral("msDS-User-Account-Control-Computed"), &computed)))
        computedBits = static_cast<quint32>(computed.toLongLong());
    for (auto &[b, bit] : optionBoxes_)
        b->setChecked(uacLoaded_ & bit);
    lockedLoaded_ = ((uacLoaded_ | computedBits) & uac::Lockout) != 0;
    cbAccountIsLockedOut_->setChecked(lockedLoaded_);
    cbAccountIsLockedOut_->setEnabled(lockedLoaded_);
    QCheckBox *neverExpires = findChild<QCheckBox *>(QStringLiteral("cbPasswordNeverExpires"));
    if (neverExpires->isChecked())
        cbUserMustChangePasswordAtNextLogon_->setChecked(false);

    // A6: user cannot change password.
    QVariant sd;
    const bool sdRead = ads::succeeded(user_->Get(QStringLiteral("ntSecurityDescriptor"), &sd))
        && !sd.toByteArray().isEmpty();
    cbUserCannotChangePassword_->setChecked(sdRead && GetCannotChangePassword(sd.toByteArray()));

    // A7: account expiry.
    QVariant exp;
    std::optional<QDate> expiry;
    if (ads::succeeded(user_->Get(QStringLiteral("accountExpires"), &exp)) && exp.isValid()) {
        try {
            expiry = expiryDateOfFileTime(LargeIntegerToInt64(exp));
        } catch (const Exception &) {
        }
    }
    rbNever_->setChecked(!expiry);
    rbEndOf_->setChecked(bool(expiry));
    dtpAccountExpires_->setDate(expiry ? *expiry : QDate::currentDate().addMonths(1));

    // Enabling: writable set, readability and the well-known accounts.
    const bool uacWritable = writable(QStringLiteral("userAccountControl"));
    const bool optionsOn = uacKnown_ && uacWritable && !accountReadOnly_;
    pnlAccOptions_->setEnabled(uacKnown_ && uacWritable);
    for (auto &[b, bit] : optionBoxes_)
        b->setEnabled(optionsOn && wellKnown_ == WellKnownAccount::None);
    cbUserMustChangePasswordAtNextLogon_->setEnabled(optionsOn && plsRead);
    cbUserCannotChangePassword_->setEnabled(optionsOn && sdRead);
    cbAccountIsLockedOut_->setEnabled(lockedLoaded_ && uacKnown_ && uacWritable && !accountReadOnly_);
    const bool expiryOn = uacWritable && !accountReadOnly_ && wellKnown_ == WellKnownAccount::None
        && writable(QStringLiteral("accountExpires"));
    if (wellKnown_ != WellKnownAccount::None) {
        rbNever_->setChecked(true);
        rbEndOf_->setChecked(false);
    }
    gbAccountExpires_->setEnabled(expiryOn);
    rbNever_->setEnabled(expiryOn);
    rbEndOf_->setEnabled(expiryOn);
    ui::setWritableLook(dtpAccountExpires_, expiryOn && rbEndOf_->isChecked());
    ui::setWritableLook(ebUserLogonName_, writable(QStringLiteral("userPrincipalName")) && !accountReadOnly_);
    ui::setWritableLook(ebUserLogonNamePreWindows_, writable(QStringLiteral("sAMAccountName")) && !accountReadOnly_
                                                        && wellKnown_ != WellKnownAccount::KeyDistribution);
    ui::setWritableLook(ebUserLogonNamePreWindowsDomain_, false);
    cbebUserLogonNameDomain_->setEnabled(false);

    optionsChanged_ = expiryDateChanged_ = expiryModeChanged_ = cannotChangeChanged_ = false;
    hoursRead_ = hoursEditedHeld_ = false;
    workstationsRead_ = workstationsNewHeld_ = false;
    workstationsLoaded_.clear();
    workstationsNew_.clear();
}

// --- logon hours and workstations -------------------------------------------------------------

void TfrmUserProp::btLogonHoursClick()
{
    using namespace userprop;
    if (!user_)
        return;
    if (wellKnown_ != WellKnownAccount::None) {
        ui::Prompt::information(this, QStringLiteral("The Logon Hours attribute cannot be changed on this object."),
                                kAppTitle);
        return;
    }
    if (!hoursRead_) {
        hoursKnown_ = true;
        QVariant v;
        if (ads::failed(user_->GetInfoEx({QStringLiteral("logonHours")}))
            || ads::failed(user_->Get(QStringLiteral("logonHours"), &v)) || !v.isValid()) {
            hoursLoaded_ = allHours(1);
        } else {
            const QVariant first = v.typeId() == QMetaType::QVariantList ? v.toList().value(0) : v;
            if (auto decoded = decodeLogonHours(first.toByteArray(), GetTimeZoneBias())) {
                hoursLoaded_ = *decoded;
            } else {
                // A stored value of the wrong length is not understood: it is shown as
                // "every hour permitted" and left as it is unless the hours are edited.
                hoursKnown_ = false;
                hoursLoaded_ = allHours(1);
            }
        }
        hoursRead_ = true;
    }
    if (!hoursEditedHeld_)
        hoursEdited_ = hoursLoaded_;
    const bool canWrite = writable(QStringLiteral("logonHours"));
    HoursArray edit = hoursEdited_;
    const bool ok = g_hoursEditor ? g_hoursEditor(this, edit, canWrite) : TfrmHours::edit(this, edit, canWrite, hoursKnown_);
    if (ok) {
        hoursEdited_ = edit;
        hoursEditedHeld_ = true;
    }
    if (hoursEdited_ != hoursLoaded_ && canWrite)
        SetApplyEnabled(true);
}

void TfrmUserProp::btLogOnToClick()
{
    if (!user_)
        return;
    if (!workstationsRead_ && !workstationsNewHeld_) {
        user_->GetInfoEx({QStringLiteral("userWorkstations")});
        workstationsLoaded_ = cachedText(user_, QStringLiteral("userWorkstations"));
        workstationsRead_ = true;
    }
    QStringList names = userprop::splitCommaText(workstationsNewHeld_ ? workstationsNew_ : workstationsLoaded_);
    const bool canWrite = writable(QStringLiteral("userWorkstations"));
    const bool ok = g_workstationsEditor ? g_workstationsEditor(this, names, canWrite)
                                         : TfrmLogonWorkstations::edit(this, names, canWrite);
    if (!ok)
        return;
    workstationsNew_ = userprop::joinWorkstations(names);
    workstationsNewHeld_ = true;
    if (workstationsNew_.compare(workstationsLoaded_, Qt::CaseInsensitive) != 0)
        SetApplyEnabled(true);
}

// --- Account: save ------------------------------------------------------------------------------

bool TfrmUserProp::saveAccount()
{
    using namespace userprop;
    if (!loaded_[Account])
        return true;
    QStringList names;
    ads::HRESULT hr = ads::S_OK;
    auto stage = [&](const QString &attr, const QVariant &value) {
        if (ads::failed(hr))
            return;
        names << attr;
        hr = value.isValid() ? user_->Put(attr, value) : user_->PutEx(ads::ADS_PROPERTY_CLEAR, attr, QVariant());
    };
    auto stop = [this](QWidget *field, const QString &text) {
        rebind();
        validationFailed(Account, field, text, int(ui::Icon::Information));
        return false;
    };
    // S1: user logon name.
    if (ebUserLogonName_->isModified()) {
        user_->GetInfoEx({QStringLiteral("userPrincipalName")});
        const QString current = cachedText(user_, QStringLiteral("userPrincipalName"));
        const QString name = ebUserLogonName_->text().trimmed();
        const QString value = name + upnSuffix_;
        if (name.isEmpty()) {
            stage(QStringLiteral("userPrincipalName"), QVariant());
        } else if (IsValueTaken(conn_.searchRoot, QStringLiteral("userPrincipalName"), value, conn_.userName,
                                conn_.password, conn_.authFlags, conn_.useCredentials)) {
            if (value.compare(current, Qt::CaseInsensitive) != 0)
                return stop(ebUserLogonName_,
                            QStringLiteral("The specified user logon name already exists in the enterprise. Specify a "
                                           "new one, either by changing the prefix or selecting a different suffix "
                                           "from the list."));
        } else {
            stage(QStringLiteral("userPrincipalName"), value);
        }
    }
    // S2: pre-Windows 2000 name.
    if (ebUserLogonNamePreWindows_->isModified()) {
        user_->GetInfoEx({QStringLiteral("sAMAccountName")});
        const QString current = cachedText(user_, QStringLiteral("sAMAccountName"));
        const QString value = ebUserLogonNamePreWindows_->text().trimmed();
        if (value.isEmpty())
            return stop(ebUserLogonNamePreWindows_,
                        QStringLiteral("The pre-Windows 2000 account name field cannot be empty. Provide a value and "
                                       "then try again."));
        if (IsValueTaken(conn_.searchRoot, QStringLiteral("sAMAccountName"), value, conn_.userName, conn_.password,
                         conn_.authFlags, conn_.useCredentials)) {
            if (value.compare(current, Qt::CaseInsensitive) != 0)
                return stop(ebUserLogonNamePreWindows_,
                            QStringLiteral("The specified pre-Windows 2000 account name already exists in the "
                                           "enterprise. Specify a new one, and then try again."));
        } else {
            stage(QStringLiteral("sAMAccountName"), value);
        }
    }
    // S3: logon workstations.
    if (workstationsNewHeld_ && workstationsNew_.compare(workstationsLoaded_, Qt::CaseInsensitive) != 0)
        stage(QStringLiteral("userWorkstations"),
              workstationsNew_.trimmed().isEmpty() ? QVariant() : QVariant(workstationsNew_.trimmed()));
    // S4: logon hours.
    if (hoursEditedHeld_ && hoursEdited_ != hoursLoaded_)
        stage(QStringLiteral("logonHours"), encodeLogonHours(hoursEdited_, GetTimeZoneBias()));
    // S5: account options.
    if (optionsChanged_) {
        QCheckBox *neverExpires = findChild<QCheckBox *>(QStringLiteral("cbPasswordNeverExpires"));
        if (cbUserMustChangePasswordAtNextLogon_->isChecked() && cbUserCannotChangePassword_->isChecked()) {
            cbUserCannotChangePassword_->setChecked(false);
            return stop(nullptr, QStringLiteral("You cannot select both 'User must change password at next logon' and "
                                                "'User cannot change password' for the same user."));
        }
        if (cbUserMustChangePasswordAtNextLogon_->isChecked() && neverExpires->isChecked()) {
            cbUserMustChangePasswordAtNextLogon_->setChecked(false);
            return stop(nullptr, QStringLiteral("You have selected 'Password never expires'. The user will not be "
                                                "required to change the password at next logon."));
        }
        if (cbUserMustChangePasswordAtNextLogon_->isChecked() && !mustChangeLoaded_)
            stage(QStringLiteral("pwdLastSet"), QVariant::fromValue<qint64>(0));
        else if (!cbUserMustChangePasswordAtNextLogon_->isChecked() && mustChangeLoaded_)
            // Unchecking takes the demand back: -1 sets the password's date to now.
            stage(QStringLiteral("pwdLastSet"), QVariant::fromValue<qint64>(-1));
        if (uacKnown_) {
            quint32 checked = 0;
            for (auto &[b, bit] : optionBoxes_)
                if (b->isChecked())
                    checked |= bit;
            const quint32 value = composeUserAccountControl(uacLoaded_, checked);
            if (value != (uacLoaded_ & ~uac::kComputedBits))
                stage(QStringLiteral("userAccountControl"), static_cast<int>(value));
            if (cbAccountIsLockedOut_->isEnabled() && lockedLoaded_ && !cbAccountIsLockedOut_->isChecked())
                stage(QStringLiteral("lockoutTime"), QVariant::fromValue<qint64>(0));
        }
    }
    // S7: account expiry, in the same modify.
    if (expiryDateChanged_ || expiryModeChanged_) {
        const qint64 value = rbNever_->isChecked() ? 0 : expiryFileTimeForDate(dtpAccountExpires_->date());
        stage(QStringLiteral("accountExpires"), QVariant::fromValue<qint64>(value));
    }
    if (ads::failed(hr)) {
        refused(Account, names, hr);
        return false;
    }
    if (!names.isEmpty() && !writeStep(Account, names))
        return false;
    // S6: user cannot change password, through the descriptor in canonical order.
    if (cannotChangeChanged_) {
        try {
            if (!SetCannotChangePassword(user_, cbUserCannotChangePassword_->isChecked()))
                throw EADSIException(QStringLiteral("The security descriptor of the user could not be read."));
            committed_ = true;
        } catch (const Exception &e) {
            rebind();
            pcUserProp_->setCurrentIndex(Account);
            ui::Prompt::error(this,
                              QStringLiteral("The changes on the \"Account\" tab were not saved (ntSecurityDescriptor):\r\n")
                                  + e.Message(),
                              kAppTitle);
            return false;
        }
    }
    // S8: what was written is the loaded state now.
    ebUserLogonName_->setModified(false);
    ebUserLogonNamePreWindows_->setModified(false);
    if (workstationsNewHeld_) {
        workstationsLoaded_ = workstationsNew_;
        workstationsNewHeld_ = false;
    }
    if (hoursEditedHeld_) {
        hoursLoaded_ = hoursEdited_;
        hoursKnown_ = true;
        hoursEditedHeld_ = false;
    }
    optionsChanged_ = expiryDateChanged_ = expiryModeChanged_ = cannotChangeChanged_ = false;
    // The stored values changed (unlock, must-change, options): read them back.
    if (!names.isEmpty() || committed_) {
        const QScopedValueRollback guard(suppress_, true);
        try {
            loadAccount();
        } catch (const Exception &) {
        }
    }
    return true;
}

// --- Member Of ------------------------------------------------------------------------------------


QWidget *TfrmUserProp::buildMemberOf()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    lvMemberOf_ = new QTreeWidget(page);
    lvMemberOf_->setObjectName(QStringLiteral("lvMemberOf"));
    v->addWidget(ui::buddyLabel(QStringLiteral("Member of:"), lvMemberOf_, page));
    lvMemberOf_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Active Directory Folder"), QStringLiteral("DN"),
                                  QStringLiteral("Token")});
    lvMemberOf_->setColumnHidden(2, true);
    lvMemberOf_->setColumnHidden(3, true);
    lvMemberOf_->setRootIsDecorated(false);
    v->addWidget(lvMemberOf_, 1);
    auto *bl = new QHBoxLayout;
    btAddGroup_ = new QPushButton(QStringLiteral("Add..."), page);
    btAddGroup_->setObjectName(QStringLiteral("btAddGroup"));
    btRemoveGroup_ = new QPushButton(QStringLiteral("Remove"), page);
    btRemoveGroup_->setObjectName(QStringLiteral("btRemoveGroup"));
    bl->addWidget(btAddGroup_);
    bl->addWidget(btRemoveGroup_);
    bl->addStretch(1);
    v->addLayout(bl);
    auto *pl = new QHBoxLayout;
    pl->addWidget(new QLabel(QStringLiteral("Primary group:"), page));
    lbPrimaryGroupDisplayName_ = new QLabel(page);
    lbPrimaryGroupDisplayName_->setObjectName(QStringLiteral("lbPrimaryGroupDisplayName"));
    lbPrimaryGroupDN_ = new QLabel(page);
    lbPrimaryGroupDN_->setObjectName(QStringLiteral("lbPrimaryGroupDN"));
    lbPrimaryGroupDN_->hide();
    pl->addWidget(lbPrimaryGroupDisplayName_, 1);
    btSetPrimaryGroup_ = new QPushButton(QStringLiteral("Set Primary Group"), page);
    btSetPrimaryGroup_->setObjectName(QStringLiteral("btSetPrimaryGroup"));
    pl->addWidget(btSetPrimaryGroup_);
    v->addLayout(pl);
    connect(btAddGroup_, &QPushButton::clicked, this, &TfrmUserProp::btAddGroupClick);
    connect(btRemoveGroup_, &QPushButton::clicked, this, &TfrmUserProp::btRemoveGroupClick);
    connect(btSetPrimaryGroup_, &QPushButton::clicked, this, &TfrmUserProp::btSetPrimaryGroupClick);
    connect(lvMemberOf_, &QTreeWidget::itemSelectionChanged, this, &TfrmUserProp::lvMemberOfSelect);
    return page;
}

void TfrmUserProp::addMemberRow(const userprop::MemberOfRow &row)
{
    auto *item = new QTreeWidgetItem(lvMemberOf_, {row.name, row.folder, row.dn, QString::number(row.token)});
    if (!row.direct) {
        QFont f = item->font(0);
        f.setItalic(true);
        item->setFont(0, f);
        item->setFont(1, f);
        const QString hint = QStringLiteral("Member through \"%1\"").arg(row.through);
        item->setToolTip(0, hint);
        item->setToolTip(1, hint);
    }
    if (row.token == primaryGroupId_ && row.token > 0) {
        lbPrimaryGroupDisplayName_->setText(row.name);
        lbPrimaryGroupDN_->setText(row.dn);
    }
}

void TfrmUserProp::loadMemberOf()
{
    lvMemberOf_->clear();
    lbPrimaryGroupDisplayName_->clear();
    lbPrimaryGroupDN_->clear();
    memberRows_ = userprop::loadMemberOf(user_, conn_, &primaryGroupId_);
    for (const auto &r : memberRows_)
        addMemberRow(r);
    toAdd_.clear();
    toRemove_.clear();
    membershipChanged_ = false;
    primaryModified_ = false;
    btAddGroup_->setEnabled(writable(QStringLiteral("primaryGroupID")));
    btRemoveGroup_->setEnabled(false);
    btSetPrimaryGroup_->setEnabled(false);
}

void TfrmUserProp::lvMemberOfSelect()
{
    const auto sel = lvMemberOf_->selectedItems();
    const bool canWrite = writable(QStringLiteral("primaryGroupID"));
    btRemoveGroup_->setEnabled(!sel.isEmpty() && canWrite);
    const int token = sel.isEmpty() ? 0 : sel.first()->text(3).toInt();
    btSetPrimaryGroup_->setEnabled(!sel.isEmpty() && canWrite && token > 0 && token != primaryGroupId_);
}

void TfrmUserProp::btSetPrimaryGroupClick()
{
    const auto sel = lvMemberOf_->selectedItems();
    if (sel.isEmpty())
        return;
    primaryGroupId_ = sel.first()->text(3).toInt();
    lbPrimaryGroupDisplayName_->setText(sel.first()->text(0));
    lbPrimaryGroupDN_->setText(sel.first()->text(2));
    primaryModified_ = true;
    btSetPrimaryGroup_->setEnabled(false);
    SetApplyEnabled(true);
}

void TfrmUserProp::btRemoveGroupClick()
{
    const auto sel = lvMemberOf_->selectedItems();
    if (sel.isEmpty())
        return;
    QTreeWidgetItem *item = sel.first();
    const QString dn = item->text(2);
    if (!ui::Prompt::question(this, QStringLiteral("Do you want to remove \"%1\" from the selected group(s)?").arg(displayName_),
                              kAppTitle, ui::Icon::Warning, ui::Button::No))
        return;
    if (item->text(3).toInt() == primaryGroupId_) {
        ui::Prompt::message(this,
                            QStringLiteral("The primary group cannot be removed. Set another group as primary if you "
                                           "want to remove this one."),
                            kAppTitle, ui::Icon::Warning, ui::Button::Ok, 0, 80);
        btRemoveGroup_->setEnabled(false);
        return;
    }
    // A group reached only through another group cannot be left by removing it here.
    for (const auto &r : memberRows_)
        if (!r.direct && r.dn.compare(dn, Qt::CaseInsensitive) == 0 && !toAdd_.contains(dn, Qt::CaseInsensitive)) {
            ui::Prompt::message(this,
                                QStringLiteral("\"%1\" is a member of \"%2\" only through the group \"%3\". "
                                               "Remove it from \"%3\" instead.")
                                    .arg(displayName_, r.name, r.through),
                                kAppTitle, ui::Icon::Warning, ui::Button::Ok, 0, 80);
            return;
        }
    if (!toRemove_.contains(dn, Qt::CaseInsensitive))
        toRemove_ << dn;
    toAdd_.removeIf([&](const QString &d) { return d.compare(dn, Qt::CaseInsensitive) == 0; });
    delete item;
    membershipChanged_ = true;
    SetApplyEnabled(true);
}

void TfrmUserProp::addGroups(const QStringList &dns)
{
    for (const QString &dn : dns) {
        QString name, folder;
        int token = 0;
        try {
            GetGroupInfo(conn_.pathPrefix, dn, name, token, folder);
        } catch (const Exception &) {
            name = ads::firstRdn(dn).section(QLatin1Char('='), 1);
        }
        if (!toAdd_.contains(dn, Qt::CaseInsensitive))
            toAdd_ << dn;
        userprop::MemberOfRow r;
        r.dn = dn;
        r.name = name;
        r.folder = folder;
        r.token = token;
        memberRows_.push_back(r);
        addMemberRow(r);
    }
    if (!dns.isEmpty()) {
        membershipChanged_ = true;
        SetApplyEnabled(true);
    }
}

void TfrmUserProp::btAddGroupClick()
{
    QStringList shown;
    for (int i = 0; i < lvMemberOf_->topLevelItemCount(); ++i)
        shown << lvMemberOf_->topLevelItem(i)->text(2);
    QStringList chosen;
    const bool ok = g_groupPicker ? g_groupPicker(this, conn_, shown, displayName_, chosen)
                                  : TfrmSelectGroups::pick(this, conn_, shown, displayName_, chosen);
    if (ok)
        addGroups(chosen);
}

bool TfrmUserProp::saveMemberOf()
{
    if (!loaded_[MemberOf])
        return true;
    if (primaryModified_) {
        ads::HRESULT hr = user_->Put(QStringLiteral("primaryGroupID"), primaryGroupId_ > 0 ? primaryGroupId_ : 513);
        if (ads::failed(hr)) {
            refused(MemberOf, {QStringLiteral("primaryGroupID")}, hr);
            return false;
        }
        if (!writeStep(MemberOf, {QStringLiteral("primaryGroupID")}))
            return false;
        primaryModified_ = false;
    }
    if (!membershipChanged_)
        return true;
    // Removals first, so that a group both removed and chosen again ends up a member.
    for (auto *list : {&toRemove_, &toAdd_}) {
        const bool add = list == &toAdd_;
        while (!list->isEmpty()) {
            const QString group = list->first();
            try {
                if (add ? AddGroupMember(conn_.pathPrefix + ads::escapePathDn(group), dn_)
                        : RemoveGroupMember(conn_.pathPrefix + ads::escapePathDn(group), dn_))
                    committed_ = true;
            } catch (const Exception &e) {
                pcUserProp_->setCurrentIndex(MemberOf);
                ui::Prompt::error(this,
                                  QStringLiteral("The changes on the \"Member Of\" tab were not saved (member of %1):\r\n%2")
                                      .arg(group, e.Message()),
                                  kAppTitle);
                return false;
            }
            list->removeFirst();
        }
    }
    membershipChanged_ = false;
    return true;
}
