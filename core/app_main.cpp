// Quinrex3 entry point: the module's start-up routine does the work.
#include <QApplication>
#include <cstdio>
#include <iostream>
#include <string>

#include "core/startup.h"
#include "platform/app.h"
#include "platform/form.h"
#include "platform/msgbox.h"
#include "shell/frmMain.h"

namespace {

// For tests that run the program itself: with QX_TEST_BOXES set, no box is
// shown; each is reported on standard error as "box: <title> | <text>" and
// answered by the next line of standard input ("Yes", "No", "OK", "Cancel";
// an empty line or the end of input presses the box's default button).
void answerBoxesFromStdin()
{
    mb::setHandler([](const mb::Call& c) {
        QString text = c.text;
        text.replace(QLatin1Char('\r'), QLatin1String(" / ")).replace(QLatin1Char('\n'), QLatin1String(" / "));
        std::fprintf(stderr, "box: %s | %s\n", c.title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
        std::fflush(stderr);
        std::string line;
        if (!std::getline(std::cin, line))
            line.clear();
        for (const auto& [name, answer] : {std::pair{"Yes", mb::Yes}, {"No", mb::No}, {"OK", mb::OK},
                                          {"Cancel", mb::Cancel}})
            if (line == name)
                return int(answer);
        return mb::defaultAnswer(c.style);
    });
}

} // namespace

int main(int argc, char** argv)
{
    App::ignoreDesktopSettings();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    App::useDesignLook();
    if (!qEnvironmentVariableIsEmpty("QX_TEST_BOXES"))
        answerBoxesFromStdin();

    // The command line behind the program's name, as one text (a quoted file
    // name keeps its quotes for the command-line send to parse).
    App::setCommandLine(App::commandLineOf(app.arguments().mid(1)));

    modZarn::main();
    // Start-up that failed before the main menu was shown ends the program.
    if (!Forms::isLoaded<FrmMain>() || !frmMain().isVisible())
        return 1;
    const int code = app.exec();
    return code != 0 ? code : App::exitStatus();
}
