#include "monitor/frmGraph.h"

#include <QKeyEvent>
#include <cmath>
#include <cstdlib>

#include "core/startup.h"
#include "core/state.h"
#include "monitor/frmGraphCfg.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "shell/frmMain.h"
#include "shell/toolwidgets.h"

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
// Clears a form's Loading flag however the block it guards ends.
struct LoadingDone {
    bool& loading;
    ~LoadingDone() { loading = false; }
};

// A stored list index outside its list chooses this entry.
constexpr int kFallbackIndex = 4;
const QString kTimeTitles[] = {QStringLiteral("Time (sec.)"), QStringLiteral("Time (min.)"),
                               QStringLiteral("Time (hrs.)")};
constexpr double kTimeFactors[] = {1.0, 1.0 / 60, 1.0 / 3600};

QPushButton* button(QWidget* parent, const QString& caption, int x, int y)
{
    auto* b = new QPushButton(caption, parent);
    b->setGeometry(x, y, 104, 30);
    return b;
}

QScrollBar* bar(QWidget* parent, Qt::Orientation o, int min, int max, int value)
{
    auto* b = new QScrollBar(o, parent);
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
    setFixedSize(1010, 700);
    tmrGraphSampling.setRoutine(QStringLiteral("frmGraph.tmrGraphSampling_Timer"));
    tmrGraphRefresh.setRoutine(QStringLiteral("frmGraph.tmrGraphRefresh_Timer"));

    gphGraph = new Chart(this);
    gphGraph->setObjectName(QStringLiteral("gphGraph"));
    gphGraph->setGeometry(56, 80, 650, 470);
    gphGraph->setBottomTitle(kTimeTitles[0]);

    vscYAxisOffset = bar(this, Qt::Vertical, 0, 100, 0);
    vscYAxisOffset->setGeometry(8, 100, 18, 430);
    vscYAxisSpan = bar(this, Qt::Vertical, 1, 100, 100);
    vscYAxisSpan->setGeometry(30, 100, 18, 430);
    hscXAxisOffset = bar(this, Qt::Horizontal, 0, 100, 0);
    hscXAxisOffset->setGeometry(120, 556, 586, 16);
    hscXAxisSpan = bar(this, Qt::Horizontal, 1, 100, 100);
    hscXAxisSpan->setGeometry(120, 576, 586, 16);
    lblOffset = tool::Label(this, QStringLiteral("OFFSET"), 56, 554, 60);
    lblSpan = tool::Label(this, QStringLiteral("SPAN"), 56, 574, 60);

    chkXAutoScale = new CheckBox(QStringLiteral("X Auto-Scaling"), this);
    chkXAutoScale->setGeometry(56, 600, 130, 22);
    chkYAutoScale = new CheckBox(QStringLiteral("Y Auto-Scaling"), this);
    chkYAutoScale->setGeometry(190, 600, 130, 22);
    chkXAutoScale->setChecked(true);
    chkYAutoScale->setChecked(true);
    lblYScaleMin = tool::Label(this, QStringLiteral("MinY:"), 330, 601, 40);
    txtYScaleMin = new TextBox(this);
    txtYScaleMin->setGeometry(372, 600, 100, 22);
    lblYScaleMax = tool::Label(this, QStringLiteral("MaxY:"), 486, 601, 40);
    txtYScaleMax = new TextBox(this);
    txtYScaleMax->setGeometry(528, 600, 100, 22);

    for (int i = 1; i <= kPens; ++i) {
        const int y = 80 + (i - 1) * 26;
        auto* lamp = new Shape(this);
        lamp->setKind(Shape::Circle);
        lamp->setGeometry(718, y + 3, 16, 16);
        shpPoll.add(i, lamp);
        auto* pen = new ComboBox(this);
        pen->setObjectName(QStringLiteral("cbxControl"));
        pen->setGeometry(740, y, 262, 22);
        QFont fixed(QStringLiteral("Courier New"));
        fixed.setStyleHint(QFont::Monospace);
        pen->setFont(fixed);
        cbxControl.add(i, pen);
    }
    cbxControl.setName(QStringLiteral("cbxControl"));

    lblSampleRate = tool::Label(this, QStringLiteral("Data Sampling Rate:"), 718, 350, 140);
    cbxSampleRate = new ComboBox(this);
    cbxSampleRate->setObjectName(QStringLiteral("cbxSampleRate"));
    cbxSampleRate->setGeometry(862, 348, 140, 22);
    lblDuration = tool::Label(this, QStringLiteral("Sampling Duration:"), 718, 378, 140);
    cbxDuration = new ComboBox(this);
    cbxDuration->setObjectName(QStringLiteral("cbxDuration"));
    cbxDuration->setGeometry(862, 376, 140, 22);
    lblRefreshRate = tool::Label(this, QStringLiteral("Graph Refresh Rate:"), 718, 406, 140);
    cbxRefreshRate = new ComboBox(this);
    cbxRefreshRate->setObjectName(QStringLiteral("cbxRefreshRate"));
    cbxRefreshRate->setGeometry(862, 404, 140, 22);
    chkSymbols = new CheckBox(QStringLiteral("Show Symbols"), this);
    chkSymbols->setObjectName(QStringLiteral("chkSymbols"));
    chkSymbols->setGeometry(718, 434, 140, 22);

    lblTimeBase = tool::Label(this, QStringLiteral("Time Base:"), 718, 474, 80);
    fraTimeBase = new QGroupBox(this);
    fraTimeBase->setGeometry(800, 460, 202, 44);
    const QString bases[] = {QStringLiteral("Secs."), QStringLiteral("Min."), QStringLiteral("Hours")};
    for (int k = 0; k <= 2; ++k) {
        auto* o = new OptionButton(bases[k], fraTimeBase);
        o->setObjectName(QStringLiteral("optTimeBase"));
        o->setGeometry(8 + k * 64, 14, 62, 22);
        optTimeBase.add(k, o);
    }
    optTimeBase(0)->setChecked(true);

    lblSampleCount = tool::Label(this, QStringLiteral("Sample Count:"), 718, 514, 110);
    lblSampleCountText = tool::Label(this, QString(), 830, 514, 172);
    lblBufferSize = tool::Label(this, QStringLiteral("Buffer Used:"), 718, 536, 110);
    lblBufferSizeText = tool::Label(this, QString(), 830, 536, 172);
    lblSampling = tool::Label(this, QStringLiteral("Sampling in Progress"), 718, 560, 160);
    lblSampling->setStyleSheet(QStringLiteral("color: #008000; font-weight: bold"));
    lblSampling->hide();
    lblDemoMode = tool::Label(this, QStringLiteral("Demo Mode"), 900, 560, 100);
    lblDemoMode->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
    lblDemoMode->hide();

    cmdStartSampling = button(this, QStringLiteral("Start Sampling"), 8, 650);
    cmdStopSampling = button(this, QStringLiteral("Stop Sampling"), 118, 650);
    cmdClearData = button(this, QStringLiteral("Clear Data"), 228, 650);
    cmdSaveData = button(this, QStringLiteral("Save Data"), 338, 650);
    cmdRestoreData = button(this, QStringLiteral("Restore Data"), 448, 650);
    cmdPrintColor = button(this, QStringLiteral("Print Color"), 558, 650);
    cmdPrintMono = button(this, QStringLiteral("Print Mono"), 668, 650);
    cmdGraphConfig = button(this, QStringLiteral("Tick Marks"), 778, 650);
    cmdRefresh = button(this, QStringLiteral("Refresh"), 888, 650);

    // ---- events ----
    ControlArray<ComboBox>::Events pens;
    pens.Click = [this](int i) { cbxControl_Click(i); };
    cbxControl.wire(pens);
    cbxSampleRate->Click = [this] { cbxSampleRate_Click(); };
    cbxDuration->Click = [this] { cbxDuration_Click(); };
    cbxRefreshRate->Click = [this] { cbxRefreshRate_Click(); };
    chkSymbols->Click = [this] { chkSymbols_Click(); };
    chkXAutoScale->setObjectName(QStringLiteral("chkXAutoScale"));
    chkYAutoScale->setObjectName(QStringLiteral("chkYAutoScale"));
    chkXAutoScale->Click = [this] { chkXAutoScale_Click(); };
    chkYAutoScale->Click = [this] { chkYAutoScale_Click(); };
    const std::pair<QScrollBar*, const char*> bars[] = {{hscXAxisOffset, "hscXAxisOffset"},
                                                        {hscXAxisSpan, "hscXAxisSpan"},
                                                        {vscYAxisOffset, "vscYAxisOffset"},
                                                        {vscYAxisSpan, "vscYAxisSpan"}};
    for (const auto& [b, name] : bars) {
        b->setObjectName(QLatin1String(name));
        const QString routine = QStringLiteral("frmGraph.") + QLatin1String(name) + QStringLiteral("_Change");
        connect(b, &QScrollBar::valueChanged, this,
                [this, routine] { ctl::guard(this, routine, [this] { scrollBar_Change(); }); });
    }
    txtYScaleMin->setObjectName(QStringLiteral("txtYScaleMin"));
    txtYScaleMax->setObjectName(QStringLiteral("txtYScaleMax"));
    txtYScaleMin->Change = [this] { txtYScaleMin_Change(); };
    txtYScaleMax->Change = [this] { txtYScaleMax_Change(); };
    txtYScaleMin->GotFocus = [this] { txtYScaleMin->selectAll(); };
    txtYScaleMax->GotFocus = [this] { txtYScaleMax->selectAll(); };
    txtYScaleMin->LostFocus = [this] { txtYScaleMin_LostFocus(); };
    txtYScaleMax->LostFocus = [this] { txtYScaleMax_LostFocus(); };
    // Enter moves to the other box.
    txtYScaleMin->KeyPress = [this](int& k) { if (k == 13) { k = 0; txtYScaleMax->setFocus(Qt::TabFocusReason); } };
    txtYScaleMax->KeyPress = [this](int& k) { if (k == 13) { k = 0; txtYScaleMin->setFocus(Qt::TabFocusReason); } };
    optTimeBase.setName(QStringLiteral("optTimeBase"));
    ControlArray<OptionButton>::Events timeBase;
    timeBase.Click = [this](int i) { optTimeBase_Click(i); };
    optTimeBase.wire(timeBase);

    const std::pair<QPushButton*, void (FrmGraph::*)()> buttons[] = {
        {cmdStartSampling, &FrmGraph::cmdStartSampling_Click}, {cmdStopSampling, &FrmGraph::cmdStopSampling_Click},
        {cmdClearData, &FrmGraph::cmdClearData_Click},         {cmdSaveData, &FrmGraph::cmdSaveData_Click},
        {cmdRestoreData, &FrmGraph::cmdRestoreData_Click},     {cmdPrintColor, &FrmGraph::cmdPrintColor_Click},
        {cmdPrintMono, &FrmGraph::cmdPrintMono_Click},         {cmdGraphConfig, &FrmGraph::cmdGraphConfig_Click},
        {cmdRefresh, &FrmGraph::cmdRefresh_Click},
    };
    const char* names[] = {"cmdStartSampling", "cmdStopSampling", "cmdClearData",  "cmdSaveData", "cmdRestoreData",
                           "cmdPrintColor",    "cmdPrintMono",    "cmdGraphConfig", "cmdRefresh"};
    for (size_t k = 0; k < std::size(buttons); ++k) {
        auto [b, handler] = buttons[k];
        const QString routine = QStringLiteral("frmGraph.") + QLatin1String(names[k]) + QStringLiteral("_Click");
        connect(b, &QPushButton::clicked, this, [this, handler, routine] { ctl::guard(this, routine, [&] { (this->*handler)(); }); });
    }
}

// ---------------------------------------------------------------- form events

void FrmGraph::Form_Load()
{
    ctl::guard(this, QStringLiteral("frmGraph.Form_Load"), [this] {
        // A failure part way leaves the later steps undone, but never the
        // screen deaf to its own handlers.
        LoadingDone done{Loading};
        ReadGraphConfig();
        Loading = true;
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
        Loading = false;
        SetupGraphTicks();
    });
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
        const int at = labels.indexOf(PenLabel[i]);
        pen->setListIndex(at >= 0 ? at : pen->ListCount() - 1);
        pen->setToolTip(pen->Text());
    }
}

void FrmGraph::Form_Activate()
{
    ctl::guard(this, QStringLiteral("frmGraph.Form_Activate"), [this] {
        lblDemoMode->setVisible(gDemoMode);
        LoadingDone done{Loading};
        Loading = true;
        fillPenLists();
        SetupGraphPens();
        lblSampling->setVisible(Sampling);
    });
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
    gphGraph->setGridStyle(std::abs(gGraphXGrid % 2) * 2 + std::abs(gGraphYGrid % 2));
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
    YScaleBySystem = true;
    txtYScaleMin->setText(min);
    txtYScaleMax->setText(max);
    YScaleBySystem = false;
}

void FrmGraph::SetGraphLegends()
{
    Screen::setMousePointer(Screen::Hourglass);
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
    Screen::setMousePointer(Screen::Default);
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
    try {
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
    } catch (const rt::RtError& e) {
        Screen::setMousePointer(Screen::Default);
        mb::AppError(this, e, QStringLiteral("frmGraph.ScaleTheGraph"));
    }
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
    Loading = true;
    span->setValue(100);
    offset->setValue(0);
    Loading = false;
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
        Screen::setMousePointer(Screen::Hourglass);
        for (int s = 1; s <= gphGraph->SetCount(); ++s) {
            gphGraph->setCurrentSet(s);
            for (int p = 1; p <= gphGraph->PointCount(); ++p)
                gphGraph->setXPositionOf(p, float(gphGraph->XPositionOf(p) * factor));
        }
        Screen::setMousePointer(Screen::Default);
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
