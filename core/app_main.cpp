// Quinrex3 entry point: the module's start-up routine does the work.
#include <QApplication>
#include <QStringList>

#include "core/startup.h"
#include "platform/app.h"
#include "platform/form.h"
#include "shell/frmMain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    App::useDesignLook();

    // The command line behind the program's name, as one text (a quoted file
    // name keeps its quotes for the command-line send to parse).
    QStringList rest = app.arguments().mid(1);
    for (QString& a : rest)
        if (a.contains(QLatin1Char(' ')))
            a = QLatin1Char('"') + a + QLatin1Char('"');
    App::setCommandLine(rest.join(QLatin1Char(' ')));

    modZarn::main();
    // Start-up that failed before the main menu was shown ends the program.
    if (!Forms::isLoaded<FrmMain>() || !frmMain().isVisible())
        return 1;
    return app.exec();
}
