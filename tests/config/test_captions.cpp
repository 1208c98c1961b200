// The configuration screen's frame (its navigation row and menu) shows its
// captions whole.
#include "config/frmConfig.h"
#include "support/captions.h"
#include "support/testenv.h"

namespace {

using ConfigCaptionTest = QxTest;

TEST_F(ConfigCaptionTest, FrameShowsItsCaptionsWhole)
{
    frmConfig().Show();
    expectCaptionsFit(&frmConfig(), QStringLiteral("frmConfig"));
}

} // namespace
