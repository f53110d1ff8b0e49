// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the image information page that need no window.
#include "pages/core/imageinfologic.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

WIMIMAGEINFO StoredImage()
{
    WIMIMAGEINFO image;
    image.Name = QStringLiteral("Base");
    image.Description = QString(300, u'd');
    image.DisplayName = QStringLiteral("Shown");
    image.DisplayDescription = QString();
    image.Flags = QStringLiteral("Professional");
    return image;
}

ImageEditInputs SameAsStored(const WIMIMAGEINFO& image, bool boot)
{
    return {image.Name, image.Description, image.DisplayName, image.DisplayDescription, image.Flags, boot};
}

} // namespace

TEST(ImageInfoLogic, ModifiedComparesExactlyOverTheFirst256Characters)
{
    const WIMIMAGEINFO image = StoredImage();
    struct Case {
        const char* what;
        std::function<void(ImageEditInputs&)> change;
        bool isBoot;
        bool modified;
    };
    const Case cases[] = {
        {"nothing changed", [](ImageEditInputs&) {}, false, false},
        {"case of the name", [](ImageEditInputs& in) { in.name = QStringLiteral("base"); }, false, true},
        {"flags emptied", [](ImageEditInputs& in) { in.flags.clear(); }, false, true},
        {"boot box checked", [](ImageEditInputs& in) { in.boot = true; }, false, true},
        {"boot image as it is", [](ImageEditInputs& in) { in.boot = true; }, true, false},
        {"display description typed", [](ImageEditInputs& in) { in.displayDescription = QStringLiteral("x"); },
         false, true},
        {"description within 256", [](ImageEditInputs& in) { in.description[255] = u'e'; }, false, true},
        {"description beyond 256", [](ImageEditInputs& in) { in.description[256] = u'e'; }, false, false},
    };
    for (const Case& c : cases) {
        ImageEditInputs in = SameAsStored(image, c.isBoot);
        c.change(in);
        EXPECT_EQ(IsImageModified(image, c.isBoot, in), c.modified) << c.what;
    }
}

TEST(ImageInfoLogic, TheFlagsPromptLeavesTheStoredFlagsAlone)
{
    const QString prompt = QStringLiteral("Pick from the list or type your own");
    ImageEditInputs in{QStringLiteral("N"), {}, {}, {}, prompt.toUpper(), true};
    IMAGEMETADATAEDIT edit = MakeMetadataEdit(3, in, prompt);
    EXPECT_TRUE(edit.Flags.isEmpty());
    EXPECT_EQ(edit.ImageIndex, 3u);
    EXPECT_EQ(edit.SetBoot, 1u);
    EXPECT_EQ(edit.Name, QStringLiteral("N"));

    in.flags = QString(200, u'f');
    in.name = QString(600, u'n');
    edit = MakeMetadataEdit(1, in, prompt);
    EXPECT_EQ(edit.Flags.size(), 127);
    EXPECT_EQ(edit.Name.size(), 511);
}
