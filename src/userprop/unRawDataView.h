#pragma once
// The RAW Data page of the user property dialog and the group windows (TRawDataPage): every
// attribute of an object with its ADSI type and values. Also the export of a shown list to a
// workbook, which the security views and the group windows share.
#include "platform/adsi/adsobject.h"

#include <QString>
#include <QVariant>
#include <QWidget>

class QLabel;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace userprop {

// Date-time text of a UTC time value (AdsDate holding UTC fields) in local time; empty when
// the value is no date.
QString UtcValueText(const QVariant &value);
// Writes the list's rows to a new workbook and opens it with the desktop's application:
// the caption in cell (1, 1), the column captions in row 2, the rows from row 3, a credit
// line two rows below the last. The file's path, or empty (after a message) when it failed.
QString ListToWorkbook(QWidget *parent, const QString &caption, const QTreeWidget *list, const QString &fileBase);

// "RAW Data": every attribute of an object with its type and values.
class TRawDataPage : public QWidget {
    Q_OBJECT
public:
    explicit TRawDataPage(QWidget *parent = nullptr);
    void load(const ads::ObjectPtr &object, const QString &caption);
    // Opens the value viewer (TfrmMVADSI) for the row.
    void lvRAWDblClick(QTreeWidgetItem *item);
    // Writes the rows to a workbook the desktop opens.
    void sbRawToExcelClick();
    // The workbook file written by the last sbRawToExcelClick (tests read it).
    QString lastWorkbook() const { return m_lastWorkbook; }

    QTreeWidget *lvRAW;
    QLabel *lbTotal;
    QToolButton *sbRawToExcel;

private:
    QString m_caption, m_lastWorkbook;
    int m_sortKey = 10;
};

// The ADSI type name of a type number (0 to 28), "Invalid type" ... "DN with string".
QString AdsTypeName(int type);
// One RAW value as text by its type and attribute.
QString RawValueText(const QString &name, int type, const QVariant &value);

} // namespace userprop
