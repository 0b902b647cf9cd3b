#include "main/unUserListing.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adserror.h"
#include "platform/adsi/adspath.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutexLocker>

namespace userlist {

namespace {

// Pending window messages are processed at most this often while rows stream in, so that
// Stop stays usable without costing more than the rows themselves.
constexpr qint64 EventIntervalMs = 15;

void configure(TQelADSISearching &search, const ListingConnection &c)
{
    search.setUserName(c.userName);
    search.setPassword(c.password);
    search.setUseCredentials(c.useCredentials);
    search.setAuthFlags(c.authFlags);
    search.setAttributes(listingAttributeText());
    search.setAsynchronous(false);
}

} // namespace

TUserList::TUserList(QObject *parent) : QObject(parent) {}

ListingConnection TUserList::connection() const
{
    if (connection_)
        return *connection_;
    const TConnectionContext &ctx = ConnectionContext();
    ListingConnection c;
    c.serverPrefix = ctx.ServerPrefix;
    c.userName = ctx.UserName;
    c.password = ctx.Password;
    c.useCredentials = ctx.UseCredentials;
    c.authFlags = static_cast<int>(ctx.AuthFlags);
    return c;
}

TUserList::~TUserList() = default;

void TUserList::setHideOptions(bool hideDisabled, bool hideExpired)
{
    hideDisabled_ = hideDisabled;
    hideExpired_ = hideExpired;
}

void TUserList::setSelectedNodeProvider(std::function<std::optional<ListingNode>()> provider)
{
    selectedNode_ = std::move(provider);
}

void TUserList::setCurrentFilter(const QString &filter, bool fromBuilder)
{
    currentFilter_ = filter;
    filterFromBuilder_ = fromBuilder;
}

void TUserList::setStatusText(const QString &text)
{
    if (text == statusText_)
        return;
    statusText_ = text;
    emit statusTextChanged(statusText_);
}

void TUserList::freeRows()
{
    emit rowsAboutToBeCleared();
    {
        // The same lock guards the process-wide caches that other threads clear.
        QMutexLocker lock(&ProcessLock());
        rows_.clear();
    }
    emit rowsCleared();
}

void TUserList::clearGrid()
{
    selectedRowIndex_ = -1;
    freeRows();
}

void TUserList::stop()
{
    stopRequested_ = true;
}

ListingResult TUserList::listUsers(const ListingNode &node, const QString &extraFilter)
{
    ListingResult result;
    if (busy_) {
        result.refused = true;
        return result;
    }
    // 1. Busy, Stop armed.
    stopRequested_ = false;
    busy_ = true;
    emit busyChanged(true);
    QCoreApplication::processEvents();

    // 2. A new listing always starts from an empty grid.
    clearGrid();
    emit listingStarted();

    // 3. The search.
    const ListingQuery q = listingQuery(node.path, node.hasParent, currentFilter_, extraFilter, howMany_);
    TQelADSISearching search;
    configure(search, connection());
    search.setADsPath(q.base);
    search.setSearchScope(q.scope);
    search.setFilter(q.filter);
    search.setSizeLimit(q.sizeLimit);
    search.setPageSize(q.pageSize);
    listingNode_ = node;

    // 4. Rows.
    ListingReader reader(rows_, q.sizeLimit, hideDisabled_, hideExpired_);
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    // While a page is on its way the window keeps running and Stop abandons the wait.
    ads::WaitHookScope waiting([this] {
        QCoreApplication::processEvents();
        return !stopRequested_;
    });
    try {
        search.ExecuteSearch();
        QVariant row;
        search.GetFirstRow(row);
        while (row.isValid()) {
            const bool more = reader.take(recordFromSearchRow(row));
            if (sinceEvents.elapsed() >= EventIntervalMs) {
                setStatusText(progressText(reader.read()));
                QCoreApplication::processEvents();
                sinceEvents.restart();
            }
            if (stopRequested_) {
                result.stopped = true;
                break;
            }
            if (!more)
                break;
            search.GetNextRow(row);
        }
    } catch (const Exception &e) {
        result.error = e.Message();
        if (stopRequested_) {
            result.stopped = true;  // Stop ended a wait for the server
            result.error.clear();
        } else if (search.LastResult() == ads::hresultFromWin32(1460)) {
            QString detail;
            ads::ADsGetLastError(nullptr, &detail, nullptr);
            result.error = QStringLiteral("The directory server stopped answering after %1 users were read; "
                                          "they are listed.\r\n")
                               .arg(reader.read()) +
                           (detail.isEmpty() ? result.error : detail);
        } else if (search.LastResult() == ads::HR_DS_SERVER_DOWN)
            result.error = QStringLiteral("The connection to the directory server was lost after %1 users were "
                                          "read; they are listed. Connect again when the server is back.\r\n")
                               .arg(reader.read()) +
                           result.error;
    }
    setStatusText(progressText(reader.read()));
    result.read = reader.read();
    result.kept = reader.kept();

    // 5. A one-user listing (Find User) belongs to no tree node.
    const bool nodeSelected = extraFilter.isEmpty();
    if (!extraFilter.isEmpty()) {
        listingNode_.reset();
        emit treeSelectionRemoved();
    }

    // 6. The grid is rebuilt once from the records.
    search.CloseSearch();
    emit rowsFilled();

    // 7. Status panel 0.
    setStatusText(listedStatusText(statusText_, nodeSelected, node.text, rows_.size(), result.kept,
                                   currentFilter_, extraFilter));

    // 8. Idle again.
    busy_ = false;
    emit busyChanged(false);
    emit listingFinished(result);
    if (!result.error.isEmpty())
        emit listingError(result.error);
    return result;
}

bool TUserList::howManyLeft(int value)
{
    howMany_ = value;
    const std::optional<ListingNode> node = selectedNode_ ? selectedNode_() : std::nullopt;
    if (busy_ || !howManyRelists(node.has_value(), value, lastHowMany_))
        return false;
    listUsers(*node);
    lastHowMany_ = value;
    return true;
}

bool TUserList::applyFilterResult(bool accepted, const QString &filter, bool fromBuilder)
{
    if (busy_)
        return false;
    const QString newFilter = accepted ? filter : QString();
    setStatusText(withFilterMarker(statusText_, !newFilter.isEmpty()));
    if (!filterChanged(newFilter, currentFilter_))
        return false;
    currentFilter_ = newFilter;
    filterFromBuilder_ = accepted && fromBuilder;
    const std::optional<ListingNode> node = selectedNode_ ? selectedNode_() : std::nullopt;
    if (!node)
        return false;
    listUsers(*node);
    return true;
}

ListingResult TUserList::findUser(const QString &dn, const ListingNode &root)
{
    return listUsers(root, findUserFilter(dn));
}

bool TUserList::selectRecord(int recordIndex, const QString &carriedDn)
{
    if (recordIndex < 0 || recordIndex >= rows_.size() || recordIndex == selectedRowIndex_)
        return false;
    if (rows_.at(recordIndex).distinguishedName().compare(carriedDn, Qt::CaseInsensitive) != 0)
        return false;
    selectedRowIndex_ = recordIndex;
    return true;
}

int TUserList::refreshUser(const QString &dn, QString *error)
{
    const int index = rows_.findRecordByDn(dn);
    if (index < 0)
        return -1;
    TQelADSISearching search;
    configure(search, connection());
    search.setADsPath(connection().serverPrefix + ads::escapePathDn(dn));
    search.setSearchScope(0);
    search.setFilter(QStringLiteral("(objectClass=*)"));
    search.setPageSize(0);
    try {
        search.ExecuteSearch();
        QVariant row;
        search.GetFirstRow(row);
        search.CloseSearch();
        if (!row.isValid())
            return index;
        TShellItem fresh = recordFromSearchRow(row);
        // The record keeps the distinguished name it was listed with.
        fresh.setText(Field::DistinguishedName, rows_.at(index).distinguishedName().toString());
        rows_.at(index) = std::move(fresh);
    } catch (const Exception &e) {
        if (error)
            *error = e.Message();
        return index;
    }
    emit recordChanged(index);
    return index;
}

} // namespace userlist
