// Communications set-up driven through its controls: loading, the instrument
// list, clamps, dialogs, and the commit that rewrites the settings file and
// reopens the port.
#include <QApplication>
#include <QFocusEvent>

#include "core/deffiles.h"
#include "core/state.h"
#include "core/sysconfig.h"
#include "platform/filedialog.h"
#include "shell/frmCommSetup.h"
#include "shell/frmMain.h"
#include "support/pty.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

class CommSetupTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        copySampleData();
        ReadSystemConfig();
        ReadModelFile();
        ASSERT_TRUE(pty_.ok());
        qputenv("QUINREX3_COM1", QByteArray::fromStdString(pty_.slavePath()));
        qputenv("QUINREX3_COM3", QByteArray::fromStdString(pty_.slavePath()));
        qputenv("QUINREX3_COM9", "/nonexistent/quinrex-tty");
    }
    void TearDown() override
    {
        Forms::discardAll();
        if (frmMain().comPort.portOpen())
            frmMain().comPort.setPortOpen(false);
        Forms::discardAll();
        QxTest::TearDown();
    }
    FrmCommSetup& open()
    {
        FrmCommSetup& f = frmCommSetup();
        f.Show();
        return f;
    }
    // The user leaves a field.
    static void leave(QWidget* w)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(w, &out);
    }
    static void pick(QComboBox* c, const QString& text)
    {
        const int i = c->findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        c->setCurrentIndex(i);
        emit c->activated(i);
    }
    static QStringList entries(const FrmCommSetup& f)
    {
        QStringList l;
        for (int i = 0; i < f.lstControls->count(); ++i)
            l << f.lstControls->item(i)->text();
        return l;
    }
    static void addInstrument(FrmCommSetup& f, const QString& address, const QString& name)
    {
        f.cbxAddress->setEditText(address);
        f.txtName->setText(name);
        f.cmdUpdate->setEnabled(true); // as choosing an address from the list does
        f.cmdUpdate->click();
    }
    QStringList configLines() const
    {
        return QString::fromLatin1(readFile("Quinrex3.cfg")).split(QStringLiteral("\r\n"));
    }

    PtyPair pty_;
};

QString Entry(const char* head, const QString& name, const char* tail)
{
    return QString::fromLatin1(head) + name.leftJustified(21) + QString::fromLatin1(tail);
}

} // namespace

TEST_F(CommSetupTest, LoadShowsSettingsAndTheListInFixedColumns)
{
    FrmCommSetup& f = open();
    EXPECT_EQ(f.txtCommPort->text(), "1");
    EXPECT_EQ(f.cbxBaudRate->currentText(), "9600");
    EXPECT_EQ(f.cbxBaudRate->count(), 9);
    EXPECT_EQ(f.cbxParity->currentText(), "None");
    EXPECT_EQ(f.txtPollTimeout->text(), "500");
    EXPECT_EQ(f.txtDefaultFolder->text(), "/tmp/");
    EXPECT_TRUE(f.optGlobalControllerGroup(0)->isChecked());
    EXPECT_TRUE(f.optGlobalProtocol(0)->isChecked());
    EXPECT_FALSE(f.optGlobalProtocol(2)->isEnabled());
    EXPECT_EQ(f.lblListHeading->text(), "Address   P        Name");

    const QStringList l = entries(f);
    ASSERT_EQ(l.size(), 3);
    EXPECT_EQ(l[0], Entry("001   R1 ", "Dryer Inlet", " 00120 00010 0 1"));
    EXPECT_EQ(l[1], Entry("002   A2 ", "Kiln Exhaust", " 00480 00060 0 0"));
    // A two-character group-0 address leaves column 3 blank.
    EXPECT_EQ(l[2], Entry("32    Z0 ", "Oven Zone 1", " 00060 00005 1 1"));
    for (const QString& e : l)
        EXPECT_EQ(e.size(), 46);

    EXPECT_TRUE(f.cbxAddress->currentText().isEmpty());
    EXPECT_FALSE(f.cmdUpdate->isEnabled());
    EXPECT_FALSE(f.cmdRemove->isEnabled());
    EXPECT_FALSE(f.Changed);
}

TEST_F(CommSetupTest, CommitRewritesTheFileReopensThePortAndKeepsExactRates)
{
    // A sub-second rate and a running session.
    gCtlLogRate[0] = 0.4f;
    gCtlLogState[0] = 1;
    gCtlLogFile[0] = "/tmp/x.csv";
    gLoggingActive = true;

    FrmCommSetup& f = open();
    // The rate column only holds whole seconds.
    EXPECT_EQ(f.lstControls->item(2)->text().mid(37, 5), "00000");
    f.txtCommPort->setText("3");
    pick(f.cbxBaudRate, "19200");
    pick(f.cbxParity, "Even");
    pick(f.cbxStopBits, "2");
    f.optGlobalControllerGroup(1)->click();

    boxes_.push(mb::Yes);
    f.cmdOK->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Change System Configuration?");
    EXPECT_EQ(boxes_.last().style, mb::YesNo | mb::DefaultButton2 | mb::Question);
    EXPECT_FALSE(Forms::isLoaded<FrmCommSetup>());

    SerialPortControl& port = frmMain().comPort;
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(port.commPort(), 3);
    EXPECT_EQ(port.settings(), "19200,E,8,2");
    EXPECT_TRUE(gCommOK);
    EXPECT_EQ(gControllerGroup, 1);
    EXPECT_EQ(gProtocolCode, "R");
    // The model table was read again for the new group.
    EXPECT_EQ(gModelID[1][1], "XG");

    // The table follows the list order; every session is back to idle.
    ASSERT_EQ(gControlCount, 3);
    EXPECT_EQ(gCtlAddress[0], "001");
    EXPECT_EQ(gCtlAddress[2], "32");
    EXPECT_EQ(gCtlName[2], "Oven Zone 1");
    EXPECT_FLOAT_EQ(gCtlLogRate[2], 0.4f);
    EXPECT_EQ(gCtlLogDuration[2], 60);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(gCtlLogState[i], 0);
        EXPECT_TRUE(gCtlLogFile[i].isEmpty());
    }

    const QStringList lines = configLines();
    ASSERT_GE(lines.size(), 12 + 24);
    EXPECT_EQ(lines.mid(0, 8), QStringList({" 3 ", " 19200 ", "Even", " 8 ", " 2 ", " 500 ", " 1 ", "R"}));
    EXPECT_EQ(lines.mid(28, 8), QStringList({"32", "Oven Zone 1", "Z", " 0 ", " 1 ", " 60 ", " 1 ", " .4 "}));
}

TEST_F(CommSetupTest, CommitQuestionNoAndFailedPortOpening)
{
    const QByteArray before = readFile("Quinrex3.cfg");
    gCtlLogState[1] = 1;
    gLoggingActive = true;
    FrmCommSetup& f = open();
    f.txtCommPort->setText("9");
    boxes_.push(mb::No);
    f.cmdOK->click();
    EXPECT_TRUE(Forms::isLoaded<FrmCommSetup>());
    EXPECT_EQ(gCommPort, 1);
    EXPECT_EQ(gCtlLogState[1], 1);
    EXPECT_EQ(readFile("Quinrex3.cfg"), before);

    // Yes: the port cannot open, yet the settings are saved for the next start.
    boxes_.clear();
    boxes_.push(mb::Yes);
    f.cmdOK->click();
    ASSERT_EQ(boxes_.count(), 3);
    EXPECT_EQ(boxes_.calls()[1].title, "InitComm");
    EXPECT_EQ(boxes_.last().title, "Communications Disabled");
    EXPECT_EQ(boxes_.last().text, "Communications with the instrument(s) will be disabled until valid comm port "
                                  "settings are entered.");
    EXPECT_EQ(boxes_.last().style, mb::OKOnly | mb::Exclamation);
    EXPECT_FALSE(gCommOK);
    EXPECT_EQ(configLines().value(0), " 9 ");
    EXPECT_FALSE(Forms::isLoaded<FrmCommSetup>());
}

TEST_F(CommSetupTest, ClosingAsksOnlyAfterEdits)
{
    FrmCommSetup& f = open();
    // Choosing an entry is no edit.
    f.lstControls->setCurrentRow(0);
    EXPECT_EQ(f.txtName->text(), "Dryer Inlet");
    f.cmdCancel->click();
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_FALSE(Forms::isLoaded<FrmCommSetup>());

    FrmCommSetup& g = open();
    g.txtPollTimeout->setText("900");
    boxes_.push(mb::No);
    g.cmdCancel->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Cancel Changes?");
    EXPECT_EQ(boxes_.last().text, "Are sure you wish to cancel your Communications Setup changes?");
    EXPECT_TRUE(Forms::isLoaded<FrmCommSetup>());

    // The current protocol alone counts as an edit too.
    g.Changed = false;
    g.optGlobalProtocol(1)->click();
    boxes_.push(mb::Yes);
    g.close();
    EXPECT_EQ(boxes_.count(), 2);
    EXPECT_FALSE(Forms::isLoaded<FrmCommSetup>());
    EXPECT_EQ(gPollTimeoutMs, 500);
    EXPECT_EQ(gProtocolCode, "Z");
}

TEST_F(CommSetupTest, FieldsAreClampedWhenLeft)
{
    FrmCommSetup& f = open();
    const std::pair<const char*, const char*> ports[] = {
        {"0", "1"}, {"-3", "1"}, {"17", "16"}, {"99999999", "16"}, {"abc", "1"}, {"4.5", "4"}, {" 7", "7"}};
    for (auto [in, out] : ports) {
        f.txtCommPort->setText(in);
        leave(f.txtCommPort);
        EXPECT_EQ(f.txtCommPort->text(), out) << in;
    }
    const std::pair<const char*, const char*> timeouts[] = {
        {"0", "1"}, {"40000", "32767"}, {"150.9", "150"}, {"", "1"}};
    for (auto [in, out] : timeouts) {
        f.txtPollTimeout->setText(in);
        leave(f.txtPollTimeout);
        EXPECT_EQ(f.txtPollTimeout->text(), out) << in;
    }
    f.txtName->setText("123456789012345678901234567890");
    EXPECT_EQ(f.txtName->toolTip(), "123456789012345678901234567890");
    leave(f.txtName);
    EXPECT_EQ(f.txtName->text(), "123456789012345678901");
}

TEST_F(CommSetupTest, ProtocolOptionsFollowTheGroup)
{
    FrmCommSetup& f = open();
    // "Zarn Link" selected, then group 1: Modbus RTU.
    f.optGlobalControllerGroup(1)->click();
    EXPECT_TRUE(f.optGlobalProtocol(1)->isChecked());
    EXPECT_FALSE(f.optGlobalProtocol(0)->isEnabled());
    EXPECT_TRUE(f.optGlobalProtocol(2)->isEnabled());
    f.optGlobalControllerGroup(2)->click();
    EXPECT_TRUE(f.optGlobalProtocol(2)->isChecked());
    EXPECT_FALSE(f.optGlobalProtocol(0)->isEnabled());
    EXPECT_FALSE(f.optGlobalProtocol(1)->isEnabled());
    f.optGlobalControllerGroup(0)->click();
    EXPECT_TRUE(f.optGlobalProtocol(1)->isChecked());
    EXPECT_FALSE(f.optGlobalProtocol(2)->isEnabled());

    // The instrument's group sets its protocols and the address form.
    f.optInstControllerGroup(2)->click();
    EXPECT_TRUE(f.OptInstProtocol(2)->isChecked());
    EXPECT_EQ(f.cbxAddress->itemText(0), "001");
    f.optInstControllerGroup(0)->click();
    EXPECT_EQ(f.cbxAddress->itemText(0), "01");
    EXPECT_TRUE(f.OptInstProtocol(1)->isChecked());
}

TEST_F(CommSetupTest, ListKeepsAddressOrderAndUpdateResetsLogging)
{
    FrmCommSetup& f = open();
    addInstrument(f, "05", "Five");
    addInstrument(f, "02", "Two");
    addInstrument(f, "0A", "Ten");
    QStringList addresses;
    for (const QString& e : entries(f))
        addresses << e.left(3).trimmed();
    EXPECT_EQ(addresses, QStringList({"001", "002", "02", "05", "0A", "32"}));
    EXPECT_EQ(f.lstControls->currentItem()->text().left(3), "0A ");
    EXPECT_EQ(f.lstControls->item(4)->text(), Entry("0A    R0 ", "Ten", " 00001 00001 1 1"));

    // Choosing the existing 32 from the address list loads it; Update resets
    // its logging settings.
    f.lstControls->setCurrentRow(-1);
    pick(f.cbxAddress, "32");
    EXPECT_EQ(f.lstControls->currentRow(), 5);
    EXPECT_EQ(f.txtName->text(), "Oven Zone 1");
    EXPECT_TRUE(f.OptInstProtocol(0)->isChecked());
    EXPECT_TRUE(f.cmdRemove->isEnabled());
    f.txtName->setText("Oven");
    f.cmdUpdate->click();
    EXPECT_EQ(f.lstControls->count(), 6);
    EXPECT_EQ(f.lstControls->item(5)->text(), Entry("32    Z0 ", "Oven", " 00001 00001 1 1"));

    // Choosing a group-1 entry shows its address in the group's form.
    f.lstControls->setCurrentRow(0);
    EXPECT_TRUE(f.optInstControllerGroup(1)->isChecked());
    EXPECT_EQ(f.cbxAddress->currentText(), "001");
    f.cmdRemove->click();
    EXPECT_EQ(f.lstControls->count(), 5);
    EXPECT_FALSE(f.cmdRemove->isEnabled());

    f.cmdOK->click();
    ASSERT_EQ(gControlCount, 5);
    QStringList table;
    for (int i = 0; i < gControlCount; ++i)
        table << gCtlAddress[i];
    EXPECT_EQ(table, QStringList({"002", "02", "05", "0A", "32"}));
    EXPECT_EQ(gCtlName[4], "Oven");
    EXPECT_EQ(gCtlLogDuration[4], 1);
    EXPECT_FLOAT_EQ(gCtlLogRate[4], 1.0f);
    EXPECT_EQ(gCtlDurationUnits[4], 1);
    EXPECT_EQ(gCtlRateUnits[4], 1);
    // Untouched entries keep their own logging settings.
    EXPECT_EQ(gCtlLogDuration[0], 480);
    EXPECT_FLOAT_EQ(gCtlLogRate[0], 60.0f);
}

TEST_F(CommSetupTest, NamesAndAddressesThatWouldBreakTheFileAreRefused)
{
    FrmCommSetup& f = open();
    for (const char* name : {"Oven, left", "\"Oven", " \"Oven"}) {
        boxes_.clear();
        addInstrument(f, "40", name);
        ASSERT_EQ(boxes_.count(), 1) << name;
        EXPECT_EQ(boxes_.last().title, "Invalid Character");
        EXPECT_EQ(boxes_.last().style, mb::OKOnly | mb::Exclamation);
        EXPECT_EQ(f.lstControls->count(), 3);
    }
    boxes_.clear();
    addInstrument(f, "4,", "Oven");
    EXPECT_EQ(boxes_.count(), 1);
    addInstrument(f, "40", "Oven \"A\"");
    EXPECT_EQ(f.lstControls->count(), 4);

    // OK applies the entry being edited first, and stops when it is refused.
    const QByteArray before = readFile("Quinrex3.cfg");
    f.txtName->setText("Oven, right");
    boxes_.clear();
    f.cmdOK->click();
    EXPECT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(Forms::isLoaded<FrmCommSetup>());
    EXPECT_EQ(readFile("Quinrex3.cfg"), before);
}

TEST_F(CommSetupTest, DialogsFillTheFieldsAndCancelLeavesThem)
{
    FrmCommSetup& f = open();
    std::vector<fd::Request> asked;
    QString answer;
    fd::setHandler([&](const fd::Request& r) {
        asked.push_back(r);
        return answer;
    });
    f.cmdDefaultFolder->click();
    f.cmdViewApp->click();
    EXPECT_EQ(f.txtDefaultFolder->text(), "/tmp/");
    EXPECT_EQ(f.txtViewApp->text(), "/usr/bin/xdg-open");
    EXPECT_FALSE(f.Changed);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].kind, fd::Folder);
    EXPECT_EQ(asked[0].title, "Default Log File Folder");
    EXPECT_EQ(asked[0].initialDir, "/tmp/");
    EXPECT_EQ(asked[1].kind, fd::Open);
    EXPECT_EQ(asked[1].title, "Log File Viewer");
    EXPECT_EQ(asked[1].initialDir, "/usr/bin/");
    EXPECT_EQ(asked[1].initialName, "xdg-open");

    answer = "/data/logs";
    f.cmdDefaultFolder->click();
    EXPECT_EQ(f.txtDefaultFolder->text(), "/data/logs/");
    answer = "/usr/bin/less";
    f.cmdViewApp->click();
    EXPECT_EQ(f.txtViewApp->text(), "/usr/bin/less");
    EXPECT_TRUE(f.Changed);
}

TEST_F(CommSetupTest, EditionCaptionsComeFromTheModelTable)
{
    gKT9PMode = true;
    gModelCount = {3, 0, 1};
    gModelName[0][1] = "Ramp/Soak";
    gModelName[0][2] = "QX-16T";
    gModelName[0][3] = "QX-8R";
    gModelName[2][1] = "QX-H96";
    FrmCommSetup& f = open();
    EXPECT_EQ(f.optGlobalControllerGroup(0)->text(), "Communicate with models , QX-16T, QX-8R");
    EXPECT_EQ(f.optInstControllerGroup(0)->text(), ", QX-16T, QX-8R");
    EXPECT_EQ(f.optGlobalControllerGroup(1)->text(), "Communicate with models ");
    EXPECT_EQ(f.optInstControllerGroup(1)->text(), "");
    EXPECT_EQ(f.optInstControllerGroup(2)->text(), "QX-H96");
}
