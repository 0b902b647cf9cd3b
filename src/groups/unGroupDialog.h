#pragma once
// What the two group property windows share: the bound group and its writable set, the
// tab control with the "Managed By", "Securty" and "RAW Data" pages, the date and USN labels
// of "General", the OK / Cancel / "&Apply" row, and the writes both make.
#include "groups/unGroupPages.h"
#include "userprop/unRawDataView.h"
#include "platform/adsi/adsobject.h"

#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <functional>

namespace groups {

class TGroupDialogBase : public QDialog {
    Q_OBJECT
public:
    QStringList writable() const { return m_writable; }

    QTabWidget *pcGroup;
    QLabel *lbGroupName;
    QLineEdit *ebDescription, *ebEMail;
    TManagedByPage *tsManagedBy;
    TSecurityPage *tsSecurity;
    userprop::TRawDataPage *tsRAW;
    QLabel *lbCreated, *lbChanged, *lbCreatedCaption, *lbChangedCaption, *lbuSNCreated, *lbuSNChanged;
    QPushButton *btOK, *btCancel, *btApply;

protected:
    TGroupDialogBase(const QString &groupDn, const QString &name, const QString &objectName, QWidget *parent);

    // Adds the shared pages after the window's own ones.
    void addSharedTabs();
    // The button row and the window layout around the tab control.
    void finishLayout(int width, int height);
    // The name label and the description and e-mail editors of "General" (typing in them
    // enables "&Apply").
    void createNameFields(QWidget *page);
    // Fills them from the cached cn, description and mail (an edited one keeps what was typed),
    // enabled only when writable, with the catalogue's maximum lengths.
    void fillNameFields();
    // Stages the edited description (as typed) and e-mail (trimmed); true when any was.
    bool stageNameFields();
    // The date and USN rows, added to form.
    void addDateRows(QFormLayout *form, QWidget *page);
    // Binds the group on first use and reads its writable set (errors leave the set empty);
    // a failed bind raises EADSIException.
    void bindGroup();
    // Reads whenCreated, whenChanged and the USNs into their labels (a label and its caption
    // are hidden when the value cannot be read).
    void loadDates();
    // The save question when the option asks for it; true to go on.
    bool confirmSave();
    // Stages a text attribute: Put of the text (trimmed when asked) or a clear when the trimmed
    // text is empty. Raises EADSIException when refused.
    void stageText(const QString &attribute, const QString &text, bool trimmed);
    // Writes managedBy when the page changed it (one SetInfo). Raises EADSIException.
    void writeManager();
    // After a successful write: the other windows reload, Apply is disabled.
    void written();
    // Apply's frame: the save question, then writeOwn (the window's own writes, staged and
    // set), the manager and the dates again. An error is shown and leaves Apply enabled.
    bool applyChanges(const std::function<void()> &writeOwn);
    // Loads page when it is one of the shared ones: "Managed By" on each showing unless its
    // edits are pending, "Securty" on each showing (or on the first only, securityOnce),
    // "RAW Data" on each showing. False for the window's own pages.
    bool loadSharedTab(QWidget *page, bool securityOnce);
    // Reads "Managed By" (the query-based window; the group window reads "General" first).
    virtual void LoadManagedBy();

    QString m_dn;
    ads::ObjectPtr m_group;
    QStringList m_writable;
    bool m_descriptionModified = false, m_mailModified = false, m_securityLoaded = false;
};

// A label with its control name.
QLabel *named(QLabel *label, const char *name);

// The maximum length of a group attribute from the catalogue (32767 when it has none).
int CatalogueMaxLength(const char *ldapName);
// The SID text of the cached objectSID of an object; empty when absent.
QString CachedSidText(const ads::ObjectPtr &object);

} // namespace groups
