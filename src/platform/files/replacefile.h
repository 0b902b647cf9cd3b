#pragma once
// Writing a file over an existing one without ever leaving it half-written or missing: the
// new content goes to a temporary file beside the destination, created exclusively (no file
// or link of that name may exist), and replaces the destination in one rename once it is
// complete and on disk. The replaced file's permission bits carry over; a new file gets the
// usual 0666 less the umask. The old file is never removed first.
//
// Library target: arv_files (headers "platform/files/replacefile.h").
//   files::ReplacementFile out(path);
//   if (!out.create(&error)) ...              // out.handle() / out.tempPath() to write into
//   ... write ...
//   if (!out.commit(&error)) ...              // path keeps its old content on failure
// Destroyed without commit(), the temporary file is removed and path stays as it was.
#include <QString>

namespace files {

class ReplacementFile {
public:
    explicit ReplacementFile(const QString &dest);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;

    // Creates the temporary file (mode 0600 until commit); false with the reason, also when
    // dest is a folder or its folder does not exist.
    bool create(QString *error);
    QString destination() const { return m_dest; }
    // The temporary file, for writers that open files by name (it exists, empty, after
    // create()); empty before create() and after commit() or discard().
    QString tempPath() const { return m_temp; }
    // A descriptor open for writing on the temporary file; -1 when none. Owned here.
    int handle() const { return m_fd; }
    // Closes the descriptor early (for writers that reopen the file by name).
    void closeHandle();
    // Syncs the temporary file, gives it the destination's mode and renames it onto dest;
    // false with the reason, the temporary file then removed and dest untouched.
    bool commit(QString *error);
    // Removes the temporary file; dest stays as it was.
    void discard();

private:
    QString m_dest, m_temp;
    int m_fd = -1;
};

// The mode a file written at path should get: the existing file's permission bits, or
// 0666 less the process's umask for a new file.
unsigned modeForReplacing(const QString &path);

}  // namespace files
