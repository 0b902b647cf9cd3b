#pragma once
// Helpers for tests against the test domain: credentials from the facts, a private OU per
// test program, users made for a test.
#include "platform/adsi/adsobject.h"
#include "support/testdomain.h"

#include <QString>
#include <QStringList>

namespace adsitest {

QString server();        // the DC's address
QString baseDn();
QString adminUpn();
QString adminNt4();      // DOMAIN\Administrator
QString adminPassword();
// "LDAP://<addr>/" + dn
QString path(const QString &dn);
// Binds dn as the administrator with a simple bind; fails the test on error.
ads::ObjectPtr bindAdmin(const QString &dn, std::uint32_t flags = 0);
// A fresh OU below the seed OU, deleted with its content at process exit.
QString scratchOu();
// A short random tag of this test process, for unique names.
QString uniqueTag();
// Creates count users "<prefix><tag>NNN" in ou with sn/givenName set; returns their DNs.
QStringList createUsers(const QString &ou, const QString &prefix, int count);
// Deletes dn and everything below it.
void deleteTree(const QString &dn);
// TCP connections this process holds to the DC's LDAP port, as the kernel sees them.
int openLdapSockets(int port = 389);

} // namespace adsitest
