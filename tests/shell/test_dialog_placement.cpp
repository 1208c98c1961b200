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
            const QRect owner = m.frameGeometry();
            EXPECT_TRUE(owner.contains(dialog.center())) << name << " (" << title.toStdString() << ")";
            // Centred on each axis, unless that would put it past the
            // screen's edge: then it stands against that edge, and one
            // larger than the screen against its top or left edge.
            auto centred = [](int ownerCentre, int size, int low, int high) {
                return qMax(low, qMin(ownerCentre - size / 2, high + 1 - size));
            };
            const QPoint expected(centred(owner.center().x(), dialog.width(), screen.left(), screen.right()),
                                  centred(owner.center().y(), dialog.height(), screen.top(), screen.bottom()));
            EXPECT_LE((dialog.topLeft() - expected).manhattanLength(), 2)
                << name << " at " << dialog.x() << "," << dialog.y() << ", expected " << expected.x() << ","
                << expected.y();
        }
    }
}
