#include "shell/frmMain.h"

#include <QPixmap>

#include "core/commport.h"
#include "core/startup.h"
#include "core/state.h"
#include "monitor/logging_engine.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/textfile.h"
#include "shell/frmTerminal.h"

using namespace modZarn;

FrmMain& frmMain() { return Forms::get<FrmMain>(); }

void FrmMain::tmrLogging_Timer() { LoggingEngineTick(*this); }

namespace {
// Form width the logo is centred in (9600 twips).
constexpr int kFormWidth = 640;

Shape* lamp(QWidget* parent, int x, int y)
{
    auto* s = new Shape(parent);
    s->setGeometry(x, y, 18, 18);
    return s;
}
} // namespace

FrmMain::FrmMain()
    : comPort(CommPort()), tmrLogging(50, [this] { tmrLogging_Timer(); }, this)
{
    setObjectName(QStringLiteral("frmMain"));
    setFixedSize(kFormWidth, 470);

    lblTitle = new QLabel(this);
    lblTitle->setGeometry(0, 32, kFormWidth, 32);
    lblTitle->setAlignment(Qt::AlignCenter);
    QFont tf = lblTitle->font();
    tf.setPointSize(16);
    tf.setBold(true);
    lblTitle->setFont(tf);

    imgCompany = new QLabel(this);
    imgCompany->setGeometry((kFormWidth - 240) / 2, 72, 240, 60);

    lblVersion = new QLabel(this);
    lblVersion->setGeometry(0, 140, kFormWidth, 20);
    lblVersion->setAlignment(Qt::AlignCenter);
    lblBeta = new QLabel(QStringLiteral("BETA"), this);
    lblBeta->setGeometry(kFormWidth - 80, 140, 60, 20);
    lblBeta->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    lblDemoMode = new QLabel(QStringLiteral("Demo Mode"), this);
    lblDemoMode->setGeometry(20, 140, 120, 20);
    lblDemoMode->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    lblDemoMode->setVisible(false);

    const int row1 = 176, row2 = 228;
    cmdConfigureController->setGeometry(20, row1, 116, 44);
    cmdStatus->setGeometry(144, row1, 116, 44);
    cmdFind->setGeometry(268, row1, 116, 44);
    cmdGraph->setGeometry(392, row1, 116, 44);
    cmdMainMenu->setGeometry(516, row1, 104, 44);
    cmdSetpoints->setGeometry(20, row2, 116, 44);
    cmdLogging->setGeometry(144, row2, 116, 44);
    cmdMonitor->setGeometry(268, row2, 116, 44);
    setTabOrder(cmdMainMenu, cmdSetpoints); // this screen reads its rows left to right
    cmdDemoMode = new CommandButton(QStringLiteral("Toggle Demo Mode"), this);
    cmdDemoMode->setGeometry(392, row2, 116, 44);

    shpComms = lamp(this, 40, 300);
    lblComms = new QLabel(QStringLiteral("Comms Established"), this);
    lblComms->setGeometry(66, 298, 200, 22);
    shpLogging = lamp(this, 40, 328);
    lblLogging = new QLabel(QStringLiteral("Log Session(s) in Progress"), this);
    lblLogging->setGeometry(66, 326, 240, 22);
    shpGraphing = lamp(this, 40, 356);
    lblGraphing = new QLabel(QStringLiteral("Graph Recording in Progress"), this);
    lblGraphing->setGeometry(66, 354, 240, 22);

    lblErrorMessageText = new QLabel(this);
    lblErrorMessageText->setGeometry(20, 400, kFormWidth - 40, 48);
    lblErrorMessageText->setWordWrap(true);
    lblErrorMessageText->setStyleSheet(QStringLiteral("color: #a00000"));

    connect(cmdDemoMode, &QPushButton::clicked, this, [this] { cmdDemoMode_Click(); });
}

void FrmMain::Form_Load()
{
    // Nothing here may stop the main menu from showing: every step swallows
    // its own failure and the next one runs.
    QString title;
    try {
        rt::InputFile f(App::file(gKT9PMode ? QStringLiteral("Apptitle-1.txt") : QStringLiteral("Apptitle.txt")));
        title = f.lineInput();
    } catch (const rt::RtError&) {
    }
    setWindowTitle(title);
    lblTitle->setText(title);

    lblVersion->setText(QStringLiteral("VERSION ") + rt::Str(App::major()) +
                        QStringLiteral(".%1.%2")
                            .arg(App::minor(), 2, 10, QLatin1Char('0'))
                            .arg(App::revision(), 2, 10, QLatin1Char('0')));
    lblBeta->setVisible(App::major() < 1);

    QPixmap logo;
    if (logo.load(App::file(gKT9PMode ? QStringLiteral("Company-1.bmp") : QStringLiteral("Company.bmp")))) {
        imgCompany->setPixmap(logo);
        imgCompany->resize(logo.size());
    }
    imgCompany->move((kFormWidth - imgCompany->width()) / 2, imgCompany->y());

    lblErrorMessageText->clear();
}

void FrmMain::Form_Activate()
{
    // Demo mode may have changed while another screen was shown.
    lblDemoMode->setVisible(gDemoMode);
}

void FrmMain::cmdDemoMode_Click()
{
    gDemoMode = !gDemoMode;
    lblDemoMode->setVisible(gDemoMode);
}

void FrmMain::mnuCommTerm_Click()
{
    // The terminal shares the serial line with logging, so logging stops first.
    try {
        if (gInstruments.LoggingActive) {
            const int answer = mb::MsgBox(
                QStringLiteral("Warning: logging session(s) are currently in progress - In order to use the "
                               "terminal, all logging must be stopped.  Are sure you wish to display the Terminal?"),
                mb::YesNo | mb::DefaultButton2 | mb::Question, QStringLiteral("Display Terminal?"), this);
            if (answer == mb::No)
                return;
        }
        for (InstrumentRecord& r : gInstruments)
            if (r.LogState == 1)
                r.LogState = 2;
        tmrLogging_Timer();
        frmTerminal().ShowModal();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("frmMain.mnuCommTerm_Click"));
    }
}
