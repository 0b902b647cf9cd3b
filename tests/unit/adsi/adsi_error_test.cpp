// Status codes for LDAP results and their system texts.
#include "platform/adsi/adserror.h"

#include <gtest/gtest.h>
#include <ldap.h>
#include <thread>

using namespace ads;

TEST(Status, LdapResultsMapToTheWin32DirectoryErrors)
{
    EXPECT_EQ(hresultFromLdap(LDAP_SUCCESS), S_OK);
    EXPECT_EQ(hresultFromLdap(LDAP_INVALID_CREDENTIALS), hr(0x8007052E));
    EXPECT_EQ(hresultFromLdap(LDAP_SERVER_DOWN), hr(0x8007203A));
    EXPECT_EQ(hresultFromLdap(LDAP_CONNECT_ERROR), hr(0x8007203A));
    EXPECT_EQ(hresultFromLdap(LDAP_NO_SUCH_OBJECT), hr(0x80072030));
    EXPECT_EQ(hresultFromLdap(LDAP_INSUFFICIENT_ACCESS), hr(0x80070005));
    EXPECT_EQ(hresultFromLdap(LDAP_CONSTRAINT_VIOLATION), hr(0x8007202F));
    EXPECT_EQ(hresultFromLdap(LDAP_ALREADY_EXISTS), hr(0x80071392));
    EXPECT_EQ(hresultFromLdap(LDAP_SIZELIMIT_EXCEEDED), hr(0x80072023));
    EXPECT_EQ(hresultFromLdap(LDAP_FILTER_ERROR), hr(0x80005014));
    EXPECT_EQ(hresultFromLdap(LDAP_UNWILLING_TO_PERFORM), hr(0x80072035));
    EXPECT_EQ(hresultFromLdap(LDAP_REFERRAL), hr(0x8007202B));
    EXPECT_EQ(hresultFromLdap(12345), hr(0x80072095));
    EXPECT_EQ(facilityOf(hr(0x8007203A)), 7);
    EXPECT_EQ(facilityOf(hr(0x80005014)), 0);
}

TEST(Status, EverySystemCodeThisLayerReturnsHasAText)
{
    for (int rc = -20; rc <= 80; ++rc) {
        const HRESULT h = hresultFromLdap(rc);
        if (h == S_OK || facilityOf(h) != 7)
            continue;
        EXPECT_FALSE(systemMessage(h).isEmpty()) << "LDAP " << rc << " -> " << std::hex << h;
        EXPECT_TRUE(systemMessage(h).endsWith(QLatin1String("\r\n")));
    }
    // Codes of the Kerberos failures (no ticket, expired password, disabled account).
    for (std::uint32_t win32 : {1312u, 1330u, 1331u, 8234u, 1460u})
        EXPECT_FALSE(systemMessage(hresultFromWin32(win32)).isEmpty()) << win32;
    EXPECT_EQ(systemMessage(hr(0x8007052E)), QStringLiteral("The user name or password is incorrect.\r\n"));
    EXPECT_EQ(systemMessage(hr(0x80072030)), QStringLiteral("There is no such object on the server.\r\n"));
    EXPECT_TRUE(systemMessage(hr(0x80005014)).isEmpty());
    EXPECT_TRUE(systemMessage(hr(0x8000501F)).isEmpty());
}

TEST(Status, ExtendedErrorIsPerThread)
{
    ADsSetLastError(8240, QStringLiteral("0000208D: NameErr"));
    std::uint32_t code = 0;
    QString text, provider;
    std::thread([&] {
        ADsGetLastError(&code, &text, &provider);
    }).join();
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(text.isEmpty());
    ADsGetLastError(&code, &text, &provider);
    EXPECT_EQ(code, 8240u);
    EXPECT_EQ(text, QStringLiteral("0000208D: NameErr"));
    EXPECT_EQ(provider, QStringLiteral("LDAP Provider"));
}
