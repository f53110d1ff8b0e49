// SPDX-License-Identifier: GPL-3.0-or-later
// The mount settings page driven with QTest on real image files: the rules
// of its four boxes, the image number, change detection, applying and
// clearing (checked in the file with wimlib-imagex), and the consent box of
// the double-click mount.
#include "pages/mountsettingspage.h"

#include "app/doubleclickmount.h"
#include "common/language.h"
#include "common/settings.h"
#include "pages/core/mountapproval.h"
#include "support/testenv.h"
#include "ui/doubleclickdialogs.h"
#include "wimfixture.h"

#include <QCheckBox>
#include <QFile>
#include <QStringDecoder>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

class MountSettingsPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        m_dir = MakeTestDir(QStringLiteral("mountsettings"));
        MakeSourceTree(m_dir + QStringLiteral("/source"));
        m_wim = m_dir + QStringLiteral("/one.wim");
        m_three = m_dir + QStringLiteral("/three.wim");
        ASSERT_TRUE(WriteImageFile(m_dir + QStringLiteral("/source"), m_wim, 2));
        ASSERT_TRUE(WriteImageFile(m_dir + QStringLiteral("/source"), m_three, 1, 3));
        m_page = std::make_unique<MountSettingsPage>();
        m_page->show();
    }

    void TearDown() override { m_page.reset(); }

    QLineEdit* field(const char* name) { return m_page->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QPushButton* button(const char* name) { return m_page->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QCheckBox* box(const char* name) { return m_page->findChild<QCheckBox*>(QString::fromLatin1(name)); }
    QSpinBox* number() { return m_page->findChild<QSpinBox*>(QStringLiteral("imageNumber")); }
    QString info()
    {
        QCoreApplication::processEvents();
        return m_page->messageBox()->toPlainText();
    }
    void setNumber(const QString& text)
    {
        QLineEdit* edit = number()->findChild<QLineEdit*>();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    // The file's XML as wimlib reads it (UTF-16LE with byte-order mark).
    QString imageXml(const QString& file)
    {
        const QString out = m_dir + QStringLiteral("/extracted.xml");
        EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"),
                          {QStringLiteral("info"), file, QStringLiteral("--extract-xml"), out}),
                  0);
        QFile f(out);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringDecoder decode(QStringConverter::Utf16LE);
        return decode(f.readAll());
    }

    QString m_dir, m_wim, m_three;
    std::unique_ptr<MountSettingsPage> m_page;
};

// One click on a box; the expected state of the commit and delete-folder
// boxes afterwards.
struct BoxStep {
    const char* click; // "readWrite", "autoUnmount", "deleteFolder" or "commit"
    bool commitChecked, commitEnabled, deleteChecked, deleteEnabled;
};

TEST_F(MountSettingsPageTest, BoxRulesFollowReadWriteAndAutoUnmount)
{
    field("imageFile")->setText(m_wim);
    ASSERT_TRUE(m_page->isEditable());
    EXPECT_FALSE(box("commit")->isEnabled());
    EXPECT_FALSE(box("deleteFolder")->isEnabled());
    const BoxStep steps[] = {
        {"autoUnmount", false, false, false, true}, // without read-write nothing is committed
        {"readWrite", false, true, false, true},
        {"commit", true, true, false, true},
        {"deleteFolder", true, true, true, true},
        {"autoUnmount", false, false, false, false}, // off: both unchecked
        {"autoUnmount", false, true, true, true},    // on: delete-folder comes back as remembered,
                                                     // commit as stored (off)
        {"commit", true, true, true, true},
        {"readWrite", false, false, true, true}, // read-write off unchecks and disables commit
    };
    int i = 0;
    for (const BoxStep& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << i++ << " clicks " << s.click);
        QTest::mouseClick(box(s.click), Qt::LeftButton);
        EXPECT_EQ(box("commit")->isChecked(), s.commitChecked);
        EXPECT_EQ(box("commit")->isEnabled(), s.commitEnabled);
        EXPECT_EQ(box("deleteFolder")->isChecked(), s.deleteChecked);
        EXPECT_EQ(box("deleteFolder")->isEnabled(), s.deleteEnabled);
    }
}

TEST_F(MountSettingsPageTest, ImageNumberWrapsAndOneImageKeepsItDisabled)
{
    field("imageFile")->setText(m_wim);
    EXPECT_FALSE(number()->isEnabled());
    EXPECT_FALSE(field("imageName")->text().isEmpty());

    field("imageFile")->setText(m_three);
    ASSERT_TRUE(number()->isEnabled());
    EXPECT_EQ(number()->value(), 1);
    setNumber(QStringLiteral("0"));
    EXPECT_EQ(number()->value(), 3);
    setNumber(QStringLiteral("4"));
    EXPECT_EQ(number()->value(), 1);
    EXPECT_TRUE(field("imageName")->isReadOnly());
    EXPECT_TRUE(field("imageDescription")->isReadOnly());
    // A changed number is a change to apply; going back to the stored one is not.
    setNumber(QStringLiteral("2"));
    EXPECT_TRUE(button("applySettings")->isEnabled());
    setNumber(QStringLiteral("1"));
    EXPECT_FALSE(button("applySettings")->isEnabled());
}

TEST_F(MountSettingsPageTest, ApplyStoresTheSettingsAndReloadShowsThem)
{
    field("imageFile")->setText(m_three);
    EXPECT_FALSE(button("applySettings")->isEnabled());
    EXPECT_FALSE(button("clearSettings")->isEnabled());
    const QString command = QStringLiteral("\"/opt/my tools/run.sh\" %MountDir%");
    QTest::keyClicks(field("mountCommand"), command);
    QTest::keyClicks(field("unmountCommand"), QStringLiteral("/bin/sync"));
    QTest::keyClicks(field("mountFolder"), m_dir + QStringLiteral("/mnt"));
    QTest::mouseClick(box("readWrite"), Qt::LeftButton);
    QTest::mouseClick(box("autoUnmount"), Qt::LeftButton);
    QTest::mouseClick(box("commit"), Qt::LeftButton);
    setNumber(QStringLiteral("2"));
    ASSERT_TRUE(button("applySettings")->isEnabled());
    QTest::mouseClick(button("applySettings"), Qt::LeftButton);
    EXPECT_TRUE(info().contains(L(179) + L(21))) << info().toStdString();
    EXPECT_FALSE(button("applySettings")->isEnabled());
    EXPECT_TRUE(button("clearSettings")->isEnabled());
    // What the user stores here is approved for the double-click.
    EXPECT_TRUE(IsMountCommandApproved(m_three, command, QStringLiteral("/bin/sync")));

    const QString xml = imageXml(m_three);
    EXPECT_TRUE(xml.contains(QStringLiteral("MOUNTID=\"2\""))) << xml.toStdString();
    EXPECT_TRUE(xml.contains(QStringLiteral("<MOUNTRUNCMD>\"/opt/my tools/run.sh\" %MountDir%</MOUNTRUNCMD>")))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains(QStringLiteral("COMMIT=\"1\"")));
    EXPECT_TRUE(xml.contains(QStringLiteral("CLEARDIR=\"0\"")));

    // A fresh page shows what the file stores.
    m_page = std::make_unique<MountSettingsPage>();
    field("imageFile")->setText(m_three);
    EXPECT_EQ(field("mountCommand")->text(), command);
    EXPECT_EQ(field("unmountCommand")->text(), QStringLiteral("/bin/sync"));
    EXPECT_EQ(field("mountFolder")->text(), m_dir + QStringLiteral("/mnt"));
    EXPECT_EQ(number()->value(), 2);
    EXPECT_TRUE(box("readWrite")->isChecked());
    EXPECT_TRUE(box("commit")->isChecked());
    EXPECT_TRUE(box("commit")->isEnabled());
    EXPECT_FALSE(box("deleteFolder")->isChecked());
    EXPECT_FALSE(button("applySettings")->isEnabled());
    // Commands and folder compare ignoring case; anything else counts.
    field("unmountCommand")->setText(QStringLiteral("/BIN/SYNC"));
    EXPECT_FALSE(button("applySettings")->isEnabled());
    field("unmountCommand")->setText(QStringLiteral("/bin/sync -f"));
    EXPECT_TRUE(button("applySettings")->isEnabled());
}

TEST_F(MountSettingsPageTest, ClearRemovesTheSettingsAndKeepsNothingChecked)
{
    MOUNTSETTINGS s;
    s.MountRunCmd = QStringLiteral("/bin/true");
    s.MountPath = QStringLiteral("/tmp/somewhere");
    s.AutoUnmount = 1;
    s.ClearDir = 1;
    ASSERT_TRUE(WriteMountSettings(m_wim, s));
    field("imageFile")->setText(m_wim);
    EXPECT_TRUE(box("deleteFolder")->isChecked());
    ASSERT_TRUE(button("clearSettings")->isEnabled());
    QTest::mouseClick(button("clearSettings"), Qt::LeftButton);
    EXPECT_TRUE(info().contains(L(180) + L(21))) << info().toStdString();
    for (const char* name : {"mountCommand", "unmountCommand", "mountFolder"})
        EXPECT_TRUE(field(name)->text().isEmpty()) << name;
    for (const char* name : {"readWrite", "autoUnmount", "commit", "deleteFolder"})
        EXPECT_FALSE(box(name)->isChecked()) << name;
    EXPECT_FALSE(box("commit")->isEnabled());
    EXPECT_FALSE(box("deleteFolder")->isEnabled());
    EXPECT_FALSE(button("clearSettings")->isEnabled());
    EXPECT_FALSE(button("applySettings")->isEnabled());
    const QString xml = imageXml(m_wim);
    EXPECT_FALSE(xml.contains(QStringLiteral("MOUNTRUNCMD"))) << xml.toStdString();
    EXPECT_FALSE(xml.contains(QStringLiteral("CLEARDIR")));
    EXPECT_FALSE(HasImageMountCommand(m_wim));
}

TEST_F(MountSettingsPageTest, FilesThatCannotBeChangedAreShownOnly)
{
    // A missing file and a file that is no image: nothing to edit.
    for (const QString& path : {m_dir + QStringLiteral("/missing.wim"), m_dir + QStringLiteral("/source/a.txt")}) {
        field("imageFile")->setText(path);
        EXPECT_FALSE(m_page->isEditable()) << path.toStdString();
        EXPECT_FALSE(box("readWrite")->isEnabled());
        EXPECT_FALSE(box("autoUnmount")->isEnabled());
        QTest::keyClicks(field("mountCommand"), QStringLiteral("x"));
        EXPECT_FALSE(button("applySettings")->isEnabled());
    }
}

TEST(MountConsentBox, ShowsFileAndCommandsAsStoredAndDefaultsToCancel)
{
    if (!PageTestSetupProblem().isEmpty())
        GTEST_SKIP() << PageTestSetupProblem().toStdString();
    QMessageBox box;
    BuildMountConsentBox(box, QStringLiteral("/home/u/Downloads/x.wim"), QStringLiteral("\"%MountDir%/setup\" -q"),
                         QString());
    EXPECT_TRUE(box.text().contains(QStringLiteral("/home/u/Downloads/x.wim")));
    EXPECT_TRUE(box.text().contains(QStringLiteral("\"%MountDir%/setup\" -q")));
    EXPECT_FALSE(box.text().contains(L(188))) << "no empty unmount line";
    EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::Cancel));
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), L(403));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), L(404));
    EXPECT_EQ(MountConsentFromButton(QMessageBox::Yes), MountConsent::Run);
    EXPECT_EQ(MountConsentFromButton(QMessageBox::No), MountConsent::MountOnly);
    EXPECT_EQ(MountConsentFromButton(QMessageBox::Cancel), MountConsent::Cancel);
    EXPECT_EQ(MountConsentFromButton(QMessageBox::Escape), MountConsent::Cancel);

    BuildMountConsentBox(box, QStringLiteral("/x.wim"), QStringLiteral("a"), QStringLiteral("b --now"));
    EXPECT_TRUE(box.text().contains(L(188) + QStringLiteral("b --now")));
}

} // namespace
