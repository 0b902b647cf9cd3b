// The browser's walk over a network given by a test source: levels and node texts, entries
// larger than the first buffer, failures that end a level, and stopping.
#include "network/unNetWalk.h"

#include <QHash>
#include <gtest/gtest.h>

using namespace netenum;

namespace {

Resource res(std::uint32_t type, const QString &remote, const QString &comment = QString())
{
    Resource r;
    r.displayType = type;
    r.remoteName = remote;
    r.comment = comment;
    return r;
}

struct Seen {
    QStringList lines;
    QStringList problems;
    int steps = 0;
};

Seen walk(const std::atomic<bool> *stop = nullptr)
{
    Seen s;
    QHash<int, int> depth{{0, -1}};
    int next = 1;
    netwalk::Visitor v;
    v.node = [&](int parent, const Resource &, const QString &text, int image) {
        const int d = depth.value(parent) + 1;
        depth.insert(next, d);
        s.lines << QString(d, QLatin1Char('.')) + text + QLatin1Char('/') + QString::number(image);
        return next++;
    };
    v.step = [&] { ++s.steps; };
    v.problem = [&](const QString &p) { s.problems << p; };
    netwalk::Walk(nullptr, 0, v, stop);
    return s;
}

class Walk : public ::testing::Test {
protected:
    void TearDown() override { setSource(nullptr); }
};

} // namespace

TEST_F(Walk, LevelsTextsImagesAndEntriesLargerThanTheBuffer)
{
    const QString bigComment(20000, QLatin1Char('c'));  // more than the first 16384 bytes
    setSource([&](const Resource *start, QString *problem, int *status) {
        *status = NO_ERROR;
        if (!start)
            return QList<Resource>{res(RESOURCEDISPLAYTYPE_NETWORK, "Net")};
        if (start->displayType == RESOURCEDISPLAYTYPE_NETWORK)
            return QList<Resource>{res(RESOURCEDISPLAYTYPE_DOMAIN, "a.test"), res(RESOURCEDISPLAYTYPE_DOMAIN, "b.test")};
        if (start->remoteName == "a.test")
            return QList<Resource>{res(RESOURCEDISPLAYTYPE_SERVER, "\\\\srv1", bigComment),
                                   res(RESOURCEDISPLAYTYPE_GENERIC, "\\\\printer"),
                                   res(RESOURCEDISPLAYTYPE_SERVER, "srv2")};
        if (start->remoteName == "b.test") {
            *problem = "b.test has no controllers";
            *status = ERROR_NO_NETWORK;
            return QList<Resource>{};
        }
        *status = ERROR_NOT_CONTAINER;
        return QList<Resource>{};
    });
    const Seen s = walk();
    EXPECT_EQ(s.lines, (QStringList{"Net/0", ".a.test/1", "..srv1/2", "..srv2/2", ".b.test/1"}));
    EXPECT_EQ(s.problems, QStringList{"b.test has no controllers"});
    EXPECT_GT(s.steps, 5);
}

TEST_F(Walk, StopEndsTheWalkEarly)
{
    std::atomic<bool> stop{false};
    int asked = 0;
    setSource([&](const Resource *start, QString *, int *status) {
        *status = NO_ERROR;
        ++asked;
        if (!start)
            return QList<Resource>{res(RESOURCEDISPLAYTYPE_NETWORK, "Net")};
        if (start->displayType == RESOURCEDISPLAYTYPE_NETWORK) {
            stop = true;  // asked to stop while the domains are listed
            return QList<Resource>{res(RESOURCEDISPLAYTYPE_DOMAIN, "a.test"), res(RESOURCEDISPLAYTYPE_DOMAIN, "b.test")};
        }
        return QList<Resource>{};
    });
    const Seen s = walk(&stop);
    EXPECT_EQ(s.lines, QStringList{"Net/0"});
    EXPECT_EQ(asked, 2);
}
