#pragma once
// Status codes and their texts.
//
// LDAP result codes and client failures become the HRESULTs ADSI's LDAP provider returns:
// the LDAP code is mapped to its Win32 error (LdapMapErrorToWin32) and that becomes a
// facility-7 HRESULT. The table (LDAP code -> Win32 error -> HRESULT):
//   0  success                      -> 0
//   1  operationsError              -> 8224 ERROR_DS_OPERATIONS_ERROR     0x80072020
//   2  protocolError                -> 8225                               0x80072021
//   3  timeLimitExceeded            -> 8226                               0x80072022
//   4  sizeLimitExceeded            -> 8227 ERROR_DS_SIZELIMIT_EXCEEDED   0x80072023
//   5/6 compareFalse/True           -> 8229/8230                          0x80072025/26
//   7  authMethodNotSupported       -> 8231                               0x80072027
//   8  strongerAuthRequired         -> 8232                               0x80072028
//   10 referral                     -> 8235 ERROR_DS_REFERRAL             0x8007202B
//   11 adminLimitExceeded           -> 8228                               0x80072024
//   12 unavailableCriticalExtension -> 8236                               0x8007202C
//   13 confidentialityRequired      -> 8237                               0x8007202D
//   16 noSuchAttribute              -> 8202 ERROR_DS_NO_ATTRIBUTE_OR_VALUE 0x8007200A
//   17 undefinedAttributeType       -> 8204                               0x8007200C
//   18 inappropriateMatching        -> 8238                               0x8007202E
//   19 constraintViolation          -> 8239 ERROR_DS_CONSTRAINT_VIOLATION 0x8007202F
//   20 attributeOrValueExists       -> 8205                               0x8007200D
//   21 invalidAttributeSyntax       -> 8203                               0x8007200B
//   32 noSuchObject                 -> 8240 ERROR_DS_NO_SUCH_OBJECT       0x80072030
//   33 aliasProblem                 -> 8241                               0x80072031
//   34 invalidDNSyntax              -> 8242                               0x80072032
//   35 isLeaf                       -> 8243                               0x80072033
//   36 aliasDereferencingProblem    -> 8244                               0x80072034
//   48 inappropriateAuthentication  -> 8233                               0x80072029
//   49 invalidCredentials           -> 1326 ERROR_LOGON_FAILURE           0x8007052E
//   50 insufficientAccessRights     -> 5    ERROR_ACCESS_DENIED           0x80070005
//   51 busy                         -> 8206                               0x8007200E
//   52 unavailable                  -> 8207                               0x8007200F
//   53 unwillingToPerform           -> 8245                               0x80072035
//   54 loopDetect                   -> 8246                               0x80072036
//   60 sortControlMissing           -> 8261                               0x80072045
//   61 offsetRangeError             -> 8262                               0x80072046
//   64 namingViolation              -> 8247                               0x80072037
//   65 objectClassViolation         -> 8212 ERROR_DS_OBJ_CLASS_VIOLATION  0x80072014
//   66 notAllowedOnNonLeaf          -> 8213                               0x80072015
//   67 notAllowedOnRDN              -> 8214                               0x80072016
//   68 entryAlreadyExists           -> 5010 ERROR_OBJECT_ALREADY_EXISTS   0x80071392
//   69 objectClassModsProhibited    -> 8215                               0x80072017
//   70 resultsTooLarge              -> 8248                               0x80072038
//   71 affectsMultipleDSAs          -> 8249                               0x80072039
//   80 other                        -> 8341 ERROR_DS_GENERIC_ERROR        0x80072095
//   client: server down -1          -> 8250 ERROR_DS_SERVER_DOWN          0x8007203A
//           (also: unreachable host, refused connection, untrusted certificate)
//   client: local error -2          -> 8251                               0x8007203B
//   client: encoding/decoding -3/-4 -> 8252/8253                          0x8007203C/3D
//   client: timeout -5              -> 1460 ERROR_TIMEOUT                 0x800705B4
//   client: auth unknown -6         -> 8234                               0x8007202A
//           (also: no Kerberos ticket, Kerberos/SASL failure)
//   client: filter error -7         -> E_ADS_INVALID_FILTER               0x80005014
//           (ADSI checks the filter itself before sending it)
//   client: user cancelled -8       -> 1223                               0x800704C7
//   client: parameter error -9      -> E_INVALIDARG                       0x80070057
//   client: no memory -10           -> E_OUTOFMEMORY                      0x8007000E
//   client: connect error -11       -> 8250 ERROR_DS_SERVER_DOWN          0x8007203A
//   client: not supported -12       -> 50 ERROR_NOT_SUPPORTED             0x80070032
//   client: control not found -13   -> 8258                               0x80072042
//   client: no results -14          -> 8257                               0x80072041
//   client: more results -15        -> 234 ERROR_MORE_DATA                0x800700EA
//   client: client loop -16         -> 8259                               0x80072043
//   client: referral limit -17      -> 8260                               0x80072044
// Any other code gives ERROR_DS_GENERIC_ERROR (0x80072095).
// A write that was sent and got no answer (timeout, stop, broken connection) gives
// E_ADS_WRITE_OUTCOME_UNKNOWN (0x8004D016, adstypes.h) instead: it may have been applied.
#include "platform/adsi/adstypes.h"

#include <QString>

namespace ads {

// The HRESULT for an LDAP result code or libldap client error (table above).
HRESULT hresultFromLdap(int ldapResult);
// The Win32 error code an LDAP result code maps to (0 for success).
std::uint32_t win32FromLdap(int ldapResult);

// The system's message text for a status code, like FormatMessage(FROM_SYSTEM): the texts
// of every facility-7 code this layer produces and of the common COM codes, each ending in
// CR LF as the system's texts do. Empty when the system has no text for the code (the ADSI
// codes 0x80005000.. have none: their texts live in the program's own table).
QString systemMessage(HRESULT status);

// The extended error of the calling thread (ADsGetLastError): the Win32 error code of the
// last failing directory call, the server's diagnostic text (or a plain-word description of
// a client failure, such as an unreachable server, an untrusted certificate, a missing
// Kerberos ticket) and the provider name ("LDAP Provider"). Returns S_OK. Never contains a
// password.
HRESULT ADsGetLastError(std::uint32_t *error, QString *errorText, QString *providerName);
// Sets the calling thread's extended error (used by this layer; tests may reset it with 0).
void ADsSetLastError(std::uint32_t error, const QString &errorText,
                     const QString &providerName = QStringLiteral("LDAP Provider"));

} // namespace ads
