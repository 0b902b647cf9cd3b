#pragma once
// The text form in which arvendel-cli prints search rows (README.md describes it).
#include <QString>
#include <QStringList>
#include <QVariant>

namespace cli {

// One converted value: "" (empty), "text" (quoted, escaped), int:N, int64:N, bool:true,
// date:YYYY-MM-DDTHH:MM:SS.mmm (date: alone for the zero date-time), bytes:HEX,
// [v1, v2, ...] for several values.
QString formatValue(const QVariant &value);
// One row: name=value fields separated by a tab. columnNames names the slots of a row read
// with a list of attributes; with none, every slot is a [name, value] pair.
QString formatRow(const QVariant &row, const QStringList &columnNames);

} // namespace cli
