// The extension switch of save dialogs whose file type can change.
#include "ui/texts.h"

#include <gtest/gtest.h>

TEST(WithExtension, ReplacesOrAddsTheExtensionOfTheNameOnly)
{
    EXPECT_EQ(ui::withExtension("/home/a/Picture0.jpg", ".bmp"), "/home/a/Picture0.bmp");
    EXPECT_EQ(ui::withExtension("Picture.jpeg", ".jpg"), "Picture.jpg");
    EXPECT_EQ(ui::withExtension("Picture", ".bmp"), "Picture.bmp");
    EXPECT_EQ(ui::withExtension("/home/a.b/Picture", ".bmp"), "/home/a.b/Picture.bmp");
    EXPECT_EQ(ui::withExtension("C:\\a.b\\Picture", ".jpg"), "C:\\a.b\\Picture.jpg");
    EXPECT_EQ(ui::withExtension("/home/a/.hidden", ".jpg"), "/home/a/.hidden.jpg");
    EXPECT_EQ(ui::withExtension("archive.tar.gz", ".bmp"), "archive.tar.bmp");
}
