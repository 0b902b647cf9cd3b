#pragma once
// The security views of the property dialog: the Security tab (who may do what, per
// trustee), the mailbox rights viewer (TfrmPermitions) and the advanced view
// (TfrmAdvancedAttributes: every entry, the audit entries, the owner, the raw fields).
// None of them writes anything.
#include "platform/adsi/adssecurity.h"
#include "userprop/unSecurityLogic.h"

#include <QDialog>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QTreeWidget;

namespace userprop {

// Column-header sorting of the views: a second click on a column reverses its order.
void enableHeaderSort(QTreeWidget *list);

// The trustee list and the rights of the selected trustee (Security tab, mailbox rights).
class TTrusteeRightsView : public QWidget {
    Q_OBJECT
public:
    TTrusteeRightsView(const char *listName, const QList<RightRow> &rows, QWidget *parent = nullptr);
    // Builds the rows from the DACL entries, relabels and sorts them, selects the first.
    void setEntries(const QList<ads::AccessControlEntry> &entries, const SidLookup &lookup);
    void clear();
    void select();

    QTreeWidget *lvTrustees;
    QLabel *lbPermissions;
    QTreeWidget *lvPermitions;
    const QList<TrusteeSummary> &summaries() const { return m_rows; }

private:
    QList<RightRow> m_rights;
    QList<TrusteeSummary> m_rows;
};

// The Security tab page of the property dialog.
class TUserSecurityPage : public QWidget {
    Q_OBJECT
public:
    explicit TUserSecurityPage(QWidget *parent = nullptr);
    // Reads ntSecurityDescriptor of the user and fills the lists.
    void load(const ads::ObjectPtr &user);
    void btAdvancedClick();

    QLabel *lbNoaccess;
    TTrusteeRightsView *view;
    QPushButton *btAdvanced;
    bool readable() const { return m_readable; }
    // The descriptor read (its DACL entries in ACL order), for the advanced view.
    const ads::SecurityDescriptor &descriptor() const { return m_sd; }

private:
    ads::ObjectPtr m_user;
    ads::SecurityDescriptor m_sd;
    bool m_readable = false;
};

class TfrmAdvancedAttributes : public QDialog {
    Q_OBJECT
public:
    enum Mode { DirectoryObject, Mailbox };
    TfrmAdvancedAttributes(const ads::ObjectPtr &object, const ads::SecurityDescriptor &sd, Mode mode,
                           QWidget *parent = nullptr);
    // Reads the audit entries (owner, group, DACL and SACL asked for) the first time.
    void loadAuditing();
    void sbToExcelClick();
    QString lastWorkbook() const { return m_lastWorkbook; }

    QTabWidget *pcAdvanced;
    QTreeWidget *lvPermissions, *lvAuditing, *lvRaw;
    QLabel *lbAuditNoAccess;
    QLineEdit *ebOwner, *ebOwnerGroup;
    QWidget *pnlRawHeader;
    QLabel *lbRevision, *lbControl, *lbOwner, *lbGroup, *lbOwnerDefaulted, *lbGroupDefaulted;
    QToolButton *sbToExcel;

private:
    void fillRaw();
    ads::ObjectPtr m_object;
    ads::SecurityDescriptor m_sd;
    Mode m_mode;
    bool m_auditLoaded = false, m_auditRead = false;
    ads::AccessControlList m_sacl;
    QString m_lastWorkbook;
};

class TfrmPermitions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPermitions(const ads::ObjectPtr &user, QWidget *parent = nullptr);
    void btAdvancedClick();

    QLabel *lbLimitedRights, *lbNoaccess;
    TTrusteeRightsView *view;
    QPushButton *btAdvanced, *btClose;

private:
    ads::ObjectPtr m_user;
    ads::SecurityDescriptor m_sd;
    bool m_readable = false;
};

} // namespace userprop
