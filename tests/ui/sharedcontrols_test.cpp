// SPDX-License-Identifier: GPL-3.0-or-later
#include "uitestutil.h"

#include "common/language.h"
#include "support/testenv.h"
#include "ui/languagewidgets.h"
#include "ui/mountnotice.h"
#include "ui/sharedcontrols.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>

namespace {

class SharedControlsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LoadLanguageFromFile(DefaultLanguageFile())); }
};

TEST_F(SharedControlsTest, ThreeWayStopRelabelsButtons)
{
    QStringList labels;
    QString text, caption;
    WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        for (QAbstractButton* b : box->buttons())
            labels << b->text();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(AskStopThreeWay(nullptr), QMessageBox::No);
    labels.sort();
    QStringList expected = {QStringLiteral("安全终止"), QStringLiteral("强行终止"), QStringLiteral("返回继续")};
    expected.sort();
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(caption, GetLanguageString(122));
    EXPECT_EQ(text, GetLanguageString(177) + u'\n' + GetLanguageString(124) + u'\n' + GetLanguageString(176) + QStringLiteral("\n\n")
                        + GetLanguageString(287) + u'\n' + GetLanguageString(288) + u'\n' + GetLanguageString(289));
}

TEST_F(SharedControlsTest, AskStopKeepsPlainButtons)
{
    QString yes;
    WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        yes = box->button(QMessageBox::Yes)->text();
        EXPECT_TRUE(box->text().endsWith(QStringLiteral("\n\n") + GetLanguageString(126)));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(AskStop(nullptr, QMessageBox::Yes | QMessageBox::No), QMessageBox::Yes);
    EXPECT_NE(yes, GetLanguageString(284));
}

TEST(SharedControls, DropExtensionTable)
{
    const QStringList wim = {QStringLiteral("WIM"), QStringLiteral("SWM"), QStringLiteral("ESD")};
    const struct {
        const char* file;
        bool taken;
    } cases[] = {
        {"/d/a.wim", true}, {"/d/a.WIM", true}, {"/d/b.Esd", true}, {"/d/noext", false},
        {"/d/a.wim.txt", false}, {"/d.wim/file", false}, {"/d/a.", false}, {"/d/.swm", true},
    };
    for (const auto& c : cases) {
        QLineEdit field(QStringLiteral("before"));
        EXPECT_EQ(SetFieldFromDrop(&field, QString::fromUtf8(c.file), wim), c.taken) << c.file;
        EXPECT_EQ(field.text(), c.taken ? QString::fromUtf8(c.file) : QStringLiteral("before")) << c.file;
    }
}

TEST(SharedControls, NumbersCombosSpinsAndTextBoxes)
{
    const struct {
        const char* text;
        int value;
    } numbers[] = {{"", 0}, {" 12", 12}, {"7abc", 7}, {"-3", -3}, {"abc", 0}, {"+5", 5}};
    for (const auto& n : numbers)
        EXPECT_EQ(ReadNumber(QString::fromUtf8(n.text)), n.value) << n.text;
    QLineEdit longField(QString(127, u'1') + QStringLiteral("99"));
    EXPECT_EQ(ReadNumber(&longField), ReadNumber(QString(127, u'1')));

    QComboBox combo;
    combo.addItems({QStringLiteral("Alpha"), QStringLiteral("alpha"), QStringLiteral("Beta")});
    EXPECT_EQ(FindComboText(&combo, QStringLiteral("alpha")), 1);
    EXPECT_EQ(FindComboText(&combo, QStringLiteral("BETA")), -1);

    QSpinBox spin;
    QLineEdit buddy;
    SetSpinRange(&spin, 1, 7, &buddy);
    SetSpinPosition(&spin, 5, &buddy);
    EXPECT_EQ(buddy.text(), QStringLiteral("5"));
    SetSpinPosition(&spin, 12, &buddy);
    EXPECT_EQ(buddy.text(), QStringLiteral("7"));

    QPlainTextEdit box;
    box.setPlainText(QStringLiteral("old"));
    FillTextBox(&box, {QStringLiteral("one"), QStringLiteral("two")});
    EXPECT_EQ(box.toPlainText(), QStringLiteral("one\ntwo\n"));
    EXPECT_EQ(box.textCursor().position(), 0);
}

TEST_F(SharedControlsTest, SectionListsKeepSelection)
{
    QComboBox compress;
    FillCompressTypeList(&compress, 2);
    ASSERT_EQ(compress.count(), 4);
    EXPECT_EQ(compress.currentIndex(), 2);
    EXPECT_EQ(compress.itemText(3), QStringLiteral("极限压缩(LZMS)"));
    compress.setCurrentIndex(1);
    FillCompressTypeList(&compress, 2);
    EXPECT_EQ(compress.currentIndex(), 1);

    QComboBox flags;
    flags.setEditable(true);
    QString hint;
    FillSystemFlagList(&flags, &hint);
    EXPECT_EQ(hint, QStringLiteral("可下拉选择也可填写"));
    EXPECT_EQ(flags.count(), 18);
    EXPECT_EQ(flags.itemText(1), QStringLiteral("Education Edition"));

    QComboBox none;
    none.addItem(QStringLiteral("kept"));
    ASSERT_TRUE(LoadLanguageFromBytes(QByteArray("[System_Flag]\nh\n[String_List]\n0=a\n")));
    FillCompressTypeList(&none, 2);
    EXPECT_EQ(none.count(), 1);
}

TEST(MountNotice, NeedsDeviceAndHelper)
{
    const QString bin = MakeTestDir(QStringLiteral("bin"));
    const QString empty = MakeTestDir(QStringLiteral("nobin"));
    QFile helper(bin + QStringLiteral("/fusermount"));
    ASSERT_TRUE(helper.open(QIODevice::WriteOnly));
    helper.write("#!/bin/sh\n");
    helper.close();
    helper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // /dev/null stands in for a character device the process may open.
    EXPECT_TRUE(MountingAvailable(QStringLiteral("/dev/null"), bin));
    EXPECT_FALSE(MountingAvailable(QStringLiteral("/dev/null"), empty));
    EXPECT_FALSE(MountingAvailable(bin + QStringLiteral("/fusermount"), bin));
    EXPECT_FALSE(MountingAvailable(empty + QStringLiteral("/fuse"), bin));
}

} // namespace
