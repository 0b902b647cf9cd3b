#pragma once
// Tab pages both group windows share: "Managed By" and "Securty" (the trustee summary of the
// group's DACL), plus small helpers. Their "RAW Data" page is userprop::TRawDataPage.
#include "platform/adsi/adsobject.h"
#include "platform/adsi/adssecurity.h"
#include "platform/security/descriptor.h"
#include "userprop/unSecurityLogic.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

namespace groups {

// A text value read from the object's cache; empty when absent.
QString CachedText(const ads::ObjectPtr &object, const QString &name);

// Opening the user property dialog of a manager (placed beside cascadeFrom). Plugged in by the
// program's wiring; without it the "Properties" buttons stay disabled.
using UserPropertiesOpener = std::function<void(QWidget *cascadeFrom, const QString &dn)>;
void setUserPropertiesOpener(UserPropertiesOpener opener);
const UserPropertiesOpener &userPropertiesOpener();

// "Managed By": the manager's name and details, "Change...", "Properties", "Clear", and the
// read-only "Manager can update membership list" box (from the group's DACL).
class TManagedByPage : public QWidget {
    Q_OBJECT
public:
    explicit TManagedByPage(QWidget *parent = nullptr);

    // Reads managedBy of the group and the manager's details. Raises EADSIException when the
    // manager cannot be bound.
    void load(const ads::ObjectPtr &group, const QString &groupDn, bool canWrite);
    QString loadedManager() const { return m_loaded; }
    QString currentManager() const { return m_current; }
    bool modified() const { return m_modified; }
    void setModified(bool m) { m_modified = m; }
    // After Apply wrote it.
    void markSaved() { m_loaded = m_current; m_modified = false; }
    // The name box shows the manager's canonical name instead of its cn (the query-based
    // group window); the cn stays in lbManagedByCN.
    void setShowCanonicalName(bool on) { m_showCanonical = on; }

    void btChangeClick();
    void btClearClick();
    void btPropertiesClick();

    QLineEdit *ebManagerName;
    QLabel *lbManagerOffice, *lbManagerCity, *lbManagerState, *lbManagerCountryRegion, *lbManagerPhoneNumber,
        *lbManagerFaxN, *lbManagedByCN;
    QPlainTextEdit *memoMenagerStreet;
    QCheckBox *cbManagerCanUpdate;
    QPushButton *btChangeManager, *btManagerProperties, *btClearManager;

signals:
    void changed();

private:
    void clearFields();
    void showManager(const QString &dn);
    QString m_groupDn, m_loaded, m_current;
    bool m_modified = false;
    bool m_canWrite = false;
    bool m_showCanonical = false;
};

// Opening the advanced security view (every entry, audit entries, owner, raw fields) of an
// object with the descriptor read. Plugged in by the program's wiring, which knows the view;
// without it "Advanced..." stays disabled.
using AdvancedSecurityOpener =
    std::function<void(QWidget *parent, const ads::ObjectPtr &object, const ads::SecurityDescriptor &sd)>;
void setAdvancedSecurityOpener(AdvancedSecurityOpener opener);
const AdvancedSecurityOpener &advancedSecurityOpener();

// "Securty": who is allowed or denied what on the group.
class TSecurityPage : public QWidget {
    Q_OBJECT
public:
    explicit TSecurityPage(QWidget *parent = nullptr);
    void load(const ads::ObjectPtr &group);
    void lvSecuritySelect();
    void btAdvancedClick();
    bool readable() const { return m_readable; }
    // The trustees in the order listed, with their captions and masks.
    const QList<userprop::TrusteeSummary> &trustees() const { return m_trustees; }

    QLabel *lbNoAccess, *lbInheritance, *lbPermissions;
    QTreeWidget *lvSecurity, *lvPermitions;
    QPushButton *btAdvanced;

private:
    ads::ObjectPtr m_group;
    ads::SecurityDescriptor m_sd;
    bool m_readable = false;
    QList<userprop::TrusteeSummary> m_trustees;
};

} // namespace groups
