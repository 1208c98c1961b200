// Start-up order and the opening of the serial port.
#include <algorithm>

#include "core/commport.h"
#include "core/startup.h"
#include "platform/app.h"
#include "platform/controls.h"
#include "shell/frmMain.h"
#include "sim-driver/pty.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {
class StartupTest : public QxTest {
protected:
    // A settings file on COM3 with the given device behind it.
    void useDevice(const QString& dev)
    {
        qputenv("QUINREX3_COM3", dev.toLocal8Bit());
        writeFile("Quinrex3.cfg", " 3 \r\n 9600 \r\nNone\r\n 8 \r\n 1 \r\n 250 \r\n 0 \r\nZ\r\n 1 \r\n 1 \r\n"
                                  "viewer\r\n/tmp/\r\n");
    }
};
} // namespace

TEST_F(StartupTest, SecondCopyAnsweredNoEndsBeforeAnyFileIsRead)
{
    copySampleData();
    App::setPrevInstanceOverride(1);
    boxes_.push(mb::No);
    EXPECT_THROW(modZarn::main(), ProgramEnded);
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Program Already Running");
    EXPECT_EQ(gModelCount[0], 0);
    EXPECT_FALSE(Forms::isLoaded<FrmMain>());
}

TEST_F(StartupTest, EditionIsRecognisedOnlyByItsExactName)
{
    for (const char* name : {"KT9-P", "kt9-p", "KT9-P "}) {
        ResetSharedState();
        App::setExeName(name);
        boxes_.clear();
        modZarn::main();
        EXPECT_EQ(gKT9PMode, QString(name) == "KT9-P") << name;
        // The settings file read is named after the edition.
        EXPECT_TRUE(boxes_.calls().front().text.contains(QString(name) == "KT9-P" ? "KT9-P.cfg" : "Quinrex3.cfg"));
        Forms::discardAll();
    }
}

TEST_F(StartupTest, MissingFilesNeverStopStartUp)
{
    writeFile("USB71K.TXT", "");
    modZarn::main();
    EXPECT_TRUE(gCmdGapRequired);
    EXPECT_TRUE(frmMain().Visible());
    EXPECT_EQ(QStringList(gLogStatusText.begin(), gLogStatusText.end()).join("|"), "STARTED|STOPPED|FINISHED|");
    // Every reader complained once, then the port could not open (COM0).
    const auto& calls = boxes_.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().text, "The selected communications port, COM0, either does not exist or is in use.  "
                                 "All functions that require communications to the instruments(s) will be disabled."
                                 "\rCOM0: no such port (the ports are COM1 to COM16)");
    EXPECT_FALSE(gCommOK);
}

// A definition file with a line of a megabyte: the box that quotes it shows
// a few hundred characters of it, the start and the end of its sentence
// kept, so start-up goes on at once.
TEST_F(StartupTest, ABoxQuotesAFewHundredCharactersOfAnEndlessLine)
{
    copySampleData();
    const QByteArray id(1 << 20, 'Q');
    writeFile("ModelID.txt", readFile("ModelID.txt") + id + ",Endless,Type,0\r\n");
    modZarn::main();
    EXPECT_TRUE(frmMain().Visible());
    const auto& calls = boxes_.calls();
    const auto quoting = std::find_if(calls.begin(), calls.end(),
                                      [](const mb::Call& c) { return c.text.contains("QQQQ"); });
    ASSERT_NE(quoting, calls.end());
    const QString first = quoting->text.section('\r', 0, 0);
    EXPECT_LE(first.size(), 600);
    EXPECT_TRUE(first.startsWith("An application error has occurred reading " + App::file("QQQ")));
    EXPECT_TRUE(first.contains(QStringLiteral("Q\u2026Q")));
    EXPECT_TRUE(first.endsWith("QQQ.TXT file:"));
    EXPECT_EQ(quoting->text.section('\r', 1), "Error Code 64 - Bad file name\rRoutine - modZarn.ReadModelRegisters.");
}

TEST_F(StartupTest, InitCommSuccessAndFailureKeepFlagTimerAndLampInStep)
{
    PtyPair pty;
    useDevice(QString::fromStdString(pty.slavePath()));
    gCommPort = 3;
    FrmMain& f = frmMain();
    bool failed = false;
    InitComm("9600,N,8,1", failed);
    EXPECT_TRUE(gCommOK && f.tmrLogging.enabled());
    EXPECT_EQ(f.shpComms->fillColor(), color::Green);

    // Settings the port refuses: the standard error box.
    InitComm("fast please", failed);
    EXPECT_TRUE(failed);
    EXPECT_FALSE(gCommOK);
    EXPECT_TRUE(boxes_.last().text.endsWith("Routine - modZarn.InitComm"));

    // A missing device: the message names the port, the port stays closed.
    qputenv("QUINREX3_COM3", "/dev/quinrex3-no-such-device");
    boxes_.clear();
    InitComm("9600,N,8,1", failed);
    EXPECT_TRUE(failed);
    EXPECT_FALSE(gCommOK || CommPort().portOpen() || f.tmrLogging.enabled());
    EXPECT_EQ(f.shpComms->fillColor(), color::ButtonFace);
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.startsWith("The selected communications port, COM3, either"));
    // The device tried and the reason, on a line of their own.
    EXPECT_TRUE(boxes_.last().text.endsWith(
        "will be disabled.\r/dev/quinrex3-no-such-device: no such device"));
}

TEST_F(StartupTest, CommandLineKeepsEmptyAndBlankArgumentsQuoted)
{
    const std::pair<QStringList, QString> cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"zone one.csv", "01", "02"}, "\"zone one.csv\" 01 02"},
        {{"a.csv", "", "01"}, "a.csv \"\" 01"},
    };
    for (const auto& [args, line] : cases)
        EXPECT_EQ(App::commandLineOf(args), line) << args.join('|').toStdString();
}
