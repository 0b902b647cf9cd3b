#pragma once
// Prepares and reads directory content for the user-grid tests with the OpenLDAP tools, so
// that what the listing shows is compared with an independent reader. The password goes to
// the tools through an owner-only file (-y), never on a command line.
#include "support/testdomain.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <QCoreApplication>
#include <QDateTime>

namespace ugtest {

class LdapTool {
public:
    LdapTool()
    {
        pwFile_ = dir_.filePath(QStringLiteral("pw"));
        QFile f(pwFile_);
        if (f.open(QIODevice::WriteOnly)) {
            f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            f.write(testsupport::fact("ADMIN_PASSWORD").toUtf8());
        }
    }

    QStringList common() const
    {
        return {QStringLiteral("-x"), QStringLiteral("-H"), testsupport::fact("LDAP_URI"), QStringLiteral("-D"),
                testsupport::fact("ADMIN_UPN"), QStringLiteral("-y"), pwFile_};
    }

    // Runs ldapmodify -a with the LDIF on standard input; returns the tool's error text
    // (empty on success).
    QString modify(const QString &ldif) const
    {
        QProcess p;
        p.start(QStringLiteral("ldapmodify"), common() << QStringLiteral("-a"));
        p.write(ldif.toUtf8());
        p.closeWriteChannel();
        p.waitForFinished(120000);
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return QString::fromUtf8(p.readAllStandardError());
        return {};
    }

    void removeTree(const QString &dn) const
    {
        QProcess p;
        p.start(QStringLiteral("ldapdelete"), common() << QStringLiteral("-r") << dn);
        p.waitForFinished(120000);
    }

    // Distinguished names that ldapsearch returns for a filter below base.
    QSet<QString> dns(const QString &base, const QString &scope, const QString &filter) const
    {
        QProcess p;
        p.start(QStringLiteral("ldapsearch"), common() << QStringLiteral("-LLL") << QStringLiteral("-o")
                                                   << QStringLiteral("ldif-wrap=no") << QStringLiteral("-b") << base
                                                   << QStringLiteral("-s") << scope << filter << QStringLiteral("1.1"));
        p.waitForFinished(120000);
        QSet<QString> out;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
            if (line.startsWith("dn:: "))
                out.insert(QString::fromUtf8(QByteArray::fromBase64(line.mid(5))).toLower());
            else if (line.startsWith("dn: "))
                out.insert(QString::fromUtf8(line.mid(4)).toLower());
        }
        return out;
    }

private:
    QTemporaryDir dir_;
    QString pwFile_;
};

// A file time (100-ns units since 1601) for an instant.
inline qint64 fileTimeOf(const QDateTime &t)
{
    return (t.toMSecsSinceEpoch() + 11644473600000LL) * 10000LL;
}

// A name no other test run uses.
inline QString uniqueName(const QString &prefix)
{
    return QStringLiteral("%1-%2-%3").arg(prefix).arg(QCoreApplication::applicationPid()).arg(
        QRandomGenerator::global()->bounded(1000000));
}

// One user entry in LDIF. uac 0x220: a normal account without a password.
inline QString userLdif(const QString &rdnValue, const QString &ouDn, const QString &sam, int uac,
                        const QStringList &extraLines = {})
{
    QString s = QStringLiteral("dn: CN=%1,%2\nobjectClass: user\nsAMAccountName: %3\nuserAccountControl: %4\n")
                    .arg(rdnValue, ouDn, sam)
                    .arg(uac);
    for (const QString &l : extraLines)
        s += l + QLatin1Char('\n');
    return s + QLatin1Char('\n');
}

} // namespace ugtest
