// The parameter file: save and load, refusals, data lines, the file commands;
// start-up handing its command line to the unattended send.
#include "config/frmConfig.h"
#include "config_user.h"
#include "core/autosend.h"
#include "core/deffiles.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/app.h"
#include "platform/filedialog.h"
#include "platform/runtime.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

class ParamFileTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        copySampleData();
    }
    FrmConfig& open(int group, const char* protocol, const QString& model)
    {
        Forms::discardAll();
        FrmConfig& f = cfguser::loadScreen(group, protocol);
        cfguser::selectModel(f, model);
        boxes_.clear();
        return f;
    }
    // The data lines a fresh screen of the model saves, at list positions
    // `point` of the decimal point and `input` of the input type.
    QByteArray savedLines(int group, const char* protocol, const QString& model, int point = 0, int input = 0)
    {
        FrmConfig& f = open(group, protocol, model);
        f.cbxInputType(group)->setListIndex(input);
        f.cbxDecimalPoint(group)->setListIndex(point);
        cfguser::answerStrays(mb::Yes);
        f.SaveParameterFile(file("lines.csv"));
        boxes_.install();
        return readFile("lines.csv").split('\n').mid(5).join('\n');
    }
};

// A configuration with something of every kind of field on the screen.
void Fill(FrmConfig& f, int group)
{
    f.txtDescription(group)->setText("Oven, \"north\" zone");
    switch (group) {
    case 0:
        f.txtParameter(258)->setText("1,234");
        f.cbxReset(274)->setListIndex(0);
        f.txtParameter(274)->setText("3.5");
        f.cbxParameter(794)->setListIndex(2);
        f.bitBox(350, 15)->setValue(1);
        f.bitBox(350, 0)->setValue(1);
        f.txtParameter(326)->setText("not a number");
        break;
    case 1:
        f.txtParameter(0x1001)->setText("25.5");
        f.txtPattHour(5)->setText("02");
        f.txtPattMin(5)->setText("15");
        f.cbxParameter(0x810)->setListIndex(1);
        break;
    default:
        f.txtParameter(0x4701)->setText("-12.3");
        f.cbxParameter(0x4731)->setListIndex(2);
        break;
    }
}

} // namespace

TEST_F(ParamFileTest, SaveThenLoadRoundTripsByteExact)
{
    struct Case {
        int group;
        const char* protocol;
        const char* model;
        QByteArray header;                 // the five header lines
        std::vector<QByteArray> dataLines; // some of the lines that follow
    };
    const Case cases[] = {
        {0, "R", "R7",
         "\"32\",\"Oven, \"\"north\"\" zone\",\"Modbus RTU-0\"\r\n\"R7\",\"QX-8R 1/8 DIN Process Controller (Modbus "
         "RTU)\"\r\n\"DPT\",0\r\n\"INP\",1\r\n\"Register\",\"Parameter\"\r\n",
         {"258,1234", "274,-3.5", "326,0", "350,-32767", "794,2"}},
        {1, "R", "XG", "", {"1001H,25.5", "2085H,135", "0810H,1"}},
        {2, "A", "XH", "", {"4701H,-12.3", "4731H,2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        FrmConfig& f = open(c.group, c.protocol, c.model);
        Fill(f, c.group);
        f.Changed = true;
        f.SaveParameterFile(file("a.csv"));
        EXPECT_FALSE(f.Changed);
        const QByteArray saved = readFile("a.csv");
        if (!c.header.isEmpty())
            EXPECT_TRUE(saved.startsWith(c.header)) << saved.left(300).toStdString();
        for (const QByteArray& l : c.dataLines)
            EXPECT_TRUE(saved.contains("\r\n" + l + "\r\n")) << l.toStdString();

        // A fresh screen with edits of its own takes the file over whole.
        FrmConfig& g = open(c.group, c.protocol, c.model);
        g.txtDescription(c.group)->setText("other");
        g.Changed = true;
        ASSERT_EQ(g.ReadParameterFile(file("a.csv")), 0);
        EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
        EXPECT_FALSE(g.Changed);
        EXPECT_EQ(g.txtDescription(c.group)->Text(), "Oven, \"north\" zone");
        g.SaveParameterFile(file("b.csv"));
        EXPECT_EQ(readFile("b.csv"), saved);
    }
}

TEST_F(ParamFileTest, LoaderRefusalsSayWhyAndKeepTheScreensSettings)
{
    struct Case {
        const char* model;    // selected before the load
        QByteArray head;      // the file's first four lines
        const char* title;    // "" = loads
        const char* quoted;   // what the message quotes after ">"
    };
    const Case cases[] = {
        {"TW", "\"32\",\"\",\"Modbus RTU-1\"\r\n\"TW\",\"\"\r\n\"DPT\",0\r\n\"INP\",1\r\n",
         "Invalid Controller Group and Protocol Parameter", ">Modbus RTU-1 found in parameter file >"},
        {"TW", "\"32\",\"\",\"Serial-0\"\r\n\"TW\",\"\"\r\n\"DPT\",0\r\n\"INP\",1\r\n", "", ""},
        {"TW", "\"32\",\"\",\"\"\r\n\"tw\",\"\"\r\n\"DPT\",0\r\n\"INP\",1\r\n", "", ""},
        {"TW", "\"32\",\"\",\"Modbus RTU-0\"\r\n\"ZZ\",\"\"\r\n\"DPT\",0\r\n\"INP\",1\r\n", "Invalid Model ID",
         "The Model ID >ZZ found in parameter file >"},
        {"R7", "\"32\",\"\",\"Modbus RTU-0\"\r\n\"TW\",\"\"\r\n\"DPT\",4\r\n\"INP\",16\r\n",
         "Invalid Decimal Point Parameter", "The Decimal Point (DPT) setting > 4 found"},
        // model R7 saves four decimals and loads them again
        {"TW", "\"32\",\"\",\"Modbus RTU-0\"\r\n\"R7\",\"\"\r\n\"DPT\",4\r\n\"INP\",16\r\n", "", ""},
        {"TW", "\"32\",\"\",\"Modbus RTU-0\"\r\n\"TW\",\"\"\r\n\"DPT\",1\r\n\"INP\",0\r\n",
         "Invalid Input Type Parameter", "The Input Type (INP) setting > 0 found"},
    };
    const QByteArray twLines = savedLines(0, "R", "TW");
    const QByteArray r7Lines = savedLines(0, "R", "R7", 4, 15);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head.toStdString());
        FrmConfig& f = open(0, "R", c.model);
        f.txtDescription(0)->setText("mine");
        f.Changed = true;
        const int dp = f.CurDecimalPoint, type = f.CurInputType;
        // A header that is accepted loads the lines of its model.
        const QByteArray lines = QByteArray(c.title).isEmpty() ? (c.head.contains("R7") ? r7Lines : twLines) : "";
        writeFile("p.csv", c.head + "\"Register\",\"Parameter\"\r\n" + lines);
        const int result = f.ReadParameterFile(file("p.csv"));
        EXPECT_FALSE(f.Loading);
        if (QByteArray(c.title).isEmpty()) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
            EXPECT_FALSE(f.Changed);
            continue;
        }
        EXPECT_EQ(result, -1);
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, c.title);
        EXPECT_TRUE(boxes_.last().text.contains(c.quoted)) << boxes_.last().text.toStdString();
        // The edits are still unsaved, and nothing of the file was taken.
        EXPECT_TRUE(f.Changed);
        EXPECT_EQ(f.ModelID(), c.model);
        EXPECT_EQ(f.txtDescription(0)->Text(), "mine");
        EXPECT_EQ(f.CurDecimalPoint, dp);
        EXPECT_EQ(f.CurInputType, type);
    }

    // Ramp/soak-only mode loads the group's RS model whatever the file says.
    const QByteArray rsLines = savedLines(0, "R", "RS");
    for (const int group : {0, 1}) {
        FrmConfig& f = open(group, "R", group == 0 ? "TW" : "XG");
        gRampCfgMode = true;
        writeFile("r.csv", QByteArray("\"001\",\"\",\"Modbus RTU-") + char('0' + group)
                               + "\"\r\n\"TW\",\"\"\r\n\"DPT\",0\r\n\"INP\",1\r\n\"Register\",\"1Parameter\"\r\n"
                               + rsLines);
        EXPECT_EQ(f.ReadParameterFile(file("r.csv")), group == 0 ? 0 : -1);
        if (group == 0) {
            EXPECT_EQ(f.ModelID(), "RS");
            EXPECT_TRUE(f.RampRegPresent);
        } else {
            EXPECT_TRUE(boxes_.last().text.startsWith("The Model ID >RS found")) << boxes_.last().text.toStdString();
        }
        gRampCfgMode = false;
    }
}

TEST_F(ParamFileTest, DamagedFilesAreRefusedWholeAndChangeNothing)
{
    const QByteArray head = "\"32\",\"loaded\",\"Modbus RTU-0\"\r\n\"R7\",\"\"\r\n\"DPT\",1\r\n\"INP\",1\r\n"
                            "\"Register\",\"Parameter\"\r\n";
    const auto with = [&](const char* from, const char* to) { return QByteArray(head).replace(from, to); };
    struct Case {
        QByteArray file;
        const char* reg; // the register the box names
    };
    const Case cases[] = {
        {head + "262,5\r\n258,two\r\n", " 258"},
        {head + "262,5\r\n258\r\n", " 258"},
        {head + "262,5\r\nsome notes\r\n", " 0"},
        {head + "262,5\r\n102h,25\r\n", " 0"}, // "h" is no hex mark, and 102h no decimal number
        // A register out of range is named by its own number.
        {head + "262,5\r\n20481,1\r\n", " 20481"},
        {head + "262,5\r\n-5,1\r\n", "-5"},
        {head + "262,5\r\n5001H,1\r\n", " 20481"},
        {with("\"DPT\",1", "\"DPT\",two") + "262,5\r\n", " 0"},
        {with("\"INP\",1", "\"INP\"") + "262,5\r\n", " 0"},
        {with(",\"Modbus RTU-0\"", "") + "262,5\r\n", " 0"},
        {with("\"Register\",\"Parameter\"\r\n", ""), " 0"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.file.toStdString());
        FrmConfig& f = open(0, "R", "TW");
        f.txtDescription(0)->setText("mine");
        f.SaveParameterFile(file("before.csv"));
        const bool changed = i % 2 == 0;
        f.Changed = changed;
        writeFile("d.csv", c.file);
        EXPECT_EQ(f.ReadParameterFile(file("d.csv")), -1);
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, "Application Error");
        EXPECT_TRUE(boxes_.last().text.endsWith("Routine - frmConfig.ReadParameterFile, Parameter >"
                                                + QString(c.reg) + ". File >" + file("d.csv")))
            << boxes_.last().text.toStdString();
        EXPECT_FALSE(f.Loading);
        EXPECT_EQ(f.Changed, changed);
        f.SaveParameterFile(file("after.csv"));
        EXPECT_EQ(readFile("after.csv"), readFile("before.csv"));
    }

    // The same lines sound: "102H" is hexadecimal in any group.
    const QByteArray lines = cfguser::withLine(savedLines(0, "R", "R7", 1), "258,", "102H,25");
    FrmConfig& f = open(0, "R", "TW");
    writeFile("d.csv", head + lines);
    EXPECT_EQ(f.ReadParameterFile(file("d.csv")), 0);
    EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
    EXPECT_EQ(f.ModelID(), "R7");
    EXPECT_EQ(f.txtParameter(258)->Text(), "25.0");
}

TEST_F(ParamFileTest, FailingSaveLeavesTheOldFileWhole)
{
    FrmConfig& f = open(0, "R", "R7");
    writeFile("old.csv", "the configuration saved before\r\n");
    // A register of the model whose text field the screen lacks fails half-way.
    gCfgField[5] = {0, 1, 0, 100};
    gModelHasRegister[std::size_t(f.CurModelIndex)][5] = true;
    f.Changed = true;
    f.SaveParameterFile(file("old.csv"));
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.endsWith("Routine - frmConfig.SaveParameterFile, Parameter > 5. File >"
                                            + file("old.csv")));
    EXPECT_EQ(readFile("old.csv"), "the configuration saved before\r\n");
    EXPECT_TRUE(f.Changed);

    // A full disk, and a file the user made read-only: the same, and the
    // box says why.
    gModelHasRegister[std::size_t(f.CurModelIndex)][5] = false;
    for (const bool readOnly : {false, true}) {
        boxes_.clear();
        {
            const FailingSaves failing(readOnly, {file("old.csv")}, 20);
            f.SaveParameterFile(file("old.csv"));
        }
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_TRUE(boxes_.last().text.contains(readOnly ? "\rError Code 70 - Permission denied\rRoutine - "
                                                           "frmConfig.SaveParameterFile, Parameter > 0. File >"
                                                         : "\rError Code 61 - Disk full\rRoutine - "
                                                           "frmConfig.SaveParameterFile"))
            << boxes_.last().text.toStdString();
        EXPECT_EQ(readFile("old.csv"), "the configuration saved before\r\n");
        EXPECT_TRUE(f.Changed);
        EXPECT_TRUE(FilesIn(programDir()).filter(".tmp").isEmpty());
    }
}

TEST_F(ParamFileTest, ReadingWhatIsNoParameterFileGivesTheBoxAtOnce)
{
    FrmConfig& f = open(0, "R", "TW");
    f.txtDescription(0)->setText("mine");
    for (const NotAFile& c : NotFilesIn(programDir())) {
        // In a copy of the program that may take 256 MB more and is stopped
        // after ten seconds.
        const QString got = InChild(
            [&] {
                boxes_.clear();
                const int result = f.ReadParameterFile(c.path);
                return QString::number(result) + ' ' + boxes_.last().text + ' ' + f.txtDescription(0)->Text();
            },
            10, 256);
        EXPECT_EQ(got, "-1 An application error has occurred:\rError Code " + c.says +
                           "\rRoutine - frmConfig.ReadParameterFile, Parameter > 0. File >" + c.path + " mine");
    }
}

TEST_F(ParamFileTest, FileCommandsAndTheDiscardQuestion)
{
    FrmConfig& f = open(0, "R", "TW");
    std::vector<fd::Request> asked;
    QString answer;
    fd::setHandler([&](const fd::Request& r) {
        asked.push_back(r);
        return answer;
    });

    f.cmdReadFile->click(); // cancelled
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].initialDir, programDir());
    EXPECT_EQ(f.ConfigFileName, "");

    // Enter in the real question is Cancel: the edits stay, no save is offered.
    f.Changed = true;
    int cancel = 0;
    {
        RealBoxKeys enter(Qt::Key_Return);
        f.AskIfDiscardChanges(cancel);
        EXPECT_EQ(enter.titles, QStringList{"Changes Not Saved"});
    }
    EXPECT_EQ(cancel, 1);
    EXPECT_TRUE(f.Changed);
    EXPECT_EQ(asked.size(), 1u);

    // Yes, and the save dialog cancelled: the edits stay.
    cancel = 0;
    boxes_.push(mb::Yes);
    f.AskIfDiscardChanges(cancel);
    EXPECT_EQ(boxes_.last().title, "Changes Not Saved");
    EXPECT_EQ(cancel, 1);
    EXPECT_TRUE(f.Changed);

    // Yes with a file chosen saves it and lets the caller go on.
    answer = file("kept.csv");
    boxes_.push(mb::Yes);
    f.AskIfDiscardChanges(cancel);
    EXPECT_EQ(cancel, 0);
    EXPECT_FALSE(f.Changed);
    EXPECT_EQ(f.ConfigFileName, file("kept.csv"));

    // The next save proposes the last file; a refused read still becomes it.
    writeFile("other.csv", "\"32\",\"\",\"Zarn Link-0\"\r\n");
    answer = file("other.csv");
    f.cmdReadFile->click();
    answer = QString();
    f.cmdSaveFile->click();
    EXPECT_EQ(asked.back().initialName, "other.csv");

    // Leaving for the main menu: Cancel stays, No leaves with the edits dropped.
    f.Show();
    f.Changed = true;
    boxes_.push(mb::Cancel);
    f.cmdMainMenu->click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.Changed);
    boxes_.push(mb::No);
    f.cmdMainMenu->click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(f.Changed);
}

TEST_F(ParamFileTest, StartUpHandsItsCommandLineToTheSend)
{
    App::setCommandLine("\"no such file.csv\" 01 02");
    EXPECT_THROW(modZarn::main(), ProgramEnded);
    EXPECT_EQ(boxes_.last().title, "Auto Send File Not Found");
    EXPECT_TRUE(boxes_.last().text.startsWith("The file name >" + App::file("no such file.csv") + "  passed"));
    // The main menu came first, then the configuration screen beside it.
    EXPECT_TRUE(Forms::isLoaded<FrmConfig>());

    // A command line without a file name leaves the program running.
    Forms::discardAll();
    App::setCommandLine("\"\"");
    modZarn::main();
    EXPECT_TRUE(frmConfig().Visible());
}

TEST_F(ParamFileTest, CommandLineRampSoakFileInAGroupWithoutProgrammePages)
{
    // A group-2 model list with a ramp/soak-only model: its strip has two
    // pages, so the programme page the send selects elsewhere is not there.
    writeFile("ModelID.txt", ";\r\n;\r\n;\r\n;\r\n;\r\nXH,QX-H96,1/4 DIN PID Controller,2\r\n"
                             "RS,Ramp/Soak Only,Ramp/Soak Programme Set-up,2\r\n");
    writeFile("RS.TXT", ";\r\n;\r\n;\r\n;\r\n;\r\n4701H,4702H\r\n");
    FrmConfig& f = open(2, "A", "RS");
    gRampCfgMode = true;
    f.SaveParameterFile(file("rs.csv"));
    gRampCfgMode = false;
    ASSERT_EQ(boxes_.count(), 0);
    Forms::discardAll();
    EXPECT_THROW(AutoSendParameterFile("rs.csv 002"), ProgramEnded);
    // The send ran (and failed on the closed line) instead of an error box.
    for (const mb::Call& c : boxes_.calls())
        EXPECT_NE(c.title, "Application Error") << c.text.toStdString();
    EXPECT_EQ(boxes_.last().title, "Send to Instrument Communications Error");
    EXPECT_TRUE(gRampCfgMode);
    EXPECT_EQ(gRampCfgAddress, 2);
    EXPECT_EQ(frmConfig().tabConfig(2)->Tab(), 0);
}

namespace {

using cfguser::kStrayTitle;

enum class Filling { Low, High, Zero };

// Every field of the selected model as a read of an instrument holding each
// field's minimum, maximum or 0 fills it: text fields in display units at the
// screen's settings, lists at their first or last entry or none, bit fields
// all clear, all set or alternating.
void FillAsRead(FrmConfig& f, Filling filling)
{
    const std::vector<bool>& has = gModelHasRegister[std::size_t(f.CurModelIndex)];
    cfguser::asLoaded(f, [&] {
        for (int reg = 1; reg <= kMaxRegister; ++reg) {
            const auto& fd = gCfgField[std::size_t(reg)];
            if (!has[std::size_t(reg)])
                continue;
            const int raw = filling == Filling::Low ? fd[2] : filling == Filling::High ? fd[3] : 0;
            if (fd[1] == 1 && reg >= 0x2080 && reg <= 0x20BF) {
                if (!f.txtPattHour.exists(reg - 0x2080))
                    continue;
                f.txtPattHour(reg - 0x2080)->setText(QString::asprintf("%02d", raw / 60));
                f.txtPattMin(reg - 0x2080)->setText(QString::asprintf("%02d", raw % 60));
            } else if (fd[1] == 1 && f.txtParameter.exists(reg)) {
                float scale = 1;
                const QString format = f.DecimalPointFormat(reg, scale);
                f.txtParameter(reg)->setText(rt::Format(raw / scale, format));
            } else if (fd[1] == 2 && f.cbxParameter.exists(reg)) {
                ComboBox* list = f.cbxParameter(reg);
                list->setListIndex(filling == Filling::Low ? 0 : filling == Filling::High ? list->ListCount() - 1 : -1);
            } else if (fd[1] == 3 && reg != 3) {
                f.DistributeBits(reg, filling == Filling::Low ? 0 : filling == Filling::High ? -1 : 0x5555);
            }
        }
    });
}

} // namespace

// Every filling of every model of every group and protocol, at every decimal
// point and input type the screen takes, and after each change of model,
// decimal point and input type under it: what the screen saves loads again.
TEST_F(ParamFileTest, EverySavedFillingLoadsAgain)
{
    const std::pair<int, const char*> lines[] = {{0, "Z"}, {0, "R"}, {1, "R"}, {1, "A"}, {2, "A"}};
    int saves = 0;
    for (const auto& [g, protocol] : lines) {
        Forms::discardAll();
        FrmConfig& f = cfguser::loadScreen(g, protocol);
        cfguser::answerStrays(mb::Yes);
        const auto saveAndLoad = [&](const std::string& where) {
            SCOPED_TRACE(where);
            mb::clearCalls();
            QFile::remove(file("sweep.csv"));
            f.Changed = true;
            f.SaveParameterFile(file("sweep.csv"));
            if (g == 0 && f.CurDecimalPoint == 4 && f.ModelID() != "R7") {
                // Four decimals left from R7: the save says they must go first.
                ASSERT_FALSE(mb::calls().empty());
                EXPECT_EQ(mb::calls().back().title, "Invalid Decimal Point Setting");
                EXPECT_FALSE(QFile::exists(file("sweep.csv")));
                EXPECT_TRUE(f.Changed);
                return;
            }
            ASSERT_FALSE(f.Changed);
            const QByteArray saved = readFile("sweep.csv");
            mb::clearCalls();
            ASSERT_EQ(f.ReadParameterFile(file("sweep.csv")), 0) << mb::calls().back().text.toStdString();
            EXPECT_TRUE(mb::calls().empty());
            // Loaded as saved: the next save writes the same file.
            f.SaveParameterFile(file("again.csv"));
            EXPECT_EQ(readFile("again.csv"), saved);
            ++saves;
        };
        for (const Filling filling : {Filling::Low, Filling::High, Filling::Zero}) {
            ComboBox* models = f.cbxModelID(g);
            for (int model = 0; model < models->ListCount(); ++model) {
                models->setListIndex(model);
                const std::string id = f.ModelID().toStdString() + " filling " + std::to_string(int(filling));
                FillAsRead(f, filling);
                saveAndLoad(id);
                ComboBox* points = f.cbxDecimalPoint(g);
                for (int d = 0; d < points->ListCount(); ++d) {
                    points->setListIndex(d);
                    if (f.CurDecimalPoint != d)
                        continue; // the screen refused it
                    saveAndLoad(id + " dp " + std::to_string(d));
                    ComboBox* inputs = f.cbxInputType(g);
                    for (int t = 0; t < inputs->ListCount(); ++t) {
                        inputs->setListIndex(t);
                        if (inputs->ListIndex() == t && f.CurInputType == (g == 0 ? t + 1 : t))
                            saveAndLoad(id + " dp " + std::to_string(d) + " input " + std::to_string(t));
                    }
                }
            }
        }
    }
    boxes_.install();
    EXPECT_GT(saves, 1000);
}

// Model TW to R7 under a thermocouple input at "0.0": the process output
// limits keep their numbers, which R7 reads in tenths. The save names them;
// No saves nothing, Yes puts them at R7's limits and the file loads again.
TEST_F(ParamFileTest, AModelChangeNeverSavesAFileItRefuses)
{
    FrmConfig& f = cfguser::openScreen(0, "R");
    cfguser::pickModel(f, "TW");
    cfguser::pick(f, f.cbxInputType(0), "Type J T/C");
    cfguser::pick(f, f.cbxDecimalPoint(0), "0.0");
    for (const int reg : {334, 335}) {
        cfguser::type(f, f.txtParameter(reg), "9999");
        cfguser::leave(f.txtParameter(reg));
        EXPECT_EQ(f.txtParameter(reg)->Text(), "9,999");
    }
    cfguser::pickModel(f, "R7");
    EXPECT_EQ(f.txtParameter(334)->Text(), "9,999.0");
    for (const int answer : {mb::No, mb::Yes}) {
        SCOPED_TRACE(answer);
        boxes_.clear();
        boxes_.push(answer);
        f.SaveParameterFile(file("r7.csv"));
        ASSERT_GE(boxes_.count(), 1);
        EXPECT_EQ(boxes_.calls().front().title, kStrayTitle);
        for (const char* named : {"Register 334 (", "Register 335 ("})
            EXPECT_TRUE(boxes_.calls().front().text.contains(named)) << boxes_.calls().front().text.toStdString();
        EXPECT_EQ(QFile::exists(file("r7.csv")), answer == mb::Yes);
    }
    EXPECT_EQ(f.txtParameter(334)->Text(), "999.9");
    boxes_.clear();
    EXPECT_EQ(f.ReadParameterFile(file("r7.csv")), 0);
    EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
}

// A value typed and not yet left, then the window closed by its close box or
// by File > Exit and "Changes Not Saved" answered Yes: the field's own rule
// runs before the save, so the file holds the field's maximum and loads.
TEST_F(ParamFileTest, ASaveAskedForOnLeavingTakesTheFieldBeingTypedInThroughItsRule)
{
    fd::setHandler([this](const fd::Request&) { return file("closing.csv"); });
    for (const bool byMenu : {false, true}) {
        SCOPED_TRACE(byMenu ? "File > Exit" : "close box");
        Forms::discardAll();
        FrmConfig& f = cfguser::openScreen(0, "R");
        cfguser::pickModel(f, "TW");
        cfguser::pick(f, f.cbxDecimalPoint(0), "0");
        cfguser::type(f, f.txtParameter(258), "99999");
        ASSERT_TRUE(f.Changed);
        boxes_.clear();
        boxes_.push(mb::Yes);
        int status = -1;
        try {
            if (byMenu)
                f.mnuFileExit->trigger();
            else
                f.close();
        } catch (const ProgramEnded& end) {
            status = end.code;
        }
        EXPECT_EQ(status, 0);
        EXPECT_EQ(boxes_.calls().front().title, "Changes Not Saved");
        EXPECT_TRUE(readFile("closing.csv").contains("\r\n258,9999\r\n")) << readFile("closing.csv").toStdString();
        Forms::discardAll();
        FrmConfig& again = cfguser::loadScreen(0, "R");
        boxes_.clear();
        EXPECT_EQ(again.ReadParameterFile(file("closing.csv")), 0);
        EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
        QFile::remove(file("closing.csv"));
    }
    fd::clearHandler();
}
