// The window layout test's program. Options (after the test library's own):
//   --unicode-font   the program's Unicode-font option on ("Arial Unicode MS", which this run
//                    draws with the Droid fallback font: other metrics, taller lines)
//   --scale=F        QT_SCALE_FACTOR=F (1.25: a 1366x768 screen at 125 %)
//   --domain=DIR     the test domain in DIR instead of ARV_TEST_DOMAIN (the network windows
//                    run against the network domain)
// The font is pinned (DejaVu Sans 9 pt) so that the findings do not depend on the desktop,
// and the offscreen screen is 1366x768 device pixels like the smallest screen in common use.
#include "layout_checks.h"
#include "layout_session.h"
#include "options/unOptions.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    layouttest::RunMode &mode = layouttest::runMode();
    QByteArray scale;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unicode-font") == 0) {
            mode.unicodeFont = true;
            mode.name = QStringLiteral("Unicode font");
        } else if (std::strncmp(argv[i], "--domain=", 9) == 0) {
            qputenv("ARV_TEST_DOMAIN", QByteArray(argv[i] + 9));
        } else if (std::strncmp(argv[i], "--scale=", 8) == 0) {
            scale = QByteArray(argv[i] + 8);
            mode.name = QStringLiteral("scale ") + QString::fromLatin1(scale);
        }
    }
    if (!scale.isEmpty())
        qputenv("QT_SCALE_FACTOR", scale);
    // The screens of the offscreen platform come from a file; the screenshot run uses a real
    // X server (xvfb-run) instead.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const QString config = QDir::temp().filePath(QStringLiteral("arv-layout-screen-%1.json").arg(getpid()));
        QFile f(config);
        if (f.open(QIODevice::WriteOnly))
            f.write(QStringLiteral("{\"screens\":[{\"name\":\"screen\",\"x\":0,\"y\":0,\"width\":%1,\"height\":%2,"
                                   "\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1}]}")
                        .arg(layouttest::kScreenWidth)
                        .arg(layouttest::kScreenHeight)
                        .toUtf8());
        f.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    }
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    if (mode.unicodeFont) {
        QFont::insertSubstitution(QStringLiteral("Arial Unicode MS"), QStringLiteral("Droid Sans Fallback"));
        options::setFontInstalledProbe([](const QString &family) { return family == QLatin1String("Arial Unicode MS"); });
    }
    const int result = RUN_ALL_TESTS();
    if (platform.isEmpty() || platform == "offscreen")
        QFile::remove(QDir::temp().filePath(QStringLiteral("arv-layout-screen-%1.json").arg(getpid())));
    return result;
}
