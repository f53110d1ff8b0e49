// SPDX-License-Identifier: GPL-3.0-or-later
#include "uitestutil.h"

#include "common/language.h"
#include "support/testenv.h"
#include "ui/pickers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTest>

namespace {

QLineEdit* NameBox(QWidget* dialog)
{
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

class PickersTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadLanguageFromFile(DefaultLanguageFile()));
        m_dir = MakeTestDir(QStringLiteral("pick"));
    }
    QString m_dir;
};

TEST_F(PickersTest, NewFolderButtonTwiceMakesNumberedName)
{
    QString boxAfterSecond;
    WhenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(m_dir);
        auto* button = dialog->findChild<QPushButton*>(QStringLiteral("newFolderButton"));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QStringLiteral("新建文件夹"));
        button->click();
        button->click();
        boxAfterSecond = NameBox(dialog)->text();
        static_cast<QDialog*>(dialog)->accept();
    });
    const QString picked = PickFolder(nullptr, QStringLiteral("title"), GetLanguageString(345));
    const QString first = m_dir + QStringLiteral("/新建文件夹");
    const QString second = m_dir + QStringLiteral("/新建文件夹 (2)");
    EXPECT_TRUE(QFileInfo(first).isDir());
    EXPECT_TRUE(QFileInfo(second).isDir());
    EXPECT_EQ(boxAfterSecond, second);
    EXPECT_EQ(picked, second);
    EXPECT_EQ(RememberedFolder(PickerKind::Folder), m_dir);
}

TEST_F(PickersTest, FileOrFolderTakesTypedFolderAndFile)
{
    ASSERT_TRUE(QDir(m_dir).mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(WriteUtf16File(m_dir + QStringLiteral("/sub/a.wim"), QStringLiteral("x")));
    const auto typeAndOpen = [this](const QString& typed) {
        WhenModal([this, typed](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            dialog->setDirectory(m_dir);
            NameBox(dialog)->setText(typed);
            static_cast<QDialog*>(dialog)->accept();
        });
        return PickFileOrFolder(nullptr);
    };
    EXPECT_EQ(typeAndOpen(QStringLiteral("sub/")), m_dir + QStringLiteral("/sub"));
    EXPECT_EQ(RememberedFolder(PickerKind::FileOrFolder), m_dir + QStringLiteral("/sub"));
    EXPECT_EQ(typeAndOpen(m_dir + QStringLiteral("/sub/a.wim")), m_dir + QStringLiteral("/sub/a.wim"));
    EXPECT_EQ(RememberedFolder(PickerKind::FileOrFolder), m_dir + QStringLiteral("/sub"));

    // A cancelled dialog gives nothing and keeps the remembered folder.
    WhenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_TRUE(PickFileOrFolder(nullptr).isEmpty());
    EXPECT_EQ(RememberedFolder(PickerKind::FileOrFolder), m_dir + QStringLiteral("/sub"));
}

TEST_F(PickersTest, SaveProposesNameWithFirstExtensionAndNeverAsks)
{
    const QString existing = m_dir + QStringLiteral("/name.WIM");
    ASSERT_TRUE(WriteUtf16File(existing, QStringLiteral("x")));
    QString proposed;
    WhenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        proposed = NameBox(dialog)->text();
        dialog->setDirectory(m_dir);
        NameBox(dialog)->setText(QStringLiteral("name.WIM"));
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(PickSaveFile(nullptr, QStringLiteral("t"), QStringLiteral("WIM"), QStringLiteral("*.WIM;*.ESD"), QStringLiteral("name")),
              existing);
    EXPECT_EQ(proposed, QStringLiteral("name.WIM"));
    EXPECT_EQ(RememberedFolder(PickerKind::SaveFile), m_dir);
}

TEST_F(PickersTest, OpenStartsInRememberedFolder)
{
    const QString file = m_dir + QStringLiteral("/image.wim");
    ASSERT_TRUE(WriteUtf16File(file, QStringLiteral("x")));
    WhenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        dialog->setDirectory(m_dir);
        dialog->selectFile(file);
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(PickOpenFile(nullptr, QStringLiteral("t"), QStringLiteral("WIM"), QStringLiteral("*.WIM;*.SWM")), file);
    QString startedIn;
    WhenModal([&](QWidget* w) {
        startedIn = qobject_cast<QFileDialog*>(w)->directory().absolutePath();
        qobject_cast<QDialog*>(w)->reject();
    });
    EXPECT_TRUE(PickOpenFile(nullptr, QStringLiteral("t"), QStringLiteral("WIM"), QStringLiteral("*.WIM")).isEmpty());
    EXPECT_EQ(startedIn, m_dir);
    EXPECT_EQ(RememberedFolder(PickerKind::OpenFile), m_dir);
}

TEST_F(PickersTest, OpenListsLowerCaseFilesForUpperCasePattern)
{
    for (const char* name : {"a.wim", "b.WIM", "c.txt"})
        ASSERT_TRUE(WriteUtf16File(m_dir + u'/' + QString::fromLatin1(name), QStringLiteral("x")));
    QStringList listed;
    WhenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        dialog->setDirectory(m_dir);
        // The model fills in batches from its own thread, and its "loaded"
        // signal can come for the folder the dialog started in; wait for the
        // rows themselves instead.
        const auto collect = [&] {
            listed.clear();
            const QModelIndex root = model->index(m_dir);
            for (int r = 0; r < model->rowCount(root); ++r) {
                const QModelIndex i = model->index(r, 0, root);
                // Entries the filter refuses stay in the model, disabled.
                if (model->flags(i) & Qt::ItemIsEnabled)
                    listed << model->fileName(i);
            }
            return listed.size() >= 2;
        };
        EXPECT_TRUE(QTest::qWaitFor(collect, 5000));
        dialog->reject();
    });
    EXPECT_TRUE(PickOpenFile(nullptr, QStringLiteral("t"), QStringLiteral("WIM"), QStringLiteral("*.WIM;*.SWM")).isEmpty());
    listed.sort();
    EXPECT_EQ(listed, QStringList({QStringLiteral("a.wim"), QStringLiteral("b.WIM")}));
}

TEST(Pickers, FirstPatternExtension)
{
    EXPECT_EQ(FirstPatternExtension(QStringLiteral("*.WIM;*.ESD")), QStringLiteral(".WIM"));
    EXPECT_EQ(FirstPatternExtension(QStringLiteral("*.INI")), QStringLiteral(".INI"));
    EXPECT_EQ(FirstPatternExtension(QStringLiteral("*")), QString());
    EXPECT_EQ(FirstPatternExtension(QStringLiteral("*CFG;*.TXT")), QStringLiteral(".TXT"));
}

TEST(Pickers, NewFolderNeedsAnExistingParent)
{
    const QString dir = MakeTestDir(QStringLiteral("nf"));
    EXPECT_TRUE(MakeNewFolder(dir + QStringLiteral("/missing"), QStringLiteral("x")).isEmpty());
    EXPECT_TRUE(MakeNewFolder(dir, QString()).isEmpty());
    ASSERT_TRUE(WriteUtf16File(dir + QStringLiteral("/x"), QStringLiteral("file")));
    EXPECT_EQ(MakeNewFolder(dir, QStringLiteral("x")), dir + QStringLiteral("/x (2)"));
}

} // namespace
