// The Debian package as an administrator meets it: built by scripts/package.sh (the CTest
// fixture "package"), judged by lintian, desktop-file-validate and appstreamcli, unpacked with
// dpkg-deb and run from there; its manual pages rendered by man and groff, its completion
// driven from bash.
#include "main/unDataModule.h"
#include "support/ldaptools.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using testsupport::runTool;
using testsupport::ToolResult;

namespace {

const QString kAppId = QStringLiteral("org.vastrel.Arvendel");

QString packagePath()
{
    const QString arch = QString::fromLatin1(runTool(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).out).trimmed();
    return qEnvironmentVariable("ARV_BINARY_DIR") + QStringLiteral("/arvendel_%1_%2.deb").arg(QStringLiteral(ARV_PROJECT_VERSION), arch);
}

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString sh(const QString &script, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    const ToolResult r = runTool(QStringLiteral("bash"), {QStringLiteral("-c"), script}, {}, env);
    EXPECT_EQ(r.exitCode, 0) << script.toStdString() << '\n' << r.err.toStdString();
    return QString::fromUtf8(r.out);
}

// The package unpacked once for all tests of this process.
class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = new QTemporaryDir();
        ASSERT_TRUE(QFile::exists(packagePath())) << packagePath().toStdString() << " (scripts/package.sh)";
        const ToolResult r = runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), packagePath(), root->path()});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    static void TearDownTestSuite()
    {
        delete root;
        root = nullptr;
    }
    static QString usr(const QString &relative) { return root->path() + QStringLiteral("/usr/") + relative; }
    static QTemporaryDir *root;
};
QTemporaryDir *Package::root = nullptr;

// Commands and options as the built tool lists them in its own help.
QStringList cliCommands()
{
    const QString help = QString::fromUtf8(runTool(QStringLiteral(ARV_CLI_PATH), {QStringLiteral("--help")}).out);
    QStringList commands;
    static const QRegularExpression line(QStringLiteral("^  ([a-z][a-z-]*) "), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(help); it.hasNext();)
        commands << it.next().captured(1);
    return commands;
}

QSet<QString> optionsIn(const QString &help)
{
    QSet<QString> options;
    static const QRegularExpression option(QStringLiteral("^\\s+(?:-[a-zA-Z], )?(--[a-z][a-z0-9-]*)"), QRegularExpression::MultilineOption);
    for (auto it = option.globalMatch(help); it.hasNext();)
        options << it.next().captured(1);
    return options;
}

// A manual page's source as plain words: escapes of hyphens and fonts undone.
QString pageWords(const QString &gzipped)
{
    QString text = QString::fromUtf8(runTool(QStringLiteral("zcat"), {gzipped}).out);
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    return text;
}

} // namespace

TEST_F(Package, LintianFindsNoErrorAndTheControlFieldsAreComplete)
{
    const ToolResult lintian = runTool(QStringLiteral("lintian"), {QStringLiteral("--no-tag-display-limit"), packagePath()},
                                       {}, QProcessEnvironment::systemEnvironment(), 300000);
    const QStringList errors = QString::fromUtf8(lintian.out).split(u'\n').filter(QRegularExpression(QStringLiteral("^E: ")));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    EXPECT_NE(lintian.exitCode, -1);

    auto field = [](const char *name) {
        return QString::fromUtf8(runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), packagePath(), QLatin1String(name)}).out).trimmed();
    };
    EXPECT_EQ(field("Package"), QStringLiteral("arvendel"));
    EXPECT_EQ(field("Version"), QStringLiteral(ARV_PROJECT_VERSION));
    EXPECT_TRUE(field("Maintainer").contains(QRegularExpression(QStringLiteral(".+ <[^>]+@[^>]+>"))));
    EXPECT_EQ(field("Section"), QStringLiteral("admin"));
    const QString depends = field("Depends");
    for (const char *library : {"libsasl2-modules-gssapi-mit", "libqt6widgets6", "libldap-2.5-0", "libkrb5-3", "libsecret-1-0", "libc6"})
        EXPECT_TRUE(depends.contains(QLatin1String(library))) << library << " in " << depends.toStdString();
    EXPECT_TRUE(field("Recommends").contains(QLatin1String("fonts-noto-cjk")));

    for (const char *program : {"bin/arvendel", "bin/arvendel-cli"}) {
        const QString kind = QString::fromUtf8(runTool(QStringLiteral("file"), {usr(QLatin1String(program))}).out);
        EXPECT_TRUE(kind.contains(QLatin1String(", stripped"))) << kind.toStdString();
    }
    EXPECT_TRUE(QFile::exists(usr(QStringLiteral("share/doc/arvendel/copyright"))));
    EXPECT_FALSE(sh(QStringLiteral("zcat '%1'").arg(usr(QStringLiteral("share/doc/arvendel/changelog.gz")))).isEmpty());
}

TEST_F(Package, TheMenuEntryStartsTheProgramAndTheToolRuns)
{
    const QString desktop = usr(QStringLiteral("share/applications/%1.desktop").arg(kAppId));
    ToolResult r = runTool(QStringLiteral("desktop-file-validate"), {desktop});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();  // not even a hint
    const QString entry = readText(desktop);
    for (const char *key : {"Categories=", "Keywords=", "Icon=org.vastrel.Arvendel"})
        EXPECT_TRUE(entry.contains(QLatin1String(key))) << key;
    EXPECT_TRUE(entry.contains(QLatin1String("LDAP")) && entry.contains(QLatin1String("Active Directory")));

    // Exec= run from the unpacked tree, with --version.
    const QRegularExpressionMatch exec = QRegularExpression(QStringLiteral("^Exec=(\\S+)"), QRegularExpression::MultilineOption).match(entry);
    ASSERT_TRUE(exec.hasMatch());
    r = runTool(usr(QStringLiteral("bin/")) + exec.captured(1), {QStringLiteral("--version")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out).trimmed(), QStringLiteral("arvendel " ARV_PROJECT_VERSION));

    r = runTool(usr(QStringLiteral("bin/arvendel-cli")), {QStringLiteral("--version")});
    EXPECT_EQ(QString::fromUtf8(r.out).trimmed(), QStringLiteral("arvendel-cli " ARV_PROJECT_VERSION));
    r = runTool(usr(QStringLiteral("bin/arvendel-cli")), {QStringLiteral("report"), QStringLiteral("list")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts).size(), 34);

    // The icon the entry names, in the theme's scalable and fixed sizes.
    EXPECT_TRUE(QFile::exists(usr(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId))));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        EXPECT_EQ(QImage(usr(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId))).size(), QSize(size, size));

    const QString metainfo = usr(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId));
    r = runTool(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(readText(metainfo).contains(QStringLiteral("<release version=\"" ARV_PROJECT_VERSION "\"")));
}

TEST_F(Package, ManualPagesRenderCleanlyAndNameEveryCommandAndOption)
{
    const QString cliPage = usr(QStringLiteral("share/man/man1/arvendel-cli.1.gz"));
    const QString appPage = usr(QStringLiteral("share/man/man1/arvendel.1.gz"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    env.insert(QStringLiteral("MANROFFOPT"), QStringLiteral("-ww"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (const QString &page : {cliPage, appPage}) {
        const ToolResult man = runTool(QStringLiteral("man"), {QStringLiteral("--warnings=w"), QStringLiteral("-l"), page}, {}, env);
        EXPECT_EQ(man.exitCode, 0);
        EXPECT_TRUE(man.err.isEmpty()) << page.toStdString() << ": " << man.err.toStdString();
        EXPECT_GT(man.out.size(), 1000);
        const QString groff = sh(QStringLiteral("zcat '%1' | groff -ww -man -Tutf8 -z 2>&1").arg(page), env);
        EXPECT_TRUE(groff.isEmpty()) << groff.toStdString();
    }

    // Every command and every option the tool accepts is in its page.
    const QString words = pageWords(cliPage);
    const QStringList commands = cliCommands();
    ASSERT_GE(commands.size(), 14);
    for (const QString &command : commands) {
        EXPECT_TRUE(words.contains(QStringLiteral(".SS ") + command)) << "command " << command.toStdString();
        const QString help = QString::fromUtf8(runTool(QStringLiteral(ARV_CLI_PATH), {command, QStringLiteral("--help")}).out);
        for (const QString &option : optionsIn(help)) {
            if (option == QLatin1String("--help") || option == QLatin1String("--help-all"))
                continue;
            EXPECT_TRUE(words.contains(option)) << command.toStdString() << ' ' << option.toStdString();
        }
    }
    const QString appWords = pageWords(appPage);
    const QString appHelp = QString::fromUtf8(runTool(QStringLiteral(ARV_APP_PATH), {QStringLiteral("--help")}).out);
    const QSet<QString> appOptions = optionsIn(appHelp);
    EXPECT_TRUE(appOptions.contains(QStringLiteral("--demo")));
    for (const QString &option : appOptions)
        EXPECT_TRUE(appWords.contains(option)) << option.toStdString();
    for (const char *variable : {"ARV_LDAP_TIMEOUT", "ARV_DNS_SERVER", "ARV_SETTINGS_FILE", "KRB5CCNAME", "LDAPTLS_CACERT"})
        EXPECT_TRUE(appWords.contains(QLatin1String(variable))) << variable;
}

TEST_F(Package, CompletionOffersTheCommandsAndACommandsOptions)
{
    const QString script = QStringLiteral(
        "set -e\n"
        "source '%1'\n"
        "complete -p arvendel-cli\n"
        "complete_line() { COMP_WORDS=(\"$@\"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _arvendel_cli;"
        " printf '%s\\n' \"${COMPREPLY[@]}\"; echo --; }\n"
        "complete_line arvendel-cli ''\n"
        "complete_line arvendel-cli search --at\n"
        "complete_line arvendel-cli group ''\n"
        "complete_line arvendel-cli search --output ''\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), usr(QStringLiteral("bin")) + u':' + env.value(QStringLiteral("PATH")));
    const QStringList parts = sh(script.arg(usr(QStringLiteral("share/bash-completion/completions/arvendel-cli"))), env).split(QStringLiteral("--\n"));
    ASSERT_EQ(parts.size(), 5);
    EXPECT_TRUE(parts[0].startsWith(QLatin1String("complete -F _arvendel_cli arvendel-cli"))) << parts[0].toStdString();
    const QStringList offered = parts[0].split(u'\n', Qt::SkipEmptyParts).mid(1);
    const QStringList commands = cliCommands();
    const QSet<QString> expected = QSet<QString>(commands.begin(), commands.end()) + QSet<QString>{QStringLiteral("--help"), QStringLiteral("--version")};
    EXPECT_EQ(QSet<QString>(offered.begin(), offered.end()), expected);
    EXPECT_EQ(parts[1].split(u'\n', Qt::SkipEmptyParts), QStringList{QStringLiteral("--attrs")});
    EXPECT_EQ(parts[2].split(u'\n', Qt::SkipEmptyParts),
              (QStringList{QStringLiteral("list"), QStringLiteral("members"), QStringLiteral("add-member"),
                           QStringLiteral("remove-member"), QStringLiteral("preview")}));
    EXPECT_EQ(parts[3].split(u'\n', Qt::SkipEmptyParts),
              (QStringList{QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("ldif")}));
}

TEST(Icons, TheWindowIconIsTheSvgAsTheDesktopGetsIt)
{
    const QString dir = qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/packaging/icons/");
    QTemporaryDir tmp;
    const QIcon window = TDM::instance().appIcon();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QImage stored = QImage(dir + QStringLiteral("hicolor/%1x%1/%2.png").arg(size).arg(kAppId)).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(stored.size(), QSize(size, size));
        // The stored sizes are renders of the SVG (librsvg, as desktops draw it): a changed
        // picture with stale sizes fails here.
        const QString rendered = tmp.filePath(QStringLiteral("%1.png").arg(size));
        const ToolResult r = runTool(QStringLiteral("rsvg-convert"), {QStringLiteral("-w"), QString::number(size), QStringLiteral("-h"),
                                                                      QString::number(size), dir + kAppId + QStringLiteral(".svg"),
                                                                      QStringLiteral("-o"), rendered});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QImage fresh = QImage(rendered).convertToFormat(QImage::Format_ARGB32);
        int worst = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QRgb a = stored.pixel(x, y), b = fresh.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
            }
        EXPECT_LE(worst, 8);
        // The window shows exactly these pixels. A pixmap holds them premultiplied, so both
        // sides are compared so: back to straight alpha, edge pixels would round differently.
        EXPECT_EQ(window.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  stored.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
