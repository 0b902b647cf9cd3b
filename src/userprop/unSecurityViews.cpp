#include "userprop/unSecurityViews.h"

#include "core/unSearch.h"
#include "core/unValues.h"
#include "platform/security/sid.h"
#include "ui/windowlayout.h"
#include "ui/listsort.h"
#include "userprop/unRawDataView.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace userprop {

namespace {

const QString kNoAccess = QStringLiteral("You do not have access to the Security Descriptor");

QTreeWidget *makeList(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *l = new QTreeWidget(parent);
    l->setObjectName(QLatin1String(name));
    l->setHeaderLabels(headers);
    l->setRootIsDecorated(false);
    return l;
}

QString objectTypeName(const QString &guid, const QString &fallback = {})
{
    if (guid.isEmpty())
        return fallback;
    return SchemaGuidName(guid);
}

// The two object-type maps fill on first use; an unreadable map only leaves names out.
void ensureNameMaps()
{
    try {
        if (!ExtendedRightNamesLoaded())
            LoadExtendedRightNames();
    } catch (const Exception &) {
    }
    try {
        if (!SchemaGuidNamesLoaded())
            LoadSchemaGuidNames();
    } catch (const Exception &) {
    }
}

} // namespace

void enableHeaderSort(QTreeWidget *list)
{
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(false);
    QObject::connect(list->header(), &QHeaderView::sectionClicked, list, [list](int column) {
        const int last = list->property("arvSortColumn").toInt() - 1;
        const bool descending = last == column && !list->property("arvSortDescending").toBool();
        list->setProperty("arvSortColumn", column + 1);
        list->setProperty("arvSortDescending", descending);
        ui::sortByText(list, column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    });
}

// --- trustee rights -------------------------------------------------------------------------

TTrusteeRightsView::TTrusteeRightsView(const char *listName, const QList<RightRow> &rows, QWidget *parent)
    : QWidget(parent), m_rights(rows)
{
    lvTrustees = makeList(this, listName, {QStringLiteral("Group or User names")});
    lbPermissions = new QLabel(this);
    lbPermissions->setObjectName(QStringLiteral("lbPermissions"));
    lvPermitions = makeList(this, "lvPermitions", {QStringLiteral("Permissions"), QStringLiteral("Allow"),
                                                   QStringLiteral("Deny")});
    lvTrustees->setAccessibleName(QStringLiteral("Group or User names"));
    lvPermitions->setAccessibleName(QStringLiteral("Permissions"));
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(lvTrustees, 1);
    v->addWidget(lbPermissions);
    v->addWidget(lvPermitions, 1);
    connect(lvTrustees, &QTreeWidget::currentItemChanged, this, [this] { select(); });
}

void TTrusteeRightsView::clear()
{
    m_rows.clear();
    lvTrustees->clear();
    lvPermitions->clear();
    lbPermissions->clear();
}

void TTrusteeRightsView::setEntries(const QList<ads::AccessControlEntry> &entries, const SidLookup &lookup)
{
    clear();
    m_rows = SummarizeTrustees(entries);
    for (TrusteeSummary &s : m_rows)
        s.caption = TrusteeDisplayText(s.trustee, lookup);
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const TrusteeSummary &a, const TrusteeSummary &b) {
        return QString::compare(a.caption, b.caption, Qt::CaseInsensitive) < 0;
    });
    for (int i = 0; i < m_rows.size(); ++i) {
        auto *item = new QTreeWidgetItem(lvTrustees, {m_rows.at(i).caption});
        item->setData(0, Qt::UserRole, i);
    }
    if (lvTrustees->topLevelItemCount() > 0)
        lvTrustees->setCurrentItem(lvTrustees->topLevelItem(0));
}

void TTrusteeRightsView::select()
{
    lvPermitions->clear();
    QTreeWidgetItem *current = lvTrustees->currentItem();
    if (!current)
        return;
    const int i = current->data(0, Qt::UserRole).toInt();
    if (i < 0 || i >= m_rows.size())
        return;
    const TrusteeSummary &s = m_rows.at(i);
    lbPermissions->setText(QStringLiteral("Permissions for %1").arg(s.caption));
    for (const RightRow &r : m_rights) {
        auto *item = new QTreeWidgetItem(lvPermitions, {QLatin1String(r.caption)});
        item->setCheckState(1, SideHasRight(r, s.allow, s.allowExtended) ? Qt::Checked : Qt::Unchecked);
        item->setCheckState(2, SideHasRight(r, s.deny, s.denyExtended) ? Qt::Checked : Qt::Unchecked);
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
}

// --- Security tab ---------------------------------------------------------------------------

TUserSecurityPage::TUserSecurityPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsSecurity"));
    lbNoaccess = new QLabel(this);
    lbNoaccess->setObjectName(QStringLiteral("lbNoaccess"));
    lbNoaccess->setWordWrap(true);
    view = new TTrusteeRightsView("lvSecurity", SecurityRightRows(), this);
    btAdvanced = new QPushButton(QStringLiteral("Advanced..."), this);
    btAdvanced->setObjectName(QStringLiteral("btAdvanced"));
    btAdvanced->setEnabled(false);
    auto *v = new QVBoxLayout(this);
    v->addWidget(view, 1);
    v->addWidget(lbNoaccess);
    v->addWidget(btAdvanced, 0, Qt::AlignRight);
    connect(btAdvanced, &QPushButton::clicked, this, &TUserSecurityPage::btAdvancedClick);
}

void TUserSecurityPage::load(const ads::ObjectPtr &user)
{
    m_user = user;
    view->clear();
    m_readable = user && ads::succeeded(ads::GetSecurityDescriptor(user, QStringLiteral("ntSecurityDescriptor"), &m_sd));
    btAdvanced->setEnabled(m_readable);
    if (!m_readable) {
        lbNoaccess->setText(kNoAccess);
        lbNoaccess->setStyleSheet(QStringLiteral("color: red"));
        return;
    }
    lbNoaccess->setStyleSheet(QString());
    lbNoaccess->setText(
        QStringLiteral("Allow inheritable permissions from the parent to propogate to this object and all child objects ")
        + ((m_sd.Control & 0x1000) ? QStringLiteral("is disabled.") : QStringLiteral("is enabled.")));
    view->setEntries(m_sd.DiscretionaryAcl.entries, LookupTrusteeName);
}

void TUserSecurityPage::btAdvancedClick()
{
    if (!m_readable)
        return;
    TfrmAdvancedAttributes dlg(m_user, m_sd, TfrmAdvancedAttributes::DirectoryObject, this);
    dlg.exec();
}

// --- advanced view --------------------------------------------------------------------------

TfrmAdvancedAttributes::TfrmAdvancedAttributes(const ads::ObjectPtr &object, const ads::SecurityDescriptor &sd,
                                               Mode mode, QWidget *parent)
    : QDialog(parent), m_object(object), m_sd(sd), m_mode(mode)
{
    setObjectName(QStringLiteral("frmAdvancedAttributes"));
    setWindowTitle(mode == Mailbox ? QStringLiteral(" Mailbox  Advanced Security Settings")
                                   : QStringLiteral(" Advanced Security Settings"));
    ui::setupWindow(this, QSize(640, 420));
    ensureNameMaps();
    pcAdvanced = new QTabWidget(this);
    pcAdvanced->setObjectName(QStringLiteral("pcAdvanced"));

    const QStringList cols = {QStringLiteral("Type"), QStringLiteral("Name"), QStringLiteral("Permission"),
                              QStringLiteral("Inherited"), QStringLiteral("Apply To")};
    auto *permissions = new QWidget;
    permissions->setObjectName(QStringLiteral("tsPermissions"));
    lvPermissions = makeList(permissions, "lvPermissions", cols);
    lvPermissions->setAccessibleName(QStringLiteral("Permission entries"));
    (new QVBoxLayout(permissions))->addWidget(lvPermissions);
    pcAdvanced->addTab(permissions, QStringLiteral("Permissions"));

    auto *auditing = new QWidget;
    auditing->setObjectName(QStringLiteral("tsAuditing"));
    QStringList auditCols = cols;
    auditCols[2] = QStringLiteral("Access");
    lvAuditing = makeList(auditing, "lvAuditing", auditCols);
    lvAuditing->setAccessibleName(QStringLiteral("Auditing entries"));
    lbAuditNoAccess = new QLabel(auditing);
    lbAuditNoAccess->setObjectName(QStringLiteral("lbAuditNoAccess"));
    lbAuditNoAccess->hide();
    auto *av = new QVBoxLayout(auditing);
    av->addWidget(lbAuditNoAccess);
    av->addWidget(lvAuditing, 1);
    pcAdvanced->addTab(auditing, QStringLiteral("Auditing"));

    auto *owner = new QWidget;
    owner->setObjectName(QStringLiteral("tsOwner"));
    auto *of = new QFormLayout(owner);
    ebOwner = new QLineEdit(owner);
    ebOwner->setObjectName(QStringLiteral("ebOwner"));
    ebOwner->setReadOnly(true);
    ebOwnerGroup = new QLineEdit(owner);
    ebOwnerGroup->setObjectName(QStringLiteral("ebOwnerGroup"));
    ebOwnerGroup->setReadOnly(true);
    of->addRow(QStringLiteral("Owner:"), ebOwner);
    of->addRow(QStringLiteral("Group:"), ebOwnerGroup);
    pcAdvanced->addTab(owner, QStringLiteral("Owner"));

    auto *raw = new QWidget;
    raw->setObjectName(QStringLiteral("tsRaw"));
    pnlRawHeader = new QWidget(raw);
    pnlRawHeader->setObjectName(QStringLiteral("pnlRawHeader"));
    auto *hf = new QFormLayout(pnlRawHeader);
    auto value = [this](const char *name) {
        auto *l = new QLabel(pnlRawHeader);
        l->setObjectName(QLatin1String(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    lbRevision = value("lbRevision");
    lbControl = value("lbControl");
    lbOwner = value("lbOwner");
    lbGroup = value("lbGroup");
    lbOwnerDefaulted = value("lbOwnerDefaulted");
    lbGroupDefaulted = value("lbGroupDefaulted");
    hf->addRow(QStringLiteral("Revision:"), lbRevision);
    hf->addRow(QStringLiteral("Control:"), lbControl);
    hf->addRow(QStringLiteral("Owner:"), lbOwner);
    hf->addRow(QStringLiteral("Group:"), lbGroup);
    hf->addRow(QStringLiteral("Owner defaulted:"), lbOwnerDefaulted);
    hf->addRow(QStringLiteral("Group defaulted:"), lbGroupDefaulted);
    lvRaw = makeList(raw, "lvRaw",
                     {QStringLiteral("Trustree"), QStringLiteral("AccessMask"), QStringLiteral("AceType"),
                      QStringLiteral("AceFlags"), QStringLiteral("Flags"), QStringLiteral("ObjectType"),
                      QStringLiteral("InheritedObjectType")});
    lvRaw->setAccessibleName(QStringLiteral("Access control entries"));
    auto *rv = new QVBoxLayout(raw);
    rv->addWidget(pnlRawHeader);
    rv->addWidget(lvRaw, 1);
    pcAdvanced->addTab(raw, QStringLiteral("Raw Data"));

    sbToExcel = new QToolButton(this);
    sbToExcel->setObjectName(QStringLiteral("sbToExcel"));
    sbToExcel->setText(QStringLiteral("Excel"));
    sbToExcel->setToolTip(QStringLiteral("Export the shown list to Microsoft Office Excel document"));
    sbToExcel->setVisible(OfficeAppAvailable(QStringLiteral("Excel.Application")));
    auto *btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(sbToExcel, &QToolButton::clicked, this, &TfrmAdvancedAttributes::sbToExcelClick);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(sbToExcel);
    bottom->addStretch(1);
    bottom->addWidget(btClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pcAdvanced, 1);
    layout->addLayout(bottom);
    for (QTreeWidget *l : {lvPermissions, lvAuditing, lvRaw})
        enableHeaderSort(l);

    for (const ads::AccessControlEntry &e : m_sd.DiscretionaryAcl.entries) {
        if (e.AceType >= 7)
            continue;
        QString permission = PermissionText(e.AccessMask, mode == Mailbox);
        if (!e.ObjectType.isEmpty())
            permission += QLatin1Char(' ') + ExtendedRightName(e.ObjectType);
        new QTreeWidgetItem(lvPermissions,
                            {AceTypeCaption(e.AceType), TrusteeDisplayText(e.Trustee, LookupTrusteeName),
                             permission.trimmed(), InheritedCaption(e.AceFlags),
                             ApplyToCaption(e.AceFlags, objectTypeName(e.InheritedObjectType))});
    }
    ebOwner->setText(TrusteeDisplayText(m_sd.Owner, LookupTrusteeName));
    ebOwnerGroup->setText(TrusteeDisplayText(m_sd.Group, LookupTrusteeName));
    lbRevision->setText(QString::number(m_sd.Revision));
    lbControl->setText(Hex8(m_sd.Control));
    lbOwner->setText(m_sd.Owner);
    lbGroup->setText(m_sd.Group);
    lbOwnerDefaulted->setText(m_sd.OwnerDefaulted ? QStringLiteral("True") : QStringLiteral("False"));
    lbGroupDefaulted->setText(m_sd.GroupDefaulted ? QStringLiteral("True") : QStringLiteral("False"));
    fillRaw();

    if (mode == Mailbox) {
        pcAdvanced->setTabVisible(1, false);
        pcAdvanced->setTabVisible(2, false);
        pnlRawHeader->hide();
    } else {
        connect(pcAdvanced, &QTabWidget::currentChanged, this, [this](int index) {
            if (index == 1)
                loadAuditing();
        });
    }
}

void TfrmAdvancedAttributes::fillRaw()
{
    lvRaw->clear();
    auto add = [this](const ads::AccessControlEntry &e) {
        new QTreeWidgetItem(lvRaw, {e.Trustee, Hex8(e.AccessMask), Hex8(quint32(e.AceType)), Hex8(quint32(e.AceFlags)),
                                    Hex8(quint32(e.Flags)), e.ObjectType, e.InheritedObjectType});
    };
    for (const ads::AccessControlEntry &e : m_sd.DiscretionaryAcl.entries)
        add(e);
    if (m_auditRead)
        for (const ads::AccessControlEntry &e : m_sacl.entries)
            add(e);
}

void TfrmAdvancedAttributes::loadAuditing()
{
    if (m_auditLoaded || m_mode == Mailbox)
        return;
    m_auditLoaded = true;
    lvAuditing->clear();
    ads::SecurityDescriptor sd;
    // Owner, group, DACL and SACL: the SACL comes only with the security privilege.
    QVariant previousMask;
    const bool hadMask = m_object && ads::succeeded(m_object->GetOption(ads::ADS_OPTION_SECURITY_MASK, &previousMask));
    const bool read = m_object && ads::succeeded(m_object->SetOption(ads::ADS_OPTION_SECURITY_MASK, 15))
        && ads::succeeded(ads::GetSecurityDescriptor(m_object, QStringLiteral("ntSecurityDescriptor"), &sd))
        && sd.HasSacl;
    // The object is the property dialog's: its later reads and writes keep their own mask.
    if (hadMask)
        m_object->SetOption(ads::ADS_OPTION_SECURITY_MASK, previousMask);
    if (!read) {
        lbAuditNoAccess->setText(kNoAccess);
        lbAuditNoAccess->show();
        return;
    }
    lbAuditNoAccess->hide();
    m_auditRead = true;
    m_sacl = sd.SystemAcl;
    for (const ads::AccessControlEntry &e : m_sacl.entries) {
        if (e.AceType != 2 && e.AceType != 7)
            continue;
        QString access = PermissionText(e.AccessMask, false);
        if (!e.ObjectType.isEmpty())
            access += QLatin1Char(' ') + ExtendedRightName(e.ObjectType);
        new QTreeWidgetItem(lvAuditing, {AuditTypeCaption(e.AceFlags), TrusteeDisplayText(e.Trustee, LookupTrusteeName),
                                         access.trimmed(), InheritedCaption(e.AceFlags),
                                         ApplyToCaption(e.AceFlags, objectTypeName(e.InheritedObjectType))});
    }
    fillRaw();
}

void TfrmAdvancedAttributes::sbToExcelClick()
{
    QTreeWidget *list = pcAdvanced->currentIndex() == 1 ? lvAuditing
        : pcAdvanced->currentIndex() == 3              ? lvRaw
                                                        : lvPermissions;
    const QString path = ListToWorkbook(this, windowTitle().trimmed(), list, QStringLiteral("Security"));
    if (!path.isEmpty())
        m_lastWorkbook = path;
}

// --- mailbox rights -------------------------------------------------------------------------

TfrmPermitions::TfrmPermitions(const ads::ObjectPtr &user, QWidget *parent) : QDialog(parent), m_user(user)
{
    setObjectName(QStringLiteral("frmPermitions"));
    setWindowTitle(QStringLiteral(" Mailbox Rights"));
    ui::setupWindow(this, QSize(380, 460));
    // This platform has no mailbox administration interface: the rights come from the
    // attribute, and the page says that it can do less.
    lbLimitedRights = new QLabel(QStringLiteral("This Page has limited functionality."), this);
    lbLimitedRights->setObjectName(QStringLiteral("lbLimitedRights"));
    lbLimitedRights->setStyleSheet(QStringLiteral("color: red"));
    lbLimitedRights->setToolTip(QStringLiteral("This Page has limited functionality.\nTo enable full functionality, please install\n"
                                               "Microsoft Exchange Server Administrative console\n"
                                               "and/or join this computer to the appropriate Domain."));
    lbNoaccess = new QLabel(this);
    lbNoaccess->setObjectName(QStringLiteral("lbNoaccess"));
    lbNoaccess->hide();
    view = new TTrusteeRightsView("lvMailboxRights", MailboxRightRows(), this);
    btAdvanced = new QPushButton(QStringLiteral("Advanced..."), this);
    btAdvanced->setObjectName(QStringLiteral("btAdvanced"));
    btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(btAdvanced);
    bottom->addStretch(1);
    bottom->addWidget(btClose);
    auto *v = new QVBoxLayout(this);
    v->addWidget(lbLimitedRights);
    v->addWidget(lbNoaccess);
    v->addWidget(view, 1);
    v->addLayout(bottom);
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(btAdvanced, &QPushButton::clicked, this, &TfrmPermitions::btAdvancedClick);

    m_readable = user
        && ads::succeeded(ads::GetSecurityDescriptor(user, QStringLiteral("msExchMailboxSecurityDescriptor"), &m_sd));
    btAdvanced->setEnabled(m_readable);
    if (!m_readable) {
        lbNoaccess->setText(kNoAccess);
        lbNoaccess->show();
        return;
    }
    view->setEntries(m_sd.DiscretionaryAcl.entries, LookupTrusteeName);
}

void TfrmPermitions::btAdvancedClick()
{
    if (!m_readable)
        return;
    TfrmAdvancedAttributes dlg(m_user, m_sd, TfrmAdvancedAttributes::Mailbox, this);
    dlg.exec();
}

} // namespace userprop
