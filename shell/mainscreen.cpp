#include "shell/mainscreen.h"

#include <QAction>
#include <QMenuBar>

#include "config/frmConfig.h"
#include "core/startup.h"
#include "monitor/frmLogging.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmStatus.h"
#include "platform/app.h"
#include "platform/controls.h"
#include "shell/frmCommSetup.h"
#include "shell/frmFind.h"
#include "shell/frmMain.h"
#include "shell/frmRegister.h"
#include "shell/frmTerminal.h"
#include "shell/frmZarnLink.h"

using modZarn::SwitchForm;

namespace {
constexpr int kFormWidth = 640;

QPushButton* button(QWidget* parent, const QString& caption, int x, int w)
{
    auto* b = new CommandButton(caption, parent);
    b->setGeometry(x, 30, w, 40);
    return b;
}
} // namespace

MainScreen::MainScreen()
{
    menuBar = new QMenuBar(this);
    menuBar->setGeometry(0, 0, kFormWidth, 24);
    QMenu* mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFileExit = mnuFile->addAction(QStringLiteral("E&xit"));
    QMenu* mnuComm = menuBar->addMenu(QStringLiteral("Communications"));
    mnuCommSetup = mnuComm->addAction(QStringLiteral("Setup"));
    mnuCommTerm = mnuComm->addAction(QStringLiteral("Terminal"));
    mnuCommRegister = mnuComm->addAction(QStringLiteral("Register Access"));
    mnuZarnLink = mnuComm->addAction(QStringLiteral("Zarn Link Access"));

    cmdConfigureController = button(this, QStringLiteral("   &Configure   Instrument"), 8, 84);
    cmdStatus = button(this, QStringLiteral("   Instrument  &Status"), 94, 74);
    cmdFind = button(this, QStringLiteral("   F&ind     Instruments"), 172, 74);
    cmdGraph = button(this, QStringLiteral("&Graphing"), 250, 74);
    cmdMainMenu = button(this, QStringLiteral("   &Main Menu Screen"), 328, 74);
    cmdLogging = button(this, QStringLiteral("&Logging"), 406, 70);
    cmdSetpoints = button(this, QStringLiteral("  &Edit   Setpoints"), 480, 74);
    cmdMonitor = button(this, QStringLiteral("S&ystem Monitor"), 558, 74);

    connect(cmdConfigureController, &QPushButton::clicked, this, [this] { cmdConfigureController_Click(); });
    connect(cmdStatus, &QPushButton::clicked, this, [this] { cmdStatus_Click(); });
    connect(cmdFind, &QPushButton::clicked, this, [this] { cmdFind_Click(); });
    connect(cmdGraph, &QPushButton::clicked, this, [this] { cmdGraph_Click(); });
    connect(cmdMainMenu, &QPushButton::clicked, this, [this] { cmdMainMenu_Click(); });
    connect(cmdLogging, &QPushButton::clicked, this, [this] { cmdLogging_Click(); });
    connect(cmdSetpoints, &QPushButton::clicked, this, [this] { cmdSetpoints_Click(); });
    connect(cmdMonitor, &QPushButton::clicked, this, [this] { cmdMonitor_Click(); });
    connect(mnuFileExit, &QAction::triggered, this, [this] { mnuFileExit_Click(); });
    connect(mnuCommSetup, &QAction::triggered, this, [this] { mnuCommSetup_Click(); });
    connect(mnuCommTerm, &QAction::triggered, this, [this] { mnuCommTerm_Click(); });
    connect(mnuCommRegister, &QAction::triggered, this, [this] { mnuCommRegister_Click(); });
    connect(mnuZarnLink, &QAction::triggered, this, [this] { mnuZarnLink_Click(); });

    // Screens that are not part of this build yet.
    cmdGraph->setEnabled(false);

    cmdMonitor->setEnabled(false);

}

void MainScreen::Form_Unload(int& cancel)
{
    (void)cancel;
    App::end(0);
}

void MainScreen::cmdConfigureController_Click() { SwitchForm(*this, frmConfig()); }
void MainScreen::cmdFind_Click() { SwitchForm(*this, frmFind()); }
void MainScreen::cmdMainMenu_Click() { SwitchForm(*this, frmMain()); }
void MainScreen::cmdLogging_Click() { frmLogging().ShowModal(); }
void MainScreen::cmdStatus_Click() { SwitchForm(*this, frmStatus()); }
void MainScreen::cmdSetpoints_Click() { frmSetpoints().ShowModal(); }
void MainScreen::mnuFileExit_Click() { Unload(); }
void MainScreen::mnuCommSetup_Click() { frmCommSetup().ShowModal(); }
void MainScreen::mnuCommTerm_Click() { frmTerminal().ShowModal(); }
void MainScreen::mnuCommRegister_Click() { frmRegister().ShowModal(); }
void MainScreen::mnuZarnLink_Click() { frmZarnLink().ShowModal(); }

// Screens that are not part of this build yet.
void MainScreen::cmdGraph_Click() {}

void MainScreen::cmdMonitor_Click() {}

