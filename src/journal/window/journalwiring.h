#pragma once
// The change journal in the program: the recorder is installed for every directory write
// (a journal that cannot be written is reported before the write, which the user may then
// cancel), and "Change History..." in the main window's Extras menu opens the window.
#include <QString>

class TfrmMain;

namespace journal {

void wireMainWindow(TfrmMain &main);
// The question asked before a write the journal cannot record (true: make it anyway).
bool askToWriteUnrecorded(const QString &why);

} // namespace journal
