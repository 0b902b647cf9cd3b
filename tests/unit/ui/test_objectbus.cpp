#include "ui/objectbus.h"

#include <QObject>
#include <gtest/gtest.h>

#include <memory>

using ui::ObjectBus;

namespace {
struct Received {
    QList<std::pair<int, QString>> got;
};
} // namespace

TEST(ObjectBus, DeliversToEveryOtherWindowButNotTheSender)
{
    auto &bus = ObjectBus::instance();
    QObject a, b, c;
    Received ra, rb, rc;
    bus.registerWindow(&a, [&](int code, const QString &t) { ra.got.append({code, t}); });
    bus.registerWindow(&b, [&](int code, const QString &t) { rb.got.append({code, t}); });
    bus.registerWindow(&c, [&](int code, const QString &t) { rc.got.append({code, t}); });

    EXPECT_EQ(ui::notifyOtherWindows(0, "CN=x,DC=y", &a), 2);
    EXPECT_TRUE(ra.got.isEmpty());
    ASSERT_EQ(rb.got.size(), 1);
    EXPECT_EQ(rb.got[0], std::make_pair(0, QString("CN=x,DC=y")));
    EXPECT_EQ(rc.got.size(), 1);

    bus.notifyUnicodeFont(true, nullptr);
    EXPECT_EQ(ra.got.last(), std::make_pair(2, QString("1")));
}

TEST(ObjectBus, DestroyedOrClosedWindowsAreNotCalled)
{
    auto &bus = ObjectBus::instance();
    const int before = bus.count();
    auto a = std::make_unique<QObject>();
    auto b = std::make_unique<QObject>();
    int calledB = 0;
    // a closes b while handling the notice: b must not be called afterwards.
    bus.registerWindow(a.get(), [&](int, const QString &) { b.reset(); });
    bus.registerWindow(b.get(), [&](int, const QString &) { ++calledB; });
    EXPECT_EQ(bus.count(), before + 2);
    bus.notify(0, "dn", nullptr);
    EXPECT_EQ(calledB, 0);
    EXPECT_EQ(bus.count(), before + 1);
    a.reset();
    EXPECT_EQ(bus.count(), before);
    EXPECT_EQ(bus.notify(0, "dn", nullptr), 0);
}

TEST(ObjectBus, HandlerMayOpenAWindowAndNotifyAgain)
{
    auto &bus = ObjectBus::instance();
    QObject a, b;
    auto late = std::make_unique<QObject>();
    int nested = 0, lateCalls = 0;
    bus.registerWindow(&a, [&](int code, const QString &) {
        if (code == 0) {
            bus.registerWindow(late.get(), [&](int, const QString &) { ++lateCalls; });
            bus.notify(1, "inner", &a); // re-entrant delivery must not deadlock
        }
    });
    bus.registerWindow(&b, [&](int code, const QString &) { nested += code == 1; });
    bus.notify(0, "outer", &b);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(lateCalls, 1); // reached by the inner notice, not by the outer snapshot
}
