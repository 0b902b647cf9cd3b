#include "groups/unGroupPages.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "groups/unGroupRights.h"
#include "userprop/unSecurityLogic.h"
#include "query/unFind.h"
#include "ui/prompt.h"
#include "ui/texts.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>

namespace groups {

namespace {

UserPropertiesOpener &openerSlot()
{
    static UserPropertiesOpener opener;
    return opener;
}

QLabel *captionLabel(const QString &text, QWidget *parent)
{
    return new QLabel(text, parent);
}

QLabel *valueLabel(const char *name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

const QString kAppTitle = QStringLiteral("Arvendel");

} // namespace

QString CachedText(const ads::ObjectPtr &object, const QString &name)
{
    ads::PropertyEntry e;
    if (!object || ads::failed(object->GetPropertyItem(name, &e)) || e.values.isEmpty())
        return {};
    return e.values.first().toString();
}

void setUserPropertiesOpener(UserPropertiesOpener opener) { openerSlot() = std::move(opener); }
const UserPropertiesOpener &userPropertiesOpener() { return openerSlot(); }

// --- Managed By ------------------------------------------------------------------------------

TManagedByPage::TManagedByPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsManagedBy"));
    ebManagerName = new QLineEdit(this);
    ebManagerName->setObjectName(QStringLiteral("ebManagerName"));
    ebManagerName->setReadOnly(true);
    btChangeManager = new QPushButton(QStringLiteral("Change..."), this);
    btChangeManager->setObjectName(QStringLiteral("btChangeManager"));
    btManagerProperties = new QPushButton(QStringLiteral("Properties"), this);
    btManagerProperties->setObjectName(QStringLiteral("btManagerProperties"));
    btClearManager = new QPushButton(QStringLiteral("Clear"), this);
    btClearManager->setObjectName(QStringLiteral("btClearManager"));
    cbManagerCanUpdate = new QCheckBox(QStringLiteral("Manager can update membership list"), this);
    cbManagerCanUpdate->setObjectName(QStringLiteral("cbManagerCanUpdate"));
    cbManagerCanUpdate->setEnabled(false);
    lbManagerOffice = valueLabel("lbManagerOffice", this);
    memoMenagerStreet = new QPlainTextEdit(this);
    memoMenagerStreet->setObjectName(QStringLiteral("memoMenagerStreet"));
    memoMenagerStreet->setReadOnly(true);
    memoMenagerStreet->setMaximumHeight(60);
    lbManagerCity = valueLabel("lbManagerCity", this);
    lbManagerState = valueLabel("lbManagerState", this);
    lbManagerCountryRegion = valueLabel("lbManagerCountryRegion", this);
    lbManagerPhoneNumber = valueLabel("lbManagerPhoneNumber", this);
    lbManagerFaxN = valueLabel("lbManagerFaxN", this);
    lbManagedByCN = valueLabel("lbManagedByCN", this);
    lbManagedByCN->hide();

    auto *top = new QHBoxLayout;
    QLabel *lbName = captionLabel(QStringLiteral("Name:"), this);
    lbName->setBuddy(ebManagerName);
    top->addWidget(lbName);
    top->addWidget(ebManagerName, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btChangeManager);
    buttons->addWidget(btManagerProperties);
    buttons->addWidget(btClearManager);
    buttons->addStretch();
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Office:"), lbManagerOffice);
    form->addRow(QStringLiteral("Street:"), memoMenagerStreet);
    form->addRow(QStringLiteral("City:"), lbManagerCity);
    form->addRow(QStringLiteral("State/province:"), lbManagerState);
    form->addRow(QStringLiteral("Country/region:"), lbManagerCountryRegion);
    form->addRow(QStringLiteral("Telephone number:"), lbManagerPhoneNumber);
    form->addRow(QStringLiteral("Fax number:"), lbManagerFaxN);
    auto *v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addLayout(buttons);
    v->addWidget(cbManagerCanUpdate);
    v->addLayout(form);
    v->addWidget(lbManagedByCN);
    v->addStretch();

    connect(btChangeManager, &QPushButton::clicked, this, &TManagedByPage::btChangeClick);
    connect(btClearManager, &QPushButton::clicked, this, &TManagedByPage::btClearClick);
    connect(btManagerProperties, &QPushButton::clicked, this, &TManagedByPage::btPropertiesClick);
    clearFields();
}

void TManagedByPage::clearFields()
{
    ebManagerName->clear();
    ui::setHint(ebManagerName, QString());
    for (QLabel *l : {lbManagerOffice, lbManagerCity, lbManagerState, lbManagerCountryRegion, lbManagerPhoneNumber,
                      lbManagerFaxN, lbManagedByCN})
        l->clear();
    memoMenagerStreet->clear();
    cbManagerCanUpdate->setChecked(false);
    btManagerProperties->setEnabled(false);
    btClearManager->setEnabled(false);
}

void TManagedByPage::showManager(const QString &dn)
{
    m_current = dn;
    ebManagerName->setToolTip(dn);
    btManagerProperties->setEnabled(bool(userPropertiesOpener()));
    btClearManager->setEnabled(m_canWrite);
    ads::ObjectPtr m;
    const ads::HRESULT h = OpenWithContext(dn, &m);
    if (ads::failed(h)) {
        btManagerProperties->setEnabled(false);
        btClearManager->setEnabled(false);
        CheckADSIResult(h);
    }
    m->GetInfoEx({QStringLiteral("cn"), QStringLiteral("canonicalName"), QStringLiteral("physicalDeliveryOfficeName"),
                  QStringLiteral("streetAddress"), QStringLiteral("l"), QStringLiteral("st"), QStringLiteral("co"),
                  QStringLiteral("telephoneNumber"), QStringLiteral("facsimileTelephoneNumber")});
    ebManagerName->setText(CachedText(m, m_showCanonical ? QStringLiteral("canonicalName") : QStringLiteral("cn")));
    lbManagedByCN->setText(CachedText(m, QStringLiteral("cn")));
    lbManagerOffice->setText(CachedText(m, QStringLiteral("physicalDeliveryOfficeName")));
    memoMenagerStreet->setPlainText(CachedText(m, QStringLiteral("streetAddress")));
    lbManagerCity->setText(CachedText(m, QStringLiteral("l")));
    lbManagerState->setText(CachedText(m, QStringLiteral("st")));
    lbManagerCountryRegion->setText(CachedText(m, QStringLiteral("co")));
    lbManagerPhoneNumber->setText(CachedText(m, QStringLiteral("telephoneNumber")));
    lbManagerFaxN->setText(CachedText(m, QStringLiteral("facsimileTelephoneNumber")));
    cbManagerCanUpdate->setChecked(ManagerCanUpdateMembership(m_groupDn, dn));
}

void TManagedByPage::load(const ads::ObjectPtr &group, const QString &groupDn, bool canWrite)
{
    m_groupDn = groupDn;
    m_canWrite = canWrite;
    clearFields();
    m_loaded.clear();
    m_current.clear();
    m_modified = false;
    btChangeManager->setEnabled(canWrite);
    group->GetInfoEx({QStringLiteral("managedBy")});
    const QString dn = CachedText(group, QStringLiteral("managedBy"));
    if (dn.isEmpty())
        return;
    m_loaded = dn;
    showManager(dn);
}

void TManagedByPage::btChangeClick()
{
    query::FindRequest req;
    req.scope = query::FindScope::Users;
    req.showLastLogon = false;
    query::FindResult found;
    if (!query::FindUser(this, req, &found) || found.distinguishedName.isEmpty())
        return;
    if (found.distinguishedName.compare(m_current, Qt::CaseInsensitive) == 0)
        return; // the same manager again changes nothing
    try {
        showManager(found.distinguishedName);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
    }
    m_modified = true;
    emit changed();
}

void TManagedByPage::btClearClick()
{
    clearFields();
    m_current.clear();
    m_modified = true;
    emit changed();
}

void TManagedByPage::btPropertiesClick()
{
    if (!m_current.isEmpty() && userPropertiesOpener()) {
        try {
            userPropertiesOpener()(window(), m_current);
        } catch (const Exception &e) {
            ui::Prompt::error(this, e.Message(), kAppTitle);
        }
    }
}

// --- Securty ---------------------------------------------------------------------------------

namespace {
AdvancedSecurityOpener &advancedOpenerSlot()
{
    static AdvancedSecurityOpener opener;
    return opener;
}
} // namespace

void setAdvancedSecurityOpener(AdvancedSecurityOpener opener) { advancedOpenerSlot() = std::move(opener); }
const AdvancedSecurityOpener &advancedSecurityOpener() { return advancedOpenerSlot(); }

TSecurityPage::TSecurityPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsSecurity"));
    lbNoAccess = new QLabel(QStringLiteral("You do not have access to the Security Descriptor"), this);
    lbNoAccess->setObjectName(QStringLiteral("lbNoAccess"));
    lbNoAccess->setStyleSheet(QStringLiteral("color: red"));
    lbNoAccess->hide();
    lbInheritance = new QLabel(this);
    lbInheritance->setObjectName(QStringLiteral("lbInheritance"));
    lbInheritance->setWordWrap(true);
    lvSecurity = new QTreeWidget(this);
    lvSecurity->setObjectName(QStringLiteral("lvSecurity"));
    lvSecurity->setHeaderLabels({QStringLiteral("Group or User names")});
    lvSecurity->setAccessibleName(QStringLiteral("Group or User names"));
    lvSecurity->setRootIsDecorated(false);
    lbPermissions = new QLabel(this);
    lbPermissions->setObjectName(QStringLiteral("lbPermissions"));
    lvPermitions = new QTreeWidget(this);
    lvPermitions->setObjectName(QStringLiteral("lvPermitions"));
    lvPermitions->setHeaderLabels({QStringLiteral("Permissions"), QStringLiteral("Allow"), QStringLiteral("Deny")});
    lvPermitions->setAccessibleName(QStringLiteral("Permissions"));
    lvPermitions->setRootIsDecorated(false);
    btAdvanced = new QPushButton(QStringLiteral("Advanced..."), this);
    btAdvanced->setObjectName(QStringLiteral("btAdvanced"));
    btAdvanced->setEnabled(false);
    auto *v = new QVBoxLayout(this);
    v->addWidget(lbNoAccess);
    v->addWidget(lvSecurity, 1);
    v->addWidget(lbPermissions);
    v->addWidget(lvPermitions, 1);
    v->addWidget(lbInheritance);
    v->addWidget(btAdvanced, 0, Qt::AlignRight);
    connect(lvSecurity, &QTreeWidget::currentItemChanged, this, [this] { lvSecuritySelect(); });
    connect(btAdvanced, &QPushButton::clicked, this, &TSecurityPage::btAdvancedClick);
}

void TSecurityPage::load(const ads::ObjectPtr &group)
{
    m_group = group;
    m_trustees.clear();
    lvSecurity->clear();
    lvPermitions->clear();
    lbPermissions->clear();
    m_sd = ads::SecurityDescriptor();
    m_readable = group && ads::succeeded(ads::GetSecurityDescriptor(group, QStringLiteral("ntSecurityDescriptor"), &m_sd));
    lbNoAccess->setVisible(!m_readable);
    lbInheritance->setVisible(m_readable);
    btAdvanced->setEnabled(m_readable && bool(advancedSecurityOpener()));
    if (!m_readable)
        return;
    lbInheritance->setText(
        QStringLiteral("Allow inheritable permissions from the parent to propogate to this object and all child objects ")
        + ((m_sd.Control & 0x1000) ? QStringLiteral("is disabled.") : QStringLiteral("is enabled.")));
    // The same trustees, names and masks as the user dialog's Security tab; the group's rows
    // read only the access masks.
    m_trustees = userprop::SummarizeTrustees(m_sd.DiscretionaryAcl.entries);
    for (userprop::TrusteeSummary &t : m_trustees)
        t.caption = userprop::TrusteeDisplayText(t.trustee, userprop::LookupTrusteeName);
    std::sort(m_trustees.begin(), m_trustees.end(), [](const auto &a, const auto &b) {
        return QString::compare(a.caption, b.caption, Qt::CaseInsensitive) < 0;
    });
    for (const userprop::TrusteeSummary &t : m_trustees)
        new QTreeWidgetItem(lvSecurity, {t.caption});
    if (lvSecurity->topLevelItemCount() > 0)
        lvSecurity->setCurrentItem(lvSecurity->topLevelItem(0));
}

void TSecurityPage::lvSecuritySelect()
{
    lvPermitions->clear();
    const int i = lvSecurity->currentItem() ? lvSecurity->indexOfTopLevelItem(lvSecurity->currentItem()) : -1;
    if (i < 0 || i >= m_trustees.size())
        return;
    const userprop::TrusteeSummary &t = m_trustees.at(i);
    lbPermissions->setText(QStringLiteral("Permissions for %1").arg(t.caption));
    const quint32 a = PermissionMaskForRows(t.allow), d = PermissionMaskForRows(t.deny);
    for (const TPermissionRow &r : PermissionRows()) {
        auto *item = new QTreeWidgetItem(lvPermitions, {r.name});
        item->setCheckState(1, (a & r.bits) == r.bits ? Qt::Checked : Qt::Unchecked);
        item->setCheckState(2, (d & r.bits) == r.bits ? Qt::Checked : Qt::Unchecked);
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
}

void TSecurityPage::btAdvancedClick()
{
    if (m_readable && advancedSecurityOpener())
        advancedSecurityOpener()(window(), m_group, m_sd);
}

} // namespace groups
