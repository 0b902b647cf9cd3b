#pragma once
// The property window of a query-based distribution group (TfrmDistributionDynamicGroupView):
// "General" (with the group's filter and base), "Members" (a preview of the filter run below
// the base on TEnumMembersThread), "Managed By", "Securty" and "RAW Data". It writes only
// managedBy, description and mail.
#include "groups/unEnumMembersThread.h"
#include "groups/unGroupDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

namespace groups {

class TfrmDistributionDynamicGroupView : public TGroupDialogBase {
    Q_OBJECT
public:
    TfrmDistributionDynamicGroupView(const QString &groupDn, const QString &name, QWidget *parent = nullptr);
    ~TfrmDistributionDynamicGroupView() override;

    void LoadGeneral();
    void btStartClick();
    void btStopClick();
    bool btApplyClick();
    void btOKClick();
    void btCancelClick();
    void sbMembersToExcelClick();

    bool enumerationRunning() const { return m_thread != nullptr; }
    bool enumerationFinished() const { return m_finished; }
    QString lastWorkbook() const { return m_lastWorkbook; }

    QWidget *tsGeneral, *tsMembers;
    QLineEdit *ebmsExchDynamicDLBaseDN;
    QPlainTextEdit *TntMemoLDAPquery;
    QTreeWidget *lvMembers;
    QLabel *lbTotalMembers, *lbMembersError;
    QPushButton *btStart, *btStop;
    QToolButton *sbMembersToExcel;

signals:
    // The preview ended (normally, stopped or failed).
    void enumerationEnded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void tabChanged(int index);
    void stopEnumeration();
    void memberFound(const TPreviewMember &m);
    void threadEnded(const QString &error);

    QString m_canonicalName, m_sidText;
    QPointer<TEnumMembersThread> m_thread;
    bool m_finished = false, m_loading = false;
    int m_lastTab = 0;
    QString m_lastWorkbook;
};

} // namespace groups
