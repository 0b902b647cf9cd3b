#pragma once
// The filter builder: the "   Filter Options" dialog (TfrmFilter). Conditions on catalogue
// attributes, the account-state boxes and a last-logon age compose a filter fragment, or the
// fragment is typed by hand; a preview lists the first 50 matching users of a container;
// queries are saved and loaded (unLoadSaveLDAPQ.h).
//
// Library target: arv_query_filterdlg   (include "query/unFilter.h")
//
// Plain use (main window, batch export, find and replace): each caller keeps its own fragment
// and flag and hands them in:
//
//   query::FilterRequest req;
//   req.filter = myFilter;  req.fromBuilder = myFlag;
//   req.containerPath = nodePath;  req.containerName = nodeText;  req.containerHasParent = ...;
//   query::FilterResult res;
//   if (query::BuildFilter(this, req, &res)) { myFilter = res.filter; myFlag = res.fromBuilder; }
//   else { /* Cancel */ }
//
// The fragment returned on OK is always valid inside
// "(&(objectCategory=person)(objectClass=user)%s)" (a typed filter that is not is refused
// with "The specified search filter is invalid." and the dialog stays open).
#include "query/filterconditions.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QWidget;

namespace query {

class TLastLogonBox;

struct FilterRequest {
    QString filter;              // the current fragment (may be empty)
    bool fromBuilder = false;    // it was composed from conditions and can be parsed back
    // The container of the preview; empty path: no preview.
    QString containerPath;
    QString containerName;
    bool containerHasParent = true;  // false: the domain root (searched as a subtree)
    // Credentials and flags of the preview; unset: the connection context's.
    std::optional<QString> userName;
    std::optional<QString> password;
    std::optional<std::uint32_t> authFlags;
    // Domain facts; unset: the connection context's level and policy (read once from the
    // domain object, LoadDomainPolicy), which every opener leaves unset.
    std::optional<int> domainFunctionality;
    std::optional<int> logonTimeSyncIntervalDays;
    std::optional<qint64> maxPasswordAgeDays;
};

struct FilterResult {
    QString filter;
    bool fromBuilder = false;
};

// Shows the dialog modally. True on OK with *out filled; false on Cancel.
bool BuildFilter(QWidget *parent, const FilterRequest &request, FilterResult *out);

class TfrmFilter : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFilter(QWidget *parent = nullptr);
    ~TfrmFilter() override;

    void setRequest(const FilterRequest &request);
    void SetCredentials(const QString &user, const QString &password, std::uint32_t flags);
    void setContainer(const QString &path, const QString &name, bool hasParent);
    void setDomainFacts(int domainFunctionality, int logonTimeSyncIntervalDays, qint64 maxPasswordAgeDays);
    // The current fragment (shown in the memo) and the flag.
    void setFilter(const QString &fragment, bool fromBuilder);
    // Rebuilds the conditions from the fragment when it is not empty and the flag is true.
    void LoadConditions(bool modeFlag);

    QString filterText() const;
    bool modeFlag() const { return modeFlag_; }
    const FilterConditions &conditions() const { return conditions_; }
    QString statusPanel(int index) const;

    // Handlers (public so that tests drive them as the controls do).
    void btAddClick();
    void btRemoveClick();
    void btClearClick();
    void btApplayClick();
    void btOKClick();
    void btCancelClick();
    void SaveAsClick();
    void LoadSavedClick();
    void cbFieldsChange(int index);
    void cbConditionsChange(int index);

    QMenuBar *MainMenu = nullptr;
    QAction *actSaveAs = nullptr;
    QAction *actLoadSaved = nullptr;
    QTabWidget *pcFilter = nullptr;
    QWidget *tsFilter = nullptr;
    QWidget *tsQuery = nullptr;
    QComboBox *cbFields = nullptr;
    QComboBox *cbConditions = nullptr;
    QLineEdit *ebValue = nullptr;
    QPushButton *btAdd = nullptr;
    QPushButton *btRemove = nullptr;
    QPushButton *btClear = nullptr;
    QTreeWidget *lvCond = nullptr;
    QCheckBox *HideDisabled = nullptr;
    QCheckBox *HideExpired = nullptr;
    QCheckBox *HideLocked = nullptr;
    TLastLogonBox *gbLastLogon = nullptr;
    QPlainTextEdit *memoQuery = nullptr;
    QTreeWidget *lvFilterOpt = nullptr;
    QLabel *lbCount = nullptr;
    QPushButton *btApplay = nullptr;
    QPushButton *btSave = nullptr;
    QPushButton *btLoad = nullptr;
    QPushButton *btOK = nullptr;
    QPushButton *btCancel = nullptr;

signals:
    // The preview ended with this many rows.
    void previewFinished(int rows);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void generate();
    void conditionsChanged();
    void refreshConditionList();
    void syncBoxes();
    void accountBoxToggled(AccountFlag flag, bool on);
    void lastLogonChanged();
    void memoEdited();
    void setMemo(const QString &text);
    void updateApplay();
    void setStatusPanel(int index, const QString &text);

    FilterConditions conditions_;
    QString currentFragment_;
    bool modeFlag_ = false;
    bool updating_ = false;
    QString containerPath_;
    QString containerName_;
    bool containerHasParent_ = true;
    QString userName_;
    QString password_;
    std::uint32_t authFlags_ = 0;
    QLabel *panels_[2] = {nullptr, nullptr};
};

} // namespace query
