// The trend chart: its sample store, what the plot draws from it and the axis
// ranges it keeps valid (printing: the graph screen's tests).
#include <cmath>
#include <functional>
#include <qcustomplot.h>

#include "platform/chart.h"
#include "support/testenv.h"

namespace {

class ChartTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        chart.resize(800, 500);
    }
    // Puts one point into set s the way sampling does.
    void put(int s, int p, double x, float v, int missing = 0)
    {
        chart.setCurrentSet(s);
        chart.setCurrentPoint(p);
        chart.setXPosition(x);
        chart.setValue(v);
        chart.setExtraValue(missing);
    }
    // What the plot holds for set s, as "x:y" texts ("x:-" for a gap).
    QStringList drawn(int s)
    {
        QStringList out;
        auto data = chart.plot()->graph(s - 1)->data();
        for (auto it = data->constBegin(); it != data->constEnd(); ++it)
            out << QString::number(it->key) + ':' + (std::isnan(it->value) ? QStringLiteral("-") : QString::number(it->value));
        return out;
    }
    Chart chart;
};

TEST_F(ChartTest, StoreAccessOutsideItsSetsAndPointsIsRefused)
{
    chart.setSetCount(3);
    chart.setPointCount(4);
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"set 0", [&] { chart.setCurrentSet(0); }},
        {"set past count", [&] { chart.setCurrentSet(4); }},
        {"point past count", [&] { chart.setCurrentPoint(5); }},
        {"X of point past count", [&] { chart.setXPositionOf(5, 1); }},
        {"legend of set 0", [&] { chart.setLegendText(0, "x"); }},
        {"value after shrinking", [&] { chart.setCurrentPoint(4); chart.setPointCount(2); chart.setValue(1); }},
        {"flag after fewer sets", [&] { chart.setPointCount(4); chart.setCurrentSet(3); chart.setSetCount(2); (void)chart.ExtraValue(); }},
    };
    for (const auto& [what, f] : rows)
        EXPECT_EQ(rtErrorOf(f), rt::ErrSubscript) << what;

    const std::pair<const char*, std::function<void()>> invalid[] = {
        {"no points", [&] { chart.setPointCount(0); }},
        {"no sets", [&] { chart.setSetCount(0); }},
        {"0 ticks", [&] { chart.setXTicks(0); }},
        {"100 ticks", [&] { chart.setYTicks(100); }},
    };
    for (const auto& [what, f] : invalid)
        EXPECT_EQ(rtErrorOf(f), rt::ErrInvalidPropertyValue) << what;
    EXPECT_EQ(chart.SetCount(), 2);
    EXPECT_EQ(chart.PointCount(), 4);
}

TEST_F(ChartTest, EachDataResetClearsOnlyItsPart)
{
    // reset, then what point 3 of set 2 holds: value, flag, X position, legend
    using Reset = void (Chart::*)();
    const std::tuple<const char*, Reset, float, int, float, const char*> rows[] = {
        {"missing", &Chart::markAllMissing, -4, 1, 7.25f, "Kiln"},
        {"values", &Chart::clearValues, 0, 0, 7.25f, "Kiln"},
        {"X positions", &Chart::numberXPositions, -4, 0, 3, "Kiln"},
        {"legends", &Chart::clearLegends, -4, 0, 7.25f, ""},
        {"none", nullptr, -4, 0, 7.25f, "Kiln"},
    };
    for (const auto& [code, reset, value, flag, x, legend] : rows) {
        chart.setSetCount(2);
        chart.setPointCount(3);
        put(2, 3, 7.25, -4);
        chart.setLegendText(2, "Kiln");
        if (reset)
            (chart.*reset)();
        EXPECT_EQ(chart.Value(), value) << code;
        EXPECT_EQ(chart.ExtraValue(), flag) << code;
        EXPECT_EQ(chart.XPositionOf(3), x) << code;
        EXPECT_EQ(chart.LegendText(2), legend) << code;
    }
}

TEST_F(ChartTest, PointsNotWrittenAreMissingAtTheTimesOfTheSamples)
{
    chart.setPointCount(3);
    for (int p = 1; p <= 3; ++p)
        put(1, p, 10 * p, 5);
    // A later set and a point not written yet: missing, at the samples' times.
    chart.setSetCount(2);
    chart.setPointCount(4);
    const QList<float> x = {10, 20, 30, 30};
    for (int s = 1; s <= 2; ++s) {
        chart.setCurrentSet(s);
        for (int p = 1; p <= 4; ++p) {
            chart.setCurrentPoint(p);
            EXPECT_EQ(chart.XPositionOf(p), x[p - 1]) << s << ":" << p;
            EXPECT_EQ(chart.ExtraValue(), s == 2 || p == 4) << s << ":" << p;
        }
    }
    chart.redraw();
    EXPECT_EQ(drawn(2), QStringList({"10:-", "20:-", "30:-", "30:-"}));
    EXPECT_DOUBLE_EQ(chart.drawnYRange().lower, 4.75) << "no value of 0 on the axis";
}

TEST_F(ChartTest, ASampleBetweenGapsIsDrawnAsADot)
{
    // Every other read failed: no sample has a line to a neighbour.
    chart.setPointCount(9);
    for (int p = 1; p <= 9; ++p)
        put(1, p, p - 1, float(10 + p), p % 2 == 0);
    chart.redraw();
    const QImage image = chart.grab().toImage();
    QCPGraph* g = chart.plot()->graph(0);
    const QColor pen = g->pen().color();
    for (int p = 3; p <= 7; p += 2) { // inside the frame
        EXPECT_EQ(image.pixelColor(g->coordsToPixels(p - 1, 10 + p).toPoint()), pen) << "sample " << p;
        EXPECT_NE(image.pixelColor(g->coordsToPixels(p, 11 + p).toPoint()), pen) << "no line after " << p;
    }
}

TEST_F(ChartTest, PlotDrawsFromTheStoreOnlyWhenRedrawnWithGapsForMissingPoints)
{
    chart.setSetCount(2);
    chart.setLegendText(1, "Oven");
    put(1, 1, 0, 10);
    put(2, 1, 0, 20);
    chart.redraw();
    EXPECT_EQ(drawn(1), QStringList({"0:10"}));
    EXPECT_EQ(chart.plot()->graph(0)->name(), "Oven");

    // Points appended after a redraw reach the plot only with the next one.
    for (int p = 2; p <= 4; ++p) {
        chart.setPointCount(p);
        put(1, p, p - 1, float(10 * p), p == 3);
        put(2, p, p - 1, float(20 * p));
    }
    EXPECT_EQ(drawn(1).size(), 1);
    chart.redraw();
    EXPECT_EQ(drawn(1), QStringList({"0:10", "1:20", "2:-", "3:40"}));
    EXPECT_EQ(drawn(2), QStringList({"0:20", "1:40", "2:60", "3:80"}));

    // Changing points already drawn (a new time base) redraws them all.
    chart.setCurrentSet(1);
    for (int p = 1; p <= 4; ++p)
        chart.setXPositionOf(p, chart.XPositionOf(p) / 60);
    put(2, 2, 1.0 / 60, 41);
    chart.setPointCount(3);
    chart.redraw();
    EXPECT_EQ(drawn(1).size(), 3);
    EXPECT_EQ(drawn(1).last(), QString::number(2.0 / 60) + ":-");
    EXPECT_EQ(drawn(2), QStringList({"0:20", QString::number(1.0 / 60) + ":41", "2:60"}));

    chart.setSetCount(1);
    chart.redraw();
    EXPECT_EQ(chart.plot()->graphCount(), 1);
}

TEST_F(ChartTest, AxisRangesAreAlwaysDrawnValid)
{
    chart.setPointCount(3);
    put(1, 1, 0, 5);
    put(1, 2, 1, 5);
    put(1, 3, 2, 900, 1); // missing: not part of the data's extent

    const std::tuple<const char*, int, float, float, double, double> rows[] = {
        {"user range", Chart::ScaleUser, -10, 40, -10, 40},
        {"inverted", Chart::ScaleUser, 40, -10, -10, 40},
        {"empty", Chart::ScaleUser, 20, 20, 19, 21},
        {"empty at zero", Chart::ScaleUser, 0, 0, -1, 1},
        {"automatic over constant data", Chart::ScaleAuto, 0, 0, 4.75, 5.25},
    };
    for (const auto& [what, mode, min, max, lower, upper] : rows) {
        chart.setYAxisScaling(mode);
        chart.setYAxisMin(min);
        chart.setYAxisMax(max);
        chart.redraw();
        EXPECT_DOUBLE_EQ(chart.drawnYRange().lower, lower) << what;
        EXPECT_DOUBLE_EQ(chart.drawnYRange().upper, upper) << what;
        EXPECT_EQ(chart.YAxisMin(), min) << "the minimum reads back as put: " << what;
    }
    chart.redraw();
    EXPECT_DOUBLE_EQ(chart.drawnXRange().lower, 0);
    EXPECT_DOUBLE_EQ(chart.drawnXRange().upper, 2);
    // Automatic values keep their extremes off the frame; times do not.
    put(1, 2, 1, 15);
    chart.redraw();
    EXPECT_DOUBLE_EQ(chart.drawnYRange().lower, 4.5);
    EXPECT_DOUBLE_EQ(chart.drawnYRange().upper, 15.5);
    EXPECT_DOUBLE_EQ(chart.drawnXRange().upper, 2);
}

} // namespace
