// The graph screen: pens, sampling schedule and limit, Graph.val, saved graph
// files, time base, scales, auto-save and printing, in demo mode on a fake clock.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTimer>
#include <cmath>

#include <qcustomplot.h>

#include "core/helpers.h"
#include "core/state.h"
#include "monitor/frmGraph.h"
#include "monitor/frmGraphCfg.h"
#include "platform/clock.h"
#include "platform/filedialog.h"
#include "platform/printing.h"
#include "shell/frmMain.h"
#include "support/simline.h"

using namespace modZarn;

namespace {
const QDateTime kStart(QDate(2026, 12, 7), QTime(10, 0, 20), QTimeZone::utc());

class GraphScreen : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        Clock::setFake(kStart);
        gDemoMode = true;
        gDefaultFolder = programDir();
        for (int a = 1; a <= 10; ++a)
            addInstrument(AddressToText(1, a).toLatin1(), "R", 1, QStringLiteral("Oven %1").arg(a));
        printing::setPrinterInstalledOverride(0);
    }
    void TearDown() override
    {
        printing::setPrinterInstalledOverride(-1);
        QxTest::TearDown();
    }
    FrmGraph& f() { return frmGraph(); }
    Chart& chart() { return *f().gphGraph; }
    // Pens on: the instrument of the same number; the rest unused.
    void pens(std::initializer_list<int> on)
    {
        for (int i = 1; i <= FrmGraph::kPens; ++i) {
            ComboBox* c = f().cbxControl(i);
            c->setListIndex(std::find(on.begin(), on.end(), i) != on.end() ? i - 1 : c->ListCount() - 1);
        }
    }
    void choose(ComboBox* list, const char* item) { list->setListIndex(list->findText(item)); }
    void start(const char* rate, const char* duration = "Never Stop")
    {
        choose(f().cbxSampleRate, rate);
        choose(f().cbxDuration, duration);
        runStart_ = Clock::utcNow();
        f().cmdStartSampling->click();
    }
    // A sampling tick `seconds` after the run's start.
    void tickAt(double seconds)
    {
        Clock::setFake(runStart_.addMSecs(std::llround(seconds * 1000)));
        f().tmrGraphSampling.tick();
    }
    QList<float> xs(int s = 1)
    {
        QList<float> out;
        chart().setCurrentSet(s);
        for (int p = 1; p <= chart().PointCount(); ++p)
            out << chart().XPositionOf(p);
        return out;
    }
    float value(int s, int p)
    {
        chart().setCurrentSet(s);
        chart().setCurrentPoint(p);
        return chart().Value();
    }
    static std::pair<double, double> drawn(Chart::Range r) { return {r.lower, r.upper}; }
    void answerFile(const QString& path) { fd::setHandler([path](const fd::Request&) { return path; }); }
    QDateTime runStart_ = kStart;
    int boxesTitled(const QString& title)
    {
        return int(std::count_if(boxes_.calls().begin(), boxes_.calls().end(),
                                 [&](const mb::Call& c) { return c.title == title; }));
    }
};

TEST_F(GraphScreen, SamplesLieOnTheGridAndCatchUpByTheRules)
{
    struct Row {
        const char* what;
        std::vector<double> ticks;
        QList<float> x;
    };
    const Row rows[] = {
        {"on time", {0, 0.5, 1, 2, 3}, {0, 1, 2, 3}},
        {"3.5 intervals late skips to the next grid time", {0, 4.5, 4.6, 5}, {0, 1, 5}},
        {"1.5 intervals late catches up at the next tick", {0, 2.5, 2.55}, {0, 1, 2}},
    };
    f().Show();
    pens({2, 10});
    for (const Row& r : rows) {
        start("1 Sec.");
        for (double t : r.ticks)
            tickAt(t);
        EXPECT_EQ(xs(), r.x) << r.what;
        f().cmdStopSampling->click();
    }
    f().cmdStopSampling->click();
    EXPECT_FALSE(f().tmrGraphSampling.enabled() || f().tmrGraphRefresh.enabled());
}

TEST_F(GraphScreen, OnlySampledPointsReachTheAxesAndTheSavedFile)
{
    struct Row {
        const char* what;
        std::initializer_list<int> before; // pens at the start; pen 3 is chosen after two samples
        std::pair<double, double> x;
        QByteArray rows;
    };
    const Row rows[] = {
        {"a pen chosen above the highest while sampling", {1}, {0, 3},
         "#Pens =, 3 ,Time Base =, 0 \r\n"
         "Log Time,001 R1 Oven 1,00     [none],003 R1 Oven 3,Missing Data-1,Missing Data-2,Missing Data-3\r\n"
         " 0 , 1100 , 0 , 0 , 0 , 1 , 1 \r\n 1 , 1105 , 0 , 0 , 0 , 1 , 1 \r\n"
         " 2 , 1110 , 0 , 3330 , 0 , 1 , 0 \r\n 3 , 1115 , 0 , 3345 , 0 , 1 , 0 \r\n"},
        {"no pen", {}, {0, 3},
         "#Pens =, 1 ,Time Base =, 0 \r\nLog Time,00     [none],Missing Data-1\r\n"
         " 0 , 0 , 1 \r\n 1 , 0 , 1 \r\n 2 , 0 , 1 \r\n 3 , 0 , 1 \r\n"},
    };
    f().Show();
    for (const Row& r : rows) {
        pens(r.before);
        start("1 Sec.");
        // The empty graph and the first sample: time runs from 0.
        EXPECT_EQ(drawn(chart().drawnXRange()), std::pair(0.0, 1.0)) << r.what;
        tickAt(0);
        f().cmdRefresh->click();
        EXPECT_EQ(drawn(chart().drawnXRange()), std::pair(0.0, 1.0)) << r.what;
        tickAt(1);
        if (r.before.size() > 0)
            f().cbxControl(3)->setListIndex(2);
        tickAt(2);
        tickAt(3);
        f().cmdStopSampling->click();
        EXPECT_EQ(xs(chart().SetCount()), xs(1)) << r.what;
        EXPECT_EQ(drawn(chart().drawnXRange()), r.x) << r.what;
        // Values only of what was read: none at all, or from pen 1's 1100 up.
        const auto y = drawn(chart().drawnYRange());
        EXPECT_TRUE(r.before.size() ? y.first > 900 && y.second < 3600 : y == std::pair(0.0, 1.0)) << r.what;
        QFile::remove(file("run.csv"));
        answerFile(file("run.csv"));
        f().cmdSaveData->click();
        EXPECT_EQ(readFile("run.csv"), r.rows) << r.what;
    }
    boxes_.push(int(mb::Yes));
    f().cmdClearData->click();
    EXPECT_EQ(drawn(chart().drawnXRange()), std::pair(0.0, 1.0)) << "cleared";
    EXPECT_EQ(drawn(chart().drawnYRange()), std::pair(0.0, 1.0)) << "cleared";
}

TEST_F(GraphScreen, TheLegendStandsBesideThePlotInTenColours)
{
    f().Show();
    pens({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    start("1 Sec.");
    for (int t = 0; t <= 90; ++t)
        tickAt(t);
    f().cmdRefresh->click();

    const QImage screen = f().grab().toImage();
    QCustomPlot* plot = chart().plot();
    const QPoint at = chart().mapTo(&f(), QPoint(0, 0));
    const QRect legend = plot->legend->outerRect().translated(at);
    const QRect data = plot->axisRect()->rect().translated(at);
    EXPECT_FALSE(legend.intersects(data));
    EXPECT_TRUE(chart().geometry().contains(legend));
    // Each pen's own colour stands in the legend, its line wider than a pixel.
    QSet<QRgb> seen;
    for (int y = legend.top(); y <= legend.bottom(); ++y)
        for (int x = legend.left(); x <= legend.right(); ++x)
            seen << screen.pixel(x, y);
    for (int s = 0; s < 10; ++s) {
        const QPen pen = plot->graph(s)->pen();
        EXPECT_GE(pen.widthF(), 2) << s + 1;
        EXPECT_TRUE(seen.contains(pen.color().rgb())) << "pen " << s + 1;
    }
}

TEST_F(GraphScreen, RunsEndAtThePointLimit)
{
    f().Show();
    struct Row { std::initializer_list<int> pens; int points; };
    for (const Row& r : {Row{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 12799}, Row{{1, 2, 3}, 42661}}) {
        pens(r.pens);
        boxes_.clear();
        start("0.1 Sec.");
        EXPECT_EQ(boxesTitled("Maximum Logging Size Will Be Exceeded"), 1);
        for (int k = 0; f().Sampling && k < 50000; ++k)
            tickAt(k * 0.1);
        EXPECT_EQ(chart().PointCount(), r.points);
        EXPECT_EQ(boxes_.last().title, "Maximum Data Points Reached");
        EXPECT_TRUE(boxes_.last().text.endsWith(QStringLiteral("The number of points is %1.  The number of pens is %2.")
                                                    .arg(r.points)
                                                    .arg(int(r.pens.size()))));
    }
}

// A pen set to "[none]" for a while, the highest one (as an instrument
// renamed during a run falls back at the next activation): its line is
// hidden, not dropped. Chosen again, the pen continues the same set, and the
// saved file holds every reading it took, the time between missing.
TEST_F(GraphScreen, APenSetToNoneKeepsItsSamplesUntilChosenAgain)
{
    f().Show();
    pens({1, 3});
    start("1 Sec.");
    for (int t = 0; t <= 3; ++t)
        tickAt(t);
    const int none = f().cbxControl(3)->ListCount() - 1;
    f().cbxControl(3)->setListIndex(none);
    EXPECT_EQ(chart().SetCount(), 1);
    tickAt(4);
    tickAt(5);
    f().cbxControl(3)->setListIndex(2);
    tickAt(6);
    f().cmdStopSampling->click();
    EXPECT_EQ(xs(3), xs(1));
    answerFile(file("run.csv"));
    f().cmdSaveData->click();
    EXPECT_EQ(readFile("run.csv"),
              "#Pens =, 3 ,Time Base =, 0 \r\n"
              "Log Time,001 R1 Oven 1,00     [none],003 R1 Oven 3,Missing Data-1,Missing Data-2,Missing Data-3\r\n"
              " 0 , 1100 , 0 , 3300 , 0 , 1 , 0 \r\n 1 , 1105 , 0 , 3315 , 0 , 1 , 0 \r\n"
              " 2 , 1110 , 0 , 3330 , 0 , 1 , 0 \r\n 3 , 1115 , 0 , 3345 , 0 , 1 , 0 \r\n"
              " 4 , 1120 , 0 , 0 , 0 , 1 , 1 \r\n 5 , 1125 , 0 , 0 , 0 , 1 , 1 \r\n"
              " 6 , 1130 , 0 , 3390 , 0 , 1 , 0 \r\n");

    // Clear drops them, hidden or shown.
    f().cbxControl(3)->setListIndex(none);
    boxes_.push(int(mb::Yes));
    f().cmdClearData->click();
    f().cbxControl(3)->setListIndex(2);
    chart().setCurrentSet(3);
    chart().setCurrentPoint(1);
    EXPECT_EQ(chart().PointCount(), 1);
    EXPECT_EQ(chart().ExtraValue(), 1);
}

TEST_F(GraphScreen, SavedGraphReadsBackByteForByte)
{
    f().Show();
    pens({1, 3});
    start("1 Sec.");
    tickAt(0);
    tickAt(1);
    f().cmdStopSampling->click();
    boxes_.clear();
    const QString path = file("run.csv");
    answerFile(path);
    f().cmdSaveData->click();
    const QByteArray saved = readFile("run.csv");
    EXPECT_EQ(saved, "#Pens =, 3 ,Time Base =, 0 \r\n"
                     "Log Time,001 R1 Oven 1,00     [none],003 R1 Oven 3,Missing Data-1,Missing Data-2,Missing Data-3\r\n"
                     " 0 , 1100 , 0 , 3300 , 0 , 1 , 0 \r\n"
                     " 1 , 1105 , 0 , 3315 , 0 , 1 , 0 \r\n");

    // Into another screen state: other pens and minutes.
    pens({5});
    f().optTimeBase(1)->click();
    f().cmdRestoreData->click();
    EXPECT_EQ(chart().BottomTitle(), "Time (sec.)");
    EXPECT_EQ(f().cbxControl(5)->Text(), "00     [none]");
    QFile::remove(path);
    f().cmdSaveData->click();
    EXPECT_EQ(readFile("run.csv"), saved);
    EXPECT_EQ(boxes_.count(), 0);

    // A pen that is not in the instrument table keeps its label, commas and all.
    writeFile("other.csv", "#Pens =, 1 ,Time Base =, 1 \r\n"
                           "Log Time,0A  Z0 Oven, left,Missing Data-1\r\n"
                           " .5 , 7 , 0 \r\n");
    answerFile(file("other.csv"));
    f().cmdRestoreData->click();
    EXPECT_EQ(f().cbxControl(1)->Text(), "0A  Z0 Oven, left");
    EXPECT_EQ(chart().LegendText(1), "Oven, left");
    EXPECT_EQ(chart().BottomTitle(), "Time (min.)");
    EXPECT_EQ(xs(), QList<float>({0.5f}));
}

TEST_F(GraphScreen, BadOrCancelledFilesLeaveTheGraphAlone)
{
    f().Show();
    pens({1});
    start("1 Sec.");
    tickAt(0);
    tickAt(1);
    f().cmdStopSampling->click();

    const std::pair<const char*, QByteArray> bad[] = {
        {"missing", QByteArray()},
        {"word for a value", "#Pens =, 1 ,Time Base =, 0 \r\nLog Time,x,Missing Data-1\r\n 0 , hot , 0 \r\n"},
        {"short row", "#Pens =, 1 ,Time Base =, 0 \r\nLog Time,x,Missing Data-1\r\n 0 , 1 , 0 \r\n 1 , 2 \r\n"},
    };
    for (const auto& [what, content] : bad) {
        QFile::remove(file("bad.csv"));
        if (!content.isEmpty())
            writeFile("bad.csv", content);
        answerFile(file("bad.csv"));
        boxes_.clear();
        f().cmdRestoreData->click();
        ASSERT_EQ(boxes_.count(), 1) << what;
        EXPECT_TRUE(boxes_.last().text.endsWith("Routine - frmGraph.RestoreGraphFile,  File >" + file("bad.csv"))) << what;
        EXPECT_EQ(chart().PointCount(), 2) << what;
        EXPECT_EQ(value(1, 2), 1105.0f) << what;
        EXPECT_EQ(f().cbxControl(1)->Text(), "001 R1 Oven 1") << what;
    }

    // Cancelled dialogs: no box, no file, the graph as it was.
    fd::setHandler([](const fd::Request&) { return QString(); });
    boxes_.clear();
    f().cmdRestoreData->click();
    f().cmdSaveData->click();
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_EQ(chart().PointCount(), 2);
    EXPECT_TRUE(QDir(programDir()).entryList({"*.csv"}).filter("Graph").isEmpty());
}

TEST_F(GraphScreen, SettingsPersistInGraphValAndAMissingFileMeansDefaults)
{
    f().Show();
    EXPECT_EQ(boxes_.count(), 0) << "no Graph.val yet";
    EXPECT_EQ(f().cbxSampleRate->Text() + f().cbxDuration->Text() + f().cbxRefreshRate->Text(),
              "0.1 Sec.10 Sec.0.5 Sec.");

    choose(f().cbxSampleRate, "2 Min.");
    choose(f().cbxDuration, "Never Stop");
    choose(f().cbxRefreshRate, "Never");
    f().chkSymbols->setValue(1);
    pens({1, 3});
    gGraphXTicks = 8;
    gGraphYGrid = 1;
    f().Form_Deactivate();
    EXPECT_FALSE(f().SettingsDirty);
    EXPECT_EQ(readFile("Graph.val"), " 8 \r\n 12 \r\n 8 \r\n 1 \r\n 8 \r\n 0 \r\n 0 \r\n 1 \r\n"
                                     "001 R1 Oven 1\r\n00     [none]\r\n003 R1 Oven 3\r\n" +
                                         QByteArray("00     [none]\r\n").repeated(7));

    Forms::discardAll();
    gGraphXTicks = gGraphYGrid = 0;
    f().Show();
    EXPECT_EQ(f().cbxSampleRate->Text(), "2 Min.");
    EXPECT_EQ(chart().GraphStyle(), Chart::StyleLinesSymbols);
    EXPECT_EQ(chart().XTicks(), 8);
    EXPECT_TRUE(!chart().verticalGrid() && chart().horizontalGrid());
    EXPECT_EQ(f().cbxControl(3)->Text(), "003 R1 Oven 3");
}

// A pen on an instrument with no name, or a name that ends in blanks, is
// still that instrument's at the next start and after a restored graph.
TEST_F(GraphScreen, PensOnNamesEndingInBlanksSurviveARestartAndARestoredGraph)
{
    gInstruments[1].Name = QString();
    gInstruments[2].Name = QStringLiteral("Oven 3  ");
    const auto pensShown = [&] {
        return QStringList{f().cbxControl(1)->Text(), f().cbxControl(2)->Text(), f().cbxControl(3)->Text()};
    };
    const QStringList chosen = {"001 R1 Oven 1", "002 R1 ", "003 R1 Oven 3  "};
    f().Show();
    pens({1, 2, 3});
    f().Form_Deactivate();
    Forms::discardAll();
    f().Show();
    EXPECT_EQ(pensShown(), chosen);

    // A graph saved with those pens, restored over others, then the screen
    // left and shown again.
    start("1 Sec.");
    tickAt(0);
    f().cmdStopSampling->click();
    boxes_.clear(); // the warning of a run that never stops
    answerFile(file("run.csv"));
    f().cmdSaveData->click();
    pens({5});
    f().cmdRestoreData->click();
    EXPECT_EQ(pensShown(), chosen);
    f().cmdMainMenu->click();
    frmMain().cmdGraph->click();
    EXPECT_EQ(pensShown(), chosen);
    EXPECT_EQ(chart().SetCount(), 3);
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(GraphScreen, OnAFullDiskOrOnReadOnlyFilesEverySaveKeepsTheOldFileAndAutoSaveStops)
{
    const struct {
        const char* says;
        bool readOnly; // the files made read-only, else the disk full
    } cases[] = {
        {"Error Code 61 - Disk full", false},
        {"Error Code 70 - Permission denied", true},
    };
    f().Show();
    pens({1});
    for (const auto& c : cases) {
        f().cmdClearData->click();
        start("2 Min.");
        tickAt(0);
        tickAt(1800); // half an hour: the first auto-save
        const QByteArray autoSaved = readFile("AutoGraphSave.csv");
        ASSERT_FALSE(autoSaved.isEmpty()) << c.says;
        const auto failedBox = [&](const QString& routine) {
            EXPECT_EQ(boxes_.count(), 1) << routine.toStdString();
            EXPECT_TRUE(boxes_.last().text.contains("\r" + QString(c.says) + "\rRoutine - " + routine))
                << boxes_.last().text.toStdString();
            boxes_.clear();
        };
        writeFile("run.csv", "an earlier run\r\n");
        writeFile("Graph.val", "earlier settings\r\n");
        boxes_.clear();
        {
            const FailingSaves failing(c.readOnly, {file("AutoGraphSave.csv"), file("run.csv"), file("Graph.val")});
            tickAt(3600);
            failedBox("frmGraph.SaveGraphFile,  File >" + file("AutoGraphSave.csv"));
            EXPECT_FALSE(f().AutoSaveEnabled);

            answerFile(file("run.csv"));
            f().cmdSaveData->click();
            failedBox("frmGraph.SaveGraphFile,  File >" + file("run.csv"));

            f().SettingsDirty = true;
            f().Form_Deactivate();
            failedBox("frmGraph.SaveGraphConfig");
        }
        tickAt(5400); // no second try for the rest of the run
        EXPECT_EQ(boxes_.count(), 0);
        f().cmdStopSampling->click();
        EXPECT_EQ(readFile("AutoGraphSave.csv"), autoSaved);
        EXPECT_EQ(readFile("run.csv"), "an earlier run\r\n");
        EXPECT_EQ(readFile("Graph.val"), "earlier settings\r\n");
        EXPECT_TRUE(FilesIn(programDir()).filter(".tmp").isEmpty()) << FilesIn(programDir()).join(" ").toStdString();
        for (const char* name : {"AutoGraphSave.csv", "run.csv", "Graph.val"})
            QFile::remove(file(name));
        f().AutoSaveEnabled = true;
    }
}

TEST_F(GraphScreen, RestoringFromWhatIsNoGraphFileGivesTheBoxAtOnce)
{
    f().Show();
    pens({1});
    for (const NotAFile& c : NotFilesIn(programDir(), QStringLiteral("64.0 MB"))) {
        // In a copy of the program that may take 256 MB more and is stopped
        // after ten seconds.
        const QString got = InChild(
            [&] {
                answerFile(c.path);
                boxes_.clear();
                f().cmdRestoreData->click();
                return boxes_.last().text + (f().cbxControl(1)->Text() == "001 R1 Oven 1" ? "" : " (pens changed)");
            },
            10, 256);
        EXPECT_EQ(got, "An application error has occurred:\rError Code " + c.says +
                           "\rRoutine - frmGraph.RestoreGraphFile,  File >" + c.path);
    }

    // A time no Single can hold would stretch the time axis without end.
    writeFile("far.csv", "#Pens =, 1 ,Time Base =, 0 \r\nLog Time,002 R1 Oven 2,Missing Data-1\r\n"
                         " 0 , 7 , 0 \r\n 1e39 , 8 , 0 \r\n");
    answerFile(file("far.csv"));
    boxes_.clear();
    f().cmdRestoreData->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().text, "An application error has occurred:\rError Code 6 - Overflow"
                                  "\rRoutine - frmGraph.RestoreGraphFile,  File >" + file("far.csv"));
    EXPECT_EQ(f().cbxControl(1)->Text(), "001 R1 Oven 1");
    EXPECT_EQ(drawn(chart().drawnXRange()), std::pair(0.0, 1.0));
}

TEST_F(GraphScreen, ManualYScaleKeepsAValidAxis)
{
    f().Show();
    pens({1});
    start("1 Sec.");
    for (int t = 0; t <= 3; ++t)
        tickAt(t);
    f().cmdStopSampling->click();

    // Manual Y: the boxes get the sampled range; a typed range with max
    // below min is replaced by it; the drawn axis is always a valid one.
    f().chkYAutoScale->setValue(0);
    EXPECT_EQ(f().txtYScaleMin->text() + "|" + f().txtYScaleMax->text(), "1100|1115");
    f().txtYScaleMin->setText("500");
    f().txtYScaleMax->setText("100");
    f().txtYScaleMax_LostFocus();
    EXPECT_EQ(f().txtYScaleMin->text(), "1100");
    EXPECT_EQ(drawn(chart().drawnYRange()), std::pair(1100.0, 1115.0));
    f().txtYScaleMin->setText("1000");
    f().txtYScaleMax->setText("2000");
    f().vscYAxisSpan->setValue(50);
    f().txtYScaleMin_LostFocus();
    EXPECT_EQ(f().vscYAxisSpan->value(), 100) << "a typed range shows whole";
    EXPECT_DOUBLE_EQ(chart().drawnYRange().upper, 2000);
    f().vscYAxisOffset->setValue(50);
    f().vscYAxisSpan->setValue(10);
    EXPECT_EQ(drawn(chart().drawnYRange()), std::pair(1500.0, 1600.0));
}

// A printed page as poppler reads it back: its size and every word with its
// box, in points from the top left, and the page rendered at 72 dpi without
// smoothing (one pixel a point, colours as printed).
struct PdfPage {
    QSizeF size;
    QList<std::pair<QString, QRectF>> words;
    QImage image;
};

PdfPage readPdf(const QString& pdf)
{
    PdfPage page;
    QProcess text;
    text.start("pdftotext", {"-bbox", pdf, "-"});
    if (!text.waitForFinished(30000) || text.exitCode() != 0)
        ADD_FAILURE() << "pdftotext (Debian poppler-utils) could not read " << pdf.toStdString();
    const QString html = QString::fromUtf8(text.readAllStandardOutput());
    const auto m = QRegularExpression("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\"").match(html);
    page.size = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    const QRegularExpression word("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                                  "yMax=\"([0-9.]+)\">([^<]*)</word>");
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto w = it.next();
        page.words.push_back({w.captured(5), QRectF(QPointF(w.captured(1).toDouble(), w.captured(2).toDouble()),
                                                    QPointF(w.captured(3).toDouble(), w.captured(4).toDouble()))});
    }
    QProcess render;
    render.start("pdftoppm", {"-r", "72", "-aa", "no", "-aaVector", "no", "-png", "-singlefile", pdf, pdf});
    render.waitForFinished(30000);
    page.image.load(pdf + ".png");
    return page;
}

// Of the words that read as numbers, the most that lie on one line (the time
// axis) and the most that end at one column (the value axis).
std::pair<int, int> tickNumbers(const QList<std::pair<QString, QRectF>>& words)
{
    QList<QRectF> numbers;
    for (const auto& [text, box] : words)
        if (bool ok = false; QString(text).remove(',').toDouble(&ok), ok)
            numbers << box;
    int row = 0, column = 0;
    for (const QRectF& a : numbers) {
        int inRow = 0, inColumn = 0;
        for (const QRectF& b : numbers) {
            inRow += std::fabs(b.center().y() - a.center().y()) < 1;
            inColumn += std::fabs(b.right() - a.right()) < 1;
        }
        row = std::max(row, inRow);
        column = std::max(column, inColumn);
    }
    return {row, column};
}

TEST_F(GraphScreen, APrintoutShowsTheWholeChartReadablyOnThePage)
{
    f().Show();
    pens({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    start("1 Sec.");
    for (int t = 0; t <= 30; ++t)
        tickAt(t);
    f().cmdStopSampling->click();

    const QString pdf = file("graph.pdf");
    answerFile(pdf);

    struct Row {
        QPushButton* button;
        int answer;
        bool landscape;
    };
    for (const Row& r : {Row{f().cmdPrintColor, int(mb::Yes), true}, Row{f().cmdPrintMono, int(mb::No), false}}) {
        SCOPED_TRACE(r.button->text().toStdString());
        QFile::remove(pdf);
        boxes_.push(r.answer);
        r.button->click();
        const PdfPage page = readPdf(pdf);
        EXPECT_EQ(page.size.width() > page.size.height(), r.landscape);

        // Every text at a size read on paper, clear of the page's edges.
        const QRectF inside(18, 18, page.size.width() - 36, page.size.height() - 36);
        QStringList all;
        for (const auto& [text, box] : page.words) {
            all << text;
            EXPECT_TRUE(box.height() >= 8 && box.height() <= 14) << text.toStdString() << " " << box.height();
            EXPECT_TRUE(inside.contains(box)) << text.toStdString();
        }
        const QString words = all.join(' ');
        EXPECT_TRUE(words.contains("Time (sec.)")) << words.toStdString();
        for (int i = 1; i <= 10; ++i)
            EXPECT_TRUE(words.contains(QRegularExpression(QStringLiteral("\\bOven %1\\b").arg(i)))) << i;
        const auto [row, column] = tickNumbers(page.words);
        EXPECT_GE(row, 4) << "time numbers";
        EXPECT_GE(column, 4) << "value numbers";

        // The lines are drawn, all of them within the page: in colour one
        // colour a pen, in mono in black.
        ASSERT_FALSE(page.image.isNull());
        QMap<QRgb, int> count;
        QRect ink;
        for (int y = 0; y < page.image.height(); ++y)
            for (int x = 0; x < page.image.width(); ++x) {
                const QRgb c = page.image.pixel(x, y) & 0xFFFFFF;
                if (c == 0xFFFFFF)
                    continue;
                ++count[c];
                ink |= QRect(x, y, 1, 1);
            }
        EXPECT_TRUE(inside.contains(QRectF(ink))) << "ink reaches the page's edge";
        for (int s = 0; s < (r.landscape ? 10 : 1); ++s) {
            const QColor pen = r.landscape ? chart().plot()->graph(s)->pen().color() : QColor(Qt::black);
            EXPECT_GT(count.value(pen.rgb() & 0xFFFFFF), 300) << "pen " << s + 1;
        }
    }

    // A printout the disk cannot take whole, or over one made read-only:
    // the box names the print and says why, the earlier printout stays as it
    // was and nothing of the new one is left.
    const QByteArray earlier = readFile("graph.pdf");
    for (const bool readOnly : {false, true}) {
        boxes_.clear();
        boxes_.push(int(mb::Yes));
        {
            const FailingSaves failing(readOnly, {pdf}, 4096);
            f().cmdPrintColor->click();
        }
        ASSERT_EQ(boxes_.count(), 2);
        EXPECT_TRUE(boxes_.last().text.contains(QString(readOnly ? "\rError Code 70 - Permission denied"
                                                                 : "\rError Code 61 - Disk full") +
                                                "\rRoutine - frmGraph.cmdPrintColor_Click"))
            << boxes_.last().text.toStdString();
        EXPECT_EQ(readFile("graph.pdf"), earlier);
        EXPECT_TRUE(FilesIn(programDir()).filter(".tmp").isEmpty()) << FilesIn(programDir()).join(" ").toStdString();
    }
}

// Pens on the simulator's line: one instrument that answers, one that does not.
class GraphLine : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        startLine("instrument 51 group 0 protocol R\nreg 51 1 12345\nreg 51 2 0x0021\n", 100);
        Clock::setFake(kStart);
        addInstrument("33", "R", 0, "Oven");
        addInstrument("40", "R", 0, "Oven");
    }
};

TEST_F(GraphLine, AFailedReadIsAMissingPointOutsideTheRange)
{
    FrmGraph& g = frmGraph();
    g.Show();
    g.cbxControl(1)->setListIndex(0);
    g.cbxControl(2)->setListIndex(1);
    g.cbxSampleRate->setListIndex(0); // 0.1 s
    g.cmdStartSampling->click();
    QLabel* line = frmMain().lblErrorMessageText;

    g.tmrGraphSampling.tick();
    EXPECT_EQ(line->text(), "12/7/2026 10:00:20 AM - Address 40:No response from instrument at register 2");
    Chart& c = *g.gphGraph;
    c.setCurrentPoint(1);
    c.setCurrentSet(1);
    EXPECT_FLOAT_EQ(c.Value(), 123.45f);
    EXPECT_EQ(c.ExtraValue(), 0);
    c.setCurrentSet(2);
    EXPECT_EQ(c.ExtraValue(), 1);
    EXPECT_FLOAT_EQ(g.YDataMax, 123.45f) << "a failed read takes no part in the range";

    // The failed pen's lamp stays red after the run, through a pen choice and
    // the screen's activation, until the pen is read again.
    g.cmdStopSampling->click();
    EXPECT_EQ(g.shpPoll(2)->fillColor(), color::Red);
    g.cbxControl(1)->setListIndex(1);
    g.cbxControl(1)->setListIndex(0);
    g.Form_Activate();
    EXPECT_EQ(g.shpPoll(2)->fillColor(), color::Red);
    EXPECT_EQ(g.shpPoll(1)->fillColor(), color::ButtonFace);
    g.cbxControl(2)->setListIndex(0); // now the instrument that answers
    g.cmdStartSampling->click();
    g.tmrGraphSampling.tick();
    EXPECT_EQ(g.shpPoll(2)->fillColor(), color::ButtonFace);
}

} // namespace
