#include "options/unFormOptions.h"
#include "options/unModifyColumns.h"
#include "options/unOptions.h"
#include "platform/registry/registry.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace options;

namespace {

class OptionsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        registry::setStoreFile(dir.filePath("registry.ini"));
        setFontInstalledProbe([](const QString &) { return false; });
    }
    void TearDown() override
    {
        registry::setStoreFile(QString());
        setFontInstalledProbe({});
    }
    QTemporaryDir dir;
};

const QList<int> kGridTags = {-3, -2, 0, 1, 3, 4, 5, 7, 10, 17, 18, 19, 20, 21, 22, 23, 81};

} // namespace

TEST_F(OptionsStore, FreshStoreGivesDefaultsAndCreatesTheKey)
{
    TOptions o;
    o.HideDisabled = false;
    o.ShowWarning = false;
    setConfirmWrites(false);
    LoadOptions(o);
    EXPECT_EQ(o, TOptions{});
    EXPECT_TRUE(o.HideDisabled);
    EXPECT_TRUE(o.HideExpired);
    EXPECT_FALSE(o.UseJpegPhoto);
    EXPECT_FALSE(o.UnicodeFont);
    EXPECT_TRUE(o.ShowWarning);
    EXPECT_TRUE(o.UseThemes);
    EXPECT_TRUE(ConfirmWrites());
    EXPECT_FALSE(UseJpegPhoto());
    EXPECT_TRUE(registry::keyExists(registry::kProgramRoot));
    EXPECT_EQ(LoadHiddenColumns(), DefaultHiddenColumns());
}

TEST_F(OptionsStore, RoundTripStoresOneOrZeroUnderTheGuidNames)
{
    TOptions o{false, true, true, false, false, true};
    ASSERT_TRUE(SaveOptions(o));
    registry::Key key;
    ASSERT_TRUE(key.open(registry::kProgramRoot, registry::Access::Read, false));
    EXPECT_EQ(key.readInt(kValHideDisabled), 0);
    EXPECT_EQ(key.readInt(kValHideExpired), 1);
    EXPECT_EQ(key.readInt(kValJpegPhoto), 1);
    EXPECT_EQ(key.readInt(kValUnicodeFont), 0);
    EXPECT_EQ(key.readInt("{6dd52202-e9dc-49b9-907b-4e4048f11d92}"), 0); // names ignore case
    EXPECT_EQ(key.readInt(kValThemes), 1);

    TOptions back;
    LoadOptions(back);
    EXPECT_EQ(back, o);
    EXPECT_FALSE(ConfirmWrites());
    EXPECT_TRUE(UseJpegPhoto());
}

TEST_F(OptionsStore, ValuesOfAnotherTypeOrMissingFallBackToTheirDefault)
{
    {
        registry::Key key;
        ASSERT_TRUE(key.open(registry::kProgramRoot, registry::Access::ReadWrite));
        key.writeString(kValHideDisabled, "0");  // not an integer: default
        key.writeInt(kValShowWarning, 7);        // any non-zero integer is on
        key.writeInt(kValThemes, 0);
    }
    TOptions o;
    LoadOptions(o);
    EXPECT_TRUE(o.HideDisabled);
    EXPECT_TRUE(o.ShowWarning);
    EXPECT_FALSE(o.UseThemes);
    EXPECT_TRUE(o.HideExpired);
}

TEST_F(OptionsStore, UnicodeFontNameFollowsInstalledFonts)
{
    TOptions o;
    o.UnicodeFont = true;
    SaveOptions(o);
    setFontInstalledProbe([](const QString &f) { return f == "Tahoma"; });
    LoadOptions(o);
    EXPECT_TRUE(UnicodeFont());
    EXPECT_EQ(UnicodeFontName(), "Tahoma");
    EXPECT_TRUE(unicodeFontAvailable());
    setFontInstalledProbe([](const QString &f) { return f == "Tahoma" || f == "Arial Unicode MS"; });
    LoadOptions(o);
    EXPECT_EQ(UnicodeFontName(), "Arial Unicode MS");
    setFontInstalledProbe([](const QString &) { return false; });
    LoadOptions(o);
    EXPECT_EQ(UnicodeFontName(), "MS Sans Serif");
    EXPECT_FALSE(unicodeFontAvailable());
}

TEST_F(OptionsStore, HiddenColumnsAreBytesInColumnOrder)
{
    const std::vector<int> hidden = {0, 1, 3, 4, 5, 10, 17, 18, 19, 20, 21, 22, 23, 81};
    // Negative tags (icon, cn, displayName) are never stored, nor tags beyond a byte.
    std::vector<int> withOthers = {-3};
    withOthers.insert(withOthers.end(), hidden.begin(), hidden.end());
    withOthers.push_back(300);
    ASSERT_TRUE(SaveHiddenColumns(withOthers));
    registry::Key key;
    ASSERT_TRUE(key.open(registry::kProgramRoot, registry::Access::Read, false));
    const auto bytes = key.readBinary(kValHiddenColumns);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, QByteArray("\x00\x01\x03\x04\x05\x0a\x11\x12\x13\x14\x15\x16\x17\x51", 14));
    EXPECT_EQ(LoadHiddenColumns(), hidden);

    // Every column shown again: that is remembered too, neither the old set nor the
    // default set comes back.
    ASSERT_TRUE(SaveHiddenColumns({-2, -3}));
    EXPECT_TRUE(LoadHiddenColumns().empty());

    // The stored order is kept as it was written (a column dragged before another).
    ASSERT_TRUE(SaveHiddenColumns({23, 4}));
    EXPECT_EQ(LoadHiddenColumns(), (std::vector<int>{23, 4}));
}

TEST_F(OptionsStore, OptionsChoiceReportsWhatMustBeRedone)
{
    TOptions o;
    TOptions c = o;
    c.ShowWarning = false;
    OptionsOutcome out = applyOptionsChoice(o, c);
    EXPECT_FALSE(out.hideChanged); // only the warning: saved, but no new listing
    EXPECT_FALSE(out.fontChanged);
    EXPECT_FALSE(o.ShowWarning);
    EXPECT_FALSE(ConfirmWrites());
    TOptions stored;
    LoadOptions(stored);
    EXPECT_FALSE(stored.ShowWarning);

    c.HideExpired = false;
    c.UnicodeFont = true;
    out = applyOptionsChoice(o, c);
    EXPECT_TRUE(out.hideChanged);
    EXPECT_TRUE(out.fontChanged);
    EXPECT_TRUE(UnicodeFont());
    EXPECT_EQ(o, c);
}

TEST(ColumnChooser, ListsFollowThePassedOrderAndSet)
{
    ColumnChooser ch(kGridTags, {0, 1, 3, 4, 5, 10, 17, 18, 19, 20, 21, 22, 23});
    EXPECT_EQ(ch.displayedList(), (QList<int>{-3, -2, 7, 81}));
    EXPECT_EQ(ch.hiddenList(), (QList<int>{0, 1, 3, 4, 5, 10, 17, 18, 19, 20, 21, 22, 23}));
    EXPECT_FALSE(ch.changed());
}

TEST(ColumnChooser, RemoveKeepsNegativeTagsAndAddAppends)
{
    ColumnChooser ch(kGridTags, {});
    // Common Name, Display Name and two others selected: only the others move.
    const QList<int> stay = ch.remove({0, 1, 3, 7});
    EXPECT_EQ(ch.hiddenList(), (QList<int>{1, 7}));
    EXPECT_EQ(ch.displayedList().mid(0, 3), (QList<int>{-3, -2, 0}));
    EXPECT_EQ(stay, (QList<int>{0, 1}));
    EXPECT_TRUE(ch.changed());
    EXPECT_EQ(ch.hiddenSet(), (QSet<int>{1, 7}));

    ch.add({1}); // 7 goes to the end of the displayed list
    EXPECT_EQ(ch.displayedList().last(), 7);
    EXPECT_EQ(ch.hiddenList(), (QList<int>{1}));
    ch.add({0});
    EXPECT_FALSE(ch.changed()); // back to the passed set, whatever the order
    ch.remove({99, -1});        // positions out of range change nothing
    EXPECT_FALSE(ch.changed());
}

TEST(ColumnChooser, MoveRules)
{
    ColumnChooser ch(kGridTags, {});
    // Up: only one selection, only from the third place on.
    EXPECT_EQ(ch.moveUp({1}), -1);
    EXPECT_EQ(ch.moveUp({0}), -1);
    EXPECT_EQ(ch.moveUp({2, 3}), -1);
    EXPECT_EQ(ch.moveUp({2}), 1);
    EXPECT_EQ(ch.displayedList().mid(0, 3), (QList<int>{-3, 0, -2}));
    // Down: the cn column (-3) never moves; the last item cannot go further.
    EXPECT_EQ(ch.moveDown({0}), -1);
    EXPECT_EQ(ch.moveDown({int(ch.displayedList().size()) - 1}), -1);
    EXPECT_EQ(ch.moveDown({1}), 2);
    EXPECT_EQ(ch.displayedList().mid(0, 3), (QList<int>{-3, -2, 0}));
    EXPECT_FALSE(ch.changed()); // the displayed order has no effect on the hidden set

    ch.remove({4, 5});
    ch.reset();
    EXPECT_EQ(ch.displayedList(), kGridTags);
    EXPECT_TRUE(ch.hiddenList().isEmpty());
}
