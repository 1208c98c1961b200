// Sequential text files: item and line input, print output, atomic replace.
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

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
    QStringList entries() const { return QDir(programDir()).entryList(QDir::Files | QDir::Hidden); }
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
    EXPECT_EQ(rtErrorOf([&] { OutputFile out(file("nodir/x.txt"), OutputFile::Replace); }), ErrPathNotFound);
    EXPECT_EQ(rtErrorOf([&] { Kill(file("none.txt")); }), ErrFileNotFound);
    EXPECT_FALSE(FileExists(programDir()));
}

TEST_F(TextFileTest, ReplaceIsAllOrNothing)
{
    put("keep.txt", "old\r\n");
    {
        OutputFile out(file("keep.txt"), OutputFile::Replace);
        out.printLine("new");
        // gone without close(): as if the writer failed half-way
    }
    EXPECT_EQ(readFile("keep.txt"), "old\r\n");
    EXPECT_EQ(entries(), QStringList({"keep.txt"}));

    // A write that the system refuses (file size limit) raises once, from the
    // write or else from close(), and leaves the old file with no temporary.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    OutputFile out(file("keep.txt"), OutputFile::Replace);
    const int writeErr = rtErrorOf([&] {
        for (int i = 0; i < 1000; ++i)
            out.printLine(QString(100, u'x'));
    });
    const int closeErr = rtErrorOf([&] { out.close(); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    const int err = writeErr ? writeErr : closeErr;
    EXPECT_TRUE(!writeErr || !closeErr);
    EXPECT_TRUE(err == ErrDeviceIO || err == ErrDiskFull) << err;
    EXPECT_EQ(readFile("keep.txt"), "old\r\n");
    EXPECT_EQ(entries(), QStringList({"keep.txt"}));
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
