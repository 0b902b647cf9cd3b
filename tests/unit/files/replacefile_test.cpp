// A file written over another: the old file's mode carries over, a new file gets the usual
// mode, and nothing but the finished file is ever left at the destination.
#include "platform/files/replacefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

unsigned modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(files::ReplacementFile &out, const QByteArray &data)
{
    return ::write(out.handle(), data.constData(), size_t(data.size())) == data.size();
}

TEST(ReplacementFile, KeepsTheReplacedFilesModeAndLeavesNothingElseBehind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("private.csv"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    QString error;
    {
        files::ReplacementFile out(path);
        ASSERT_TRUE(out.create(&error)) << error.toStdString();
        ASSERT_TRUE(writeAll(out, "new"));
        // Until the commit the old file is untouched.
        EXPECT_EQ(contentOf(path), QByteArray("old"));
        ASSERT_TRUE(out.commit(&error)) << error.toStdString();
    }
    EXPECT_EQ(contentOf(path), QByteArray("new"));
    EXPECT_EQ(modeOf(path), 0600u);

    // Dropped without a commit: the old file stays and the temporary one goes.
    {
        files::ReplacementFile out(path);
        ASSERT_TRUE(out.create(&error));
        ASSERT_TRUE(writeAll(out, "half"));
    }
    EXPECT_EQ(contentOf(path), QByteArray("new"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("private.csv")});

    // A new file gets 0666 less the umask, like any other new file.
    const mode_t mask = ::umask(027);
    const QString fresh = dir.filePath(QStringLiteral("fresh.csv"));
    files::ReplacementFile out(fresh);
    ASSERT_TRUE(out.create(&error));
    ASSERT_TRUE(out.commit(&error)) << error.toStdString();
    ::umask(mask);
    EXPECT_EQ(modeOf(fresh), 0640u);

    // A destination in a missing folder is refused with the reason.
    files::ReplacementFile nowhere(dir.filePath(QStringLiteral("missing/x.csv")));
    EXPECT_FALSE(nowhere.create(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing"))) << error.toStdString();
}

}  // namespace
