#pragma once
// The object-changed notice that windows send each other after writing a directory object.
//
// One process-wide bus. A window registers a handler; notify() calls the handler of every
// other registered window synchronously, in the caller's thread, in registration order.
// Codes: 0 the object with that distinguished name changed, 1 its picture changed,
// 2 the Unicode-font option changed (text "0" or "1": the new value).
#include <QString>

#include <functional>
#include <mutex>
#include <vector>

class QObject;

namespace ui {

enum NoticeCode : int { ObjectChanged = 0, PictureChanged = 1, UnicodeFontChanged = 2 };

class ObjectBus {
public:
    using Handler = std::function<void(int code, const QString &text)>;

    static ObjectBus &instance();

    // Registers (or replaces) the handler of a window. When the window is a QObject that is
    // destroyed, its handler is removed on its own.
    void registerWindow(QObject *window, Handler handler);
    void unregisterWindow(const QObject *window);
    bool isRegistered(const QObject *window) const;
    int count() const;

    // Calls every registered handler except the sender's. A handler that unregisters another
    // window (for example by closing it) during the delivery keeps that window from being
    // called afterwards. Returns how many handlers were called.
    int notify(int code, const QString &text, const QObject *sender);

    // Convenience for code 2.
    int notifyUnicodeFont(bool on, const QObject *sender)
    {
        return notify(UnicodeFontChanged, on ? QStringLiteral("1") : QStringLiteral("0"), sender);
    }

private:
    ObjectBus() = default;
    struct Entry {
        const QObject *window;
        std::shared_ptr<Handler> handler;
    };
    mutable std::recursive_mutex mutex_;
    std::vector<Entry> entries_;
};

// Shorthand: ObjectBus::instance().notify(...)
inline int notifyOtherWindows(int code, const QString &text, const QObject *sender)
{
    return ObjectBus::instance().notify(code, text, sender);
}

} // namespace ui
