#pragma once
// What the window layout test finds wrong in one open window, each finding naming the window
// and the control: cut texts, scroll bars over fixed content, a window larger than the
// screen, columns the user cannot resize or that a fit leaves narrower than their names,
// inputs without an accessible name, and a Tab order that leaves controls out or runs
// against the reading order.
#include <QSet>
#include <QString>
#include <QStringList>

class QWidget;

namespace layouttest {

// What a window's entry in the test's list says about it.
struct WindowRules {
    // Views whose column widths are set by the window (the grid's 80 or 50 pixels): their
    // name columns need to fit their content only after a double click on the divider.
    QSet<QString> givenWidths;
    // Views drawn as a fixed picture (the logon-hours grid): no scroll bars, columns fixed.
    QSet<QString> fixedContent;
};

// The screen every window must fit, in device pixels.
constexpr int kScreenWidth = 1366;
constexpr int kScreenHeight = 768;

// The path of a control inside its window ("frmFind/lvResult"), for messages.
QString controlPath(const QWidget *w);

// Checks the window as it is now shown (the current page of every tab widget). Findings are
// appended to failures.
void checkShownState(QWidget *window, const WindowRules &rules, QStringList &failures);

// Checks the window on every page of every tab widget and page stack (each page made current
// in turn), then returns to the pages that were current. Findings are de-duplicated.
QStringList checkWindow(QWidget *window, const WindowRules &rules);

// Whether a column caption names things (people, groups, permissions, ...).
bool isNameColumn(const QString &caption);

} // namespace layouttest
