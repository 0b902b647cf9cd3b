#pragma once
// Text helpers every window shares: hint and message wrapping.
#include <QString>

class QWidget;
class QAction;

namespace ui {

// Wraps text so that no line is longer than maxCol characters where a break is possible:
// a CR (13) is inserted after the last blank, hyphen or tab that still fits; blanks and tabs
// at the start of the new line are dropped. Existing line breaks (CR, LF, CR LF) are kept and
// restart the count. A word longer than maxCol stays whole on its own line.
QString wrapText(const QString &text, int maxCol = 40);

// A file name with its extension replaced by extension (".jpg"), or given it when it has
// none; the folder part is kept.
QString withExtension(const QString &fileName, const QString &extension);

// The text as a Qt widget shows it: CR LF and lone CR become LF.
QString displayText(const QString &text);

// Sets the hint (tool tip) of a control, wrapped at maxCol.
void setHint(QWidget *w, const QString &text, int maxCol = 40);
void setHint(QAction *a, const QString &text, int maxCol = 40);

// Hints of every window appear after 250 ms and stay 3 s (setHint sets the duration).
// Call once after the QApplication exists.
void installHintTiming();

// The wrapped hint exactly as set by setHint (with CR breaks), for tests and callers that
// need the raw text; empty when none was set.
QString hintOf(const QWidget *w);
QString hintOf(const QAction *a);

} // namespace ui
