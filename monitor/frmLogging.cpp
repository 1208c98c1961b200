#include "monitor/frmLogging.h"

#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QProcess>
#include <cmath>

#include "core/helpers.h"
#include "core/state.h"
#include "core/sysconfig.h"
#include "monitor/frmViewLog.h"
#include "monitor/logging_format.h"
#include "platform/clock.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/textfile.h"

using namespace modZarn;

FrmLogging& frmLogging() { return Forms::get<FrmLogging>(); }

int WholeUnits(float entry, int factor)
{
    const double x = double(entry) * factor;
    return int(std::floor(x + std::fabs(x) * 1e-6));
}

namespace {

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h = 20)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

QPushButton* button(QWidget* parent, const QString& caption, int x, int y)
{
    auto* b = new QPushButton(caption, parent);
    b->setGeometry(x, y, 100, 30);
    return b;
}

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
    setFixedSize(640, 400);
    setEnterMovesFocus(true);

    lblControls = label(this, QStringLiteral("Address           Name"), 12, 10, 260);
    lstControls = new QListWidget(this);
    lstControls->setGeometry(12, 32, 260, 300);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    lstControls->setFont(fixed);
    lblControls->setFont(fixed);
    lblInstruction = label(this, QStringLiteral("Click a control in this list box to access logging functions.   "
                                                "                  <---"),
                           12, 340, 610, 20);

    lblAddress = label(this, QStringLiteral("Address:"), 290, 32, 70);
    lblAddressText = label(this, QString(), 365, 32, 260);
    lblName = label(this, QStringLiteral("Name:"), 290, 56, 70);
    lblNameText = label(this, QString(), 365, 56, 260);
    lblStatus = label(this, QStringLiteral("Status:"), 290, 80, 70);
    lblStatusText = label(this, QString(), 365, 80, 100);
    lblStatusText->setAlignment(Qt::AlignCenter);
    lblStatusText->setAutoFillBackground(true);
    lblStartTimeText = label(this, QString(), 290, 104, 340);

    fraDuration = new QGroupBox(QStringLiteral("Duration"), this);
    fraDuration->setGeometry(290, 132, 160, 100);
    auto* hours = new QRadioButton(QStringLiteral("Hours"), fraDuration);
    hours->setGeometry(10, 22, 70, 22);
    auto* minutes = new QRadioButton(QStringLiteral("Minutes"), fraDuration);
    minutes->setGeometry(80, 22, 75, 22);
    optHoursMins.add(0, hours);
    optHoursMins.add(1, minutes);
    txtDuration = new QLineEdit(fraDuration);
    txtDuration->setGeometry(10, 56, 90, 24);
    lblHoursMins = label(fraDuration, QString(), 106, 58, 50);

    fraRate = new QGroupBox(QStringLiteral("Rate"), this);
    fraRate->setGeometry(462, 132, 166, 100);
    auto* minLog = new QRadioButton(QStringLiteral("min/log"), fraRate);
    minLog->setGeometry(10, 22, 75, 22);
    auto* secLog = new QRadioButton(QStringLiteral("sec/log"), fraRate);
    secLog->setGeometry(86, 22, 75, 22);
    optMinSec.add(0, minLog);
    optMinSec.add(1, secLog);
    txtRate = new QLineEdit(fraRate);
    txtRate->setGeometry(10, 56, 90, 24);
    lblMinSec = label(fraRate, QString(), 106, 58, 56);

    cmdStart = button(this, QStringLiteral("&Start Log..."), 290, 250);
    cmdStop = button(this, QStringLiteral("S&top Log"), 400, 250);
    cmdView = button(this, QStringLiteral("&View Current"), 510, 250);
    cmdViewHist = button(this, QStringLiteral("View &Hist..."), 290, 292);
    cmdClose = button(this, QStringLiteral("C&lose"), 510, 292);

    // Only a chosen entry counts: the list taking the focus makes its first
    // row current without choosing it. A click on the chosen entry shows
    // its state afresh.
    lstControls->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(lstControls, &QListWidget::itemSelectionChanged, this, [this] { lstControls_Click(); });
    connect(lstControls, &QListWidget::itemClicked, this, [this] { lstControls_Click(); });
    for (int k = 0; k <= 1; ++k) {
        connect(optHoursMins(k), &QRadioButton::clicked, this, [this, k] { optHoursMins_Click(k); });
        connect(optMinSec(k), &QRadioButton::clicked, this, [this, k] { optMinSec_Click(k); });
    }
    connect(txtDuration, &QLineEdit::textChanged, this, [this] { txtDuration_Change(); });
    connect(txtRate, &QLineEdit::textChanged, this, [this] { txtRate_Change(); });
    txtDuration->installEventFilter(this);
    txtRate->installEventFilter(this);
    lblNameText->installEventFilter(this);
    connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { cmdStop_Click(); });
    connect(cmdView, &QPushButton::clicked, this, [this] { cmdView_Click(); });
    connect(cmdViewHist, &QPushButton::clicked, this, [this] { cmdViewHist_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

bool FrmLogging::eventFilter(QObject* obj, QEvent* e)
{
    if (obj == txtDuration || obj == txtRate) {
        if (e->type() == QEvent::FocusIn) {
            obj == txtDuration ? txtDuration_GotFocus() : txtRate_GotFocus();
        } else if (e->type() == QEvent::FocusOut) {
            // Only a move to another control of the dialog, not a message
            // box or another window taking the focus for a while.
            const Qt::FocusReason why = static_cast<QFocusEvent*>(e)->reason();
            if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
                obj == txtDuration ? txtDuration_LostFocus() : txtRate_LostFocus();
        }
    } else if (obj == lblNameText && e->type() == QEvent::MouseButtonRelease) {
        lblNameText_Click();
    }
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
    const bool was = Loading;
    Loading = true;
    box->setText(text);
    Loading = was;
}

void FrmLogging::Form_Load()
{
    try {
        Loading = true;
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
        Loading = false;
    } catch (const rt::RtError& e) {
        Loading = false;
        mb::AppError(this, e, QStringLiteral("frmLogging.Form_Load"));
    }
}

void FrmLogging::lstControls_Click()
{
    if (Loading)
        return;
    try {
        Screen::setMousePointer(Screen::Hourglass);
        Loading = true;
        const QList<QListWidgetItem*> chosen = lstControls->selectedItems();
        SelectedIndex = chosen.isEmpty() ? -1 : lstControls->row(chosen.first());
        const int i = SelectedIndex;
        const InstrumentRecord* rec = i >= 0 && i < gInstruments.Count() ? &gInstruments[i] : nullptr;
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
        Screen::setMousePointer(Screen::Default);
        Loading = false;

        if (rec) {
            // The stored values are shown in their units; showing them stores nothing.
            const int durationUnits = rec->DurationUnits == 1 ? 1 : 0;
            const int rateUnits = rec->RateUnits == 1 ? 1 : 0;
            optHoursMins(durationUnits)->setChecked(true);
            optHoursMins_Click(durationUnits);
            optMinSec(rateUnits)->setChecked(true);
            optMinSec_Click(rateUnits);
        }
    } catch (const rt::RtError& e) {
        Screen::setMousePointer(Screen::Default);
        Loading = false;
        mb::AppError(this, e, QStringLiteral("frmLogging.lstControls_Click"));
    }
}

void FrmLogging::optHoursMins_Click(int Index)
{
    if (Loading)
        return;
    try {
        const int i = SelectedIndex;
        if (i < 0 || i >= gInstruments.Count())
            return;
        InstrumentRecord& rec = gInstruments[i];
        const bool unitChanged = rec.DurationUnits != Index;
        rec.DurationUnits = Index;
        if (Index == 1) {
            lblHoursMins->setText(QStringLiteral("min"));
            setTextQuietly(txtDuration, rt::Format(rec.LogDuration, QStringLiteral("0")));
        } else {
            lblHoursMins->setText(QStringLiteral("hr"));
            setTextQuietly(txtDuration, rt::Format(float(rec.LogDuration) / 60.0f, QStringLiteral("0.00")));
        }
        Changed = false;
        // A stored duration no entry could give (set elsewhere, 0 minutes
        // ending a session at once) goes through the entry rule now.
        if (rec.LogDuration < 1 || rec.LogDuration > 28800) {
            Changed = true;
            txtDuration_LostFocus();
        } else if (unitChanged) {
            SaveSystemConfig();
        }
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmLogging.optHoursMins_Click"));
    }
}

void FrmLogging::optMinSec_Click(int Index)
{
    if (Loading)
        return;
    try {
        const int i = SelectedIndex;
        if (i < 0 || i >= gInstruments.Count())
            return;
        InstrumentRecord& rec = gInstruments[i];
        const bool unitChanged = rec.RateUnits != Index;
        rec.RateUnits = Index;
        if (Index == 1) {
            lblMinSec->setText(QStringLiteral("sec/log"));
            setTextQuietly(txtRate, rt::Format(rec.LogRate, QStringLiteral("0.0")));
        } else {
            lblMinSec->setText(QStringLiteral("min/log"));
            setTextQuietly(txtRate, rt::Format(rec.LogRate / 60.0f, QStringLiteral("0.00")));
        }
        Changed = false;
        // Likewise a stored rate no entry could give (0 s cannot be sampled).
        if (!(rec.LogRate >= 0.1f && rec.LogRate <= 3600)) {
            Changed = true;
            txtRate_LostFocus();
        } else if (unitChanged) {
            SaveSystemConfig();
        }
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmLogging.optMinSec_Click"));
    }
}

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

void FrmLogging::txtDuration_LostFocus()
{
    // Only the user's own edits go through the entry rules: the shown text
    // is rounded, and storing it back would shift the stored value.
    if (Loading || !Changed)
        return;
    try {
        const int i = SelectedIndex;
        if (i < 0 || i >= gInstruments.Count())
            return;
        InstrumentRecord& rec = gInstruments[i];
        Loading = true;
        double d = Entry(txtDuration);
        if (optHoursMins(0)->isChecked()) {
            if (d < 0.01)
                d = 0.01;
            if (d > 480)
                d = 480;
            const float hours = float(d);
            // At least a minute: a session of 0 minutes would end at once.
            rec.LogDuration = std::max(1, WholeUnits(hours, 60));
            txtDuration->setText(rt::Format(hours, QStringLiteral("0.00")));
        } else {
            if (!(d >= 1))
                d = 1;
            if (d > 28800)
                d = 28800;
            rec.LogDuration = int(std::floor(float(d)));
            txtDuration->setText(rt::Format(rec.LogDuration, QStringLiteral("0")));
        }
        Loading = false;
        if (Changed) {
            SaveSystemConfig();
            Changed = false;
        }
    } catch (const rt::RtError& e) {
        Loading = false;
        mb::AppError(this, e, QStringLiteral("frmLogging.txtDuration_LostFocus"));
    }
}

void FrmLogging::txtRate_LostFocus()
{
    if (Loading || !Changed)
        return;
    try {
        const int i = SelectedIndex;
        if (i < 0 || i >= gInstruments.Count())
            return;
        InstrumentRecord& rec = gInstruments[i];
        Loading = true;
        double r = Entry(txtRate);
        if (optMinSec(0)->isChecked()) {
            if (r < 0.01)
                r = 0.01;
            if (r > 60)
                r = 60;
            const float minutes = float(r);
            // Whole seconds, at least one: a rate of 0 cannot be sampled.
            rec.LogRate = float(std::max(1, WholeUnits(minutes, 60)));
            txtRate->setText(rt::Format(minutes, QStringLiteral("0.00")));
        } else {
            if (r < 0.1)
                r = 0.1;
            if (r > 3600)
                r = 3600;
            rec.LogRate = float(r);
            txtRate->setText(rt::Format(float(r), QStringLiteral("0.0")));
        }
        Loading = false;
        if (Changed) {
            SaveSystemConfig();
            Changed = false;
        }
    } catch (const rt::RtError& e) {
        Loading = false;
        mb::AppError(this, e, QStringLiteral("frmLogging.txtRate_LostFocus"));
    }
}

void FrmLogging::cmdStart_Click()
{
    try {
        const int i = SelectedIndex;
        if (i < 0 || i >= gInstruments.Count())
            return;
        InstrumentRecord& rec = gInstruments[i];
        fd::Request r;
        r.kind = fd::Save;
        r.title = QStringLiteral("Start Log File");
        r.filter = kCsvFilter;
        r.initialDir = gDefaultFolder;
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
                mb::MsgBox(file + QLatin1Char('\r') + QStringLiteral("The existing file could not be deleted (") +
                               e.description() + QStringLiteral("), so logging has not been started."),
                           mb::OKOnly | mb::Exclamation, QStringLiteral("Start Log File"), this);
                return;
            }
        }

        rec.LogFile = file;
        rec.LogStartDate = logfmt::DateNumber(Clock::localNow());
        rec.LogStartSec = UtcNow() * 86400;
        rec.LogNextSec = 0;
        rec.LogState = 1;
        lstControls_Click();
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmLogging.cmdStart_Click"));
    }
}

void FrmLogging::cmdStop_Click()
{
    try {
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
        lstControls_Click();
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmLogging.cmdStop_Click"));
    }
}

void FrmLogging::cmdView_Click()
{
    try {
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
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmLogging.cmdView_Click"));
    }
}

void FrmLogging::cmdViewHist_Click()
{
    try {
        fd::Request r;
        r.kind = fd::Open;
        r.title = QStringLiteral("View Historical Log");
        r.filter = kCsvFilter;
        r.initialDir = gDefaultFolder;
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
            rt::raise(rt::ErrFileNotFound);
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmLogging.cmdViewHist_Click"));
    }
}

void FrmLogging::cmdClose_Click() { Unload(); }

void FrmLogging::lblNameText_Click() { lblNameText->setToolTip(lblNameText->text()); }
