// The graph screen's files: its settings (Graph.val) and saved graphs (a
// comma-separated file of every point with its pens and time base).
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <vector>

#include "core/helpers.h"
#include "core/state.h"
#include "monitor/frmGraph.h"
#include "monitor/monitor_rows.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/filedialog.h"
#include "platform/builders.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "platform/textfile.h"

using namespace modZarn;

namespace {

const QString kGraphFilter = QStringLiteral("Graph Files (*.csv)");
constexpr int kPointLimit = 127980;
// The largest graph file read: as many rows as the restore can take, each
// as wide as ten pens with every number at its widest (about 250 bytes),
// with room to spare for the blanks of a file made by hand.
constexpr qint64 kMaxFileBytes = qint64(64) << 20;

// A number item: blanks around it are dropped and an empty item is 0, but
// text that is no number is a type mismatch, not a silent 0.
double NumberItem(const QString& item)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][+-]?\\d+)?$"));
    const QString t = rt::Trim(item);
    if (t.isEmpty())
        return 0;
    if (!number.match(t).hasMatch())
        rt::raise(rt::ErrTypeMismatch);
    return rt::Val(t);
}

// Whether a piece of the column line begins a pen label: the address
// columns, a blank, protocol and group, a blank; or the unused pen.
bool BeginsLabel(const QString& piece)
{
    static const QRegularExpression label(QStringLiteral("^([0-9A-Fa-f]{2}[0-9A-Fa-f ] [A-Za-z][0-9] |00 {5}\\[none\\])"));
    return label.match(rt::LTrim(piece)).hasMatch();
}

// The k pen labels of the column line "Log Time,<labels>,Missing Data-1..k".
// A name holding a comma splits its label over two pieces; a piece that does
// not begin a label is joined back to the one before it.
QStringList ColumnLabels(const QString& line, int k)
{
    const QStringList pieces = line.split(QLatin1Char(','));
    if (pieces.size() < 1 + 2 * k)
        rt::raise(rt::ErrInputPastEnd);
    const QStringList middle = pieces.mid(1, pieces.size() - 1 - k);
    QStringList labels;
    if (middle.size() > k) {
        for (const QString& piece : middle) {
            if (labels.isEmpty() || (labels.size() < k && BeginsLabel(piece)))
                labels << piece;
            else
                labels.last() += QLatin1Char(',') + piece;
        }
    }
    if (labels.size() != k) {
        // One label per piece; whatever is left over belongs to the last.
        labels = middle.mid(0, k);
        for (int i = k; i < middle.size(); ++i)
            labels.last() += QLatin1Char(',') + middle[i];
    }
    for (QString& l : labels)
        l = rt::Trim(l);
    return labels;
}

// A saved graph as read, before anything of it reaches the chart.
struct GraphFile {
    int pens = 0;
    int timeBase = 0;
    QStringList labels;
    std::vector<double> x;
    std::vector<float> values; // row by row, `pens` a row
    std::vector<int> flags;
};

GraphFile ReadGraphFile(const QString& path)
{
    if (path.isEmpty())
        rt::raise(rt::ErrFileNotFound);
    rt::InputFile f(path, kMaxFileBytes);
    GraphFile g;
    const QStringList head = f.lineInput().split(QLatin1Char(','));
    if (head.size() < 4)
        rt::raise(rt::ErrInputPastEnd);
    g.pens = rt::CInt(NumberItem(head[1]));
    g.timeBase = rt::CInt(NumberItem(head[3]));
    if (g.pens < 1 || g.pens > FrmGraph::kPens)
        rt::raise(rt::ErrSubscript);
    if (g.timeBase < 0 || g.timeBase > 2)
        rt::raise(rt::ErrControlArrayElement);
    g.labels = ColumnLabels(f.lineInput(), g.pens);

    // No more rows than a chart of one pen could take before the limit
    // stops the restore.
    const size_t maxRows = kPointLimit + 2;
    const int items = 1 + 2 * g.pens;
    while (!f.eof() && g.x.size() < maxRows) {
        const QString line = f.lineInput();
        if (rt::Trim(line).isEmpty())
            continue;
        const QStringList row = line.split(QLatin1Char(','));
        if (row.size() != items)
            rt::raise(rt::ErrInputPastEnd);
        // Times are Singles: one beyond their range is a damaged file.
        g.x.push_back(rt::CSng(NumberItem(row[0])));
        for (int i = 1; i <= g.pens; ++i)
            g.values.push_back(rt::CSng(NumberItem(row[i])));
        for (int i = 1; i <= g.pens; ++i)
            g.flags.push_back(rt::CInt(NumberItem(row[g.pens + i])));
    }
    return g;
}

} // namespace

// ---------------------------------------------------------------- Graph.val

void FrmGraph::ReadGraphConfig()
{
    const QString path = App::file(QStringLiteral("Graph.val"));
    // Before the first save there is nothing to read: the defaults stand.
    if (!rt::FileExists(path))
        return;
    try {
        rt::InputFile f(path);
        for (int* v : {&SampleRateIndex, &DurationIndex, &RefreshIndex, &ShowSymbols, &gGraphXTicks, &gGraphYTicks,
                       &gGraphXGrid, &gGraphYGrid})
            *v = rt::CInt(NumberItem(f.lineInput()));
        // One label a line, read whole: a comma inside a name stays in it.
        for (int i = 1; i <= kPens; ++i)
            PenLabel[i] = rt::Trim(f.lineInput());
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmGraph.ReadGraphConfig"),
                     QStringLiteral("An application error has occurred reading Graph.val file:"));
    }
}

void FrmGraph::SaveGraphConfig()
{
    try {
        rt::OutputFile f(App::file(QStringLiteral("Graph.val")), rt::OutputFile::Replace);
        for (int v : {SampleRateIndex, DurationIndex, RefreshIndex, ShowSymbols, gGraphXTicks, gGraphYTicks,
                      gGraphXGrid, gGraphYGrid})
            f.printNumberLine(v);
        for (int i = 1; i <= kPens; ++i) {
            PenLabel[i] = cbxControl(i)->Text();
            f.printLine(PenLabel[i]);
        }
        f.close();
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmGraph.SaveGraphConfig"),
                     QStringLiteral("An application error has occurred saving Graph.val file:"));
    }
}

// ---------------------------------------------------------------- graph files

void FrmGraph::SaveGraphFile(const QString& FileName, bool& Failed)
{
    const int m = gphGraph->PointCount();
    const int n = gphGraph->SetCount();
    Failed = false;
    if (GraphEmpty) {
        mb::MsgBox(QStringLiteral("The graph does not currently have any data.  Save Aborted."),
                   mb::OKOnly | mb::Information, QStringLiteral("No Data On Graph"), this);
        return;
    }
    try {
        const Screen::Busy busy;
        if (FileName.isEmpty())
            rt::raise(rt::ErrFileNotFound);
        rt::OutputFile f(FileName, rt::OutputFile::Replace);
        f.printLine(QStringLiteral("#Pens =,") + rt::PrintNumber(n) + QStringLiteral(",Time Base =,") +
                    rt::PrintNumber(TimeBase));
        QString line = QStringLiteral("Log Time");
        for (int i = 1; i <= n; ++i)
            line += QLatin1Char(',') + cbxControl(i)->Text();
        for (int i = 1; i <= n; ++i)
            line += QStringLiteral(",Missing Data-") + QString::number(i);
        f.printLine(line);
        for (int p = 1; p <= m; ++p) {
            gphGraph->setCurrentPoint(p);
            gphGraph->setCurrentSet(1);
            line = rt::PrintSingle(gphGraph->XPositionOf(p));
            for (int i = 1; i <= n; ++i) {
                gphGraph->setCurrentSet(i);
                line += QLatin1Char(',') + rt::PrintSingle(gphGraph->Value());
            }
            for (int i = 1; i <= n; ++i) {
                gphGraph->setCurrentSet(i);
                line += QLatin1Char(',') + rt::PrintNumber(gphGraph->ExtraValue());
            }
            f.printLine(line);
        }
        f.close();
    } catch (const rt::RtError& e) {
        Failed = true;
        mb::AppError(this, e, QStringLiteral("frmGraph.SaveGraphFile,  File >") + FileName);
    }
}

void FrmGraph::RestoreGraphFile(const QString& FileName)
{
    try {
        const Screen::Busy busy;
        // The whole file is read and checked first: a file that cannot be
        // restored leaves the graph on screen as it was.
        const GraphFile g = ReadGraphFile(FileName);

        SetupGraphTicks();
        TimeBase = g.timeBase;
        if (optTimeBase(TimeBase)->Value())
            optTimeBase_Click(TimeBase);
        else
            optTimeBase(TimeBase)->setValue(true);

        for (int i = 1; i <= kPens; ++i)
            PenLabel[i] = i <= g.pens ? g.labels[i - 1] : kNoPen;
        {
            const QScopedValueRollback loading(Loading, true);
            for (int i = 1; i <= kPens; ++i) {
                ComboBox* pen = cbxControl(i);
                // A pen of the instrument table takes the instrument's own
                // label: the file's has lost the blanks at its end.
                const int k = monitor::InstrumentOfLabel(PenLabel[i]);
                if (k >= 0)
                    PenLabel[i] = InstrumentLabel(gInstruments[k]);
                int at = k >= 0 ? pen->findText(PenLabel[i], Qt::MatchExactly) : -1;
                if (at < 0 && PenLabel[i] == kNoPen)
                    at = pen->findText(kNoPen, Qt::MatchExactly);
                if (at < 0) {
                    pen->AddItem(PenLabel[i]);
                    at = pen->ListCount() - 1;
                }
                pen->setListIndex(at);
                pen->setToolTip(pen->Text());
            }
            SetupGraphPens();
        }

        YDataMin = 99999;
        YDataMax = -99999;
        XDataMin = 0;
        XDataMax = 0;
        for (size_t r = 0; r < g.x.size(); ++r) {
            const int sets = gphGraph->SetCount();
            if (double(gphGraph->PointCount()) * sets > kPointLimit) {
                StopSampling();
                mb::MsgBox(QStringLiteral("The system has reached its maximum sampling size of 128,000 data points."
                                          "    The number of points is") +
                               rt::Str(gphGraph->PointCount()) + QStringLiteral(".  The number of pens is") +
                               rt::Str(sets) + QStringLiteral("."),
                           mb::OKOnly | mb::Exclamation, QStringLiteral("Maximum Data Points Reached"), this);
                break;
            }
            if (!GraphEmpty)
                gphGraph->setPointCount(gphGraph->PointCount() + 1);
            GraphEmpty = false;
            const float xs = float(g.x[r]);
            if (xs < XDataMin)
                XDataMin = xs;
            if (xs > XDataMax)
                XDataMax = xs;
            for (int i = 1; i <= gphGraph->SetCount(); ++i) {
                const float v = g.values[r * g.pens + i - 1];
                const int flag = g.flags[r * g.pens + i - 1];
                if (flag == 0) {
                    if (v < YDataMin)
                        YDataMin = v;
                    if (v > YDataMax)
                        YDataMax = v;
                }
                gphGraph->setCurrentSet(i);
                gphGraph->setCurrentPoint(gphGraph->PointCount());
                gphGraph->setXPosition(g.x[r]);
                gphGraph->setValue(v);
                gphGraph->setExtraValue(flag);
            }
        }
        ScaleTheGraph();
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmGraph.RestoreGraphFile,  File >") + FileName);
    }
}

void FrmGraph::cmdSaveData_Click()
{
    try {
        fd::Request r;
        r.kind = fd::Save;
        r.title = QStringLiteral("Save Graph Data");
        r.filter = kGraphFilter;
        r.initialDir = GraphFileName.isEmpty() ? DataFolder() : QFileInfo(GraphFileName).path();
        r.initialName = QStringLiteral("Graph") + Clock::localNow().toString(u"yyyyMMdd-HHmm") +
                        QStringLiteral(".csv");
        const QString file = fd::ask(r, this);
        if (file.isEmpty())
            return; // cancelled: nothing is written
        GraphFileName = file;
        bool failed = false;
        SaveGraphFile(file, failed);
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmGraph.cmdSaveData_Click, File >") + GraphFileName);
    }
}

void FrmGraph::cmdRestoreData_Click()
{
    try {
        if (Sampling) {
            mb::MsgBox(QStringLiteral("Graph sampling is currently on.  Stop the sampling before trying to restore "
                                      "graph data."),
                       mb::OKOnly | mb::Exclamation, QStringLiteral("Graph Sampling Is On"), this);
            return;
        }
        fd::Request r;
        r.kind = fd::Open;
        r.title = QStringLiteral("Restore Graph Data");
        r.filter = kGraphFilter;
        r.initialDir = GraphFileName.isEmpty() ? DataFolder() : QFileInfo(GraphFileName).path();
        const QString file = fd::ask(r, this);
        if (file.isEmpty())
            return; // cancelled: the graph stays as it is
        GraphFileName = file;
        RestoreGraphFile(file);
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmGraph.cmdRestoreData_Click, File >") + GraphFileName);
    }
}
