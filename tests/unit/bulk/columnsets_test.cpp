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

TEST_F(ColumnSets, RefusesNamesOfValueNamesAndEmptySets)
{
    ASSERT_EQ(saveColumnSet(QStringLiteral("first"), cols({1})), 0);
    EXPECT_EQ(saveColumnSet(QStringLiteral("0"), cols({1})), -1);
    EXPECT_EQ(saveColumnSet(QStringLiteral("empty"), {}), -1);
    EXPECT_EQ(saveColumnSet(QString(), cols({1})), -1);
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
