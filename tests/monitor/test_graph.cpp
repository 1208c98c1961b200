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

    // A renamed instrument no longer matches its pen at the next activation.
    pens({2});
    f().SaveGraphConfig();
    gInstruments[1].Name = QStringLiteral("Kiln");
    f().Form_Activate();
    EXPECT_EQ(f().cbxControl(2)->Text(), "00     [none]");
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
    // Demo values follow the clock's second: at 20 s pen 2 reads 2200, pen 10 -40.
    Clock::setFake(kStart);
    start("1 Sec.");
    tickAt(0);
    EXPECT_EQ(value(2, 1), 2200.0f);
    EXPECT_EQ(value(10, 1), -40.0f);
    chart().setCurrentSet(1);
    EXPECT_EQ(chart().ExtraValue(), 1) << "an unused pen below the highest is missing";
    EXPECT_EQ(value(1, 1), 0.0f);
    EXPECT_EQ(frmMain().shpGraphing->fillColor(), color::Green);
    f().cmdStopSampling->click();
    EXPECT_FALSE(f().tmrGraphSampling.enabled() || f().tmrGraphRefresh.enabled());
}

TEST_F(GraphScreen, RunsEndAtThePointLimitOrTheirDuration)
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

    // warnings at the start: duration, rate, pens
    struct Warn { const char* duration; const char* rate; std::initializer_list<int> pens; int warned; };
    for (const Warn& w : {Warn{"60 Sec.", "10 Sec.", {1}, 0}, Warn{"20 hours", "0.1 Sec.", {1}, 1},
                          Warn{"2 hours", "0.5 Sec.", {1, 2, 3, 4, 5, 6, 7, 8, 9}, 1}}) {
        pens(w.pens);
        boxes_.clear();
        start(w.rate, w.duration);
        EXPECT_EQ(boxesTitled("Maximum Logging Size Will Be Exceeded"), w.warned) << w.duration;
        f().cmdStopSampling->click();
    }

    // "60 Sec." at "10 Sec." stops once the run time exceeds 70 s.
    pens({1});
    start("10 Sec.", "60 Sec.");
    for (int t = 0; t <= 60; t += 10)
        tickAt(t);
    EXPECT_TRUE(f().Sampling);
    tickAt(70);
    EXPECT_FALSE(f().Sampling);
    EXPECT_EQ(xs().last(), 70.0f);
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

TEST_F(GraphScreen, RestoreStopsAtThePointLimitKeepingWhatItRead)
{
    f().Show();
    QByteArray content = "#Pens =, 10 ,Time Base =, 0 \r\nLog Time";
    for (int i = 1; i <= 10; ++i)
        content += "," + AddressToText(1, i).toLatin1() + " R1 Oven " + QByteArray::number(i);
    for (int i = 1; i <= 10; ++i)
        content += ",Missing Data-" + QByteArray::number(i);
    content += "\r\n";
    for (int p = 0; p < 12805; ++p)
        content += " " + QByteArray::number(p) + " " + QByteArray(", 5 ").repeated(10) + QByteArray(", 0 ").repeated(10) +
                   "\r\n";
    writeFile("big.csv", content);
    answerFile(file("big.csv"));
    f().cmdRestoreData->click();
    EXPECT_EQ(chart().PointCount(), 12799);
    EXPECT_EQ(boxes_.last().title, "Maximum Data Points Reached");
    EXPECT_EQ(xs().last(), 12798.0f);
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
        {"eleven pens", "#Pens =, 11 ,Time Base =, 0 \r\nLog Time\r\n"},
        {"time base 3", "#Pens =, 1 ,Time Base =, 3 \r\nLog Time,x,Missing Data-1\r\n 0 , 1 , 0 \r\n"},
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

    // Restore refuses while sampling; Clear Data answered No keeps the data.
    start("1 Sec.");
    tickAt(0);
    f().cmdRestoreData->click();
    EXPECT_EQ(boxes_.last().title, "Graph Sampling Is On");
    f().cmdStopSampling->click();
    for (const auto& [answer, empty] : {std::pair{int(mb::No), false}, {int(mb::Yes), true}}) {
        boxes_.push(answer);
        f().cmdClearData->click();
        EXPECT_EQ(f().GraphEmpty, empty);
    }
    answerFile(file("empty.csv"));
    f().cmdSaveData->click();
    EXPECT_EQ(boxes_.last().title, "No Data On Graph");
    EXPECT_FALSE(QFile::exists(file("empty.csv")));
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

    // A word where a number belongs is an error; what was read before stays.
    Forms::discardAll();
    writeFile("Graph.val", " 3 \r\nfast\r\n");
    f().Show();
    EXPECT_EQ(boxes_.calls().at(0).text, "An application error has occurred reading Graph.val file:\r"
                                           "Error Code 13 - Type mismatch\rRoutine - frmGraph.ReadGraphConfig");
    EXPECT_EQ(f().cbxSampleRate->Text(), "2 Sec.");

    // Closing the screen saves what changed, then ends the program.
    choose(f().cbxSampleRate, "5 Min.");
    EXPECT_THROW(f().mnuFileExit->trigger(), ProgramEnded);
    EXPECT_TRUE(readFile("Graph.val").startsWith(" 9 \r\n"));
}

TEST_F(GraphScreen, TickMarksDialogKeepsItsCountsAndAppliesOnlyWhenChanged)
{
    f().Show();
    QTimer::singleShot(0, [] {
        FrmGraphCfg& d = frmGraphCfg();
        d.txtXAxisTicks->setText("21");
        d.txtXAxisTicks_LostFocus();
        EXPECT_EQ(d.txtXAxisTicks->text(), "5");
        d.txtYAxisTicks->setText("12");
        d.chkShowXGrid->setChecked(true);
        d.cmdOK->click();
    });
    f().cmdGraphConfig->click();
    EXPECT_EQ(chart().GridStyle(), 2);
    EXPECT_TRUE(readFile("Graph.val").contains(" 5 \r\n 12 \r\n 1 \r\n 0 \r\n"));

    QTimer::singleShot(0, [] {
        frmGraphCfg().txtYAxisTicks->setText("3");
        frmGraphCfg().cmdCancel->click();
    });
    f().cmdGraphConfig->click();
    EXPECT_EQ(gGraphYTicks, 12);
}

TEST_F(GraphScreen, TimeBaseAndManualScalesRescaleTheChart)
{
    f().Show();
    pens({1});
    start("1 Sec.");
    for (int t = 0; t <= 2; ++t)
        tickAt(t);
    f().optTimeBase(1)->click();
    EXPECT_EQ(chart().BottomTitle(), "Time (min.)");
    EXPECT_EQ(xs(), QList<float>({0, 1 / 60.0f, 2 / 60.0f}));
    tickAt(3);
    EXPECT_FLOAT_EQ(xs().last(), 3 / 60.0f) << "later points use the new unit";
    f().optTimeBase(2)->click();
    EXPECT_FLOAT_EQ(xs().last(), 3 / 3600.0f);
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

    // Before any samples, a cleared graph gives 0 and 0: still a valid axis.
    boxes_.push(mb::Yes);
    f().cmdClearData->click();
    f().YDataMin = f().YDataMax = 0;
    f().chkYAutoScale->setValue(1);
    f().chkYAutoScale->setValue(0);
    EXPECT_EQ(f().txtYScaleMax->text(), "0");
    EXPECT_LT(chart().drawnYRange().lower, chart().drawnYRange().upper);

    // Manual X: offset and span in percent of the sampled range.
    f().XDataMin = 0;
    f().XDataMax = 200;
    f().chkXAutoScale->setValue(0);
    f().hscXAxisOffset->setValue(25);
    f().hscXAxisSpan->setValue(50);
    EXPECT_EQ(drawn(chart().drawnXRange()), std::pair(50.0, 150.0));
}

TEST_F(GraphScreen, LongRunsSaveThemselvesEveryHalfHour)
{
    f().Show();
    pens({1});
    struct Row { const char* rate; double step; bool saved; };
    for (const Row& r : {Row{"60 Sec.", 60, false}, Row{"2 Min.", 120, true}}) {
        QFile::remove(file("AutoGraphSave.csv"));
        start(r.rate);
        double t = 0;
        for (; t < 1800; t += r.step)
            tickAt(t);
        EXPECT_FALSE(QFile::exists(file("AutoGraphSave.csv"))) << r.rate;
        tickAt(t);
        EXPECT_EQ(QFile::exists(file("AutoGraphSave.csv")), r.saved) << r.rate;
        f().cmdStopSampling->click();
    }
    EXPECT_TRUE(readFile("AutoGraphSave.csv").startsWith("#Pens =, 1 ,Time Base =, 0 \r\n"));

    // A folder that cannot take the file: one box, and no more tries this run.
    gDefaultFolder = file("missing/folder");
    start("2 Min.");
    for (double t = 0; t <= 3 * 1800; t += 120)
        tickAt(t);
    EXPECT_EQ(boxesTitled("Application Error"), 1);
    EXPECT_TRUE(f().Sampling);
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

TEST_F(GraphScreen, RedrawsOnItsRefreshPeriodAndPrints)
{
    f().Show();
    pens({1});
    choose(f().cbxRefreshRate, "2 Sec.");
    start("1 Sec.");
    f().tmrGraphRefresh.tick(); // due at once, nothing new yet
    tickAt(0);
    tickAt(1);
    EXPECT_EQ(chart().plot()->graph(0)->dataCount(), 1) << "sampling only fills the store";
    f().tmrGraphRefresh.tick();
    EXPECT_TRUE(f().DataChanged) << "less than 2 s since the last redraw";
    Clock::setFake(kStart.addSecs(3));
    f().tmrGraphRefresh.tick();
    EXPECT_EQ(chart().plot()->graph(0)->dataCount(), 2);
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

TEST_F(GraphLine, FailedReadsAreMissingPointsWithARedLampAndAThrottledErrorLine)
{
    FrmGraph& g = frmGraph();
    g.Show();
    g.cbxControl(1)->setListIndex(0);
    g.cbxControl(2)->setListIndex(1);
    g.cbxSampleRate->setListIndex(0); // 0.1 s
    g.cmdStartSampling->click();
    QLabel* line = frmMain().lblErrorMessageText;

    // seconds after the start, whether the error line is (re)written
    for (const auto& [t, written] : {std::pair{0.0, true}, {0.2, false}, {0.6, true}}) {
        line->clear();
        Clock::setFake(kStart.addMSecs(qint64(t * 1000)));
        g.tmrGraphSampling.tick();
        EXPECT_EQ(!line->text().isEmpty(), written) << t;
    }
    EXPECT_EQ(line->text(), "12/7/2026 10:00:20 AM - Address 40:No response from instrument at register 2");
    Chart& c = *g.gphGraph;
    c.setCurrentPoint(1);
    c.setCurrentSet(1);
    EXPECT_FLOAT_EQ(c.Value(), 123.45f);
    EXPECT_EQ(c.ExtraValue(), 0);
    c.setCurrentSet(2);
    EXPECT_EQ(c.ExtraValue(), 1);
    EXPECT_EQ(g.shpPoll(2)->fillColor(), color::Red);
    EXPECT_FLOAT_EQ(g.YDataMax, 123.45f) << "a failed read takes no part in the range";
    EXPECT_TRUE(g.Sampling);
}

} // namespace
