#pragma once
// "Real Time Graph": up to ten pens (one instrument each) sampled on a fixed
// schedule into the trend chart, redrawn on their own refresh period, with
// automatic or manual scales, a choice of time base, a saved graph file and
// printing. Its choices persist in Graph.val; sampling goes on while other
// screens are shown.
#include <QGroupBox>
#include <QLabel>
#include <QScrollBar>
#include <array>

#include "platform/chart.h"
#include "platform/controls.h"
#include "shell/mainscreen.h"

class FrmGraph : public MainScreen {
    Q_OBJECT
public:
    FrmGraph();

    static constexpr int kPens = 10;
    // Pen list entry of an unused pen.
    static const QString kNoPen;

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Deactivate() override;
    void Form_Unload(int& cancel) override;

    // ---- controls ----
    Chart* gphGraph;
    ControlArray<ComboBox> cbxControl; // 1..10
    ControlArray<Shape> shpPoll;        // 1..10
    QLabel* lblSampleRate;
    ComboBox* cbxSampleRate;
    QLabel* lblDuration;
    ComboBox* cbxDuration;
    QLabel* lblRefreshRate;
    ComboBox* cbxRefreshRate;
    CheckBox* chkSymbols;
    CheckBox* chkXAutoScale;
    CheckBox* chkYAutoScale;
    QScrollBar* hscXAxisOffset;
    QScrollBar* hscXAxisSpan;
    QScrollBar* vscYAxisOffset;
    QScrollBar* vscYAxisSpan;
    QLabel* lblOffset;
    QLabel* lblSpan;
    QLabel* lblYScaleMin;
    TextBox* txtYScaleMin;
    QLabel* lblYScaleMax;
    TextBox* txtYScaleMax;
    QGroupBox* fraTimeBase;
    QLabel* lblTimeBase;
    ControlArray<OptionButton> optTimeBase; // 0 seconds, 1 minutes, 2 hours
    QLabel* lblSampleCount;
    QLabel* lblSampleCountText;
    QLabel* lblBufferSize;
    QLabel* lblBufferSizeText;
    QLabel* lblSampling;
    QLabel* lblDemoMode;
    CommandButton* cmdStartSampling = nullptr;
    CommandButton* cmdStopSampling = nullptr;
    CommandButton* cmdClearData = nullptr;
    CommandButton* cmdSaveData = nullptr;
    CommandButton* cmdRestoreData = nullptr;
    CommandButton* cmdPrintColor = nullptr;
    CommandButton* cmdPrintMono = nullptr;
    CommandButton* cmdGraphConfig = nullptr;
    CommandButton* cmdRefresh = nullptr;
    Timer tmrGraphSampling;
    Timer tmrGraphRefresh;

    // ---- screen state ----
    bool Loading = false;
    bool SettingsDirty = false;
    bool YScaleEdited = false;
    bool YScaleBySystem = false;
    std::array<QString, kPens + 1> PenLabel; // element 0 unused
    bool Sampling = false;
    double StartUtcSec = 0;
    int SampleRateIndex = 0;
    float SampleInterval = 0;
    double NextSampleSec = 0;
    float XDataMin = 0, XDataMax = 0;
    float YDataMin = 0, YDataMax = 0;
    int DurationIndex = 0;
    float Duration = 0;
    double LastRefreshTime = 0;
    int RefreshIndex = 0;
    float RefreshInterval = 0;
    int ShowSymbols = 0;
    bool DataChanged = false;
    int PenCount = 0;
    int TimeBase = 0;
    double TimeFactor = 1;
    QString GraphFileName;
    bool GraphEmpty = false;
    double LastAutoSaveTime = 0;
    bool AutoSaveEnabled = false;
    double LastErrorTime = 0;

    // ---- operations ----
    void ApplyGridAndTicks();
    void SetupGraphPens();
    void ReadGraphConfig();
    void SaveGraphConfig();
    void SetupGraphTicks();
    void SetGraphLegends();
    void StopSampling();
    void ScaleTheGraph();
    void RestoreGraphFile(const QString& FileName);
    void SaveGraphFile(const QString& FileName, bool& Failed);

    // ---- handlers ----
    void cbxControl_Click(int Index);
    void cbxSampleRate_Click();
    void cbxDuration_Click();
    void cbxRefreshRate_Click();
    void chkSymbols_Click();
    void chkXAutoScale_Click();
    void chkYAutoScale_Click();
    void scrollBar_Change();
    void txtYScaleMin_Change();
    void txtYScaleMax_Change();
    void txtYScaleMin_LostFocus();
    void txtYScaleMax_LostFocus();
    void optTimeBase_Click(int Index);
    void cmdStartSampling_Click();
    void cmdStopSampling_Click();
    void cmdClearData_Click();
    void cmdRefresh_Click();
    void cmdGraphConfig_Click();
    void cmdSaveData_Click();
    void cmdRestoreData_Click();
    void cmdPrintColor_Click();
    void cmdPrintMono_Click();
    void tmrGraphSampling_Timer();
    void tmrGraphRefresh_Timer();

private:
    void printGraph(int style);
    void fillPenLists();
    void yScaleLostFocus();
    // The manual window over the whole sampled range: offset 0, span 100.
    void showWholeRange(QScrollBar* offset, QScrollBar* span);
    void writeYBoxes(const QString& min, const QString& max);
    void sampleAllPens(double X);
};

FrmGraph& frmGraph();

// Seconds that a sample-rate or duration entry stands for ("2 Min." 120,
// "3 hours" 10800, "Never Stop" 0).
float GraphListSeconds(const QString& item);
