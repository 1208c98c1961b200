#include "monitor/frmGraph.h"

#include <QKeyEvent>
#include <QScopedValueRollback>
#include <cmath>
#include <cstdlib>

#include "core/startup.h"
#include "core/state.h"
#include "monitor/frmGraphCfg.h"
#include "monitor/monitor_rows.h"
#include "platform/builders.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "platform/twips.h"
#include "shell/frmMain.h"

using namespace modZarn;

const QString FrmGraph::kNoPen = QStringLiteral("00     [none]");

FrmGraph& frmGraph() { return Forms::get<FrmGraph>(); }

float GraphListSeconds(const QString& item)
{
    const QString upper = item.toUpper();
    float seconds = float(rt::Val(item));
    if (upper.contains(QStringLiteral("MIN")))
        seconds *= 60;
    else if (upper.contains(QStringLiteral("HOUR")))
        seconds *= 3600;
    return seconds;
}

namespace {

const QStringList kSampleRates = {"0.1 Sec.", "0.5 Sec.", "1 Sec.",  "2 Sec.",   "5 Sec.",   "10 Sec.",
                                  "30 Sec.",  "60 Sec.",  "2 Min.",  "5 Min.",   "10 Min.",  "30 Min.",
                                  "60 Min.",  "2 hours",  "3 hours", "6 hours",  "12 hours", "24 hours"};
const QStringList kDurations = {"10 Sec.", "30 Sec.", "60 Sec.",  "2 Min.",   "5 Min.",   "10 Min.",    "30 Min.",
                                "60 Min.", "2 hours", "5 hours",  "10 hours", "20 hours", "Never Stop"};
const QStringList kRefreshRates = {"0.5 Sec.", "1 Sec.",  "2 Sec.",   "5 Sec.", "10 Sec.",
                                   "30 Sec.",  "60 Sec.", "120 Sec.", "Never"};
// A stored list index outside its list chooses this entry.
constexpr int kFallbackIndex = 4;
const QString kTimeTitles[] = {QStringLiteral("Time (sec.)"), QStringLiteral("Time (min.)"),
                               QStringLiteral("Time (hrs.)")};
constexpr double kTimeFactors[] = {1.0, 1.0 / 60, 1.0 / 3600};

// A scroll bar placed in twips, disabled until its axis is scaled by hand.
QScrollBar* bar(QWidget* parent, const char* name, Qt::Orientation o, int min, int max, int value, const QRect& at)
{
    auto* b = new QScrollBar(o, parent);
    b->setObjectName(QLatin1String(name));
    tw::place(b, at.x(), at.y(), at.width(), at.height());
    b->setRange(min, max);
    b->setValue(value);
    b->setPageStep(10);
    b->setEnabled(false);
    if (o == Qt::Vertical)
        b->setInvertedAppearance(true); // 100 at the top
    return b;
}

// Fills a list and chooses its stored entry; an index outside the list is
// replaced by the fallback entry's.
void fillList(ComboBox* list, const QStringList& items, int& index)
{
    list->Clear();
    for (const QString& item : items)
        list->AddItem(item);
    if (index < 0 || index >= items.size())
        index = kFallbackIndex;
    list->setListIndex(index);
}

} // namespace

FrmGraph::FrmGraph()
    : tmrGraphSampling(50, [this] { tmrGraphSampling_Timer(); }, this),
      tmrGraphRefresh(250, [this] { tmrGraphRefresh_Timer(); }, this)
{
    setObjectName(QStringLiteral("frmGraph"));
    setWindowTitle(QStringLiteral("Real Time Graph"));
    setFixedSize(tw::px(15150), tw::px(10500));
    tmrGraphSampling.setRoutine(QStringLiteral("frmGraph.tmrGraphSampling_Timer"));
    tmrGraphRefresh.setRoutine(QStringLiteral("frmGraph.tmrGraphRefresh_Timer"));

    gphGraph = new Chart(this);
    gphGraph->setObjectName(QStringLiteral("gphGraph"));
    tw::place(gphGraph, 840, 1200, 9750, 7050);
    gphGraph->setBottomTitle(kTimeTitles[0]);

    vscYAxisOffset = bar(this, "vscYAxisOffset", Qt::Vertical, 0, 100, 0, {120, 1500, 270, 6450});
    vscYAxisSpan = bar(this, "vscYAxisSpan", Qt::Vertical, 1, 100, 100, {450, 1500, 270, 6450});
    hscXAxisOffset = bar(this, "hscXAxisOffset", Qt::Horizontal, 0, 100, 0, {1800, 8340, 8790, 240});
    hscXAxisSpan = bar(this, "hscXAxisSpan", Qt::Horizontal, 1, 100, 100, {1800, 8640, 8790, 240});
    lblOffset = ctl::label(this, QStringLiteral("OFFSET"), 840, 8310, 900, 330);
    lblSpan = ctl::label(this, QStringLiteral("SPAN"), 840, 8610, 900, 330);

    chkXAutoScale = ctl::checkBox(this, QStringLiteral("chkXAutoScale"), QStringLiteral("X Auto-Scaling"), 840, 9000,
                                  1950, 330);
    chkYAutoScale = ctl::checkBox(this, QStringLiteral("chkYAutoScale"), QStringLiteral("Y Auto-Scaling"), 2850, 9000,
                                  1950, 330);
    chkXAutoScale->setChecked(true);
    chkYAutoScale->setChecked(true);
    lblYScaleMin = ctl::label(this, QStringLiteral("MinY:"), 4950, 9015, 600, 330);
    txtYScaleMin = ctl::textBox(this, QStringLiteral("txtYScaleMin"), 5580, 9000, 1500, 330);
    lblYScaleMax = ctl::label(this, QStringLiteral("MaxY:"), 7290, 9015, 600, 330);
    txtYScaleMax = ctl::textBox(this, QStringLiteral("txtYScaleMax"), 7920, 9000, 1500, 330);

    // One row a pen: its lamp, then its list in a fixed-width font so that
    // the address and name columns line up.
    std::vector<ControlSpec> lamps, pens;
    for (int i = 1; i <= kPens; ++i) {
        const int top = 1200 + (i - 1) * 390;
        lamps.push_back({i, ctl::Kind::Shape, 10770, top + 45, 240, 240, QString()});
        pens.push_back({i, ctl::Kind::ComboBox, 11100, top, 3930, 330, QString()});
    }
    shpPoll.build(this, lamps);
    cbxControl.setName(QStringLiteral("cbxControl"));
    cbxControl.build(this, pens);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    for (int i = 1; i <= kPens; ++i) {
        shpPoll(i)->setKind(Shape::Circle);
        cbxControl(i)->setFont(fixed);
    }

    lblSampleRate = ctl::label(this, QStringLiteral("Data Sampling Rate:"), 10770, 5250, 2100, 330);
    cbxSampleRate = ctl::comboBox(this, QStringLiteral("cbxSampleRate"), 12930, 5220, 2100, 330);
    lblDuration = ctl::label(this, QStringLiteral("Sampling Duration:"), 10770, 5670, 2100, 330);
    cbxDuration = ctl::comboBox(this, QStringLiteral("cbxDuration"), 12930, 5640, 2100, 330);
    lblRefreshRate = ctl::label(this, QStringLiteral("Graph Refresh Rate:"), 10770, 6090, 2100, 330);
    cbxRefreshRate = ctl::comboBox(this, QStringLiteral("cbxRefreshRate"), 12930, 6060, 2100, 330);
    chkSymbols = ctl::checkBox(this, QStringLiteral("chkSymbols"), QStringLiteral("Show Symbols"), 10770, 6510, 2100,
                               330);

    lblTimeBase = ctl::label(this, QStringLiteral("Time Base:"), 10770, 7110, 1200, 330);
    fraTimeBase = ctl::frame(this, QString(), 12000, 6900, 3030, 660);
    optTimeBase.setName(QStringLiteral("optTimeBase"));
    optTimeBase.build(fraTimeBase, {{0, ctl::Kind::OptionButton, 120, 210, 930, 330, QStringLiteral("Secs.")},
                                    {1, ctl::Kind::OptionButton, 1080, 210, 930, 330, QStringLiteral("Min.")},
                                    {2, ctl::Kind::OptionButton, 2040, 210, 930, 330, QStringLiteral("Hours")}});
    optTimeBase(0)->setChecked(true);

    lblSampleCount = ctl::label(this, QStringLiteral("Sample Count:"), 10770, 7710, 1650, 330);
    lblSampleCountText = ctl::label(this, QString(), 12450, 7710, 2580, 330);
    lblBufferSize = ctl::label(this, QStringLiteral("Buffer Used:"), 10770, 8040, 1650, 330);
    lblBufferSizeText = ctl::label(this, QString(), 12450, 8040, 2580, 330);
    lblSampling = ctl::label(this, QStringLiteral("Sampling in Progress"), 10770, 8400, 2400, 330);
    lblSampling->setStyleSheet(QStringLiteral("color: #008000; font-weight: bold"));
    lblSampling->hide();
    lblDemoMode = ctl::label(this, QStringLiteral("Demo Mode"), 13500, 8400, 1500, 330);
    lblDemoMode->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
    lblDemoMode->hide();

    // The row of buttons along the bottom.
    const struct {
        CommandButton* FrmGraph::*member;
        const char* name;
        const char* caption;
        void (FrmGraph::*click)();
    } buttons[] = {
        {&FrmGraph::cmdStartSampling, "cmdStartSampling", "Start Sampling", &FrmGraph::cmdStartSampling_Click},
        {&FrmGraph::cmdStopSampling, "cmdStopSampling", "Stop Sampling", &FrmGraph::cmdStopSampling_Click},
        {&FrmGraph::cmdClearData, "cmdClearData", "Clear Data", &FrmGraph::cmdClearData_Click},
        {&FrmGraph::cmdSaveData, "cmdSaveData", "Save Data", &FrmGraph::cmdSaveData_Click},
        {&FrmGraph::cmdRestoreData, "cmdRestoreData", "Restore Data", &FrmGraph::cmdRestoreData_Click},
        {&FrmGraph::cmdPrintColor, "cmdPrintColor", "Print Color", &FrmGraph::cmdPrintColor_Click},
        {&FrmGraph::cmdPrintMono, "cmdPrintMono", "Print Mono", &FrmGraph::cmdPrintMono_Click},
        {&FrmGraph::cmdGraphConfig, "cmdGraphConfig", "Tick Marks", &FrmGraph::cmdGraphConfig_Click},
        {&FrmGraph::cmdRefresh, "cmdRefresh", "Refresh", &FrmGraph::cmdRefresh_Click},
    };
    int left = 120;
    for (const auto& b : buttons) {
        this->*b.member = ctl::button(this, QLatin1String(b.name), QLatin1String(b.caption), left, 9750, 1560, 450);
        ctl::on(this->*b.member, &QPushButton::clicked, "Click", [this, click = b.click] { (this->*click)(); });
        left += 1650;
    }

    // ---- events ----
    ControlArray<ComboBox>::Events penEvents;
    penEvents.Click = [this](int i) { cbxControl_Click(i); };
    cbxControl.wire(penEvents);
    cbxSampleRate->Click = [this] { cbxSampleRate_Click(); };
    cbxDuration->Click = [this] { cbxDuration_Click(); };
    cbxRefreshRate->Click = [this] { cbxRefreshRate_Click(); };
    chkSymbols->Click = [this] { chkSymbols_Click(); };
    chkXAutoScale->Click = [this] { chkXAutoScale_Click(); };
    chkYAutoScale->Click = [this] { chkYAutoScale_Click(); };
    for (QScrollBar* b : {hscXAxisOffset, hscXAxisSpan, vscYAxisOffset, vscYAxisSpan})
        ctl::on(b, &QScrollBar::valueChanged, "Change", [this] { scrollBar_Change(); });
    txtYScaleMin->Change = [this] { txtYScaleMin_Change(); };
    txtYScaleMax->Change = [this] { txtYScaleMax_Change(); };
    txtYScaleMin->GotFocus = [this] { txtYScaleMin->selectAll(); };
    txtYScaleMax->GotFocus = [this] { txtYScaleMax->selectAll(); };
    txtYScaleMin->LostFocus = [this] { txtYScaleMin_LostFocus(); };
    txtYScaleMax->LostFocus = [this] { txtYScaleMax_LostFocus(); };
    // Enter moves to the other box.
    txtYScaleMin->KeyPress = [this](int& k) { if (k == 13) { k = 0; txtYScaleMax->setFocus(Qt::TabFocusReason); } };
    txtYScaleMax->KeyPress = [this](int& k) { if (k == 13) { k = 0; txtYScaleMin->setFocus(Qt::TabFocusReason); } };
    optTimeBase.wire(ctl::clickEvents([this](int i) { optTimeBase_Click(i); }));
}

// ---------------------------------------------------------------- form events

void FrmGraph::Form_Load()
{
    ReadGraphConfig();
    {
        // Filling the lists is no choice of the user's.
        const QScopedValueRollback loading(Loading, true);
        fillList(cbxSampleRate, kSampleRates, SampleRateIndex);
        SampleInterval = GraphListSeconds(cbxSampleRate->Text());
        fillList(cbxDuration, kDurations, DurationIndex);
        Duration = GraphListSeconds(cbxDuration->Text());
        fillList(cbxRefreshRate, kRefreshRates, RefreshIndex);
        RefreshInterval = float(rt::Val(cbxRefreshRate->Text()));

        chkSymbols->setValue(std::abs(ShowSymbols % 2));
        gphGraph->setGraphStyle(chkSymbols->Value() == 1 ? Chart::StyleLinesSymbols : Chart::StyleLines);

        lblBufferSize->hide();
        lblBufferSizeText->hide();
        lblBufferSizeText->setText(QStringLiteral("0 of 128,000"));

        txtYScaleMin->setEnabled(false);
        txtYScaleMax->setEnabled(false);
        writeYBoxes(QStringLiteral("0"), QStringLiteral("100"));

        ApplyGridAndTicks();
        TimeFactor = 1;
    }
    SetupGraphTicks();
}

void FrmGraph::fillPenLists()
{
    QStringList labels;
    for (const InstrumentRecord& r : gInstruments)
        labels << InstrumentLabel(r);
    for (int i = 1; i <= kPens; ++i) {
        ComboBox* pen = cbxControl(i);
        pen->Clear();
        for (const QString& l : labels)
            pen->AddItem(l);
        pen->AddItem(kNoPen);
    }
    for (int i = 1; i <= kPens; ++i) {
        ComboBox* pen = cbxControl(i);
        // As the monitor finds its rows: a stored label has lost the blanks
        // at its end (an empty name's, a name's own), yet names the same instrument.
        const int at = monitor::InstrumentOfLabel(PenLabel[i]);
        pen->setListIndex(at >= 0 ? at : pen->ListCount() - 1);
        pen->setToolTip(pen->Text());
    }
}

void FrmGraph::Form_Activate()
{
    lblDemoMode->setVisible(gDemoMode);
    {
        const QScopedValueRollback loading(Loading, true);
        fillPenLists();
        SetupGraphPens();
    }
    lblSampling->setVisible(Sampling);
}

void FrmGraph::Form_Deactivate()
{
    if (SettingsDirty) {
        SaveGraphConfig();
        SettingsDirty = false;
    }
}

void FrmGraph::Form_Unload(int& cancel)
{
    Form_Deactivate();
    MainScreen::Form_Unload(cancel);
}

// ---------------------------------------------------------------- chart set-up

void FrmGraph::ApplyGridAndTicks()
{
    if (gGraphXTicks >= 1 && gGraphXTicks <= 99)
        gphGraph->setXTicks(gGraphXTicks);
    if (gGraphYTicks >= 1 && gGraphYTicks <= 99)
        gphGraph->setYTicks(gGraphYTicks);
    // The stored flags are 0 or 1 (an odd value counts as set).
    gphGraph->setGrid(gGraphXGrid % 2 != 0, gGraphYGrid % 2 != 0);
}

void FrmGraph::SetupGraphPens()
{
    PenCount = 0;
    QString names[kPens + 1];
    for (int i = 1; i <= kPens; ++i) {
        names[i] = rt::Trim(cbxControl(i)->Text().mid(6));
        if (!names[i].contains(QStringLiteral("[none]")))
            PenCount = i;
    }
    gphGraph->setSetCount(PenCount > 0 ? PenCount : 1);
    gphGraph->clearLegends();
    for (int s = 1; s <= gphGraph->SetCount(); ++s)
        gphGraph->setLegendText(s, names[s]);
    SetGraphLegends();
}

void FrmGraph::SetupGraphTicks()
{
    gphGraph->setPointCount(1);
    GraphEmpty = true;
    gphGraph->clearValues();
    gphGraph->markAllMissing();
    gphGraph->numberXPositions();
    gphGraph->setCurrentSet(1);
    gphGraph->setXPositionOf(1, 0);
    gphGraph->setXAxisMin(0);
    gphGraph->setXAxisMax(1);
    SetGraphLegends();
}

void FrmGraph::writeYBoxes(const QString& min, const QString& max)
{
    const QScopedValueRollback bySystem(YScaleBySystem, true);
    txtYScaleMin->setText(min);
    txtYScaleMax->setText(max);
}

void FrmGraph::SetGraphLegends()
{
    const Screen::Busy busy;
    const int points = gphGraph->PointCount();
    const int sets = gphGraph->SetCount();
    lblSampleCountText->setText(rt::Format(points, QStringLiteral("#,###,###,###")));
    bool showBuffer = false;
    if (SampleInterval > 0) {
        const double planned = double(sets) * Duration / SampleInterval;
        if (planned > 60000 || Duration == 0) {
            showBuffer = true;
            lblBufferSizeText->setText(rt::Format(double(points) * sets * (GraphEmpty ? 0 : 1), QStringLiteral("#,##0")) +
                                       QStringLiteral(" Of 128,000"));
        }
    }
    lblBufferSize->setVisible(showBuffer);
    lblBufferSizeText->setVisible(showBuffer);
    if (chkYAutoScale->Value() == 1)
        writeYBoxes(rt::CStrSingle(YDataMin), rt::CStrSingle(YDataMax));
    gphGraph->redraw();
    DataChanged = false;
}

void FrmGraph::StopSampling()
{
    Sampling = false;
    frmMain().shpGraphing->setFillColor(color::ButtonFace);
    lblSampling->hide();
    SetGraphLegends();
    tmrGraphSampling.setEnabled(false);
    tmrGraphRefresh.setEnabled(false);
}

void FrmGraph::ScaleTheGraph()
{
    // A failure is shown here and the caller goes on.
    ctl::guard(this, QStringLiteral("frmGraph.ScaleTheGraph"), [this] {
        if (chkXAutoScale->Value() != 1) {
            const float range = XDataMax - XDataMin;
            gphGraph->setXAxisMin(XDataMin + hscXAxisOffset->value() * range / 100);
            gphGraph->setXAxisMax(gphGraph->XAxisMin() + hscXAxisSpan->value() * range / 100);
        }
        if (chkYAutoScale->Value() != 1) {
            float ymin = float(rt::Val(txtYScaleMin->Text()));
            float ymax = float(rt::Val(txtYScaleMax->Text()));
            if (ymax <= ymin) {
                writeYBoxes(rt::CStrSingle(YDataMin), rt::CStrSingle(YDataMax));
                ymin = float(rt::Val(txtYScaleMin->Text()));
                ymax = float(rt::Val(txtYScaleMax->Text()));
            }
            // Still no range (no samples yet): the chart draws a valid axis
            // around what it was given.
            const float range = ymax - ymin;
            gphGraph->setYAxisMin(ymin + vscYAxisOffset->value() * range / 100);
            gphGraph->setYAxisMax(gphGraph->YAxisMin() + vscYAxisSpan->value() * range / 100);
        }
        SetGraphLegends();
    });
}

// ---------------------------------------------------------------- handlers

void FrmGraph::cbxControl_Click(int Index)
{
    // The pen's lamp keeps the colour of its last read (red after a failure)
    // until the pen is read again.
    if (Loading)
        return;
    cbxControl(Index)->setToolTip(cbxControl(Index)->Text());
    SetupGraphPens();
    SettingsDirty = true;
}

void FrmGraph::cbxSampleRate_Click()
{
    if (Loading)
        return;
    SampleInterval = GraphListSeconds(cbxSampleRate->Text());
    SampleRateIndex = cbxSampleRate->ListIndex();
    SettingsDirty = true;
}

void FrmGraph::cbxDuration_Click()
{
    if (Loading)
        return;
    Duration = GraphListSeconds(cbxDuration->Text());
    DurationIndex = cbxDuration->ListIndex();
    SettingsDirty = true;
}

void FrmGraph::cbxRefreshRate_Click()
{
    if (Loading)
        return;
    RefreshInterval = float(rt::Val(cbxRefreshRate->Text()));
    RefreshIndex = cbxRefreshRate->ListIndex();
    SettingsDirty = true;
}

void FrmGraph::chkSymbols_Click()
{
    if (Loading)
        return;
    gphGraph->setGraphStyle(chkSymbols->Value() == 1 ? Chart::StyleLinesSymbols : Chart::StyleLines);
    ShowSymbols = chkSymbols->Value();
    SetGraphLegends();
    SettingsDirty = true;
}

void FrmGraph::chkXAutoScale_Click()
{
    if (chkXAutoScale->Value() == 1) {
        hscXAxisSpan->setEnabled(false);
        hscXAxisOffset->setEnabled(false);
        gphGraph->setXAxisScaling(Chart::ScaleAuto);
    } else {
        hscXAxisSpan->setEnabled(true);
        hscXAxisOffset->setEnabled(true);
        showWholeRange(hscXAxisOffset, hscXAxisSpan);
        gphGraph->setXAxisScaling(Chart::ScaleUser);
    }
    ScaleTheGraph();
}

void FrmGraph::chkYAutoScale_Click()
{
    if (chkYAutoScale->Value() == 1) {
        vscYAxisSpan->setEnabled(false);
        vscYAxisOffset->setEnabled(false);
        gphGraph->setYAxisScaling(Chart::ScaleAuto);
        txtYScaleMin->setEnabled(false);
        txtYScaleMax->setEnabled(false);
    } else {
        vscYAxisSpan->setEnabled(true);
        vscYAxisOffset->setEnabled(true);
        showWholeRange(vscYAxisOffset, vscYAxisSpan);
        gphGraph->setYAxisScaling(Chart::ScaleUser);
        txtYScaleMin->setEnabled(true);
        txtYScaleMax->setEnabled(true);
        writeYBoxes(rt::CStrSingle(YDataMin), rt::CStrSingle(YDataMax));
    }
    ScaleTheGraph();
}

void FrmGraph::showWholeRange(QScrollBar* offset, QScrollBar* span)
{
    // Moved by code: the bars' own handlers stay out of it.
    const QScopedValueRollback loading(Loading, true);
    span->setValue(100);
    offset->setValue(0);
}

void FrmGraph::scrollBar_Change()
{
    if (!Loading)
        ScaleTheGraph();
}

void FrmGraph::txtYScaleMin_Change() { YScaleEdited = !YScaleBySystem; }
void FrmGraph::txtYScaleMax_Change() { YScaleEdited = !YScaleBySystem; }

void FrmGraph::yScaleLostFocus()
{
    if (!YScaleEdited)
        return;
    showWholeRange(vscYAxisOffset, vscYAxisSpan);
    ScaleTheGraph();
    YScaleEdited = false;
}

void FrmGraph::txtYScaleMin_LostFocus() { yScaleLostFocus(); }
void FrmGraph::txtYScaleMax_LostFocus() { yScaleLostFocus(); }

void FrmGraph::optTimeBase_Click(int Index)
{
    if (Index < 0 || Index > 2)
        rt::raise(rt::ErrControlArrayElement);
    // X units per second of the old base over those of the new.
    const double factor = kTimeFactors[Index] / kTimeFactors[std::clamp(TimeBase, 0, 2)];
    gphGraph->setBottomTitle(kTimeTitles[Index]);
    TimeFactor = kTimeFactors[Index];
    TimeBase = Index;
    if (factor != 1) {
        const Screen::Busy busy;
        for (int s = 1; s <= gphGraph->SetCount(); ++s) {
            gphGraph->setCurrentSet(s);
            for (int p = 1; p <= gphGraph->PointCount(); ++p)
                gphGraph->setXPositionOf(p, float(gphGraph->XPositionOf(p) * factor));
        }
    }
    XDataMin = float(XDataMin * factor);
    XDataMax = float(XDataMax * factor);
    ScaleTheGraph();
}

void FrmGraph::cmdStopSampling_Click() { StopSampling(); }

void FrmGraph::cmdClearData_Click()
{
    const int answer = mb::MsgBox(QStringLiteral("Are sure you wish to clear all Graph Data?"),
                                  mb::YesNo | mb::Question | mb::DefaultButton2, QStringLiteral("Clear Graph Data?"),
                                  this);
    if (answer != mb::No)
        SetupGraphTicks();
}

void FrmGraph::cmdRefresh_Click() { SetGraphLegends(); }

void FrmGraph::cmdGraphConfig_Click()
{
    frmGraphCfg().ShowModal();
    if (gGraphCfgChanged) {
        SaveGraphConfig();
        gGraphCfgChanged = false;
        ApplyGridAndTicks();
        // Show the new ticks and grid lines now, not at the next redraw.
        gphGraph->redraw();
    }
}

void FrmGraph::printGraph(int style)
{
    const int answer = mb::MsgBox(QStringLiteral("Do you want the graph to print in Landscape Orientation?"),
                                  mb::YesNoCancel | mb::Question | mb::DefaultButton2, QStringLiteral("Print Graph"),
                                  this);
    if (answer == mb::Cancel)
        return;
    gphGraph->setLandscape(answer == mb::Yes);
    gphGraph->setPrintStyle(style);
    gphGraph->print();
}

void FrmGraph::cmdPrintColor_Click() { printGraph(Chart::PrintColor); }
void FrmGraph::cmdPrintMono_Click() { printGraph(Chart::PrintMono); }
