#include "options/unOptions.h"

#include "platform/registry/registry.h"

#include <QFont>
#include <QFontDatabase>
#include <QApplication>
#include <QGuiApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <atomic>
#include <mutex>

namespace options {

namespace {

std::atomic<bool> g_confirmWrites{true};
std::atomic<bool> g_useThemes{true};
std::atomic<bool> g_unicodeFont{false};
std::atomic<bool> g_useJpegPhoto{false};

std::mutex g_mutex; // guards the two below
QString g_unicodeFontName;
std::function<bool(const QString &)> g_fontProbe;

constexpr int kMaxHiddenBytes = 256;

} // namespace

std::vector<int> DefaultHiddenColumns()
{
    return {0, 1, 3, 4, 5, 10, 17, 18, 19, 20, 21, 22, 23};
}

void setFontInstalledProbe(std::function<bool(const QString &)> probe)
{
    std::lock_guard lock(g_mutex);
    g_fontProbe = std::move(probe);
}

bool fontInstalled(const QString &family)
{
    std::function<bool(const QString &)> probe;
    {
        std::lock_guard lock(g_mutex);
        probe = g_fontProbe;
    }
    if (probe)
        return probe(family);
    // The font database needs a GUI application; without one (the command-line tool) no font
    // counts as installed.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

QString pickUnicodeFontName()
{
    if (fontInstalled(QStringLiteral("Arial Unicode MS")))
        return QStringLiteral("Arial Unicode MS");
    if (fontInstalled(QStringLiteral("Tahoma")))
        return QStringLiteral("Tahoma");
    return QStringLiteral("MS Sans Serif");
}

bool unicodeFontAvailable()
{
    return fontInstalled(QStringLiteral("Arial Unicode MS")) || fontInstalled(QStringLiteral("Tahoma"));
}

void LoadOptions(TOptions &opts)
{
    opts = TOptions{};
    registry::Key key;
    if (key.open(registry::kProgramRoot, registry::Access::ReadWrite, true)
        || key.open(registry::kProgramRoot, registry::Access::Read, false)) {
        opts.HideDisabled = key.readBool(kValHideDisabled, opts.HideDisabled);
        opts.HideExpired = key.readBool(kValHideExpired, opts.HideExpired);
        opts.UseJpegPhoto = key.readBool(kValJpegPhoto, opts.UseJpegPhoto);
        opts.UnicodeFont = key.readBool(kValUnicodeFont, opts.UnicodeFont);
        opts.ShowWarning = key.readBool(kValShowWarning, opts.ShowWarning);
        opts.UseThemes = key.readBool(kValThemes, opts.UseThemes);
    }
    g_confirmWrites = opts.ShowWarning;
    g_useThemes = opts.UseThemes;
    g_unicodeFont = opts.UnicodeFont;
    g_useJpegPhoto = opts.UseJpegPhoto;
    if (opts.UnicodeFont) {
        const QString name = pickUnicodeFontName();
        std::lock_guard lock(g_mutex);
        g_unicodeFontName = name;
    }
}

bool SaveOptions(const TOptions &opts)
{
    registry::Key key;
    if (!key.open(registry::kProgramRoot, registry::Access::ReadWrite, true))
        return false;
    bool ok = key.writeInt(kValHideDisabled, opts.HideDisabled ? 1 : 0);
    ok = key.writeInt(kValHideExpired, opts.HideExpired ? 1 : 0) && ok;
    ok = key.writeInt(kValJpegPhoto, opts.UseJpegPhoto ? 1 : 0) && ok;
    ok = key.writeInt(kValUnicodeFont, opts.UnicodeFont ? 1 : 0) && ok;
    ok = key.writeInt(kValShowWarning, opts.ShowWarning ? 1 : 0) && ok;
    ok = key.writeInt(kValThemes, opts.UseThemes ? 1 : 0) && ok;
    // The picture tab reads the attribute choice as soon as the options are confirmed.
    g_useJpegPhoto = opts.UseJpegPhoto;
    return ok;
}

std::vector<int> LoadHiddenColumns()
{
    registry::Key key;
    if (!key.open(registry::kProgramRoot, registry::Access::Read, false))
        return DefaultHiddenColumns();
    const auto bytes = key.readBinary(kValHiddenColumns);
    if (!bytes)
        return DefaultHiddenColumns();
    std::vector<int> tags;
    const QByteArray data = bytes->left(kMaxHiddenBytes);
    tags.reserve(data.size());
    for (char c : data)
        tags.push_back(static_cast<int>(static_cast<unsigned char>(c)));
    return tags;
}

bool SaveHiddenColumns(const std::vector<int> &tags)
{
    QByteArray data;
    for (int tag : tags) {
        if (tag < 0 || tag > 255)
            continue; // icon, cn and displayName are never hidden; other tags do not fit a byte
        if (data.size() == kMaxHiddenBytes)
            break;
        data.append(static_cast<char>(tag));
    }
    // Nothing hidden is stored too (as an empty value): otherwise columns the user made
    // visible would come back hidden at the next start.
    registry::Key key;
    if (!key.open(registry::kProgramRoot, registry::Access::ReadWrite, true))
        return false;
    return key.writeBinary(kValHiddenColumns, data);
}

bool ConfirmWrites() { return g_confirmWrites; }
void setConfirmWrites(bool on) { g_confirmWrites = on; }
bool UseThemes() { return g_useThemes; }
bool UnicodeFont() { return g_unicodeFont; }
bool UseJpegPhoto() { return g_useJpegPhoto; }

void setUnicodeFont(bool on)
{
    g_unicodeFont = on;
    if (on) {
        const QString name = pickUnicodeFontName();
        std::lock_guard lock(g_mutex);
        g_unicodeFontName = name;
    }
}

QString UnicodeFontName()
{
    std::lock_guard lock(g_mutex);
    return g_unicodeFontName.isEmpty() ? QStringLiteral("MS Sans Serif") : g_unicodeFontName;
}

void ApplyWindowFont(QWidget *window)
{
    if (!window)
        return;
    const QString family = UnicodeFont() ? UnicodeFontName() : QStringLiteral("MS Sans Serif");
    QFont font = window->font();
    if (family == QLatin1String("MS Sans Serif") && !fontInstalled(family)) {
        // No bitmap look-alike: the desktop's own font.
        font = QGuiApplication::font();
    } else {
        font.setFamily(family);
    }
    window->setFont(font);
}

QString ApplyThemeStyle()
{
    if (UseThemes() || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return {};
    if (QStyle *classic = QStyleFactory::create(QStringLiteral("Windows"))) {
        QApplication::setStyle(classic);
        return QStringLiteral("Windows");
    }
    return {};
}

} // namespace options
