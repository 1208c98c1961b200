// A desktop's platform theme changes nothing of the program's look: run
// under the real qt6ct theme set to a large font and a dark scheme, the main
// screens show the same fonts, colours (tool tips included) and whole
// captions as without a theme, and every kind of box the same size, its
// buttons side by side where they stand without it, each answering a click.
// A platform theme is loaded with the application object, so each desktop
// is a run of this test program of its own, whose report is compared with
// this process's.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProxyStyle>
#include <QStyle>
#include <QToolTip>
#include <functional>
#include <set>

#include "config/frmConfig.h"
#include "monitor/frmGraph.h"
#include "monitor/frmStatus.h"
#include "platform/form.h"
#include "shell/frmFind.h"
#include "shell/frmMain.h"
#include "support/captions.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

const char* const kReportVariable = "QX_THEME_REPORT";

// qt6ct's "darker" colour scheme.
const char* const kDarker =
    "[ColorScheme]\n"
    "active_colors=#ffffffff, #ff424245, #ff979797, #ff5e5c5b, #ff302f2e, #ff4a4947, #ffffffff, #ffffffff, "
    "#ffffffff, #ff3d3d3d, #ff222020, #ffe7e4e0, #ff12608a, #fff9f9f9, #ff0986d3, #ffa70b06, #ff5c5b5a, "
    "#ffffffff, #ff3f3f36, #ffffffff, #80ffffff\n"
    "disabled_colors=#ff808080, #ff424245, #ff979797, #ff5e5c5b, #ff302f2e, #ff4a4947, #ff808080, #ffffffff, "
    "#ff808080, #ff3d3d3d, #ff222020, #ffe7e4e0, #ff12608a, #ff808080, #ff0986d3, #ffa70b06, #ff5c5b5a, "
    "#ffffffff, #ff3f3f36, #ffffffff, #80ffffff\n"
    "inactive_colors=#ffffffff, #ff424245, #ff979797, #ff5e5c5b, #ff302f2e, #ff4a4947, #ffffffff, #ffffffff, "
    "#ffffffff, #ff3d3d3d, #ff222020, #ffe7e4e0, #ff12608a, #fff9f9f9, #ff0986d3, #ffa70b06, #ff5c5b5a, "
    "#ffffffff, #ff3f3f36, #ffffffff, #80ffffff\n";

QString paletteText(const QPalette& p, std::initializer_list<QPalette::ColorRole> roles)
{
    QStringList colours;
    for (int g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        for (QPalette::ColorRole r : roles)
            colours << p.color(QPalette::ColorGroup(g), r).name(QColor::HexArgb);
    return colours.join(u' ');
}

QString everyRole(const QPalette& p)
{
    QStringList colours;
    for (int r = 0; r < QPalette::NColorRoles; ++r)
        if (r != QPalette::NoRole)
            colours << paletteText(p, {QPalette::ColorRole(r)});
    return colours.join(u' ');
}

// Every kind of box the program shows, each button of each clicked with the
// mouse at its centre: the box's size, where its buttons stand and what the
// click answered (of buttons that lie on top of one another only the top
// one answers, and a button laid out nowhere answers nothing). Each is shown
// twice over, the second box made after the first is gone.
QStringList boxReport()
{
    struct Kind {
        const char* name;
        int style;
        QString text;
    };
    const std::vector<Kind> kinds = {
        {"information", mb::OKOnly | mb::Information, QStringLiteral("Logging complete.")},
        {"yes/no", mb::YesNo | mb::Question | mb::DefaultButton2, QStringLiteral("Cancel Changes?")},
        {"yes/no/cancel", mb::YesNoCancel | mb::Exclamation, QStringLiteral("Save the changes?\rThey are lost otherwise.")},
        {"long text", mb::OKOnly | mb::Critical,
         QStringLiteral("Line refused: ") + QString(700, QLatin1Char('x')) + QStringLiteral("\rRoutine - Load")},
    };
    QStringList r;
    Form& owner = frmMain();
    owner.Show();
    for (int round = 0; round < 2; ++round)
        for (const Kind& k : kinds) {
            const int buttons = (k.style & 7) == mb::YesNoCancel ? 3 : (k.style & 7) == mb::YesNo ? 2 : 1;
            for (int press = 0; press < buttons; ++press) {
                QString seen;
                const RealBoxes boxes([&](QMessageBox* box) {
                    seen = QStringLiteral("%1x%2").arg(box->width()).arg(box->height());
                    for (QAbstractButton* b : box->buttons()) {
                        const QPoint at = b->mapTo(box, QPoint(0, 0));
                        seen += QStringLiteral(" %1 ").arg(b->text())
                            + (b->isVisible() ? QStringLiteral("%1,%2 %3x%4").arg(at.x()).arg(at.y()).arg(b->width()).arg(b->height())
                                              : QStringLiteral("hidden"));
                    }
                    // The click lands on whatever stands at the button's centre.
                    QAbstractButton* target = box->buttons().value(press);
                    if (!target) {
                        box->reject();
                        return;
                    }
                    const QPoint centre = target->mapTo(box, target->rect().center());
                    QWidget* under = box->childAt(centre);
                    if (!under)
                        under = box;
                    QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(box, centre));
                    if (box->isVisible()) {
                        seen += QStringLiteral(" (click unanswered)");
                        box->reject();
                    }
                });
                const int answer = mb::MsgBox(k.text, k.style, QStringLiteral("Quinrex3"), &owner);
                r << QStringLiteral("box %1 press %2: %3 answer %4").arg(QLatin1String(k.name)).arg(press).arg(seen).arg(answer);
            }
        }
    owner.Hide();
    return r;
}

// What a user sees of the program's look: style, fonts and colours, a tool
// tip as shown, and on each main screen its cut captions, the fonts its
// controls use and every text's ink and ground as drawn.
QStringList lookReport()
{
    QStringList r;
    const auto* proxy = qobject_cast<const QProxyStyle*>(QApplication::style());
    r << QStringLiteral("style ") + (proxy ? proxy->baseStyle() : QApplication::style())->name();
    r << QStringLiteral("font ") + QApplication::font().toString();
    r << QStringLiteral("palette ") + everyRole(QApplication::palette());

    Form& main = frmMain();
    main.Show();
    QToolTip::showText(main.mapToGlobal(QPoint(20, 20)), QStringLiteral("Tool tip"), &main);
    QWidget* tip = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel") && w->isVisible())
            tip = w;
    if (tip) {
        r << QStringLiteral("tip font ") + tip->font().toString();
        r << QStringLiteral("tip colours ") + paletteText(tip->palette(), {QPalette::ToolTipBase, QPalette::ToolTipText});
    } else {
        ADD_FAILURE() << "no tool tip shown";
    }
    QToolTip::hideText();

    for (const auto& [name, screen] : mainScreens()) {
        Form& f = screen();
        f.Show();
        const QString n = QString::fromLatin1(name);
        for (const QString& cut : cutCaptions(&f))
            r << n + QStringLiteral(" cut ") + cut;
        std::set<QString> fonts;
        for (const QWidget* w : f.findChildren<QWidget*>())
            if (w->isVisibleTo(&f))
                fonts.insert(w->font().toString());
        for (const QString& font : fonts)
            r << n + QStringLiteral(" font ") + font;
        for (const TextContrast& t : textContrasts(&f))
            r << n + QLatin1Char(' ') + t.control + QLatin1Char(' ') + t.text.name() + QLatin1Char(' ') + t.ground.name();
        f.Hide();
    }
    r << boxReport();
    return r;
}

// Two report lines agree; the colours measured on a grab may differ by a
// shade from one drawing to the next (a button's gradient).
bool sameLook(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    const QStringList x = a.split(u' '), y = b.split(u' ');
    if (x.size() != y.size() || x.size() < 3 || x.mid(0, x.size() - 2) != y.mid(0, y.size() - 2))
        return false;
    for (qsizetype i = x.size() - 2; i < x.size(); ++i) {
        const QColor c(x[i]), d(y[i]);
        if (!c.isValid() || !d.isValid() || std::abs(c.red() - d.red()) > 40 || std::abs(c.green() - d.green()) > 40
            || std::abs(c.blue() - d.blue()) > 40)
            return false;
    }
    return true;
}

class PlatformThemeTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        useSampleProgram();
        gDemoMode = true;
    }
};

// The part run in the test program started under the theme. Its suite is
// one ctest leaves out: on its own it has nothing to report.
class InChildProcess : public PlatformThemeTest {};

TEST_F(InChildProcess, ReportUnderTheTheme)
{
    const QString report = qEnvironmentVariable(kReportVariable);
    if (report.isEmpty())
        GTEST_SKIP() << "runs in the program that PlatformThemeTest.Qt6ctChangesNothing starts";
    QFile maps(QStringLiteral("/proc/self/maps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    ASSERT_TRUE(maps.readAll().contains("platformthemes/libqt6ct.so")) << "the qt6ct platform theme was not loaded";
    // The theme puts its settings in force once the event loop runs.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const QStringList look = lookReport();
    QFile out(report);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Text));
    out.write(look.join(u'\n').toUtf8());
}

TEST_F(PlatformThemeTest, Qt6ctChangesNothing)
{
    if (!qEnvironmentVariableIsEmpty(kReportVariable))
        GTEST_SKIP() << "the run under the theme";
    const QStringList expected = lookReport();
    for (int points : {11, 14}) {
        SCOPED_TRACE(points);
        QTemporaryDir home;
        QDir(home.path()).mkpath(QStringLiteral("qt6ct"));
        const QString scheme = home.filePath(QStringLiteral("qt6ct/darker.conf"));
        QFile s(scheme);
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(kDarker);
        s.close();
        const QString font = QStringLiteral("\"DejaVu Sans,%1,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"").arg(points);
        QFile conf(home.filePath(QStringLiteral("qt6ct/qt6ct.conf")));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("[Appearance]\ncolor_scheme_path=%1\ncustom_palette=true\nstyle=Windows\n\n"
                                  "[Fonts]\nfixed=%2\ngeneral=%2\n")
                       .arg(scheme, font)
                       .toUtf8());
        conf.close();

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORMTHEME"), QStringLiteral("qt6ct"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        env.insert(QString::fromLatin1(kReportVariable), home.filePath(QStringLiteral("report.txt")));
        env.remove(QStringLiteral("QT_STYLE_OVERRIDE"));
        // qt6ct, told to keep the desktop's settings to itself, leaves those
        // it never reads (the button order of dialogs among them) as they lay
        // in memory: zero, and so harmless, in some runs only. Fresh memory
        // filled with a pattern gives every run such a setting out of range.
        env.insert(QStringLiteral("MALLOC_PERTURB_"), QStringLiteral("165"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=InChildProcess.ReportUnderTheTheme")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        ASSERT_EQ(child.exitCode(), 0) << output.constData();
        QFile got(home.filePath(QStringLiteral("report.txt")));
        ASSERT_TRUE(got.open(QIODevice::ReadOnly)) << output.constData();
        const QStringList seen = QString::fromUtf8(got.readAll()).split(u'\n');
        QStringList differing;
        for (qsizetype i = 0; i < std::max(seen.size(), expected.size()); ++i)
            if (!sameLook(seen.value(i), expected.value(i)))
                differing << QStringLiteral("themed: %1\n  plain: %2").arg(seen.value(i), expected.value(i));
        EXPECT_TRUE(differing.isEmpty()) << differing.size() << " of " << expected.size() << " differ:\n"
                                         << differing.mid(0, 12).join(u'\n').toStdString();
    }
}

} // namespace
