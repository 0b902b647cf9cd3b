#include "groups/unGroupView.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "main/unCatalogue.h"
#include "options/unOptions.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adspath.h"
#include "platform/security/sid.h"
#include "query/unFind.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/writable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QPointer>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace groups {

namespace {

const QString kAppTitle = QStringLiteral("Arvendel");
const QString kNotItself = QStringLiteral("A group cannot be made a member of itself.");
const QString kBuiltinRefused = QStringLiteral("Builtin groups cannot be added to other goups.");
const QString kPrimaryOne = QStringLiteral(
    "This is the member's Primary Group, and the selected member cannot be removed from here.\r\n"
    "Go to the \"Member Of\" tab of the member's property sheet and set another group as Primary.\r\n"
    "Then you can remove the member from this group.");
const QString kPrimaryMany = QStringLiteral(
    "This is the member's Primary Group, and the selected member \"%1\" cannot be removed from here.\r\n"
    "Go to the \"Member Of\" tab of the member's property sheet and set another group as Primary.\r\n"
    "Then you can remove the member from this group.");
// A member reached only through a nested group is not a value of this group's "member":
// removing it here would fail the whole write, so it is refused with the group to change.
const QString kNestedOnly = QStringLiteral(
    "The member \"%1\" belongs to this group only through the group \"%2\".\r\n"
    "Remove it from that group instead.");

GroupPicker &pickerSlot()
{
    static GroupPicker picker;
    return picker;
}

} // namespace

void setGroupPicker(GroupPicker picker) { pickerSlot() = std::move(picker); }

TfrmGroupView::TfrmGroupView(const QString &groupDn, const QString &name, QWidget *parent)
    : TGroupDialogBase(groupDn, name, QStringLiteral("TfrmGroupView"), parent)
{

    // General
    tsGeneral = new QWidget;
    tsGeneral->setObjectName(QStringLiteral("tsGeneral"));
    createNameFields(tsGeneral);
    ebsAMAccountName = new QLineEdit(tsGeneral);
    ebsAMAccountName->setObjectName(QStringLiteral("ebsAMAccountName"));
    ebsAMAccountName->setReadOnly(true);
    memoNotes = new QPlainTextEdit(tsGeneral);
    memoNotes->setObjectName(QStringLiteral("memoNotes"));
    rbGroupScope = new QGroupBox(QStringLiteral("Group scope"), tsGeneral);
    rbGroupScope->setObjectName(QStringLiteral("rbGroupScope"));
    rbDomainLocal = new QRadioButton(QStringLiteral("Domain Local"), rbGroupScope);
    rbGlobal = new QRadioButton(QStringLiteral("Global"), rbGroupScope);
    rbUniversal = new QRadioButton(QStringLiteral("Universal"), rbGroupScope);
    auto *scopeLayout = new QVBoxLayout(rbGroupScope);
    for (QRadioButton *r : {rbDomainLocal, rbGlobal, rbUniversal})
        scopeLayout->addWidget(r);
    rgGroupType = new QGroupBox(QStringLiteral("Group type"), tsGeneral);
    rgGroupType->setObjectName(QStringLiteral("rgGroupType"));
    rbSecurity = new QRadioButton(QStringLiteral("Security"), rgGroupType);
    rbDistribution = new QRadioButton(QStringLiteral("Distribution"), rgGroupType);
    auto *typeLayout = new QVBoxLayout(rgGroupType);
    typeLayout->addWidget(rbSecurity);
    typeLayout->addWidget(rbDistribution);
    rbGroupScope->setEnabled(false);
    rgGroupType->setEnabled(false);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Group name (pre-Windows 2000):"), ebsAMAccountName);
    form->addRow(QStringLiteral("Description:"), ebDescription);
    form->addRow(QStringLiteral("E-mail:"), ebEMail);
    auto *radios = new QHBoxLayout;
    radios->addWidget(rbGroupScope);
    radios->addWidget(rgGroupType);
    auto *dates = new QFormLayout;
    addDateRows(dates, tsGeneral);
    auto *gv = new QVBoxLayout(tsGeneral);
    gv->addWidget(lbGroupName);
    gv->addLayout(form);
    gv->addLayout(radios);
    auto *lbNotes = new QLabel(QStringLiteral("Notes:"), tsGeneral);
    lbNotes->setBuddy(memoNotes);
    gv->addWidget(lbNotes);
    gv->addWidget(memoNotes, 1);
    gv->addLayout(dates);

    // Members
    tsMembers = new QWidget;
    tsMembers->setObjectName(QStringLiteral("tsMembers"));
    ListViewMembers = new QTreeWidget(tsMembers);
    ListViewMembers->setObjectName(QStringLiteral("ListViewMembers"));
    ListViewMembers->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Active Directory Folder")});
    ListViewMembers->setRootIsDecorated(false);
    ListViewMembers->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewMembers->setAccessibleName(QStringLiteral("Members"));
    btAddMember = new QPushButton(QStringLiteral("Add..."), tsMembers);
    btAddMember->setObjectName(QStringLiteral("btAddMember"));
    btRemoveMember = new QPushButton(QStringLiteral("Remove"), tsMembers);
    btRemoveMember->setObjectName(QStringLiteral("btRemoveMember"));
    lbTotalMembers = named(new QLabel(QStringLiteral("Total items: Undefined"), tsMembers), "lbTotalMembers");
    auto *mb = new QHBoxLayout;
    mb->addWidget(btAddMember);
    mb->addWidget(btRemoveMember);
    mb->addStretch();
    mb->addWidget(lbTotalMembers);
    auto *mv = new QVBoxLayout(tsMembers);
    mv->addWidget(ListViewMembers, 1);
    mv->addLayout(mb);

    // Member Of
    tsMemberOf = new QWidget;
    tsMemberOf->setObjectName(QStringLiteral("tsMemberOf"));
    ListViewMemberOf = new QTreeWidget(tsMemberOf);
    ListViewMemberOf->setObjectName(QStringLiteral("ListViewMemberOf"));
    ListViewMemberOf->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Active Directory Folder")});
    ListViewMemberOf->setRootIsDecorated(false);
    ListViewMemberOf->setAccessibleName(QStringLiteral("Member Of"));
    btAddMemberOf = new QPushButton(QStringLiteral("Add..."), tsMemberOf);
    btAddMemberOf->setObjectName(QStringLiteral("btAddMemberOf"));
    btRemoveMemberOf = new QPushButton(QStringLiteral("Remove"), tsMemberOf);
    btRemoveMemberOf->setObjectName(QStringLiteral("btRemoveMemberOf"));
    btRemoveMemberOf->setEnabled(false);
    lbBuiltinMemberOf = named(new QLabel(kBuiltinRefused, tsMemberOf), "lbBuiltinMemberOf");
    lbBuiltinMemberOf->hide();
    auto *ob = new QHBoxLayout;
    ob->addWidget(btAddMemberOf);
    ob->addWidget(btRemoveMemberOf);
    ob->addStretch();
    auto *ov = new QVBoxLayout(tsMemberOf);
    ov->addWidget(ListViewMemberOf, 1);
    ov->addWidget(lbBuiltinMemberOf);
    ov->addLayout(ob);

    pcGroup->addTab(tsGeneral, QStringLiteral("General"));
    pcGroup->addTab(tsMembers, QStringLiteral("Members"));
    pcGroup->addTab(tsMemberOf, QStringLiteral("Member Of"));
    addSharedTabs();
    finishLayout(480, 560);

    connect(btOK, &QPushButton::clicked, this, &TfrmGroupView::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmGroupView::btCancelClick);
    connect(btApply, &QPushButton::clicked, this, [this] { btApplyClick(); });
    connect(btAddMember, &QPushButton::clicked, this, &TfrmGroupView::btAddMemberClick);
    connect(btRemoveMember, &QPushButton::clicked, this, &TfrmGroupView::btRemoveMemberClick);
    connect(btAddMemberOf, &QPushButton::clicked, this, &TfrmGroupView::btAddMemberOfClick);
    connect(btRemoveMemberOf, &QPushButton::clicked, this, &TfrmGroupView::btRemoveMemberOfClick);
    connect(ListViewMembers, &QTreeWidget::itemSelectionChanged, this, [this] {
        btRemoveMember->setEnabled(!ListViewMembers->selectedItems().isEmpty() && m_writable.contains(QStringLiteral("MEMBER")));
    });
    connect(ListViewMemberOf, &QTreeWidget::itemSelectionChanged, this, [this] {
        btRemoveMemberOf->setEnabled(!ListViewMemberOf->selectedItems().isEmpty() && !m_facts.Builtin);
    });
    connect(memoNotes, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading) {
            m_notesModified = true;
            setChanged();
        }
    });
    connect(pcGroup, &QTabWidget::currentChanged, this, &TfrmGroupView::tabChanged);
    // The opener handles a failure of the first bind; later tabs report their own errors.
    LoadGeneral();
}

TfrmGroupView::~TfrmGroupView() { m_closing = true; }

void TfrmGroupView::setChanged() { btApply->setEnabled(true); }

void TfrmGroupView::tabChanged(int index)
{
    QWidget *page = pcGroup->widget(index);
    try {
        if (page == tsGeneral)
            LoadGeneral();
        else if (page == tsMembers && !m_membersLoaded && !m_membersLoading)
            LoadMembers();
        else if (page == tsMemberOf && !m_memberOfLoaded)
            LoadMemberOf();
        else
            loadSharedTab(page, false);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
    }
}

void TfrmGroupView::LoadGeneral()
{
    QScopedValueRollback<bool> guard(m_loading, true);
    bindGroup();
    m_group->GetInfoEx({QStringLiteral("cn"), QStringLiteral("sAMAccountName"), QStringLiteral("description"),
                        QStringLiteral("mail"), QStringLiteral("groupType"), QStringLiteral("info"),
                        QStringLiteral("primaryGroupToken"), QStringLiteral("canonicalName"), QStringLiteral("objectSID")});
    fillNameFields();
    if (!m_generalLoaded || !m_notesModified) {
        memoNotes->setPlainText(CachedText(m_group, QStringLiteral("info")));
        m_notesModified = false;
    }
    ebsAMAccountName->setText(CachedText(m_group, QStringLiteral("sAMAccountName")));
    ui::EnableForAttribute(memoNotes, m_writable, QStringLiteral("info"));
    ui::setWritableLook(ebsAMAccountName, false);

    ads::PropertyEntry gt;
    const bool haveType = ads::succeeded(m_group->GetPropertyItem(QStringLiteral("groupType"), &gt)) && !gt.values.isEmpty();
    const qint32 groupType = haveType ? qint32(gt.values.first().toLongLong()) : 0;
    for (QRadioButton *r : {rbDomainLocal, rbGlobal, rbUniversal, rbSecurity, rbDistribution}) {
        r->setAutoExclusive(false);
        r->setChecked(false);
        r->setAutoExclusive(true);
    }
    if (groupType & 0x2)
        rbGlobal->setChecked(true);
    else if (groupType & 0x4)
        rbDomainLocal->setChecked(true);
    else if (groupType & 0x8)
        rbUniversal->setChecked(true);
    if (haveType)
        (groupType < 0 ? rbSecurity : rbDistribution)->setChecked(true);

    const QString tokenText = CachedText(m_group, QStringLiteral("primaryGroupToken"));
    m_facts.DistinguishedName = m_dn;
    m_facts.Name = lbGroupName->text();
    m_facts.PrimaryGroupToken = tokenText.isEmpty() ? -1 : tokenText.toInt();
    m_canonicalName = CachedText(m_group, QStringLiteral("canonicalName"));
    m_facts.SidText = CachedSidText(m_group);
    m_facts.Builtin = m_facts.SidText.startsWith(QLatin1String("S-1-5-32"), Qt::CaseInsensitive);
    loadDates();
    m_generalLoaded = true;
}

// --- Members ---------------------------------------------------------------------------------

void TfrmGroupView::addMemberItem(const TGroupMember &m)
{
    m_members.insert(m.DistinguishedName.toLower(), m);
    auto *item = new QTreeWidgetItem(ListViewMembers, {m.Name, m.Folder});
    item->setData(0, Qt::UserRole, m.DistinguishedName);
    item->setData(0, Qt::UserRole + 1, int(m.Kind));
    if (m.Kind != MemberKind::Direct) {
        QFont f = item->font(0);
        f.setItalic(true);
        item->setFont(0, f);
        item->setFont(1, f);
        item->setToolTip(0, m.Kind == MemberKind::Primary ? QStringLiteral("Member through its primary group")
                                                          : QStringLiteral("Member through a nested group"));
    }
}

void TfrmGroupView::updateTotal()
{
    lbTotalMembers->setText(QStringLiteral("Total items: %1").arg(ListViewMembers->topLevelItemCount()));
}

const TGroupMember *TfrmGroupView::memberRow(const QString &dn) const
{
    const auto it = m_members.constFind(dn.toLower());
    return it == m_members.constEnd() ? nullptr : &it.value();
}

QStringList TfrmGroupView::memberGroupDns() const
{
    QStringList out;
    for (const TGroupMember &m : m_members)
        if (m.IsGroup)
            out << m.DistinguishedName;
    return out;
}

void TfrmGroupView::LoadMembers()
{
    if (!m_generalLoaded)
        LoadGeneral();
    m_membersLoading = true;
    ListViewMembers->clear();
    m_members.clear();
    lbTotalMembers->setText(QStringLiteral("Total items: Undefined"));
    btAddMember->setEnabled(false);
    btRemoveMember->setEnabled(false);
    QStringList direct;
    // A large group fills row by row while the window stays responsive; closing the window
    // ends the load after the row in hand (or abandons a page still on its way).
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const QPointer<TfrmGroupView> self(this);
    try {
        ads::WaitHookScope hook([self] {
            QCoreApplication::processEvents();
            return self && !self->m_closing;
        });
        LoadGroupMembers(m_facts, [&](const TGroupMember &m) {
            addMemberItem(m);
            if (m.Kind == MemberKind::Direct)
                direct << m.DistinguishedName;
            if (sinceEvents.elapsed() >= 15) {
                lbTotalMembers->setText(QStringLiteral("Total items: Undefined"));
                QCoreApplication::processEvents();
                sinceEvents.restart();
            }
            return self && !m_closing;
        });
    } catch (const Exception &e) {
        if (!self || m_closing)
            return;
        m_membersLoading = false;
        ui::Prompt::error(this, e.Message(), kAppTitle);
        return;
    }
    if (!self || m_closing)
        return;
    m_membersLoading = false;
    m_membersLoaded = true;
    m_changes.setLoaded(direct);
    updateTotal();
    btAddMember->setEnabled(m_writable.contains(QStringLiteral("MEMBER")));
    btRemoveMember->setEnabled(!ListViewMembers->selectedItems().isEmpty() && m_writable.contains(QStringLiteral("MEMBER")));
}

void TfrmGroupView::btAddMemberClick()
{
    query::FindRequest req;
    req.scope = query::FindScope::UsersAndGroups;
    req.showLastLogon = false;
    req.exchangeOnly = false;
    query::FindResult found;
    if (query::FindUser(this, req, &found) && !found.distinguishedName.isEmpty())
        addMember(found.distinguishedName);
}

bool TfrmGroupView::addMember(const QString &dn)
{
    if (dn.compare(m_dn, Qt::CaseInsensitive) == 0) {
        ui::Prompt::information(this, kNotItself, kAppTitle);
        return false;
    }
    const TGroupMember *row = memberRow(dn);
    // A member reached only through nesting may still be made a direct member.
    if (row && row->Kind != MemberKind::Nested) {
        ui::Prompt::information(this, QStringLiteral("The \"%1\" is already in the list.").arg(row->Name), kAppTitle);
        return false;
    }
    TGroupMember m;
    try {
        ads::ObjectPtr o;
        CheckADSIResult(OpenWithContext(dn, &o));
        o->GetInfoEx({QStringLiteral("cn"), QStringLiteral("canonicalName"), QStringLiteral("distinguishedName"),
                      QStringLiteral("primaryGroupID"), QStringLiteral("objectSID"), QStringLiteral("objectClass")});
        ads::PropertyEntry sid;
        if (ads::succeeded(o->GetPropertyItem(QStringLiteral("objectSID"), &sid)) && !sid.values.isEmpty())
            if (const auto s = security::Sid::fromBytes(sid.values.first().toByteArray()))
                if (s->toString().startsWith(QLatin1String("S-1-5-32"), Qt::CaseInsensitive)) {
                    ui::Prompt::information(this, kBuiltinRefused, kAppTitle);
                    return false;
                }
        m.Name = CachedText(o, QStringLiteral("cn"));
        m.Folder = ParentCanonicalName(CachedText(o, QStringLiteral("canonicalName")));
        m.DistinguishedName = CachedText(o, QStringLiteral("distinguishedName"));
        if (m.DistinguishedName.isEmpty())
            m.DistinguishedName = dn;
        m.PrimaryGroupID = CachedText(o, QStringLiteral("primaryGroupID")).toInt();
        ads::PropertyEntry cls;
        if (ads::succeeded(o->GetPropertyItem(QStringLiteral("objectClass"), &cls)))
            for (const QVariant &c : cls.values)
                m.IsGroup = m.IsGroup || c.toString().compare(QLatin1String("group"), Qt::CaseInsensitive) == 0;
        m.Kind = MemberKind::Direct;
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
        return false;
    }
    if (row) {
        for (int i = 0; i < ListViewMembers->topLevelItemCount(); ++i)
            if (ListViewMembers->topLevelItem(i)->data(0, Qt::UserRole).toString().compare(dn, Qt::CaseInsensitive) == 0) {
                delete ListViewMembers->takeTopLevelItem(i);
                break;
            }
    }
    m_changes.add(m.DistinguishedName);
    addMemberItem(m);
    updateTotal();
    setChanged();
    return true;
}

void TfrmGroupView::removeMemberItem(QTreeWidgetItem *item)
{
    const QString dn = item->data(0, Qt::UserRole).toString();
    m_changes.remove(dn);
    m_members.remove(dn.toLower());
    delete item;
}

void TfrmGroupView::btRemoveMemberClick()
{
    const QList<QTreeWidgetItem *> selected = ListViewMembers->selectedItems();
    if (selected.isEmpty())
        return;
    if (!ui::Prompt::question(this, QStringLiteral("Do you want to remove the selected member(s) from the group?"), kAppTitle))
        return;
    const QStringList groupsHere = memberGroupDns();
    auto nestedText = [&](const TGroupMember &m) {
        QString through = NestingGroupOf(m.DistinguishedName, groupsHere);
        QString throughName = through;
        if (const TGroupMember *g = memberRow(through))
            throughName = g->Name;
        return kNestedOnly.arg(m.Name, throughName);
    };
    if (selected.size() == 1) {
        const TGroupMember *m = memberRow(selected.first()->data(0, Qt::UserRole).toString());
        if (!m)
            return;
        if (m->Kind != MemberKind::Direct && m_facts.PrimaryGroupToken >= 0 && m->PrimaryGroupID == m_facts.PrimaryGroupToken) {
            ui::Prompt::information(this, kPrimaryOne, kAppTitle);
            return;
        }
        if (m->Kind == MemberKind::Nested) {
            ui::Prompt::information(this, nestedText(*m), kAppTitle);
            return;
        }
        removeMemberItem(selected.first());
    } else {
        for (QTreeWidgetItem *item : selected) {
            const TGroupMember *m = memberRow(item->data(0, Qt::UserRole).toString());
            if (!m)
                continue;
            QString refusal;
            if (m->Kind != MemberKind::Direct && m_facts.PrimaryGroupToken >= 0 && m->PrimaryGroupID == m_facts.PrimaryGroupToken)
                refusal = kPrimaryMany.arg(m->Name);
            else if (m->Kind == MemberKind::Nested)
                refusal = nestedText(*m);
            if (!refusal.isEmpty()) {
                const int b = ui::Prompt::message(this, refusal, kAppTitle, ui::Icon::Information,
                                                  ui::Button::Ok | ui::Button::Abort, ui::Button::Ok);
                if (b == ui::Button::Abort)
                    break;
                continue;
            }
            removeMemberItem(item);
        }
    }
    updateTotal();
    btRemoveMember->setEnabled(!ListViewMembers->selectedItems().isEmpty());
    setChanged();
}

// --- Member Of -------------------------------------------------------------------------------

void TfrmGroupView::LoadMemberOf()
{
    if (!m_generalLoaded)
        LoadGeneral();
    ListViewMemberOf->clear();
    m_loadedMemberOf.clear();
    m_group->GetInfoEx({QStringLiteral("memberOf")});
    ads::PropertyEntry e;
    QSet<QString> seen;
    if (ads::succeeded(m_group->GetPropertyItem(QStringLiteral("memberOf"), &e))) {
        for (const QVariant &v : e.values) {
            const QString dn = v.toString();
            if (seen.contains(dn.toLower()))
                continue;
            seen.insert(dn.toLower());
            QString name, folder;
            int token = 0;
            GetGroupInfo(ConnectionContext().ServerPrefix, dn, name, token, folder);
            auto *item = new QTreeWidgetItem(ListViewMemberOf, {name, folder});
            item->setData(0, Qt::UserRole, dn);
            item->setData(0, Qt::UserRole + 1, token);
            m_loadedMemberOf << dn;
        }
    }
    m_memberOfLoaded = true;
    lbBuiltinMemberOf->setVisible(m_facts.Builtin);
    btAddMemberOf->setEnabled(!m_facts.Builtin);
    ListViewMemberOf->setEnabled(!m_facts.Builtin);
    btRemoveMemberOf->setEnabled(false);
}

void TfrmGroupView::btAddMemberOfClick()
{
    QStringList chosen;
    if (pickerSlot()) {
        QStringList current;
        for (int i = 0; i < ListViewMemberOf->topLevelItemCount(); ++i)
            current << ListViewMemberOf->topLevelItem(i)->data(0, Qt::UserRole).toString();
        if (!pickerSlot()(this, current, m_facts.Name, &chosen))
            return;
    } else {
        query::FindRequest req;
        req.scope = query::FindScope::UsersAndGroups;
        req.showLastLogon = false;
        query::FindResult found;
        if (!query::FindUser(this, req, &found) || !found.isGroup())
            return;
        chosen << found.distinguishedName;
    }
    for (const QString &dn : chosen)
        addMemberOf(dn);
}

bool TfrmGroupView::addMemberOf(const QString &groupDn)
{
    if (!m_memberOfLoaded)
        LoadMemberOf();
    if (groupDn.compare(m_dn, Qt::CaseInsensitive) == 0) {
        ui::Prompt::information(this, kNotItself, kAppTitle);
        return false;
    }
    for (int i = 0; i < ListViewMemberOf->topLevelItemCount(); ++i)
        if (ListViewMemberOf->topLevelItem(i)->data(0, Qt::UserRole).toString().compare(groupDn, Qt::CaseInsensitive) == 0)
            return false;
    QString name, folder;
    int token = 0;
    try {
        GetGroupInfo(ConnectionContext().ServerPrefix, groupDn, name, token, folder);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
        return false;
    }
    auto *item = new QTreeWidgetItem(ListViewMemberOf, {name, folder});
    item->setData(0, Qt::UserRole, groupDn);
    item->setData(0, Qt::UserRole + 1, token);
    m_leave.removeIf([&](const QString &d) { return d.compare(groupDn, Qt::CaseInsensitive) == 0; });
    if (!m_loadedMemberOf.contains(groupDn, Qt::CaseInsensitive) && !m_join.contains(groupDn, Qt::CaseInsensitive))
        m_join << groupDn;
    m_memberOfChanged = true;
    setChanged();
    return true;
}

void TfrmGroupView::btRemoveMemberOfClick()
{
    QTreeWidgetItem *item = ListViewMemberOf->currentItem();
    if (!item || !item->isSelected())
        return;
    if (!ui::Prompt::question(this, QStringLiteral("Do you want to remove \"%1\" from the selected group(s)?").arg(m_facts.Name), kAppTitle))
        return;
    const QString dn = item->data(0, Qt::UserRole).toString();
    m_join.removeIf([&](const QString &d) { return d.compare(dn, Qt::CaseInsensitive) == 0; });
    if (m_loadedMemberOf.contains(dn, Qt::CaseInsensitive) && !m_leave.contains(dn, Qt::CaseInsensitive))
        m_leave << dn;
    delete item;
    m_memberOfChanged = true;
    setChanged();
}

// --- Managed By ------------------------------------------------------------------------------

void TfrmGroupView::LoadManagedBy()
{
    if (!m_generalLoaded)
        LoadGeneral();
    TGroupDialogBase::LoadManagedBy();
}

// --- Apply, OK, Cancel -----------------------------------------------------------------------

bool TfrmGroupView::btApplyClick()
{
    return applyChanges([this] {
        // General: only the fields that were edited.
        bool general = stageNameFields();
        if (m_notesModified) {
            stageText(QStringLiteral("info"), memoNotes->toPlainText(), true);
            general = true;
        }
        if (general) {
            CheckADSIResult(m_group->SetInfo());
            m_descriptionModified = m_mailModified = m_notesModified = false;
        }

        // Members: one modify with the added and deleted values.
        if (!m_changes.isEmpty()) {
            const TApplyResult r = ApplyMembershipChanges(m_dn, m_changes.additions(), m_changes.removals());
            m_changes.commit();
            QStringList notes;
            for (const QString &d : r.alreadyThere)
                notes << QStringLiteral("\"%1\" was a member already.").arg(d);
            for (const QString &d : r.alreadyGone)
                notes << QStringLiteral("\"%1\" was no longer a member.").arg(d);
            if (!notes.isEmpty())
                ui::Prompt::information(this, notes.join(QStringLiteral("\r\n")), kAppTitle);
        }

        // Member Of: leave, then join; an error stops the rest.
        if (m_memberOfLoaded && m_memberOfChanged) {
            const QString prefix = ConnectionContext().ServerPrefix;
            while (!m_leave.isEmpty()) {
                RemoveGroupMember(prefix + ads::escapePathDn(m_leave.first()), m_dn);
                m_loadedMemberOf.removeIf([&](const QString &d) { return d.compare(m_leave.first(), Qt::CaseInsensitive) == 0; });
                m_leave.removeFirst();
            }
            while (!m_join.isEmpty()) {
                AddGroupMember(prefix + ads::escapePathDn(m_join.first()), m_dn);
                m_loadedMemberOf << m_join.takeFirst();
            }
            m_memberOfChanged = false;
        }
    });
}

void TfrmGroupView::btOKClick()
{
    if (btApply->isEnabled() && !btApplyClick())
        return;
    btApply->setEnabled(false);
    m_closing = true; // ends a members load still running
    accept();
}

bool TfrmGroupView::confirmClose()
{
    if (!btApply->isEnabled())
        return true;
    QApplication::beep();
    return ui::Prompt::question(this, QStringLiteral("You have made changes. Do you want to discard them?"), kAppTitle);
}

void TfrmGroupView::btCancelClick() { reject(); }

void TfrmGroupView::reject()
{
    if (!confirmClose())
        return;
    m_closing = true;
    btApply->setEnabled(false);
    QDialog::reject();
}

void TfrmGroupView::closeEvent(QCloseEvent *event)
{
    if (btApply->isEnabled() && !confirmClose()) {
        event->ignore();
        return;
    }
    m_closing = true;
    btApply->setEnabled(false);
    QDialog::closeEvent(event);
}

} // namespace groups
