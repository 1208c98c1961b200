#include "monitor/frmLogging.h"

#include <QDir>
#include <QEvent>
#include <QProcess>
#include <QScopedValueRollback>
#include <algorithm>
#include <cmath>

#include "core/helpers.h"
#include "core/state.h"
#include "core/sysconfig.h"
#include "monitor/frmViewLog.h"
#include "monitor/logging_format.h"
#include "platform/builders.h"
#include "platform/clock.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/textfile.h"
#include "platform/twips.h"

using namespace modZarn;

FrmLogging& frmLogging() { return Forms::get<FrmLogging>(); }

int WholeUnits(float entry, int factor)
{
    const double x = double(entry) * factor;
    return int(std::floor(x + std::fabs(x) * 1e-6));
}

namespace {

// A number typed into a field; text that is not a number counts as 0.
double Entry(const QLineEdit* box)
{
    const double v = rt::Val(box->text());
    return std::isnan(v) ? 0 : v;
}

const QString kCsvFilter = QStringLiteral("CSV Files (*.csv)");

} // namespace

FrmLogging::FrmLogging()
{
    setObjectName(QStringLiteral("frmLogging"));
    setWindowTitle(QStringLiteral("Process Variable Logging"));
    setFixedSize(tw::px(9600), tw::px(6000));
    setEnterMovesFocus(true);

    lblControls = ctl::label(this, QStringLiteral("Address           Name"), 180, 150, 3900, 300);
    // A plain list: taking the focus makes its first row current (without
    // choosing it), which the keyboard user relies on.
    lstControls = new QListWidget(this);
    lstControls->setObjectName(QStringLiteral("lstControls"));
    tw::place(lstControls, 180, 480, 3900, 4500);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    lstControls->setFont(fixed);
    lblControls->setFont(fixed);
    lblInstruction = ctl::label(this,
                                QStringLiteral("Click a control in this list box to access logging functions.   "
                                               "                  <---"),
                                180, 5100, 9150, 300);

    lblAddress = ctl::label(this, QStringLiteral("Address:"), 4350, 480, 1050, 300);
    lblAddressText = ctl::label(this, QString(), 5475, 480, 3900, 300);
    lblName = ctl::label(this, QStringLiteral("Name:"), 4350, 840, 1050, 300);
    lblNameText = ctl::label(this, QString(), 5475, 840, 3900, 300);
    lblStatus = ctl::label(this, QStringLiteral("Status:"), 4350, 1200, 1050, 300);
    lblStatusText = ctl::label(this, QString(), 5475, 1200, 1500, 300);
    lblStatusText->setAlignment(Qt::AlignCenter);
    lblStatusText->setAutoFillBackground(true);
    lblStartTimeText = ctl::label(this, QString(), 4350, 1560, 5100, 300);

    // The two entries in units: a frame with the two unit options, the
    // entry and its unit label.
    auto unitFrame = [this](const QString& caption, int left, int width, ControlArray<OptionButton>& options,
                            const QString& optionsName, const std::vector<ControlSpec>& optionRows,
                            const QString& boxName, TextBox*& box, QLabel*& unit, int unitWidth) {
        QGroupBox* frame = ctl::frame(this, caption, left, 1980, width, 1500);
        options.setName(optionsName);
        options.build(frame, optionRows);
        box = ctl::textBox(frame, boxName, 150, 840, 1350, 360);
        unit = ctl::label(frame, QString(), 1590, 870, unitWidth, 300);
        return frame;
    };
    fraDuration = unitFrame(QStringLiteral("Duration"), 4350, 2400, optHoursMins, QStringLiteral("optHoursMins"),
                            {{0, ctl::Kind::OptionButton, 150, 330, 1050, 330, QStringLiteral("Hours")},
                             {1, ctl::Kind::OptionButton, 1200, 330, 1125, 330, QStringLiteral("Minutes")}},
                            QStringLiteral("txtDuration"), txtDuration, lblHoursMins, 750);
    fraRate = unitFrame(QStringLiteral("Rate"), 6930, 2490, optMinSec, QStringLiteral("optMinSec"),
                        {{0, ctl::Kind::OptionButton, 150, 330, 1125, 330, QStringLiteral("min/log")},
                         {1, ctl::Kind::OptionButton, 1290, 330, 1125, 330, QStringLiteral("sec/log")}},
                        QStringLiteral("txtRate"), txtRate, lblMinSec, 840);

    cmdStart = ctl::button(this, QStringLiteral("cmdStart"), QStringLiteral("&Start Log..."), 4350, 3750, 1500, 450);
    cmdStop = ctl::button(this, QStringLiteral("cmdStop"), QStringLiteral("S&top Log"), 6000, 3750, 1500, 450);
    cmdView = ctl::button(this, QStringLiteral("cmdView"), QStringLiteral("&View Current"), 7650, 3750, 1500, 450);
    cmdViewHist =
        ctl::button(this, QStringLiteral("cmdViewHist"), QStringLiteral("View &Hist..."), 4350, 4380, 1500, 450);
    cmdClose = ctl::button(this, QStringLiteral("cmdClose"), QStringLiteral("C&lose"), 7650, 4380, 1500, 450);

    // Only a chosen entry counts: the list taking the focus makes its first
    // row current without choosing it. A click on the chosen entry shows
    // its state afresh.
    lstControls->setSelectionMode(QAbstractItemView::SingleSelection);
    ctl::on(lstControls, &QListWidget::itemSelectionChanged, "Click", [this] { lstControls_Click(); });
    ctl::on(lstControls, &QListWidget::itemClicked, "Click", [this] { lstControls_Click(); });
    // The user's own clicks only: showing an entry's units sets the options
    // by code and runs their step itself.
    for (int k = 0; k <= 1; ++k) {
        ctl::on(optHoursMins(k), &QRadioButton::clicked, "Click", [this, k] { optHoursMins_Click(k); });
        ctl::on(optMinSec(k), &QRadioButton::clicked, "Click", [this, k] { optMinSec_Click(k); });
    }
    txtDuration->Change = [this] { txtDuration_Change(); };
    txtRate->Change = [this] { txtRate_Change(); };
    // Focus moving to another control of the dialog, not a box or another
    // window taking it for a while.
    txtDuration->GotFocus = [this] { txtDuration_GotFocus(); };
    txtRate->GotFocus = [this] { txtRate_GotFocus(); };
    txtDuration->LostFocus = [this] { txtDuration_LostFocus(); };
    txtRate->LostFocus = [this] { txtRate_LostFocus(); };
    lblNameText->setObjectName(QStringLiteral("lblNameText"));
    lblNameText->installEventFilter(this);
    const std::pair<CommandButton*, void (FrmLogging::*)()> buttons[] = {
        {cmdStart, &FrmLogging::cmdStart_Click},       {cmdStop, &FrmLogging::cmdStop_Click},
        {cmdView, &FrmLogging::cmdView_Click},         {cmdViewHist, &FrmLogging::cmdViewHist_Click},
        {cmdClose, &FrmLogging::cmdClose_Click},
    };
    for (const auto& [b, click] : buttons)
        ctl::on(b, &QPushButton::clicked, "Click", [this, click = click] { (this->*click)(); });
}

bool FrmLogging::eventFilter(QObject* obj, QEvent* e)
{
    if (obj == lblNameText && e->type() == QEvent::MouseButtonRelease)
        ctl::guard(this, ctl::routineName(lblNameText, "Click"), [this] { lblNameText_Click(); });
    return Form::eventFilter(obj, e);
}

void FrmLogging::setStatusColor(quint32 c)
{
    statusColor_ = c;
    QPalette pal = lblStatusText->palette();
    pal.setColor(QPalette::Window, color::toQColor(c));
    lblStatusText->setPalette(pal);
}

void FrmLogging::setFieldsEnabled(bool on)
{
    for (int k = 0; k <= 1; ++k) {
        optHoursMins(k)->setEnabled(on);
        optMinSec(k)->setEnabled(on);
    }
    txtDuration->setEnabled(on);
    txtRate->setEnabled(on);
}

void FrmLogging::setTextQuietly(QLineEdit* box, const QString& text)
{
    // Text written by code is no edit of the user's: it never counts as changed.
    const QScopedValueRollback loading(Loading, true);
    box->setText(text);
}

void FrmLogging::Form_Load()
{
    const QScopedValueRollback loading(Loading, true);
    lblAddressText->clear();
    lblNameText->clear();
    lblStatusText->clear();
    lblStartTimeText->clear();
    txtDuration->clear();
    txtRate->clear();

    setFieldsEnabled(false);
    cmdStart->setEnabled(false);
    cmdStop->setEnabled(false);
    cmdView->setEnabled(false);

    lstControls->clear();
    for (const InstrumentRecord& r : gInstruments)
        lstControls->addItem(r.Address + QStringLiteral("     ") + r.Name);
    lstControls->setCurrentRow(-1);
    lstControls->clearSelection();
    SelectedIndex = -1;
}

void FrmLogging::lstControls_Click()
{
    if (Loading)
        return;
    const InstrumentRecord* rec = nullptr;
    {
        const Screen::Busy busy;
        const QScopedValueRollback loading(Loading, true);
        const QList<QListWidgetItem*> chosen = lstControls->selectedItems();
        SelectedIndex = chosen.isEmpty() ? -1 : lstControls->row(chosen.first());
        const int i = SelectedIndex;
        rec = i >= 0 && i < gInstruments.Count() ? &gInstruments[i] : nullptr;
        if (rec) {
            lblAddressText->setText(rec->Address);
            lblNameText->setText(rec->Name);
            const int state = rec->LogState;
            if (state >= 1 && state <= 3)
                lblStatusText->setText(gLogStatusText[state - 1]);
            else
                lblStatusText->clear();
            setStatusColor(state == 1 ? color::Green : state == 2 ? color::Red : color::ButtonFace);
            lblStartTimeText->setText(state == 1 ? QStringLiteral("Logging started ") +
                                                       logfmt::GeneralDate(logfmt::FromDateNumber(rec->LogStartDate))
                                                 : QString());
            setFieldsEnabled(state != 1);
            cmdStart->setEnabled(state != 1 && gCommOK);
            cmdStop->setEnabled(state == 1 && gCommOK);
            cmdView->setEnabled(state >= 1 && state <= 3 && gCommOK);
        }
    }
    if (rec) {
        // The stored values are shown in their units; showing them stores
        // nothing. Each is a step of its own: a failure in one is shown and
        // the other is still shown.
        const int durationUnits = rec->DurationUnits == 1 ? 1 : 0;
        const int rateUnits = rec->RateUnits == 1 ? 1 : 0;
        optHoursMins(durationUnits)->setChecked(true);
        ctl::guard(this, QStringLiteral("frmLogging.optHoursMins_Click"), [&] { optHoursMins_Click(durationUnits); });
        optMinSec(rateUnits)->setChecked(true);
        ctl::guard(this, QStringLiteral("frmLogging.optMinSec_Click"), [&] { optMinSec_Click(rateUnits); });
    }
}

// One entry's value in the units its options choose: the duration in hours
// or minutes, the rate in minutes or seconds a line. The larger unit is 60 of
// the smaller, entered with two decimals and stored in whole smaller units.
struct FrmLogging::UnitField {
    TextBox* FrmLogging::*box;
    QLabel* FrmLogging::*unitLabel;
    ControlArray<OptionButton> FrmLogging::*options; // 0 the larger unit, 1 the smaller
    int InstrumentRecord::*units;     // the chosen option
    float (*stored)(const InstrumentRecord&);       // in the smaller unit
    void (*store)(InstrumentRecord&, float value);  // in the smaller unit
    const char* unitText[2];
    const char* smallFormat;          // the stored value shown in the smaller unit
    float min, max;                   // what an entry can give, in the smaller unit
    double largeMin, largeMax;        // what an entry in the larger unit can give
};

const FrmLogging::UnitField FrmLogging::kDurationField{
    &FrmLogging::txtDuration, &FrmLogging::lblHoursMins, &FrmLogging::optHoursMins, &InstrumentRecord::DurationUnits,
    [](const InstrumentRecord& r) { return float(r.LogDuration); },
    [](InstrumentRecord& r, float minutes) { r.LogDuration = int(std::floor(minutes)); }, {"hr", "min"}, "0", 1,
    28800, 0.01, 480};
const FrmLogging::UnitField FrmLogging::kRateField{
    &FrmLogging::txtRate, &FrmLogging::lblMinSec, &FrmLogging::optMinSec, &InstrumentRecord::RateUnits,
    [](const InstrumentRecord& r) { return r.LogRate; }, [](InstrumentRecord& r, float seconds) { r.LogRate = seconds; },
    {"min/log", "sec/log"}, "0.0", 0.1f, 3600, 0.01, 60};

void FrmLogging::unitClick(const UnitField& u, int Index)
{
    if (Loading)
        return;
    const int i = SelectedIndex;
    if (i < 0 || i >= gInstruments.Count())
        return;
    InstrumentRecord& rec = gInstruments[i];
    const bool unitChanged = rec.*u.units != Index;
    rec.*u.units = Index;
    const float value = u.stored(rec);
    (this->*u.unitLabel)->setText(QLatin1String(u.unitText[Index == 1 ? 1 : 0]));
    setTextQuietly(this->*u.box, Index == 1 ? rt::Format(value, QLatin1String(u.smallFormat))
                                            : rt::Format(value / 60.0f, QStringLiteral("0.00")));
    Changed = false;
    // A stored value no entry could give (set elsewhere: 0 minutes would end
    // a session at once, 0 s cannot be sampled) goes through the entry rule now.
    if (!(value >= u.min && value <= u.max)) {
        Changed = true;
        ctl::guard(this, ctl::routineName(this->*u.box, "LostFocus"), [&] { entryRule(u); });
    } else if (unitChanged) {
        SaveSystemConfig();
    }
}

void FrmLogging::optHoursMins_Click(int Index) { unitClick(kDurationField, Index); }
void FrmLogging::optMinSec_Click(int Index) { unitClick(kRateField, Index); }

void FrmLogging::txtDuration_Change()
{
    if (!Loading)
        Changed = true;
}

void FrmLogging::txtRate_Change()
{
    if (!Loading)
        Changed = true;
}

void FrmLogging::txtDuration_GotFocus() { txtDuration->selectAll(); }
void FrmLogging::txtRate_GotFocus() { txtRate->selectAll(); }

void FrmLogging::txtDuration_LostFocus() { entryRule(kDurationField); }
void FrmLogging::txtRate_LostFocus() { entryRule(kRateField); }

void FrmLogging::entryRule(const UnitField& u)
{
    // Only the user's own edits go through the entry rules: the shown text
    // is rounded, and storing it back would shift the stored value.
    if (Loading || !Changed)
        return;
    const int i = SelectedIndex;
    if (i < 0 || i >= gInstruments.Count())
        return;
    InstrumentRecord& rec = gInstruments[i];
    {
        const QScopedValueRollback loading(Loading, true);
        const double v = Entry(this->*u.box);
        if ((this->*u.options)(0)->isChecked()) {
            const float large = float(std::clamp(v, u.largeMin, u.largeMax));
            // At least one smaller unit: a session of 0 minutes would end at
            // once, a rate of 0 s cannot be sampled.
            u.store(rec, float(std::max(1, WholeUnits(large, 60))));
            (this->*u.box)->setText(rt::Format(large, QStringLiteral("0.00")));
        } else {
            u.store(rec, float(std::clamp(v, double(u.min), double(u.max))));
            (this->*u.box)->setText(rt::Format(u.stored(rec), QLatin1String(u.smallFormat)));
        }
    }
    if (Changed) {
        SaveSystemConfig();
        Changed = false;
    }
}

void FrmLogging::cmdStart_Click()
{
    const int i = SelectedIndex;
    if (i < 0 || i >= gInstruments.Count())
        return;
    InstrumentRecord& rec = gInstruments[i];
    fd::Request r;
    r.kind = fd::Save;
    r.title = QStringLiteral("Start Log File");
    r.filter = kCsvFilter;
    r.initialDir = DataFolder();
    r.initialName = rec.Address + QStringLiteral("_") +
                    Clock::localNow().toString(u"yyyyMMdd") + QStringLiteral(".csv");
    const QString file = fd::ask(r, this);
    if (file.isEmpty())
        return; // cancelled

    // Two sessions in one file would delete the running one's log and
    // mix two instruments' values with nothing to tell them apart.
    for (int j = 0; j < gInstruments.Count(); ++j) {
        const InstrumentRecord& other = gInstruments[j];
        if (j != i && other.LogState == 1 && QDir::cleanPath(other.LogFile) == QDir::cleanPath(file)) {
            mb::MsgBox(other.LogFile + QLatin1Char('\r') +
                           QStringLiteral("This file is currently being logged to and cannot be used for "
                                          "another log."),
                       mb::OKOnly | mb::Exclamation, QStringLiteral("File Currently Active"), this);
            return;
        }
    }

    // The old file goes first: a session must never append to a log that
    // could not be replaced.
    if (rt::FileExists(file)) {
        try {
            rt::Kill(file);
        } catch (const rt::RtError& e) {
            mb::MsgBox(file + QLatin1Char('\r') + QStringLiteral("The existing file could not be deleted: ") +
                           e.description() + QStringLiteral(".\rLogging has not been started."),
                       mb::OKOnly | mb::Exclamation, QStringLiteral("Start Log File"), this);
            return;
        }
    }

    rec.LogFile = file;
    rec.LogStartDate = logfmt::DateNumber(Clock::localNow());
    rec.LogStartSec = UtcNow() * 86400;
    rec.LogNextSec = 0;
    rec.LogState = 1;
    showChosen();
}

void FrmLogging::cmdStop_Click()
{
    const int i = SelectedIndex;
    if (i < 0 || i >= gInstruments.Count())
        return;
    InstrumentRecord& rec = gInstruments[i];
    if (rec.LogState == 1) {
        const int answer = mb::MsgBox(QStringLiteral("Are sure you wish to stop the current logging session?"),
                                      mb::YesNo | mb::DefaultButton2 | mb::Question,
                                      QStringLiteral("Stop Logging?"), this);
        if (answer == mb::No)
            return;
        rec.LogState = 2;
    }
    showChosen();
}

void FrmLogging::cmdView_Click()
{
    const int i = SelectedIndex;
    if (i < 0 || i >= gInstruments.Count())
        return;
    InstrumentRecord& rec = gInstruments[i];
    const QString file = rec.LogFile;
    if (!rt::FileExists(file))
        return;
    // The view reads the lines it shows from the file as they are
    // scrolled into sight, so a long log neither holds up the logging
    // timer nor fills the memory.
    FrmViewLog& view = frmViewLog();
    view.txtLog->open(file);
    view.setWindowTitle(QStringLiteral("View Current Log (Snapshot) - ") + file);
    view.ShowModal();
}

void FrmLogging::cmdViewHist_Click()
{
    fd::Request r;
    r.kind = fd::Open;
    r.title = QStringLiteral("View Historical Log");
    r.filter = kCsvFilter;
    r.initialDir = DataFolder();
    const QString file = fd::ask(r, this);
    if (file.isEmpty())
        return; // cancelled

    for (const InstrumentRecord& rec : gInstruments) {
        if (file == rec.LogFile && rec.LogState == 1) {
            mb::MsgBox(rec.LogFile + QLatin1Char('\r') +
                           QStringLiteral("This file is currently being logged to and cannot be viewed "
                                          "Historically."),
                       mb::OKOnly | mb::Exclamation, QStringLiteral("File Currently Active"), this);
            return;
        }
    }

    if (gViewApp.trimmed().isEmpty())
        rt::raise(rt::ErrIllegalCall);
    // The viewer runs on its own; the program does not wait for it.
    if (!QProcess::startDetached(gViewApp, {file}))
        rt::raise(rt::ErrFileNotFound,
                  rt::describe(rt::ErrFileNotFound) + QStringLiteral(": the log viewer program >") + gViewApp);
}

void FrmLogging::showChosen()
{
    ctl::guard(this, QStringLiteral("frmLogging.lstControls_Click"), [this] { lstControls_Click(); });
}

void FrmLogging::cmdClose_Click() { Unload(); }

void FrmLogging::lblNameText_Click() { lblNameText->setToolTip(lblNameText->text()); }
