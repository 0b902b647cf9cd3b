#pragma once
// The change journal's recorder: installed once per process (the program, arvendel-cli), it
// hears of every directory write from the directory layer and appends the intent line before
// the request goes out and the outcome line after it.
//
//   auto recorder = journal::install();            // prunes old days, then records
//   recorder->setUnrecordedWritePolicy([](const QString &why) { return askUser(why); });
//   { journal::RunScope run(QStringLiteral("replace")); ... writes ... }   // one run id
//
// Syncing: the intent of a single write (outside a run) is written to the disk (fdatasync)
// before the write goes out, so even a machine that loses power afterwards keeps it. Inside a
// run the file is synced at most once a second and when the run ends, which keeps a long run
// as fast as without the journal; a power loss can cost the last second's lines then. A
// process that is killed loses nothing that was written: the lines are in the file at once.
#include "journal/journalentry.h"
#include "journal/journalstore.h"
#include "platform/adsi/adswrites.h"

#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace journal {

class Recorder : public ads::WriteRecorder, public std::enable_shared_from_this<Recorder> {
public:
    explicit Recorder(QString folder = defaultFolder());

    QString folder() const { return store_.folder(); }
    // Asked, before a write goes ahead, when the journal cannot be written (why says what
    // failed): true lets the write go ahead unrecorded, false stops it. Without a policy the
    // write is stopped. After a yes the recorder keeps trying the journal and does not ask
    // again until it could write once more.
    void setUnrecordedWritePolicy(std::function<bool(const QString &why)> allow);
    // Whether today's file can be written now; *error says why not.
    bool check(QString *error);
    // Writes what was appended to the disk.
    void sync();

    ads::HRESULT aboutToWrite(ads::WriteRequest &request, quint64 *ticket) override;
    void written(quint64 ticket, const ads::WriteRequest &request, const ads::WriteResult &result) override;

private:
    struct Pending {
        Entry entry;
        QDate day;
    };
    std::mutex mutex_;
    Store store_;
    std::function<bool(const QString &)> allow_;
    bool unrecordedAllowed_ = false;
    std::map<quint64, Pending> pending_;
    quint64 nextTicket_ = 1;
    QElapsedTimer sinceSync_;
};

// Installs a recorder for folder as the process's write recorder, after removing the days
// older than the retention setting. Returns it.
std::shared_ptr<Recorder> install(const QString &folder = defaultFolder());
// Removes the process's recorder (writes are no longer recorded).
void uninstall();
// The installed recorder of this kind, if any.
std::shared_ptr<Recorder> installedRecorder();

// The writes this thread makes while the scope lives belong to one run (a batch such as a
// find-and-replace Apply or an undo). A scope opened inside another joins the outer run.
class RunScope {
public:
    explicit RunScope(const QString &kind);
    ~RunScope();
    RunScope(const RunScope &) = delete;
    RunScope &operator=(const RunScope &) = delete;
    QString id() const;
    // The run of the calling thread, empty outside one.
    static QString current();

private:
    bool outer_ = false;
};

// The writes this thread makes while the scope lives put back the given entries.
class UndoScope {
public:
    explicit UndoScope(const QStringList &entryIds);
    ~UndoScope();
    UndoScope(const UndoScope &) = delete;
    UndoScope &operator=(const UndoScope &) = delete;

private:
    QStringList saved_;
};

} // namespace journal
