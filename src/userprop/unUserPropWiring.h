#pragma once
// Plugs the user property dialog into the main window: the grid, the toolbar, the quick
// panel's path label, speed button and direct reports open it; the panel's manager button
// opens the manager dialog.
class TfrmMain;

namespace userprop {
void wireMainWindow(TfrmMain &main);
}
