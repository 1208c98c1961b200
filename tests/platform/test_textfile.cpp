// Sequential text files: item and line input, print output, atomic replace.
#include <csignal>
#include <optional>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QScopeGuard>

#include "platform/textfile.h"
#include "support/testenv.h"

using namespace rt;

namespace {

class TextFileTest : public QxTest {
protected:
    QString put(const QString& name, const QByteArray& bytes) const
    {
        writeFile(name, bytes);
        return file(name);
    }
};

} // namespace

TEST_F(TextFileTest, ItemsEndAtCommaOrLineEndAndEofIgnoresTrailingLineEnds)
{
    const auto items = [&](const QByteArray& body, bool pastEnd = false) {
        InputFile in(put("a.txt", body));
        QStringList out;
        while (!in.eof())
            out << in.inputItem();
        EXPECT_TRUE(!pastEnd || rtErrorOf([&] { in.inputItem(); }) == ErrInputPastEnd);
        return out;
    };
    // quoted item with junk after it, an empty line, a quote never closed, a lone CR
    EXPECT_EQ(items("  abc  , \"q,uo\"  junk, x\r\n\r\nlast,\t7 \n\"open\rz", true),
              QStringList({"abc", "q,uo", "x", "", "last", "7", "open", "z"}));
    for (const char* body : {"1\r\n2\r\n", "1\r\n2", "1\n2\n\r\n  \r\n"})
        EXPECT_EQ(items(body), QStringList({"1", "2"})) << body;
    EXPECT_TRUE(items("").isEmpty());
    EXPECT_EQ(rtErrorOf([&] { InputFile(put("e.txt", "")).lineInput(); }), ErrInputPastEnd);
}

TEST_F(TextFileTest, NonUtf8FilesReadAsWindowsText)
{
    EXPECT_EQ(InputFile(put("ansi.txt", "25\xb0" "F,x\r\n")).inputItem(), QString::fromUtf8("25\u00b0F"));
    EXPECT_EQ(InputFile(put("utf8.txt", "25\xc2\xb0" "F\r\n")).lineInput(), QString::fromUtf8("25\u00b0F"));
}

TEST_F(TextFileTest, OpenErrors)
{
    EXPECT_EQ(rtErrorOf([&] { InputFile in(file("none.txt")); }), ErrFileNotFound);
    EXPECT_EQ(rtErrorOf([&] { InputFile in(file("nodir/none.txt")); }), ErrPathNotFound);
    EXPECT_EQ(rtErrorOf([&] { InputFile in(file(QString(300, u'n'))); }), ErrBadFileName);
    EXPECT_EQ(rtErrorOf([&] { OutputFile out(file("nodir/x.txt"), OutputFile::Replace); }), ErrPathNotFound);
    EXPECT_EQ(rtErrorOf([&] { Kill(file("none.txt")); }), ErrFileNotFound);
    EXPECT_FALSE(FileExists(programDir()));
}

TEST_F(TextFileTest, AFailedSaveLeavesTheOldFileAndNoTemporary)
{
    const QByteArray old = "old\r\n";
    const QString big(100, u'x');
    const struct {
        const char* what;
        QString path;
        qint64 room; // bytes a file may grow to; -1 no limit
        int lines;
        bool close;
        int err;
    } cases[] = {
        {"abandoned before close", file("keep.txt"), -1, 1, false, 0},
        {"disk full while writing", file("keep.txt"), 4096, 1000, true, ErrDiskFull},
        {"disk full at the first byte", file("keep.txt"), 0, 1, true, ErrDiskFull},
        {"name too long", file(QString(300, u'n')), -1, 1, true, ErrBadFileName},
        {"no such folder", file("nodir/keep.txt"), -1, 1, true, ErrPathNotFound},
        {"a folder in the way", file("sub"), -1, 1, true, ErrPermissionDenied},
    };
    QDir(programDir()).mkdir("sub");
    for (const auto& c : cases) {
        put("keep.txt", old);
        std::optional<DiskFull> full;
        if (c.room >= 0)
            full.emplace(c.room);
        // raised once, from whichever step met the failure
        int raised = 0, err = 0;
        const auto step = [&](auto&& f) {
            if (const int e = rtErrorOf(f); e && !err)
                err = e, ++raised;
            else if (e)
                ++raised;
        };
        {
            std::optional<OutputFile> out;
            step([&] { out.emplace(c.path, OutputFile::Replace); });
            for (int i = 0; out && i < c.lines && !err; ++i)
                step([&] { out->printLine(big); });
            if (out && c.close)
                step([&] { out->close(); });
        }
        full.reset();
        EXPECT_EQ(err, c.err) << c.what;
        EXPECT_LE(raised, 1) << c.what;
        EXPECT_EQ(readFile("keep.txt"), old) << c.what;
        EXPECT_EQ(FilesIn(programDir()), QStringList({"keep.txt"})) << c.what;
    }
}

TEST_F(TextFileTest, OnARealSmallFileSystemSavesAndAppendsFailWhole)
{
    // A 64 KB file system of its own, where the system allows mounting one.
    const QString fs = file("fs");
    QDir().mkpath(fs);
    if (::mount("tmpfs", QFile::encodeName(fs).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(fs).constData(), MNT_DETACH); });
    const QString cfg = fs + "/keep.txt", log = fs + "/log.csv";
    const QString big(200 * 1024, u'x');
    const auto save = [&](const QString& text) {
        return rtErrorOf([&] {
            OutputFile out(cfg, OutputFile::Replace);
            out.write(text);
            out.close();
        });
    };
    const auto append = [&](const QString& text) {
        return rtErrorOf([&] {
            OutputFile out(log, OutputFile::Append);
            out.printLine(text);
            out.close();
        });
    };
    ASSERT_EQ(save("old\r\n"), 0);
    ASSERT_EQ(append("a,1"), 0);
    EXPECT_EQ(save(big), ErrDiskFull);
    EXPECT_EQ(append(big), ErrDiskFull);
    EXPECT_EQ(append("b,2"), 0); // the room the failed line took is free again
    ::mount(nullptr, QFile::encodeName(fs).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
    EXPECT_EQ(save("new\r\n"), ErrPathFileAccess);
    EXPECT_EQ(append("c,3"), ErrPathFileAccess);

    QFile in(cfg), logIn(log);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly) && in.readAll() == "old\r\n");
    EXPECT_TRUE(logIn.open(QIODevice::ReadOnly) && logIn.readAll() == "a,1\r\nb,2\r\n");
    EXPECT_EQ(FilesIn(fs), QStringList({"keep.txt", "log.csv"}));
}

TEST_F(TextFileTest, ASaveKilledPartWayLeavesOneWholeFileAndTheNextSaveTidiesUp)
{
    const QString a(1 << 20, u'a'), b(1 << 20, u'b');
    put("big.txt", a.toLatin1());
    put("big.txt.backup", "a file of the user's");
    for (int round = 0; round < 12; ++round) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int k = 0;; ++k) {
                OutputFile out(file("big.txt"), OutputFile::Replace);
                out.write(k % 2 ? a : b);
                out.close();
            }
        }
        usleep(useconds_t(2000 + round * 1500)); // at a different point of a save each round
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const QByteArray now = readFile("big.txt");
        EXPECT_TRUE(now == a.toLatin1() || now == b.toLatin1()) << round << ": " << now.size() << " bytes";
    }
    put("big.txt.Zz9Yx8.tmp", "left by a save killed before"); // whether or not a kill above left one
    OutputFile out(file("big.txt"), OutputFile::Replace);
    out.printLine("done");
    out.close();
    EXPECT_EQ(readFile("big.txt"), "done\r\n");
    EXPECT_EQ(FilesIn(programDir()), QStringList({"big.txt", "big.txt.backup"}));
}

TEST_F(TextFileTest, AppendFlushReachesTheSystem)
{
    OutputFile log(file("log.csv"), OutputFile::Append);
    log.printLine("a,1");
    log.flush();
    EXPECT_EQ(readFile("log.csv"), "a,1\r\n"); // visible before close
    log.close();

    if (QFile::exists("/dev/full")) {
        OutputFile full("/dev/full", OutputFile::Append);
        full.printLine("x");
        EXPECT_EQ(rtErrorOf([&] { full.flush(); }), ErrDiskFull);
        EXPECT_NO_THROW(full.close());
    }
}
