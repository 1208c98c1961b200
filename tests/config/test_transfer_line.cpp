// Reading a configuration from an instrument, sending it back, and the
// command-line send, against the simulator.
#include <set>

#include "config/scaling.h"
#include "core/autosend.h"
#include "core/commport.h"
#include "platform/app.h"
#include "support/program.h"
#include "transfer_line.h"

using namespace modZarn;

namespace {

struct Model {
    int group;
    const char* protocol;
    const char* id;
    int address;
    int inputType; // the instrument's number
    bool rampOnly;
};

// Linear input types, so that the input-scaled fields take decimals.
const Model kModels[] = {
    {0, "R", "TW", 51, 15, false}, {0, "R", "R7", 51, 16, false}, {0, "R", "Q4", 51, 15, false},
    {0, "R", "RS", 51, 15, true},  {1, "R", "XG", 1, 14, false},  {1, "A", "TQ", 1, 3, false},
    {2, "A", "XH", 2, 3, false},
};

class TransferTest : public TransferLineTest {
protected:
    FrmConfig& serve(const Model& m, const std::string& extra = {}, const std::function<int(int)>& value = {})
    {
        Forms::discardAll();
        FrmConfig& f = open(m.group, m.protocol);
        sim_.stop();
        EXPECT_TRUE(sim_.start(lineFor(m.group, m.address, m.id, m.protocol, m.inputType, value) + extra))
            << sim_.errorText();
        openLine(7, sim_.ptyPath());
        gRampCfgMode = m.rampOnly;
        if (m.rampOnly)
            selectModel(f, m.id);
        f.cbxAddress->setText(AddressToText(m.group, m.address));
        f.Changed = true;
        boxes_.clear();
        return f;
    }

    // The command-line send of `name` to one address, in process: its status.
    int sendUnattended(const char* name, int group, int address)
    {
        try {
            AutoSendParameterFile("\"" + file(name) + "\" " + AddressToText(group, address));
        } catch (const ProgramEnded& end) {
            return end.code;
        }
        return -1;
    }

    // An interactive send refused before it begins: one box, nothing on the line.
    void expectSendRefused(FrmConfig& f, const char* title, const QString& text)
    {
        boxes_.clear();
        sim_.clearLog();
        bool failed = false;
        f.SendControllerParameters(failed, false);
        EXPECT_TRUE(failed);
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, title);
        EXPECT_EQ(boxes_.last().text, text);
        EXPECT_TRUE(sim_.requests().empty()) << sim_.requests().front().toStdString();
    }

    // The requests since the log was cleared that begin with `head` ("W 257=").
    std::vector<std::string> wireStarting(const std::string& head) const
    {
        std::vector<std::string> out;
        for (const std::string& frame : wire())
            if (frame.rfind(head, 0) == 0)
                out.push_back(frame);
        return out;
    }

    // A field's value as the send writes it back after a read.
    static int readBack(int reg)
    {
        const auto& fd = field(reg);
        if (fd[1] == 2)
            return indexFor(reg);
        if (fd[1] == 3) {
            int packed = 0;
            for (int bit = fd[2]; bit <= fd[3]; ++bit)
                if ((rawFor(reg) >> bit) & 1)
                    packed += bit == 15 ? -32768 : 1 << bit;
            return packed;
        }
        return rawFor(reg);
    }
};

} // namespace

TEST_F(TransferTest, ReadOfEverySampleModelFillsEveryVisibleField)
{
    for (const Model& m : kModels) {
        SCOPED_TRACE(m.id);
        FrmConfig& f = serve(m);
        f.ReadControllerParameters();
        EXPECT_EQ(boxes_.count(), 0) << boxes_.last().title.toStdString() << ": " << boxes_.last().text.toStdString();
        EXPECT_EQ(f.ModelID(), m.id);
        EXPECT_EQ(f.CurInputType, m.inputType);
        EXPECT_EQ(f.CurDecimalPoint, m.group == 2 ? 0 : 1);
        EXPECT_GT(expectFilledFromLine(f, f.CurModelIndex), 20);
        EXPECT_FALSE(f.Changed);
    }
}

// The XG without the programme's first set point 2000H.
std::string WithoutFirstSetPoint(std::string line)
{
    const auto at = line.find("reg 1 8192 ");
    line.erase(at, line.find('\n', at) + 1 - at);
    return line;
}

TEST_F(TransferTest, ReadFailuresAskOrStopAndNameTheField)
{
    const Model& xg = kModels[4];
    struct Case {
        bool silent;        // every answer lost: a communication failure
        int answer;
        bool reachesTheEnd; // the pass went on to the last register
    };
    for (const Case c : {Case{false, mb::Yes, true}, Case{false, mb::No, false}, Case{true, mb::OK, false}}) {
        SCOPED_TRACE(c.answer);
        FrmConfig& f = serve(xg);
        sim_.stop();
        ASSERT_TRUE(sim_.start(WithoutFirstSetPoint(lineFor(1, 1, "XG", "R", 14))));
        openLine(7, sim_.ptyPath());
        if (c.silent)
            sim_.must("fault 1 next=silence count=0");
        f.txtPattMin(63)->setText("59");
        boxes_.push(c.answer);
        f.ReadControllerParameters();
        ASSERT_EQ(boxes_.count(), 1);
        const mb::Call box = boxes_.last();
        EXPECT_EQ(box.title, "Read Instrument Communications Error");
        if (c.silent) {
            // Before the pass the message names no field.
            EXPECT_EQ(box.style, mb::Exclamation);
            EXPECT_TRUE(box.text.endsWith(". ")) << box.text.toStdString();
        } else {
            // The programme registers have no caption of their own.
            EXPECT_EQ(box.style, mb::YesNo | mb::DefaultButton2);
            EXPECT_TRUE(box.text.contains(". (Ramp/Soak) This parameter is not available in the instrument."))
                << box.text.toStdString();
        }
        EXPECT_EQ(f.txtPattMin(63)->Text(), c.reachesTheEnd ? QString::asprintf("%02d", rawFor(0x20BF) % 60) : "59");
        EXPECT_EQ(f.lblProgress->text(), "");
        EXPECT_FALSE(f.Loading);
    }
}

TEST_F(TransferTest, RefusedDecimalPointOrInputTypeKeepsTheScreensSettings)
{
    const Model& tw = kModels[0];
    struct Case {
        int reg, value;
        const char* title;
    };
    for (const Case c : {Case{795, 4, "Invalid Decimal Point Parameter"}, Case{792, 0, "Invalid Input Type Parameter"},
                         Case{792, 18, "Invalid Input Type Parameter"}}) {
        SCOPED_TRACE(c.reg);
        FrmConfig& f = serve(tw);
        const int dp = f.CurDecimalPoint, type = f.CurInputType;
        sim_.must("reg 51 " + std::to_string(c.reg - 1) + " " + std::to_string(c.value));
        f.ReadControllerParameters();
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, c.title);
        EXPECT_TRUE(boxes_.last().text.contains(QString(">") + rt::Str(c.value) + " from the instrument is invalid"));
        // A refused setting is not taken over, so a later send cannot write it.
        EXPECT_EQ(f.CurInputType, type);
        if (c.reg == 795)
            EXPECT_EQ(f.CurDecimalPoint, dp);
    }
}

TEST_F(TransferTest, SendPutsTheGroupsOrderOnTheWire)
{
    for (const Model& m : {kModels[0], kModels[4], kModels[6]}) {
        SCOPED_TRACE(m.id);
        FrmConfig& f = serve(m);
        f.ReadControllerParameters();
        ASSERT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
        const int slot = f.CurModelIndex;
        const int g = m.group;

        std::vector<std::string> expected;
        const auto R = [&](int reg) { expected.push_back("R " + std::to_string(wireOf(g, reg).second)); };
        const auto W = [&](int reg, int value) {
            const auto [bank, wire] = wireOf(g, reg);
            if (!bank.empty())
                expected.push_back("W " + std::to_string(wire) + "=" + std::to_string(std::int16_t(value)));
        };
        const auto shown = [](const QWidget* w) { return ctl::Visible(w); };
        const auto ticked = [&](int index) { return f.chkParameter(index)->Value() != 0; };
        const auto step = [&](int reg) {
            if (!has(slot, reg))
                return;
            switch (reg) {
            case 769: case 772: case 792: case 795: case 805: case 813: return;
            case 8: W(f.cbxParameter(8)->ListIndex() == 0 ? 1055 : 1056, 1); return;
            case 3: if (shown(f.chkParameter(1037))) W(ticked(1037) ? 1034 : 1033, 1); return;
            case 1028: case 1029: case 1031: case 1032: case 1035: case 1036:
                if (ticked(reg * 10)) W(reg, 1);
                return;
            case 0x102C: if (shown(f.cbxParameter(reg))) W(reg, 11); return; // "All but SV" in the group-1 code
            case 0x4731: if (shown(f.cbxParameter(reg))) W(reg, 22); return; // and in the group-2 code it was read as
            default: break;
            }
            if (reg >= 1067 && reg <= 1074) {
                if (shown(f.chkParameter(reg * 10)))
                    W(ticked(reg * 10) ? reg : reg + 1, 1);
                return;
            }
            const bool stepTime = reg >= cfgmap::kPattTimeFirst && reg <= cfgmap::kPattTimeLast;
            if ((stepTime && !f.tabConfig(1)->TabEnabled(2))
                || (!stepTime && field(reg)[1] == 1 && !shown(f.txtParameter(reg)))
                || (field(reg)[1] == 2 && !shown(f.cbxParameter(reg))))
                return;
            if (field(reg)[1] >= 1 && field(reg)[1] <= 3)
                W(reg, readBack(reg));
        };
        const auto rest = [&](std::set<int> first) {
            for (int reg = 1; reg <= kMaxRegister; ++reg)
                if (!first.count(reg))
                    step(reg);
        };

        R(1794);
        if (g == 0) {
            R(769);
            R(772);
            W(805, 1);
            W(813, f.chkParameter(8130)->Value());
            W(792, m.inputType);
            step(794);
            W(795, 1);
            for (int reg = 326; reg <= 333; ++reg)
                step(reg);
            step(8);
            for (int reg = 775; reg <= 778; ++reg)
                step(reg);
            rest({8, 326, 327, 328, 329, 330, 331, 332, 333, 775, 776, 777, 778, 792, 794, 795, 805, 813});
            W(805, f.chkParameter(8050)->Value());
        } else if (g == 1) {
            W(0x810, 1);
            W(792, m.inputType);
            W(795, 1);
            for (int reg : {0x811, 0x1002, 0x1003, 0x1020, 0x1021, 0x1022})
                step(reg);
            rest({792, 0x810, 0x811, 0x1002, 0x1003, 0x1020, 0x1021, 0x1022, 0x1071, 0x1072, 0x1073, 0x1074, 0x1075,
                  0x1076});
            W(0x810, f.cbxParameter(0x810)->ListIndex());
        } else {
            W(0x471A, 1);
            W(792, m.inputType);
            for (int reg : {0x4717, 0x4706, 0x4707, 0x4715, 0x4716})
                step(reg);
            rest({792, 0x4706, 0x4707, 0x4715, 0x4716, 0x4717, 0x471A});
            W(0x471A, f.cbxParameter(0x471A)->ListIndex());
        }

        sim_.clearLog();
        for (int i = 0; i < 10; ++i)
            boxes_.push(mb::Yes);
        bool failed = false;
        f.SendControllerParameters(failed, false);
        EXPECT_FALSE(failed);
        // Every register the model lists has a place in the group's register table.
        for (const mb::Call& c : boxes_.calls())
            EXPECT_NE(c.title, "Send to Instrument Communications Error") << c.text.toStdString();
        const std::vector<std::string> sent = wire();
        ASSERT_EQ(sent.size(), expected.size());
        for (std::size_t i = 0; i < sent.size(); ++i)
            EXPECT_EQ(sent[i], expected[i]) << "frame " << i;
        EXPECT_EQ(f.lblProgress->text(), "");
    }
}

TEST_F(TransferTest, SendChecksTheInstrumentBeforeWritingAnything)
{
    const Model& tw = kModels[0];
    struct Case {
        const char* statement; // changes the instrument before the send
        const char* title;     // the box that stops the send
    };
    const Case cases[] = {
        {"reg 51 1793 0x5237", "Model Names Are Not The Same"}, // the instrument is an R7
        {"reg 51 768 0", "Output 1 Control Setting is Invalid"}, // output 1 is no current output
        {"reg 51 771 6", "Output 2 Control Setting is Invalid"}, // output 2 is one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        FrmConfig& f = serve(tw);
        f.ReadControllerParameters();
        sim_.must(c.statement);
        sim_.clearLog();
        boxes_.clear();
        boxes_.push(mb::No);
        bool failed = false;
        f.SendControllerParameters(failed, false);
        EXPECT_TRUE(failed);
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, c.title);
        for (const std::string& frame : wire())
            EXPECT_EQ(frame[0], 'R') << frame;
    }
}

TEST_F(TransferTest, SendErrorsNameTheProgrammeRegistersAndEndOrGoOn)
{
    const Model& xg = kModels[4];
    for (const int answer : {mb::Yes, mb::No}) {
        FrmConfig& f = serve(xg);
        f.ReadControllerParameters();
        // The instrument refuses the first programme set point.
        sim_.stop();
        ASSERT_TRUE(sim_.start(WithoutFirstSetPoint(lineFor(1, 1, "XG", "R", 14))));
        openLine(7, sim_.ptyPath());
        boxes_.clear();
        mb::setHandler([answer](const mb::Call& c) { return c.text.contains("(Ramp/Soak)") ? answer : int(mb::Yes); });
        bool failed = false;
        f.SendControllerParameters(failed, false);
        const auto& calls = boxes_.calls();
        const auto it = std::find_if(calls.begin(), calls.end(),
                                     [](const mb::Call& c) { return c.text.contains("(Ramp/Soak)"); });
        ASSERT_NE(it, calls.end());
        EXPECT_EQ(it->title, "Send to Instrument Communications Error");
        EXPECT_TRUE(it->text.contains(". (Ramp/Soak) This parameter was not saved in the instrument.")) << it->text.toStdString();
        EXPECT_EQ(failed, answer == mb::No);
        // Yes goes on to the last step, which restores the remote-change setting.
        const std::vector<std::string> sent = wire();
        EXPECT_EQ(sent.back() == "W 2064=" + std::to_string(f.cbxParameter(0x810)->ListIndex()), answer == mb::Yes);
    }
}

TEST_F(TransferTest, CommandLineMessages)
{
    const Model& tw = kModels[0];
    FrmConfig& f = serve(tw);
    f.ReadControllerParameters();
    f.SaveParameterFile(file("good.csv"));
    writeFile("bad.csv", "\"33\",\"\",\"Modbus RTU-1\"\r\n");
    writeFile("damaged.csv", readFile("good.csv") + "258,abc\r\n");
    struct Case {
        const char* commandLine;
        std::vector<int> answers;
        std::vector<const char*> titles; // the boxes, in order
        const char* lastText;            // part of the last box's text
        bool ends;
    };
    const Case cases[] = {
        {"missing.csv 33", {}, {"Auto Send File Not Found"}, "missing.csv  passed to the program to automatically send "
                                                              "to an instrument does not exist", true},
        {"bad.csv 33", {}, {"Invalid Controller Group and Protocol Parameter", "Auto Send File Not Found"},
         "bad.csv  passed to the program to automatically send to an instrument failed to load properly.", true},
        {"damaged.csv 33", {}, {"Application Error", "Auto Send File Not Found"}, "damaged.csv  passed to the "
         "program to automatically send to an instrument failed to load properly.", true},
        {"good.csv   ", {}, {"No Addresses Given"}, "No instrument addresses were given to send file >", true},
        {"good.csv 1FF", {mb::No}, {"Continue With Next Instrument"},
         "The send to instrument address: 1FF is invalid.  Do you want to continue with the next address ?", true},
        {"\"\"", {}, {}, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        Forms::discardAll();
        boxes_.clear();
        sim_.clearLog();
        for (int a : c.answers)
            boxes_.push(a);
        bool ended = false;
        try {
            AutoSendParameterFile(c.commandLine);
        } catch (const ProgramEnded&) {
            ended = true;
        }
        EXPECT_EQ(ended, c.ends);
        ASSERT_EQ(boxes_.count(), int(c.titles.size()));
        for (std::size_t i = 0; i < c.titles.size(); ++i)
            EXPECT_EQ(boxes_.calls()[i].title, c.titles[i]);
        if (!c.titles.empty())
            EXPECT_TRUE(boxes_.last().text.contains(c.lastText)) << boxes_.last().text.toStdString();
        // The screen comes up first, also when nothing is sent.
        EXPECT_TRUE(Forms::isLoaded<FrmConfig>());
        EXPECT_TRUE(wire().empty());
    }
}

// A value its field cannot hold, in a file made or edited by hand, refuses
// the whole file in every group and protocol: the screen keeps what it
// showed, and the command-line send ends as for a file that did not load,
// with nothing on the line. What the screen saves from the demonstration
// line's instruments, and with a field at either limit, loads byte for byte.
TEST_F(TransferTest, ValuesTheirFieldsCannotHoldRefuseTheWholeFile)
{
    struct Pair {
        int group;
        const char* protocol;
        int address;
        const char* id;
        const char* reg;   // a text field of the model, as the file names it
        const char* range; // its limits at the decimal point read
        const char* field; // a list or bit field line its field cannot hold
        const char* fieldRange;
    };
    const Pair pairs[] = {
        {0, "Z", 50, "Q4", "258", "-199.9 to 999.9", "350,131071", "-32768 to 65535"},
        {0, "R", 51, "TW", "258", "-199.9 to 999.9", "805,70000", "-32768 to 65535"},
        {1, "R", 1, "XG", "1001H", "-199.9 to 999.9", "0810H,2", "0 to 1"},
        {1, "A", 1, "XG", "1001H", "-199.9 to 999.9", "102CH,-2", "0 to 2"},
        {2, "A", 2, "XH", "4701H", "-199.9 to 999.9", "4731H,3", "0 to 2"},
    };
    for (const Pair& p : pairs) {
        SCOPED_TRACE(std::string(p.protocol) + std::to_string(p.group) + " " + p.id);
        Forms::discardAll();
        FrmConfig& f = open(p.group, p.protocol);
        sim_.stop();
        ASSERT_TRUE(sim_.start()) << sim_.errorText();
        openLine(7, sim_.ptyPath());
        f.cbxAddress->setText(AddressToText(p.group, p.address));
        boxes_.clear();
        f.ReadControllerParameters();
        ASSERT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
        ASSERT_EQ(f.ModelID(), p.id);

        f.SaveParameterFile(file("read.csv"));
        ASSERT_EQ(f.ReadParameterFile(file("read.csv")), 0) << boxes_.last().text.toStdString();
        // The screen's own entry puts the field at either limit.
        const QString regText = p.reg;
        const int reg = regText.endsWith('H') ? regText.chopped(1).toInt(nullptr, 16) : regText.toInt();
        for (const char* typed : {"99999", "-99999"}) {
            f.txtParameter(reg)->setText(typed);
            f.txtParameter(reg)->setModified(true); // as typed
            f.txtParameter_LostFocus(reg);
            f.SaveParameterFile(file("limit.csv"));
            ASSERT_EQ(f.ReadParameterFile(file("limit.csv")), 0) << boxes_.last().text.toStdString();
            f.SaveParameterFile(file("again.csv"));
            EXPECT_EQ(readFile("again.csv"), readFile("limit.csv"));
        }
        // Only the offer to write the set point at once (declined).
        for (const mb::Call& c : boxes_.calls())
            EXPECT_EQ(c.title, "Immediate Write of Parameter") << c.text.toStdString();
        const QByteArray saved = readFile("limit.csv");
        f.txtDescription(p.group)->setText("on screen");
        f.SaveParameterFile(file("before.csv"));
        f.Changed = true;

        // The file with one line put in place of the text field's, or added.
        const QByteArray key = regText.toLatin1() + ',';
        const auto withLine = [&](const QString& line) {
            QByteArray out;
            for (const QByteArray& l : saved.split('\n'))
                if (!l.isEmpty())
                    out += (l.startsWith(key) ? line.toLatin1() + '\r' : l) + '\n';
            return line.startsWith(key) ? out : out + line.toLatin1() + "\r\n";
        };
        const QString field = p.field;
        const std::pair<QString, QString> bads[] = {
            {key + "20000", p.range},
            {key + "-5000", p.range},
            {key + "1e30", p.range},
            {field, p.fieldRange},
        };
        for (const auto& [line, range] : bads) {
            SCOPED_TRACE(line.toStdString());
            writeFile("bad.csv", withLine(line));
            boxes_.clear();
            sim_.clearLog();
            EXPECT_EQ(f.ReadParameterFile(file("bad.csv")), -1);
            ASSERT_EQ(boxes_.count(), 1);
            EXPECT_EQ(boxes_.last().title, "Invalid Parameter Value");
            EXPECT_EQ(boxes_.last().text, "The value >" + line.section(',', 1) + " of register " + line.section(',', 0, 0)
                                              + " found in parameter file >" + file("bad.csv")
                                              + " is outside the range " + range
                                              + " that its field allows.  This parameter file cannot be loaded.");
            EXPECT_TRUE(f.Changed);
            f.SaveParameterFile(file("after.csv"));
            f.Changed = true;
            EXPECT_EQ(readFile("after.csv"), readFile("before.csv"));

            // Unattended: the status of a file that did not load, nothing sent.
            boxes_.clear();
            const int status = sendUnattended("bad.csv", p.group, p.address);
            EXPECT_EQ(status, kFileProblem);
            EXPECT_EQ(boxes_.calls().front().title, "Invalid Parameter Value");
            EXPECT_EQ(boxes_.last().title, "Auto Send File Not Found");
            EXPECT_TRUE(sim_.requests().empty()) << sim_.requests().front().toStdString();
        }
    }
}

// The program itself run from a script: its exit status tells a send that
// went through from a file problem, an address problem and a failed send.
TEST_F(TransferTest, CommandLineSendExitStatusTellsTheOutcome)
{
    const Model& tw = kModels[0];
    open(0, "R");
    FrmConfig& f = serve(tw, lineFor(0, 52, "TW", "R", 15) + lineFor(0, 53, "TW", "R", 15));
    f.ReadControllerParameters();
    f.txtParameter(258)->setText("123.4");
    f.SaveParameterFile(file("zone one.csv"));
    // A backup of an instrument holding 0 where the field allows no less
    // than 1, saved with the field put at its minimum.
    f.txtParameter(267)->setText("0");
    boxes_.push(mb::Yes);
    f.SaveParameterFile(file("backup.csv"));
    ASSERT_TRUE(readFile("backup.csv").contains("\r\n267,1\r\n")) << readFile("backup.csv").toStdString();
    writeFile("bad.csv", "\"33\",\"\",\"Modbus RTU-1\"\r\n");
    // Set point 1 at 2000 where one decimal allows 999.9.
    writeFile("high.csv", readFile("zone one.csv").replace("\r\n258,123.4\r\n", "\r\n258,2000\r\n"));
    ASSERT_NE(readFile("high.csv"), readFile("zone one.csv"));
    Forms::discardAll();
    // The line is the child's now.
    CommPort().setPortOpen(false);
    writeFile("Quinrex3.cfg", " 1 \r\n 9600 \r\nNone\r\n 8 \r\n 1 \r\n 150 \r\n 0 \r\nR\r\n 1 \r\n 1 \r\n"
                              "viewer\r\n/tmp/\r\n");
    ASSERT_TRUE(ProgramRun::install(programDir()));

    struct Case {
        QStringList args;
        const char* next; // the answer to "Continue With Next Instrument"
        int status;
        std::vector<int> sent; // the addresses that took the file
    };
    const Case cases[] = {
        {{"zone one.csv", "34", "35"}, "", kSent, {52, 53}},
        {{"missing.csv", "34"}, "", kFileProblem, {}},
        {{"bad.csv", "34"}, "", kFileProblem, {}},
        {{"high.csv", "34", "35"}, "", kFileProblem, {}},
        {{"backup.csv", "34", "35"}, "", kSent, {52, 53}},
        {{"zone one.csv"}, "", kAddressProblem, {}},
        {{"zone one.csv", "1FF", "34"}, "Yes", kAddressProblem, {52}},
        {{"zone one.csv", "36"}, "", kSendFailed, {}},
        {{"zone one.csv", "36", "35"}, "Yes", kSendFailed, {53}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.args.join(' ') + " / " + c.next).toStdString());
        for (int address : {52, 53})
            sim_.must("reg " + std::to_string(address) + " 257 1");
        sim_.clearLog();
        ProgramRun run;
        run.env().insert(QStringLiteral("QUINREX3_COM1"), QString::fromStdString(sim_.ptyPath()));
        ASSERT_TRUE(run.start(programDir(), c.args));
        const int status = run.finish([&](const QString& box) {
            if (box.startsWith(QLatin1String("Continue With Next Instrument")))
                return QString::fromLatin1(c.next);
            // The remote-change questions wait for their answer like every box.
            return box.startsWith(QLatin1String("Remote Change")) ? QStringLiteral("Yes") : QString();
        });
        EXPECT_EQ(status, c.status) << run.log().toStdString();
        if (c.status == kFileProblem)
            EXPECT_TRUE(sim_.requests().empty()) << sim_.requests().front().toStdString();
        for (int address : {52, 53})
            EXPECT_EQ(sim_.must("get " + std::to_string(address) + " reg 257"),
                      std::count(c.sent.begin(), c.sent.end(), address) ? "1234" : "1")
                << address;
    }

    // A run-time error leaves the program running; its end then tells that
    // the send did not complete.
    Forms::discardAll();
    boxes_.clear();
    AutoSendParameterFile("\"zone one.csv\" 10000");
    EXPECT_EQ(boxes_.last().title, "Application Error");
    EXPECT_EQ(App::exitStatus(), kAddressProblem);
}

// The demonstration line's "Zarn Link" instrument serves a whole
// configuration, takes it back, and what a send writes is what the next
// read finds: the values, the reset signs, the alarm output bits, and the
// settings whose commands carry their value.
TEST_F(TransferTest, DemonstrationLineServesAWholeZarnLinkConfiguration)
{
    FrmConfig& f = open(0, "Z");
    sim_.stop();
    ASSERT_TRUE(sim_.start()) << sim_.errorText();
    openLine(7, sim_.ptyPath());
    f.cbxAddress->setText(AddressToText(0, 50));
    boxes_.clear();
    f.ReadControllerParameters();
    ASSERT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
    EXPECT_EQ(f.ModelID(), "Q4");
    const int slot = f.CurModelIndex;
    const auto shown = [](const QWidget* w) { return ctl::Visible(w); };

    // Lists first: they decide which fields are shown.
    std::map<ComboBox*, int> lists;
    for (int reg : {8, 802, 803, 804, 809, 811, 812})
        if (has(slot, reg) && shown(f.cbxParameter(reg)))
            lists[f.cbxParameter(reg)] = reg == 803 ? (f.cbxParameter(reg)->ListIndex() + 1) % 4
                                                    : 1 - f.cbxParameter(reg)->ListIndex();
    for (int reg = cfgmap::kReset1; reg <= cfgmap::kReset4; ++reg)
        if (shown(f.cbxReset(reg)))
            lists[f.cbxReset(reg)] = 1 - f.cbxReset(reg)->ListIndex();
    for (const auto& [list, index] : lists)
        list->setListIndex(index);

    std::map<TextBox*, double> texts;
    for (int reg = 1; reg <= kMaxRegister; ++reg) {
        const int write = gZarnXref[std::size_t(reg)][2];
        if (!has(slot, reg) || field(reg)[1] != 1 || write < 0 || write >= 0x400 || !shown(f.txtParameter(reg)))
            continue;
        const int lo = field(reg)[2], hi = field(reg)[3];
        const int from = reg == 263 ? lo : std::max(lo, 0); // one negative value
        const int raw = reg == 263 ? lo : from + (reg * 7) % (hi - from + 1);
        float scale = 1;
        f.DecimalPointFormat(reg, scale);
        texts[f.txtParameter(reg)] = raw / double(scale);
        f.txtParameter(reg)->setText(QString::number(raw / double(scale), 'f', 4));
    }
    std::map<CheckBox*, int> checks;
    for (int reg : {3, 350, 351, 783, 784, 785, 786, 787, 788, 789, 793, 805, 807, 813})
        for (int bit = field(reg)[2]; has(slot, reg) && bit <= field(reg)[3]; ++bit)
            if (CheckBox* c = f.bitBox(reg, bit); shown(c))
                checks[c] = 1 - c->Value();
    for (const auto& [check, value] : checks)
        check->setValue(value);
    ASSERT_GT(texts.size(), 50u);
    ASSERT_GT(checks.size(), 20u);
    ASSERT_GE(lists.size(), 6u);

    mb::setHandler([](const mb::Call&) { return int(mb::Yes); });
    bool failed = true;
    f.SendControllerParameters(failed, false);
    ASSERT_FALSE(failed) << boxes_.last().text.toStdString();
    boxes_.install();
    boxes_.clear();
    f.ReadControllerParameters();
    ASSERT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
    for (const auto& [list, index] : lists)
        EXPECT_EQ(list->ListIndex(), index) << list->objectName().toStdString();
    for (const auto& [text, value] : texts)
        EXPECT_NEAR(cfgscale::FieldValue(text->Text()), value, 1e-6) << text->objectName().toStdString();
    for (const auto& [check, value] : checks)
        EXPECT_EQ(check->Value(), value) << check->objectName().toStdString();
    f.Changed = false;
}

TEST_F(TransferTest, DemoModeIsLeftOnlyWhenTheUserAgrees)
{
    const Model& tw = kModels[0];
    for (const int combo : {0, 1, 2, 3}) {
        const bool send = combo >= 2, no = combo % 2 == 0;
        SCOPED_TRACE(combo);
        FrmConfig& f = serve(tw);
        if (send)
            f.ReadControllerParameters();
        boxes_.clear();
        gDemoMode = true;
        f.lblDemoMode->setVisible(true);
        f.lblProgress->setText("before");
        sim_.clearLog();
        boxes_.push(no ? mb::No : mb::Yes);
        bool failed = false;
        send ? f.SendControllerParameters(failed, false) : f.ReadControllerParameters();
        EXPECT_EQ(boxes_.calls().front().title, "Switch out of Demo Mode");
        EXPECT_TRUE(boxes_.calls().front().text.contains(send ? "send the setup to the instrument ?"
                                                              : "read from the controller ?"));
        EXPECT_EQ(gDemoMode, no);
        EXPECT_EQ(ctl::Visible(f.lblDemoMode), no);
        EXPECT_EQ(wire().empty(), no);
        if (no)
            EXPECT_TRUE(f.lblProgress->text() == "before" && failed == send);
        gDemoMode = false;
    }
}

TEST_F(TransferTest, RampSoakOnlySendSkipsTheModelAndTheSettings)
{
    const Model& rs = kModels[3];
    FrmConfig& f = serve(rs);
    f.ReadControllerParameters();
    ASSERT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
    sim_.clearLog();
    bool failed = true;
    f.SendControllerParameters(failed, true);
    EXPECT_FALSE(failed);
    const std::vector<std::string> sent = wire();
    ASSERT_FALSE(sent.empty());
    // No model read, no input type or decimal point: only the switches and the programme.
    EXPECT_EQ(sent.front(), "W 804=1");
    for (const std::string& frame : sent) {
        EXPECT_NE(frame, "R 1793");
        EXPECT_EQ(frame.rfind("W 791=", 0), std::string::npos);
        EXPECT_EQ(frame.rfind("W 794=", 0), std::string::npos);
    }
    EXPECT_EQ(sent.back(), "W 804=" + std::to_string(f.chkParameter(8050)->Value()));

    // Over "Zarn Link" a model without it is refused before any exchange.
    gProtocolCode = "Z";
    selectModel(f, "TW");
    gRampCfgMode = true;
    sim_.clearLog();
    boxes_.clear();
    f.SendControllerParameters(failed, false);
    EXPECT_TRUE(failed);
    EXPECT_EQ(boxes_.last().title, "Invalid Model for Zarn Link");
    EXPECT_TRUE(wire().empty());
}

// An instrument holding 0 in a field that allows no less than 1, in every
// group: the read shows it as read and names it; neither a save nor a send
// takes it without the user's Yes, which puts it at the field's minimum.
TEST_F(TransferTest, ValuesReadOutsideTheirRangeAreNamedAndNeverSavedOrSentUnasked)
{
    const std::pair<int, int> cases[] = {{0, 267}, {4, 0x1007}, {6, 0x4708}};
    for (const auto& [model, reg] : cases) {
        const Model& m = kModels[model];
        SCOPED_TRACE(m.id);
        // TW's output 1 on/off, so that its differential is shown and sent.
        FrmConfig& f = serve(m, m.group == 0 ? "reg 51 768 3\n" : "");
        const auto [bank, wireReg] = wireOf(m.group, reg);
        sim_.must(bank + ' ' + std::to_string(m.address) + ' ' + std::to_string(wireReg) + " 0");
        f.ReadControllerParameters();
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, "Parameter Values Outside Their Range");
        EXPECT_EQ(boxes_.last().style, mb::Exclamation);
        const QString named = "Register" + f.GStr(reg) + " (" + f.lblParamLabel(reg)->text() + ") >0, range ";
        EXPECT_TRUE(boxes_.last().text.contains(named)) << boxes_.last().text.toStdString();
        TextBox* t = f.txtParameter(reg);
        EXPECT_EQ(cfgscale::FieldValue(t->Text()), 0) << t->Text().toStdString();

        // No: nothing saved, nothing sent.
        for (const bool save : {true, false}) {
            boxes_.clear();
            sim_.clearLog();
            boxes_.push(mb::No);
            bool failed = false;
            if (save)
                f.SaveParameterFile(file("backup.csv"));
            else
                f.SendControllerParameters(failed, false);
            ASSERT_GE(boxes_.count(), 1);
            EXPECT_EQ(boxes_.calls().front().title, "Parameter Values Outside Their Range");
            EXPECT_EQ(boxes_.calls().front().style, mb::YesNo | mb::DefaultButton2);
            EXPECT_TRUE(boxes_.calls().front().text.contains(named));
            EXPECT_FALSE(QFile::exists(file("backup.csv")));
            for (const std::string& frame : wire())
                EXPECT_NE(frame[0], 'W') << frame;
            EXPECT_EQ(cfgscale::FieldValue(t->Text()), 0);
        }

        // Yes: the field at its minimum, and saved (that such backups load
        // and send is for the test of instruments at their limits).
        boxes_.clear();
        boxes_.push(mb::Yes);
        f.SaveParameterFile(file("backup.csv"));
        float scale = 1;
        f.DecimalPointFormat(reg, scale);
        EXPECT_FLOAT_EQ(float(cfgscale::FieldValue(t->Text())), float(field(reg)[2]) / scale);
        EXPECT_TRUE(QFile::exists(file("backup.csv")));
        QFile::remove(file("backup.csv"));
    }
}

// Hand-edited values: a step time with a fraction, a value just beyond a
// limit, a list position beyond the list, a bit pattern beyond 16 bits
// refuse the whole file, interactively and unattended, with nothing on the
// line; values exactly at the limits load and are sent.
TEST_F(TransferTest, HandEditedValuesBeyondALimitAreRefusedAndTheLimitsLoad)
{
    struct Case {
        int model;
        const char* line;
        const char* refusal; // what the box says of the value; nullptr: the file loads
    };
    const char* const whole = "has more decimal places than its field holds: whole numbers.";
    const char* const tenths = "has more decimal places than its field holds: 1 decimal place.";
    const char* const steps = "is outside the range 0 to 959 ";
    const char* const sv = "is outside the range -199.9 to 999.9 ";
    const char* const bits = "is outside the range -32768 to 65535 ";
    const Case cases[] = {
        // A step time is whole minutes, up to 15:59 as its fields take it.
        {4, "2080H,119.7", whole}, {4, "2080H,90.5", whole}, {4, "2080H,0.4", whole},
        {4, "2080H,960", steps}, {4, "2080H,-1", steps}, {4, "2080H,959", nullptr}, {4, "2080H,0", nullptr},
        // A text field takes no more decimals than it shows.
        {4, "1001H,1000", sv}, {4, "1001H,-200", sv}, {4, "1001H,999.9", nullptr}, {4, "1001H,-199.9", nullptr},
        {4, "1001H,12.34", tenths}, {4, "1001H,12.30", nullptr}, {0, "258,12.34", tenths}, {0, "267,2.5", whole},
        {4, "1001H,1.00000005", tenths}, {0, "267,7.0000005", whole}, // as the set-point doors judge them
        // A list position or bit pattern with a fraction chooses nothing.
        {4, "0810H,2", "is outside the range 0 to 1 "}, {4, "0810H,-2", "is outside the range 0 to 1 "},
        {4, "0810H,1", nullptr}, {4, "0810H,-1", nullptr}, {4, "0810H,0.5", whole}, {0, "794,1.5", whole},
        {6, "4708H,0", "is outside the range 0.1 to 999.9 "}, {6, "4708H,0.1", nullptr}, {6, "4708H,999.9", nullptr},
        {6, "4708H,1000", "is outside the range 0.1 to 999.9 "},
        {0, "805,65536", bits}, {0, "805,-32769", bits}, {0, "805,65535", nullptr}, {0, "805,-32768", nullptr},
        {0, "805,1.5", whole},
    };
    int lastModel = -1;
    QByteArray saved;
    for (const Case& c : cases) {
        const Model& m = kModels[c.model];
        SCOPED_TRACE(c.line);
        FrmConfig& f = serve(m);
        if (c.model != lastModel) {
            f.ReadControllerParameters();
            f.SaveParameterFile(file("read.csv"));
            saved = readFile("read.csv");
            lastModel = c.model;
        } else {
            ASSERT_EQ(f.ReadParameterFile(file("read.csv")), 0);
        }
        const QString line = c.line;
        const QByteArray key = line.section(',', 0, 0).toLatin1() + ',';
        QByteArray edited;
        for (const QByteArray& l : saved.split('\n'))
            if (!l.isEmpty())
                edited += (l.startsWith(key) ? line.toLatin1() + '\r' : l) + '\n';
        ASSERT_TRUE(edited.contains(line.toLatin1()));
        writeFile("edited.csv", edited);
        f.SaveParameterFile(file("before.csv"));
        f.Changed = true;
        boxes_.clear();
        EXPECT_EQ(f.ReadParameterFile(file("edited.csv")), c.refusal ? -1 : 0);
        if (c.refusal) {
            ASSERT_EQ(boxes_.count(), 1);
            EXPECT_EQ(boxes_.last().title, "Invalid Parameter Value");
            EXPECT_TRUE(boxes_.last().text.contains(c.refusal)) << boxes_.last().text.toStdString();
            f.SaveParameterFile(file("after.csv"));
            EXPECT_EQ(readFile("after.csv"), readFile("before.csv"));
        } else {
            EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
        }
        boxes_.clear();
        sim_.clearLog();
        const int status = sendUnattended("edited.csv", m.group, m.address);
        EXPECT_EQ(status, c.refusal ? kFileProblem : kSent);
        EXPECT_EQ(sim_.requests().empty(), c.refusal != nullptr);
    }
}

// Instruments holding each field's minimum, each field's maximum, or 0 in
// every register of their model: the read, the save (agreeing to put what
// lies outside a range at its limit), the load and the command-line send of
// that backup all go through, and nothing outside a text field's range goes
// on the line.
TEST_F(TransferTest, BackupsOfInstrumentsAtTheirLimitsLoadAndSendUnattended)
{
    enum Filling { Minimum, Maximum, Zero };
    for (const Model& m : kModels) {
        if (m.rampOnly)
            continue;
        for (const Filling filling : {Minimum, Maximum, Zero}) {
            SCOPED_TRACE(std::string(m.id) + " filling " + std::to_string(filling));
            FrmConfig& f = serve(m, {}, [filling](int reg) {
                const auto& fd = field(reg);
                if (fd[1] == 3)
                    return filling == Maximum ? 0xFFFF : 0;
                return filling == Minimum ? fd[2] : filling == Maximum ? fd[3] : 0;
            });
            // The model's text fields by the wire register that carries them.
            std::map<int, int> textByWire;
            for (int reg = 1; reg <= kMaxRegister; ++reg)
                if (has(slotOf(m.group, m.id), reg) && field(reg)[1] == 1)
                    if (const auto [bank, wire] = wireOf(m.group, reg); bank == "reg" || bank == "preg")
                        textByWire[wire] = reg;
            cfguser::answerStrays(mb::Yes);
            f.ReadControllerParameters();
            for (const mb::Call& c : boxes_.calls())
                EXPECT_EQ(c.title, cfguser::kStrayTitle) << c.text.toStdString();
            QFile::remove(file("limits.csv"));
            f.SaveParameterFile(file("limits.csv"));
            ASSERT_TRUE(QFile::exists(file("limits.csv")));
            EXPECT_FALSE(f.Changed);
            boxes_.clear();
            EXPECT_EQ(f.ReadParameterFile(file("limits.csv")), 0) << boxes_.last().text.toStdString();

            sim_.clearLog();
            boxes_.clear();
            EXPECT_EQ(sendUnattended("limits.csv", m.group, m.address), kSent) << boxes_.last().text.toStdString();
            int checked = 0;
            for (const std::string& frame : wire()) {
                int wireReg = 0, value = 0;
                if (std::sscanf(frame.c_str(), "W %d=%d", &wireReg, &value) != 2 || !textByWire.count(wireReg))
                    continue;
                const int reg = textByWire[wireReg];
                const bool reset = reg >= cfgmap::kReset1 && reg <= cfgmap::kReset4;
                const int v = reset ? std::abs(value) : value;
                EXPECT_TRUE(v >= field(reg)[2] && v <= field(reg)[3]) << frame << " for register " << reg;
                ++checked;
            }
            EXPECT_GT(checked, 5) << ::testing::PrintToString(wire());
            boxes_.install();
        }
    }
}

// A step time of 70:47 read from an instrument lies beyond what its hour
// and minute fields take (15:59): the read names it and the send asks
// before it writes anything; Yes writes the limit the user agreed to, never
// a time cut to 15 hours.
TEST_F(TransferTest, AStepTimeBeyondItsFieldsIsNamedAndNeverCutUnseen)
{
    const int rampSoak = open(1, "R").cbxParameter(0x1005)->findText("RAMP/SOAK");
    FrmConfig& f = serve(kModels[4], {}, [rampSoak](int reg) {
        return reg == 0x2080 ? 4247 : reg == 0x1005 ? rampSoak : rawFor(reg);
    });
    f.ReadControllerParameters();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.contains("Register 2080H (Ramp/Soak) >4247, range 0 to 959"))
        << boxes_.last().text.toStdString();

    const std::string written = "W " + std::to_string(wireOf(1, 0x2080).second) + "=";
    for (const int answer : {mb::No, mb::Yes}) {
        SCOPED_TRACE(answer);
        sim_.clearLog();
        cfguser::answerStrays(answer);
        bool failed = false;
        f.SendControllerParameters(failed, false);
        boxes_.install();
        EXPECT_EQ(failed, answer == mb::No);
        EXPECT_EQ(wireStarting("W ").empty(), answer == mb::No);
        if (answer == mb::Yes)
            EXPECT_EQ(wireStarting(written), std::vector<std::string>{written + "959"});
    }
    EXPECT_EQ(f.txtPattHour(0)->Text(), "15");
    EXPECT_EQ(f.txtPattMin(0)->Text(), "59");
}

// A file without the line of a register its model has, with only its
// header, or whose last line lost its end (and perhaps digits) is refused
// whole: the screen keeps what it showed, and the command-line send ends
// as for a file that did not load, with nothing on the line.
TEST_F(TransferTest, FilesShortOfALineOrCutShortAreRefusedWhole)
{
    const Model& tw = kModels[0];
    FrmConfig& f = serve(tw);
    f.ReadControllerParameters();
    f.SaveParameterFile(file("full.csv"));
    const QByteArray full = readFile("full.csv");
    const QByteArray no258 = cfguser::withLine(full, "258,", "");
    const QString name = file("short.csv");
    const QString lacks = "The parameter file >" + name + " has no line";
    const QString cut = "The last line of parameter file >" + name + " has no line end: the file was cut short.";
    const std::pair<QByteArray, QString> cases[] = {
        {no258, lacks + " for register 258 (Setpoint 1 (SP1)), which model TW has."},
        {cfguser::withLine(no258, "262,", ""),
         lacks + "s for 2 registers that model TW has, the first register 258 (Setpoint 1 (SP1))."},
        {full.split('\n').mid(0, 5).join('\n') + '\n',
         lacks + "s for " + QString::number(full.count('\n') - 5)
             + " registers that model TW has, the first register 3."},
        {full.chopped(2), cut},
        {full.chopped(3), cut},
        {full.chopped(2) + "  ", cut},
    };
    f.txtDescription(0)->setText("on screen");
    f.SaveParameterFile(file("before.csv"));
    for (const auto& [content, says] : cases) {
        SCOPED_TRACE(content.right(40).toStdString());
        writeFile("short.csv", content);
        f.Changed = true;
        boxes_.clear();
        EXPECT_EQ(f.ReadParameterFile(name), -1);
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, "Incomplete Parameter File");
        EXPECT_EQ(boxes_.last().text, says + "  This parameter file cannot be loaded.");
        EXPECT_TRUE(f.Changed);
        f.SaveParameterFile(file("after.csv"));
        EXPECT_EQ(readFile("after.csv"), readFile("before.csv"));

        boxes_.clear();
        sim_.clearLog();
        EXPECT_EQ(sendUnattended("short.csv", tw.group, tw.address), kFileProblem);
        EXPECT_EQ(boxes_.calls().front().title, "Incomplete Parameter File");
        EXPECT_TRUE(sim_.requests().empty()) << sim_.requests().front().toStdString();
    }
    boxes_.clear();
    EXPECT_EQ(sendUnattended("full.csv", tw.group, tw.address), kSent) << boxes_.last().text.toStdString();
}

// A field the send does not write (output 1's differential, hidden while
// the output is current or voltage) holding a value outside its range: the
// send asks nothing about it; the save, which writes every field, still asks.
TEST_F(TransferTest, TheSendAsksOnlyAboutTheFieldsItWrites)
{
    FrmConfig& f = serve(kModels[0], "reg 51 266 0\n");
    f.ReadControllerParameters();
    ASSERT_TRUE(boxes_.last().text.contains("Register 267 (")) << boxes_.last().text.toStdString();
    ASSERT_FALSE(ctl::Visible(f.txtParameter(267)));
    boxes_.clear();
    sim_.clearLog();
    bool failed = true;
    f.SendControllerParameters(failed, false);
    EXPECT_FALSE(failed);
    for (const mb::Call& c : boxes_.calls())
        EXPECT_NE(c.title, cfguser::kStrayTitle) << c.text.toStdString();
    EXPECT_TRUE(wireStarting("W 266=").empty());
    EXPECT_GT(wire().size(), 20u);

    boxes_.clear();
    boxes_.push(mb::No);
    f.SaveParameterFile(file("backup.csv"));
    ASSERT_GE(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.calls().front().text.contains("Register 267 ("));
    EXPECT_FALSE(QFile::exists(file("backup.csv")));
}

// Set point 1 at every decimal point, typed and sent from the screen, then
// edited by hand into the saved file sent from the command line: what was
// given goes out, a value at either limit as the instrument's -1999 or 9999.
// An empty field, or a decimal point the model lacks, is named with nothing
// on the line; a file value beyond the limits, finer than the field, empty
// or no number refuses the file unsent.
TEST_F(TransferTest, SetPointOneAtEveryDecimalPointGoesOutAsGivenOrIsRefused)
{
    const Model& tw = kModels[0];
    struct Point {
        const char *point, *max, *min, *typed, *written, *beyond, *finer;
    };
    const Point points[] = {
        {"0", "9999", "-1999", "17", "17", "10000", "12.5"},
        {"0.0", "999.9", "-199.9", "12.3", "123", "1000", "12.34"},
        {"0.00", "99.99", "-19.99", "0.05", "5", "-20", "0.125"},
        {"0.000", "9.999", "-1.999", "-0.001", "-1", "10", "-0.0005"},
    };
    FrmConfig& f = serve(tw);
    f.ReadControllerParameters();
    f.Show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    TextBox* t = f.txtParameter(258);
    for (const Point& p : points) {
        SCOPED_TRACE(p.point);
        cfguser::pick(f, f.cbxDecimalPoint(0), p.point);
        for (const auto& [typed, written] : {std::pair{p.max, "9999"}, {p.min, "-1999"}, {p.typed, p.written}}) {
            SCOPED_TRACE(typed);
            cfguser::type(f, t, typed);
            boxes_.clear();
            boxes_.push(mb::No); // not at once
            cfguser::leave(t);
            sim_.clearLog();
            bool failed = true;
            f.SendControllerParameters(failed, false);
            EXPECT_FALSE(failed) << boxes_.last().text.toStdString();
            EXPECT_EQ(wireStarting("W 257="), std::vector<std::string>{"W 257=" + std::string(written)});
        }
        f.SaveParameterFile(file("dp.csv"));
        const QByteArray saved = readFile("dp.csv");
        const std::pair<const char*, const char*> lines[] = {
            {p.max, "9999"}, {p.min, "-1999"}, {p.beyond, nullptr},
            {p.finer, nullptr}, {"", nullptr}, {"12abc", nullptr},
        };
        for (const auto& [value, written] : lines) {
            SCOPED_TRACE(std::string("file ") + value);
            writeFile("edited.csv", cfguser::withLine(saved, "258,", "258," + QByteArray(value)));
            boxes_.clear();
            sim_.clearLog();
            EXPECT_EQ(sendUnattended("edited.csv", 0, tw.address), written ? kSent : kFileProblem)
                << boxes_.last().text.toStdString();
            if (written)
                EXPECT_EQ(wireStarting("W 257="), std::vector<std::string>{"W 257=" + std::string(written)});
            else
                EXPECT_TRUE(wire().empty()) << wire().front();
        }
        f.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
        cfguser::type(f, t, "");
        cfguser::leave(t);
        expectSendRefused(f, "Parameter Values Missing",
                          "The following parameters are empty:\rRegister 258 (Setpoint 1 (SP1))\rType a value into "
                          "each before sending the configuration.  Nothing was sent.");
    }
    // Four decimals, left from model R7, where TW has none: refused as the save refuses them.
    cfguser::asLoaded(f, [&] {
        t->setText("1");
        f.cbxDecimalPoint(0)->setListIndex(4);
    });
    f.CurDecimalPoint = 4;
    expectSendRefused(f, "Invalid Decimal Point Setting",
                      "A decimal point setting of .0000 is not allowed for this Model ID. You must change the decimal "
                      "point setting to 0 ,0.0, 0.00, or 0.000 before sending the configuration.");
}

// What the screen saves, for every model, group and protocol, at every
// decimal point it takes and at its first, a middle and its last input
// type, loads and goes out from the command line with status 0.
TEST_F(TransferTest, EverySavedFileIsSentFromTheCommandLine)
{
    int sent = 0;
    for (const Model& m : kModels) {
        FrmConfig& f = serve(m);
        f.ReadControllerParameters();
        ComboBox* points = f.cbxDecimalPoint(m.group);
        ComboBox* inputs = f.cbxInputType(m.group);
        for (int d = 0; d < points->ListCount(); ++d) {
            for (int t = 0; t < inputs->ListCount(); ++t) {
                SCOPED_TRACE(std::string(m.id) + " dp " + std::to_string(d) + " input " + std::to_string(t));
                inputs->setListIndex(t);
                points->setListIndex(d);
                if (f.CurDecimalPoint != d || inputs->ListIndex() != t)
                    continue; // the screen refused the pair
                QFile::remove(file("saved.csv"));
                cfguser::answerStrays(mb::Yes);
                f.SaveParameterFile(file("saved.csv"));
                boxes_.install();
                if (!QFile::exists(file("saved.csv")))
                    continue; // four decimals on a model without them
                sim_.clearLog();
                EXPECT_EQ(sendUnattended("saved.csv", m.group, m.address), kSent) << boxes_.last().text.toStdString();
                EXPECT_FALSE(sim_.requests().empty());
                ASSERT_EQ(&frmConfig(), &f); // the send loads each file into this screen
                ++sent;
            }
        }
    }
    EXPECT_GT(sent, 100);
}
