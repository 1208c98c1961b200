#pragma once
// The main menu: navigation to every screen, the Communications menu, demo
// mode, title/version/logo, and the controls the whole program shares (the
// serial port, the logging timer, the lamps and the shared error line).
#include <QLabel>
#include <QPushButton>

#include "platform/controls.h"
#include "platform/form.h"
#include "platform/serialport.h"

class QMenuBar;
class QAction;

class FrmMain : public Form {
    Q_OBJECT
public:
    FrmMain();

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(int& cancel) override;

    // ---- program-wide controls ----
    SerialPortControl& comPort;
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

    QPushButton* cmdConfigureController;
    QPushButton* cmdStatus;
    QPushButton* cmdFind;
    QPushButton* cmdGraph;
    QPushButton* cmdMainMenu;
    QPushButton* cmdSetpoints;
    QPushButton* cmdLogging;
    QPushButton* cmdMonitor;
    QPushButton* cmdDemoMode;

    QMenuBar* menuBar;
    QAction* mnuFileExit;
    QAction* mnuCommSetup;
    QAction* mnuCommTerm;
    QAction* mnuCommRegister;
    QAction* mnuZarnLink;

    // ---- handlers ----
    void cmdConfigureController_Click();
    void cmdStatus_Click();
    void cmdFind_Click();
    void cmdGraph_Click();
    void cmdMainMenu_Click();
    void cmdSetpoints_Click();
    void cmdLogging_Click();
    void cmdMonitor_Click();
    void cmdDemoMode_Click();
    void mnuFileExit_Click();
    void mnuCommSetup_Click();
    void mnuCommTerm_Click();
    void mnuCommRegister_Click();
    void mnuZarnLink_Click();
    // The logging engine's tick.
    void tmrLogging_Timer();
    // When the logging engine last wrote the shared error line (seconds since
    // local midnight).
    double LastLogErrorTime = 0;
};

FrmMain& frmMain();
