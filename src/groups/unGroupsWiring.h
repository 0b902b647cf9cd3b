#pragma once
// Plugs the group windows into the main window: "Groups" opens " Select Group", and
// "Query-Based Distribution Groups" opens the list of query-based groups (the main window
// runs its open-windows check first).
class TfrmMain;

namespace groups {

void wireMainWindow(TfrmMain &main);

} // namespace groups
