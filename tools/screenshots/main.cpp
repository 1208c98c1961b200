// Grabs every tab page of the configuration screen, once per controller
// group, into PNG files, offscreen, for review of the layout.
//   config-screenshots <data folder> <output folder>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "config/frmConfig.h"
#include "core/deffiles.h"
#include "core/state.h"
#include "platform/app.h"
#include "platform/msgbox.h"

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    App::ignoreDesktopSettings();
    QApplication app(argc, argv);
    App::useDesignLook();
    if (argc != 3) {
        std::fprintf(stderr, "usage: config-screenshots <data folder> <output folder>\n");
        return 2;
    }
    App::setPath(QString::fromLocal8Bit(argv[1]));
    const QDir out(QString::fromLocal8Bit(argv[2]));
    // Definition-file problems are printed, not asked about.
    mb::setHandler([](const mb::Call& c) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(c.title), qPrintable(c.text));
        return mb::defaultAnswer(c.style);
    });
    for (int g = 0; g <= 2; ++g) {
        modZarn::ResetSharedState();
        modZarn::gControllerGroup = g;
        modZarn::gProtocolCode = g == 0 ? QStringLiteral("Z") : g == 1 ? QStringLiteral("R") : QStringLiteral("A");
        modZarn::ReadDefinitionFiles();
        Forms::discardAll();
        FrmConfig& f = frmConfig();
        f.Show();
        TabStrip* strip = f.tabConfig(g);
        for (int t = 0; t < strip->Tabs(); ++t) {
            strip->setTab(t);
            const QString name = out.filePath(QStringLiteral("config-group%1-tab%2.png").arg(g).arg(t));
            if (!f.grab().save(name)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
                return 1;
            }
        }
    }
    Forms::discardAll();
    return 0;
}
