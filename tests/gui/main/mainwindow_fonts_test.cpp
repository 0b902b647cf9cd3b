// The seed (and real domains) hold Chinese, Japanese and Cyrillic names: the machine has a
// font for each script, so the grid shows them as text rather than boxes.
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QRawFont>
#include <gtest/gtest.h>

TEST(GridFonts, ChineseJapaneseAndCyrillicNamesHaveGlyphs)
{
    for (const auto script : {QFontDatabase::SimplifiedChinese, QFontDatabase::Japanese, QFontDatabase::Cyrillic})
        EXPECT_FALSE(QFontDatabase::families(script).isEmpty()) << "no font for writing system " << int(script);
    // Names as the seed writes them; each character is covered by a font of its script.
    const QString names = QStringLiteral("王秀英 佐藤花子 Иван Петров");
    for (const QChar c : names) {
        if (c.isSpace())
            continue;
        const auto script = c.script() == QChar::Script_Cyrillic ? QFontDatabase::Cyrillic
                            : c.unicode() >= 0x4E00 && c.unicode() < 0xA000 ? QFontDatabase::SimplifiedChinese
                                                                            : QFontDatabase::Any;
        bool covered = false;
        for (const QString &family : QFontDatabase::families(script)) {
            if (QFontMetrics(QFont(family)).inFont(c)) {
                covered = true;
                break;
            }
        }
        EXPECT_TRUE(covered) << "no glyph for U+" << std::hex << int(c.unicode());
    }
}
