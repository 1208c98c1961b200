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
