#pragma once
// The user property dialog (TfrmUserProp): the full editor of one user object on twelve
// tabs, non-modal, one window per user. Tabs are read the first time they are shown; Apply
// writes each loaded tab with one modify and tells the other windows that the user changed.
//
//   userprop::UserPropConnection c = userprop::UserPropConnection::fromContext();
//   TfrmUserProp *dlg = userprop::openUserProperties(nullptr, dn, c);   // raises EADSIException
//
// openUserProperties brings an open dialog of the same user (same distinguished name) to the
// front instead of opening a second one.
#include "platform/adsi/adsobject.h"
#include "userprop/memberof.h"
#include "userprop/unAccountLogic.h"

#include <QDialog>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QScrollBar;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TPictureTab;
class TQelADSISearching;

namespace userprop {
class TRawDataPage;
class TUserSecurityPage;

// The user picker (Find User) below the search root; false on Cancel.
bool pickUser(QWidget *parent, const UserPropConnection &c, QString &name, QString &dn);
// The picker for users, or users and groups, optionally only mailbox owners (its box
// checked and locked); kind: 0 user, 9 group.
bool pickRecipient(QWidget *parent, const UserPropConnection &c, bool groupsToo, bool mailboxOnly, QString &name,
                   QString &dn, int &kind);

} // namespace userprop

class TfrmUserProp : public QDialog {
    Q_OBJECT
public:
    enum Tab {
        General, Address, Account, Profile, Telephones, Organization, MemberOf, ExchangeGeneral, ExchangeAdvanced,
        Picture, Security, RawData, TabCount
    };

    explicit TfrmUserProp(QWidget *parent = nullptr);
    ~TfrmUserProp() override;

    // Binds the user and loads General and Account. Raises EADSIException when the bind fails.
    void Open(const QString &userDn, const userprop::UserPropConnection &connection);

    // --- state for openers and tests ---
    QString userDn() const { return dn_; }
    QString displayName() const { return displayName_; }
    const QSet<QString> &writableSet() const { return allowed_; }
    bool writable(const QString &attribute) const { return allowed_.contains(attribute.trimmed().toUpper()); }
    bool tabLoaded(Tab t) const { return loaded_[t]; }
    bool hasMailbox() const { return hasMailbox_; }
    bool applyEnabled() const;
    QTabWidget *pages() const { return pcUserProp_; }
    QWidget *page(Tab t) const { return pages_[t]; }
    ads::ObjectPtr userObject() const { return user_; }
    const std::vector<userprop::MemberOfRow> &memberRows() const { return memberRows_; }
    // The hours as held for Apply (loaded and edited) and the workstation texts.
    const userprop::HoursArray &loadedHours() const { return hoursLoaded_; }
    const userprop::HoursArray &editedHours() const { return hoursEdited_; }
    bool hoursKnown() const { return hoursKnown_; }

    // --- handlers (public so that tests drive them as the controls do) ---
    void btApplyClick();      // returns with Apply still enabled when a step failed
    bool Apply();             // false when a validation or write stopped it
    void btOKClick();
    void btCancelClick();
    void showTab(Tab t);      // selects the page (loading it the first time)
    void handleNotice(int code, const QString &dn);
    void SetApplyEnabled(bool on);

    // Organization
    void btManagerChangeClick();
    void btManagerClearClick();
    void btManagerPropertiesClick();
    void lvDirectReportsDblClick(QTreeWidgetItem *item);
    void setManagerChoice(const QString &name, const QString &dn); // as the picker's OK does
    // Account
    void btLogonHoursClick();
    void btLogOnToClick();
    // Member Of
    void btAddGroupClick();
    void btRemoveGroupClick();
    void btSetPrimaryGroupClick();
    void addGroups(const QStringList &dns); // as TfrmSelectGroups' OK does
    // The "Other..." buttons: the other-values editor of the attribute.
    void btOtherClick(const QString &attribute, int key);
    // The mail-settings buttons of the Exchange tabs (by the button's object name): opens
    // the dialog modally, or hands it to the runner tests set (the runner drives it).
    void openMailDialog(const QString &button);
    static void setMailDialogRunner(std::function<void(QDialog *)> runner);

    // Sub-dialog hooks (tests replace the modal windows): the hours editor gets the edited
    // array and writability and returns false on Cancel; the workstations editor gets the
    // names and writability and returns false on Cancel; the group picker gets the DNs
    // shown and returns the chosen DNs (false on Cancel); the user picker gives name and DN.
    static void setHoursEditor(std::function<bool(QWidget *, userprop::HoursArray &, bool)> f);
    static void setWorkstationsEditor(std::function<bool(QWidget *, QStringList &, bool)> f);
    static void setGroupPicker(std::function<bool(QWidget *, const userprop::UserPropConnection &,
                                                  const QStringList &shown, const QString &userName,
                                                  QStringList &chosen)> f);
    static void setUserPicker(std::function<bool(QWidget *, const userprop::UserPropConnection &, QString &name,
                                                 QString &dn)> f);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Coupled {
        Tab tab;
        QString attribute;
        QWidget *editor;
    };

    void build();
    QWidget *buildGeneral();
    QWidget *buildAddress();
    QWidget *buildAccount();
    QWidget *buildProfile();
    QWidget *buildTelephones();
    QWidget *buildOrganization();
    QWidget *buildMemberOf();
    QWidget *buildExchangeGeneral();
    QWidget *buildExchangeAdvanced();
    QLineEdit *coupledEdit(Tab tab, const char *name, const char *attribute);
    QPlainTextEdit *coupledMemo(Tab tab, const char *name, const char *attribute);
    void openSeveralValues(QWidget *editor, const QString &attribute);
    void applyFonts();

    void loadTab(Tab t);
    void loadCoupled(Tab t);
    void loadGeneral();
    void refreshCreatedChanged();
    void loadAddress();
    void loadOrganization();
    void loadProfile();
    void loadExchangeGeneral();
    void loadExchangeAdvanced();
    void loadAccount();
    void loadMemberOf();
    bool readMailbox();
    void updateHomeFolderControls();

    // Save steps: false when the step stopped Apply (its message was shown).
    bool saveCoupled(Tab t, bool extraCountry = false);
    bool saveOrganization();
    bool saveProfile();
    bool saveExchangeGeneral();
    bool saveExchangeAdvanced();
    bool saveMemberOf();
    bool saveAccount();
    bool writeStep(Tab t, const QStringList &attributes); // SetInfo; shows a refusal
    void refused(Tab t, const QStringList &attributes, ads::HRESULT hr);
    void validationFailed(Tab t, QWidget *focus, const QString &text, int icon, int wrap = 0);
    void rebind();
    bool isGood(ads::HRESULT hr) const;

    void changed();
    void accountOptionClicked();
    void addMemberRow(const userprop::MemberOfRow &row);
    void lvMemberOfSelect();
    QString propertiesOpenerCaption() const;

    userprop::UserPropConnection conn_;
    ads::ObjectPtr user_;
    QString dn_;
    QString displayName_;
    QSet<QString> allowed_;
    bool loaded_[TabCount] = {};
    bool suppress_ = false;
    bool committed_ = false;
    bool hasMailbox_ = false;
    int loadedCountry_ = -1;
    std::vector<Coupled> coupled_;

    // Organization
    QString loadedManagerDn_;
    QString managerDn_;
    bool managerModified_ = false;
    // Exchange Advanced
    QVariant hideLoaded_;
    bool hideReadFailed_ = false;
    // Account
    quint32 uacLoaded_ = 0;
    bool uacKnown_ = false;
    bool mustChangeLoaded_ = false;
    bool lockedLoaded_ = false;
    bool accountReadOnly_ = false;
    userprop::WellKnownAccount wellKnown_ = userprop::WellKnownAccount::None;
    bool optionsChanged_ = false, expiryDateChanged_ = false, expiryModeChanged_ = false, cannotChangeChanged_ = false;
    QString upnSuffix_;
    userprop::HoursArray hoursLoaded_{};
    userprop::HoursArray hoursEdited_{};
    bool hoursKnown_ = true;   // false: the stored value had a wrong length
    bool hoursRead_ = false;
    bool hoursEditedHeld_ = false;
    QString workstationsLoaded_;
    QString workstationsNew_;
    bool workstationsRead_ = false;
    bool workstationsNewHeld_ = false;
    // Member Of
    std::vector<userprop::MemberOfRow> memberRows_;
    int primaryGroupId_ = 513;
    bool primaryModified_ = false;
    QStringList toAdd_, toRemove_;
    bool membershipChanged_ = false;

    QTabWidget *pcUserProp_ = nullptr;
    QWidget *pages_[TabCount] = {};
    QPushButton *btOK_ = nullptr, *btCancel_ = nullptr, *btApply_ = nullptr;
    // General
    QLabel *lbContainerName_ = nullptr, *lbCreated_ = nullptr, *lbChanged_ = nullptr, *lbCr_ = nullptr,
           *lbChan_ = nullptr, *lbuSNCreated_ = nullptr, *lbuSNChanged_ = nullptr;
    QComboBox *cbCountry_ = nullptr;
    // Organization
    QLineEdit *ebManager_ = nullptr;
    QLabel *lbManagerDN_ = nullptr;
    QPushButton *btManagerChange_ = nullptr, *btManagerProperties_ = nullptr, *btManagerClear_ = nullptr;
    QTreeWidget *lvDirectReports_ = nullptr;
    // Profile
    QLineEdit *ebProfilePath_ = nullptr, *ebLogonScript_ = nullptr, *ebLocalPath_ = nullptr, *ebConnectTo_ = nullptr;
    QRadioButton *rbLocalPath_ = nullptr, *rbConnect_ = nullptr;
    QComboBox *cbConnectTo_ = nullptr;
    // Exchange
    QLineEdit *ebMailboxstore_ = nullptr, *ebExchangeAlias_ = nullptr, *ebSimpleDisplayName_ = nullptr;
    QCheckBox *cbHideFromExchangeAddressLists_ = nullptr, *cbDowngradeHighPriorityMailBoundForX400_ = nullptr;
    // Account
    QLineEdit *ebUserLogonName_ = nullptr, *ebUserLogonNamePreWindowsDomain_ = nullptr,
              *ebUserLogonNamePreWindows_ = nullptr;
    QComboBox *cbebUserLogonNameDomain_ = nullptr;
    QPushButton *btLogonHours_ = nullptr, *btLogOnTo_ = nullptr;
    QCheckBox *cbAccountIsLockedOut_ = nullptr, *cbUserMustChangePasswordAtNextLogon_ = nullptr,
              *cbUserCannotChangePassword_ = nullptr;
    std::vector<std::pair<QCheckBox *, quint32>> optionBoxes_;
    QWidget *pnlAccOptions_ = nullptr;
    QScrollBar *sbVerticalMove_ = nullptr;
    QLabel *lbLastPassset_ = nullptr;
    QGroupBox *gbAccountExpires_ = nullptr;
    QRadioButton *rbNever_ = nullptr, *rbEndOf_ = nullptr;
    QDateEdit *dtpAccountExpires_ = nullptr;
    // Member Of
    QTreeWidget *lvMemberOf_ = nullptr;
    QLabel *lbPrimaryGroupDisplayName_ = nullptr, *lbPrimaryGroupDN_ = nullptr;
    QPushButton *btAddGroup_ = nullptr, *btRemoveGroup_ = nullptr, *btSetPrimaryGroup_ = nullptr;
    TPictureTab *picture_ = nullptr;
    userprop::TUserSecurityPage *security_ = nullptr;
    userprop::TRawDataPage *raw_ = nullptr;
    ads::ObjectPtr rawObject() const;
};

namespace userprop {

// The caption of a user's dialog: " <cn> Properties - Arvendel".
QString dialogCaption(const QString &cn);
// The open dialog of the user with this distinguished name (or ADsPath), compared without
// regard to case; null when none.
TfrmUserProp *findDialog(const QString &dnOrPath, const QString &pathPrefix = {});
// Every open dialog.
QList<TfrmUserProp *> openDialogs();
// Opens the user's dialog or brings its open one to the front. With cascadeFrom, the new
// window is placed 20 pixels right of and below it when it fits on the screen, else at
// (20, 20) when screenCornerFallback. A new window belongs to owner (it closes with it; it
// stays a window of its own) or, without one, to cascadeFrom's window. Raises EADSIException
// when the user cannot be bound.
TfrmUserProp *openUserProperties(QWidget *cascadeFrom, const QString &dnOrPath, const UserPropConnection &c,
                                 bool screenCornerFallback = false, QWidget *owner = nullptr);

} // namespace userprop
