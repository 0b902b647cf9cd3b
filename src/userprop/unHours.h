#pragma once
// The logon-hours grid (TfrmHours): seven days by 24 hours, permitted (blue) or denied
// (fuchsia); rows start at the locale's first day of the week, the caller's array is always
// Sunday first.
#include "userprop/unAccountLogic.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

class TfrmHours : public QDialog {
    Q_OBJECT
public:
    explicit TfrmHours(QWidget *parent = nullptr);

    // Fills the grid from a Sunday-first array; writable false disables editing and OK.
    // known false says that the stored value could not be read (shown in the caption line).
    void setHours(const userprop::HoursArray &hours, bool writable, bool known = true);
    // The grid as a Sunday-first array.
    userprop::HoursArray hours() const;
    // The locale's first day (0 Monday .. 6 Sunday) the rows start at; tests may set it.
    void setFirstDay(int firstDay);

    // Handlers, public for tests: select a rectangle of rows (0..6) and hour columns (0..23).
    void selectHours(int firstRow, int lastRow, int firstHour, int lastHour);
    void rbBlueClick();
    void rbRedClick();
    QString selectionText() const;

    // Modal run: true with hours updated on OK.
    static bool edit(QWidget *parent, userprop::HoursArray &hours, bool writable, bool known = true);

protected:
    // A click on the window outside the grid removes the selection.
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintCells();
    void selectionChanged();
    void setSelected(quint8 value);
    // Puts the hour labels over the boundaries of the hour columns.
    void placeHourLabels();

    userprop::HoursArray grid_{}; // Sunday first
    int firstDay_ = 0;
    QTableWidget *grid = nullptr;
    QWidget *hourRuler_ = nullptr;
    QList<QLabel *> hourLabels_;
    QLabel *lbDeys = nullptr;
    QLabel *lbState = nullptr;
    QRadioButton *rbBlue = nullptr;
    QRadioButton *rbRed = nullptr;
    QPushButton *btOK = nullptr;
};
