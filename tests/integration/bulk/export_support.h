#pragma once
// What the export tests share: the administrator's connection to the test domain and the
// independent reader (tests/unit/bulk/readback.py) that prints a written file as JSON.
#include <QJsonObject>
#include <QStringList>

namespace exporttest {

// Connects the process-wide context as the administrator with a simple bind (once).
void connectAsAdmin();
// Runs readback.py with args; the JSON it prints (the test fails when the reader does).
QJsonObject readBack(const QStringList &args);

}  // namespace exporttest
