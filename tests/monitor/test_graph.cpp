// The graph screen: pens, sampling schedule and limit, Graph.val, saved graph
// files, time base, scales, auto-save and printing, in demo mode on a fake clock.
#include <QDir>
#include <QTimer>
#include <QTimeZone>
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

TEST_F(GraphScreen, PensBecomeSetsWithTheirNames)
{
    frmMain().Show();
    frmMain().cmdGraph->click();
    EXPECT_TRUE(f().isVisible() && frmMain().isHidden());
    pens({1, 3});
    EXPECT_EQ(chart().SetCount(), 3);
    EXPECT_EQ(chart().LegendText(2), "[none]");
    EXPECT_EQ(chart().LegendText(3), "Oven 3");
    pens({});
    EXPECT_EQ(chart().SetCount(), 1);
}

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
    EXPECT_TRUE(chart().XTicks() == 8 && chart().GridStyle() == 1);
    EXPECT_EQ(f().cbxControl(3)->Text(), "003 R1 Oven 3");

    // Indices outside their lists choose the fifth entry; a grid of -1 counts
    // as on; a comma inside a label stays in it.
    Forms::discardAll();
    writeFile("Graph.val", " 18 \r\n-1 \r\n 9 \r\n 0 \r\n 100 \r\n 0 \r\n-1 \r\n 0 \r\nA1  Z0 Oven, left\r\n" +
                               QByteArray("x\r\n").repeated(9));
    f().Show();
    EXPECT_EQ(f().cbxSampleRate->Text() + f().cbxDuration->Text() + f().cbxRefreshRate->Text(),
              "5 Sec.5 Min.10 Sec.");
    EXPECT_EQ(chart().GridStyle(), 2);
    EXPECT_EQ(chart().XTicks(), 5) << "100 ticks are not handed to the chart";
    EXPECT_EQ(f().PenLabel[1], "A1  Z0 Oven, left");
}

TEST_F(GraphScreen, OnAFullDiskEverySaveKeepsTheOldFileAndAutoSaveStops)
{
    f().Show();
    pens({1});
    start("2 Min.");
    tickAt(0);
    tickAt(1800); // half an hour: the first auto-save
    const QByteArray autoSaved = readFile("AutoGraphSave.csv");
    ASSERT_FALSE(autoSaved.isEmpty());
    const auto failedBox = [&](const QString& routine) {
        EXPECT_EQ(boxes_.count(), 1) << routine.toStdString();
        EXPECT_TRUE(boxes_.last().text.contains("\rError Code 61 - Disk full\rRoutine - " + routine))
            << boxes_.last().text.toStdString();
        boxes_.clear();
    };
    writeFile("run.csv", "an earlier run\r\n");
    writeFile("Graph.val", "earlier settings\r\n");
    boxes_.clear();
    {
        DiskFull full;
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
    EXPECT_EQ(readFile("AutoGraphSave.csv"), autoSaved);
    EXPECT_EQ(readFile("run.csv"), "an earlier run\r\n");
    EXPECT_EQ(readFile("Graph.val"), "earlier settings\r\n");
    EXPECT_TRUE(FilesIn(programDir()).filter(".tmp").isEmpty()) << FilesIn(programDir()).join(" ").toStdString();
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

TEST_F(GraphScreen, AFailingTickShowsOneBoxAtATimeAndSamplingGoesOn)
{
    f().Show();
    // A pen whose address no line can take.
    writeFile("odd.csv", "#Pens =, 1 ,Time Base =, 0 \r\nLog Time,1e9 R1 Odd,Missing Data-1\r\n 0 , 1 , 0 \r\n");
    answerFile(file("odd.csv"));
    f().cmdRestoreData->click();
    gDemoMode = false;
    start("0.1 Sec.");
    boxes_.clear();
    int nested = 0;
    mb::setHandler([&](const mb::Call&) {
        if (nested++ == 0) // more ticks while the box is up
            for (int k = 1; k <= 3; ++k)
                tickAt(k * 0.1);
        return int(mb::OK);
    });
    tickAt(0);
    EXPECT_EQ(nested, 1);
    ASSERT_EQ(boxesTitled("Application Error"), 1);
    EXPECT_EQ(mb::calls().back().text, "An application error has occurred:\rError Code 6 - Overflow\r"
                                       "Routine - frmGraph.tmrGraphSampling_Timer");
    EXPECT_TRUE(f().Sampling && f().tmrGraphSampling.enabled());
    tickAt(0.5);
    EXPECT_EQ(nested, 2) << "the next failure after the box closed is shown";
}

TEST_F(GraphScreen, PrintsOnlyWhenAsked)
{
    f().Show();
    pens({1});
    start("1 Sec.");
    tickAt(0);
    tickAt(1);
    f().cmdStopSampling->click();

    for (const auto& [answer, printed] : {std::pair{int(mb::Cancel), false}, {int(mb::Yes), true}}) {
        QFile::remove(file("graph.pdf"));
        answerFile(file("graph.pdf"));
        boxes_.push(answer);
        f().cmdPrintMono->click();
        EXPECT_EQ(boxes_.last().title, "Print Graph");
        EXPECT_EQ(QFile::exists(file("graph.pdf")), printed);
    }
    EXPECT_EQ(chart().PrintStyle(), Chart::PrintMono);
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
}

} // namespace
