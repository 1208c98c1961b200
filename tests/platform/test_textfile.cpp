// Sequential text files: item and line input, print output, atomic replace.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/rterror.h"
#include "platform/textfile.h"

using namespace rt;

namespace {

class TextFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString put(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path(name);
    }
    QByteArray get(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList entries() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir_;
};

int errorOf(auto&& f)
{
    try {
        f();
    } catch (const RtError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST_F(TextFileTest, ItemsEndAtCommaOrLineEnd)
{
    // quoted item with junk after it, an empty line, a quote never closed, a lone CR
    InputFile in(put("a.txt", "  abc  , \"q,uo\"  junk, x\r\n\r\nlast,\t7 \n\"open\rz"));
    QStringList items;
    while (!in.eof())
        items << in.inputItem();
    EXPECT_EQ(items, QStringList({"abc", "q,uo", "x", "", "last", "7", "open", "z"}));
    EXPECT_EQ(errorOf([&] { in.inputItem(); }), ErrInputPastEnd);
}

TEST_F(TextFileTest, EofIgnoresTrailingLineEnds)
{
    for (const QByteArray& body : {QByteArray("1\r\n2\r\n"), QByteArray("1\r\n2"), QByteArray("1\n2\n\r\n  \r\n")}) {
        InputFile in(put("e.txt", body));
        QStringList items;
        while (!in.eof())
            items << in.inputItem();
        EXPECT_EQ(items, QStringList({"1", "2"})) << body.constData();
    }
    InputFile empty(put("empty.txt", ""));
    EXPECT_TRUE(empty.eof());
    EXPECT_EQ(errorOf([&] { empty.lineInput(); }), ErrInputPastEnd);
}

TEST_F(TextFileTest, NumbersEndAtBlanksToo)
{
    InputFile in(put("n.txt", " 9600 \r\n .5 \r\n-3 \r\n1 2 ,&H1F\r\n\"7\"\r\n\r\n"));
    QList<double> numbers;
    while (!in.eof())
        numbers << in.inputNumber();
    EXPECT_EQ(numbers, QList<double>({9600, 0.5, -3, 1, 2, 31, 7}));
}

TEST_F(TextFileTest, LinesStayUnchanged)
{
    InputFile in(put("l.txt", "h1\r\nh2\nh3\rh4\r\nh5\r\n C:\\a b, c \r\nend"));
    in.skipLines(5);
    EXPECT_EQ(in.lineInput(), " C:\\a b, c ");
    EXPECT_EQ(in.lineInput(), "end");
    EXPECT_EQ(errorOf([&] { in.skipLines(1); }), ErrInputPastEnd);
}

TEST_F(TextFileTest, NonUtf8FilesReadAsWindowsText)
{
    InputFile ansi(put("ansi.txt", "25\xb0" "F,x\r\n"));
    EXPECT_EQ(ansi.inputItem(), QString::fromUtf8("25\u00b0F"));
    InputFile utf8(put("utf8.txt", "25\xc2\xb0" "F\r\n"));
    EXPECT_EQ(utf8.lineInput(), QString::fromUtf8("25\u00b0F"));
}

TEST_F(TextFileTest, OpenErrors)
{
    EXPECT_EQ(errorOf([&] { InputFile in(path("none.txt")); }), ErrFileNotFound);
    EXPECT_EQ(errorOf([&] { InputFile in(path("nodir/none.txt")); }), ErrPathNotFound);
    EXPECT_EQ(errorOf([&] { OutputFile out(path("nodir/x.txt"), OutputFile::Replace); }), ErrPathNotFound);
    EXPECT_EQ(errorOf([&] { Kill(path("none.txt")); }), ErrFileNotFound);
    EXPECT_FALSE(FileExists(dir_.path()));
}

TEST_F(TextFileTest, PrintLayoutRoundTrips)
{
    OutputFile out(path("cfg.txt"), OutputFile::Replace);
    out.printNumberLine(9600);
    out.printSingleLine(0.5f);
    out.printNumberLine(-3);
    out.printLine("C:\\view app.exe, x");
    out.close();
    EXPECT_EQ(get("cfg.txt"), " 9600 \r\n .5 \r\n-3 \r\nC:\\view app.exe, x\r\n");
    InputFile in(path("cfg.txt"));
    EXPECT_EQ(in.inputNumber(), 9600);
    EXPECT_EQ(float(in.inputNumber()), 0.5f);
    EXPECT_EQ(in.inputItem(), "-3");
    EXPECT_EQ(in.lineInput(), "C:\\view app.exe, x");
    EXPECT_TRUE(in.eof());
}

TEST_F(TextFileTest, ReplaceIsAllOrNothing)
{
    put("keep.txt", "old\r\n");
    {
        OutputFile out(path("keep.txt"), OutputFile::Replace);
        out.printLine("new");
        // gone without close(): as if the writer failed half-way
    }
    EXPECT_EQ(get("keep.txt"), "old\r\n");
    EXPECT_EQ(entries(), QStringList({"keep.txt"}));

    // A write that the system refuses (file size limit) raises once, from the
    // write or else from close(), and leaves the old file with no temporary.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    OutputFile out(path("keep.txt"), OutputFile::Replace);
    const int writeErr = errorOf([&] {
        for (int i = 0; i < 1000; ++i)
            out.printLine(QString(100, u'x'));
    });
    const int closeErr = errorOf([&] { out.close(); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    const int err = writeErr ? writeErr : closeErr;
    EXPECT_TRUE(!writeErr || !closeErr);
    EXPECT_TRUE(err == ErrDeviceIO || err == ErrDiskFull) << err;
    EXPECT_EQ(get("keep.txt"), "old\r\n");
    EXPECT_EQ(entries(), QStringList({"keep.txt"}));
}

TEST_F(TextFileTest, ReplaceInReadOnlyFolderFails)
{
    const QString sub = path("ro");
    QDir().mkdir(sub);
    QFile::copy(put("src.txt", "old\r\n"), sub + "/f.txt");
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner);
    const bool enforced = access(sub.toLocal8Bit().constData(), W_OK) != 0;
    const int err = errorOf([&] { OutputFile out(sub + "/f.txt", OutputFile::Replace); });
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!enforced)
        GTEST_SKIP() << "permissions are not enforced for this user";
    EXPECT_EQ(err, ErrPermissionDenied);
    EXPECT_EQ(get("ro/f.txt"), "old\r\n");
}

TEST_F(TextFileTest, AppendFlushReachesTheSystem)
{
    OutputFile log(path("log.csv"), OutputFile::Append);
    log.printLine("a,1");
    log.flush();
    EXPECT_EQ(get("log.csv"), "a,1\r\n"); // visible before close
    log.close();
    OutputFile again(path("log.csv"), OutputFile::Append);
    again.write("b,2");
    again.close();
    EXPECT_EQ(get("log.csv"), "a,1\r\nb,2");
    EXPECT_TRUE(FileExists(path("log.csv")));
    Kill(path("log.csv"));
    EXPECT_FALSE(FileExists(path("log.csv")));

    if (QFile::exists("/dev/full")) {
        OutputFile full("/dev/full", OutputFile::Append);
        full.printLine("x");
        EXPECT_EQ(errorOf([&] { full.flush(); }), ErrDiskFull);
        EXPECT_NO_THROW(full.close());
    }
}
