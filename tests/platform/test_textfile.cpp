// Sequential text files: item and line input, print output, atomic replace.
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMap>

#include "platform/lineview.h"
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

// What a run-time error says, or "" when `f` raises none.
template <class F>
QString errorText(F&& f)
{
    try {
        f();
    } catch (const RtError& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

// Saves `text` to `path` in the mode given; the error raised, or 0.
int save(const QString& path, const QString& text, OutputFile::Mode mode = OutputFile::Replace)
{
    return rtErrorOf([&] {
        OutputFile out(path, mode);
        out.write(text);
        out.close();
    });
}

// The same save; what its error says, or "".
QString saveSays(const QString& path, const QString& text, OutputFile::Mode mode = OutputFile::Replace)
{
    return errorText([&] {
        OutputFile out(path, mode);
        out.write(text);
        out.close();
    });
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// A file system of its own, of `size`, where the system allows mounting one.
struct Tmpfs {
    Tmpfs(const QString& dir, const char* size) : path(QFile::encodeName(dir))
    {
        QDir().mkpath(dir);
        mounted = ::mount("tmpfs", path.constData(), "tmpfs", 0, size) == 0;
    }
    ~Tmpfs()
    {
        if (mounted)
            ::umount2(path.constData(), MNT_DETACH);
    }
    QByteArray path;
    bool mounted = false;
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
    const QString fs = file("fs");
    const Tmpfs small(fs, "size=64k");
    if (!small.mounted)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const QString cfg = fs + "/keep.txt", log = fs + "/log.csv";
    const QString big(200 * 1024, u'x');
    const auto append = [&](const QString& line) { return ::save(log, line + "\r\n", OutputFile::Append); };
    const auto save = [&](const QString& text) { return ::save(cfg, text); };
    ASSERT_EQ(save("old\r\n"), 0);
    ASSERT_EQ(append("a,1"), 0);
    EXPECT_EQ(save(big), ErrDiskFull);
    EXPECT_EQ(append(big), ErrDiskFull);
    EXPECT_EQ(append("b,2"), 0); // the room the failed line took is free again
    ::mount(nullptr, small.path.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
    const QString readOnly = "Error 75 - Path/File access error (the file system is read-only)";
    EXPECT_EQ(saveSays(cfg, "new\r\n"), readOnly);
    EXPECT_EQ(saveSays(log, "c,3\r\n", OutputFile::Append), readOnly);
    EXPECT_EQ(saveSays(fs + "/new.csv", "d,4\r\n", OutputFile::Append), readOnly);
    EXPECT_EQ(errorText([&] { Kill(cfg); }), readOnly);

    EXPECT_EQ(contents(cfg), "old\r\n");
    EXPECT_EQ(contents(log), "a,1\r\nb,2\r\n");
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
}

namespace {

// A socket beside the files, listening for no one.
struct Socket {
    explicit Socket(const QString& path)
    {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, QFile::encodeName(path).constData(), sizeof a.sun_path - 1);
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~Socket() { ::close(fd); }
    int fd = -1;
};

} // namespace

TEST_F(TextFileTest, OnlyRegularFilesAreReadOrWrittenAndNothingWaitsForAWriter)
{
    std::vector<NotAFile> cases = NotFilesIn(programDir());
    const Socket socket(file("socket.csv"));
    cases.push_back({file("socket.csv"), "75 - Path/File access error (a socket, not a file)"});
    for (const NotAFile& c : cases) {
        // In a copy of the program that may take 256 MB more and is stopped
        // after ten seconds: neither waiting nor reading without end passes.
        const QString got = InChild(
            [&] {
                QStringList says;
                says << errorText([&] { InputFile in(c.path); });
                says << errorText([&] { LineView().open(c.path); });
                says << errorText([&] { OutputFile(c.path, OutputFile::Append).close(); });
                says << errorText([&] { OutputFile(c.path, OutputFile::Replace).close(); });
                return says.join('|');
            },
            10, 256);
        // A large file is no settings file, but a log like any other.
        const QString refused = "Error " + c.says, others = c.path.endsWith("huge.csv") ? QString() : refused;
        EXPECT_EQ(got, QStringList({refused, others, others, others}).join('|')) << c.path.toStdString();
    }
    struct stat st{};
    EXPECT_TRUE(::lstat(QFile::encodeName(file("pipe.csv")).constData(), &st) == 0 && S_ISFIFO(st.st_mode))
        << "no save put a file in the pipe's place";

    // A file of the largest size allowed reads; one byte more does not.
    put("full.cfg", QByteArray(InputFile::kMaxBytes - 2, 'x') + "\r\n");
    EXPECT_EQ(InputFile(file("full.cfg")).lineInput().size(), InputFile::kMaxBytes - 2);
    put("over.cfg", QByteArray(InputFile::kMaxBytes + 1, 'x'));
    EXPECT_EQ(rtErrorOf([&] { InputFile in(file("over.cfg")); }), ErrPathFileAccess);
    EXPECT_EQ(rtErrorOf([&] { InputFile in(file("over.cfg"), InputFile::kMaxBytes + 1); }), 0);
}
TEST_F(TextFileTest, AFileTheUserMayNotWriteIsNeverReplacedOrAppendedTo)
{
    // The other user reaches into a folder of its own inside the test's.
    ::chmod(QFile::encodeName(programDir()).constData(), 0755);
    const QString dir = file("shared");
    QDir().mkdir(dir);
    ::chmod(QFile::encodeName(dir).constData(), 0777);
    const struct {
        mode_t mode;
        unsigned owner, saver; // 0 the superuser
        bool refused;
    } cases[] = {
        {0444, 0, 0, true},             // made read-only: even the superuser leaves it
        {0644, 0, 0, false},
        {0464, kOtherUser, 0, false},   // someone may write it: the superuser may
        {0444, kOtherUser, kOtherUser, true},
        {0644, 0, kOtherUser, true},    // another's file the user may only read
        {0664, kOtherUser, kOtherUser, false},
        {0666, 0, kOtherUser, false},
    };
    for (const auto& c : cases)
        for (const OutputFile::Mode mode : {OutputFile::Replace, OutputFile::Append}) {
            const QString path = dir + "/Quinrex3.cfg";
            QFile::remove(path);
            writeFile("shared/Quinrex3.cfg", "old\r\n");
            ::chown(QFile::encodeName(path).constData(), c.owner, c.owner);
            ::chmod(QFile::encodeName(path).constData(), c.mode);
            const auto what = [&] {
                return QStringLiteral("mode %1 of %2 saved by %3, %4")
                    .arg(c.mode, 0, 8).arg(c.owner).arg(c.saver)
                    .arg(mode == OutputFile::Replace ? "replace" : "append").toStdString();
            };
            const QString got = c.saver == 0 ? QString::number(save(path, "new\r\n", mode))
                                             : InChild([&] { return QString::number(save(path, "new\r\n", mode)); },
                                                       10, 0, c.saver);
            EXPECT_EQ(got, c.refused ? "70" : "0") << what();
            const QByteArray expected = !c.refused ? (mode == OutputFile::Replace ? "new\r\n" : "old\r\nnew\r\n")
                                                   : "old\r\n";
            EXPECT_EQ(contents(path), expected) << what();
            struct stat st{};
            ::stat(QFile::encodeName(path).constData(), &st);
            EXPECT_EQ(st.st_mode & 07777, c.mode) << what();
            EXPECT_EQ(FilesIn(dir), QStringList({"Quinrex3.cfg"})) << what();
        }
}

// A save puts a temporary file beside the file it replaces, so it needs a
// folder the user may write even where the file itself may be written; a
// refusal there names the folder. The superuser may write any folder, so the
// other user saves, in a copy of the program.
TEST_F(TextFileTest, AFolderTheUserMayNotWriteIsNamedAsTheCause)
{
    ::chmod(QFile::encodeName(programDir()).constData(), 0755);
    QDir().mkdir(file("closed"));
    ::chmod(QFile::encodeName(file("closed")).constData(), 0755);
    const QString path = put("closed/Quinrex3.cfg", "old\r\n");
    ::chmod(QFile::encodeName(path).constData(), 0666);
    const QString said = InChild(
        [&] {
            return QStringList({saveSays(path, "new\r\n"), saveSays(path, "more\r\n", OutputFile::Append),
                                saveSays(file("closed/new.csv"), "a,1\r\n", OutputFile::Append),
                                errorText([&] { Kill(path); })})
                .join(u'|');
        },
        10, 0, kOtherUser);
    const QString folder = "Error 70 - Permission denied (the folder cannot be written)";
    EXPECT_EQ(said, QStringList({folder, "", folder, folder}).join(u'|'));
    EXPECT_EQ(contents(path), "old\r\nmore\r\n"); // an append needs only the file
    EXPECT_EQ(FilesIn(file("closed")), QStringList({"Quinrex3.cfg"}));
}

TEST_F(TextFileTest, ALinkIsFollowedOnlyWhereTheSystemsRuleForSharedFoldersAllows)
{
    ::chmod(QFile::encodeName(programDir()).constData(), 0755);
    // The user's own file elsewhere, which a planted link must not reach (in
    // a folder where either user may save).
    QDir().mkdir(file("home"));
    ::chmod(QFile::encodeName(file("home")).constData(), 0777);
    const QString mine = file("home/mine.csv");
    const unsigned third = kOtherUser - 1; // a user who owns a shared folder
    const struct {
        const char* what;
        mode_t folderMode;
        unsigned folderOwner, linkOwner, saver;
        bool followed;
    } cases[] = {
        {"planted by another user in a shared folder", 01777, 0, kOtherUser, 0, false},
        {"the user's own link in a shared folder", 01777, 0, 0, 0, true},
        {"the shared folder's owner's link", 01777, kOtherUser, kOtherUser, 0, true},
        {"another's link in a folder that is not sticky", 0777, 0, kOtherUser, 0, true},
        {"another's link in a sticky folder only its owner writes", 01755, kOtherUser, third, 0, true},
        {"the superuser's link, saved by the other user", 01777, third, 0, kOtherUser, false},
        {"the other user's own link", 01777, third, kOtherUser, kOtherUser, true},
    };
    for (const auto& c : cases) {
        const QString folder = file("tmp");
        QDir(folder).removeRecursively();
        QDir().mkdir(folder);
        ::chown(QFile::encodeName(folder).constData(), c.folderOwner, c.folderOwner);
        ::chmod(QFile::encodeName(folder).constData(), c.folderMode);
        put("home/mine.csv", "the user's own\r\n");
        ::chmod(QFile::encodeName(mine).constData(), 0666);
        const QString link = folder + "/p.csv";
        ASSERT_TRUE(QFile::link(mine, link));
        ::lchown(QFile::encodeName(link).constData(), c.linkOwner, c.linkOwner);
        const auto run = [&] {
            const int saved = save(link, "saved\r\n");
            return QStringLiteral("%1 %2").arg(saved).arg(save(link, "line\r\n", OutputFile::Append));
        };
        const QString got = c.saver == 0 ? run() : InChild(run, 10, 0, c.saver);
        EXPECT_EQ(got, c.followed ? "0 0" : "70 70") << c.what;
        EXPECT_EQ(contents(mine), c.followed ? "saved\r\nline\r\n" : "the user's own\r\n") << c.what;
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << c.what;
        EXPECT_EQ(FilesIn(folder), QStringList({"p.csv"})) << c.what;
        EXPECT_EQ(FilesIn(file("home")), QStringList({"mine.csv"})) << c.what;
    }
    QDir().mkdir(file("tmp2"));
    ::chmod(QFile::encodeName(file("tmp2")).constData(), 01777);
    ASSERT_TRUE(QFile::link(mine, file("tmp2/p.csv")));
    ::lchown(QFile::encodeName(file("tmp2/p.csv")).constData(), kOtherUser, kOtherUser);
    EXPECT_EQ(errorText([&] { OutputFile(file("tmp2/p.csv"), OutputFile::Replace); }),
              "Error 70 - Permission denied (a link another user made in a shared folder)");
}

TEST_F(TextFileTest, ALoopOfLinksSaysSo)
{
    ASSERT_TRUE(QFile::link(file("b.cfg"), file("a.cfg")));
    ASSERT_TRUE(QFile::link(file("a.cfg"), file("b.cfg")));
    const QString says = "Error 76 - Path not found (a loop of symbolic links)";
    EXPECT_EQ(errorText([&] { InputFile in(file("a.cfg")); }), says);
    EXPECT_EQ(errorText([&] { OutputFile(file("a.cfg"), OutputFile::Replace); }), says);
    EXPECT_EQ(errorText([&] { OutputFile(file("a.cfg"), OutputFile::Append); }), says);
    EXPECT_TRUE(QFileInfo(file("a.cfg")).isSymLink() && QFileInfo(file("b.cfg")).isSymLink());
    EXPECT_EQ(FilesIn(programDir()), QStringList());
}

TEST_F(TextFileTest, TwoProgramsSavingOneFileLeaveEachOthersTemporaryFilesAlone)
{
    // On a file system in memory where one can be mounted: a thousand saves
    // each, not a thousand trips to the disk.
    const QString dir = file("fs");
    const Tmpfs memory(dir, "size=16m");
    const QString path = dir + "/Monitor.val";
    const QString a = QString("a").repeated(20000), b = QString("b").repeated(30000);
    const auto saver = [&](const QString& text) {
        return [&, text] {
            QMap<int, int> failures;
            for (int k = 0; k < 1000; ++k)
                if (const int e = save(path, text))
                    ++failures[e];
            QStringList out;
            for (auto it = failures.begin(); it != failures.end(); ++it)
                out << QStringLiteral("%1 x error %2").arg(it.value()).arg(it.key());
            return out.join(", ");
        };
    };
    // A save killed before, whose temporary file is stale.
    writeFile("fs/Monitor.val.Zz9Yx8.tmp", "");
    // Both copies forked from this thread, then run side by side.
    ForkedCopy first(saver(a), 120), second(saver(b), 120);
    EXPECT_EQ(first.result(), "");
    EXPECT_EQ(second.result(), "");
    const QByteArray now = contents(path);
    EXPECT_TRUE(now == a.toLatin1() || now == b.toLatin1()) << now.size();
    EXPECT_EQ(FilesIn(dir), QStringList({"Monitor.val"}));

    // The lock of a save in progress, and none once it is done.
    OutputFile out(path, OutputFile::Replace);
    const QString temp = out.temporaryPath();
    EXPECT_EQ(InChild([&] { return QString::number(save(path, "meanwhile\r\n")); }), "0");
    EXPECT_TRUE(QFile::exists(temp)) << "the other save left it";
    out.write("last\r\n");
    out.close();
    EXPECT_EQ(contents(path), "last\r\n");
}
