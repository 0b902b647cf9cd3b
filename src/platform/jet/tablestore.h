#pragma once
// The table store that takes the Jet provider's place for the database export: a SQLite
// database file in which the export's CREATE TABLE and INSERT statements run as they stand,
// all in one transaction, so a failed export adds no half table.
//
// Library target: arv_jet (headers "platform/jet/tablestore.h").
//   jet::SqliteStore db;
//   if (!db.open(path, &error)) ...             // creates the file when missing
//   db.begin(); db.exec("CREATE TABLE [T] (...)", &error); db.exec("INSERT ...", &error);
//   db.prepareInsert("INSERT INTO [T] (a,b) VALUES (?,?)", &error); db.insert(values, &error);
//   db.commit(&error);                          // or rollback()
// Workbooks (the other table store) are written by arv_office.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

struct sqlite3;
struct sqlite3_stmt;

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
    // One value of a row for insert(): stored as null, a whole number, a real number or text.
    struct Value {
        enum Kind { Null, Integer, Real, Text } kind = Null;
        qint64 integer = 0;
        double real = 0;
        QByteArray text; // UTF-8
    };
    // Compiles an INSERT with one "?" per value once; insert() then runs it for each row,
    // without parsing a statement per row.
    bool prepareInsert(const QString &statement, QString *error);
    bool insert(const std::vector<Value> &row, QString *error);
    bool commit(QString *error);
    void rollback();
    void close();
    // The names of the tables, in creation order.
    QStringList tables(QString *error = nullptr) const;

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    bool m_inTransaction = false;
};

// The tables of a database file without creating it: empty for an absent file; false with
// the reason for a file that cannot be read as a database.
bool listDatabaseTables(const QString &path, QStringList *tables, QString *error);

}  // namespace jet
