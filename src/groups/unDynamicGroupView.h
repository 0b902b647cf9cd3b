#pragma once
// The property window of a query-based distribution group (TfrmDistributionDynamicGroupView):
// "General" (with the group's filter and base), "Members" (a preview of the filter run below
// the base on TEnumMembersThread), "Managed By", "Securty" and "RAW Data". It writes only
// managedBy, description and mail.
#include "groups/unEnumMembersThread.h"
#include "groups/unGroupPages.h"
#include "platform/adsi/adsobject.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

namespace groups {

class TfrmDistributionDynamicGroupView : public QDialog {
    Q_OBJECT
public:
    TfrmDistributionDynamicGroupView(const QString &groupDn, const QString &name, QWidget *parent = nullptr);
    ~TfrmDistributionDynamicGroupView() override;

    void LoadGeneral();
    void btStartClick();
    void btStopClick();
    void LoadManagedBy();
    bool btApplyClick();
    void btOKClick();
    void btCancelClick();
    void sbMembersToExcelClick();

    bool enumerationRunning() const { return m_thread != nullptr; }
    bool enumerationFinished() const { return m_finished; }
    QString lastWorkbook() const { return m_lastWorkbook; }
    QStringList writable() const { return m_writable; }

    QTabWidget *pcGroup;
    QWidget *tsGeneral, *tsMembers;
    TManagedByPage *tsManagedBy;
    TSecurityPage *tsSecurity;
    TRawDataPage *tsRAW;
    QLabel *lbGroupName, *lbCreated, *lbChanged, *lbCreatedCaption, *lbChangedCaption, *lbuSNCreated, *lbuSNChanged;
    QLineEdit *ebDescription, *ebEMail, *ebmsExchDynamicDLBaseDN;
    QPlainTextEdit *TntMemoLDAPquery;
    QTreeWidget *lvMembers;
    QLabel *lbTotalMembers, *lbMembersError;
    QPushButton *btStart, *btStop;
    QToolButton *sbMembersToExcel;
    QPushButton *btOK, *btCancel, *btApply;

signals:
    // The preview ended (normally, stopped or failed).
    void enumerationEnded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void tabChanged(int index);
    void loadDates();
    void stopEnumeration();
    void memberFound(const TPreviewMember &m);
    void threadEnded(const QString &error);

    QString m_dn;
    ads::ObjectPtr m_group;
    QStringList m_writable;
    QString m_canonicalName, m_sidText;
    QPointer<TEnumMembersThread> m_thread;
    bool m_finished = false, m_loading = false, m_securityLoaded = false;
    bool m_descriptionModified = false, m_mailModified = false;
    int m_lastTab = 0;
    QString m_lastWorkbook;
};

} // namespace groups
