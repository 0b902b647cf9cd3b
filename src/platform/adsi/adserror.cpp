#include "platform/adsi/adserror.h"

#include <ldap.h>

namespace ads {

namespace {

struct LdapMap {
    int ldap;
    std::uint32_t win32;
};

// LDAP result code -> Win32 error (what LdapMapErrorToWin32 gives).
constexpr LdapMap kLdapToWin32[] = {
    {LDAP_SUCCESS, 0},
    {LDAP_OPERATIONS_ERROR, 8224},
    {LDAP_PROTOCOL_ERROR, 8225},
    {LDAP_TIMELIMIT_EXCEEDED, 8226},
    {LDAP_SIZELIMIT_EXCEEDED, 8227},
    {LDAP_COMPARE_FALSE, 8229},
    {LDAP_COMPARE_TRUE, 8230},
    {LDAP_AUTH_METHOD_NOT_SUPPORTED, 8231},
    {LDAP_STRONG_AUTH_REQUIRED, 8232},
    {9 /* LDAPv2 partial results / referral */, 8235},
    {LDAP_REFERRAL, 8235},
    {LDAP_ADMINLIMIT_EXCEEDED, 8228},
    {LDAP_UNAVAILABLE_CRITICAL_EXTENSION, 8236},
    {LDAP_CONFIDENTIALITY_REQUIRED, 8237},
    {LDAP_SASL_BIND_IN_PROGRESS, 8224},
    {LDAP_NO_SUCH_ATTRIBUTE, 8202},
    {LDAP_UNDEFINED_TYPE, 8204},
    {LDAP_INAPPROPRIATE_MATCHING, 8238},
    {LDAP_CONSTRAINT_VIOLATION, 8239},
    {LDAP_TYPE_OR_VALUE_EXISTS, 8205},
    {LDAP_INVALID_SYNTAX, 8203},
    {LDAP_NO_SUCH_OBJECT, 8240},
    {LDAP_ALIAS_PROBLEM, 8241},
    {LDAP_INVALID_DN_SYNTAX, 8242},
    {LDAP_IS_LEAF, 8243},
    {LDAP_ALIAS_DEREF_PROBLEM, 8244},
    {LDAP_INAPPROPRIATE_AUTH, 8233},
    {LDAP_INVALID_CREDENTIALS, 1326},
    {LDAP_INSUFFICIENT_ACCESS, 5},
    {LDAP_BUSY, 8206},
    {LDAP_UNAVAILABLE, 8207},
    {LDAP_UNWILLING_TO_PERFORM, 8245},
    {LDAP_LOOP_DETECT, 8246},
    {60 /* sortControlMissing */, 8261},
    {61 /* offsetRangeError */, 8262},
    {LDAP_NAMING_VIOLATION, 8247},
    {LDAP_OBJECT_CLASS_VIOLATION, 8212},
    {LDAP_NOT_ALLOWED_ON_NONLEAF, 8213},
    {LDAP_NOT_ALLOWED_ON_RDN, 8214},
    {LDAP_ALREADY_EXISTS, 5010},
    {LDAP_NO_OBJECT_CLASS_MODS, 8215},
    {LDAP_RESULTS_TOO_LARGE, 8248},
    {LDAP_AFFECTS_MULTIPLE_DSAS, 8249},
    {LDAP_OTHER, 8341},
    {LDAP_SERVER_DOWN, 8250},
    {LDAP_LOCAL_ERROR, 8251},
    {LDAP_ENCODING_ERROR, 8252},
    {LDAP_DECODING_ERROR, 8253},
    {LDAP_TIMEOUT, 1460},
    {LDAP_AUTH_UNKNOWN, 8234},
    {LDAP_FILTER_ERROR, 8254},
    {LDAP_USER_CANCELLED, 1223},
    {LDAP_PARAM_ERROR, 87},
    {LDAP_NO_MEMORY, 14},
    {LDAP_CONNECT_ERROR, 8250},
    {LDAP_NOT_SUPPORTED, 50},
    {LDAP_CONTROL_NOT_FOUND, 8258},
    {LDAP_NO_RESULTS_RETURNED, 8257},
    {LDAP_MORE_RESULTS_TO_RETURN, 234},
    {LDAP_CLIENT_LOOP, 8259},
    {LDAP_REFERRAL_LIMIT_EXCEEDED, 8260},
};

struct Message {
    std::uint32_t code;
    const char *text;
};

// The system's texts of the Win32 errors above and of the COM codes this layer returns.
constexpr Message kWin32Messages[] = {
    {5, "Access is denied."},
    {14, "Not enough memory resources are available to complete this operation."},
    {29, "The system cannot write to the specified device."},
    {50, "The request is not supported."},
    {87, "The parameter is incorrect."},
    {234, "More data is available."},
    {1223, "The operation was canceled by the user."},
    {1225, "The remote computer refused the network connection."},
    {1312, "A specified logon session does not exist. It may already have been terminated."},
    {1326, "The user name or password is incorrect."},
    {1330, "The password for this account has expired."},
    {1331, "This user can't sign in because this account is currently disabled."},
    {1460, "This operation returned because the timeout period expired."},
    {5010, "The object already exists."},
    {8202, "The specified directory service attribute or value does not exist."},
    {8203, "The attribute syntax specified to the directory service is invalid."},
    {8204, "The attribute type specified to the directory service is not defined."},
    {8205, "The specified directory service attribute or value already exists."},
    {8206, "The directory service is busy."},
    {8207, "The directory service is unavailable."},
    {8212, "The requested operation did not satisfy one or more constraints associated with the class of the object."},
    {8213, "The directory service can perform the requested operation only on a leaf object."},
    {8214, "The directory service cannot perform the requested operation on the RDN attribute of an object."},
    {8215, "The directory service detected an attempt to modify the object class of an object."},
    {8224, "An operations error occurred."},
    {8225, "A protocol error occurred."},
    {8226, "The time limit for this request was exceeded."},
    {8227, "The size limit for this request was exceeded."},
    {8228, "The administrative limit for this request was exceeded."},
    {8229, "The compare response was false."},
    {8230, "The compare response was true."},
    {8231, "The requested authentication method is not supported by the server."},
    {8232, "A more secure authentication method is required for this server."},
    {8233, "Inappropriate authentication."},
    {8234, "The authentication mechanism is unknown."},
    {8235, "A referral was returned from the server."},
    {8236, "The server does not support the requested critical extension."},
    {8237, "This request requires a secure connection."},
    {8238, "Inappropriate matching."},
    {8239, "A constraint violation occurred."},
    {8240, "There is no such object on the server."},
    {8241, "There is an alias problem."},
    {8242, "An invalid dn syntax has been specified."},
    {8243, "The object is a leaf object."},
    {8244, "There is an alias dereferencing problem."},
    {8245, "The server is unwilling to process the request."},
    {8246, "A loop has been detected."},
    {8247, "There is a naming violation."},
    {8248, "The result set is too large."},
    {8249, "The operation affects multiple DSAs."},
    {8250, "The server is not operational."},
    {8251, "A local error has occurred."},
    {8252, "An encoding error has occurred."},
    {8253, "A decoding error has occurred."},
    {8254, "The search filter cannot be recognized."},
    {8255, "One or more parameters are illegal."},
    {8256, "The specified method is not supported."},
    {8257, "No results were returned."},
    {8258, "The specified control is not supported by the server."},
    {8259, "A referral loop was detected by the client."},
    {8260, "The preset referral limit was exceeded."},
    {8261, "The search requires a SORT control."},
    {8262, "The search results exceed the offset range specified."},
    {8341, "A directory service error has occurred."},
};

constexpr Message kComMessages[] = {
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004003u, "Invalid pointer"},
    {0x80004004u, "Operation aborted"},
    {0x80004005u, "Unspecified error"},
    {0x8000FFFFu, "Catastrophic failure"},
    {0x80020005u, "Type mismatch."},
    {0x8004D016u, "The server did not confirm the change: it may have been applied."},
};

struct LastError {
    std::uint32_t code = 0;
    QString text;
    QString provider;
};
thread_local LastError t_lastError;

} // namespace

std::uint32_t win32FromLdap(int ldapResult)
{
    for (const auto &m : kLdapToWin32)
        if (m.ldap == ldapResult)
            return m.win32;
    return 8341;
}

HRESULT hresultFromLdap(int ldapResult)
{
    if (ldapResult == LDAP_SUCCESS)
        return S_OK;
    if (ldapResult == LDAP_FILTER_ERROR)
        return E_ADS_INVALID_FILTER;
    if (ldapResult == LDAP_PARAM_ERROR)
        return E_INVALIDARG;
    if (ldapResult == LDAP_NO_MEMORY)
        return E_OUTOFMEMORY;
    return hresultFromWin32(win32FromLdap(ldapResult));
}

QString systemMessage(HRESULT status)
{
    const auto u = static_cast<std::uint32_t>(status);
    if (facilityOf(status) == 7 || (u & 0xFFFF0000u) == 0) {
        const std::uint32_t code = u & 0xFFFF;
        for (const auto &m : kWin32Messages)
            if (m.code == code)
                return QString::fromLatin1(m.text) + QStringLiteral("\r\n");
        return QString();
    }
    for (const auto &m : kComMessages)
        if (m.code == u)
            return QString::fromLatin1(m.text) + QStringLiteral("\r\n");
    return QString();
}

HRESULT ADsGetLastError(std::uint32_t *error, QString *errorText, QString *providerName)
{
    if (error)
        *error = t_lastError.code;
    if (errorText)
        *errorText = t_lastError.text;
    if (providerName)
        *providerName = t_lastError.provider;
    return S_OK;
}

void ADsSetLastError(std::uint32_t error, const QString &errorText, const QString &providerName)
{
    t_lastError.code = error;
    t_lastError.text = errorText;
    t_lastError.provider = error == 0 && errorText.isEmpty() ? QString() : providerName;
}

} // namespace ads
