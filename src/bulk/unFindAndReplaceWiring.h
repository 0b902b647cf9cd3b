#pragma once
// Opening find and replace from the main window: actFindAndReplace hands the window the
// selected container (else the tree's root), the current filter and its filter-builder flag;
// the filter builder and Find User serve its restriction and manager buttons.
// Library arv_bulk_replace_wiring.
class TfrmMain;

namespace findreplace {

void wireMainWindow(TfrmMain &main);

} // namespace findreplace
