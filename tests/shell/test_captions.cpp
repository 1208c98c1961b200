// Every caption of the shell's screens can be read in full, and every text
// stands out from its ground, on light and dark desktops at every desktop
// font size; the caption check itself finds what is cut.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <functional>

#include "core/deffiles.h"
#include "core/startup.h"
#include "core/sysconfig.h"
#include "config/frmConfig.h"
#include "monitor/frmGraph.h"
#include "monitor/frmStatus.h"
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

// A control of kind T with `caption` at x, y, w, h on `parent`.
template <class T>
T* at(QWidget* parent, const char* caption, int x, int y, int w, int h)
{
    auto* c = new T(QString::fromLatin1(caption), parent);
    c->setGeometry(x, y, w, h);
    return c;
}

TEST(CaptionCheck, FindsEveryKindOfCutCaption)
{
    QWidget form;
    form.resize(400, 300);
    at<CommandButton>(&form, "   F&ind     Instruments", 0, 0, 140, 40);
    at<QRadioButton>(&form, "A && B", 0, 250, 120, 20);
    // A box standing in the blanks a caption leaves for it covers nothing.
    auto* unit = at<QLabel>(&form, "Timeout:                              msec", 150, 270, 240, 20);
    auto* inBlanks = new QLineEdit(&form);
    inBlanks->setGeometry(150 + unit->fontMetrics().horizontalAdvance(QStringLiteral("Timeout: ")), 270, 30, 20);
    // A see-through control stacked above hides only with its own caption.
    at<QLabel>(&form, "Process", 160, 200, 100, 20);
    at<QGroupBox>(&form, "G", 150, 180, 240, 60);
    form.show();
    EXPECT_EQ(cutCaptions(&form), QStringList());

    // One of each: a word wider than its wrapping button, a plain button, a
    // label, an option running out of its frame, a frame's own title, a
    // check box past the form's edge ...
    at<CommandButton>(&form, "Instruments", 0, 50, 40, 40);
    at<QPushButton>(&form, "  C&ancel Search", 0, 100, 40, 30);
    at<QLabel>(&form, "Starting Address To Search:", 0, 140, 60, 20);
    auto* frame = at<QGroupBox>(&form, "Select Controller Group", 200, 0, 60, 120);
    at<QRadioButton>(frame, "Modbus", 8, 30, 150, 20);
    at<QCheckBox>(&form, "Save", 380, 200, 100, 20);
    // ... a list item wider than the closed list ...
    auto* list = new QComboBox(&form);
    list->addItems({QStringLiteral("On"), QStringLiteral("Leave address as is")});
    list->setGeometry(300, 0, 60, 22);
    // ... an item as wide as the field, shaved by the inset the list draws at ...
    auto* touching = new QComboBox(&form);
    touching->addItem(QStringLiteral("Time Proportioning"));
    touching->setGeometry(300, 30, 60, 22);
    QStyleOptionComboBox opt;
    opt.initFrom(touching);
    const int field =
        touching->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, touching).width();
    touching->resize(60 + touching->fontMetrics().horizontalAdvance(touching->itemText(0)) - field, 22);
    // ... and a neighbour lying over a word.
    inBlanks->resize(200, 20);
    for (QWidget* w : form.findChildren<QWidget*>())
        w->show();
    QStringList cut = cutCaptions(&form);
    ASSERT_EQ(cut.size(), 9) << cut.join(u'\n').toStdString();
    for (const char* text : {"\"Instruments\"", "\"  Cancel Search\"", "\"Starting Address To Search:\"",
                             "\"Select Controller Group\"", "\"Modbus\"", "\"Save\"", "msec\": covered by QLineEdit",
                             "item \"Leave address as is\"", "item \"Time Proportioning\""})
        EXPECT_EQ(cut.filter(QLatin1String(text)).size(), 1) << text;
}

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

// The navigation row of every main screen reads in one font, and the menu
// bar spans the window however wide the screen is.
TEST_F(CaptionTest, MainScreensShowOneNavigationFontAndAWholeMenuBar)
{
    gDemoMode = true;
    for (const auto& [name, screen] : mainScreens()) {
        SCOPED_TRACE(name);
        MainScreen& s = screen();
        s.Show();
        EXPECT_EQ(s.menuBar->geometry(), QRect(0, 0, s.width(), s.menuBar->height()));
        QStringList sizes;
        for (QPushButton* b : {s.cmdConfigureController, s.cmdStatus, s.cmdFind, s.cmdGraph, s.cmdMainMenu,
                               s.cmdLogging, s.cmdSetpoints, s.cmdMonitor})
            sizes << QString::number(static_cast<CommandButton*>(b)->captionFont().pointSizeF());
        sizes.removeDuplicates();
        EXPECT_EQ(sizes.size(), 1) << sizes.join(u' ').toStdString();
        s.Hide();
    }
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
