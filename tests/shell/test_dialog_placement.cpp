// The dialogs of the main screens open over the window that opened them.
#include <QApplication>
#include <QScreen>
#include <QTimer>

#include "platform/form.h"
#include "shell/frmMain.h"
#include "support/testenv.h"

using DialogPlacementTest = QxTest;

TEST_F(DialogPlacementTest, EveryDialogOpensWithItsCentreOverItsOpener)
{
    FrmMain& m = frmMain();
    m.Show();
    const std::pair<const char*, std::function<void()>> openers[] = {
        {"set-up", [&] { m.mnuCommSetup->trigger(); }},
        {"terminal", [&] { m.mnuCommTerm->trigger(); }},
        {"register access", [&] { m.mnuCommRegister->trigger(); }},
        {"Zarn Link access", [&] { m.mnuZarnLink->trigger(); }},
        {"logging", [&] { m.cmdLogging->click(); }},
    };
    const QRect screen = m.screen()->availableGeometry();
    for (const QPoint at : {QPoint(20, 10), QPoint(140, 110)}) {
        m.move(at);
        for (const auto& [name, open] : openers) {
            QRect dialog;
            QString title;
            QTimer::singleShot(0, [&] {
                if (auto* d = qobject_cast<Form*>(QApplication::activeModalWidget())) {
                    dialog = d->frameGeometry();
                    title = d->windowTitle();
                    d->Hide();
                }
            });
            open();
            ASSERT_FALSE(dialog.isNull()) << name << " did not open";
            EXPECT_TRUE(m.frameGeometry().contains(dialog.center())) << name << " (" << title.toStdString() << ")";
            EXPECT_TRUE(screen.contains(dialog.topLeft())) << name;
            if (dialog.width() < m.width() && dialog.height() < m.height()) {
                EXPECT_LE((dialog.center() - m.frameGeometry().center()).manhattanLength(), 2) << name;
            }
        }
    }
}
