// The sample instruments of the simulated line, seen through the screens a
// newcomer meets first: every screen reads one value for a set point, and
// a set point written is the one the status screen shows.
#include <QApplication>
#include <QFocusEvent>

#include "config/config_user.h"
#include "core/helpers.h"
#include "demo_line.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmStatus.h"
#include "shell/frmMain.h"

using namespace modZarn;

namespace {

using SampleLineTest = DemoLineTest;

TEST_F(SampleLineTest, EveryScreenShowsTheSetPointWritten)
{
    // address, protocol, group, the set point's register on the configuration screen, its unit
    const std::tuple<const char*, const char*, int, int, const char*> samples[] = {
        {"32", "Z", 0, 258, "°F"},       {"33", "R", 0, 258, " °C"},      {"001", "R", 1, 0x1001, " °C"},
        {"001", "A", 1, 0x1001, " °C"}, {"002", "A", 2, 0x4701, " °C"},
    };
    for (const auto& [address, protocol, group, sp1, unit] : samples)
        addInstrument(address, protocol, group);
    const auto setpoints = [](int row) -> FrmSetpoints& {
        if (!Forms::isLoaded<FrmSetpoints>())
            frmSetpoints().Show();
        frmSetpoints().lstControls->setListIndex(row);
        return frmSetpoints();
    };
    // Types a set point and sends it with Update.
    const auto write = [&](int row, const QString& value) {
        FrmSetpoints& d = setpoints(row);
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason), out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(d.txtSV(0), &in);
        d.txtSV(0)->insert(value);
        QApplication::sendEvent(d.txtSV(0), &out);
        d.cmdUpdate->click();
        d.cmdClose->click();
    };
    // The set point the status screen shows at its next read.
    const auto status = [&](int row) {
        const auto& [address, protocol, group, sp1, unit] = samples[row];
        Forms::discardAll();
        gControllerGroup = group;
        gProtocolCode = QString::fromLatin1(protocol);
        frmStatus().Show();
        frmStatus().cbxAddress->setText(QString::fromLatin1(address));
        frmStatus().tmrPoll.tick();
        EXPECT_EQ(frmStatus().lblErrorMessageText->text(), "");
        return frmStatus().lblSetpointText->text();
    };
    for (int row = 0; row < int(std::size(samples)); ++row) {
        const auto& [address, protocol, group, sp1, unit] = samples[row];
        SCOPED_TRACE(row);
        const QString dialog = setpoints(row).txtSV(0)->text();
        const QString alarm3 = setpoints(row).txtSV(5)->isVisibleTo(&frmSetpoints())
                                   ? setpoints(row).txtSV(5)->text() + "|" + setpoints(row).txtSV(6)->text()
                                   : QString();
        Forms::discardAll();
        FrmConfig& f = cfguser::loadScreen(group, protocol);
        f.cbxAddress->setText(QString::fromLatin1(address));
        boxes_.clear();
        f.ReadControllerParameters();
        ASSERT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
        EXPECT_FALSE(dialog.isEmpty());
        EXPECT_EQ(f.txtParameter(sp1)->Text(), dialog);
        if (!alarm3.isEmpty()) // the three-alarm model: Alarm 3 High and Low as the screen names them
            EXPECT_EQ(f.txtParameter(0x1028)->Text() + "|" + f.txtParameter(0x1029)->Text(), alarm3);

        const QString value = QString::number(81 + row) + QStringLiteral(".5");
        write(row, value);
        EXPECT_EQ(frmMain().lblErrorMessageText->text(), "");
        EXPECT_EQ(status(row), value + QString::fromUtf8(unit));
    }
    // While a ramp/soak programme runs, the working set point is the
    // programme's: a new set point waits until the programme ends.
    serve("zcmd 50 0x312 1\nreg 51 785 1");
    write(0, QStringLiteral("90.0"));
    write(1, QStringLiteral("90.0"));
    EXPECT_EQ(status(0) + status(1), "81.5°F82.5 °C");
    serve("zcmd 50 0x312 0\nreg 51 785 0");
    EXPECT_EQ(status(0) + status(1), "90.0°F90.0 °C");
}

} // namespace
