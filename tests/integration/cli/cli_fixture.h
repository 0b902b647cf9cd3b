#pragma once
// arvendel-cli run as a child process against the test domain, with its own settings file;
// passwords reach it through a file or an environment variable only.
#include "support/testdomain.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testsupport::fact;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class CliDomain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(dir.isValid());
        passwordFile = dir.path() + QStringLiteral("/pw");
        QFile f(passwordFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(fact("ADMIN_PASSWORD").toUtf8() + '\n');
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    CliRun cli(const QStringList &args, const QString &passwordVar = {})
    {
        QProcess p;
        QProcessEnvironment env = baseEnvironment;
        env.insert(QStringLiteral("ARV_SETTINGS_FILE"), dir.path() + QStringLiteral("/cfg/registry.ini"));
        env.insert(QStringLiteral("KRB5_CONFIG"), fact("KRB5_CONFIG"));
        env.insert(QStringLiteral("LDAPTLS_CACERT"), fact("CA_FILE"));
        env.insert(QStringLiteral("KRB5CCNAME"), ticketCache.isEmpty() ? QStringLiteral("MEMORY:arvendel-cli-test") : ticketCache);
        env.remove(QStringLiteral("ARV_CLI_TEST_PW"));
        if (!passwordVar.isEmpty())
            env.insert(QStringLiteral("ARV_CLI_TEST_PW"), passwordVar);
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral(ARV_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        CliRun r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        // Whatever happened, the password is never printed.
        EXPECT_FALSE(r.out.contains(fact("ADMIN_PASSWORD")));
        EXPECT_FALSE(r.err.contains(fact("ADMIN_PASSWORD")));
        return r;
    }

    QStringList simpleAdmin() const
    {
        return {QStringLiteral("--server"), fact("ADDR"), QStringLiteral("--simple"), QStringLiteral("--user"),
                fact("ADMIN_USER"), QStringLiteral("--password-file"), passwordFile};
    }

    QStringList search(const QStringList &more) const { return QStringList{QStringLiteral("search")} + simpleAdmin() + more; }

    static QStringList lines(const QString &text) { return text.split(u'\n', Qt::SkipEmptyParts); }

    QTemporaryDir dir;
    QProcessEnvironment baseEnvironment = QProcessEnvironment::systemEnvironment();  // of the children
    QString passwordFile;
    QString ticketCache;  // KRB5CCNAME of the children when set
};

} // namespace
