#include <functional>

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
        gInstruments.Append({.Address = addr, .Name = name, .Protocol = proto, .Group = group, .LogDuration = 60,
                             .LogRate = rate, .DurationUnits = 1, .RateUnits = 1});
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
    ASSERT_EQ(gInstruments.Count(), 3);
    EXPECT_EQ(gInstruments[2].Protocol + QString::number(gInstruments[2].Group), "A2");
    EXPECT_EQ(gInstruments[2].LogRate, 2.25f);

    writeFile("Quinrex3.cfg", kSettings + "  32 \r\n   Oven 1   \r\nZ\r\n 0 \r\n 1 \r\n 60 \r\n 1 \r\n 5 \r\n");
    ResetSharedState();
    ReadSystemConfig();
    EXPECT_EQ(gInstruments[0].Name, "Oven 1");
}

TEST_F(SysConfigTest, FailedSaveIsReportedInTheBoxAndKeepsTheOldFile)
{
    setSettings();
    addInstrument("32", "Oven", "Z", 0, 5);
    SaveSystemConfig();
    const QByteArray old = readFile("Quinrex3.cfg");
    gCommPort = 3;
    // full from the first byte, full a few bytes before the end, and the
    // file made read-only
    for (const qint64 room : {qint64(0), qint64(old.size()) - 10, qint64(-1)}) {
        boxes_.clear();
        {
            const FailingSaves failing(room < 0, {file("Quinrex3.cfg")}, room);
            SaveSystemConfig();
        }
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().text, QString("An application error has occurred writing file Quinrex3.cfg file:\r") +
                                          (room >= 0 ? "Error Code 61 - Disk full\r" : "Error Code 70 - Permission denied\r") +
                                          "Routine - modZarn.SaveSystemConfig");
        EXPECT_EQ(readFile("Quinrex3.cfg"), old);
        EXPECT_EQ(FilesIn(programDir()), QStringList{"Quinrex3.cfg"});
    }

    // A folder where the file belongs cannot be replaced.
    QFile::remove(file("Quinrex3.cfg"));
    ASSERT_TRUE(QDir(programDir()).mkdir("Quinrex3.cfg"));
    boxes_.clear();
    SaveSystemConfig();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.contains("\rError Code 70 - Permission denied (a folder, not a file)\r"));
    EXPECT_TRUE(FilesIn(programDir()).isEmpty());
}

TEST_F(SysConfigTest, ValuesThatWouldNotReadBackAreRefusedAndTheOldFileStays)
{
    struct Case {
        std::function<void()> spoil;
        const char* description;
    };
    const Case cases[] = {
        {[] { gDefaultFolder = "/data/new\nlogs/"; }, "The data folder cannot be stored: it holds a line end"},
        {[] { gViewApp = "/opt/view\r"; }, "The log viewer program cannot be stored: it holds a line end"},
        {[] { gInstruments[0].Name = "Oven, left"; },
         "The instrument 32 Oven, left cannot be stored: it holds a line end, a comma or a leading double quote"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        ResetSharedState();
        setSettings();
        addInstrument("32", "Oven", "Z", 0, 5);
        SaveSystemConfig();
        const QByteArray old = readFile("Quinrex3.cfg");
        boxes_.clear();
        c.spoil();
        SaveSystemConfig();
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().text, QStringLiteral("An application error has occurred writing file Quinrex3.cfg "
                                                     "file:\rError Code 5 - %1\r"
                                                     "Routine - modZarn.SaveSystemConfig")
                                          .arg(c.description));
        EXPECT_EQ(readFile("Quinrex3.cfg"), old);
        // What stays is a file the next start reads whole.
        boxes_.clear();
        ResetSharedState();
        ReadSystemConfig();
        EXPECT_EQ(boxes_.count(), 0);
        EXPECT_EQ(gDefaultFolder + QString::number(gInstruments.Count()), "/data/logs/1");
    }
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
    EXPECT_EQ(gInstruments[0].Name + QString::number(gInstruments.Count()), "Oven1");

    // A comma in a name would push every later field along; the read stops
    // at that record instead.
    ResetSharedState();
    boxes_.clear();
    writeFile("Quinrex3.cfg", kSettings + kOven + "001\r\nDryer, left\r\nR\r\n 1 \r\n 0 \r\n 120 \r\n 0 \r\n 90 \r\n" + kOven);
    ReadSystemConfig();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.contains("Error Code 13 - Type mismatch"));
    EXPECT_EQ(gInstruments.Count(), 1);
}
