// Column sets in the registry: the binary layout, numbering, renaming and damaged data.
#include "bulk/unColumnSets.h"
#include "platform/registry/registry.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace bulk;

namespace {

class ColumnSets : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        registry::setStoreFile(dir.filePath(QStringLiteral("registry.ini")));
    }
    void TearDown() override { registry::setStoreFile(QString()); }
    static QList<ExportColumnItem> cols(std::initializer_list<qint32> keys)
    {
        QList<ExportColumnItem> out;
        for (qint32 k : keys)
            out << ExportColumnItem(QString(), k);
        return out;
    }
    QTemporaryDir dir;
};

TEST_F(ColumnSets, ValueDataIsNameLengthKeyLengthNameAndKeys)
{
    const QByteArray data = encodeColumnSet(QStringLiteral("Ab"), {1, -3});
    EXPECT_EQ(data, QByteArray::fromHex("04000000" "08000000" "41006200" "01000000" "fdffffff"));
    ASSERT_EQ(saveColumnSet(QStringLiteral("Ab"), cols({1, -3})), 0);
    registry::Key key;
    ASSERT_TRUE(key.open(kColumnSetKey, registry::Access::Read, false));
    EXPECT_EQ(key.readBinary(QStringLiteral("0")).value_or(QByteArray()), data);
}

TEST_F(ColumnSets, NewSetIsHighestNumberPlusOneAndRenameMovesItToTheEnd)
{
    for (int i = 0; i <= 10; ++i)
        ASSERT_EQ(saveColumnSet(QStringLiteral("set %1").arg(i), cols({1})), i);
    EXPECT_EQ(saveColumnSet(QStringLiteral("eleven"), cols({2})), 11);
    const QList<ColumnSetInfo> listed = listColumnSets();
    ASSERT_EQ(listed.size(), 12);
    EXPECT_EQ(listed.at(2).number, 10);  // value names sort as text
    EXPECT_EQ(renameColumnSet(3, QStringLiteral("renamed"), cols({5, 6})), 12);
    EXPECT_TRUE(readColumnSet(3).isEmpty());
    ASSERT_EQ(readColumnSet(12).size(), 2);
    EXPECT_EQ(readColumnSet(12).at(0).second, 5);
    EXPECT_EQ(findColumnSet(QStringLiteral("RENAMED")), 12);
    EXPECT_TRUE(deleteColumnSet(12));
    EXPECT_FALSE(deleteColumnSet(12));
}

TEST_F(ColumnSets, CaptionsComeFromTheCatalogueAndCnSurvivesAlthoughNotOffered)
{
    const int n = saveColumnSet(QStringLiteral("with cn"), cols({-3, 101}));
    ASSERT_GE(n, 0);
    const QList<ExportColumnItem> back = readColumnSet(n);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back.at(0), ExportColumnItem(QStringLiteral("Common Name"), -3));
    EXPECT_EQ(back.at(1), ExportColumnItem(QStringLiteral("Member of"), 101));
}

TEST_F(ColumnSets, NamesAreComparedWithSetNamesNotWithValueNames)
{
    ASSERT_EQ(saveColumnSet(QStringLiteral("first"), cols({1})), 0);
    // "0" is the value name of the set above, not the name of any set.
    EXPECT_EQ(saveColumnSet(QStringLiteral("0"), cols({1})), 1);
    EXPECT_EQ(findColumnSet(QStringLiteral("0")), 1);
    QString why;
    EXPECT_EQ(saveColumnSet(QStringLiteral("FIRST"), cols({2}), &why), -1);
    EXPECT_EQ(why, QStringLiteral("The \"FIRST\" is already in the list."));
    EXPECT_EQ(saveColumnSet(QStringLiteral("empty"), {}, &why), -1);
    EXPECT_EQ(why, QStringLiteral("Nothing to save"));
    EXPECT_EQ(saveColumnSet(QString(), cols({1})), -1);
    EXPECT_EQ(listColumnSets().size(), 2);
}

TEST_F(ColumnSets, RenameThatCannotBeSavedKeepsTheSet)
{
    for (int i = 0; i <= 3; ++i)
        ASSERT_EQ(saveColumnSet(QStringLiteral("set %1").arg(i), cols({10 + i, 20 + i})), i);
    const auto stored = [](int number) {
        registry::Key key;
        return key.open(kColumnSetKey, registry::Access::Read, false) ? key.readBinary(QString::number(number))
                                                                        : std::nullopt;
    };
    const QByteArray three = stored(3).value_or(QByteArray());
    ASSERT_FALSE(three.isEmpty());
    // An empty name, another set's name and an empty column list write nothing and keep set 3.
    QString why;
    EXPECT_EQ(renameColumnSet(3, QStringLiteral("  "), cols({1}), &why), -1);
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(renameColumnSet(3, QStringLiteral("SET 1"), cols({1})), -1);
    EXPECT_EQ(renameColumnSet(3, QStringLiteral("renamed"), {}), -1);
    EXPECT_EQ(stored(3), three);
    EXPECT_EQ(listColumnSets().size(), 4);
    // A name equal to a value name is a name like any other; a change of case is no clash
    // with the set itself.
    EXPECT_EQ(renameColumnSet(3, QStringLiteral("2"), cols({13, 23})), 4);
    EXPECT_FALSE(stored(3).has_value());
    EXPECT_EQ(findColumnSet(QStringLiteral("2")), 4);
    EXPECT_EQ(renameColumnSet(4, QStringLiteral("SET 0"), cols({13})), -1);
    EXPECT_EQ(renameColumnSet(0, QStringLiteral("SET 0"), cols({10, 20})), 5);
    EXPECT_EQ(listColumnSets().size(), 4);

    // A set whose stored columns cannot be read has nothing to save under a new name: the
    // damaged record stays for whoever can repair it.
    registry::Key key;
    ASSERT_TRUE(key.open(kColumnSetKey, registry::Access::ReadWrite));
    ASSERT_TRUE(key.writeBinary(QStringLiteral("1"), QByteArray::fromHex("ffffff7f")));
    key.close();
    ASSERT_TRUE(readColumnSet(1).isEmpty());
    EXPECT_EQ(renameColumnSet(1, QStringLiteral("repaired"), readColumnSet(1)), -1);
    EXPECT_EQ(stored(1), QByteArray::fromHex("ffffff7f"));
}

TEST_F(ColumnSets, DamagedDataIsRejectedNotReadPastItsEnd)
{
    QString name;
    QList<qint32> keys;
    EXPECT_FALSE(decodeColumnSet(QByteArray::fromHex("0400"), &name, &keys));
    EXPECT_FALSE(decodeColumnSet(QByteArray::fromHex("ffffff7f" "04000000" "4100"), &name, &keys));
    EXPECT_FALSE(decodeColumnSet(QByteArray::fromHex("02000000" "08000000" "4100" "01000000"), &name, &keys));
    EXPECT_FALSE(decodeColumnSet(QByteArray::fromHex("03000000" "00000000" "410042"), &name, &keys));
    registry::Key key;
    ASSERT_TRUE(key.open(kColumnSetKey, registry::Access::ReadWrite));
    ASSERT_TRUE(key.writeBinary(QStringLiteral("4"), QByteArray::fromHex("ffffff7f")));
    key.close();
    EXPECT_TRUE(readColumnSet(4).isEmpty());
    ASSERT_EQ(listColumnSets().size(), 1);
    EXPECT_EQ(saveColumnSet(QStringLiteral("after"), cols({1})), 5);
}

}  // namespace
