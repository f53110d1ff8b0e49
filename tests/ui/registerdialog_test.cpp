// SPDX-License-Identifier: GPL-3.0-or-later
// The register and remove dialog of the shell integration, in the test's
// private home (its XDG folders), without a shell module beside the program.
#include "ui/registerdialog.h"

#include "common/language.h"
#include "common/settings.h"
#include "imaging/resources.h"
#include "shell/association.h"
#include "shell/shellregistration.h"
#include "support/testenv.h"
#include "uitestutil.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The built-in (Chinese) texts; loaded once the carried resources are
// registered, which static initialisation does not promise.
void useBuiltInLanguage()
{
    static const bool loaded = (UseCarriedLanguage(), LoadBuiltInLanguage(), true);
    (void)loaded;
}

QString L(int n)
{
    useBuiltInLanguage();
    return GetLanguageString(n);
}

bool waitIdle(const RegisterExtensionsDialog& d)
{
    for (int i = 0; i < 600 && d.isRunning(); ++i)
        QTest::qWait(50);
    return !d.isRunning();
}

TEST(RegisterDialog, BoxesStartByModeAndApplyNeedsOne)
{
    useBuiltInLanguage();
    RegisterExtensionsDialog reg(1);
    EXPECT_EQ(reg.windowTitle(), L(226));
    EXPECT_TRUE(reg.iconBox()->isChecked() && reg.menuBox()->isChecked() && reg.associationBox()->isChecked());
    EXPECT_TRUE(reg.applyButton()->isEnabled());

    RegisterExtensionsDialog unreg(0);
    EXPECT_EQ(unreg.windowTitle(), L(227));
    EXPECT_FALSE(unreg.iconBox()->isChecked() || unreg.menuBox()->isChecked() || unreg.associationBox()->isChecked());
    EXPECT_FALSE(unreg.applyButton()->isEnabled());
    unreg.menuBox()->setChecked(true);
    EXPECT_TRUE(unreg.applyButton()->isEnabled());
    unreg.menuBox()->setChecked(false);
    EXPECT_FALSE(unreg.applyButton()->isEnabled());
}

// The association alone does not need the module; the handlers do, and
// report that it cannot be loaded. The closing advice follows because the
// association went through.
TEST(RegisterDialog, AssociationAloneWorksWithoutTheModule)
{
    useBuiltInLanguage();
    // The work folders the menu commands need, made by registering.
    const QString base = MakeTestDir(QStringLiteral("register"));
    AppSettings().autoMountPath = base + QStringLiteral("/mounts/deep");
    AppSettings().wimTempPath = base + QStringLiteral("/temp");
    const ShellInstall install = RunningInstall();
    ASSERT_FALSE(QFileInfo::exists(install.module())) << "this test needs a folder without the module";
    RegisterExtensionsDialog dialog(1);
    dialog.iconBox()->setChecked(false);
    dialog.menuBox()->setChecked(false);
    QTest::mouseClick(dialog.applyButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isRunning());
    EXPECT_FALSE(dialog.associationBox()->isEnabled()) << "the controls are off while the steps run";
    ASSERT_TRUE(waitIdle(dialog));
    QCoreApplication::processEvents();
    const QString out = dialog.output()->toPlainText();
    EXPECT_TRUE(out.contains(L(264) + L(21))) << out.toStdString();
    EXPECT_FALSE(out.contains(L(263))) << out.toStdString();
    EXPECT_TRUE(out.trimmed().endsWith(L(266))) << out.toStdString();
    EXPECT_TRUE(OpenCommandIsOurs(install));
    EXPECT_TRUE(QFileInfo(AppSettings().autoMountPath).isDir());
    EXPECT_TRUE(QFileInfo(AppSettings().wimTempPath).isDir());
    EXPECT_TRUE(dialog.associationBox()->isEnabled());

    RegisterExtensionsDialog remove(0);
    remove.iconBox()->setChecked(true);
    remove.associationBox()->setChecked(true);
    remove.apply();
    ASSERT_TRUE(waitIdle(remove));
    QCoreApplication::processEvents();
    const QString removed = remove.output()->toPlainText();
    EXPECT_TRUE(removed.contains(L(263))) << removed.toStdString();
    EXPECT_TRUE(removed.contains(L(265) + L(21))) << removed.toStdString();
    EXPECT_FALSE(OpenCommandIsOurs(install));
}

TEST(RegisterDialog, UnfittingModuleGivesItsMessageInsteadOfTheDialog)
{
    useBuiltInLanguage();
    QString shown;
    CheckShellModuleFile(1, nullptr, [&](const QString& text) { shown += text; });
    EXPECT_EQ(shown, L(301) + u'\n');
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
