// The trustee summary and the texts of the security views.
#include "userprop/unSecurityLogic.h"

#include <gtest/gtest.h>

using namespace userprop;

namespace {
ads::AccessControlEntry ace(const char *trustee, int type, quint32 mask, const char *objectType = "")
{
    ads::AccessControlEntry e;
    e.Trustee = QLatin1String(trustee);
    e.AceType = type;
    e.AccessMask = mask;
    e.ObjectType = QLatin1String(objectType);
    return e;
}
const char *kChangePassword = "{ab721a53-1e2f-11d0-9819-00aa0040529b}";
} // namespace

TEST(TrusteeDisplay, NamesSidsAndShortensDomains)
{
    const SidLookup lookup = [](const QString &text) -> QString {
        const QString sid = text.toUpper();
        if (sid == "S-1-5-18")
            return "NT AUTHORITY\\SYSTEM";
        if (sid == "S-1-5-32-544")
            return "BUILTIN\\Administrators";
        if (sid == "S-1-5-21-1-2-3-512")
            return "ARVENDEL\\Domain Admins";
        if (sid == "S-1-1-0")
            return "Everyone";
        return {};
    };
    EXPECT_EQ(TrusteeDisplayText("S-1-5-18", lookup), "SYSTEM");
    EXPECT_EQ(TrusteeDisplayText("s-1-5-32-544", lookup), "Administrators");
    EXPECT_EQ(TrusteeDisplayText("S-1-5-21-1-2-3-512", lookup), "Domain Admins (ARVENDEL\\Domain Admins)");
    EXPECT_EQ(TrusteeDisplayText("S-1-1-0", lookup), "Everyone");
    // A deleted account stays as its SID text, never an empty row.
    EXPECT_EQ(TrusteeDisplayText("S-1-5-21-1-2-3-9999", lookup), "S-1-5-21-1-2-3-9999");
    EXPECT_EQ(TrusteeDisplayText("nt authority\\SELF", {}), "SELF");
}

TEST(TrusteeSummary, FoldsEntriesPerTrusteeBySide)
{
    const QList<ads::AccessControlEntry> entries = {
        ace("A", 0, 0xF01FF),
        ace("B", 5, 0x100, kChangePassword),
        ace("B", 6, 0x100, "{00299570-246D-11D0-A768-00AA006E0529}"),
        ace("B", 1, 0x10000),
        ace("C", 2, 0x30),       // audit: row without rights
        ace("D", 7, 0x30),       // audit object: not a row
        ace("B", 5, 0, kChangePassword), // an empty mask adds no extended right
        ace("E", 5, 0x100, "{11111111-2222-3333-4444-555555555555}"),
    };
    const QList<TrusteeSummary> rows = SummarizeTrustees(entries);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].trustee, "A");
    EXPECT_EQ(rows[0].allowExtended, 0x1Fu);
    EXPECT_EQ(rows[1].allow, 0x100u);
    EXPECT_EQ(rows[1].allowExtended, quint32(ExtChangePassword));
    EXPECT_EQ(rows[1].deny, 0x10100u);
    EXPECT_EQ(rows[1].denyExtended, quint32(ExtResetPassword));
    EXPECT_EQ(rows[2].trustee, "C");
    EXPECT_EQ(rows[2].allow | rows[2].deny | rows[2].allowExtended, 0u);
    EXPECT_EQ(rows[3].allowExtended, 0u);

    int allowed = 0;
    for (const RightRow &r : SecurityRightRows())
        allowed += SideHasRight(r, rows[0].allow, rows[0].allowExtended);
    EXPECT_EQ(allowed, 11);
    EXPECT_EQ(ExtendedRightBitOf("{F3A64788-5306-11d1-A9C5-0000F80367C1}"), 128u);
}

TEST(PermissionText, DirectoryAndMailboxMasks)
{
    EXPECT_EQ(PermissionText(0xF01FF, false), "Full Control");
    EXPECT_EQ(PermissionText(0x4, false), "List Contents");
    EXPECT_EQ(PermissionText(0x40, false), "Delete Subtree");
    EXPECT_EQ(PermissionText(0x20010, false), "Read");
    EXPECT_EQ(PermissionText(0x30, false), "Read/Write");
    EXPECT_EQ(PermissionText(0x40000, false), "Write");
    EXPECT_EQ(PermissionText(0x100, false), "");
    EXPECT_EQ(PermissionText(0x20094, false), "Special");
    EXPECT_EQ(PermissionText(0x1, true), "Full Mailbox Access");
    EXPECT_EQ(PermissionText(0x2, true), "Send As");
    EXPECT_EQ(PermissionText(0x20001, true), "Special");
    EXPECT_EQ(PermissionText(0x8, true), "");
    EXPECT_EQ(AceTypeCaption(6), "Denied");
    EXPECT_EQ(AceTypeCaption(9), "");
    EXPECT_EQ(AuditTypeCaption(0xC0), "All");
    EXPECT_EQ(ApplyToCaption(0x0, "user"), "This object only");
    EXPECT_EQ(ApplyToCaption(0x10, "user"), "user object");
    EXPECT_EQ(ApplyToCaption(0x12, "user"), "user object");
    EXPECT_EQ(ApplyToCaption(0x2, ""), "This object and all child objects");
    EXPECT_EQ(Hex8(0xf01ff), "0x000F01FF");
}
