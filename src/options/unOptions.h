#pragma once
// Application options and the hidden grid columns, kept in the per-user registry under the
// program's key, and the process-wide values derived from them (ConfirmWrites, the window
// font). No widgets here except ApplyWindowFont, which only sets a font.
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace options {

// The six options, in their stored order.
struct TOptions {
    bool HideDisabled = true;  // hide disabled users
    bool HideExpired = true;   // hide users whose password expired
    bool UseJpegPhoto = false; // pictures go to jpegPhoto (else thumbnailPhoto)
    bool UnicodeFont = false;  // "Arial Unicode MS" / "Tahoma" as the window font
    bool ShowWarning = true;   // ask before writing to the directory
    bool UseThemes = true;     // visual themes (read at the next start)

    bool operator==(const TOptions &) const = default;
};

// Registry value names (under registry::kProgramRoot).
inline const QString kValHideDisabled = QStringLiteral("{703DC7C3-3E8F-4B26-9184-728538D764CE}");
inline const QString kValHideExpired = QStringLiteral("{6ACF27C6-4874-4DE2-B18C-CECE9C208874}");
inline const QString kValJpegPhoto = QStringLiteral("{2DA463B5-437F-4E1F-96AE-C07464DC13F0}");
inline const QString kValUnicodeFont = QStringLiteral("{F8C8644F-0CCE-4C91-8B45-C9A0B2E6B540}");
inline const QString kValShowWarning = QStringLiteral("{6DD52202-E9DC-49B9-907B-4E4048F11D92}");
inline const QString kValThemes = QStringLiteral("{4023BA3F-80ED-4982-B98A-4170B938C2EF}");
inline const QString kValHiddenColumns = QStringLiteral("{B3B41C23-56B1-4D79-850E-2A0D117C350C}");

// Reads the options (defaults for missing values; all defaults when the key cannot be opened)
// and sets the process-wide values below. The key is created when missing.
void LoadOptions(TOptions &opts);
// Writes all six values; false when the key could not be opened or written.
bool SaveOptions(const TOptions &opts);

// Hidden grid column tags in stored order; the default set when nothing is stored.
std::vector<int> LoadHiddenColumns();
// The default hidden set.
std::vector<int> DefaultHiddenColumns();
// Writes the tags (0..255, one byte each, in the given order, at most 256); an empty list
// is stored as an empty value, so that "nothing hidden" survives a restart. False when the
// value could not be written.
bool SaveHiddenColumns(const std::vector<int> &tags);

// --- process-wide values, set by LoadOptions and the options dialog -----------------------
bool ConfirmWrites();
void setConfirmWrites(bool on);
bool UseThemes();
bool UnicodeFont();
void setUnicodeFont(bool on);
// "Arial Unicode MS", "Tahoma" or "MS Sans Serif", picked by LoadOptions when the Unicode
// font option is on.
QString UnicodeFontName();
// Whether pictures go to jpegPhoto (the option read by the picture tab).
bool UseJpegPhoto();

// The font rule's first choice that is installed: "Arial Unicode MS", then "Tahoma", else
// "MS Sans Serif".
QString pickUnicodeFontName();
// True when "Arial Unicode MS" or "Tahoma" is installed (the Unicode font can be chosen).
bool unicodeFontAvailable();
// Tests replace the check of installed fonts (empty function: the real font database).
void setFontInstalledProbe(std::function<bool(const QString &family)> probe);
bool fontInstalled(const QString &family);

// Sets a window's font by the rule: UnicodeFontName when UnicodeFont is on, else
// "MS Sans Serif". "MS Sans Serif" is a Windows bitmap font; where it is not installed the
// desktop's default font is used instead. Never fails.
void ApplyWindowFont(QWidget *window);

// The visual themes option takes effect at start: on, the desktop's own style; off, the
// plain classic "Windows" style that Qt always has. Call once after LoadOptions, before the
// first window is created. Returns the style now in use ("" when the default was kept).
QString ApplyThemeStyle();

} // namespace options
