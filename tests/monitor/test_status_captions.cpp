// Every caption of the status screen and the set-point dialog can be read in
// full, also with their longest texts shown.
#include "core/deffiles.h"
#include "core/state.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmStatus.h"
#include "support/captions.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

using StatusCaptionTest = QxTest;

TEST_F(StatusCaptionTest, StatusAndSetpointScreensShowTheirCaptionsWhole)
{
    copySampleData();
    ReadModelFile();
    gDemoMode = true; // the demo label shows and the first tick fills the fields
    FrmStatus& s = frmStatus();
    s.Show();
    s.lblModelType->setText(QStringLiteral("QX-4Z, 1/4 DIN 4-Stage Ramp/Soak Controller"));
    s.lblProcessValueText->setText(QStringLiteral("-1,999,999.0000 °F"));
    s.lblSetpointText->setText(QStringLiteral("-1,999,999.0000 °F"));
    s.lblErrorMessageText->setText(
        QStringLiteral("Address 001:Illegal Data Address response from instrument for register 1029H (4137)"));
    expectCaptionsFit(&s, QStringLiteral("frmStatus"));
    s.Hide();

    InstrumentRecord r;
    r.Address = QStringLiteral("255");
    r.Name = QStringLiteral("WWWWWWWWWWWWWWWWWWWWW"); // the longest name, in the widest letter
    r.Protocol = QStringLiteral("R");
    r.Group = 1;
    gInstruments.Append(r);
    gCommOK = true;
    FrmSetpoints& d = frmSetpoints();
    d.Show();
    d.lblAddressText->setText(r.Address);
    d.lblNameText->setText(r.Name);
    for (int k = 0; k < FrmSetpoints::kFields; ++k)
        d.lblUnits(k)->setText(QStringLiteral(" °F"));
    for (QWidget* w : std::initializer_list<QWidget*>{d.lblAlm3HiSV, d.lblAlm3LoSV, d.txtSV(5), d.txtSV(6),
                                                      d.lblUnits(5), d.lblUnits(6)})
        w->show(); // the alarm-3 fields of the three-alarm model
    expectCaptionsFit(&d, QStringLiteral("frmSetpoints"));
}

} // namespace
