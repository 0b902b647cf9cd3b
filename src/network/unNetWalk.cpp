#include "network/unNetWalk.h"

#include <vector>

namespace netwalk {

int ImageOf(std::uint32_t displayType)
{
    switch (displayType) {
    case netenum::RESOURCEDISPLAYTYPE_NETWORK: return 0;
    case netenum::RESOURCEDISPLAYTYPE_DOMAIN: return 1;
    case netenum::RESOURCEDISPLAYTYPE_SERVER: return 2;
    default: return -1;
    }
}

QString NodeText(const QString &remoteName)
{
    return remoteName.startsWith(QLatin1String("\\\\")) ? remoteName.mid(2) : remoteName;
}

namespace {

struct Descriptor {
    netenum::NETRESOURCEA raw{};
    QByteArray local, remote, comment, provider;
    explicit Descriptor(const netenum::Resource &r)
        : local(r.localName.toUtf8()), remote(r.remoteName.toUtf8()), comment(r.comment.toUtf8()),
          provider(r.provider.toUtf8())
    {
        raw.dwScope = r.scope;
        raw.dwType = r.type;
        raw.dwDisplayType = r.displayType;
        raw.dwUsage = r.usage;
        raw.lpLocalName = r.localName.isEmpty() ? nullptr : local.data();
        raw.lpRemoteName = r.remoteName.isEmpty() ? nullptr : remote.data();
        raw.lpComment = r.comment.isEmpty() ? nullptr : comment.data();
        raw.lpProvider = r.provider.isEmpty() ? nullptr : provider.data();
    }
};

bool stopped(const std::atomic<bool> *stop) { return stop && stop->load(); }

} // namespace

void Walk(const netenum::Resource *start, int parent, const Visitor &v, const std::atomic<bool> *stop)
{
    using namespace netenum;
    std::unique_ptr<Descriptor> d;
    if (start)
        d = std::make_unique<Descriptor>(*start);
    HANDLE h = nullptr;
    const int open = WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER,
                                   d ? &d->raw : nullptr, &h);
    const QString why = WNetLastProblem();
    if (!why.isEmpty() && v.problem)
        v.problem(why);
    if (open != NO_ERROR)
        return;  // nothing is added below this entry
    std::vector<char> buffer(16384);
    while (!stopped(stop)) {
        std::uint32_t count = 0xFFFFFFFF;
        std::uint32_t size = std::uint32_t(buffer.size());
        const int rc = WNetEnumResourceA(h, &count, buffer.data(), &size);
        if (v.step)
            v.step();
        if (rc == ERROR_MORE_DATA) {
            // Grow to what the next entry needs and ask again; a size that does not grow
            // would ask forever.
            if (size <= buffer.size())
                break;
            buffer.resize(size);
            continue;
        }
        if (rc != NO_ERROR)
            break;  // no more items, or an error that ends this level
        // Copy the entries out first: recursing reuses nothing of this buffer, but keeps it
        // simple to reason about.
        QList<Resource> entries;
        const auto *e = reinterpret_cast<const NETRESOURCEA *>(buffer.data());
        for (std::uint32_t i = 0; i < count; ++i)
            entries << toResource(e[i]);
        for (const Resource &r : entries) {
            if (stopped(stop))
                break;
            int current = parent;
            const int image = ImageOf(r.displayType);
            if (image >= 0 && v.node)
                current = v.node(parent, r, NodeText(r.remoteName), image);
            if (v.step)
                v.step();
            Walk(&r, current, v, stop);
        }
    }
    WNetCloseEnum(h);
}

} // namespace netwalk
