#pragma once
// Plugs the network windows into the program: the hidden "Browse for Server" window created
// at start (scanning at once) behind the connection dialog's "  ...", and "Server(s)
// Information" of the main window.
class TfrmMain;

namespace network {
void wireMainWindow(TfrmMain &main);
}
