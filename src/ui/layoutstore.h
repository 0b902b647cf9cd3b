#pragma once
// Where the windows remember the size, splitter positions and column widths the user set:
// one key per window below \Software\Vastrel\Pordex\WindowLayout, apart from the keys whose
// values are read as export column sets (COLUMNEXP) or saved queries (LDAPQ). No widgets
// here: the command-line tool forgets the layouts through this unit too.
#include <QString>
#include <QStringList>

namespace ui {

// The settings key below which the windows remember their layout.
QString windowLayoutKey();

// The windows that remember something (their key names).
QStringList rememberedWindows();

// Forgets every remembered layout. False (with the reason in *error) when the settings
// could not be written.
bool forgetWindowLayouts(QString *error = nullptr);

} // namespace ui
