// SPDX-License-Identifier: GPL-3.0-or-later
// The export, split and optimise page driven with QTest on real image files,
// checked with wimlib-imagex; and the rules behind its start button.
#include "pages/exportpage.h"

#include "common/language.h"
#include "imaging/imagingapi.h"
#include "imaging/taskrun.h"
#include "metadata/mountsettings.h"
#include "pagedriver.h"
#include "pages/core/exportlogic.h"
#include "pages/core/exportworker.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <wimlib.h>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

struct Fixtures {
    QString root, source, wim, threeImages, esd, bigSource, big;
    QStringList parts;
};

const Fixtures& Files()
{
    static const Fixtures f = [] {
        Fixtures x;
        x.root = MakeTestDir(QStringLiteral("exportfiles"));
        x.source = x.root + QStringLiteral("/source");
        MakeSourceTree(x.source, 3, 96 * 1024);
        x.wim = x.root + QStringLiteral("/one.wim");
        x.threeImages = x.root + QStringLiteral("/three.wim");
        x.esd = x.root + QStringLiteral("/solid.esd");
        WriteImageFile(x.source, x.wim, WIMLIB_COMPRESSION_TYPE_LZX);
        WriteImageFile(x.source, x.threeImages, WIMLIB_COMPRESSION_TYPE_XPRESS, 3);
        WriteImageFile(x.source, x.esd, WIMLIB_COMPRESSION_TYPE_LZMS);
        const QString whole = x.root + QStringLiteral("/whole.wim");
        WriteImageFile(x.source, whole, WIMLIB_COMPRESSION_TYPE_NONE, 2);
        x.parts = SplitImageFile(whole, x.root + QStringLiteral("/install.swm"), 120 * 1024);
        // Three megabytes of incompressible data, for the split.
        x.bigSource = x.root + QStringLiteral("/bigsource");
        MakeSourceTree(x.bigSource, 6, 512 * 1024);
        x.big = x.root + QStringLiteral("/big.wim");
        WriteImageFile(x.bigSource, x.big, WIMLIB_COMPRESSION_TYPE_NONE);
        return x;
    }();
    return f;
}

// Images without names, one of each tree: the layer cannot tell them from
// others by name.
bool WriteUnnamedImages(const QStringList& sources, const QString& path)
{
    WIMStruct* wim = nullptr;
    if (wimlib_create_new_wim(WIMLIB_COMPRESSION_TYPE_LZX, &wim) != 0)
        return false;
    bool ok = true;
    for (const QString& source : sources)
        ok = ok && wimlib_add_image(wim, QFile::encodeName(source).constData(), nullptr, nullptr, 0) == 0;
    ok = ok && wimlib_write(wim, QFile::encodeName(path).constData(), WIMLIB_ALL_IMAGES, 0, 1) == 0;
    wimlib_free(wim);
    return ok;
}

QString ImagexInfo(const QString& path)
{
    QString out;
    RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("info"), path}, 60000, &out);
    return out;
}

QString InfoField(const QString& info, const QString& name)
{
    const QRegularExpression re(QStringLiteral("^") + QRegularExpression::escape(name) + QStringLiteral(":\\s*(.*)$"),
                                QRegularExpression::MultilineOption);
    return re.match(info).captured(1).trimmed();
}

bool Verified(const QString& path)
{
    return RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), path}) == 0;
}

QByteArray Digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(&f);
    return h.result();
}

// The tree image `index` of `wim` holds, applied into a new folder.
QStringList AppliedTree(const QString& wim, int index, const QString& folder)
{
    if (RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("apply"), wim, QString::number(index), folder}) != 0)
        return {QStringLiteral("<apply failed>")};
    return ListTree(folder);
}

class ExportPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        ASSERT_EQ(Files().parts.size(), 3);
        m_page = std::make_unique<ExportPage>();
        m_page->show();
        m_dir = MakeTestDir(QStringLiteral("exportpage"));
    }

    void TearDown() override
    {
        if (m_page)
            WaitUntil([] { return !TaskWorker().isRunning(); });
        m_page.reset();
    }

    QLineEdit* field(const char* name) { return m_page->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QPushButton* button(const char* name) { return m_page->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QCheckBox* box(const char* name) { return m_page->findChild<QCheckBox*>(QString::fromLatin1(name)); }
    QSpinBox* spin() { return m_page->findChild<QSpinBox*>(QStringLiteral("imageNumber")); }
    QComboBox* compression() { return m_page->findChild<QComboBox*>(QStringLiteral("compression")); }
    QString info() { return m_page->messageBox()->toPlainText(); }

    void choose(ExportTask task, const QString& source, const QString& target)
    {
        static const char* names[3] = {"taskExport", "taskSplit", "taskOptimize"};
        field("source")->setText(source);
        if (m_page->task() != task)
            QTest::mouseClick(button(names[int(task)]), Qt::LeftButton);
        field("target")->setText(target);
    }

    // Clicks start (answering the overwrite question, if one comes, with
    // `overwrite`) and waits until the page is idle again.
    void startAndWait(QMessageBox::StandardButton overwrite = QMessageBox::Yes)
    {
        BoxAnswerer answer({overwrite});
        m_page->messageBox()->clear();
        ASSERT_TRUE(button("start")->isEnabled());
        QTest::mouseClick(button("start"), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([this] { return !TaskWorker().isRunning() && !m_page->isRunning(); }));
    }

    QString overallLine(int step) { return L(step) + L(21); }

    std::unique_ptr<ExportPage> m_page;
    QString m_dir;
};

struct InputCase {
    const char* name;
    ExportTask task;
    int source;        // 0 plain WIM, 1 second split part, 2 ESD, 3 missing
    uint16_t parts;    // TotalParts the page read
    uint32_t compression;
    bool target;       // a target name is given
    uint64_t megabytes;
    bool start;
    int message;
};

class ExportInputRules : public testing::TestWithParam<InputCase> {};

TEST_P(ExportInputRules, DecideTheStartButton)
{
    if (!PageTestSetupProblem().isEmpty())
        GTEST_SKIP() << PageTestSetupProblem().toStdString();
    const InputCase& c = GetParam();
    const QString sources[] = {Files().wim, Files().parts.value(1), Files().esd, Files().root + QStringLiteral("/gone.wim")};
    ExportInputs in;
    in.task = c.task;
    in.source = sources[c.source];
    in.target = c.target ? Files().root + QStringLiteral("/new-target.wim") : QString();
    in.totalParts = c.parts;
    in.compressionType = c.compression;
    in.partMegabytes = c.megabytes;
    const ExportInputState s = CheckExportInputs(in);
    EXPECT_EQ(s.start, c.start);
    EXPECT_EQ(s.message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExportInputRules,
    testing::Values(InputCase{"ExportPlain", ExportTask::Export, 0, 1, 2, true, 0, true, 0},
                    InputCase{"ExportWithoutTarget", ExportTask::Export, 0, 1, 2, false, 0, false, 0},
                    InputCase{"ExportMissingSource", ExportTask::Export, 3, 0, 0, true, 0, false, 0},
                    InputCase{"ExportMergesASplitSet", ExportTask::Export, 1, 3, 1, true, 0, true, 0},
                    InputCase{"ExportRefusesAnLzmsSplitSet", ExportTask::Export, 1, 3, 3, true, 0, false, 0},
                    InputCase{"ExportOneEsd", ExportTask::Export, 2, 1, 3, true, 0, true, 0},
                    InputCase{"SplitPlain", ExportTask::Split, 0, 1, 2, true, 700, true, 0},
                    InputCase{"SplitWithoutSize", ExportTask::Split, 0, 1, 2, true, 0, false, 0},
                    InputCase{"SplitWithoutTarget", ExportTask::Split, 0, 1, 2, false, 700, false, 0},
                    InputCase{"SplitAPart", ExportTask::Split, 1, 3, 1, true, 700, false, 113},
                    InputCase{"SplitAnEsd", ExportTask::Split, 2, 1, 3, true, 700, false, 0},
                    InputCase{"OptimiseInPlace", ExportTask::Optimize, 0, 1, 2, false, 0, true, 0},
                    InputCase{"OptimiseIntoTarget", ExportTask::Optimize, 2, 1, 3, true, 0, true, 0},
                    InputCase{"OptimiseAPart", ExportTask::Optimize, 1, 3, 1, true, 0, false, 356},
                    InputCase{"OptimiseMissingSource", ExportTask::Optimize, 3, 0, 0, false, 0, false, 0}),
    [](const testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

TEST(ExportRules, PartSizeIsSixtyFourBitAndBoundedByTheSource)
{
    struct Case {
        uint64_t megabytes, total, bytes;
    } cases[] = {
        {0, 2000000000ull, 0},                 // refused: 0
        {700, 2000000000ull, 734003200ull},    // as handed to the split
        {5000, 6000000000ull, 5242880000ull},  // beyond 32 bits
        {5000, 2000000000ull, 0},              // larger than the source
        {UINT64_MAX / 2, 2000000000ull, 0},    // no wrap-around
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitPartBytes(c.megabytes, c.total), c.bytes) << c.megabytes << " MB of " << c.total;
}

TEST(ExportRules, StopQuestionsOfTheTasks)
{
    const ExportStopQuestion exportWim = StopQuestionFor(ExportTask::Export, 2);
    EXPECT_EQ(exportWim.lines, (std::vector<int>{123, 124, 125, 287, 288, 289}));
    EXPECT_TRUE(exportWim.safeStop && exportWim.forceStop && exportWim.safeAsYes);
    const ExportStopQuestion exportEsd = StopQuestionFor(ExportTask::Export, 3);
    EXPECT_FALSE(exportEsd.safeStop);
    EXPECT_TRUE(exportEsd.forceStop);
    const ExportStopQuestion split = StopQuestionFor(ExportTask::Split, 2);
    EXPECT_EQ(split.lines.front(), 290);
    EXPECT_FALSE(split.safeStop);
    const ExportStopQuestion optimise = StopQuestionFor(ExportTask::Optimize, 3);
    EXPECT_EQ(optimise.lines, (std::vector<int>{360, 124, 125, 287, 289}));
    EXPECT_TRUE(optimise.safeStop);
    EXPECT_FALSE(optimise.forceStop || optimise.safeAsYes);
}

TEST_F(ExportPageTest, TaskButtonsShowTheirControls)
{
    choose(ExportTask::Export, Files().threeImages, m_dir + QStringLiteral("/t.wim"));
    EXPECT_FALSE(button("taskExport")->isVisible());
    EXPECT_TRUE(button("taskSplit")->isVisible());
    EXPECT_TRUE(compression()->isVisible());
    EXPECT_FALSE(field("partSize")->isVisible());
    EXPECT_TRUE(spin()->isEnabled());
    EXPECT_EQ(spin()->text(), L(357)) << "image 0 reads as all images";
    EXPECT_FALSE(box("boot")->isEnabled()) << "no boot mark for all images";
    spin()->setValue(2);
    EXPECT_TRUE(box("boot")->isEnabled());
    EXPECT_EQ(field("imageName")->text(), QStringLiteral("Image 2"));

    choose(ExportTask::Split, Files().threeImages, m_dir + QStringLiteral("/t.swm"));
    EXPECT_TRUE(field("partSize")->isVisible());
    EXPECT_FALSE(compression()->isVisible());
    EXPECT_FALSE(box("boot")->isEnabled());
    EXPECT_FALSE(box("allowDuplicates")->isEnabled());
    EXPECT_FALSE(button("start")->isEnabled()) << "no part size yet";
    field("partSize")->setText(QStringLiteral("1"));
    EXPECT_TRUE(button("start")->isEnabled());
    EXPECT_EQ(button("start")->text(), L(117));

    // A split part as the source: message 113 once, start disabled.
    choose(ExportTask::Split, Files().parts.value(1), m_dir + QStringLiteral("/t.swm"));
    EXPECT_FALSE(button("start")->isEnabled());
    EXPECT_EQ(info().count(L(113)), 1);

    choose(ExportTask::Optimize, Files().wim, QString());
    EXPECT_TRUE(button("start")->isEnabled()) << "an empty target optimises in place";
    EXPECT_TRUE(compression()->isEnabled());
    choose(ExportTask::Optimize, Files().parts.value(1), QString());
    EXPECT_FALSE(button("start")->isEnabled());
    EXPECT_TRUE(info().contains(L(356)));

    // Export into an existing file takes that file's compression.
    choose(ExportTask::Export, Files().wim, Files().esd);
    EXPECT_FALSE(compression()->isEnabled());
    EXPECT_EQ(compression()->currentIndex(), 3);
}

TEST_F(ExportPageTest, ExportOfAllImagesWritesThemWithoutBootMark)
{
    const QString target = m_dir + QStringLiteral("/all.wim");
    choose(ExportTask::Export, Files().threeImages, target);
    box("boot")->setChecked(true); // disabled at "全部": has no effect
    startAndWait();
    EXPECT_TRUE(info().contains(overallLine(112))) << info().toStdString();
    const QString wi = ImagexInfo(target);
    EXPECT_EQ(InfoField(wi, QStringLiteral("Image Count")), QStringLiteral("3"));
    EXPECT_EQ(InfoField(wi, QStringLiteral("Boot Index")), QStringLiteral("0"));
    EXPECT_TRUE(Verified(target));
}

TEST_F(ExportPageTest, OneImageWithBootMarkAndWithoutThePrivateElement)
{
    const QString source = m_dir + QStringLiteral("/marked.wim");
    ASSERT_TRUE(QFile::copy(Files().threeImages, source));
    MOUNTSETTINGS settings;
    settings.MountPath = QStringLiteral("/mnt/somewhere");
    ASSERT_TRUE(WriteMountSettings(source, settings));
    const QString target = m_dir + QStringLiteral("/one.wim");
    choose(ExportTask::Export, source, target);
    spin()->setValue(1);
    box("boot")->setChecked(true);
    startAndWait();
    const QString wi = ImagexInfo(target);
    EXPECT_EQ(InfoField(wi, QStringLiteral("Image Count")), QStringLiteral("1"));
    EXPECT_EQ(InfoField(wi, QStringLiteral("Boot Index")), QStringLiteral("1"));
    QString xml;
    RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("info"), target, QStringLiteral("--extract-xml"),
                                               m_dir + QStringLiteral("/x.xml")});
    QFile f(m_dir + QStringLiteral("/x.xml"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    xml = QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.constData()), raw.size() / 2);
    EXPECT_FALSE(xml.contains(QLatin1String(kPrivateElement))) << xml.toStdString();
}

// The same image twice: the layer refuses it by name and, for an unnamed
// one, by its tree; box 362 lets both in.
TEST_F(ExportPageTest, SameImageTwiceNeedsAllowDuplicates)
{
    const QString unnamed = m_dir + QStringLiteral("/unnamed.wim");
    ASSERT_TRUE(WriteUnnamedImages({Files().source}, unnamed));
    for (const QString& source : {Files().wim, unnamed}) {
        SCOPED_TRACE(source.toStdString());
        const QString target = m_dir + QStringLiteral("/twice-") + QFileInfo(source).baseName() + QStringLiteral(".wim");
        choose(ExportTask::Export, source, target);
        startAndWait();
        ASSERT_TRUE(info().contains(overallLine(112))) << info().toStdString();
        const QByteArray before = Digest(target);

        startAndWait();
        EXPECT_TRUE(info().contains(L(112) + L(22))) << info().toStdString();
        EXPECT_TRUE(info().trimmed().endsWith(L(352))) << info().toStdString();
        EXPECT_EQ(Digest(target), before) << "a refused export leaves the target alone";

        box("allowDuplicates")->setChecked(true);
        startAndWait();
        EXPECT_TRUE(info().contains(overallLine(112))) << info().toStdString();
        EXPECT_EQ(InfoField(ImagexInfo(target), QStringLiteral("Image Count")), QStringLiteral("2"));
        box("allowDuplicates")->setChecked(false);
    }
}

TEST_F(ExportPageTest, AllImagesOfASplitSetChosenByItsSecondPartMerge)
{
    const QString target = m_dir + QStringLiteral("/merged.wim");
    choose(ExportTask::Export, Files().parts.value(1), target);
    ASSERT_EQ(m_page->fileInfo().TotalParts, 3);
    startAndWait();
    EXPECT_TRUE(info().contains(overallLine(112))) << info().toStdString();
    const QString wi = ImagexInfo(target);
    EXPECT_EQ(InfoField(wi, QStringLiteral("Part Number")), QStringLiteral("1/1"));
    EXPECT_EQ(InfoField(wi, QStringLiteral("Image Count")), QStringLiteral("2"));
    EXPECT_TRUE(Verified(target));
    EXPECT_EQ(AppliedTree(target, 2, m_dir + QStringLiteral("/applied")), ListTree(Files().source));
}

TEST_F(ExportPageTest, SplitListsItsPartsAndRefusesABadSize)
{
    const QString target = m_dir + QStringLiteral("/parts.swm");
    choose(ExportTask::Split, Files().big, target);
    field("partSize")->setText(QStringLiteral("5000"));
    startAndWait();
    EXPECT_TRUE(info().contains(L(121))) << "larger than the source";
    EXPECT_FALSE(QFile::exists(target));

    field("partSize")->setText(QStringLiteral("1"));
    startAndWait();
    EXPECT_TRUE(info().contains(overallLine(101))) << info().toStdString();
    const QStringList written = {target, m_dir + QStringLiteral("/parts2.swm"), m_dir + QStringLiteral("/parts3.swm")};
    for (const QString& part : written) {
        EXPECT_TRUE(QFile::exists(part)) << part.toStdString();
        EXPECT_TRUE(info().contains(part + u'\n')) << "listed: " << part.toStdString();
    }
    const QString wi = ImagexInfo(target);
    EXPECT_TRUE(InfoField(wi, QStringLiteral("Part Number")).startsWith(QStringLiteral("1/")));

    // Splitting again over the old set, after Yes: the new set takes the
    // names only once written; No leaves the old one.
    const QByteArray old = Digest(target);
    startAndWait(QMessageBox::No);
    EXPECT_EQ(Digest(target), old);
    field("partSize")->setText(QStringLiteral("2"));
    startAndWait(QMessageBox::Yes);
    EXPECT_TRUE(info().contains(overallLine(101))) << info().toStdString();
    EXPECT_NE(Digest(target), old);
    EXPECT_TRUE(InfoField(ImagexInfo(target), QStringLiteral("Part Number")).startsWith(QStringLiteral("1/2")));
    EXPECT_EQ(QDir(m_dir).entryList({QStringLiteral("*kestrel-new*")}, QDir::Files), QStringList());
    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"),
                      {QStringLiteral("verify"), target, QStringLiteral("--ref=") + m_dir + QStringLiteral("/parts*.swm")}),
              0);
}

TEST_F(ExportPageTest, ConvertToEsdAndBackKeepsTheTree)
{
    const QString esd = m_dir + QStringLiteral("/converted.esd");
    const QString back = m_dir + QStringLiteral("/back.wim");
    choose(ExportTask::Optimize, Files().threeImages, esd);
    compression()->setCurrentIndex(3);
    startAndWait();
    EXPECT_TRUE(info().contains(overallLine(353))) << info().toStdString();
    QString wi = ImagexInfo(esd);
    EXPECT_EQ(InfoField(wi, QStringLiteral("Compression")), QStringLiteral("LZMS"));
    EXPECT_EQ(InfoField(wi, QStringLiteral("Version")), QStringLiteral("3584")) << "a solid file";
    EXPECT_EQ(InfoField(wi, QStringLiteral("Image Count")), QStringLiteral("3"));
    EXPECT_TRUE(Verified(esd));

    choose(ExportTask::Optimize, esd, back);
    compression()->setCurrentIndex(2);
    startAndWait();
    wi = ImagexInfo(back);
    EXPECT_EQ(InfoField(wi, QStringLiteral("Compression")), QStringLiteral("LZX"));
    EXPECT_EQ(InfoField(wi, QStringLiteral("Image Count")), QStringLiteral("3"));
    EXPECT_TRUE(Verified(back));
    EXPECT_EQ(AppliedTree(back, 3, m_dir + QStringLiteral("/applied")), ListTree(Files().source));
}

TEST_F(ExportPageTest, OptimiseInPlaceKeepsEveryImage)
{
    const QString file = m_dir + QStringLiteral("/inplace.wim");
    ASSERT_TRUE(QFile::copy(Files().threeImages, file));
    choose(ExportTask::Optimize, file, QString());
    compression()->setCurrentIndex(2);
    startAndWait();
    EXPECT_TRUE(info().contains(overallLine(354))) << info().toStdString();
    const QString wi = ImagexInfo(file);
    EXPECT_EQ(InfoField(wi, QStringLiteral("Compression")), QStringLiteral("LZX"));
    EXPECT_EQ(InfoField(wi, QStringLiteral("Image Count")), QStringLiteral("3"));
    EXPECT_TRUE(Verified(file));
}

// A target that is the source, by another name too, is refused and the file
// stays as it was.
TEST_F(ExportPageTest, TargetThatIsTheSourceIsRefused)
{
    const QString file = m_dir + QStringLiteral("/self.wim");
    ASSERT_TRUE(QFile::copy(Files().big, file));
    const QString link = m_dir + QStringLiteral("/link.wim");
    ASSERT_TRUE(QFile::link(file, link));
    const QByteArray before = Digest(file);
    struct Case {
        ExportTask task;
        QString target;
        int overall;
    } cases[] = {{ExportTask::Export, file, 112}, {ExportTask::Export, link, 112}, {ExportTask::Split, link, 101},
                 {ExportTask::Optimize, file, 353}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.task));
        choose(c.task, file, c.target);
        field("partSize")->setText(QStringLiteral("1"));
        startAndWait(QMessageBox::Yes);
        EXPECT_TRUE(info().contains(L(363))) << info().toStdString();
        EXPECT_TRUE(info().contains(L(c.overall) + L(22))) << info().toStdString();
        EXPECT_EQ(Digest(file), before);
    }
    // A part of the source's split set is the source too.
    const QByteArray part3 = Digest(Files().parts.value(2));
    choose(ExportTask::Export, Files().parts.value(1), Files().parts.value(2));
    startAndWait();
    EXPECT_TRUE(info().contains(L(363)));
    EXPECT_EQ(Digest(Files().parts.value(2)), part3);
}

// Halts the worker at the closed gate before the second image's export, as
// a callback waiting for the stop question would, until the test has
// answered it.
decltype(ImagingApi.WIMExportImage) g_realExport = nullptr;
std::atomic<int> g_exports{0};
BOOL GateClosingExport(HANDLE image, HANDLE target, DWORD flags)
{
    if (++g_exports == 2) {
        OperationGate().reset();
        OperationGate().wait();
    }
    return g_realExport(image, target, flags);
}

TEST_F(ExportPageTest, SafeStopMidExportLeavesTheTargetAsItWas)
{
    // The second image brings data the target lacks, so that its export
    // sends progress messages (where the worker halts at the closed gate).
    const QString source = m_dir + QStringLiteral("/two.wim");
    ASSERT_TRUE(WriteUnnamedImages({Files().source, Files().bigSource}, source));
    const QString target = m_dir + QStringLiteral("/kept.wim");
    ASSERT_TRUE(WriteUnnamedImages({Files().source}, target));
    choose(ExportTask::Export, source, target);
    g_realExport = ImagingApi.WIMExportImage;
    g_exports = 0;
    ImagingApi.WIMExportImage = &GateClosingExport;
    QTest::mouseClick(button("start"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return button("stop")->isVisible(); }));
    ASSERT_TRUE(WaitUntil([] { return g_exports >= 2; }));
    {
        BoxAnswerer answer({QMessageBox::Yes});
        QTest::mouseClick(button("stop"), Qt::LeftButton);
        EXPECT_EQ(answer.count(), 1);
        EXPECT_TRUE(answer.texts().value(0).startsWith(L(123)));
        ASSERT_TRUE(WaitUntil([this] { return !TaskWorker().isRunning() && !m_page->isRunning(); }));
    }
    ImagingApi.WIMExportImage = g_realExport;
    EXPECT_TRUE(info().contains(L(112) + L(22))) << info().toStdString();
    EXPECT_TRUE(info().trimmed().endsWith(L(20))) << info().toStdString();
    const QString wi = ImagexInfo(target);
    // The exported images are written as one change when the target closes:
    // a stop before that write leaves the target exactly as it was.
    EXPECT_EQ(InfoField(wi, QStringLiteral("Image Count")), QStringLiteral("1")) << "its own image only";
    EXPECT_TRUE(Verified(target));
    EXPECT_TRUE(button("start")->isVisible());
    EXPECT_TRUE(field("source")->isEnabled());
}

} // namespace

namespace {

// Closes the gate right before the conversion writes, so that the worker
// halts in wimlib's first progress message until the stop question is
// answered.
decltype(WimlibApi.wimlib_write) g_realWrite = nullptr;
std::atomic<int> g_writes{0};
int GateClosingWrite(WIMStruct* wim, const wimlib_tchar* path, int image, int flags, unsigned threads)
{
    ++g_writes;
    OperationGate().reset();
    return g_realWrite(wim, path, image, flags, threads);
}

// A stopped conversion leaves no partial target, and an earlier target as it
// was.
TEST_F(ExportPageTest, StoppedConversionLeavesNoPartialTarget)
{
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "over an existing file" : "new file");
        const QString target = m_dir + (existing ? QStringLiteral("/old.esd") : QStringLiteral("/new.esd"));
        if (existing) {
            ASSERT_TRUE(QFile::copy(Files().esd, target));
        }
        const QByteArray before = Digest(target);
        choose(ExportTask::Optimize, Files().big, target);
        compression()->setCurrentIndex(3);
        g_realWrite = WimlibApi.wimlib_write;
        g_writes = 0;
        WimlibApi.wimlib_write = &GateClosingWrite;
        {
            BoxAnswerer overwrite({QMessageBox::Yes});
            QTest::mouseClick(button("start"), Qt::LeftButton);
            ASSERT_TRUE(WaitUntil([this] { return button("stop")->isVisible(); }));
        }
        ASSERT_TRUE(WaitUntil([] { return g_writes.load() >= 1; }));
        {
            BoxAnswerer answer({QMessageBox::Ok});
            QTest::mouseClick(button("stop"), Qt::LeftButton);
            EXPECT_EQ(answer.count(), 1);
            EXPECT_TRUE(answer.texts().value(0).startsWith(L(360)));
            ASSERT_TRUE(WaitUntil([this] { return !TaskWorker().isRunning() && !m_page->isRunning(); }));
        }
        WimlibApi.wimlib_write = g_realWrite;
        EXPECT_TRUE(info().contains(L(353) + L(22))) << info().toStdString();
        EXPECT_TRUE(info().contains(L(355))) << "the error number";
        EXPECT_TRUE(info().trimmed().endsWith(L(20))) << info().toStdString();
        EXPECT_EQ(QFile::exists(target), existing);
        EXPECT_EQ(Digest(target), before);
        EXPECT_EQ(QDir(m_dir).entryList({QStringLiteral("*kestrel-new*")}, QDir::Files), QStringList());
    }
}

} // namespace
