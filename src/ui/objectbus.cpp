#include "ui/objectbus.h"

#include <QObject>

#include <algorithm>

namespace ui {

ObjectBus &ObjectBus::instance()
{
    static ObjectBus bus;
    return bus;
}

void ObjectBus::registerWindow(QObject *window, Handler handler)
{
    if (!window)
        return;
    bool isNew = false;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry &e) { return e.window == window; });
        auto h = std::make_shared<Handler>(std::move(handler));
        if (it != entries_.end()) {
            it->handler = h;
        } else {
            entries_.push_back({window, h});
            isNew = true;
        }
    }
    if (isNew)
        QObject::connect(window, &QObject::destroyed, [this, window] { unregisterWindow(window); });
}

void ObjectBus::unregisterWindow(const QObject *window)
{
    std::lock_guard lock(mutex_);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry &e) { return e.window == window; }),
                   entries_.end());
}

bool ObjectBus::isRegistered(const QObject *window) const
{
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry &e) { return e.window == window; });
}

int ObjectBus::count() const
{
    std::lock_guard lock(mutex_);
    return int(entries_.size());
}

int ObjectBus::notify(int code, const QString &text, const QObject *sender)
{
    // Work on a snapshot so that handlers may register or unregister windows; before each
    // call check that the window is still registered (it may have been closed meanwhile).
    std::vector<Entry> snapshot;
    {
        std::lock_guard lock(mutex_);
        snapshot = entries_;
    }
    int called = 0;
    for (const Entry &e : snapshot) {
        if (e.window == sender)
            continue;
        std::shared_ptr<Handler> current;
        {
            std::lock_guard lock(mutex_);
            auto it = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const Entry &x) { return x.window == e.window; });
            if (it == entries_.end())
                continue;
            current = it->handler;
        }
        if (current && *current) {
            (*current)(code, text);
            ++called;
        }
    }
    return called;
}

} // namespace ui
