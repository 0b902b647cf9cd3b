// The Exchange General and Exchange Advanced tabs of the user property dialog, shown for
// users with a mailbox, and the mail dialogs their buttons open.
#include "userprop/unUserProp.h"

#include "core/unSearch.h"
#include "core/unValues.h"
#include "ui/prompt.h"
#include "ui/writable.h"
#include "ui/windowlayout.h"
#include "userprop/unExchangeDialogs.h"
#include "userprop/unSecurityViews.h"
#include "userprop/unUserPropTabs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

using userprop::tabs::cachedText;

namespace {

std::function<void(QDialog *)> g_mailDialogHook;

} // namespace

QWidget *TfrmUserProp::buildExchangeGeneral()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    ebMailboxstore_ = new QLineEdit(page);
    ebMailboxstore_->setObjectName(QStringLiteral("ebMailboxstore"));
    ebMailboxstore_->setReadOnly(true);
    g->addWidget(ui::buddyLabel(QStringLiteral("Mailbox store:"), ebMailboxstore_, page), row, 0);
    g->addWidget(ebMailboxstore_, row++, 1, 1, 2);
    ebExchangeAlias_ = coupledEdit(ExchangeGeneral, "ebExchangeAlias", "mailNickname");
    g->addWidget(ui::buddyLabel(QStringLiteral("Alias:"), ebExchangeAlias_, page), row, 0);
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
    g->addWidget(ui::buddyLabel(QStringLiteral("Simple display name:"), ebSimpleDisplayName_, page), row, 0);
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
