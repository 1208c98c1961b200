// The trend chart: its sample store, what the plot draws from it and the axis
// ranges it keeps valid (printing: the graph screen's tests).
#include <cmath>
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
    // Automatic values keep their extremes off the frame; times do not.
    put(1, 2, 1, 15);
    chart.redraw();
    EXPECT_DOUBLE_EQ(chart.drawnYRange().lower, 4.5);
    EXPECT_DOUBLE_EQ(chart.drawnYRange().upper, 15.5);
    EXPECT_DOUBLE_EQ(chart.drawnXRange().upper, 2);
}

} // namespace
