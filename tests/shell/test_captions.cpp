// Every caption of the shell's screens can be read in full, and every text
// stands out from its ground, on light and dark desktops at every desktop
// font size.
#include <functional>

#include "core/deffiles.h"
#include "core/startup.h"
#include "core/sysconfig.h"
#include "platform/controls.h"
#include "shell/frmCommSetup.h"
#include "shell/frmFind.h"
#include "shell/frmMain.h"
#include "shell/frmRegister.h"
#include "shell/frmTerminal.h"
#include "shell/frmZarnLink.h"
#include "support/captions.h"
#include "support/desktop.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

class CaptionTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        useSampleProgram();
    }
};

TEST_F(CaptionTest, ShellScreensShowTheirCaptionsWhole)
{
    const std::pair<const char*, std::function<Form&()>> screens[] = {
        {"frmMain", [] () -> Form& { return frmMain(); }},
        {"frmFind", [] () -> Form& { return frmFind(); }},
        {"frmCommSetup", [] () -> Form& { return frmCommSetup(); }},
        {"frmRegister", [] () -> Form& { return frmRegister(); }},
        {"frmZarnLink", [] () -> Form& { return frmZarnLink(); }},
        {"frmTerminal", [] () -> Form& { return frmTerminal(); }},
    };
    gDemoMode = true; // the demo label shows too
    ReadableOnEveryDesktop check;
    check.run([&] {
        for (const auto& [name, form] : screens) {
            SCOPED_TRACE(name);
            Form& f = form();
            f.Show();
            check.expect(&f, QString::fromLatin1(name));
            f.Hide();
        }
    });
}

TEST_F(CaptionTest, PrivateLabelGroupCaptionsOfTheSearchFit)
{
    gKT9PMode = true;
    Forms::discardAll();
    ReadModelFile();
    FrmFind& f = frmFind();
    f.Show();
    expectCaptionsFit(&f, QStringLiteral("frmFind-edition"));
}

} // namespace
