#pragma once
// Export column sets kept in the per-user registry under \Software\Vastrel\Pordex\COLUMNEXP:
// one binary value per set, named by the set number in decimal. Data, little-endian: the
// byte length N of the name (4 bytes), the byte length M of the key list (4 bytes), the
// name in UTF-16LE (N bytes), the catalogue keys as signed 32-bit integers (M bytes).
//
// Library target: arv_bulk_columnsets (headers "bulk/unColumnSets.h").
#include <QList>
#include <QPair>
#include <QString>

namespace bulk {

inline const QString kColumnSetKey = QStringLiteral("\\Software\\Vastrel\\Pordex\\COLUMNEXP");

// A column: (catalogue caption, catalogue key).
using ExportColumnItem = QPair<QString, qint32>;

struct ColumnSetInfo {
    QString name;
    int number = 0;
};

// Every stored set in ascending order of value names compared as text.
QList<ColumnSetInfo> listColumnSets();
// The columns of a set with their captions looked up again; empty for an absent set.
QList<ExportColumnItem> readColumnSet(int number);
// Saves a new set (number = highest in use + 1, 0 for the first); -1 with the reason when
// nothing was written (empty name or columns, the name of another stored set, compared
// without regard to case, or a store failure).
int saveColumnSet(const QString &name, const QList<ExportColumnItem> &columns, QString *error = nullptr);
bool deleteColumnSet(int number);
// Saves the set under the new name and a new number, then removes the old record; returns the
// new number, or -1 with the reason, the old set then kept as it was.
int renameColumnSet(int number, const QString &newName, const QList<ExportColumnItem> &columns,
                    QString *error = nullptr);
// The set whose name equals name (case-insensitive); -1 when none.
int findColumnSet(const QString &name);

// The value data of a set, and back (false for data too short or inconsistent).
QByteArray encodeColumnSet(const QString &name, const QList<qint32> &keys);
bool decodeColumnSet(const QByteArray &data, QString *name, QList<qint32> *keys);

}  // namespace bulk
