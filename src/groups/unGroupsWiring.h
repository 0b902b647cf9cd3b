#pragma once
// Plugs the group windows into the main window: "Groups" opens " Select Group", and
// "Query-Based Distribution Groups" opens the list of query-based groups (the main window
// runs its open-windows check first).
class TfrmMain;

namespace groups {

void wireMainWindow(TfrmMain &main);
// Only what the group windows open themselves: the user property dialog of a manager, the
// group picker of "Member Of" and the advanced security view (wireMainWindow does this too).
void wireDialogs();

} // namespace groups
