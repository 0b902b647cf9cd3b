#include "support/ldaptools.h"

#include "support/testdomain.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <QTemporaryFile>

namespace testsupport {

Account Account::admin()
{
    return {fact("ADMIN_UPN"), fact("ADMIN_PASSWORD").toUtf8()};
}

Account Account::delegate()
{
    return {fact("DELEGATE_UPN"), fact("DELEGATE_PASSWORD").toUtf8()};
}

QList<QByteArray> LdifEntry::values(const QString &name) const
{
    QList<QByteArray> out;
    for (const auto &[key, value] : attributes)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            out.append(value);
    return out;
}

QString LdifEntry::text(const QString &name) const
{
    const QList<QByteArray> v = values(name);
    return v.isEmpty() ? QString() : QString::fromUtf8(v.first());
}

QString LdifEntry::attributeStartingWith(const QString &prefix) const
{
    for (const auto &[key, value] : attributes)
        if (key.startsWith(prefix, Qt::CaseInsensitive))
            return key;
    return {};
}

ToolResult runTool(const QString &program, const QStringList &args, const QByteArray &stdinData,
                   const QProcessEnvironment &env, int timeoutMs)
{
    ToolResult r;
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        r.err = "cannot start " + program.toUtf8();
        return r;
    }
    if (!stdinData.isEmpty())
        p.write(stdinData);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = program.toUtf8() + " did not finish in time";
        return r;
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

QProcessEnvironment toolEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LDAPTLS_CACERT"), fact("CA_FILE"));
    env.insert(QStringLiteral("LDAPTLS_REQCERT"), QStringLiteral("demand"));
    env.insert(QStringLiteral("KRB5_CONFIG"), fact("KRB5_CONFIG"));
    return env;
}

QList<LdifEntry> parseLdif(const QByteArray &ldif)
{
    // Unfold continuation lines first (a line starting with one blank continues the previous).
    QList<QByteArray> lines;
    for (const QByteArray &raw : ldif.split('\n')) {
        QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (line.startsWith(' ') && !lines.isEmpty())
            lines.last().append(line.mid(1));
        else
            lines.append(line);
    }
    QList<LdifEntry> entries;
    LdifEntry current;
    bool open = false;
    auto finish = [&] {
        if (open)
            entries.append(current);
        current = LdifEntry();
        open = false;
    };
    for (const QByteArray &line : lines) {
        if (line.isEmpty()) {
            finish();
            continue;
        }
        if (line.startsWith('#'))
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QString name = QString::fromUtf8(line.left(colon));
        QByteArray value;
        if (line.size() > colon + 1 && line.at(colon + 1) == ':')
            value = QByteArray::fromBase64(line.mid(colon + 2).trimmed());
        else
            value = line.mid(colon + 1).startsWith(' ') ? line.mid(colon + 2) : line.mid(colon + 1);
        if (name.compare(QLatin1String("dn"), Qt::CaseInsensitive) == 0) {
            finish();
            current.dn = QString::fromUtf8(value);
            open = true;
        } else if (open) {
            current.attributes.append({name, value});
        }
    }
    finish();
    return entries;
}

namespace {

// An owner-only file holding the password for -y; removed when it goes out of scope.
struct PasswordFile {
    QTemporaryFile file;
    bool ok = false;
    explicit PasswordFile(const QByteArray &password)
    {
        ok = file.open() && file.write(password) == password.size() && file.flush();
    }
};

QStringList bindArgs(const Account &who, const PasswordFile &pw)
{
    return {QStringLiteral("-x"), QStringLiteral("-D"), who.bindName, QStringLiteral("-y"), pw.file.fileName()};
}

} // namespace

QList<LdifEntry> ldapSearch(const QString &base, const QString &filter, const QStringList &attrs,
                            const Account &who, const QStringList &extraArgs, int *exitCode)
{
    PasswordFile pw(who.password);
    // Paged, because the server answers at most 1,000 entries to an unpaged search.
    QStringList args{QStringLiteral("-LLL"), QStringLiteral("-o"), QStringLiteral("ldif-wrap=no"),
                     QStringLiteral("-E"), QStringLiteral("pr=500/noprompt")};
    if (!extraArgs.contains(QLatin1String("-H")))
        args << QStringLiteral("-H") << fact("LDAP_URI");
    args << bindArgs(who, pw) << QStringLiteral("-b") << base << extraArgs << filter << attrs;
    const ToolResult r = runTool(QStringLiteral("ldapsearch"), args, {}, toolEnvironment());
    if (exitCode)
        *exitCode = r.exitCode;
    return parseLdif(r.out);
}

int ldapCount(const QString &base, const QString &filter)
{
    int rc = -1;
    const auto entries = ldapSearch(base, filter, {QStringLiteral("1.1")}, Account::admin(), {}, &rc);
    return rc == 0 ? int(entries.size()) : -1;
}

ToolResult ldapModify(const QByteArray &ldif, const Account &who)
{
    PasswordFile pw(who.password);
    QStringList args{QStringLiteral("-H"), fact("LDAP_URI")};
    args << bindArgs(who, pw);
    return runTool(QStringLiteral("ldapmodify"), args, ldif, toolEnvironment());
}

QStringList storeTwoValuesOfEach(const QString &dn, const QStringList &attributes)
{
    QStringList terms;
    for (const QString &attr : attributes)
        terms << QStringLiteral("(lDAPDisplayName=%1)").arg(attr);
    QStringList stored;
    for (const LdifEntry &e : ldapSearch(QStringLiteral("CN=Schema,CN=Configuration,") + fact("BASE_DN"),
                                         QStringLiteral("(|%1)").arg(terms.join(QString())),
                                         {QStringLiteral("lDAPDisplayName"), QStringLiteral("isSingleValued")})) {
        const QString attr = e.text(QStringLiteral("lDAPDisplayName"));
        if (e.text(QStringLiteral("isSingleValued")) == QLatin1String("FALSE") &&
            ldapModify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: %2\n%2: %2 one\n%2: %2 two\n")
                           .arg(dn, attr)
                           .toUtf8())
                    .exitCode == 0)
            stored << attr;
    }
    return stored;
}

QStringList sortedValues(const QString &dn, const QString &attribute)
{
    QStringList values;
    for (const QByteArray &v : ldapSearch(dn, QStringLiteral("(objectClass=*)"), {attribute}, Account::admin(),
                                          {QStringLiteral("-s"), QStringLiteral("base")})
                                   .value(0)
                                   .values(attribute))
        values << QString::fromUtf8(v);
    values.sort();
    return values;
}

QList<DecodedAce> decodeAclWithSamba(const QByteArray &bytes, bool sacl)
{
    const QString script = QStringLiteral(
        "import sys\n"
        "from samba.dcerpc import security\n"
        "from samba.ndr import ndr_unpack\n"
        "sd = ndr_unpack(security.descriptor, sys.stdin.buffer.read())\n"
        "acl = sd.%1\n"
        "for a in (acl.aces if acl else []):\n"
        "    ot = ''\n"
        "    if a.type in (5, 6, 7, 8) and (a.object.flags & 1):\n"
        "        ot = str(a.object.type).upper()\n"
        "    print('%d|%d|%s|%s' % (a.type, a.access_mask, str(a.trustee), ot))\n").arg(sacl ? "sacl" : "dacl");
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script});
    p.write(bytes);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        ADD_FAILURE() << "Samba's decoding failed: " << p.readAllStandardError().toStdString();
    QList<DecodedAce> out;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.trimmed().split('|');
        if (f.size() != 4)
            continue;
        out.append({f[0].toInt(), quint32(f[1].toLongLong()), QString::fromLatin1(f[2]), QString::fromLatin1(f[3])});
    }
    return out;
}

} // namespace testsupport
