#pragma once
// The multi-value viewer (TfrmMVADSI): every value of one attribute, one per line, as a list
// shows them (the RAW Data lists of the property windows, the server information).
#include <QDialog>
#include <QStringList>

class QTreeWidget;

namespace ui {

// The lines of a RAW row: a row of several values is split at each "#" (parts trimmed),
// a row of one value is that value.
QStringList MVADSILines(const QString &shownValue, bool multiValued);

class TfrmMVADSI : public QDialog {
    Q_OBJECT
public:
    // "Property Value(s) for [attribute]", the lines of a RAW row.
    TfrmMVADSI(const QString &attribute, const QString &shownValue, bool multiValued, QWidget *parent = nullptr);
    // A caption and lines of the caller's own.
    TfrmMVADSI(const QString &title, const QStringList &lines, QWidget *parent = nullptr);
    QStringList lines() const;

    QTreeWidget *lvValues;
};

} // namespace ui
