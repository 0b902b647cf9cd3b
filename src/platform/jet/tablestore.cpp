#include "platform/jet/tablestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>

namespace jet {

namespace {
QString lastError(sqlite3 *db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}
}  // namespace

SqliteStore::~SqliteStore()
{
    close();
}

bool SqliteStore::open(const QString &path, QString *error)
{
    close();
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), lastError(m_db));
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    // Reading the schema proves the file is a database (a text file fails here, not later).
    char *msg = nullptr;
    if (sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &msg) != SQLITE_OK) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), QString::fromUtf8(msg ? msg : ""));
        sqlite3_free(msg);
        close();
        return false;
    }
    return true;
}

bool SqliteStore::begin(QString *error)
{
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    m_inTransaction = true;
    return true;
}

bool SqliteStore::exec(const QString &statement, QString *error)
{
    if (!m_db) {
        if (error)
            *error = QStringLiteral("The database is not open.");
        return false;
    }
    char *msg = nullptr;
    if (sqlite3_exec(m_db, statement.toUtf8().constData(), nullptr, nullptr, &msg) != SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(msg ? msg : "SQLite error");
        sqlite3_free(msg);
        return false;
    }
    return true;
}

bool SqliteStore::prepareInsert(const QString &statement, QString *error)
{
    if (!m_db) {
        if (error)
            *error = QStringLiteral("The database is not open.");
        return false;
    }
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    const QByteArray sql = statement.toUtf8();
    if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_insert, nullptr) != SQLITE_OK) {
        if (error)
            *error = lastError(m_db);
        return false;
    }
    return true;
}

bool SqliteStore::insert(const std::vector<Value> &row, QString *error)
{
    if (!m_insert) {
        if (error)
            *error = QStringLiteral("No insert statement is prepared.");
        return false;
    }
    sqlite3_reset(m_insert);
    const int n = std::min(int(row.size()), sqlite3_bind_parameter_count(m_insert));
    for (int i = 0; i < n; ++i) {
        const Value &v = row[std::size_t(i)];
        switch (v.kind) {
        case Value::Null: sqlite3_bind_null(m_insert, i + 1); break;
        case Value::Integer: sqlite3_bind_int64(m_insert, i + 1, v.integer); break;
        case Value::Real: sqlite3_bind_double(m_insert, i + 1, v.real); break;
        case Value::Text:
            sqlite3_bind_text(m_insert, i + 1, v.text.constData(), int(v.text.size()), SQLITE_TRANSIENT);
            break;
        }
    }
    if (sqlite3_step(m_insert) != SQLITE_DONE) {
        if (error)
            *error = lastError(m_db);
        sqlite3_reset(m_insert);
        return false;
    }
    return true;
}

bool SqliteStore::commit(QString *error)
{
    if (!m_inTransaction)
        return true;
    if (!exec(QStringLiteral("COMMIT"), error)) {
        rollback();
        return false;
    }
    m_inTransaction = false;
    return true;
}

void SqliteStore::rollback()
{
    if (m_db && m_inTransaction)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_inTransaction = false;
}

void SqliteStore::close()
{
    if (!m_db)
        return;
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    rollback();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

QStringList SqliteStore::tables(QString *error) const
{
    QStringList out;
    if (!m_db)
        return out;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid", -1, &st,
                           nullptr) != SQLITE_OK) {
        if (error)
            *error = lastError(m_db);
        return out;
    }
    while (sqlite3_step(st) == SQLITE_ROW)
        out << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return out;
}

bool listDatabaseTables(const QString &path, QStringList *tables, QString *error)
{
    tables->clear();
    const QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink())
        return true;
    // A pipe or a device under a database's name would block the reader or never end.
    if (!fi.isFile()) {
        if (error)
            *error = QStringLiteral("%1 is not a regular file.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), lastError(db));
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_stmt *st = nullptr;
    bool ok = sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid", -1, &st,
                                 nullptr) == SQLITE_OK;
    if (ok) {
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            *tables << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        ok = rc == SQLITE_DONE;
    }
    if (!ok && error)
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), lastError(db));
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
    return ok;
}

}  // namespace jet
