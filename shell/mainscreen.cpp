#include "shell/mainscreen.h"

#include <QAction>
#include <QMenuBar>
#include <QPointer>
#include <vector>

#include "platform/app.h"
#include "platform/builders.h"
#include "platform/fitting.h"
#include "platform/twips.h"
#include "shell/frmCommSetup.h"
#include "shell/frmRegister.h"
#include "shell/frmTerminal.h"
#include "shell/frmZarnLink.h"
#include "shell/navigation.h"

using Nav::Target;

namespace {
constexpr int kFormWidth = 9600;
} // namespace

MainScreen::MainScreen()
{
    menuBar = new QMenuBar(this);
    tw::place(menuBar, 0, 0, kFormWidth, 360);
    QMenu* mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFileExit = mnuFile->addAction(QStringLiteral("E&xit"));
    QMenu* mnuComm = menuBar->addMenu(QStringLiteral("Communications"));
    mnuCommSetup = mnuComm->addAction(QStringLiteral("Setup"));
    mnuCommTerm = mnuComm->addAction(QStringLiteral("Terminal"));
    mnuCommRegister = mnuComm->addAction(QStringLiteral("Register Access"));
    mnuZarnLink = mnuComm->addAction(QStringLiteral("Zarn Link Access"));

    // One row under the menu bar; a screen with another layout moves them.
    struct Row {
        QPushButton*& button;
        const char* name;
        const char* caption;
        int left, width;
        void (MainScreen::*handler)();
    };
    const Row buttons[] = {
        {cmdConfigureController, "cmdConfigureController", "   &Configure   Instrument", 120, 1260,
         &MainScreen::cmdConfigureController_Click},
        {cmdStatus, "cmdStatus", "   Instrument  &Status", 1410, 1110, &MainScreen::cmdStatus_Click},
        {cmdFind, "cmdFind", "   F&ind     Instruments", 2580, 1110, &MainScreen::cmdFind_Click},
        {cmdGraph, "cmdGraph", "&Graphing", 3750, 1110, &MainScreen::cmdGraph_Click},
        {cmdMainMenu, "cmdMainMenu", "   &Main Menu Screen", 4920, 1110, &MainScreen::cmdMainMenu_Click},
        {cmdLogging, "cmdLogging", "&Logging", 6090, 1050, &MainScreen::cmdLogging_Click},
        {cmdSetpoints, "cmdSetpoints", "  &Edit   Setpoints", 7200, 1110, &MainScreen::cmdSetpoints_Click},
        {cmdMonitor, "cmdMonitor", "S&ystem Monitor", 8370, 1110, &MainScreen::cmdMonitor_Click},
    };
    for (const Row& r : buttons) {
        r.button = ctl::button(this, QString::fromLatin1(r.name), QString::fromLatin1(r.caption), r.left, 450,
                               r.width, 600);
        // Virtual: a screen may answer a button its own way.
        ctl::on(r.button, &QPushButton::clicked, "Click", [this, h = r.handler] { (this->*h)(); });
    }
    ctl::onClick(mnuFileExit, this, QStringLiteral("mnuFileExit"), [this] { mnuFileExit_Click(); });
    ctl::onClick(mnuCommSetup, this, QStringLiteral("mnuCommSetup"), [this] { mnuCommSetup_Click(); });
    ctl::onClick(mnuCommTerm, this, QStringLiteral("mnuCommTerm"), [this] { mnuCommTerm_Click(); });
    ctl::onClick(mnuCommRegister, this, QStringLiteral("mnuCommRegister"), [this] { mnuCommRegister_Click(); });
    ctl::onClick(mnuZarnLink, this, QStringLiteral("mnuZarnLink"), [this] { mnuZarnLink_Click(); });
}

void MainScreen::resizeEvent(QResizeEvent* e)
{
    Form::resizeEvent(e);
    menuBar->resize(width(), menuBar->height());
}

void MainScreen::showEvent(QShowEvent* e)
{
    Form::showEvent(e);
    // Each screen has placed the row by now.
    std::vector<CommandButton*> row;
    for (QPushButton* b : {cmdConfigureController, cmdStatus, cmdFind, cmdGraph, cmdMainMenu, cmdLogging,
                           cmdSetpoints, cmdMonitor})
        if (auto* c = qobject_cast<CommandButton*>(b))
            row.push_back(c);
    ctl::evenCaptionFonts(row);
}

void MainScreen::Form_Unload(int& cancel)
{
    // Every way out of the program by a main screen comes here: a screen
    // left hidden with its edits (Graphing keeps the configuration's) is
    // asked as surely as the one being closed.
    // Watched: a question's loop may see another screen unloaded.
    std::vector<QPointer<MainScreen>> screens;
    for (Form* f : Forms::loaded())
        if (auto* screen = qobject_cast<MainScreen*>(f))
            screens.emplace_back(screen);
    for (const QPointer<MainScreen>& screen : screens) {
        if (!screen)
            continue;
        screen->AskBeforeProgramEnds(cancel, this);
        if (cancel)
            return;
    }
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
