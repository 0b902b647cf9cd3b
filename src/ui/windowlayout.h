#pragma once
// The layout every window shares.
//
// - A window opens at a size that shows all of its content (never smaller than its layout
//   asks for, never larger than the screen's free area) and centred on its parent.
// - Every column of its lists and grids can be resized by dragging its divider, and a double
//   click on the divider fits the column to its header and the rows in view. The last column
//   takes the space left over at the right; header captions read from their start.
// - Tab bars show all of their tabs (no scroll arrows, no cut captions).
// - The window size, splitter positions and column widths the user sets are remembered per
//   window under their own settings key (windowLayoutKey() + "\" + the window's name), and
//   resetWindowLayouts() returns every window to its defaults.
//
// Typical use, at the end of a window's constructor:
//   ui::setupColumns(NextGrid, ui::Columns::Given);   // the window sets the default widths
//   ui::setupWindow(this, QSize(640, 440));           // every other list fits its content
#include "ui/layoutstore.h"

#include <QSize>
#include <QString>

#include <initializer_list>

class QAbstractItemView;
class QLabel;
class QWidget;

namespace ui {

enum class Columns {
    // Columns start as wide as their content (header and rows in view) and follow it as rows
    // arrive, until the user sets a width.
    Fit,
    // The window sets each column's default width; it stays until the user changes it.
    Given,
    // The frozen columns of a grid, which take their widths from the grid itself: resizable,
    // no column takes left-over space.
    Frozen,
    // A picture drawn as a table (the logon-hours grid): the window alone sizes the columns
    // (the user cannot drag them), nothing is fitted or remembered.
    Fixed,
};

// Sets up the columns of a list or grid. Views that a window does not set up itself get
// Columns::Fit when the window is first shown (setupWindow). Calling it again changes the kind.
void setupColumns(QAbstractItemView *view, Columns kind = Columns::Fit);

// Fits the columns of a Columns::Fit view that the user has not sized to the rows now in view
// (the view does this by itself when rows arrive or it is shown).
void fitColumns(QAbstractItemView *view);

// Call at the end of a window's constructor. preferred: the opening size when it is larger
// than what the content needs. When the window is first shown: the item views it did not set
// up get Columns::Fit, tab bars show every tab, the window takes its opening size (or the
// remembered one), splitters and column widths are restored, and a window without a parent
// is centred on the active window. When it is hidden, what the user changed is saved.
void setupWindow(QWidget *window, QSize preferred = QSize());

// The size a window set up with setupWindow opens at when nothing is remembered.
QSize defaultWindowSize(const QWidget *window);

// The Tab order of a window's controls, in the order given (each after the one before it).
void tabOrder(std::initializer_list<QWidget *> widgets);

// Puts these controls (a window's closing buttons, made before its pages) last in the Tab
// order of their window, in the order given.
void tabOrderLast(std::initializer_list<QWidget *> widgets);

// A caption label that names the control beside it: screen readers read the label as the
// control's name, and an access key in the text moves the focus there.
QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent);

// Forgets every remembered size, splitter position and column width; open windows return to
// their defaults. False (with the reason in *error) when the settings could not be written.
bool resetWindowLayouts(QString *error = nullptr);

} // namespace ui
