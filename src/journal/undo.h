#pragma once
// Undo of journal entries, shared by `arvendel-cli journal undo` and the Change History
// window.
//
//   journal::UndoPlan plan = journal::planUndo(entries);   // one modify per object
//   journal::UndoRun run(ConnectionContext());
//   run.preview(plan);                                      // finds objects, predicts
//   run.apply(plan, hooks);                                 // writes, journaled as a run
//
// Each object gets one modify that deletes exactly the values the entries wrote and adds the
// values they replaced, newest entry first. An object someone changed since no longer holds
// the values written, so the directory refuses that modify ("no such value" / "value
// exists") and the object is left alone and reported "changed since". A security descriptor
// is put back whole, and only while it still is what the write left. Objects are found by
// objectGUID, so a renamed or moved object is still found. Entries that were refused or
// cannot be undone are reported and skipped. The undo's own writes are journaled like any
// other (a run of kind "undo", each naming the entries it puts back) and can be undone.
#include "core/unConnection.h"
#include "journal/journalentry.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace journal {

enum class UndoState {
    Ready,         // found; the values written are still there (preview)
    ChangedSince,  // someone changed the object since: left alone
    NotFound,      // no object with that GUID (deleted, or another domain)
    NothingToDo,
    Undone,
    Failed,        // the directory refused for another reason
    NotKnown,      // the undo was sent and no answer came: it may have been applied
    NotDone,       // stopped, or the run ended before this object
};
QString undoStateText(UndoState s);  // "ready", "changed since", ...

// One step of an object's modify, in order.
struct UndoStep {
    enum Kind { DeleteValues, AddValues, ReplaceIfUnchanged } kind = DeleteValues;
    QString attribute;
    QList<QByteArray> values;    // values to delete / add / the whole value to put back
    QByteArray expected;         // ReplaceIfUnchanged: the value the object must still hold
};

struct UndoObject {
    QByteArray guid;
    QString recordedDn;          // as the newest entry recorded it
    QString currentDn;           // where it is now (after preview)
    QStringList entryIds;        // the entries put back, newest first
    QList<UndoStep> steps;
    QStringList notes;           // changes of these entries that cannot be put back, and why
    UndoState state = UndoState::Ready;
    QString detail;              // the directory's words, or what differs
};

struct SkippedEntry {
    QString id;
    QString dn;
    QString why;
};

struct UndoPlan {
    QList<UndoObject> objects;
    QList<SkippedEntry> skipped;
};

// Groups entries by object (GUID, else DN) and builds each object's modify. Pure: no
// directory access.
UndoPlan planUndo(const QList<Entry> &entries);

struct UndoHooks {
    std::function<bool()> stopRequested;                      // tested before each object
    std::function<void(int index, int handled)> objectDone;   // after each object
};

struct UndoSummary {
    int undone = 0;
    int changedSince = 0;
    int notFound = 0;
    int failed = 0;
    int notKnown = 0;
    int notDone = 0;
    bool stopped = false;
    QString runId;               // the undo's own run in the journal
    QString stopReason;          // why the run ended early (journal, server lost)
};

class UndoRun {
public:
    explicit UndoRun(TConnectionContext context);
    // Finds each object and predicts its state (Ready, ChangedSince, NotFound, NothingToDo).
    void preview(UndoPlan &plan, const UndoHooks &hooks = {});
    // Writes the objects found (preview first when it was not run); one modify each.
    UndoSummary apply(UndoPlan &plan, const UndoHooks &hooks = {});

private:
    // The object's DN now and its values of the step attributes (converted), read in one
    // search by GUID; false when it is not there.
    bool locate(UndoObject &o, QHash<QString, QVariantList> *values, QString *error);
    TConnectionContext ctx_;
    bool previewed_ = false;
};

} // namespace journal
