// SPDX-License-Identifier: GPL-3.0-or-later
#include "uitestutil.h"

#include "common/language.h"
#include "support/testenv.h"
#include "ui/configtexteditor.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QPushButton* ButtonLabelled(QWidget* dialog, const QString& text)
{
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

class ConfigEditorTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LoadLanguageFromFile(DefaultLanguageFile())); }
    void TearDown() override { LoadLanguageFromFile(DefaultLanguageFile()); }
};

TEST_F(ConfigEditorTest, ApplyReplacesTheConfigurationLists)
{
    ASSERT_FALSE(ConfigurationTable().keys(u"[ExclusionList]").isEmpty());
    QString shown, heading, title;
    WhenModal([&](QWidget* w) {
        title = w->windowTitle();
        auto* edit = w->findChild<QPlainTextEdit*>(QStringLiteral("configText"));
        ASSERT_NE(edit, nullptr);
        shown = edit->toPlainText();
        heading = w->findChild<QLabel*>(QStringLiteral("heading"))->text();
        edit->setPlainText(QStringLiteral("[ExclusionList]\n\\Only.sys\n\\Temp = comment\n[AlignmentList]\n*.vhd\n"));
        QPushButton* apply = ButtonLabelled(w, QStringLiteral("应用"));
        ASSERT_NE(apply, nullptr);
        apply->click();
    });
    const QString before = ConfigurationTableText();
    EXPECT_EQ(ConfigTextEditor(nullptr), 1);
    EXPECT_EQ(title, QStringLiteral("Kestrel - 编辑配置文件"));
    EXPECT_EQ(heading, QStringLiteral("配置文件[当前]"));
    EXPECT_EQ(shown, QString(before).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(ConfigurationTable().keys(u"[ExclusionList]"), QStringList({QStringLiteral("\\Only.sys"), QStringLiteral("\\Temp")}));
    EXPECT_EQ(ConfigurationTable().keys(u"[AlignmentList]"), QStringList({QStringLiteral("*.vhd")}));
}

TEST_F(ConfigEditorTest, CloseLeavesTheListsAlone)
{
    const QString before = ConfigurationTableText();
    WhenModal([&](QWidget* w) {
        w->findChild<QPlainTextEdit*>(QStringLiteral("configText"))->setPlainText(QStringLiteral("[ExclusionList]\nx\n"));
        ButtonLabelled(w, QStringLiteral("关闭"))->click();
    });
    EXPECT_EQ(ConfigTextEditor(nullptr), 0);
    EXPECT_EQ(ConfigurationTableText(), before);
}

TEST_F(ConfigEditorTest, LoadCutsALanguageFileAtSystemFlag)
{
    const QString dir = MakeTestDir(QStringLiteral("cfg"));
    ConfigTextEditorDialog dialog;
    const QString utf16 = dir + QStringLiteral("/lang.INI");
    ASSERT_TRUE(WriteUtf16File(utf16, QStringLiteral("[ExclusionList]\r\n\\a.sys\r\n[system_flag]\r\nhint\r\n[String_List]\r\n0=x\r\n")));
    ASSERT_TRUE(dialog.loadFile(utf16));
    EXPECT_EQ(dialog.text(), QStringLiteral("[ExclusionList]\n\\a.sys"));
    EXPECT_EQ(dialog.heading(), QStringLiteral("配置文件[载入]"));

    const QString ansi = dir + QStringLiteral("/plain.txt");
    QFile f(ansi);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[CompressionExclusionList]\n*.zip\n");
    f.close();
    ASSERT_TRUE(dialog.loadFile(ansi));
    EXPECT_EQ(dialog.text(), QStringLiteral("[CompressionExclusionList]\n*.zip\n"));
    EXPECT_FALSE(dialog.loadFile(dir));
    EXPECT_FALSE(dialog.loadFile(dir + QStringLiteral("/missing.cfg")));

    dialog.loadDefault();
    EXPECT_EQ(dialog.text(), QString(DefaultConfigurationText()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(dialog.heading(), QStringLiteral("配置文件[默认]"));
}

TEST_F(ConfigEditorTest, SaveWritesMarkTextAndZero)
{
    const QString dir = MakeTestDir(QStringLiteral("cfgsave"));
    ConfigTextEditorDialog dialog;
    const QString source = dir + QStringLiteral("/in.INI");
    ASSERT_TRUE(WriteUtf16File(source, QStringLiteral("[ExclusionList]\n\\中文.sys\n")));
    ASSERT_TRUE(dialog.loadFile(source));
    const QString target = dir + QStringLiteral("/out.INI");
    ASSERT_TRUE(dialog.saveFile(target));
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_GE(bytes.size(), 4);
    EXPECT_EQ(bytes.left(2), QByteArray("\xFF\xFE", 2));
    EXPECT_EQ(bytes.right(2), QByteArray(2, '\0'));
    EXPECT_EQ(DecodeLanguageText(bytes), QStringLiteral("[ExclusionList]\r\n\\中文.sys\r\n"));
    // What was saved loads back to the same text.
    ConfigTextEditorDialog again;
    ASSERT_TRUE(again.loadFile(target));
    EXPECT_EQ(again.text(), dialog.text());
}

TEST_F(ConfigEditorTest, SaveOverAnExistingFileAsksFirst)
{
    const QString dir = MakeTestDir(QStringLiteral("cfgask"));
    const QString target = dir + QStringLiteral("/kept.INI");
    ASSERT_TRUE(WriteUtf16File(target, QStringLiteral("old")));
    const auto saveAnswering = [&](QMessageBox::StandardButton answer) {
        QString question;
        WhenModal([&](QWidget* editor) {
            editor->findChild<QPlainTextEdit*>(QStringLiteral("configText"))->setPlainText(QStringLiteral("[ExclusionList]\nnew"));
            WhenModal([&](QWidget* picker) {
                auto* dialog = qobject_cast<QFileDialog*>(picker);
                ASSERT_NE(dialog, nullptr);
                EXPECT_EQ(dialog->windowTitle(), QStringLiteral("保存配置文件"));
                dialog->setDirectory(dir);
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("kept.INI"));
                WhenModal([&](QWidget* box) {
                    auto* ask = qobject_cast<QMessageBox*>(box);
                    ASSERT_NE(ask, nullptr);
                    question = ask->windowTitle();
                    ask->button(answer)->click();
                });
                static_cast<QDialog*>(dialog)->accept();
            });
            ButtonLabelled(editor, QStringLiteral("保存"))->click();
            ButtonLabelled(editor, QStringLiteral("关闭"))->click();
        });
        EXPECT_EQ(ConfigTextEditor(nullptr), 0);
        EXPECT_EQ(question, QStringLiteral("选择是否覆盖已有的文件"));
        QFile f(target);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return DecodeLanguageText(f.readAll());
    };
    EXPECT_EQ(saveAnswering(QMessageBox::No), QStringLiteral("old"));
    EXPECT_EQ(saveAnswering(QMessageBox::Yes), QStringLiteral("[ExclusionList]\r\nnew"));
}

} // namespace
