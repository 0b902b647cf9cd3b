#pragma once
// The member preview of a query-based distribution group: the group's filter run below its
// base. PreviewMembers runs it on the calling thread (the command-line tool); the window runs
// it on TEnumMembersThread, which hands every row to the window's thread through a queued
// signal and never waits for the window, so that closing the window while the preview runs
// can neither hang nor touch a window that is gone. The thread outlives its window, but not
// its connection: disconnecting (reconnecting, closing the program) stops every preview and
// waits for it.
#include "core/unConnection.h"

#include <QAtomicInt>
#include <QMetaType>
#include <QString>
#include <QThread>
#include <functional>

namespace groups {

// One previewed member.
struct TPreviewMember {
    QString Name;              // cn
    QString Folder;            // canonicalName up to its last "/"
    QString DistinguishedName;
};

// The group's base DN and filter as stored (msExchDynamicDLBaseDN, msExchDynamicDLFilter;
// empty when unreadable). Raises EADSIException when the group cannot be bound.
struct TDynamicGroupQuery {
    QString BaseDn;
    QString Filter;
};
TDynamicGroupQuery ReadDynamicGroupQuery(const QString &groupDn);

// The search path of a preview: ServerPrefix + base (the bare ServerPrefix when the base is
// empty), of the given context or the published one.
QString PreviewPath(const QString &baseDn);
QString PreviewPath(const TConnectionContext &context, const QString &baseDn);

// Runs the filter below the base (subtree, page size 100, no size limit, the connection
// context's server and credentials: the given context, or a snapshot of the published one)
// and calls onRow per row; onRow returning false stops. Raises EADSISearchException /
// EADSIException with the directory's reason (an invalid filter, a base that does not exist).
void PreviewMembers(const QString &baseDn, const QString &filter,
                    const std::function<bool(const TPreviewMember &)> &onRow);
void PreviewMembers(const TConnectionContext &context, const QString &baseDn, const QString &filter,
                    const std::function<bool(const TPreviewMember &)> &onRow);

// Asks every preview thread that exists to end and waits until each has (run by every
// DisconnectContext, before the connections close).
void StopMemberPreviews();

class TEnumMembersThread : public QThread {
    Q_OBJECT
public:
    // Takes a snapshot of the connection context: the preview runs on the connection it was
    // asked on, whatever a reconnect publishes meanwhile.
    TEnumMembersThread(QString baseDn, QString filter, QObject *parent = nullptr);
    ~TEnumMembersThread() override;

    // Asks the thread to end after the current row.
    void Terminate() { requestInterruption(); }
    // The directory's error text when the search failed; empty otherwise. Read after the end.
    QString ErrorText() const { return m_error; }
    int RowCount() const { return m_rows.loadAcquire(); }

signals:
    // Queued to the receiver's thread; the worker goes on at once.
    void memberFound(const groups::TPreviewMember &member);
    // After the last row, also when stopped or failed (errorText empty then or not).
    void enumerationEnded(const QString &errorText);

protected:
    void run() override;

private:
    QString m_base, m_filter, m_error;
    TConnectionContext m_context;
    QAtomicInt m_rows{0};
};

} // namespace groups

Q_DECLARE_METATYPE(groups::TPreviewMember)
