#include "groups/unGroupPages.h"
#include "ui/unMVADSI.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "groups/unGroupRights.h"
#include "userprop/unSecurityLogic.h"
#include "platform/adsi/adsvalue.h"
#include "platform/office/office.h"
#include "platform/office/workbook.h"
#include "platform/security/sid.h"
#include "query/unFind.h"
#include "ui/prompt.h"
#include "ui/texts.h"

#include <QDateTime>
#include <QDir>
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

QString hexUpper(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex()).toUpper();
}

} // namespace

QVariant FirstValue(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QVariant() : l.first();
    }
    return v;
}

QString CachedText(const ads::ObjectPtr &object, const QString &name)
{
    ads::PropertyEntry e;
    if (!object || ads::failed(object->GetPropertyItem(name, &e)) || e.values.isEmpty())
        return {};
    return e.values.first().toString();
}

QString UtcValueText(const QVariant &value)
{
    const QVariant v = FirstValue(value);
    if (!v.canConvert<ads::AdsDate>() || v.typeId() != qMetaTypeId<ads::AdsDate>())
        return {};
    const ads::AdsDate d = v.value<ads::AdsDate>();
    if (d.isZero())
        return {};
    QDateTime utc = d.toDateTime(Qt::UTC);
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
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
    top->addWidget(captionLabel(QStringLiteral("Name:"), this));
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
    lvSecurity->setRootIsDecorated(false);
    lbPermissions = new QLabel(this);
    lbPermissions->setObjectName(QStringLiteral("lbPermissions"));
    lvPermitions = new QTreeWidget(this);
    lvPermitions->setObjectName(QStringLiteral("lvPermitions"));
    lvPermitions->setHeaderLabels({QStringLiteral("Permissions"), QStringLiteral("Allow"), QStringLiteral("Deny")});
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

// --- RAW Data --------------------------------------------------------------------------------

QString AdsTypeName(int type)
{
    static const char *const names[] = {
        "Invalid type", "DN String", "Case Exact String", "Case Ignore String", "Printable string", "Numeric String",
        "Boolean", "Integer", "Octet string", "UTC time", "Large integer", "Provider specific", "Object class",
        "Case ignore list", "Octet list", "Path", "Postal address", "Timestamp", "Backlink", "Typed name", "Hold",
        "Net address", "Replica pointer", "Fax number", "Email", "NT security descriptor", "Unknown",
        "DN with binary", "DN with string"};
    return type >= 0 && type <= 28 ? QString::fromLatin1(names[type]) : QString::fromLatin1(names[26]);
}

QString RawValueText(const QString &name, int type, const QVariant &value)
{
    switch (type) {
    case ads::ADSTYPE_DN_STRING:
    case ads::ADSTYPE_CASE_EXACT_STRING:
    case ads::ADSTYPE_CASE_IGNORE_STRING:
    case ads::ADSTYPE_PRINTABLE_STRING:
    case ads::ADSTYPE_NUMERIC_STRING:
    case ads::ADSTYPE_OBJECT_CLASS:
        return value.toString();
    case ads::ADSTYPE_BOOLEAN:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case ads::ADSTYPE_INTEGER:
    case ads::ADSTYPE_LARGE_INTEGER:
        return QString::number(value.toLongLong());
    case ads::ADSTYPE_UTC_TIME:
        return UtcValueText(value);
    case ads::ADSTYPE_OCTET_STRING: {
        const QByteArray b = value.toByteArray();
        if (name.compare(QLatin1String("objectGUID"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("GUID"), Qt::CaseInsensitive) == 0) {
            if (value.typeId() == QMetaType::QString) // the layer may hand GUIDs over as text
                return value.toString().remove(QLatin1Char('{')).remove(QLatin1Char('}')).remove(QLatin1Char('-')).toUpper();
            return hexUpper(b);
        }
        if (name.compare(QLatin1String("objectSID"), Qt::CaseInsensitive) == 0) {
            if (const auto sid = security::Sid::fromBytes(b))
                return sid->toString();
        }
        QString text = hexUpper(b.left(65));
        if (b.size() > 65)
            text += QStringLiteral("..etc... (actual size = %1 bytes)").arg(b.size());
        return text;
    }
    default:
        return QStringLiteral("<Unsupported here>");
    }
}

TRawDataPage::TRawDataPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsRAW"));
    lvRAW = new QTreeWidget(this);
    lvRAW->setObjectName(QStringLiteral("lvRAW"));
    // The hidden fourth column: "-1" for a row of several values, else "0".
    lvRAW->setHeaderLabels({QStringLiteral("ldapName"), QStringLiteral("Property Type"), QStringLiteral("Property Value"),
                            QStringLiteral("Multi")});
    lvRAW->setColumnHidden(3, true);
    lvRAW->setRootIsDecorated(false);
    connect(lvRAW, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { lvRAWDblClick(item); });
    lvRAW->setSortingEnabled(false);
    lbTotal = new QLabel(this);
    lbTotal->setObjectName(QStringLiteral("lbRawTotal"));
    sbRawToExcel = new QToolButton(this);
    sbRawToExcel->setObjectName(QStringLiteral("sbRawToExcel"));
    sbRawToExcel->setText(QStringLiteral("Excel"));
    sbRawToExcel->setVisible(OfficeAppAvailable(QStringLiteral("Excel.Application")));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lbTotal, 1);
    bottom->addWidget(sbRawToExcel);
    auto *v = new QVBoxLayout(this);
    v->addWidget(lvRAW, 1);
    v->addLayout(bottom);
    connect(sbRawToExcel, &QToolButton::clicked, this, &TRawDataPage::sbRawToExcelClick);
    lvRAW->header()->setSectionsClickable(true);
    connect(lvRAW->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        const int n = column + 1;
        m_sortKey = column == 0 ? (m_sortKey == 10 ? -10 : 10) : (m_sortKey == n ? -n : n);
        lvRAW->sortItems(column, m_sortKey < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    });
}

void TRawDataPage::load(const ads::ObjectPtr &group, const QString &caption)
{
    m_caption = caption;
    lvRAW->clear();
    if (!group)
        return;
    CheckADSIResult(group->GetInfo());
    const int count = group->PropertyCount();
    for (int i = 0; i < count; ++i) {
        ads::PropertyEntry e;
        if (ads::failed(group->Item(i, &e)))
            continue;
        QStringList texts;
        for (const QVariant &v : e.values)
            texts << RawValueText(e.name, e.type, v);
        auto *item = new QTreeWidgetItem(lvRAW, {e.name, AdsTypeName(e.type), texts.join(QStringLiteral(" # ")),
                                                 e.values.size() > 1 ? QStringLiteral("-1") : QStringLiteral("0")});
        item->setData(0, Qt::UserRole, e.values.size() > 1);
    }
    lbTotal->setText(QStringLiteral("Total items:") + QString::number(lvRAW->topLevelItemCount()));
}

void TRawDataPage::lvRAWDblClick(QTreeWidgetItem *item)
{
    if (!item)
        return;
    ui::TfrmMVADSI viewer(item->text(0), item->text(2), item->text(3) == QLatin1String("-1"), this);
    viewer.exec();
}

QString ListToWorkbook(QWidget *parent, const QString &caption, const QTreeWidget *list, const QString &fileBase)
{
    const QString path = QDir(office::privateOutputFolder()).filePath(fileBase + QStringLiteral(".xlsx"));
    office::WorkbookWriter wb(path, false);
    QString error;
    if (!wb.addSheet(fileBase, &error)) {
        ui::Prompt::error(parent, QStringLiteral("Microsoft Office Excel is unavailable!"), kAppTitle);
        return {};
    }
    const office::CellStyle bold = office::CellStyle::boldArial10();
    QList<int> columns; // hidden columns hold the list's bookkeeping, not what it shows
    for (int c = 0; c < list->columnCount(); ++c)
        if (!list->isColumnHidden(c))
            columns << c;
    wb.writeString(0, 0, caption, bold);
    for (int i = 0; i < columns.size(); ++i)
        wb.writeString(1, i, list->headerItem()->text(columns[i]), bold);
    const int n = list->topLevelItemCount();
    for (int r = 0; r < n; ++r)
        for (int i = 0; i < columns.size(); ++i)
            wb.writeString(r + 2, i, list->topLevelItem(r)->text(columns[i]));
    wb.writeString(n + 4, 0, CreatedWithText(), bold);
    if (!wb.close(&error)) {
        ui::Prompt::error(parent, error, kAppTitle);
        return {};
    }
    if (!office::openWithDesktop(path))
        ui::Prompt::error(parent, QStringLiteral("Microsoft Office Excel is unavailable!"), kAppTitle);
    return path;
}

void TRawDataPage::sbRawToExcelClick()
{
    const QString path = ListToWorkbook(this, m_caption, lvRAW, QStringLiteral("RAW Data"));
    if (!path.isEmpty())
        m_lastWorkbook = path;
}

} // namespace groups
