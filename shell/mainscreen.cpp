#include "shell/mainscreen.h"

#include <QAction>
#include <QMenuBar>

#include "platform/app.h"
#include "platform/controls.h"
#include "shell/frmCommSetup.h"
#include "shell/frmRegister.h"
#include "shell/frmTerminal.h"
#include "shell/frmZarnLink.h"
#include "shell/navigation.h"

using Nav::Target;

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

    // A button is enabled exactly when the navigation table has its screen.
    const std::pair<QPushButton*, Target> row[] = {
        {cmdConfigureController, Target::Configure}, {cmdStatus, Target::Status},
        {cmdFind, Target::Find},                     {cmdGraph, Target::Graph},
        {cmdMainMenu, Target::MainMenu},             {cmdLogging, Target::Logging},
        {cmdSetpoints, Target::Setpoints},           {cmdMonitor, Target::Monitor},
    };
    for (const auto& [button, target] : row)
        button->setEnabled(Nav::available(target));
}

void MainScreen::Form_Unload(int& cancel)
{
    (void)cancel;
    App::end(0);
}

void MainScreen::cmdConfigureController_Click() { Nav::open(Target::Configure, *this); }
void MainScreen::cmdStatus_Click() { Nav::open(Target::Status, *this); }
void MainScreen::cmdFind_Click() { Nav::open(Target::Find, *this); }
void MainScreen::cmdGraph_Click() { Nav::open(Target::Graph, *this); }
void MainScreen::cmdMainMenu_Click() { Nav::open(Target::MainMenu, *this); }
void MainScreen::cmdLogging_Click() { Nav::open(Target::Logging, *this); }
void MainScreen::cmdSetpoints_Click() { Nav::open(Target::Setpoints, *this); }
void MainScreen::cmdMonitor_Click() { Nav::open(Target::Monitor, *this); }
void MainScreen::mnuFileExit_Click() { Unload(); }
void MainScreen::mnuCommSetup_Click() { frmCommSetup().ShowModal(); }
void MainScreen::mnuCommTerm_Click() { frmTerminal().ShowModal(); }
void MainScreen::mnuCommRegister_Click() { frmRegister().ShowModal(); }
void MainScreen::mnuZarnLink_Click() { frmZarnLink().ShowModal(); }
