#pragma once
// Walking the network below a resource the way the browser fills its tree: entries asked for
// in a 16384-byte buffer that grows when the system asks for more, networks, domains and
// servers visited in order, recursing into every entry. Shared by TNetEnumThread and the
// command-line browser; no widgets.
#include "platform/netenum/netenum.h"

#include <atomic>
#include <functional>

namespace netwalk {

// Image index of a display type: 0 network, 1 domain, 2 server, -1 for other types.
int ImageOf(std::uint32_t displayType);
// The node text: the remote name without a leading "\\".
QString NodeText(const QString &remoteName);

struct Visitor {
    // A network, domain or server entry at depth (0 = the top). Returns the token its
    // children are reported under (the caller's node id); parent is the token of the level.
    std::function<int(int parent, const netenum::Resource &entry, const QString &text, int image)> node;
    // After every enumeration call and every node (the progress bar's step).
    std::function<void()> step;
    // A reason why a level was found empty or incomplete.
    std::function<void(const QString &problem)> problem;
};

// Enumerates below start (null: the whole network); parent is the token of start's node
// (0 for none). Stops early when stop becomes true. Never raises.
void Walk(const netenum::Resource *start, int parent, const Visitor &visitor,
          const std::atomic<bool> *stop = nullptr);

} // namespace netwalk
