// SPDX-License-Identifier: GPL-3.0-or-later
// The help and about page: which manual it shows, its context menu, the
// band that folds away, the animation.
#include "ui/helppage.h"

#include "common/appdirectory.h"
#include "common/language.h"
#include "app/switches.h"
#include "common/settings.h"
#include "imaging/resources.h"
#include "pagedriver.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QAction>
#include <QBuffer>
#include <QImageReader>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMovie>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include <memory>

namespace {

class HelpPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        PageTestSetupProblem();
        m_savedDir = ApplicationDirectory();
        m_savedLanguage = AppSettings().language;
        m_appDir = MakeTestDir(QStringLiteral("helpapp"));
        QDir(m_appDir).mkpath(QStringLiteral("Languages"));
        SetApplicationDirectory(m_appDir);
    }
    void TearDown() override
    {
        SetApplicationDirectory(m_savedDir);
        AppSettings().language = m_savedLanguage;
    }
    void writeHelp(const QString& fileName, const QByteArray& html)
    {
        QFile f(m_appDir + QStringLiteral("/Languages/") + fileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(html);
    }
    static QString carriedText()
    {
        QTextBrowser b;
        b.setHtml(QString::fromUtf8(UnpackCarriedResource(CarriedResource::DefaultHelp)));
        return b.toPlainText();
    }

    QString m_savedDir, m_savedLanguage, m_appDir;
};

TEST_F(HelpPageTest, ShowsTheLanguagesManualOrTheCarriedOne)
{
    writeHelp(QStringLiteral("Tester.html"), "<html><body><h1>Tester manual \xc3\xa9</h1></body></html>");
    QDir(m_appDir).mkpath(QStringLiteral("Languages/Folder.html"));
    writeHelp(QStringLiteral("Other.HTML"), "<p>Other manual</p>");
    const QString carried = carriedText();
    ASSERT_FALSE(carried.isEmpty());

    struct Case {
        const char* language;
        QString expected;
    } const cases[] = {
        {"Tester", QStringLiteral("Tester manual \u00e9")},
        {"Other", QStringLiteral("Other manual")}, // the extension in any case
        {"", carried},                              // the built-in language
        {"Missing", carried},
        {"Folder", carried}, // a folder of that name is no document
    };
    HelpPage page;
    for (const Case& c : cases) {
        AppSettings().language = QString::fromLatin1(c.language);
        page.LoadHelpDocument();
        EXPECT_EQ(page.helpBox()->toPlainText().trimmed(), c.expected.trimmed()) << c.language;
        EXPECT_EQ(page.findChild<QLabel*>(QStringLiteral("credit"))->text(), GetLanguageString(270));
    }
    // A language switch reloads through retext.
    AppSettings().language = QStringLiteral("Tester");
    page.retext();
    EXPECT_TRUE(page.helpBox()->toPlainText().contains(QStringLiteral("Tester manual")));
}

TEST_F(HelpPageTest, ContextMenuOffersWhatTheSelectionAllows)
{
    HelpPage page;
    auto enabling = [&page] {
        std::unique_ptr<QMenu> menu(page.createHelpMenu());
        const QList<QAction*> actions = menu->actions();
        EXPECT_EQ(actions.size(), 2);
        EXPECT_EQ(actions.value(0)->text(), GetLanguageString(268));
        EXPECT_EQ(actions.value(1)->text(), GetLanguageString(269));
        return std::make_pair(actions.value(0)->isEnabled(), actions.value(1)->isEnabled());
    };
    EXPECT_EQ(enabling(), std::make_pair(false, true)) << "nothing selected: only select all";
    QTextCursor part = page.helpBox()->textCursor();
    part.setPosition(0);
    part.setPosition(5, QTextCursor::KeepAnchor);
    page.helpBox()->setTextCursor(part);
    EXPECT_EQ(enabling(), std::make_pair(true, true));
    page.helpBox()->selectAll();
    EXPECT_EQ(enabling(), std::make_pair(true, false)) << "all selected: only copy";

    // Select all from the menu does select everything.
    page.helpBox()->moveCursor(QTextCursor::Start);
    std::unique_ptr<QMenu> menu(page.createHelpMenu());
    menu->actions().value(1)->trigger();
    EXPECT_EQ(page.helpBox()->textCursor().selectedText().size(), page.helpBox()->document()->characterCount() - 1);
}

TEST_F(HelpPageTest, CollapsingTheBandGivesTheManualItsRoom)
{
    HelpPage page;
    page.resize(KestrelPage::pageSize());
    page.show();
    QCoreApplication::processEvents();
    const int bandHeight = page.band()->height();
    const int stripTop = page.toggleStrip()->y();
    const int helpHeight = page.helpBox()->height();
    ASSERT_GT(bandHeight, 0);
    EXPECT_EQ(stripTop, page.band()->geometry().bottom() + 1);

    page.ToggleAboutBand();
    QCoreApplication::processEvents();
    EXPECT_FALSE(page.bandShown());
    EXPECT_FALSE(page.band()->isVisible());
    EXPECT_EQ(page.toggleStrip()->y(), 0);
    EXPECT_EQ(page.helpBox()->height(), helpHeight + bandHeight);

    page.ToggleAboutBand();
    QCoreApplication::processEvents();
    EXPECT_TRUE(page.band()->isVisible());
    EXPECT_EQ(page.toggleStrip()->y(), stripTop);
    EXPECT_EQ(page.helpBox()->height(), helpHeight);
}

TEST_F(HelpPageTest, TheAnimationRuns)
{
    HelpPage page;
    page.show();
    QMovie* movie = page.animation();
    ASSERT_TRUE(movie->isValid());
    EXPECT_EQ(movie->frameCount(), 48);
    // The carried animation's own frame delay.
    QByteArray bytes = UnpackCarriedResource(CarriedResource::Animation);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "gif");
    ASSERT_FALSE(reader.read().isNull());
    EXPECT_EQ(reader.nextImageDelay(), 130);
    const int first = movie->currentFrameNumber();
    EXPECT_TRUE(WaitUntil([&] { return movie->currentFrameNumber() != first; }, 20000));
}

// The manuals describe the command line as built: a switch added without a
// line in both manuals, or the English one left out of the build tree, fails.
TEST(HelpDocuments, BothManualsNameEverySwitchAndTheEnglishOneIsInstalledBeside)
{
    QFile english(QStringLiteral(KESTREL_OUT_DIR "/Languages/English.html"));
    ASSERT_TRUE(english.open(QIODevice::ReadOnly)) << "English.html missing beside the program";
    const QString documents[] = {QString::fromUtf8(UnpackCarriedResource(CarriedResource::DefaultHelp)),
                                 QString::fromUtf8(english.readAll())};
    for (const QString& html : documents) {
        ASSERT_TRUE(html.contains(QStringLiteral("<html")));
        EXPECT_FALSE(html.contains(QStringLiteral("laceholder")));
        for (const char16_t* name : kSwitchNames) {
            const QString code = QStringLiteral("<code>") + QString::fromUtf16(name);
            EXPECT_TRUE(html.contains(code + u' ') || html.contains(code + QStringLiteral("</code>")))
                << QString::fromUtf16(name).toStdString();
        }
    }
}

} // namespace
