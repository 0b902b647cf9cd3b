#pragma once
// Where the change journal lives and how its files are written and read.
//
// One file per UTC day, "YYYY-MM-DD.jsonl", in $XDG_STATE_HOME/arvendel/journal (default
// ~/.local/state/arvendel/journal). The folder is the user's own and owner-only (0700), the
// files 0600; neither may be a symbolic link. Files are only ever appended to: each record is
// one write(2) on a descriptor opened with O_APPEND, so the program and any number of
// arvendel-cli processes can add to the same file at once without their lines mixing (true
// of local file systems; not of NFS). Files are removed whole when their day is older than
// the retention setting.
#include "journal/journalentry.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace journal {

QString defaultFolder();
QString dayFileName(const QDate &day);

class Store {
public:
    explicit Store(QString folder = defaultFolder());
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    QString folder() const { return folder_; }
    // Prepares the folder and opens the file of day (UTC) for appending; false with *error
    // when the journal cannot be written there.
    bool open(const QDate &day, QString *error);
    // Appends one line (ending in "\n") to the file of day with a single write. A write cut
    // short (a full disk) is ended with a line break, so that the next record starts on a
    // line of its own, and reported as a failure.
    bool append(const QDate &day, const QByteArray &line, QString *error);
    // Writes the open file's data to the disk (fdatasync).
    bool sync(QString *error = nullptr);

private:
    QString folder_;
    int fd_ = -1;
    QDate day_;
};

// Deletes the day files of folder whose day lies more than days before todayUtc (days <= 0
// keeps everything). Returns how many were deleted.
int prune(const QString &folder, int days, const QDate &todayUtc = QDate());

struct ReadResult {
    QList<Entry> entries;   // by time of the intent, oldest first
    int skippedLines = 0;   // lines that were cut short or are not ours
    QStringList problems;   // files that could not be read
};
// Reads the day files between from and to (an invalid date leaves that side open). An
// outcome is matched to its intent by id; an intent without one stays "not known".
ReadResult readJournal(const QString &folder = defaultFolder(), const QDate &from = QDate(),
                       const QDate &to = QDate());
// Adds the records of one file's bytes to *result (entries not yet sorted).
void readRecords(const QByteArray &bytes, ReadResult *result);

// Which entries a listing shows.
struct Filter {
    QDateTime since;         // UTC; invalid: from the first
    QDateTime until;         // UTC; invalid: up to the last
    // A DN, part of one (objectContains), or a GUID text: the object's entries, also those
    // made under the other names it had (found by its GUID).
    QString object;
    bool objectContains = false;
    QString run;             // a run id or its first 8 or more characters
};
QList<Entry> filterEntries(const QList<Entry> &entries, const Filter &filter);

// Days the journal keeps (0: everything); stored with the program's options.
constexpr int kDefaultRetentionDays = 90;
int retentionDays();
bool setRetentionDays(int days);

} // namespace journal
