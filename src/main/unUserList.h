#pragma once
// The list of users shown in the main window's grid, without any widget: the record of one
// listed user (TShellItem), the record list (UserRows), the grid's column table, the account
// state, the search a listing runs, the reading rules (size limit, hide options), the status
// texts, the sort orders and the tab-separated copy text. The grid widget (unUserGrid.h) and
// the command-line tool build on these.
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

#include <array>
#include <cstdint>
#include <vector>

namespace userlist {

// Text fields of a listed user, in record order (lastLogon and userAccountControl are kept
// as numbers beside them).
enum class Field : std::uint8_t {
    DistinguishedName,
    Cn,
    DisplayName,
    Description,
    Mail,
    Co,
    St,
    L,
    PostalCode,
    Company,
    Department,
    PhysicalDeliveryOfficeName,
    Title,
    TelephoneNumber,
    GivenName,
    Sn,
    UserPrincipalName,
    MailNickname,
    Count
};
inline constexpr int FieldCount = static_cast<int>(Field::Count);

// Account state = image index of the row's icon.
enum AccountState : int { StateNormal = 0, StateDisabled = 1, StateLockedOut = 2, StatePasswordExpired = 3 };

// userAccountControl bits that decide the state.
inline constexpr std::int32_t UacDisabled = 0x2;
inline constexpr std::int32_t UacLockout = 0x10;
inline constexpr std::int32_t UacPasswordExpired = 0x800000;

// First rule that applies: disabled, locked out, password expired, else normal.
// A directory keeps the lockout and password-expired bits out of the stored
// userAccountControl and reports them only in the constructed
// msDS-User-Account-Control-Computed; both are combined here so that locked-out and
// expired users are recognised (and the hide-expired option works) on a real domain.
AccountState accountState(std::int32_t userAccountControl, std::int32_t computedControl = 0);

// One listed user. All text fields share one buffer so that a record costs one allocation
// (a listing of 100,000 users must stay well under 2 KB per user).
class TShellItem {
public:
    TShellItem() = default;

    QStringView view(Field f) const;
    QString text(Field f) const { return view(f).toString(); }
    void setText(Field f, QStringView value);

    QStringView distinguishedName() const { return view(Field::DistinguishedName); }
    QStringView cn() const { return view(Field::Cn); }

    // Local date-time as a day count from 30 December 1899; 0 = never logged on.
    double lastLogon = 0;
    std::int32_t userAccountControl = 0;
    // msDS-User-Account-Control-Computed (0 when the server does not give it).
    std::int32_t computedControl = 0;

    AccountState state() const { return accountState(userAccountControl, computedControl); }

    // Heap bytes held by the record beyond sizeof(TShellItem).
    std::size_t heapBytes() const;

private:
    QString buffer_;
    std::array<std::uint32_t, FieldCount> end_{};
};

// The listed users. Index = record index carried by the grid rows.
class UserRows {
public:
    int size() const { return static_cast<int>(items_.size()); }
    bool empty() const { return items_.empty(); }
    const TShellItem &at(int i) const { return items_[static_cast<std::size_t>(i)]; }
    TShellItem &at(int i) { return items_[static_cast<std::size_t>(i)]; }
    void append(TShellItem &&item) { items_.push_back(std::move(item)); }
    void reserve(int n) { items_.reserve(static_cast<std::size_t>(n)); }
    // Frees every record.
    void clear();

    // First record whose distinguished name equals dn without regard to case, else -1.
    int findRecordByDn(QStringView dn) const;

private:
    std::vector<TShellItem> items_;
};

// ---- grid columns -----------------------------------------------------------------------

enum class ColumnKind : std::uint8_t { Icon, Text, Date };

struct GridColumn {
    int tag;          // catalogue key, -5 for the icon column
    ColumnKind kind;
    Field field;      // the text field of Text columns
};

inline constexpr int IconTag = -5;
inline constexpr int CnTag = -3;
inline constexpr int DisplayNameTag = -2;
inline constexpr int LastLogonTag = 81;
inline constexpr int FixedColumnCount = 3;
inline constexpr int TextColumnWidth = 80;
inline constexpr int IconColumnWidth = 20;

// The 18 columns in creation order (icon, cn, displayName first).
const std::array<GridColumn, 18> &gridColumns();
// Index in gridColumns() of a tag, -1 when none.
int columnOfTag(int tag);
// "Nx" + the tag as eight upper-case hexadecimal digits (two's complement when negative).
QString columnName(int tag);
// The column caption: the catalogue's caption for the tag; empty for the icon column.
QString columnCaption(int tag);
// The tags of the 17 text columns in creation order (handed to the column chooser).
std::vector<int> textColumnTags();
// Whether a column may be hidden (tags 0 to 255; the negative ones never are).
bool hideableTag(int tag);

// Text of a cell as the grid shows it (Last Logon: empty for date 0; icon: empty).
QString cellText(const TShellItem &item, const GridColumn &column);
// "yyyy-MM-dd hh:mm" for a day count, empty for 0.
QString lastLogonText(double days);

// ---- the listing search -----------------------------------------------------------------

// The attributes a listing requests, in row order.
const QStringList &listingAttributes();
// The same as one comma-separated text, as the search takes it.
QString listingAttributeText();

// One search row (the slots of listingAttributes()) as a record: text fields from their
// columns (empty when missing), Last Logon only when a date later than day 1, the control
// values as integers (0 when not a number).
TShellItem recordFromSearchRow(const QVariant &row);

struct ListingQuery {
    QString base;       // the node's path
    int scope = 1;      // 1 one level, 2 subtree
    QString filter;
    int sizeLimit = 0;  // 0 = none
    int pageSize = 0;   // 0 = no paging
};

// Subtree for the domain root (no parent) or whenever an extra filter is given; the size
// limit is howMany rounded (0 = none); page size 100 unless a limit of 1 to 1000 makes
// paging unnecessary.
ListingQuery listingQuery(const QString &nodePath, bool nodeHasParent, const QString &currentFilter,
                          const QString &extraFilter, double howMany);

// The extra filter of a Find User listing, with the distinguished name escaped for a filter
// (a DN may hold parentheses, asterisks and backslashes).
QString findUserFilter(const QString &dn);

// The reading rule of a listing: count rows read (R) and kept (K), drop disabled or
// password-expired users while their hide option is on, stop at the size limit (counted in
// rows read, so that hidden users still use up the limit).
class ListingReader {
public:
    ListingReader(UserRows &rows, int sizeLimit, bool hideDisabled, bool hideExpired);
    // Takes one record; returns whether the next row should be read.
    bool take(TShellItem &&item);
    int read() const { return read_; }
    int kept() const { return kept_; }

private:
    UserRows &rows_;
    int sizeLimit_;
    bool hideDisabled_;
    bool hideExpired_;
    int read_ = 0;
    int kept_ = 0;
};

// ---- status texts and rules ---------------------------------------------------------------

inline constexpr char FilterMarker[] = "[Filter Activated]";

// "   %d": progress while reading.
QString progressText(int rowsRead);
// Adds " [Filter Activated]" when active and not yet present (case-insensitive), removes the
// marker (leaving the blank before it) when inactive.
QString withFilterMarker(const QString &panel, bool filterActive);
// Panel 0 after a listing: panel is its text at that moment (the progress count).
QString listedStatusText(const QString &panel, bool nodeSelected, const QString &nodeText, int gridRows,
                         int kept, const QString &currentFilter, const QString &extraFilter);

// ebHowMany: 0 to 2000, empty reads 0.
int howManyValue(const QString &text);
// Whether leaving ebHowMany lists again.
bool howManyRelists(bool nodeSelected, int value, int lastHowMany);
// After the filter builder: whether the new filter lists the selected node again.
bool filterChanged(const QString &newFilter, const QString &currentFilter);

// ---- sorting and copying ---------------------------------------------------------------

// Sorts the row order (record indexes) by a column: text columns alphabetically without
// regard to case, Last Logon by date with never-logged-on (0) first, the icon column by
// state. Stable, so equal rows keep their previous order.
void sortRows(std::vector<int> &order, const UserRows &rows, const GridColumn &column, bool descending);

// The key a text column sorts by: case and accents ignored.
QString textSortKey(QStringView text);

// Tab-separated text of the given records, one line per record, cells of the given columns;
// tabs and line breaks inside values become blanks so that every record stays one line.
QString rowsAsTabText(const UserRows &rows, const std::vector<int> &records,
                      const std::vector<const GridColumn *> &columns);

} // namespace userlist
