// Whether an office application counts as registered follows the desktop's associations.
#include "platform/office/office.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void write(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// A desktop with nothing registered: every XDG folder inside a temporary folder.
struct EmptyDesktop {
    QTemporaryDir dir;
    EmptyDesktop()
    {
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", (dir.path() + "/etc").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toLocal8Bit());
        qputenv("XDG_DATA_DIRS", (dir.path() + "/share").toLocal8Bit());
    }
};

} // namespace

TEST(OfficeApplications, NothingRegisteredMeansUnavailable)
{
    EmptyDesktop desktop;
    write(desktop.dir.path() + "/share/applications/viewer.desktop",
          "[Desktop Entry]\nName=Viewer\nMimeType=image/png;text/plain;\n");
    EXPECT_FALSE(office::isApplicationRegistered("Excel.Application"));
    EXPECT_FALSE(office::isApplicationRegistered("Word.Application"));
    EXPECT_FALSE(office::isApplicationRegistered("Paint.Application"));
}

TEST(OfficeApplications, DesktopEntryOrAssociationRegistersItsFileTypeOnly)
{
    EmptyDesktop desktop;
    write(desktop.dir.path() + "/share/applications/calc.desktop",
          "[Desktop Entry]\nName=Calc\nMimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n");
    EXPECT_TRUE(office::isApplicationRegistered("Excel.Application"));
    EXPECT_FALSE(office::isApplicationRegistered("Word.Application"));

    write(desktop.dir.path() + "/config/mimeapps.list",
          "[Default Applications]\napplication/vnd.openxmlformats-officedocument.wordprocessingml.document=writer.desktop\n");
    EXPECT_TRUE(office::isApplicationRegistered("word.application"));
}

TEST(OfficeApplications, RemovedAssociationDoesNotCount)
{
    EmptyDesktop desktop;
    write(desktop.dir.path() + "/config/mimeapps.list",
          "[Removed Associations]\napplication/vnd.openxmlformats-officedocument.wordprocessingml.document=writer.desktop\n");
    EXPECT_FALSE(office::isApplicationRegistered("Word.Application"));
}
