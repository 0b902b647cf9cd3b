#pragma once
// The table store that takes the Jet provider's place for the database export: a SQLite
// database file in which the export's CREATE TABLE and INSERT statements run as they stand,
// all in one transaction, so a failed export adds no half table.
//
// Library target: arv_jet (headers "platform/jet/tablestore.h").
//   jet::SqliteStore db;
//   if (!db.open(path, &error)) ...             // creates the file when missing
//   db.begin(); db.exec("CREATE TABLE [T] (...)", &error); db.exec("INSERT ...", &error);
//   db.commit(&error);                          // or rollback()
// Workbooks (the other table store) are written by arv_office.
#include <QString>
#include <QStringList>

struct sqlite3;

namespace jet {

class SqliteStore {
public:
    SqliteStore() = default;
    ~SqliteStore();
    SqliteStore(const SqliteStore &) = delete;
    SqliteStore &operator=(const SqliteStore &) = delete;

    // Opens (creating when missing) the database; false with the reason, also when the file
    // exists but is no SQLite database.
    bool open(const QString &path, QString *error);
    bool begin(QString *error);
    bool exec(const QString &statement, QString *error);
    bool commit(QString *error);
    void rollback();
    void close();
    // The names of the tables, in creation order.
    QStringList tables(QString *error = nullptr) const;

private:
    sqlite3 *m_db = nullptr;
    bool m_inTransaction = false;
};

// The tables of a database file without creating it: empty for an absent file; false with
// the reason for a file that cannot be read as a database.
bool listDatabaseTables(const QString &path, QStringList *tables, QString *error);

}  // namespace jet
