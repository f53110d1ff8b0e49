// SPDX-License-Identifier: GPL-3.0-or-later
// The image information page and its dialog driven with QTest on real image
// files: enabling, changing texts, flags and the boot mark, deleting an
// image, failures that must leave the file alone, and the dialog's tree.
#include "pages/infopage.h"

#include "common/errortext.h"
#include "common/language.h"
#include "imaging/taskrun.h"
#include "pagedriver.h"
#include "pages/imageinfodialog.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <wimlib.h>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

// A file whose images carry the given names ("" for none); image 1 gets
// `firstFlags` and the file `bootIndex`.
bool WriteNamedImages(const QString& source, const QString& path, const QList<QByteArray>& names, int bootIndex = 0,
                      const QByteArray& firstFlags = {})
{
    WIMStruct* wim = nullptr;
    if (wimlib_create_new_wim(WIMLIB_COMPRESSION_TYPE_XPRESS, &wim) != 0)
        return false;
    bool ok = true;
    const QByteArray src = QFile::encodeName(source);
    for (const QByteArray& name : names)
        ok = ok && wimlib_add_image(wim, src.constData(), name.isEmpty() ? nullptr : name.constData(), nullptr, 0) == 0;
    if (ok && !firstFlags.isEmpty())
        ok = wimlib_set_image_flags(wim, 1, firstFlags.constData()) == 0;
    if (ok && bootIndex > 0) {
        wimlib_wim_info info{};
        info.boot_index = uint32_t(bootIndex);
        ok = wimlib_set_wim_info(wim, &info, WIMLIB_CHANGE_BOOT_INDEX) == 0;
    }
    ok = ok && wimlib_write(wim, QFile::encodeName(path).constData(), WIMLIB_ALL_IMAGES, 0, 1) == 0;
    wimlib_free(wim);
    return ok;
}

struct Fixtures {
    QString root, source, one, three, bootTwo, unnamedSecond;
    QStringList parts;
};

const Fixtures& Files()
{
    static const Fixtures f = [] {
        Fixtures x;
        x.root = MakeTestDir(QStringLiteral("infofiles"));
        x.source = x.root + QStringLiteral("/source");
        MakeSourceTree(x.source, 2, 64 * 1024);
        x.one = x.root + QStringLiteral("/one.wim");
        x.three = x.root + QStringLiteral("/three.wim");
        x.bootTwo = x.root + QStringLiteral("/boottwo.wim");
        x.unnamedSecond = x.root + QStringLiteral("/unnamed.wim");
        WriteImageFile(x.source, x.one, 2);
        WriteImageFile(x.source, x.three, 1, 3);
        WriteNamedImages(x.source, x.bootTwo, {"First", "Second"}, 2, "Professional");
        WriteNamedImages(x.source, x.unnamedSecond, {"First", ""}, 0, "Professional");
        x.parts = SplitImageFile(x.three, x.root + QStringLiteral("/set.swm"), 80 * 1024);
        return x;
    }();
    return f;
}

QByteArray Digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result();
}

QString ImagexInfo(const QStringList& args)
{
    QString out;
    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), QStringList{QStringLiteral("info")} + args, 60000, &out), 0)
        << out.toStdString();
    return out;
}

class InfoPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        ASSERT_GE(Files().parts.size(), 2);
        m_dir = MakeTestDir(QStringLiteral("info"));
        m_page = std::make_unique<InfoPage>();
        m_page->show();
    }

    void TearDown() override
    {
        if (m_page)
            WaitUntil([this] { return !m_page->isBusy() && !TaskWorker().isRunning(); });
        m_page.reset();
    }

    // A copy of a fixture the test may change.
    QString copyOf(const QString& fixture)
    {
        const QString path = m_dir + u'/' + QFileInfo(fixture).fileName();
        EXPECT_TRUE(QFile::copy(fixture, path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    template <typename T> T* child(const char* name)
    {
        return m_page->findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* field(const char* name) { return child<QLineEdit>(name); }
    QPushButton* button(const char* name) { return child<QPushButton>(name); }
    QCheckBox* bootBox() { return child<QCheckBox>("boot"); }
    QComboBox* flagsBox() { return child<QComboBox>("flags"); }
    QTreeWidget* list() { return child<QTreeWidget>("images"); }
    QString info() { return m_page->messageBox()->toPlainText(); }

    void open(const QString& file) { field("imageFile")->setText(file); }

    // Clicks a row of the list as the user does.
    void clickRow(int row)
    {
        QTreeWidgetItem* item = list()->topLevelItem(row);
        ASSERT_TRUE(item);
        const QRect r = list()->visualItemRect(item);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, r.center());
        ASSERT_EQ(m_page->selectedRow(), row);
    }

    void clickAndWait(QPushButton* b)
    {
        ASSERT_TRUE(b->isEnabled());
        QTest::mouseClick(b, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([this] { return !m_page->isBusy() && !TaskWorker().isRunning(); }));
        EXPECT_FALSE(m_page->isLocked());
    }

    std::unique_ptr<InfoPage> m_page;
    QString m_dir;
};

struct EnablingCase {
    const char* name;
    int file;    // 0 one image, 1 three images, 2 first split part, 3 boot image 2, 4 missing
    int row;     // -1: none selected
    bool view, fields, boot, bootChecked, remove;
};

class InfoPageEnabling : public InfoPageTest, public testing::WithParamInterface<EnablingCase> {};

TEST_P(InfoPageEnabling, FollowsTheFileAndTheRow)
{
    const EnablingCase& c = GetParam();
    const QString files[] = {Files().one, Files().three, Files().parts.value(0), Files().bootTwo,
                             m_dir + QStringLiteral("/gone.wim")};
    open(files[c.file]);
    if (c.row >= 0)
        clickRow(c.row);
    EXPECT_EQ(button("viewInformation")->isEnabled(), c.view);
    for (const char* name : {"name", "description", "displayName", "displayDescription"})
        EXPECT_EQ(field(name)->isEnabled(), c.fields) << name;
    EXPECT_EQ(flagsBox()->isEnabled(), c.fields);
    EXPECT_EQ(bootBox()->isEnabled(), c.boot);
    EXPECT_EQ(bootBox()->isChecked(), c.bootChecked);
    EXPECT_EQ(button("delete")->isEnabled(), c.remove);
    EXPECT_FALSE(button("modify")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Table, InfoPageEnabling,
    testing::Values(EnablingCase{"OneImage", 0, 0, true, true, true, false, false},
                    EnablingCase{"ThreeImagesNoRow", 1, -1, true, true, true, false, false},
                    EnablingCase{"ThreeImagesRow", 1, 1, true, true, true, false, true},
                    EnablingCase{"SplitPart", 2, 0, true, false, false, false, false},
                    EnablingCase{"BootImageSelected", 3, 1, true, true, false, true, true},
                    EnablingCase{"OtherThanBootImage", 3, 0, true, true, true, false, true},
                    EnablingCase{"MissingFile", 4, -1, false, false, false, false, false}),
    [](const testing::TestParamInfo<EnablingCase>& info) { return std::string(info.param.name); });

TEST_F(InfoPageTest, ListAndBoxShowTheFileAndASplitPartSaysWhy)
{
    open(Files().three);
    ASSERT_EQ(list()->topLevelItemCount(), 3);
    EXPECT_EQ(list()->topLevelItem(1)->text(InfoPage::kColIndex), QStringLiteral("2"));
    EXPECT_EQ(list()->topLevelItem(1)->text(InfoPage::kColName), QStringLiteral("Image 2"));
    EXPECT_TRUE(info().contains(L(160) + L(21)));
    EXPECT_TRUE(info().contains(L(162)));
    clickRow(2);
    EXPECT_EQ(field("name")->text(), QStringLiteral("Image 3"));
    EXPECT_TRUE(info().contains(L(75) + QStringLiteral("3")));
    EXPECT_FALSE(info().contains(L(75) + QStringLiteral("2"))) << "details of one image at a time";

    open(Files().parts.value(1));
    QString split = L(161);
    split.replace(split.indexOf(QStringLiteral("%u")), 2, QStringLiteral("2"));
    split.replace(split.indexOf(QStringLiteral("%u")), 2, QString::number(Files().parts.size()));
    EXPECT_TRUE(info().contains(split)) << info().toStdString();
    EXPECT_EQ(list()->topLevelItemCount(), 3);

    // An unreadable file: the failure with the system's text, nothing listed.
    const QString junk = m_dir + QStringLiteral("/junk.wim");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    open(junk);
    EXPECT_TRUE(info().contains(L(160) + L(22))) << info().toStdString();
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_FALSE(button("viewInformation")->isEnabled());
}

TEST_F(InfoPageTest, FlagsSetToThePromptEnableModifyAndKeepTheStoredFlags)
{
    const QString file = copyOf(Files().bootTwo);
    open(file);
    clickRow(0);
    ASSERT_EQ(flagsBox()->currentText(), QStringLiteral("Professional"));
    flagsBox()->setCurrentIndex(0);
    EXPECT_TRUE(button("modify")->isEnabled());
    field("description")->setText(QStringLiteral("Kept flags"));
    clickAndWait(button("modify"));
    EXPECT_TRUE(info().contains(L(164))) << info().toStdString();

    const QString out = ImagexInfo({file, QStringLiteral("1")});
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Flags:\\s+Professional")))) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Description:\\s+Kept flags")))) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Name:\\s+First")))) << out.toStdString();
}

TEST_F(InfoPageTest, ModifyStoresTextsAndTheBootMark)
{
    const QString file = copyOf(Files().three);
    open(file);
    clickRow(1);
    field("name")->setText(QStringLiteral("Renamed"));
    field("description")->setText(QStringLiteral("A new description"));
    field("displayName")->setText(QStringLiteral("Shown name"));
    bootBox()->setChecked(true);
    clickAndWait(button("modify"));

    const QString out = ImagexInfo({file, QStringLiteral("2")});
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Name:\\s+Renamed\\n")))) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Description:\\s+A new description"))));
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Display Name:\\s+Shown name"))));
    EXPECT_TRUE(
        ImagexInfo({file}).contains(QRegularExpression(QStringLiteral("Boot Index:\\s+2"))));
    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), file}), 0);
    // The other images keep their names.
    EXPECT_TRUE(ImagexInfo({file, QStringLiteral("3")}).contains(QStringLiteral("Image 3")));

    // The page shows the stored state again, the row still chosen.
    EXPECT_EQ(m_page->selectedRow(), 1);
    EXPECT_EQ(list()->topLevelItem(1)->text(InfoPage::kColName), QStringLiteral("Renamed"));
    EXPECT_EQ(field("name")->text(), QStringLiteral("Renamed"));
    EXPECT_TRUE(bootBox()->isChecked());
    EXPECT_FALSE(bootBox()->isEnabled());
    EXPECT_FALSE(button("modify")->isEnabled());
    EXPECT_TRUE(info().contains(L(164)));
}

TEST_F(InfoPageTest, DeleteAsksOnceAndRemovesOnlyThatImage)
{
    const QString file = copyOf(Files().three);
    open(file);
    clickRow(1);
    {
        // "No" leaves the file as it was.
        const QByteArray before = Digest(file);
        BoxAnswerer no({QMessageBox::No});
        QTest::mouseClick(button("delete"), Qt::LeftButton);
        ASSERT_EQ(no.count(), 1);
        EXPECT_EQ(Digest(file), before);
        EXPECT_EQ(list()->topLevelItemCount(), 3);
    }
    BoxAnswerer yes({QMessageBox::Yes});
    clickAndWait(button("delete"));
    ASSERT_EQ(yes.count(), 1);
    EXPECT_EQ(yes.titles().value(0), L(328));
    EXPECT_TRUE(yes.texts().value(0).contains(L(75) + QStringLiteral("2")));
    EXPECT_TRUE(yes.texts().value(0).contains(QStringLiteral("Image 2")));
    EXPECT_TRUE(info().contains(L(164)));
    EXPECT_EQ(list()->topLevelItemCount(), 2);
    EXPECT_EQ(m_page->selectedRow(), -1);

    const QString out = ImagexInfo({file});
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Image Count:\\s+2")))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Image 1")));
    EXPECT_TRUE(out.contains(QStringLiteral("Image 3")));
    EXPECT_FALSE(out.contains(QStringLiteral("Image 2")));
    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), file}), 0);
    const QStringList expected = ListTree(Files().source);
    for (const QString& index : {QStringLiteral("1"), QStringLiteral("2")}) {
        const QString target = m_dir + QStringLiteral("/applied") + index;
        ASSERT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("apply"), file, index, target}), 0);
        EXPECT_EQ(ListTree(target), expected) << index.toStdString();
    }
}

TEST_F(InfoPageTest, AFileThatCannotBeWrittenStaysAsItWas)
{
    const QString file = copyOf(Files().three);
    // Read-only for everyone, root included: the header's read-only flag
    // besides the permission bits.
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(16));
        QByteArray flags = f.read(4);
        flags[0] = char(flags[0] | 0x04);
        ASSERT_TRUE(f.seek(16));
        f.write(flags);
    }
    QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = Digest(file);
    open(file);
    clickRow(0);
    field("name")->setText(QStringLiteral("Never stored"));
    clickAndWait(button("modify"));
    const QString text = info();
    EXPECT_TRUE(text.contains(L(165) + L(22))) << text.toStdString();
    EXPECT_TRUE(text.contains(ErrnoText(EACCES))) << text.toStdString();
    EXPECT_FALSE(text.contains(L(164)));
    EXPECT_EQ(Digest(file), before);
    // The typed text stays for another try; the list shows the stored name.
    EXPECT_EQ(field("name")->text(), QStringLiteral("Never stored"));
    EXPECT_EQ(list()->topLevelItem(0)->text(InfoPage::kColName), QStringLiteral("Image 1"));
    EXPECT_TRUE(button("modify")->isEnabled());

    clickRow(1);
    BoxAnswerer yes({QMessageBox::Yes});
    clickAndWait(button("delete"));
    EXPECT_TRUE(info().contains(L(163) + L(22))) << info().toStdString();
    EXPECT_EQ(Digest(file), before);
    EXPECT_EQ(list()->topLevelItemCount(), 3);
}

TEST_F(InfoPageTest, DialogTreeListsTheFileAndEachImage)
{
    ImageInfoDialog dialog(Files().unnamedSecond);
    QTreeWidget* tree = dialog.tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), Files().unnamedSecond);
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 7);
    EXPECT_EQ(root->child(0)->text(0), L(168) + QStringLiteral("2"));
    EXPECT_EQ(root->child(1)->text(0), L(96) + GetCompressTypeName(1));
    EXPECT_EQ(root->child(2)->text(0), L(170) + L(171));
    EXPECT_EQ(root->child(3)->text(0), L(169) + L(24));
    EXPECT_TRUE(root->child(4)->text(0).startsWith(L(172)));
    EXPECT_EQ(root->child(5)->text(0), QStringLiteral("Image(1): First"));
    EXPECT_EQ(root->child(6)->text(0), QStringLiteral("Image(2)"));

    // Children in their order; empty texts (no Windows data here) are left out.
    auto labels = [](QTreeWidgetItem* image) {
        QStringList out;
        for (int i = 0; i < image->childCount(); ++i)
            out << image->child(i)->text(0);
        return out;
    };
    const QStringList first = labels(root->child(5));
    const QStringList second = labels(root->child(6));
    const int order[] = {299, 339, 174, 53, 173};
    ASSERT_EQ(first.size(), 6) << first.join(u'|').toStdString();
    EXPECT_EQ(first[0], L(97) + QStringLiteral("Professional"));
    ASSERT_EQ(second.size(), 5) << second.join(u'|').toStdString();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(first[i + 1].startsWith(L(order[i]))) << first[i + 1].toStdString();
        EXPECT_TRUE(second[i].startsWith(L(order[i]))) << second[i].toStdString();
    }
    // The folders of the source tree and its root.
    EXPECT_EQ(first.last(), L(173) + QStringLiteral("3"));

    // It can grow but not shrink below the size it opened with.
    dialog.show();
    const QSize opened = dialog.size();
    EXPECT_EQ(dialog.minimumSize(), opened);
    EXPECT_GT(dialog.maximumWidth(), opened.width());
}

} // namespace
