// SPDX-License-Identifier: GPL-3.0-or-later
#include "uitestutil.h"

#include "app/commandline.h"
#include "common/language.h"
#include "common/settings.h"
#include "common/registry.h"
#include "imaging/resources.h"
#include "support/testenv.h"
#include "ui/drawing.h"
#include "ui/mainwindow.h"
#include "ui/pageframework.h"
#include "ui/tabstrip.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

namespace {

// A language file with its own texts for the frame and one help text, so that
// a switch can be seen on every tab.
QString LanguageText(const QString& tag)
{
    QString text = QStringLiteral("[ExclusionList]\n\\%1.sys\n[System_Flag]\nhint\n[Compress_Type]\nN\nX\nL\nZ\n"
                                  "[Help_Text1]\n  %1 help one\n[Help_Text2]\n%1 help two\n[String_List]\n")
                       .arg(tag);
    for (int n = 0; n < 9; ++n)
        text += QStringLiteral("%1=%2 tab %1\n").arg(n).arg(tag);
    text += QStringLiteral("267=%1 title\n307=%1 on top\n").arg(tag);
    return text;
}

// Records what the window hands to a page.
class ProbePage : public KestrelPage {
public:
    using KestrelPage::KestrelPage;
    QString imageFile, directory, dropped;
    QPoint dropPoint;
    int retexts = 0;
    void setImageFile(const QString& p) override { imageFile = p; }
    void setDirectory(const QString& p) override { directory = p; }
    void retext() override
    {
        ++retexts;
        KestrelPage::retext();
    }

protected:
    void dropFile(const QString& p, const QPoint& pos) override
    {
        dropped = p;
        dropPoint = pos;
    }
};

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        UseCarriedLanguage();
        m_savedDir = ApplicationDirectory();
        m_appDir = MakeTestDir(QStringLiteral("app"));
        QDir(m_appDir).mkpath(QStringLiteral("Languages"));
        SetApplicationDirectory(m_appDir);
        for (int i = 0; i < kPageCount; ++i)
            RegisterPageFactory(i, [i](QWidget* parent) { return new ProbePage(i, parent); });
    }
    void TearDown() override
    {
        for (int i = 0; i < kPageCount; ++i)
            RegisterPageFactory(i, {});
        AppSettings().language.clear();
        SetApplicationDirectory(m_savedDir);
        LoadLanguageFromFile(DefaultLanguageFile());
    }
    void writeLanguage(const QString& name, const QString& text)
    {
        ASSERT_TRUE(WriteUtf16File(m_appDir + QStringLiteral("/Languages/") + name, text));
    }
    static ProbePage* probe(MainWindow& w, int i) { return static_cast<ProbePage*>(w.page(i)); }

    QString m_savedDir;
    QString m_appDir;
};

CommandLine Args(const QStringList& args)
{
    CommandLine cmd;
    cmd.args = args;
    return cmd;
}

TEST_F(MainWindowTest, LanguageSwitchRetextsTabsTitleAndPagesInOrder)
{
    writeLanguage(QStringLiteral("Alpha.INI"), LanguageText(QStringLiteral("Alpha")));
    writeLanguage(QStringLiteral("Beta.INI"), LanguageText(QStringLiteral("Beta")).replace(QStringLiteral("tab"), QStringLiteral("& longer tab")));
    AppSettings().language = QStringLiteral("Alpha");
    LoadLanguage();
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    QComboBox* box = w.languageBox();
    ASSERT_FALSE(box->isHidden());
    // The built-in language first, by its own name, then the files.
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0), BuiltInLanguageName().isEmpty() ? QStringLiteral("Default") : BuiltInLanguageName());
    EXPECT_EQ(box->currentText(), QStringLiteral("Alpha"));
    EXPECT_EQ(w.tabStrip()->tabText(5), QStringLiteral("Alpha tab 5"));
    EXPECT_TRUE(w.windowTitle().startsWith(QStringLiteral("Alpha title V1.7.2025.1008 x")));
    EXPECT_EQ(w.page(0)->messageBox()->toPlainText(), QStringLiteral("  Alpha help one"));

    w.show();
    const int widthBefore = w.fixedSize().width();
    const int before = probe(w, 8)->retexts;
    box->setCurrentIndex(box->findText(QStringLiteral("Beta")));
    for (int i = 0; i < kPageCount; ++i)
        EXPECT_EQ(TabPages()[i].title, QStringLiteral("Beta & longer tab %1").arg(i));
    EXPECT_EQ(w.tabStrip()->tabText(4), QStringLiteral("Beta && longer tab 4"));
    // The wider captions widen the window rather than being cut.
    EXPECT_GT(w.fixedSize().width(), widthBefore);
    EXPECT_EQ(w.size(), w.fixedSize());
    EXPECT_GE(w.tabStrip()->width(), w.tabStrip()->minimumSizeHint().width());
    EXPECT_TRUE(w.windowTitle().startsWith(QStringLiteral("Beta title V1.7.2025.1008 x")));
    EXPECT_EQ(w.stayOnTopBox()->text(), QStringLiteral("Beta on top"));
    EXPECT_EQ(w.page(1)->messageBox()->toPlainText(), QStringLiteral("Beta help two"));
    EXPECT_EQ(probe(w, 8)->retexts, before + 1);
    EXPECT_EQ(AppSettings().language, QStringLiteral("Beta"));
    EXPECT_EQ(ReadRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("Language")).value_or(QString()),
              QStringLiteral("Beta"));

    // Back to the built-in language, like any other.
    box->setCurrentIndex(0);
    EXPECT_TRUE(AppSettings().language.isEmpty());
    LoadBuiltInLanguage();
    const QString builtInTab = GetLanguageString(5);
    EXPECT_EQ(w.tabStrip()->tabText(5), QString(builtInTab).replace(u'&', QStringLiteral("&&")));
    EXPECT_FALSE(w.windowTitle().startsWith(QStringLiteral("Beta")));
}

TEST_F(MainWindowTest, LanguageBoxHiddenWithoutIniFile)
{
    writeLanguage(QStringLiteral("notes.txt"), QStringLiteral("x"));
    QDir(m_appDir).mkpath(QStringLiteral("Languages/Folder.INI"));
    {
        MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
        EXPECT_TRUE(w.languageBox()->isHidden());
    }
    writeLanguage(QStringLiteral("lower.ini"), LanguageText(QStringLiteral("L")));
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    EXPECT_FALSE(w.languageBox()->isHidden());
    EXPECT_EQ(w.languageBox()->count(), 2);
}

TEST_F(MainWindowTest, LockDisablesFrameAndRestoresEarlierStates)
{
    KestrelPage* built = nullptr;
    QPushButton *run = nullptr, *stop = nullptr, *inner = nullptr;
    QLineEdit* edit = nullptr;
    QLabel* label = nullptr;
    RegisterPageFactory(kPageCapture, [&](QWidget* parent) {
        built = new KestrelPage(kPageCapture, parent);
        run = new QPushButton(QStringLiteral("run"), built);
        stop = new QPushButton(QStringLiteral("stop"), built);
        stop->setEnabled(false);
        auto* group = new QGroupBox(built);
        edit = new QLineEdit(group);
        inner = new QPushButton(QStringLiteral("inner"), group);
        inner->setEnabled(false);
        label = new QLabel(QStringLiteral("label"), built);
        return built;
    });
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    w.show();
    w.showPage(kPageCapture);
    ASSERT_EQ(w.page(kPageCapture), built);

    LockPage(built);
    stop->setEnabled(true); // as a page does after locking
    EXPECT_FALSE(run->isEnabled());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(w.tabStrip()->isEnabled());
    EXPECT_FALSE(w.languageBox()->isEnabled());
    EXPECT_FALSE(w.stayOnTopBox()->isEnabled());
    EXPECT_TRUE(label->isEnabled());
    EXPECT_TRUE(built->messageBox()->isEnabled());
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());

    UnlockPage(built);
    EXPECT_TRUE(run->isEnabled());
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_FALSE(inner->isEnabled());
    EXPECT_TRUE(w.tabStrip()->isEnabled());
    EXPECT_TRUE(w.languageBox()->isEnabled());
    EXPECT_TRUE(w.stayOnTopBox()->isEnabled());
    EXPECT_TRUE(w.close());
}

TEST_F(MainWindowTest, PageRequestShowsPageAndFillsFields)
{
    const QString dir = MakeTestDir(QStringLiteral("req"));
    const QString file = dir + QStringLiteral("/a.wim");
    ASSERT_TRUE(WriteUtf16File(file, QStringLiteral("x")));
    const RunMode page{kModeMainWindow, kSubCodeFilePage};
    {
        MainWindow w(page, Args({QStringLiteral("Kestrel"), QStringLiteral("/Page"), file + QStringLiteral(",3")}));
        EXPECT_EQ(w.currentPage(), 2);
        EXPECT_EQ(w.tabStrip()->currentIndex(), 2);
        for (int i : {0, 2, 3, 5})
            EXPECT_EQ(probe(w, i)->imageFile, file) << "page " << i;
        for (int i : {1, 4, 6, 7, 8})
            EXPECT_TRUE(probe(w, i)->imageFile.isEmpty()) << "page " << i;
    }
    {
        MainWindow w(page, Args({QStringLiteral("Kestrel"), QStringLiteral("/Page"), dir + QStringLiteral(",99")}));
        EXPECT_EQ(w.currentPage(), kPageCount - 1);
        EXPECT_EQ(probe(w, 0)->directory, dir);
        EXPECT_EQ(probe(w, 1)->directory, dir);
        EXPECT_TRUE(probe(w, 0)->imageFile.isEmpty());
    }
    {
        MainWindow w(RunMode{kModeMainWindowWithFile, kSubCodeFilePage}, Args({QStringLiteral("Kestrel"), file, QStringLiteral("/OpenFile")}));
        EXPECT_EQ(w.currentPage(), kPageInfo);
        EXPECT_EQ(probe(w, kPageShellExec)->imageFile, file);
    }
}

TEST(PageRequest, ReferenceTable)
{
    const RunMode page{kModeMainWindow, kSubCodeFilePage};
    const auto lookup = [](const QString& path, const QString& name) -> uint32_t {
        return path == QStringLiteral("/x/a.wim") && name == QStringLiteral("Pro") ? 5 : 0;
    };
    const struct {
        const char* arg;
        int page;
        const char* path;
    } cases[] = {
        {"/x/a.wim,3", 2, "/x/a.wim"},  {"/x/a.wim,99", 8, "/x/a.wim"}, {"/x/a.wim,0", 0, "/x/a.wim"},
        {"/x/a.wim,-4", 0, "/x/a.wim"}, {"/x/a.wim,Pro", 4, "/x/a.wim"}, {"/x/a.wim,pro", 0, "/x/a.wim"},
        {"/x/a,b.wim,2", 1, "/x/a,b.wim"}, {"/x/a.wim", 0, "/x/a.wim"}, {"/x/a.wim, 9", 8, "/x/a.wim"},
    };
    for (const auto& c : cases) {
        const PageRequest r = ChooseFirstPage(page, Args({QStringLiteral("K"), QStringLiteral("/Page"), QString::fromUtf8(c.arg)}), lookup);
        EXPECT_EQ(r.page, c.page) << c.arg;
        EXPECT_EQ(r.path, QString::fromUtf8(c.path)) << c.arg;
    }
    EXPECT_EQ(ChooseFirstPage(page, Args({QStringLiteral("K"), QStringLiteral("/Page")}), lookup).page, 0);
    EXPECT_EQ(ChooseFirstPage(RunMode{}, Args({QStringLiteral("K"), QStringLiteral("/Page"), QStringLiteral("a,5")}), lookup).page, 0);
}

TEST_F(MainWindowTest, LeavingResizablePageRestoresFixedSize)
{
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    w.show();
    EXPECT_EQ(w.size(), w.fixedSize());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    w.tabStrip()->setCurrentIndex(kPageBrowser);
    EXPECT_EQ(w.currentPage(), kPageBrowser);
    EXPECT_NE(w.minimumSize(), w.maximumSize());
    w.resize(w.fixedSize() + QSize(200, 150));
    w.setWindowState(Qt::WindowMaximized);
    QApplication::processEvents();
    ASSERT_NE(w.size(), w.fixedSize());

    w.tabStrip()->setCurrentIndex(kPageMount);
    QApplication::processEvents();
    EXPECT_FALSE(w.isMaximized());
    EXPECT_EQ(w.size(), w.fixedSize());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
}

TEST_F(MainWindowTest, DropGoesToThePageWithTheFirstFileOnly)
{
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    ProbePage* p = probe(w, 0);
    auto* field = new QLineEdit(p);
    p->routeDropsToPage();
    EXPECT_FALSE(field->acceptDrops());
    EXPECT_TRUE(p->acceptDrops());

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/first.wim")), QUrl::fromLocalFile(QStringLiteral("/tmp/second.wim"))});
    QDragEnterEvent enter(QPoint(5, 6), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(p, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 6), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(p, &drop);
    EXPECT_EQ(p->dropped, QStringLiteral("/tmp/first.wim"));
    EXPECT_EQ(p->dropPoint, QPoint(5, 6));

    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/a.wim"))});
    QDragEnterEvent remote(QPoint(1, 1), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    remote.setAccepted(false);
    QApplication::sendEvent(p, &remote);
    EXPECT_FALSE(remote.isAccepted());
}

TEST_F(MainWindowTest, UnbuiltPagesShowTheirHelpText)
{
    for (int i = 0; i < kPageCount; ++i)
        RegisterPageFactory(i, {});
    ASSERT_TRUE(LoadLanguageFromFile(DefaultLanguageFile()));
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    EXPECT_EQ(w.tabStrip()->tabText(0), QStringLiteral("挂载和解开"));
    EXPECT_EQ(w.tabStrip()->tabText(8), QStringLiteral("说明和声明"));
    EXPECT_EQ(w.stayOnTopBox()->text(), QStringLiteral("窗口置顶"));
    const QString help = w.page(kPageExport)->messageBox()->toPlainText();
    EXPECT_FALSE(help.isEmpty());
    EXPECT_EQ(help, HelpText(3).join(u'\n'));
    EXPECT_EQ(w.page(kPageShellExec)->messageBox()->toPlainText(), HelpText(5).join(u'\n'));
    EXPECT_EQ(w.page(kPageSettings)->messageBox()->toPlainText(), HelpText(7).join(u'\n'));
    EXPECT_TRUE(w.page(kPageBrowser)->messageBox()->toPlainText().isEmpty());
    EXPECT_TRUE(HelpText(5).join(u'\n').contains(QStringLiteral("外壳执行页")));
    EXPECT_EQ(w.page(kPageExport)->objectName(), QStringLiteral("Panel2"));
}

TEST_F(MainWindowTest, MountNoticeOnlyWithoutMounting)
{
    ASSERT_TRUE(LoadLanguageFromFile(DefaultLanguageFile()));
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    w.show();
    EXPECT_EQ(w.showMountNotice(true), nullptr);
    QWidget* toast = w.showMountNotice(false);
    ASSERT_NE(toast, nullptr);
    EXPECT_TRUE(toast->isVisible());
    EXPECT_EQ(toast->windowTitle(), QStringLiteral("Kestrel 不是以管理员身份执行，功能会受到限制。"));
    EXPECT_TRUE(toast->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    toast->close();
}

} // namespace

namespace {

TEST_F(MainWindowTest, CurrentTabPaintedInHeadingColour)
{
    ASSERT_TRUE(LoadLanguageFromFile(DefaultLanguageFile()));
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    w.show();
    w.showPage(kPageExport);
    const QImage strip = w.tabStrip()->grab().toImage();
    const QRect current = w.tabStrip()->tabRect(kPageExport);
    const QRect other = w.tabStrip()->tabRect(kPageInfo);
    // Just inside the corner, clear of the caption.
    const qreal dpr = strip.devicePixelRatio();
    const auto at = [&](QPoint p) { return strip.pixelColor((QPointF(p) * dpr).toPoint()); };
    EXPECT_EQ(at(current.topLeft() + QPoint(3, 3)), BrushColor(kBrushHeading));
    EXPECT_NE(at(other.topLeft() + QPoint(3, 3)), BrushColor(kBrushHeading));
    // The caption is drawn in white (antialiased) inside the current tab.
    bool white = false;
    for (int y = current.top(); y <= current.bottom() && !white; ++y)
        for (int x = current.left(); x <= current.right() && !white; ++x)
            white = at(QPoint(x, y)).red() > 200 && at(QPoint(x, y)).green() > 200; // the band has neither
    EXPECT_TRUE(white);
}

TEST_F(MainWindowTest, StayOnTopBoxSetsTheWindowFlag)
{
    MainWindow w(RunMode{}, Args({QStringLiteral("Kestrel")}));
    w.show();
    w.stayOnTopBox()->setChecked(true);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.isVisible());
    w.stayOnTopBox()->setChecked(false);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.isVisible());
}

} // namespace
