#include <QDir>

#include "core/modZarn.h"
#include "platform/app.h"
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
