#include "groups/unDynamicGroupView.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "main/unCatalogue.h"
#include "options/unOptions.h"
#include "platform/security/sid.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/writable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace groups {

namespace {

const QString kAppTitle = QStringLiteral("Arvendel");

QLabel *named(QLabel *l, const char *name)
{
    l->setObjectName(QLatin1String(name));
    return l;
}

int maxLengthOf(const char *ldapName)
{
    if (const ADSIUserField *f = catalogue::entryByLdapNameIn(GroupTable, QLatin1String(ldapName)))
        return f->maxLength > 0 ? f->maxLength : 32767;
    if (const ADSIUserField *f = EntryByLdapName(QLatin1String(ldapName)))
        return f->maxLength > 0 ? f->maxLength : 32767;
    return 32767;
}

} // namespace

TfrmDistributionDynamicGroupView::TfrmDistributionDynamicGroupView(const QString &groupDn, const QString &name, QWidget *parent)
    : QDialog(parent), m_dn(groupDn)
{
    setObjectName(QStringLiteral("TfrmDistributionDynamicGroupView"));
    setWindowTitle(QStringLiteral("  ") + name + QStringLiteral(" Properties"));
    setModal(true);
    pcGroup = new QTabWidget(this);
    pcGroup->setObjectName(QStringLiteral("pcGroup"));

    tsGeneral = new QWidget;
    tsGeneral->setObjectName(QStringLiteral("tsGeneral"));
    lbGroupName = named(new QLabel(tsGeneral), "lbGroupName");
    ebDescription = new QLineEdit(tsGeneral);
    ebDescription->setObjectName(QStringLiteral("ebDescription"));
    ebEMail = new QLineEdit(tsGeneral);
    ebEMail->setObjectName(QStringLiteral("ebEMail"));
    auto *filterBox = new QGroupBox(QStringLiteral(" Filter "), tsGeneral);
    ebmsExchDynamicDLBaseDN = new QLineEdit(filterBox);
    ebmsExchDynamicDLBaseDN->setObjectName(QStringLiteral("ebmsExchDynamicDLBaseDN"));
    ebmsExchDynamicDLBaseDN->setReadOnly(true);
    TntMemoLDAPquery = new QPlainTextEdit(filterBox);
    TntMemoLDAPquery->setObjectName(QStringLiteral("TntMemoLDAPquery"));
    TntMemoLDAPquery->setReadOnly(true);
    // Read-only look, but enabled so that the text can be selected and scrolled.
    for (QWidget *w : {static_cast<QWidget *>(ebmsExchDynamicDLBaseDN), static_cast<QWidget *>(TntMemoLDAPquery)}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Base, QColor(0xF7, 0xFF, 0xFF));
        w->setPalette(p);
    }
    auto *fl = new QFormLayout(filterBox);
    fl->addRow(QStringLiteral("Recipients in and below:"), ebmsExchDynamicDLBaseDN);
    fl->addRow(QStringLiteral("LDAP query:"), TntMemoLDAPquery);
    lbCreatedCaption = named(new QLabel(QStringLiteral("Created:"), tsGeneral), "lbCreatedCaption");
    lbChangedCaption = named(new QLabel(QStringLiteral("Changed:"), tsGeneral), "lbChangedCaption");
    lbCreated = named(new QLabel(tsGeneral), "lbCreated");
    lbChanged = named(new QLabel(tsGeneral), "lbChanged");
    lbuSNCreated = named(new QLabel(tsGeneral), "lbuSNCreated");
    lbuSNChanged = named(new QLabel(tsGeneral), "lbuSNChanged");
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Description:"), ebDescription);
    form->addRow(QStringLiteral("E-mail:"), ebEMail);
    auto *dates = new QFormLayout;
    dates->addRow(lbCreatedCaption, lbCreated);
    dates->addRow(lbChangedCaption, lbChanged);
    dates->addRow(lbuSNCreated);
    dates->addRow(lbuSNChanged);
    auto *gv = new QVBoxLayout(tsGeneral);
    gv->addWidget(lbGroupName);
    gv->addLayout(form);
    gv->addWidget(filterBox, 1);
    gv->addLayout(dates);

    tsMembers = new QWidget;
    tsMembers->setObjectName(QStringLiteral("tsMembers"));
    lvMembers = new QTreeWidget(tsMembers);
    lvMembers->setObjectName(QStringLiteral("lvMembers"));
    lvMembers->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Active Directory Folder"), QStringLiteral("Distinguished Name")});
    lvMembers->setRootIsDecorated(false);
    lbTotalMembers = named(new QLabel(QStringLiteral("Total items: Undefined"), tsMembers), "lbTotalMembers");
    lbMembersError = named(new QLabel(tsMembers), "lbMembersError");
    lbMembersError->setWordWrap(true);
    lbMembersError->setStyleSheet(QStringLiteral("color: red"));
    lbMembersError->hide();
    btStart = new QPushButton(QStringLiteral("Start..."), tsMembers);
    btStart->setObjectName(QStringLiteral("btStart"));
    btStop = new QPushButton(QStringLiteral("Stop"), tsMembers);
    btStop->setObjectName(QStringLiteral("btStop"));
    btStop->setEnabled(false);
    sbMembersToExcel = new QToolButton(tsMembers);
    sbMembersToExcel->setObjectName(QStringLiteral("sbMembersToExcel"));
    sbMembersToExcel->setText(QStringLiteral("Excel"));
    sbMembersToExcel->setToolTip(QStringLiteral("Members to Microsoft Office Excel document"));
    sbMembersToExcel->setVisible(OfficeAppAvailable(QStringLiteral("Excel.Application")));
    auto *mb = new QHBoxLayout;
    mb->addWidget(btStart);
    mb->addWidget(btStop);
    mb->addWidget(sbMembersToExcel);
    mb->addStretch();
    mb->addWidget(lbTotalMembers);
    auto *mv = new QVBoxLayout(tsMembers);
    mv->addWidget(lvMembers, 1);
    mv->addWidget(lbMembersError);
    mv->addLayout(mb);

    tsManagedBy = new TManagedByPage;
    tsSecurity = new TSecurityPage;
    tsRAW = new TRawDataPage;
    pcGroup->addTab(tsGeneral, QStringLiteral("General"));
    pcGroup->addTab(tsMembers, QStringLiteral("Members"));
    pcGroup->addTab(tsManagedBy, QStringLiteral("Managed By"));
    pcGroup->addTab(tsSecurity, QStringLiteral("Securty"));
    pcGroup->addTab(tsRAW, QStringLiteral("RAW Data"));

    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btApply = new QPushButton(QStringLiteral("&Apply"), this);
    btApply->setObjectName(QStringLiteral("btApply"));
    btApply->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    buttons->addWidget(btApply);
    auto *v = new QVBoxLayout(this);
    v->addWidget(pcGroup, 1);
    v->addLayout(buttons);
    resize(520, 560);

    connect(btOK, &QPushButton::clicked, this, &TfrmDistributionDynamicGroupView::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmDistributionDynamicGroupView::btCancelClick);
    connect(btApply, &QPushButton::clicked, this, [this] { btApplyClick(); });
    connect(btStart, &QPushButton::clicked, this, &TfrmDistributionDynamicGroupView::btStartClick);
    connect(btStop, &QPushButton::clicked, this, &TfrmDistributionDynamicGroupView::btStopClick);
    connect(sbMembersToExcel, &QToolButton::clicked, this, &TfrmDistributionDynamicGroupView::sbMembersToExcelClick);
    connect(ebDescription, &QLineEdit::textEdited, this, [this] {
        m_descriptionModified = true;
        btApply->setEnabled(true);
    });
    connect(ebEMail, &QLineEdit::textEdited, this, [this] {
        m_mailModified = true;
        btApply->setEnabled(true);
    });
    connect(tsManagedBy, &TManagedByPage::changed, this, [this] { btApply->setEnabled(true); });
    connect(pcGroup, &QTabWidget::currentChanged, this, &TfrmDistributionDynamicGroupView::tabChanged);
    LoadGeneral();
}

TfrmDistributionDynamicGroupView::~TfrmDistributionDynamicGroupView() { stopEnumeration(); }

void TfrmDistributionDynamicGroupView::tabChanged(int index)
{
    QWidget *page = pcGroup->widget(index);
    // Leaving the members tab ends a running preview.
    if (pcGroup->widget(m_lastTab) == tsMembers && page != tsMembers)
        btStopClick();
    m_lastTab = index;
    try {
        if (page == tsGeneral)
            LoadGeneral();
        else if (page == tsMembers && !m_finished && !m_thread)
            btStartClick();
        else if (page == tsManagedBy && !tsManagedBy->modified())
            LoadManagedBy();
        else if (page == tsSecurity && !m_securityLoaded) {
            tsSecurity->load(m_group);
            m_securityLoaded = true;
        } else if (page == tsRAW)
            tsRAW->load(m_group, windowTitle());
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
    }
}

void TfrmDistributionDynamicGroupView::LoadGeneral()
{
    QScopedValueRollback<bool> guard(m_loading, true);
    if (!m_group) {
        CheckADSIResult(OpenWithContext(m_dn, &m_group));
        if (ads::succeeded(m_group->GetInfoEx({QStringLiteral("allowedAttributesEffective")}))) {
            ads::PropertyEntry e;
            if (ads::succeeded(m_group->GetPropertyItem(QStringLiteral("allowedAttributesEffective"), &e)))
                for (const QVariant &v : e.values)
                    m_writable << v.toString().toUpper();
            m_writable.sort();
        }
    }
    m_group->GetInfoEx({QStringLiteral("cn"), QStringLiteral("description"), QStringLiteral("mail"), QStringLiteral("info"),
                        QStringLiteral("canonicalName"), QStringLiteral("objectSID")});
    lbGroupName->setText(CachedText(m_group, QStringLiteral("cn")));
    if (!m_descriptionModified)
        ebDescription->setText(CachedText(m_group, QStringLiteral("description")));
    if (!m_mailModified)
        ebEMail->setText(CachedText(m_group, QStringLiteral("mail")));
    ui::EnableForAttribute(ebDescription, m_writable, QStringLiteral("description"));
    ui::EnableForAttribute(ebEMail, m_writable, QStringLiteral("mail"));
    ebDescription->setMaxLength(maxLengthOf("description"));
    ebEMail->setMaxLength(maxLengthOf("mail"));
    m_canonicalName = CachedText(m_group, QStringLiteral("canonicalName"));
    ads::PropertyEntry sid;
    if (ads::succeeded(m_group->GetPropertyItem(QStringLiteral("objectSID"), &sid)) && !sid.values.isEmpty())
        if (const auto s = security::Sid::fromBytes(sid.values.first().toByteArray()))
            m_sidText = s->toString();
    loadDates();
    m_group->GetInfoEx({QStringLiteral("msExchDynamicDLBaseDN"), QStringLiteral("msExchDynamicDLFilter")});
    ebmsExchDynamicDLBaseDN->setText(CachedText(m_group, QStringLiteral("msExchDynamicDLBaseDN")));
    TntMemoLDAPquery->setPlainText(CachedText(m_group, QStringLiteral("msExchDynamicDLFilter")));
}

void TfrmDistributionDynamicGroupView::loadDates()
{
    m_group->GetInfoEx({QStringLiteral("whenCreated"), QStringLiteral("whenChanged"), QStringLiteral("uSNCreated"),
                        QStringLiteral("uSNChanged")});
    QVariant v;
    const QString created = ads::succeeded(m_group->Get(QStringLiteral("whenCreated"), &v)) ? UtcValueText(v) : QString();
    const QString changed = ads::succeeded(m_group->Get(QStringLiteral("whenChanged"), &v)) ? UtcValueText(v) : QString();
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

// --- Members preview ---------------------------------------------------------------------------

void TfrmDistributionDynamicGroupView::btStartClick()
{
    if (m_thread)
        return;
    lbTotalMembers->setText(QStringLiteral("Total items: Undefined"));
    lbMembersError->hide();
    lbMembersError->clear();
    btStart->setEnabled(false);
    btStop->setEnabled(true);
    sbMembersToExcel->setEnabled(false);
    lvMembers->clear();
    lvMembers->setCursor(Qt::WaitCursor);
    m_finished = false;
    auto *t = new TEnumMembersThread(ebmsExchDynamicDLBaseDN->text(), TntMemoLDAPquery->toPlainText());
    m_thread = t;
    // Rows and the end arrive queued; the worker never waits for this window, and deletes
    // itself when it is done, also when the window is gone by then.
    connect(t, &TEnumMembersThread::memberFound, this, &TfrmDistributionDynamicGroupView::memberFound, Qt::QueuedConnection);
    connect(t, &TEnumMembersThread::enumerationEnded, this, &TfrmDistributionDynamicGroupView::threadEnded, Qt::QueuedConnection);
    connect(t, &QThread::finished, t, &QObject::deleteLater);
    t->start();
}

void TfrmDistributionDynamicGroupView::memberFound(const TPreviewMember &m)
{
    auto *item = new QTreeWidgetItem(lvMembers, {m.Name, m.Folder, m.DistinguishedName});
    Q_UNUSED(item);
    lbTotalMembers->setText(QStringLiteral("Total items: %1").arg(lvMembers->topLevelItemCount()));
}

void TfrmDistributionDynamicGroupView::threadEnded(const QString &error)
{
    btStart->setEnabled(true);
    btStop->setEnabled(false);
    sbMembersToExcel->setEnabled(true);
    lvMembers->unsetCursor();
    m_finished = true;
    m_thread = nullptr;
    lbTotalMembers->setText(QStringLiteral("Total items: %1").arg(lvMembers->topLevelItemCount()));
    // A filter the directory refuses, or a base that is gone: say why instead of an empty list.
    if (!error.isEmpty()) {
        lbMembersError->setText(ui::displayText(error));
        lbMembersError->show();
    }
    emit enumerationEnded();
}

void TfrmDistributionDynamicGroupView::btStopClick()
{
    if (m_thread)
        m_thread->Terminate();
}

void TfrmDistributionDynamicGroupView::stopEnumeration()
{
    if (!m_thread)
        return;
    TEnumMembersThread *t = m_thread;
    m_thread = nullptr;
    disconnect(t, nullptr, this, nullptr);
    t->Terminate();
}

void TfrmDistributionDynamicGroupView::sbMembersToExcelClick()
{
    const QString path = ListToWorkbook(this, windowTitle(), lvMembers, QStringLiteral("Members"));
    if (!path.isEmpty())
        m_lastWorkbook = path;
}

// --- Managed By, Apply -------------------------------------------------------------------------

void TfrmDistributionDynamicGroupView::LoadManagedBy()
{
    tsManagedBy->load(m_group, m_dn, m_writable.contains(QStringLiteral("MANAGEDBY")));
}

bool TfrmDistributionDynamicGroupView::btApplyClick()
{
    if (options::ConfirmWrites()
        && ui::Prompt::message(this,
                               QStringLiteral("Do you want to save the changes you have made?\r\nThere is no \u201Cundo\u201D after this point."),
                               QStringLiteral("Do you want to save..."), ui::Icon::Question, ui::Button::Yes | ui::Button::No,
                               ui::Button::No)
               != ui::Button::Yes)
        return false;
    try {
        bool any = false;
        if (m_descriptionModified) {
            if (!ebDescription->text().trimmed().isEmpty())
                CheckADSIResult(m_group->Put(QStringLiteral("description"), ebDescription->text()));
            else
                CheckADSIResult(m_group->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("description"), {}));
            any = true;
        }
        if (m_mailModified) {
            if (!ebEMail->text().trimmed().isEmpty())
                CheckADSIResult(m_group->Put(QStringLiteral("mail"), ebEMail->text().trimmed()));
            else
                CheckADSIResult(m_group->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("mail"), {}));
            any = true;
        }
        if (any)
            CheckADSIResult(m_group->SetInfo());
        m_descriptionModified = m_mailModified = false;
        if (tsManagedBy->modified()
            && tsManagedBy->currentManager().compare(tsManagedBy->loadedManager(), Qt::CaseInsensitive) != 0) {
            if (!tsManagedBy->currentManager().trimmed().isEmpty())
                CheckADSIResult(m_group->Put(QStringLiteral("managedBy"), tsManagedBy->currentManager()));
            else
                CheckADSIResult(m_group->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("managedBy"), {}));
            CheckADSIResult(m_group->SetInfo());
        }
        tsManagedBy->markSaved();
        loadDates();
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
        return false;
    }
    ui::notifyOtherWindows(ui::ObjectChanged, m_dn, this);
    btApply->setEnabled(false);
    return true;
}

void TfrmDistributionDynamicGroupView::btOKClick()
{
    // OK keeps what the user typed: it writes the pending changes first.
    if (btApply->isEnabled() && !btApplyClick())
        return;
    stopEnumeration();
    accept();
}

void TfrmDistributionDynamicGroupView::btCancelClick()
{
    stopEnumeration();
    reject();
}

void TfrmDistributionDynamicGroupView::closeEvent(QCloseEvent *event)
{
    stopEnumeration();
    QDialog::closeEvent(event);
}

} // namespace groups
