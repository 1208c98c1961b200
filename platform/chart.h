#pragma once
// The trend chart: a store of samples (sets by points, each point with an X
// position, a value and a missing flag) and a plot that draws from it. Sets
// and points are numbered from 1; the "current" set and point select what the
// value, missing flag and X position properties refer to. Changing the store
// never redraws: redraw() does, so a sampling tick costs the same however
// many points the chart holds.
#include <QString>
#include <QWidget>
#include <vector>

class QCustomPlot;
class QPrinter;

class Chart : public QWidget {
    Q_OBJECT
public:
    explicit Chart(QWidget* parent = nullptr);
    ~Chart() override;

    // ---- the store ----
    // Points per set (at least 1). Growing adds missing points of value 0
    // at the X position of the last point; shrinking drops the last ones.
    int PointCount() const { return points_; }
    void setPointCount(int n);
    // Sets shown (at least 1); a new set holds the current points, missing,
    // at the X positions of set 1. A set above the count is only hidden: it
    // keeps its samples (points added meanwhile are missing in it), and shown
    // again it continues with them, at the X positions of set 1. Only
    // shrinking the point count drops samples.
    int SetCount() const { return shown_; }
    void setSetCount(int n);
    // Selectors; outside 1..count is run-time error 9.
    int CurrentSet() const { return set_; }
    void setCurrentSet(int s);
    int CurrentPoint() const { return point_; }
    void setCurrentPoint(int p);
    // Of the current set and point.
    float Value() const;
    void setValue(float v);
    // Missing-data flag: nonzero points are drawn as gaps.
    int ExtraValue() const;
    void setExtraValue(int v);
    void setXPosition(double x);
    // X position of point p of the current set.
    float XPositionOf(int p) const;
    void setXPositionOf(int p, float x);
    QString LegendText(int s) const;
    void setLegendText(int s, const QString& text);
    // Resets of every set: values to 0, every point missing, X positions to
    // their point numbers, legend texts to "".
    void clearValues();
    void markAllMissing();
    void numberXPositions();
    void clearLegends();

    // ---- drawing ----
    // Draws the plot from the store.
    void redraw();
    enum Style { StyleLines = 4, StyleLinesSymbols = 5 };
    void setGraphStyle(int style);
    int GraphStyle() const { return graphStyle_; }
    // Grid lines across the X axis (vertical) and across the Y axis (horizontal).
    void setGrid(bool vertical, bool horizontal);
    bool verticalGrid() const { return verticalGrid_; }
    bool horizontalGrid() const { return horizontalGrid_; }
    // 1 automatic (the range follows the data), 2 the range set below.
    enum Scaling { ScaleAuto = 1, ScaleUser = 2 };
    void setXAxisScaling(int mode) { xAxis_.mode = mode; }
    void setYAxisScaling(int mode) { yAxis_.mode = mode; }
    int XAxisScaling() const { return xAxis_.mode; }
    int YAxisScaling() const { return yAxis_.mode; }
    // The range as put; an empty or inverted one is drawn as a valid range
    // (see drawnXRange()).
    float XAxisMin() const { return xAxis_.min; }
    float XAxisMax() const { return xAxis_.max; }
    float YAxisMin() const { return yAxis_.min; }
    float YAxisMax() const { return yAxis_.max; }
    void setXAxisMin(float v) { xAxis_.min = v; }
    void setXAxisMax(float v) { xAxis_.max = v; }
    void setYAxisMin(float v) { yAxis_.min = v; }
    void setYAxisMax(float v) { yAxis_.max = v; }
    // Tick counts 1..99; outside is run-time error 380. Fewer than 2 are
    // drawn as 2.
    void setXTicks(int n);
    void setYTicks(int n);
    int XTicks() const { return xAxis_.ticks; }
    int YTicks() const { return yAxis_.ticks; }
    void setBottomTitle(const QString& t);
    QString BottomTitle() const { return bottomTitle_; }

    // ---- printing ----
    enum PrintStyles { PrintMono = 2, PrintColor = 3 };
    void setPrintStyle(int s) { printStyle_ = s; }
    int PrintStyle() const { return printStyle_; }
    // Pages across (landscape) or upright (portrait, the default).
    void setLandscape(bool on) { landscape_ = on; }
    bool landscape() const { return landscape_; }
    // Prints the chart where printing::print sends it; a failure raises
    // (nothing printed, no cut file left).
    void print();
    // Draws the chart onto one page of the printer in the print style and
    // orientation set.
    void printTo(QPrinter& printer);

    // ---- what the plot shows (tests and benchmarks) ----
    QCustomPlot* plot() const { return plot_; }
    struct Range {
        double lower, upper;
    };
    Range drawnXRange() const;
    Range drawnYRange() const;
    // Runs the part of a redraw that brings the plot's data up to date with
    // the store (a redraw does it first).
    void syncPlot();

private:
    struct Set {
        std::vector<double> x;
        std::vector<float> value;
        std::vector<int> extra;
        QString legend;
        // Points 0..synced-1 are in the plot's container as stored; a change
        // below it makes the plot rebuild this set at the next redraw.
        int synced = 0;
    };
    struct Axis {
        int mode = ScaleAuto;
        float min = 0, max = 1;
        int ticks = 5;
    };
    Set& current();
    const Set& current() const;
    void touch(Set& s, int index) { if (index < s.synced) s.synced = -1; }
    void applyAxes();
    void applyStyles(bool mono);
    static Range validRange(double lower, double upper, bool time);

    QCustomPlot* plot_;
    std::vector<Set> sets_; // every set held, the shown ones first
    int shown_ = 1;
    int points_ = 1;
    int set_ = 1;
    int point_ = 1;
    int graphStyle_ = StyleLines;
    bool verticalGrid_ = false, horizontalGrid_ = false;
    Axis xAxis_, yAxis_;
    QString bottomTitle_;
    int printStyle_ = PrintColor;
    bool landscape_ = false;
};
