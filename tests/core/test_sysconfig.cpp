#include "core/modZarn.h"
#include "platform/app.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

const QByteArray kSettings = " 1 \r\n 9600 \r\nNone\r\n 8 \r\n 1 \r\n 500 \r\n 0 \r\nZ\r\n .5 \r\n 5 \r\n"
                             "/opt/view, plus/run it\r\n/data/logs/\r\n";
const QByteArray kOven = "32\r\nOven\r\nZ\r\n 0 \r\n 1 \r\n 60 \r\n 1 \r\n .5 \r\n";

class SysConfigTest : public QxTest {
protected:
    void setSettings()
    {
        gCommPort = 1;
        gBaudRate = 9600;
        gParity = "None";
        gDataBits = 8;
        gStopBits = 1;
        gPollTimeoutMs = 500;
        gProtocolCode = "Z";
        gPVPollSeconds = 0.5f;
        gSPPollSeconds = 5;
        gViewApp = "/opt/view, plus/run it";
        gDefaultFolder = "/data/logs/";
    }
    void addInstrument(const QString& addr, const QString& name, const QString& proto, int group, float rate)
    {
        const int i = gControlCount++;
        RedimInstrumentArrays(i + 1);
        gCtlAddress[i] = addr;
        gCtlName[i] = name;
        gCtlProtocol[i] = proto;
        gCtlGroup[i] = group;
        gCtlDurationUnits[i] = 1;
        gCtlLogDuration[i] = 60;
        gCtlRateUnits[i] = 1;
        gCtlLogRate[i] = rate;
    }
};

} // namespace

TEST_F(SysConfigTest, SaveWritesTheExactLayoutAndReadsItBack)
{
    setSettings();
    SaveSystemConfig();
    EXPECT_EQ(readFile("Quinrex3.cfg"), kSettings); // 12 lines, no count

    addInstrument("32", "Oven", "Z", 0, 0.5f);
    addInstrument("001", "Dryer", "R", 1, 90);
    addInstrument("255", "Kiln", "A", 2, 2.25f);
    SaveSystemConfig();
    EXPECT_EQ(readFile("Quinrex3.cfg"), kSettings + kOven + "001\r\nDryer\r\nR\r\n 1 \r\n 1 \r\n 60 \r\n 1 \r\n 90 \r\n"
                                            "255\r\nKiln\r\nA\r\n 2 \r\n 1 \r\n 60 \r\n 1 \r\n 2.25 \r\n");

    ResetSharedState();
    ReadSystemConfig();
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_EQ(gBaudRate, 9600.0f);
    EXPECT_EQ(gPVPollSeconds, 0.5f);
    EXPECT_EQ(gViewApp, "/opt/view, plus/run it"); // read whole
    ASSERT_EQ(gControlCount, 3);
    EXPECT_EQ(gCtlAddress.size(), 4); // one spare element
    EXPECT_EQ(gCtlProtocol[2] + QString::number(gCtlGroup[2]), "A2");
    EXPECT_EQ(gCtlLogRate[2], 2.25f);

    writeFile("Quinrex3.cfg", kSettings + "  32 \r\n   Oven 1   \r\nZ\r\n 0 \r\n 1 \r\n 60 \r\n 1 \r\n 5 \r\n");
    ResetSharedState();
    ReadSystemConfig();
    EXPECT_EQ(gCtlName[0], "Oven 1");
}

TEST_F(SysConfigTest, PrivateLabelEditionUsesItsOwnFile)
{
    writeFile("Quinrex3.cfg", "untouched");
    gKT9PMode = true;
    setSettings();
    SaveSystemConfig();
    EXPECT_EQ(readFile("Quinrex3.cfg"), QByteArray("untouched"));
    EXPECT_EQ(readFile("KT9-P.cfg"), kSettings);
}

TEST_F(SysConfigTest, FailedSaveReportsAndKeepsTheOldFile)
{
    writeFile("Quinrex3.cfg", "previous\r\n");
    setSettings();
    addInstrument("32", "Oven", "Z", 0, 5);
    gControlCount = 3; // more instruments than the arrays hold
    SaveSystemConfig();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().text, "An application error has occurred writing file Quinrex3.cfg file:\r"
                                  "Error Code 9 - Subscript out of range\r"
                                  "Routine - modZarn.SaveSystemConfig");
    EXPECT_EQ(readFile("Quinrex3.cfg"), QByteArray("previous\r\n"));
    EXPECT_EQ(QDir(programDir()).entryList(QDir::Files), QStringList{"Quinrex3.cfg"});
}

TEST_F(SysConfigTest, BrokenOrMissingFiles)
{
    ReadSystemConfig();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().text, "An application error has occurred reading Quinrex3.cfg file:\r"
                                  "Error Code 53 - File not found\r"
                                  "Routine - modZarn.ReadSystemConfig");
    EXPECT_EQ(gCommPort, 0);

    // Cut short inside the second record: the first stays.
    boxes_.clear();
    writeFile("Quinrex3.cfg", kSettings + kOven + "001\r\nDryer\r\nR\r\n");
    ReadSystemConfig();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.contains("Error Code 62 - Input past end of file"));
    EXPECT_EQ(gCtlName.value(0) + QString::number(gControlCount), "Oven1");

    // A comma in a name would push every later field along; the read stops
    // at that record instead.
    ResetSharedState();
    boxes_.clear();
    writeFile("Quinrex3.cfg", kSettings + kOven + "001\r\nDryer, left\r\nR\r\n 1 \r\n 0 \r\n 120 \r\n 0 \r\n 90 \r\n" + kOven);
    ReadSystemConfig();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.contains("Error Code 13 - Type mismatch"));
    EXPECT_EQ(gControlCount, 1);

    EXPECT_TRUE(IsStorableText("Oven \"A\""));
    EXPECT_FALSE(IsStorableText("Oven, left"));
    EXPECT_FALSE(IsStorableText("\"Oven"));
}
