#include "ui/texts.h"

#include <QApplication>
#include <QLabel>
#include <gtest/gtest.h>

using ui::wrapText;

namespace {
// Longest line of a text broken at CR/LF.
int longestLine(const QString &s)
{
    int best = 0;
    for (const QString &l : QString(s).replace(u'\r', u'\n').split(u'\n'))
        best = std::max(best, int(l.size()));
    return best;
}
} // namespace

TEST(WrapText, BreaksAtBlankHyphenAndTabWithinTheColumn)
{
    EXPECT_EQ(wrapText("Stop retrieving the users.", 40), "Stop retrieving the users.");
    EXPECT_EQ(wrapText("aaaa bbbb cccc", 10), QString("aaaa bbbb \rcccc"));
    EXPECT_EQ(wrapText("aaaa-bbbb-cccc", 10), QString("aaaa-bbbb-\rcccc"));
    EXPECT_EQ(wrapText("aaaa\tbbbb\tcccc", 10), QString("aaaa\tbbbb\t\rcccc"));
    // Blanks up to the column stay on the line; the rest do not start the next one.
    EXPECT_EQ(wrapText("aaaa    bbbb", 6), QString("aaaa  \rbbbb"));
}

TEST(WrapText, KeepsExistingBreaksAndRestartsTheCount)
{
    const QString hint =
        "Use this space to control the maximum number of objects that can be displayed. You can "
        "enter a number from 0 to 2000. \r\n0 (Zero) means \"no restriction\" (all object will be displayed).";
    const QString w = wrapText(hint, 80);
    EXPECT_TRUE(w.contains("\r\n0 (Zero)"));
    EXPECT_LE(longestLine(w), 80);
    // Nothing is lost or reordered: removing the inserted CRs gives the original.
    QString back = w;
    back.replace("\r\n", "\x01").remove(u'\r').replace("\x01", "\r\n");
    EXPECT_EQ(back, hint);
    EXPECT_EQ(wrapText("ab\ncd ef", 3), QString("ab\ncd \ref"));
}

TEST(WrapText, LongWordsStayWholeAndTrailingBlanksAddNoEmptyLine)
{
    EXPECT_EQ(wrapText("abcdefghijkl mn", 5), QString("abcdefghijkl \rmn"));
    EXPECT_EQ(wrapText("abcdefghijkl", 5), "abcdefghijkl");
    EXPECT_EQ(wrapText("abcd    ", 3), "abcd    ");
    EXPECT_EQ(wrapText("", 40), "");
    const QString msg = "Please, close all opened property pages before this action!";
    EXPECT_LE(longestLine(wrapText(msg, 40)), 40);
}

TEST(Hints, WidgetShowsLineBreaksAndKeepsTheWrappedText)
{
    QLabel l;
    ui::setHint(&l, "aaaa bbbb cccc", 10);
    EXPECT_EQ(ui::hintOf(&l), QString("aaaa bbbb \rcccc"));
    EXPECT_EQ(l.toolTip(), QString("aaaa bbbb \ncccc"));
}
