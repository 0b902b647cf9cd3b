#pragma once
// Find User: the " Select User " dialog (TfrmFind) that finds users, and when asked groups,
// below a base container by name, optionally only mailbox users and by last-logon age, and
// hands back the one picked.
//
// Library target: arv_query_find   (target_link_libraries(<yours> PRIVATE arv_query_find))
//
// Plain use (manager picker, member picker, sender lists):
//
//   query::FindRequest req;                          // base: the domain; credentials: the
//   req.scope = query::FindScope::UsersAndGroups;    // connection context's
//   query::FindResult found;
//   if (query::FindUser(this, req, &found))
//       use(found.name, found.distinguishedName, found.isGroup());
//
// The dialog searches on the window thread, reading rows while it keeps processing input,
// so that "Stop" ends a long search after the row in hand.
#include "query/lastlogon.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;
class TQelADSISearching;

namespace query {

class TLastLogonBox;

enum class FindScope {
    Users,           // users only
    UsersAndGroups,  // users and groups (groups matched by name only)
};

// The kind of a found row: its image index in the list.
enum class FindKind : int { None = -1, User = 0, Group = 9 };

struct FindRequest {
    // ADsPath below which to search (subtree). Empty: the domain (ConnectionContext().DomainPath).
    QString basePath;
    FindScope scope = FindScope::Users;
    // Pre-checks "Only with Exchange Mailbox" and locks it (callers that need mailboxes).
    bool exchangeOnly = false;
    // Shows the last-logon group. With UsersAndGroups it also narrows the groups to
    // distribution groups (security groups are left out); pass false to offer every group.
    bool showLastLogon = true;
    // A name to start with (searched at once when autoFind is set).
    QString initialName;
    bool autoFind = false;
    // Credentials and flags; unset: those of the connection context.
    std::optional<QString> userName;
    std::optional<QString> password;
    std::optional<std::uint32_t> authFlags;
    // Domain facts; unset: the connection context's functionality level and logon sync
    // interval, and whether the loaded schema has homeMDB.
    std::optional<int> domainFunctionality;
    std::optional<int> logonTimeSyncIntervalDays;
    std::optional<bool> exchangePresent;
};

struct FindResult {
    QString name;               // the object's name (RDN value)
    QString distinguishedName;  // trimmed
    FindKind kind = FindKind::None;
    bool isGroup() const { return kind == FindKind::Group; }
};

// Shows the dialog modally; true (and *out filled) when the user picked a row with OK.
bool FindUser(QWidget *parent, const FindRequest &request, FindResult *out);

class TfrmFind : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFind(QWidget *parent = nullptr);
    ~TfrmFind() override;

    // Applies a request: base, scope, credentials, options, domain facts.
    void setRequest(const FindRequest &request);
    void SetSearchUsers(const QString &basePath, const QString &user, const QString &password,
                        std::uint32_t flags);
    void SetSearchUsersAndGroups(const QString &basePath, const QString &user, const QString &password,
                                 std::uint32_t flags);
    // Pre-checks "Only with Exchange Mailbox" and disables the box.
    void SetExchangeOnly(bool on);
    void setShowLastLogon(bool on);
    void setLastLogonRule(const LastLogonRule &rule, int domainFunctionality);
    void setExchangePresent(bool present);

    // The picked row: name, DN and kind (FindKind::None when nothing is selected).
    FindKind GetSelection(QString &name, QString &distinguishedName) const;
    FindResult selection() const;

    // The filter "Find Now" would search with now.
    QString currentFilter() const;
    bool searching() const { return searching_; }

    // Handlers (public so that tests drive them as the controls do).
    void btFindClick();
    void btStopClick();
    void btOKClick();
    void btCancelClick();

    QLineEdit *ebName = nullptr;
    QComboBox *cbQuery = nullptr;
    QPushButton *btFind = nullptr;
    QPushButton *btStop = nullptr;
    QGroupBox *gbMaximum = nullptr;
    QRadioButton *rbAll = nullptr;
    QRadioButton *rbNumb = nullptr;
    QLineEdit *ebNumbers = nullptr;
    TLastLogonBox *gbLastLogon = nullptr;
    QCheckBox *cbExchangeOnly = nullptr;
    QProgressBar *Animate = nullptr;
    QTreeWidget *lvResult = nullptr;
    QLabel *lbHowManyAre = nullptr;
    QPushButton *btOK = nullptr;
    QPushButton *btCancel = nullptr;

signals:
    // A search ended (after its cleanup) with this many rows; error is empty on success.
    void searchFinished(int rows, const QString &error);

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateCaption();
    void takeSelection(QTreeWidgetItem *item);
    void normaliseNumbers();
    QTreeWidgetItem *addRow(const QVariant &row);

    QString basePath_;
    QString userName_;
    QString password_;
    std::uint32_t authFlags_ = 0;
    bool withGroups_ = false;
    int domainFunctionality_ = 0;
    bool searching_ = false;
    bool stopped_ = false;
    std::unique_ptr<TQelADSISearching> search_;
    FindResult selection_;
};

} // namespace query
