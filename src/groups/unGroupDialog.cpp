#include "groups/unGroupDialog.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "main/unCatalogue.h"
#include "options/unOptions.h"
#include "platform/security/sid.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/writable.h"
#include "ui/windowlayout.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace groups {

namespace {

const QString kAppTitle = QStringLiteral("Arvendel");

} // namespace

QLabel *named(QLabel *l, const char *name)
{
    l->setObjectName(QLatin1String(name));
    return l;
}

int CatalogueMaxLength(const char *ldapName)
{
    const ADSIUserField *f = catalogue::entryByLdapNameIn(GroupTable, QLatin1String(ldapName));
    if (!f)
        f = EntryByLdapName(QLatin1String(ldapName));
    return f && f->maxLength > 0 ? f->maxLength : 32767;
}

QString CachedSidText(const ads::ObjectPtr &object)
{
    ads::PropertyEntry e;
    if (object && ads::succeeded(object->GetPropertyItem(QStringLiteral("objectSID"), &e)) && !e.values.isEmpty())
        if (const auto sid = security::Sid::fromBytes(e.values.first().toByteArray()))
            return sid->toString();
    return {};
}

TGroupDialogBase::TGroupDialogBase(const QString &groupDn, const QString &name, const QString &objectName, QWidget *parent)
    : QDialog(parent), m_dn(groupDn)
{
    setObjectName(objectName);
    setWindowTitle(QStringLiteral("  ") + name + QStringLiteral(" Properties"));
    setModal(true);
    pcGroup = new QTabWidget(this);
    pcGroup->setObjectName(QStringLiteral("pcGroup"));
    tsManagedBy = new TManagedByPage;
    tsSecurity = new TSecurityPage;
    tsRAW = new userprop::TRawDataPage;
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btApply = new QPushButton(QStringLiteral("&Apply"), this);
    btApply->setObjectName(QStringLiteral("btApply"));
    btApply->setEnabled(false);
    connect(tsManagedBy, &TManagedByPage::changed, this, [this] { btApply->setEnabled(true); });
}

void TGroupDialogBase::addSharedTabs()
{
    pcGroup->addTab(tsManagedBy, QStringLiteral("Managed By"));
    pcGroup->addTab(tsSecurity, QStringLiteral("Securty"));
    pcGroup->addTab(tsRAW, QStringLiteral("RAW Data"));
}

void TGroupDialogBase::finishLayout(int width, int height)
{
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    buttons->addWidget(btApply);
    auto *v = new QVBoxLayout(this);
    v->addWidget(pcGroup, 1);
    v->addLayout(buttons);
    ui::tabOrderLast({btOK, btCancel, btApply});
    ui::setupWindow(this, QSize(width, height));
}

void TGroupDialogBase::createNameFields(QWidget *page)
{
    lbGroupName = named(new QLabel(page), "lbGroupName");
    ebDescription = new QLineEdit(page);
    ebDescription->setObjectName(QStringLiteral("ebDescription"));
    ebEMail = new QLineEdit(page);
    ebEMail->setObjectName(QStringLiteral("ebEMail"));
    connect(ebDescription, &QLineEdit::textEdited, this, [this] {
        m_descriptionModified = true;
        btApply->setEnabled(true);
    });
    connect(ebEMail, &QLineEdit::textEdited, this, [this] {
        m_mailModified = true;
        btApply->setEnabled(true);
    });
}

void TGroupDialogBase::fillNameFields()
{
    lbGroupName->setText(CachedText(m_group, QStringLiteral("cn")));
    if (!m_descriptionModified)
        ebDescription->setText(CachedText(m_group, QStringLiteral("description")));
    if (!m_mailModified)
        ebEMail->setText(CachedText(m_group, QStringLiteral("mail")));
    ui::EnableForAttribute(ebDescription, m_writable, QStringLiteral("description"));
    ui::EnableForAttribute(ebEMail, m_writable, QStringLiteral("mail"));
    ebDescription->setMaxLength(CatalogueMaxLength("description"));
    ebEMail->setMaxLength(CatalogueMaxLength("mail"));
}

bool TGroupDialogBase::stageNameFields()
{
    if (m_descriptionModified)
        stageText(QStringLiteral("description"), ebDescription->text(), false);
    if (m_mailModified)
        stageText(QStringLiteral("mail"), ebEMail->text(), true);
    return m_descriptionModified || m_mailModified;
}

void TGroupDialogBase::addDateRows(QFormLayout *form, QWidget *page)
{
    lbCreatedCaption = named(new QLabel(QStringLiteral("Created:"), page), "lbCreatedCaption");
    lbChangedCaption = named(new QLabel(QStringLiteral("Changed:"), page), "lbChangedCaption");
    lbCreated = named(new QLabel(page), "lbCreated");
    lbChanged = named(new QLabel(page), "lbChanged");
    lbuSNCreated = named(new QLabel(page), "lbuSNCreated");
    lbuSNChanged = named(new QLabel(page), "lbuSNChanged");
    form->addRow(lbCreatedCaption, lbCreated);
    form->addRow(lbChangedCaption, lbChanged);
    form->addRow(lbuSNCreated);
    form->addRow(lbuSNChanged);
}

void TGroupDialogBase::bindGroup()
{
    if (m_group)
        return;
    CheckADSIResult(OpenWithContext(m_dn, &m_group));
    if (ads::succeeded(m_group->GetInfoEx({QStringLiteral("allowedAttributesEffective")}))) {
        ads::PropertyEntry e;
        if (ads::succeeded(m_group->GetPropertyItem(QStringLiteral("allowedAttributesEffective"), &e)))
            for (const QVariant &v : e.values)
                m_writable << v.toString().toUpper();
        m_writable.sort();
    }
}

void TGroupDialogBase::loadDates()
{
    m_group->GetInfoEx({QStringLiteral("whenCreated"), QStringLiteral("whenChanged"), QStringLiteral("uSNCreated"),
                        QStringLiteral("uSNChanged")});
    QVariant v;
    const QString created = ads::succeeded(m_group->Get(QStringLiteral("whenCreated"), &v)) ? userprop::UtcValueText(v) : QString();
    const QString changed = ads::succeeded(m_group->Get(QStringLiteral("whenChanged"), &v)) ? userprop::UtcValueText(v) : QString();
    lbCreated->setText(created);
    lbChanged->setText(changed);
    lbCreated->setVisible(!created.isEmpty());
    lbChanged->setVisible(!changed.isEmpty());
    lbCreatedCaption->setVisible(!created.isEmpty());
    lbChangedCaption->setVisible(!changed.isEmpty());
    const QString usnC = CachedText(m_group, QStringLiteral("uSNCreated"));
    const QString usnH = CachedText(m_group, QStringLiteral("uSNChanged"));
    lbuSNCreated->setText(usnC.isEmpty() ? QString() : QStringLiteral("USN Created: %1").arg(usnC));
    lbuSNChanged->setText(usnH.isEmpty() ? QString() : QStringLiteral("USN Changed: %1").arg(usnH));
}

bool TGroupDialogBase::confirmSave()
{
    return !options::ConfirmWrites()
        || ui::Prompt::message(this,
                               QStringLiteral("Do you want to save the changes you have made?\r\nThere is no \u201Cundo\u201D after this point."),
                               QStringLiteral("Do you want to save..."), ui::Icon::Question, ui::Button::Yes | ui::Button::No,
                               ui::Button::No)
               == ui::Button::Yes;
}

void TGroupDialogBase::stageText(const QString &attribute, const QString &text, bool trimmed)
{
    if (!text.trimmed().isEmpty())
        CheckADSIResult(m_group->Put(attribute, trimmed ? text.trimmed() : text));
    else
        CheckADSIResult(m_group->PutEx(ads::ADS_PROPERTY_CLEAR, attribute, {}));
}

void TGroupDialogBase::writeManager()
{
    if (tsManagedBy->modified()
        && tsManagedBy->currentManager().compare(tsManagedBy->loadedManager(), Qt::CaseInsensitive) != 0) {
        stageText(QStringLiteral("managedBy"), tsManagedBy->currentManager(), true);
        CheckADSIResult(m_group->SetInfo());
    }
    tsManagedBy->markSaved();
}

void TGroupDialogBase::written()
{
    ui::notifyOtherWindows(ui::ObjectChanged, m_dn, this);
    btApply->setEnabled(false);
}

bool TGroupDialogBase::applyChanges(const std::function<void()> &writeOwn)
{
    if (!confirmSave())
        return false;
    try {
        writeOwn();
        writeManager();
        loadDates();
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
        return false;
    }
    written();
    return true;
}

void TGroupDialogBase::LoadManagedBy()
{
    tsManagedBy->load(m_group, m_dn, m_writable.contains(QStringLiteral("MANAGEDBY")));
}

bool TGroupDialogBase::loadSharedTab(QWidget *page, bool securityOnce)
{
    if (page == tsManagedBy) {
        if (!tsManagedBy->modified())
            LoadManagedBy();
    } else if (page == tsSecurity) {
        if (!securityOnce || !m_securityLoaded)
            tsSecurity->load(m_group);
        m_securityLoaded = true;
    } else if (page == tsRAW) {
        tsRAW->load(m_group, windowTitle());
    } else {
        return false;
    }
    return true;
}

} // namespace groups
