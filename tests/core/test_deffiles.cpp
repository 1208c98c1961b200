#include <algorithm>

#include "core/modZarn.h"
#include "platform/app.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

class DefFilesTest : public QxTest {
protected:
    // A definition file: five header lines, then the records.
    void writeDef(const QString& name, const QByteArray& records)
    {
        writeFile(name, "h1\r\nh2\r\nh3\r\nh4\r\nh5\r\n" + records);
    }
    // First and routine line of the last standard error box.
    QString errorLines() const
    {
        const QString t = boxes_.last().text;
        return t.section('\r', 0, 0) + "|" + t.section('\r', 2, 2);
    }
    // The box a table file gives for a register outside 1 to 20480.
    static QString invalidRegister(int reg, const char* file)
    {
        return QStringLiteral("The Modbus Register %1 in file >%2 is invalid.  "
                              "This may cause improper configuration data.")
            .arg(reg)
            .arg(QLatin1String(file));
    }
};

} // namespace

TEST_F(DefFilesTest, ModelFileAndRegisterFiles)
{
    gControllerGroup = 1;
    writeDef("ModelID.txt", "TW,Small,Temp,0\r\nxg,Big,\"PID, 3 alarms\",1\r\nQ9,Tiny,TC,1\r\nTQ,T,T,1\r\n");
    writeDef("xg.TXT", "2,102\r\n5000\r\n"); // hexadecimal in group 1
    writeDef("TQ.TXT", "5,5001,6\r\n");
    writeDef("TW.TXT", "7"); // group 0: not read
    ReadModelFile();
    EXPECT_EQ(gModelCount[0] * 10 + gModelCount[1], 13);
    EXPECT_EQ(gModelType[1][1], "PID, 3 alarms");
    EXPECT_TRUE(gModelHasRegister[1][258] && gModelHasRegister[1][20480]);
    EXPECT_FALSE(gModelHasRegister[1][102] || gModelHasRegister[1][7]);
    // A missing register file is reported; the next model is still read, and
    // an invalid register ends its file.
    ASSERT_EQ(boxes_.count(), 2);
    EXPECT_EQ(boxes_.calls()[0].text.section('\r', 0, 0),
              "An application error has occurred reading " + App::file("Q9.TXT") + " file:");
    EXPECT_EQ(boxes_.calls()[0].text.section('\r', 2), "Routine - modZarn.ReadModelRegisters.");
    EXPECT_EQ(boxes_.calls()[1].title, "Invalid Modbus Register");
    EXPECT_EQ(boxes_.calls()[1].text, "The Modbus Register 20481 in file >" + App::file("TQ.TXT")
                                          + "is invalid.  This model will perform proper configuration.");
    EXPECT_TRUE(gModelHasRegister[3][5] && !gModelHasRegister[3][6]);

    // Group 0 register files are decimal; register 0 is invalid.
    gControllerGroup = 0;
    writeDef("ModelID.txt", "R7,Private,Proc,0\r\n");
    writeDef("R7.TXT", "102,0,103\r\n");
    ReadModelFile();
    EXPECT_TRUE(gModelHasRegister[1][102] && !gModelHasRegister[1][103]);
    EXPECT_TRUE(boxes_.last().text.startsWith("The Modbus Register 0 in file >"));
}

TEST_F(DefFilesTest, ModelFileLimitsAndFailures)
{
    QByteArray records;
    for (int i = 0; i < 16; ++i)
        records += QByteArray("A") + char('A' + i) + ",Name,Type,1\r\n";
    writeDef("ModelID.txt", records + "XH,Last,Type,2\r\n");
    ReadModelFile();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Too Many Model ID's");
    EXPECT_EQ(boxes_.last().text, "There are too many model ID's in the file ModelID.txt.  "
                                  "The remaining model ID's will be ignored.");
    EXPECT_EQ(gModelCount[1] * 10 + gModelCount[2], 150);

    // A group outside 0..2 stops the file.
    writeDef("ModelID.txt", "TW,A,B,0\r\nZZ,A,B,3\r\nR7,A,B,0\r\n");
    writeDef("TW.TXT", "");
    ReadModelFile();
    EXPECT_EQ(errorLines(), "An application error has occurred reading ModelID.txt file:|Routine - modZarn.ReadModelFile");
    EXPECT_EQ(gModelCount[0], 1);

    // A missing model file leaves the table as it was.
    QFile::remove(file("ModelID.txt"));
    ReadModelFile();
    EXPECT_EQ(boxes_.count(), 3);
    EXPECT_EQ(gModelCount[0], 1);
}

TEST_F(DefFilesTest, FieldAndCommandTables)
{
    writeDef("CfgField.TXT", "102H,3,0,15\r\n20481,1,0,1\r\n4097,2,0,3\r\n1001H,1,-5,6\r\n");
    ReadCfgFieldFile();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().text, invalidRegister(20481, "CfgField.TXT"));
    EXPECT_EQ(gCfgField[258][1] * 100 + gCfgField[258][3], 315);
    EXPECT_EQ(gCfgField[4097][1] * 10 + gCfgField[4097][2], 5); // the later record (1, -5) wins

    writeDef("ZarnXref.TXT", "2,00,??\r\n258,102,202\r\n786,312,\r\n0,1,1\r\n1794,701,??\r\n");
    ReadZarnXrefFile();
    ASSERT_EQ(boxes_.count(), 2);
    EXPECT_EQ(boxes_.last().text, invalidRegister(0, "ZarnXref.TXT"));
    // hexadecimal commands; "??" and empty are none (-1)
    for (const auto& [reg, col, cmd] : {std::tuple{2, 1, 0}, {2, 2, -1}, {258, 2, 0x202}, {786, 2, -1},
                                        {1794, 1, 0x701}, {3, 1, -1}})
        EXPECT_EQ(gZarnXref[reg][col], cmd) << reg;
}

TEST_F(DefFilesTest, ModbusRegisterTables)
{
    writeDef("xxGXref.TXT", "2,1000\r\n702H,12\r\n3000,1\r\n2063,80F\r\n4,??\r\n20481,1\r\n");
    ReadxxGXrefFile();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().text, invalidRegister(20481, "xxGXref.TXT"));
    // 3000 and up: the identity range wins over the file
    for (const auto& [reg, wire] : {std::pair{2, 0x1000}, {1794, 0x12}, {4, -1}, {2063, 0x80F}, {3000, 3000},
                                    {20480, 20480}})
        EXPECT_EQ(gXrefG[reg], wire) << reg;

    writeDef("xxHXref.TXT", "18175,1\r\n18176,1\r\n");
    ReadxxHXrefFile();
    EXPECT_EQ(QString("%1 %2 %3").arg(gXrefH[18175]).arg(gXrefH[18176]).arg(gXrefH[3000]), "1 18176 -1");

    // Missing: all -1, no identity part.
    QFile::remove(file("xxHXref.TXT"));
    ReadxxHXrefFile();
    EXPECT_EQ(errorLines(), "An application error has occurred reading xxHXref.TXT file:|Routine - modZarn.ReadxxHXrefFile");
    EXPECT_EQ(gXrefH[18175] + gXrefH[18176], -2);
}
