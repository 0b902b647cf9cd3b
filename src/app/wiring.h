#pragma once
// Plugging the windows of other folders into the main window.
//
// The main window (src/main) cannot depend on the folders whose windows it opens, since they
// depend on it (catalogue, grid, quick panel). Each such folder offers one function that
// connects its windows to a TfrmMain (through the main window's hooks), and a file
// src/app/wire_<folder>.cpp registers that function with one line:
//   ARV_APP_WIRING(query, query::wireMainWindow);
// The program calls every registered function once, after the main window exists.
#include <vector>

class TfrmMain;

namespace app {

using WiringFunction = void (*)(TfrmMain &);

inline std::vector<WiringFunction> &wirings()
{
    static std::vector<WiringFunction> list;
    return list;
}

inline bool registerWiring(WiringFunction f)
{
    wirings().push_back(f);
    return true;
}

} // namespace app

#define ARV_APP_WIRING(name, function) \
    static const bool arv_app_wired_##name = ::app::registerWiring(function)
