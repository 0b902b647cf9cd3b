#pragma once
// The quick property panel below the grid (pcFastUser): the common attributes of the selected
// user on six tabs, edited in place and written back with Apply.
//
// QuickPanelLogic holds the directory side without widgets (what a user's tabs show, which
// attributes the account may write, writing a tab's changes in one modify); TQuickPanel is
// the widget the main window embeds:
//   auto *panel = new TQuickPanel(this);
//   panel->setConnection(listingConnection);      // server prefix and credentials
//   panel->setUserList(userList);                 // Apply updates records and grid rows
//   panel->setBusyProvider([this] { return Busy; });
//   toolbar->addAction(panel->ActionApplay());
//   userSelected -> panel->LoadPanel(userObject)  (raises EADSIException)
//   object-changed notice -> panel->handleNotice(code, dn)
#include "main/unUserListing.h"
#include "platform/adsi/adsobject.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class TPictureTab;

namespace quickpanel {

enum Tab : int { General = 0, Address, Telephones, Organization, Others, EditTabCount };

// The tab captions, in order (the sixth is "Picture").
QString tabCaption(int tab);

// One text control of the panel and the attribute it edits.
struct FieldDef {
    Tab tab;
    const char *control;   // objectName
    const char *attribute;
    int key;               // catalogue key (hints)
    int gridTag;           // grid column written back by Apply; NoGridColumn when none
    bool multiLine;
};
inline constexpr int NoGridColumn = -1000;
// The 22 text controls in load order (country, manager and direct reports are separate).
const std::vector<FieldDef> &fields();
// Index into fields() of an attribute, -1 when none.
int fieldIndex(const QString &attribute);
// The attributes a tab reads with GetInfoEx.
QStringList tabAttributes(Tab tab);

// What the panel shows for one user.
struct PanelData {
    QString dn;
    QSet<QString> allowed;          // upper-cased allowedAttributesEffective
    std::vector<QString> texts;     // per fields() entry; empty when not set
    std::vector<int> counts;        // per fields() entry: how many values the attribute holds
    int countryIndex = -1;          // index into the country table, -1 for none
    QString managerName;
    QString managerDn;
    struct Report { QString name, dn; };
    std::vector<Report> directReports;

    bool writable(const QString &attribute) const { return allowed.contains(attribute.toUpper()); }
};

// Shared with the user property dialog.
// A value that can be shown as one text; false for several values or a missing one.
bool singleText(const QVariant &v, QString *text);
// Every value (one or several) as text.
QStringList textList(const QVariant &v);
// The Modified state of an edit or memo (set by typing, cleared by code), and its text as
// the directory keeps it (a memo's line breaks as CR LF).
bool isModified(QWidget *editor);
void clearModified(QWidget *editor);
QString textOf(QWidget *editor);
// What a one-value field shows for an attribute's values: one value as it is; several (the
// attribute is multi-valued in the schema) joined with "; ". *count: how many there are.
QString fieldText(const QVariant &v, int *count);
// Shows an attribute's text in an edit or memo and gives it the writable look. An edit of a
// single-valued text attribute gets the catalogue's maximum length (never shorter than the
// stored text, so nothing is cut). With several values (count > 1) the field is read-only
// whatever the rights, and its hint says so: typing there would replace values it cannot
// show one by one; they are edited in the other-values editor (a double click).
void fillEditor(QWidget *editor, const QString &attribute, const QString &text, bool writable, int count = 1);
// True when fillEditor showed several values in the field.
bool showsSeveralValues(const QWidget *editor);
// Calls open on a double click in the editor while it shows several values.
void openSeveralValuesOnDoubleClick(QWidget *editor, std::function<void()> open);
// The country-table index of a user whose c and countryCode are cached (c first, then the
// numeric code); -1 for none.
int readCountry(const ads::ObjectPtr &user);
// Stages c, co and countryCode of one country-table row.
ads::HRESULT putCountry(const ads::ObjectPtr &user, int countryIndex);
// The message shown when the directory refused a tab's write: the tab, the attributes and
// the directory's reason.
QString refusedTabMessage(const QString &tab, const QStringList &attributes, ads::HRESULT hr);
// The direct reports list of the Organization tabs (panel and property dialog): the name
// shown, the distinguished name in a hidden second column and as the hint of the selected row.
QTreeWidget *newDirectReportsList(QWidget *parent);

// Changes of one tab to write: texts by fields() index (untrimmed as typed) and, for the
// Address tab, a newly chosen country (-1: unchanged).
struct TabChanges {
    std::vector<std::pair<int, QString>> texts;
    int countryIndex = -1;
    bool empty() const { return texts.empty() && countryIndex < 0; }
};

struct ApplyResult {
    std::vector<Tab> written;    // tabs whose SetInfo succeeded, in order
    int failedTab = -1;          // the tab whose write failed, -1 when none
    QString error;               // the message to show for the failure
    int setInfoCalls = 0;
};

class QuickPanelLogic {
public:
    // Binds distinguished names for the manager and report names.
    explicit QuickPanelLogic(userlist::ListingConnection connection = {});
    void setConnection(const userlist::ListingConnection &c) { connection_ = c; }

    // Reads everything the five edit tabs show. Raises EADSIException when a tab's batch read
    // fails; an unreadable allowedAttributesEffective leaves the writable set empty.
    PanelData load(const ads::ObjectPtr &user) const;

    // Writes the tabs in order, one modify (SetInfo) per tab with changes; stops at the first
    // failing tab. An emptied (blank) text clears its attribute.
    static ApplyResult apply(const ads::ObjectPtr &user, const std::array<TabChanges, EditTabCount> &changes);

    // The cn of the object at dn (empty when it cannot be read).
    QString cnOf(const QString &dn) const;

    // Writes the manager at once: dn set, or cleared when empty. Raises EADSIException.
    static void writeManager(const ads::ObjectPtr &user, const QString &newDn);

    // A fresh binding of the same object with the panel's credentials (drops changes a
    // failed write left staged); null when it cannot be bound.
    ads::ObjectPtr reopen(const ads::ObjectPtr &user) const;

    // The record field a grid column shows (for Apply's write-back); false when none.
    static bool recordField(int gridTag, userlist::Field *field);

private:
    userlist::ListingConnection connection_;
};

} // namespace quickpanel

// The panel widget: path label, the tabs (pcFastUser) and the Apply button.
class TQuickPanel : public QWidget {
    Q_OBJECT
public:
    explicit TQuickPanel(QWidget *parent = nullptr);
    ~TQuickPanel() override;

    void setConnection(const userlist::ListingConnection &c);
    void setUserList(userlist::TUserList *list) { userList_ = list; }
    void setBusyProvider(std::function<bool()> busy) { busy_ = std::move(busy); }
    // The manager chooser: gets the current name and dn, returns false on Cancel. Without
    // one, btManager stays disabled.
    void setManagerPicker(std::function<bool(QWidget *, QString &name, QString &dn)> picker);
    // The other-values editor for the "Other..." buttons: user, attribute, writable, key.
    // Without one, those buttons stay disabled.
    void setOtherValuesEditor(std::function<void(QWidget *, const ads::ObjectPtr &, const QString &, bool, int)> editor);
    // Whether "Word.Application" is registered (tbUserToWord follows).
    void setWordAvailable(bool on) { wordAvailable_ = on; }

    QAction *ActionApplay() const { return actionApplay_; }
    QTabWidget *tabs() const { return pcFastUser_; }
    TPictureTab *pictureTab() const { return picture_; }
    ads::ObjectPtr currentUser() const { return currentUser_; }
    // The distinguished name of the user shown (empty when none).
    QString currentDn() const { return currentUser_ ? data_.dn : QString(); }
    const QSet<QString> &allowedAttributes() const { return data_.allowed; }
    bool loadingPanel() const { return loadingPanel_; }
    bool applyEnabled() const;
    // What the last Apply wrote (tabs, SetInfo calls, the failure).
    const quickpanel::ApplyResult &lastApplyResult() const { return lastApply_; }

    // Binds the panel to a user and shows it. Raises EADSIException (the panel stays hidden).
    void LoadPanel(const ads::ObjectPtr &user);
    // Hides the panel and drops the user (no user selected, new listing, reconnect).
    void hidePanel();
    // Apply: asks first when ConfirmWrites is on; writes the changed tabs.
    void ActionApplayExecute();
    void SetApplyEnabled(bool on);
    void SetUserButtons(bool on);
    // The object-changed notice for the shown user: code 0 reloads the panel, code 1 the
    // picture tab (when it is the active one).
    void handleNotice(int code, const QString &dn);

signals:
    // Apply or manager wrote the user (the window sends the notice to other windows itself
    // through the bus; this is for the main window's own follow-ups).
    void userWritten(const QString &dn);
    // The user-level buttons: tbUserProperties (and tbUserToWord / sbUserToWord).
    void userButtonsChanged(bool propertiesEnabled, bool wordEnabled);
    // The user's property dialog is wanted (path label click, direct report double click).
    void userPropertiesRequested(const QString &dn);
    void applyEnabledChanged(bool on);

private:
    void build();
    QWidget *buildTab(quickpanel::Tab tab);
    void fillFromData();
    void setEditorWritable(QWidget *w, bool writable);
    void UserValueChange();
    void cbCountryChange();
    void btManagerClick();
    void otherClick(const QString &attribute, int key);
    // Reads one field's attribute again and shows it (after the other-values editor).
    void refreshField(int index);
    // Binds the shown user afresh after a failed write, so that the refused changes do not
    // stay staged for the next one. Returns the object now in use.
    ads::ObjectPtr rebindUser();
    bool busy() const { return busy_ && busy_(); }
    bool eventFilter(QObject *watched, QEvent *event) override;

    quickpanel::QuickPanelLogic logic_;
    userlist::TUserList *userList_ = nullptr;
    std::function<bool()> busy_;
    std::function<bool(QWidget *, QString &, QString &)> managerPicker_;
    std::function<void(QWidget *, const ads::ObjectPtr &, const QString &, bool, int)> otherEditor_;
    bool wordAvailable_ = false;

    ads::ObjectPtr currentUser_;
    quickpanel::PanelData data_;
    bool loadingPanel_ = false;
    int loadedCountry_ = -1;
    quickpanel::ApplyResult lastApply_;

    QLabel *lbUserADPath_ = nullptr;
    QToolButton *spUserProperiesDetail_ = nullptr;
    QLabel *lbFastUserDN_ = nullptr;
    QLabel *lbManagerDN_ = nullptr;
    QTabWidget *pcFastUser_ = nullptr;
    QPushButton *btApplay_ = nullptr;
    QAction *actionApplay_ = nullptr;
    std::vector<QWidget *> editors_; // per quickpanel::fields()
    QComboBox *cbCountry_ = nullptr;
    QLineEdit *ebManager_ = nullptr;
    QPushButton *btManager_ = nullptr;
    QTreeWidget *lvDirectReports_ = nullptr;
    std::vector<std::pair<QPushButton *, QString>> otherButtons_;
    TPictureTab *picture_ = nullptr;
};
