#pragma once
// What every main screen carries: the File and Communications menus and the
// row of navigation buttons, with their standard actions. A button switches
// to its screen at the same place; the Communications tools and the logging
// dialog open modal; a screen this build does not have keeps its button
// disabled. Closing any main screen ends the program, after every main
// screen, shown or hidden, has asked about edits it would lose.
#include <QPushButton>

#include "platform/form.h"

class QMenuBar;
class QAction;

class MainScreen : public Form {
    Q_OBJECT
public:
    // Builds the menu bar and the buttons in one row under it; a screen
    // with another layout moves them.
    MainScreen();

    // Closing a main screen ends the program, once every loaded main screen
    // has been asked about what it would lose (AskBeforeProgramEnds).
    void Form_Unload(int& cancel) override;
    // Asked before the program ends, whichever main screen ends it and
    // whether or not this one is shown: a screen holding unsaved edits asks
    // the user, its question standing over `closing` (the screen the user is
    // ending the program from); a nonzero cancel keeps the program running.
    virtual void AskBeforeProgramEnds(int& cancel, QWidget* closing)
    {
        (void)closing;
        cancel = 0;
    }

    QPushButton* cmdConfigureController;
    QPushButton* cmdStatus;
    QPushButton* cmdFind;
    QPushButton* cmdGraph;
    QPushButton* cmdMainMenu;
    QPushButton* cmdLogging;
    QPushButton* cmdSetpoints;
    QPushButton* cmdMonitor;

    QMenuBar* menuBar;
    QAction* mnuFileExit;
    QAction* mnuCommSetup;
    QAction* mnuCommTerm;
    QAction* mnuCommRegister;
    QAction* mnuZarnLink;

    virtual void cmdConfigureController_Click();
    virtual void cmdStatus_Click();
    virtual void cmdFind_Click();
    virtual void cmdGraph_Click();
    virtual void cmdMainMenu_Click();
    virtual void cmdLogging_Click();
    virtual void cmdSetpoints_Click();
    virtual void cmdMonitor_Click();
    virtual void mnuFileExit_Click();
    virtual void mnuCommSetup_Click();
    virtual void mnuCommTerm_Click();
    virtual void mnuCommRegister_Click();
    virtual void mnuZarnLink_Click();

protected:
    // The menu bar spans the window, and the navigation row reads in one font.
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
};
