#pragma once
// Plugging the filter builder and Find User into the main window: ActionFilter opens the
// filter builder for the selected node, Find User the " Select User " dialog for the domain,
// and the quick panel's manager button picks a user with it. Library arv_query_wiring.
class TfrmMain;

namespace query {

void wireMainWindow(TfrmMain &main);

} // namespace query
