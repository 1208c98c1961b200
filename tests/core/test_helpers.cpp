#include <QDateTime>
#include <QDir>

#include "core/modZarn.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {
class HelpersTest : public QxTest {
protected:
    void addModel(int group, const QString& id, const QString& name, const QString& type)
    {
        const int slot = ++gModelCount[group];
        gModelID[group][slot] = id;
        gModelName[group][slot] = name;
        gModelType[group][slot] = type;
    }
};
} // namespace

TEST_F(HelpersTest, ModelIdentityAndProtocolCodes)
{
    addModel(0, "TW", "QX-16T", "Temperature");
    addModel(1, "XG", "QX-G48", "PID");

    // Two characters from the word; the model's index, name and type from the table.
    const auto model = [](int group, float word) {
        QString id, type, name = "before";
        int index = -1;
        ModelFromRegisterValue(group, word, id, type, index, name);
        return QStringLiteral("%1 %2 %3 %4").arg(id).arg(index).arg(name, type);
    };
    EXPECT_EQ(model(0, 0), "XX 0 Unavailable Unknown Model Type");
    EXPECT_EQ(model(0, 21591), "TW 1 QX-16T Temperature");
    EXPECT_EQ(model(0, -21591), "TW 1 QX-16T Temperature");
    addModel(0, "XX", "Blank", "Unset");
    EXPECT_EQ(model(0, 0), "XX 2 Blank Unset");

    QString name;
    int index = -1;

    EXPECT_EQ(LookupModel(0, "tw", index, name), "Temperature");
    EXPECT_EQ(index, 1);
    EXPECT_EQ(LookupModel(2, "TW", index, name), "Unknown Model Type");
    EXPECT_EQ(rtErrorOf([&] { LookupModel(3, "TW", index, name); }), rt::ErrSubscript);

    // Unknown protocol codes and indexes fall back to Modbus RTU.
    EXPECT_EQ(ProtocolLetter(0) + ProtocolLetter(1) + ProtocolLetter(2) + ProtocolLetter(7), "ZRAR");
    EXPECT_EQ(ProtocolIndex("Z") * 100 + ProtocolIndex("R") * 10 + ProtocolIndex("A"), 12);
    EXPECT_EQ(ProtocolIndex("z") * 10 + ProtocolIndex(""), 11);
}

TEST_F(HelpersTest, PathSplitting)
{
    const std::pair<const char*, QString> folders[] = {{"D:\\data\\log.csv", "D:\\data\\"}, {"D:log.csv", "D:"},
        {"/home/op/logs/log.csv", "/home/op/logs/"}, {"\\log.csv", App::path()}, {"/log.csv", App::path()},
        {"log.csv", App::path()}};
    for (const auto& [path, folder] : folders)
        EXPECT_EQ(FilePath(path), folder) << path;
    for (const char* path : {"D:\\data\\log.csv", "/home/op/log.csv", "D:log.csv", "log.csv"})
        EXPECT_EQ(NameOfFile(path), "log.csv") << path;
    EXPECT_EQ(NameOfFile("D:\\data\\"), "");
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(HelpersTest, ARelativeDataFolderLiesInTheProgramFolderAndIsMadeOnUse)
{
    const QString elsewhere = QDir::currentPath();
    const QString other = QDir(programDir()).filePath("other");
    const std::pair<QString, QString> folders[] = {
        {"logs/", QDir(programDir()).filePath("logs/")},
        {"logs/graphs", QDir(programDir()).filePath("logs/graphs")},
        {"", QDir(programDir()).path()},
        {other + "/", other + "/"},
    };
    for (const auto& [setting, folder] : folders) {
        gDefaultFolder = setting;
        EXPECT_EQ(DataFolder(), folder) << setting.toStdString();
        EXPECT_TRUE(QDir(folder).exists()) << setting.toStdString();
    }
    EXPECT_EQ(QDir::currentPath(), elsewhere);
    EXPECT_FALSE(QDir(elsewhere).exists("logs/graphs"));
}

TEST_F(HelpersTest, BitState)
{
    // bit 4 of 20.6: the word is rounded to 21 first
    for (const auto& [bit, word, set] : {std::tuple{15, 40000.f, true}, {15, 32767.f, false}, {15, -1.f, true},
                                         {0, 1.f, true}, {1, 1.f, false}, {11, 2068.f, true}, {10, 2068.f, false},
                                         {4, 20.6f, true}})
        EXPECT_EQ(BitState(bit, word), set) << bit << " " << word;
    EXPECT_EQ(boxes_.count(), 0);

    EXPECT_FALSE(BitState(16, 5));
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Application Error");
    EXPECT_EQ(boxes_.last().text.section('\r', 2), "Routine - modZarn.BitState, BitState= 0 WordToCheck= 5");
}

TEST_F(HelpersTest, Clocks)
{
    // Local time = UTC + 0: a quarter second after midnight.
    const QDateTime midnight(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC);
    Clock::setFake(midnight.addMSecs(250));
    EXPECT_DOUBLE_EQ(ElapsedSeconds(86400 - 0.5), 0.75);
    EXPECT_DOUBLE_EQ(ElapsedSeconds(0.24), 0);
    EXPECT_DOUBLE_EQ(ElapsedSeconds(-99999), 0.25 + 99999);

    Clock::setFake(QDateTime(QDate(2000, 1, 1), QTime(6, 0, 0, 500), Qt::UTC));
    EXPECT_DOUBLE_EQ(UtcNow(), 36526 + 0.25 + 0.5 / 86400.0);
    Clock::setFake(QDateTime(QDate(1899, 12, 30), QTime(12, 0), Qt::UTC));
    EXPECT_DOUBLE_EQ(UtcNow(), 0.5);

    const double now = UtcNow() * 86400;
    EXPECT_NEAR(ElapsedSecondsUtc(now - 30), 30.01, 1e-6);
    // The clock was set back: the start lies ahead of it.
    EXPECT_NEAR(ElapsedSecondsUtc(now + 10), -10 + 0.01 + 3600, 1e-6);
}
