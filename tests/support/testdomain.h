#pragma once
// Connection facts of the running test domain, for tests declared DOMAIN.
//
// tests/domain/testdomain.sh writes them to <domain folder>/facts.env as KEY=VALUE lines;
// CTest passes the folder in ARV_TEST_DOMAIN. Keys (see tests/domain/README.md):
//   ADDR LDAP_PORT LDAPS_PORT LDAP_URI HOST DNS_HOST REALM DNS_DOMAIN NETBIOS BASE_DN
//   ADMIN_NAME ADMIN_USER ADMIN_UPN ADMIN_PASSWORD DELEGATE_NAME DELEGATE_USER
//   DELEGATE_PASSWORD DELEGATE_OU CA_FILE KRB5_CONFIG
// and besides: LDAPS_URI ADMIN_DN DELEGATE_UPN DELEGATE_DN USER_PASSWORD SEED_OU SEEDED
//   LARGE_OU LARGE_USERS SMB_CONF PID_FILE LOG_FILE.
// support/ldaptools.h reads and writes the domain with ldapsearch/ldapmodify.
#include <QString>
#include <gtest/gtest.h>

namespace testsupport {

// The value of one fact; empty when the key is unknown or no domain is running.
QString fact(const char *key);

// The domain folder (ARV_TEST_DOMAIN), empty when not set.
QString domainDir();

// True when facts.env exists and the domain's LDAP port answers.
bool domainAvailable();

// Points this process's Kerberos and TLS libraries at the test domain (KRB5_CONFIG,
// LDAPTLS_CACERT, a private credential cache). Call before the first bind.
void useDomainEnvironment();

} // namespace testsupport

// First line of every test that talks to the test domain: a missing domain is a failure,
// never a silent skip.
#define ARV_REQUIRE_DOMAIN()                                                                   \
    do {                                                                                       \
        ASSERT_TRUE(::testsupport::domainAvailable())                                          \
            << "the test domain is not running (ARV_TEST_DOMAIN=" << ::testsupport::domainDir().toStdString() \
            << "); start it with tests/domain/testdomain.sh up";                               \
        ::testsupport::useDomainEnvironment();                                                 \
    } while (0)
