#pragma once
// The main menu: navigation to every screen, the Communications menu, demo
// mode, title/version/logo, and the controls the whole program shares (the
// serial port, the logging timer, the lamps and the shared error line).
#include <QLabel>
#include <QPushButton>

#include "platform/controls.h"
#include "shell/mainscreen.h"

class FrmMain : public MainScreen {
    Q_OBJECT
public:
    FrmMain();

    void Form_Load() override;
    void Form_Activate() override;

    // ---- program-wide controls ----
    Timer tmrLogging;
    Shape* shpComms;
    Shape* shpLogging;
    Shape* shpGraphing;
    QLabel* lblComms;
    QLabel* lblLogging;
    QLabel* lblGraphing;
    QLabel* lblErrorMessageText;
    QLabel* lblDemoMode;
    QLabel* lblBeta;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* imgCompany;

    QPushButton* cmdDemoMode;

    // ---- handlers ----
    void cmdDemoMode_Click();
    // Asks before it stops logging to give the terminal the line.
    void mnuCommTerm_Click() override;
    // The logging engine's tick (monitor/logging_engine.h).
    void tmrLogging_Timer();
    // When the logging engine last wrote the shared error line (seconds since
    // local midnight).
    double LastLogErrorTime = 0;
};

FrmMain& frmMain();
