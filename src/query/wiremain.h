#pragma once
// Plugging the filter builder and Find User into the main window: ActionFilter opens the
// filter builder for the selected node, Find User the " Select User " dialog for the domain.
// (The quick panel's manager button opens the manager dialog of the property dialog's
// folder, which picks users with the same dialog.) Library arv_query_wiring.
class TfrmMain;

namespace query {

void wireMainWindow(TfrmMain &main);

} // namespace query
