#pragma once
// Listing the users of a tree node into UserRows (ListUsers) and the state around it: Busy,
// Stop, the filter of the filter builder, the maximum count, the status panel text, the
// selected record, and rereading one record after the object-changed notice. No widgets:
// the grid (unUserGrid.h) follows the signals, the main window wires its toolbar, tree and
// status bar to them, and the command-line tool can list without a display.
//
// Main window wiring:
//   list->setConnection(ctx);                          // after OpenDomain
//   list->setSelectedNodeProvider([this] { return selectedNodeAsListingNode(); });
//   list->setHideOptions(Options.hideDisabled, Options.hideExpired);
//   DomainTreeViewChange, node with a parent  -> list->listUsers(node);
//   DomainTreeViewChange, root node           -> list->clearGrid(); status panel 0 cleared
//   tbStop                                    -> list->stop();   enabled by busyChanged
//   ebHowMany left (Enter/Tab/focus out)      -> list->howManyLeft(value)
//   filter builder closed                     -> list->applyFilterResult(ok, text, flag)
//   find-user dialog OK                       -> select the root node, list->findUser(dn, root)
//   object-changed notice, code 0             -> list->refreshUser(dn) (then the panel part)
//   busyChanged, statusTextChanged, treeSelectionRemoved, listingError -> the window's widgets
#include "main/unUserList.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace userlist {

// A tree node as a listing sees it.
struct ListingNode {
    QString path;           // full path, "LDAP://..."
    QString text;           // the node's caption
    bool hasParent = true;  // false for the domain root
};

// What a listing binds with. Unless one is set, every listing copies it from the
// process-wide connection context at the moment it starts.
struct ListingConnection {
    QString serverPrefix;   // "LDAP://host[:port]/"
    QString userName;
    QString password;
    bool useCredentials = false;
    int authFlags = 0;
};

struct ListingResult {
    int read = 0;           // rows read (R)
    int kept = 0;           // records kept (K)
    bool stopped = false;   // ended by Stop
    bool refused = false;   // not run: a listing was already running
    QString error;          // the directory's message when the search failed
};

class TUserList : public QObject {
    Q_OBJECT
public:
    explicit TUserList(QObject *parent = nullptr);
    ~TUserList() override;

    const UserRows &rows() const { return rows_; }
    // Records are changed in place by the quick panel; call recordChanged() afterwards.
    UserRows &rows() { return rows_; }

    void setConnection(const ListingConnection &connection) { connection_ = connection; }
    // Back to the process-wide connection context.
    void useConnectionContext() { connection_.reset(); }
    ListingConnection connection() const;
    void setHideOptions(bool hideDisabled, bool hideExpired);
    bool hideDisabled() const { return hideDisabled_; }
    bool hideExpired() const { return hideExpired_; }
    // The main window's selected tree node (none when nothing is selected).
    void setSelectedNodeProvider(std::function<std::optional<ListingNode>()> provider);

    bool busy() const { return busy_; }
    bool stopRequested() const { return stopRequested_; }

    // The value of ebHowMany the next listing uses (0 to 2000, 0 = no limit).
    void setHowMany(double value) { howMany_ = value; }
    double howMany() const { return howMany_; }
    int lastHowMany() const { return lastHowMany_; }
    void setLastHowMany(int value) { lastHowMany_ = value; }

    const QString &currentFilter() const { return currentFilter_; }
    bool filterFromBuilder() const { return filterFromBuilder_; }
    void setCurrentFilter(const QString &filter, bool fromBuilder);

    const std::optional<ListingNode> &listingNode() const { return listingNode_; }
    int selectedRowIndex() const { return selectedRowIndex_; }
    void setSelectedRowIndex(int index) { selectedRowIndex_ = index; }

    // Status panel 0.
    const QString &statusText() const { return statusText_; }
    void setStatusText(const QString &text);

    // ListUsers: lists the users of node (one paged search), narrowed by CurrentFilter and
    // extraFilter. Refused (result.refused) while a listing runs. A search error ends the
    // listing, keeps the rows read so far and is reported through listingError as well.
    ListingResult listUsers(const ListingNode &node, const QString &extraFilter = {});
    // Stop: the listing ends after the row in hand.
    void stop();
    // ClearGrid: removes all rows and frees the records.
    void clearGrid();

    // Leaving ebHowMany with value: lists the selected node again when the value differs
    // from LastHowMany. Returns whether it listed.
    bool howManyLeft(int value);
    // The filter builder closed: accepted with its filter text and flag, or cancelled (the
    // filter becomes empty). Updates the status marker and lists the selected node again
    // when the filter changed. Returns whether it listed.
    bool applyFilterResult(bool accepted, const QString &filter, bool fromBuilder);
    // Find User chose dn: lists the whole domain (root) for that one user; the tree's
    // selection is removed afterwards (treeSelectionRemoved).
    ListingResult findUser(const QString &dn, const ListingNode &root);

    // NextGridSelectCell's rule: the record carried by a selected row becomes the selected
    // one when it differs from the current one and still carries the same DN. Returns
    // whether the selection changed (the caller then binds the user).
    bool selectRecord(int recordIndex, const QString &carriedDn);

    // Object-changed notice (code 0) for dn: rereads the listed record of dn from the
    // directory and announces it (recordChanged). Returns the record index, -1 when dn is
    // not listed; a failing read leaves the record as it was and reports the error.
    int refreshUser(const QString &dn, QString *error = nullptr);
    // Tells the grid that a record was changed in place.
    void announceRecordChanged(int recordIndex) { emit recordChanged(recordIndex); }

signals:
    void busyChanged(bool busy);
    // Step 2 of a listing: the panel is to be hidden, the user-level buttons and Apply
    // disabled, the path labels cleared.
    void listingStarted();
    void rowsAboutToBeCleared();
    void rowsCleared();
    // The records are complete: the grid fills itself (FillGrid).
    void rowsFilled();
    void statusTextChanged(const QString &text);
    // A Find User listing ended: remove the tree's selection without listing.
    void treeSelectionRemoved();
    void listingError(const QString &message);
    void listingFinished(const userlist::ListingResult &result);
    void recordChanged(int recordIndex);

private:
    void freeRows();

    UserRows rows_;
    std::optional<ListingConnection> connection_;
    std::function<std::optional<ListingNode>()> selectedNode_;
    std::optional<ListingNode> listingNode_;
    QString currentFilter_;
    QString statusText_;
    double howMany_ = 0;
    int lastHowMany_ = 0;
    int selectedRowIndex_ = -1;
    bool filterFromBuilder_ = false;
    bool hideDisabled_ = true;
    bool hideExpired_ = true;
    bool busy_ = false;
    bool stopRequested_ = false;
};

} // namespace userlist
