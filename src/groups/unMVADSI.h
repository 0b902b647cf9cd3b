#pragma once
// The value viewer of the RAW Data lists (TfrmMVADSI): every value of one attribute, one per
// line, as the list shows them.
#include <QDialog>
#include <QStringList>

class QTreeWidget;

namespace groups {

// The lines of a RAW row: a row of several values is split at each "#" (parts trimmed),
// a row of one value is that value.
QStringList MVADSILines(const QString &shownValue, bool multiValued);

class TfrmMVADSI : public QDialog {
    Q_OBJECT
public:
    TfrmMVADSI(const QString &attribute, const QString &shownValue, bool multiValued, QWidget *parent = nullptr);
    QTreeWidget *lvValues;
};

} // namespace groups
