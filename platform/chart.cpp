#include "platform/chart.h"

#include <QGuiApplication>
#include <QPrinter>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>
#include <qcustomplot.h>

#include "platform/printing.h"
#include "platform/rterror.h"

namespace {

// Pen colours in set order: ten hues that stay apart on screen and on a
// colour print, and the dash patterns that tell the sets apart on a
// monochrome print.
const QColor kPenColors[] = {
    QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44),   QColor(214, 39, 40),  QColor(148, 103, 189),
    QColor(140, 86, 75),  QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34), QColor(23, 190, 207),
};
// Wide enough that a colour reads at a glance; a full chart still redraws
// within a refresh tick.
constexpr int kPenWidth = 2;

QVector<qreal> dashPattern(int set)
{
    switch (set % 10) {
    case 0: return {};
    case 1: return {6, 3};
    case 2: return {1, 3};
    case 3: return {6, 3, 1, 3};
    case 4: return {6, 3, 1, 3, 1, 3};
    case 5: return {12, 4};
    case 6: return {12, 4, 1, 4};
    case 7: return {3, 3};
    case 8: return {12, 4, 6, 4};
    default: return {1, 6};
    }
}

// A set's line. A sample with a gap on both sides has no line to be part of:
// it is drawn as a dot, so a pen on a flaky line still shows what it read.
class TrendGraph : public QCPGraph {
public:
    using QCPGraph::QCPGraph;

protected:
    // On screen a solid line goes out as separate segments: the painter draws
    // those wider than a pixel many times faster than one long polyline. A
    // print keeps the polyline, along which a dash pattern runs on.
    void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const override
    {
        if (painter->modes().testFlag(QCPPainter::pmVectorized) || pen().style() != Qt::SolidLine) {
            QCPGraph::drawLinePlot(painter, lines);
            return;
        }
        QVector<QLineF> segments;
        segments.reserve(lines.size());
        for (int i = 1; i < lines.size(); ++i) {
            const QPointF &a = lines[i - 1], &b = lines[i];
            if (!std::isnan(a.y()) && !std::isnan(b.y()) && !std::isnan(a.x()) && !std::isnan(b.x()))
                segments.push_back(QLineF(a, b));
        }
        applyDefaultAntialiasingHint(painter);
        painter->drawLines(segments);
    }

    void draw(QCPPainter* painter) override
    {
        QCPGraph::draw(painter);
        if (!scatterStyle().isNone() || mDataContainer->isEmpty() || keyAxis()->range().size() <= 0)
            return; // symbols already mark every sample
        QCPGraphDataContainer::const_iterator begin, end;
        getVisibleDataBounds(begin, end, QCPDataRange(0, dataCount()));
        const auto first = mDataContainer->constBegin();
        const auto last = mDataContainer->constEnd();
        const auto gap = [&](QCPGraphDataContainer::const_iterator it) { return it == last || std::isnan(it->value); };
        const double radius = std::max(1.5, pen().widthF() * 1.25);
        applyDefaultAntialiasingHint(painter);
        painter->setPen(Qt::NoPen);
        painter->setBrush(pen().color());
        for (auto it = begin; it != end; ++it) {
            if (std::isnan(it->value) || !(it == first || gap(it - 1)) || !gap(it + 1))
                continue;
            painter->drawEllipse(coordsToPixels(it->key, it->value), radius, radius);
        }
    }
};

// Text sizes in points: tick numbers and pen names, and the axis title.
constexpr double kTextPoints = 9;
constexpr double kTitlePoints = 10;
// Blank border of a printed page, inside what any printer can reach.
constexpr double kPageMarginMm = 12.7;

void checkIndex(int i, int count)
{
    if (i < 1 || i > count)
        rt::raise(rt::ErrSubscript);
}

} // namespace

Chart::Chart(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)), sets_(1)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    // Lines without antialiasing: a full chart holds over a hundred thousand
    // points and must redraw within a refresh tick.
    plot_->setNotAntialiasedElements(QCP::aeAll);
    plot_->setAntialiasedElements(QCP::aeLegend | QCP::aeAxes);
    // Fixed text sizes, the same on screen and on paper (a print is laid out
    // at the screen's resolution).
    QFont text = plot_->font();
    text.setPointSizeF(kTextPoints);
    QFont title = text;
    title.setPointSizeF(kTitlePoints);
    for (QCPAxis* a : {plot_->xAxis, plot_->yAxis}) {
        a->setTickLabelFont(text);
        a->setLabelFont(title);
    }
    // The legend stands beside the plot, at its top, so it never covers the
    // newest samples.
    QCPLegend* legend = plot_->legend;
    legend->setVisible(true);
    legend->setFont(text);
    auto* side = new QCPLayoutGrid;
    plot_->plotLayout()->addElement(0, 1, side);
    plot_->plotLayout()->setColumnStretchFactor(1, 0.001);
    side->setMargins(QMargins(0, 8, 6, 0));
    side->addElement(0, 0, legend);
    side->addElement(1, 0, new QCPLayoutElement(plot_));
    side->setRowStretchFactor(0, 0.001);
    setPointCount(1);
    setGrid(false, false);
}

Chart::~Chart() = default;

Chart::Set& Chart::current()
{
    checkIndex(set_, SetCount());
    checkIndex(point_, points_);
    return sets_[set_ - 1];
}

const Chart::Set& Chart::current() const
{
    checkIndex(set_, SetCount());
    checkIndex(point_, points_);
    return sets_[set_ - 1];
}

void Chart::setPointCount(int n)
{
    if (n < 1)
        rt::raise(rt::ErrInvalidPropertyValue);
    for (Set& s : sets_) {
        const int old = int(s.value.size());
        if (n < old)
            touch(s, n);
        // A point not written yet holds no reading: it is missing, at the
        // time of the point before, so it neither shows nor widens an axis.
        s.value.resize(n, 0.0f);
        s.extra.resize(n, 1);
        s.x.resize(n, old > 0 ? s.x[old - 1] : 0.0);
    }
    points_ = n;
}

void Chart::setSetCount(int n)
{
    if (n < 1)
        rt::raise(rt::ErrInvalidPropertyValue);
    const int held = int(sets_.size());
    if (n > held)
        sets_.resize(n);
    for (int i = shown_; i < n; ++i) {
        Set& s = sets_[i];
        // A set that did not exist has no readings.
        if (i >= held) {
            s.value.assign(points_, 0.0f);
            s.extra.assign(points_, 1);
        }
        // Hidden, a set missed the points added and any new time base: it
        // takes the times of the sets shown all along.
        s.x = sets_[0].x;
        s.synced = -1;
    }
    shown_ = n;
}

void Chart::setCurrentSet(int s)
{
    checkIndex(s, SetCount());
    set_ = s;
}

void Chart::setCurrentPoint(int p)
{
    checkIndex(p, points_);
    point_ = p;
}

float Chart::Value() const { return current().value[point_ - 1]; }

void Chart::setValue(float v)
{
    Set& s = current();
    s.value[point_ - 1] = v;
    touch(s, point_ - 1);
}

int Chart::ExtraValue() const { return current().extra[point_ - 1]; }

void Chart::setExtraValue(int v)
{
    Set& s = current();
    s.extra[point_ - 1] = v;
    touch(s, point_ - 1);
}

void Chart::setXPosition(double x)
{
    Set& s = current();
    s.x[point_ - 1] = x;
    touch(s, point_ - 1);
}

float Chart::XPositionOf(int p) const
{
    checkIndex(set_, SetCount());
    checkIndex(p, points_);
    return float(sets_[set_ - 1].x[p - 1]);
}

void Chart::setXPositionOf(int p, float x)
{
    checkIndex(set_, SetCount());
    checkIndex(p, points_);
    Set& s = sets_[set_ - 1];
    s.x[p - 1] = x;
    touch(s, p - 1);
}

QString Chart::LegendText(int s) const
{
    checkIndex(s, SetCount());
    return sets_[s - 1].legend;
}

void Chart::setLegendText(int s, const QString& text)
{
    checkIndex(s, SetCount());
    sets_[s - 1].legend = text;
}

void Chart::clearValues()
{
    for (Set& s : sets_) {
        std::fill(s.value.begin(), s.value.end(), 0.0f);
        s.synced = -1;
    }
}

void Chart::markAllMissing()
{
    for (Set& s : sets_) {
        std::fill(s.extra.begin(), s.extra.end(), 1);
        s.synced = -1;
    }
}

void Chart::numberXPositions()
{
    for (Set& s : sets_) {
        for (int p = 0; p < points_; ++p)
            s.x[p] = p + 1;
        s.synced = -1;
    }
}

void Chart::clearLegends()
{
    for (Set& s : sets_)
        s.legend.clear();
}

void Chart::setGraphStyle(int style) { graphStyle_ = style == StyleLinesSymbols ? StyleLinesSymbols : StyleLines; }

void Chart::setGrid(bool vertical, bool horizontal)
{
    verticalGrid_ = vertical;
    horizontalGrid_ = horizontal;
    plot_->xAxis->grid()->setVisible(vertical);
    plot_->yAxis->grid()->setVisible(horizontal);
}

void Chart::setXTicks(int n)
{
    if (n < 1 || n > 99)
        rt::raise(rt::ErrInvalidPropertyValue);
    xAxis_.ticks = n;
}

void Chart::setYTicks(int n)
{
    if (n < 1 || n > 99)
        rt::raise(rt::ErrInvalidPropertyValue);
    yAxis_.ticks = n;
}

void Chart::setBottomTitle(const QString& t)
{
    bottomTitle_ = t;
    plot_->xAxis->setLabel(t);
}

void Chart::syncPlot()
{
    while (plot_->graphCount() > SetCount())
        plot_->removeGraph(plot_->graphCount() - 1);
    while (plot_->graphCount() < SetCount())
        new TrendGraph(plot_->xAxis, plot_->yAxis);

    constexpr double kGap = std::numeric_limits<double>::quiet_NaN();
    QVector<QCPGraphData> buf;
    for (int i = 0; i < SetCount(); ++i) {
        Set& s = sets_[i];
        QCPGraph* g = plot_->graph(i);
        g->setName(s.legend);
        const bool rebuild = s.synced < 0 || s.synced > points_;
        const int from = rebuild ? 0 : s.synced;
        if (rebuild)
            g->data()->clear();
        if (from >= points_)
            continue;
        buf.resize(points_ - from);
        bool sorted = true;
        for (int p = from; p < points_; ++p) {
            // A missing point is no value at all: the line breaks around it.
            buf[p - from] = QCPGraphData(s.x[p], s.extra[p] != 0 ? kGap : double(s.value[p]));
            if (p > from && s.x[p] < s.x[p - 1])
                sorted = false;
        }
        g->data()->add(buf, sorted);
        s.synced = points_;
    }
}

Chart::Range Chart::validRange(double lower, double upper, bool time)
{
    if (!std::isfinite(lower) || !std::isfinite(upper))
        return {0, 1};
    if (upper < lower)
        std::swap(lower, upper);
    if (upper - lower <= std::max(std::fabs(lower), std::fabs(upper)) * 1e-9) {
        // An empty range has no scale to draw: time opens forward from its
        // point (an empty graph runs from 0 to 1), a value around itself.
        if (time)
            return {lower, lower + 1};
        const double half = lower == 0 ? 1 : std::fabs(lower) * 0.05;
        return {lower - half, upper + half};
    }
    return {lower, upper};
}

Chart::Range Chart::drawnXRange() const
{
    const QCPRange r = plot_->xAxis->range();
    return {r.lower, r.upper};
}

Chart::Range Chart::drawnYRange() const
{
    const QCPRange r = plot_->yAxis->range();
    return {r.lower, r.upper};
}

void Chart::applyAxes()
{
    struct Pair {
        const Axis& a;
        QCPAxis* axis;
        bool keys;
    };
    for (const Pair& p : {Pair{xAxis_, plot_->xAxis, true}, Pair{yAxis_, plot_->yAxis, false}}) {
        Range r{p.a.min, p.a.max};
        if (p.a.mode != ScaleUser) {
            // The data's own extent: every point's time, the values of the
            // points that are not missing.
            bool anyFound = false;
            QCPRange all;
            for (int i = 0; i < plot_->graphCount(); ++i) {
                bool found = false;
                QCPRange gr;
                if (p.keys) {
                    const auto [lo, hi] = std::minmax_element(sets_[i].x.begin(), sets_[i].x.end());
                    found = lo != sets_[i].x.end();
                    if (found)
                        gr = QCPRange(*lo, *hi);
                } else {
                    gr = plot_->graph(i)->getValueRange(found);
                }
                if (!found)
                    continue;
                all = anyFound ? QCPRange(std::min(all.lower, gr.lower), std::max(all.upper, gr.upper)) : gr;
                anyFound = true;
            }
            r = anyFound ? Range{all.lower, all.upper} : Range{0, 1};
            // A line at the highest or lowest value would lie on the plot's
            // frame and vanish in it: values get a margin above and below.
            if (!p.keys && anyFound) {
                const double margin = (r.upper - r.lower) * 0.05;
                r = {r.lower - margin, r.upper + margin};
            }
        }
        r = validRange(r.lower, r.upper, p.keys);
        p.axis->setRange(r.lower, r.upper);
        // Tick counts only steer a range the program set.
        p.axis->ticker()->setTickCount(p.a.mode == ScaleUser ? std::max(2, p.a.ticks) : 5);
    }
}

void Chart::applyStyles(bool mono)
{
    // A dash pattern needs a longer sample in the legend than a colour does.
    plot_->legend->setIconSize(mono ? 64 : 24, 12);
    for (int i = 0; i < plot_->graphCount(); ++i) {
        QCPGraph* g = plot_->graph(i);
        QPen pen(mono ? QColor(Qt::black) : kPenColors[i % 10]);
        pen.setWidth(kPenWidth);
        if (mono && i % 10 != 0)
            pen.setDashPattern(dashPattern(i));
        g->setPen(pen);
        g->setLineStyle(QCPGraph::lsLine);
        g->setScatterStyle(graphStyle_ == StyleLinesSymbols ? QCPScatterStyle(QCPScatterStyle::ssCircle, 5)
                                                             : QCPScatterStyle(QCPScatterStyle::ssNone));
    }
}

void Chart::redraw()
{
    syncPlot();
    applyStyles(false);
    applyAxes();
    plot_->replot(QCustomPlot::rpImmediateRefresh);
}

void Chart::print()
{
    printing::print(window(), [this](QPrinter& printer) { printTo(printer); });
}

void Chart::printTo(QPrinter& printer)
{
    // The plot measures its texts in screen pixels: a page counted in the
    // same pixels lays the chart out to the page's size and prints every
    // text at its point size.
    const QScreen* screen = QGuiApplication::primaryScreen();
    printer.setResolution(screen ? qRound(screen->logicalDotsPerInchY()) : 96);
    printer.setPageOrientation(landscape_ ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(kPageMarginMm, kPageMarginMm, kPageMarginMm, kPageMarginMm),
                           QPageLayout::Millimeter);
    syncPlot();
    applyStyles(printStyle_ == PrintMono);
    applyAxes();
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        applyStyles(false);
        rt::raise(printing::ErrPrinter, QStringLiteral("Printer error"));
    }
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    plot_->toPainter(&painter, page.width(), page.height());
    const bool ended = painter.end();
    // Back to the screen's colours and layout.
    applyStyles(false);
    plot_->replot(QCustomPlot::rpImmediateRefresh);
    if (!ended)
        rt::raise(printing::ErrPrinter, QStringLiteral("Printer error"));
}
