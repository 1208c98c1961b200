// The configuration screen shows its captions, its title (also in
// ramp/soak-only mode) and every item of its lists whole, and every text
// readable, in each group and on every page, on light and dark desktops at
// every desktop font size.
#include <QApplication>
#include <QImage>

#include "config/frmConfig.h"
#include "core/deffiles.h"
#include "core/state.h"
#include "platform/tabstrip.h"
#include "support/captions.h"
#include "support/desktop.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

using ConfigCaptionTest = QxTest;

TEST_F(ConfigCaptionTest, EveryGroupShowsItsCaptionsAndListsWhole)
{
    useSampleProgram();
    gDemoMode = true; // the demo label shows, and the ramp/soak read needs no line
    ReadableOnEveryDesktop check;
    check.run([&] {
        for (int g = 0; g <= 2; ++g) {
            SCOPED_TRACE(g);
            Forms::discardAll();
            gControllerGroup = g;
            gProtocolCode = g == 2 ? QStringLiteral("A") : QStringLiteral("R");
            ReadModelFile();
            FrmConfig& f = frmConfig();
            f.Show();
            TabStrip* strip = f.tabConfig(g);
            for (int t = 0; t < strip->Tabs(); ++t) {
                strip->setTab(t);
                check.expect(&f, QStringLiteral("frmConfig-group%1-tab%2").arg(g).arg(t));
            }
        }
    });
    // The ramp/soak-only title, as the monitor's Cfg button brings it up.
    Forms::discardAll();
    gControllerGroup = 0;
    gProtocolCode = QStringLiteral("R");
    ReadModelFile();
    gRampCfgMode = true;
    gRampCfgAddress = 1;
    gRampCfgProtocol = QStringLiteral("R");
    gRampCfgGroup = 0;
    FrmConfig& f = frmConfig();
    f.Show();
    ASSERT_EQ(f.lblTitle->text(), QStringLiteral("Configure Instrument - Ramp/Soak Only"));
    expectCaptionsFit(&f, QStringLiteral("frmConfig-rampsoak"));
}

// The window is drawn in the window colour, so its two white labels sit on
// it instead of standing out as boxes; the group-1 alarm type lists, one
// under another, read in one size.
TEST_F(ConfigCaptionTest, WindowInItsColourAndAColumnOfListsInOneSize)
{
    useSampleProgram();
    gControllerGroup = 1;
    gProtocolCode = QStringLiteral("R");
    ReadModelFile();
    FrmConfig& f = frmConfig();
    f.Show();
    const QImage shot = f.grab().toImage();
    const QColor window = QApplication::palette().color(QPalette::Base);
    for (QLabel* l : {f.lblAddress, f.lblTitle}) {
        SCOPED_TRACE(l->text().toStdString());
        const QPoint corner = l->mapTo(&f, QPoint(0, 0));
        EXPECT_EQ(QColor(shot.pixel(corner)), window);
        EXPECT_EQ(QColor(shot.pixel(corner - QPoint(2, 0))), window);
    }
    const double alarm1 = f.cbxParameter(0x1020)->font().pointSizeF();
    for (int reg : {0x1021, 0x1022})
        EXPECT_EQ(f.cbxParameter(reg)->font().pointSizeF(), alarm1) << reg;
}

} // namespace
