#include <QDateTime>
#include <QDir>

#include "core/modZarn.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {
class HelpersTest : public QxTest {};
} // namespace

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
