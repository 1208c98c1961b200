#include "shell/frmMain.h"

#include <QPixmap>

#include "core/startup.h"
#include "core/state.h"
#include "monitor/logging_engine.h"
#include "platform/app.h"
#include "platform/builders.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/textfile.h"
#include "platform/twips.h"
#include "shell/frmTerminal.h"

using namespace modZarn;

FrmMain& frmMain() { return Forms::get<FrmMain>(); }

void FrmMain::tmrLogging_Timer() { LoggingEngineTick(*this); }

namespace {
// Form width the logo is centred in.
constexpr int kFormWidth = 9600;
} // namespace

FrmMain::FrmMain()
    : tmrLogging(50, [this] { tmrLogging_Timer(); }, this)
{
    setObjectName(QStringLiteral("frmMain"));
    setFixedSize(tw::px(kFormWidth), tw::px(7050));

    lblTitle = ctl::label(this, QString(), 0, 480, kFormWidth, 480);
    lblTitle->setAlignment(Qt::AlignCenter);
    QFont tf = lblTitle->font();
    tf.setPointSize(16);
    tf.setBold(true);
    lblTitle->setFont(tf);

    imgCompany = ctl::label(this, QString(), (kFormWidth - 3600) / 2, 1080, 3600, 900);

    lblVersion = ctl::label(this, QString(), 0, 2100, kFormWidth, 300);
    lblVersion->setAlignment(Qt::AlignCenter);
    lblBeta = ctl::label(this, QStringLiteral("BETA"), kFormWidth - 1200, 2100, 900, 300);
    lblBeta->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    lblDemoMode = ctl::label(this, QStringLiteral("Demo Mode"), 300, 2100, 1800, 300);
    lblDemoMode->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    lblDemoMode->setVisible(false);

    // This screen shows the navigation buttons in two rows.
    const int row1 = 2640, row2 = 3420;
    tw::place(cmdConfigureController, 300, row1, 1740, 660);
    tw::place(cmdStatus, 2160, row1, 1740, 660);
    tw::place(cmdFind, 4020, row1, 1740, 660);
    tw::place(cmdGraph, 5880, row1, 1740, 660);
    tw::place(cmdMainMenu, 7740, row1, 1560, 660);
    tw::place(cmdSetpoints, 300, row2, 1740, 660);
    tw::place(cmdLogging, 2160, row2, 1740, 660);
    tw::place(cmdMonitor, 4020, row2, 1740, 660);
    setTabOrder(cmdMainMenu, cmdSetpoints); // this screen reads its rows left to right
    cmdDemoMode = ctl::button(this, QStringLiteral("cmdDemoMode"), QStringLiteral("Toggle Demo Mode"), 5880, row2,
                              1740, 660);

    shpComms = ctl::shape(this, QStringLiteral("shpComms"), 600, 4500, 270, 270);
    lblComms = ctl::label(this, QStringLiteral("Comms Established"), 990, 4470, 3000, 330);
    shpLogging = ctl::shape(this, QStringLiteral("shpLogging"), 600, 4920, 270, 270);
    lblLogging = ctl::label(this, QStringLiteral("Log Session(s) in Progress"), 990, 4890, 3600, 330);
    shpGraphing = ctl::shape(this, QStringLiteral("shpGraphing"), 600, 5340, 270, 270);
    lblGraphing = ctl::label(this, QStringLiteral("Graph Recording in Progress"), 990, 5310, 3600, 330);

    lblErrorMessageText = ctl::label(this, QString(), 300, 6000, kFormWidth - 600, 720);
    lblErrorMessageText->setWordWrap(true);
    lblErrorMessageText->setStyleSheet(QStringLiteral("color: #a00000"));

    ctl::on(cmdDemoMode, &QPushButton::clicked, "Click", [this] { cmdDemoMode_Click(); });
}

void FrmMain::Form_Load()
{
    // Nothing here may stop the main menu from showing: a step that fails is
    // passed over and the next one runs.
    QString title;
    ctl::skipOnFailure([&] {
        rt::InputFile f(App::file(gKT9PMode ? QStringLiteral("Apptitle-1.txt") : QStringLiteral("Apptitle.txt")));
        title = f.lineInput();
    });
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
    imgCompany->move((tw::px(kFormWidth) - imgCompany->width()) / 2, imgCompany->y());

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
}
