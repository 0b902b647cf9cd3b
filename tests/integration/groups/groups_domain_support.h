#pragma once
// The fixture of the group tests against the test domain: a connection context as the main
// window publishes it, scratch groups in this process's own OU, and reading and writing
// "member" with the directory's own tools.
#include "../adsi/adsi_fixture.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

namespace groupstest {

inline QString fact(const char *key) { return testsupport::fact(key); }

// Connects the process-wide context as the administrator (simple bind).
void connectAsAdmin();

// The process's scratch OU (below the domain root, removed at exit).
inline QString scratch() { return adsitest::scratchOu(); }

// A global security group "grp-<what>-<tag>-<n>" in the scratch OU; its DN.
QString createGroup(const QString &what);

// The group's "member" values as ldapsearch reads them, lower-cased.
QSet<QString> membersByTool(const QString &groupDn);
// Adds one value with ldapmodify (someone else's change); the tool's exit code.
int addMemberByTool(const QString &groupDn, const QString &memberDn);

QSet<QString> lower(const QStringList &l);

// Processes events until pred holds or ms have passed; pred's last answer.
bool waitFor(const std::function<bool()> &pred, int ms = 60000);

class GroupsDomain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        connectAsAdmin();
    }
};

} // namespace groupstest
