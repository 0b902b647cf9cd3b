#include "groups/unDynamicGroupView.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "main/unCatalogue.h"
#include "options/unOptions.h"
#include "platform/security/sid.h"
#include "userprop/unRawDataView.h"
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

} // namespace

TfrmDistributionDynamicGroupView::TfrmDistributionDynamicGroupView(const QString &groupDn, const QString &name, QWidget *parent)
    : TGroupDialogBase(groupDn, name, QStringLiteral("TfrmDistributionDynamicGroupView"), parent)
{

    tsGeneral = new QWidget;
    tsGeneral->setObjectName(QStringLiteral("tsGeneral"));
    createNameFields(tsGeneral);
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
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Description:"), ebDescription);
    form->addRow(QStringLiteral("E-mail:"), ebEMail);
    auto *dates = new QFormLayout;
    addDateRows(dates, tsGeneral);
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
    lvMembers->setAccessibleName(QStringLiteral("Members"));
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

    tsManagedBy->setShowCanonicalName(true);
    pcGroup->addTab(tsGeneral, QStringLiteral("General"));
    pcGroup->addTab(tsMembers, QStringLiteral("Members"));
    addSharedTabs();
    finishLayout(520, 560);

    connect(btOK, &QPushButton::clicked, this, &TfrmDistributionDynamicGroupView::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmDistributionDynamicGroupView::btCancelClick);
    connect(btApply, &QPushButton::clicked, this, [this] { btApplyClick(); });
    connect(btStart, &QPushButton::clicked, this, &TfrmDistributionDynamicGroupView::btStartClick);
    connect(btStop, &QPushButton::clicked, this, &TfrmDistributionDynamicGroupView::btStopClick);
    connect(sbMembersToExcel, &QToolButton::clicked, this, &TfrmDistributionDynamicGroupView::sbMembersToExcelClick);
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
        else
            loadSharedTab(page, true);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
    }
}

void TfrmDistributionDynamicGroupView::LoadGeneral()
{
    QScopedValueRollback<bool> guard(m_loading, true);
    bindGroup();
    m_group->GetInfoEx({QStringLiteral("cn"), QStringLiteral("description"), QStringLiteral("mail"), QStringLiteral("info"),
                        QStringLiteral("canonicalName"), QStringLiteral("objectSID")});
    fillNameFields();
    m_canonicalName = CachedText(m_group, QStringLiteral("canonicalName"));
    m_sidText = CachedSidText(m_group);
    loadDates();
    m_group->GetInfoEx({QStringLiteral("msExchDynamicDLBaseDN"), QStringLiteral("msExchDynamicDLFilter")});
    ebmsExchDynamicDLBaseDN->setText(CachedText(m_group, QStringLiteral("msExchDynamicDLBaseDN")));
    TntMemoLDAPquery->setPlainText(CachedText(m_group, QStringLiteral("msExchDynamicDLFilter")));
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
    const QString path = userprop::ListToWorkbook(this, windowTitle(), lvMembers, QStringLiteral("Members"));
    if (!path.isEmpty())
        m_lastWorkbook = path;
}

// --- Apply ------------------------------------------------------------------------------------

bool TfrmDistributionDynamicGroupView::btApplyClick()
{
    // Only these three attributes are ever written here: description, mail and the manager.
    return applyChanges([this] {
        if (stageNameFields())
            CheckADSIResult(m_group->SetInfo());
        m_descriptionModified = m_mailModified = false;
    });
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
