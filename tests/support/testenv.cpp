#include "testenv.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/commport.h"
#include "core/deffiles.h"
#include "core/sysconfig.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/filedialog.h"
#include "platform/form.h"

namespace {
MsgBoxAnswers* gActiveAnswers = nullptr;
}

MsgBoxAnswers::MsgBoxAnswers()
{
    mb::clearCalls();
    install();
}

void MsgBoxAnswers::install()
{
    mb::setHandler([this](const mb::Call& c) {
        if (answers_.empty())
            return mb::defaultAnswer(c.style);
        int a = answers_.front();
        answers_.pop_front();
        return a;
    });
    gActiveAnswers = this;
}

MsgBoxAnswers::~MsgBoxAnswers()
{
    if (gActiveAnswers == this) {
        mb::clearHandler();
        gActiveAnswers = nullptr;
    }
}

RealBoxes::RealBoxes(std::function<void(QMessageBox*)> meet)
{
    mb::setHandler(nullptr);
    QObject::connect(&timer_, &QTimer::timeout, [meet = std::move(meet)] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || QGuiApplication::focusWindow() != box->windowHandle() || box->property("qxMet").toBool())
            return;
        box->setProperty("qxMet", true);
        meet(box);
    });
    timer_.start(1);
}

RealBoxes::~RealBoxes()
{
    if (gActiveAnswers)
        gActiveAnswers->install();
}

RealBoxKeys::RealBoxKeys(Qt::Key key)
    : boxes_([this, key](QMessageBox* box) {
          titles << box->windowTitle();
          QTest::keyClick(QApplication::focusWidget(), key);
      })
{
}

mb::Call MsgBoxAnswers::last() const
{
    return mb::calls().empty() ? mb::Call{} : mb::calls().back();
}

QString sourceDir() { return QStringLiteral(QX_SOURCE_DIR); }

void QxTest::SetUp()
{
    ASSERT_TRUE(dir_.isValid());
    modZarn::ResetSharedState();
    App::setPath(dir_.path());
    App::setExeName(QStringLiteral("Quinrex3"));
    App::setPrevInstanceOverride(0);
    App::setExitStatus(0);
    App::setCommandLine(QString());
    App::setEndHandler([](int code) { throw ProgramEnded{code}; });
    Clock::useReal();
    fd::setHandler([](const fd::Request&) { return QString(); });
    boxes_.clear();
}

void QxTest::TearDown()
{
    Forms::discardAll();
    if (modZarn::CommPort().portOpen())
        modZarn::CommPort().setPortOpen(false);
    Clock::useReal();
    fd::clearHandler();
}

void QxTest::copySampleData()
{
    QDir src(sourceDir() + QStringLiteral("/data"));
    for (const QString& name : src.entryList(QDir::Files))
        QFile::copy(src.filePath(name), dir_.filePath(name));
}

void QxTest::useSampleProgram()
{
    copySampleData();
    modZarn::ReadSystemConfig();
    modZarn::ReadModelFile();
}

void QxTest::writeFile(const QString& name, const QByteArray& content) const
{
    QFile f(dir_.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray QxTest::readFile(const QString& name) const
{
    QFile f(dir_.filePath(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray Rtu(const char* hex)
{
    const QByteArray b = QByteArray::fromHex(hex);
    return b + modZarn::ModbusCRC16(b);
}

modZarn::InstrumentRecord& addInstrument(const char* address, const char* protocol, int group, const QString& name)
{
    modZarn::InstrumentRecord r;
    r.Address = QString::fromLatin1(address);
    r.Protocol = QString::fromLatin1(protocol);
    r.Group = group;
    r.Name = name;
    modZarn::gInstruments.Append(r);
    return modZarn::gInstruments[modZarn::gInstruments.Count() - 1];
}

void openLine(int com, const std::string& device, int pollTimeoutMs)
{
    qputenv(("QUINREX3_COM" + std::to_string(com)).c_str(), QByteArray::fromStdString(device));
    SerialPortControl& port = modZarn::CommPort();
    if (port.portOpen())
        port.setPortOpen(false);
    port.setCommPort(com);
    port.setSettings(QStringLiteral("9600,N,8,1"));
    port.setPortOpen(true);
    modZarn::gCommOK = true;
    modZarn::gPollTimeoutMs = pollTimeoutMs;
}

DiskFull::DiskFull(qint64 bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    saved_ = limit.rlim_cur;
    handler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

DiskFull::~DiskFull()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(saved_);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler_);
}

QStringList FilesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); }

bool typeByKeys(QWidget* box, const QString& text)
{
    QWidget* window = box->window();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        return false;
    const auto focused = [box] {
        QWidget* w = QApplication::focusWidget();
        return w && (w == box || box->isAncestorOf(w));
    };
    for (int presses = 0; !focused() && presses < 200; ++presses)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
    if (!focused())
        return false;
    QTest::keyClicks(QApplication::focusWidget(), text);
    return true;
}

ForkedCopy::ForkedCopy(const std::function<QString()>& f, unsigned seconds, qint64 memoryMB, unsigned uid)
{
    int out[2];
    if (::pipe(out) != 0) {
        result_ = QStringLiteral("no pipe");
        return;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out[0]);
        ::close(out[1]);
        result_ = QStringLiteral("no fork");
        return;
    }
    if (pid == 0) {
        ::close(out[0]);
        ::alarm(seconds);
        QByteArray text;
        try {
            if (memoryMB > 0) {
                QFile statm(QStringLiteral("/proc/self/statm"));
                const qint64 pages = statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(0).toLongLong() : 0;
                const rlimit limit{rlim_t(pages * ::sysconf(_SC_PAGESIZE) + (memoryMB << 20)),
                                   rlim_t(pages * ::sysconf(_SC_PAGESIZE) + (memoryMB << 20))};
                ::setrlimit(RLIMIT_AS, &limit);
            }
            if (uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(uid)) != 0 || ::setuid(uid_t(uid)) != 0))
                text = "cannot become the other user";
            else
                text = f().toUtf8();
        } catch (const std::bad_alloc&) {
            text = "out of memory";
        } catch (const rt::RtError& e) {
            text = QByteArray("raised ") + e.what();
        } catch (...) {
            text = "raised something";
        }
        for (qsizetype done = 0; done < text.size();) {
            const ssize_t n = ::write(out[1], text.constData() + done, size_t(text.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        ::_exit(0);
    }
    ::close(out[1]);
    pid_ = pid;
    out_ = out[0];
}

ForkedCopy::~ForkedCopy() { result(); }

QString ForkedCopy::result()
{
    if (pid_ < 0)
        return result_;
    QByteArray text;
    char buf[4096];
    for (ssize_t n; (n = ::read(out_, buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text.append(buf, n);
    }
    ::close(out_);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    result_ = WIFSIGNALED(status) ? QStringLiteral("killed by signal %1").arg(WTERMSIG(status)) : QString::fromUtf8(text);
    return result_;
}

std::vector<NotAFile> NotFilesIn(const QString& dir, const QString& limit)
{
    const QString pipe = dir + QStringLiteral("/pipe.csv"), folder = dir + QStringLiteral("/folder.csv"),
                  huge = dir + QStringLiteral("/huge.csv");
    ::mkfifo(QFile::encodeName(pipe).constData(), 0666);
    QDir().mkdir(folder);
    QFile(huge).open(QIODevice::WriteOnly);
    if (::truncate(QFile::encodeName(huge).constData(), off_t(8) << 30) != 0)
        ADD_FAILURE() << "no file of 8 GB";
    return {
        {pipe, QStringLiteral("75 - Path/File access error (a named pipe, not a file)")},
        {QStringLiteral("/dev/zero"), QStringLiteral("75 - Path/File access error (a device, not a file)")},
        {folder, QStringLiteral("70 - Permission denied (a folder, not a file)")},
        {huge, QStringLiteral("75 - Path/File access error (a file of 8.0 GB, more than the ") + limit +
                   QStringLiteral(" such a file can hold)")},
    };
}

void MakeReadOnly(const QString& path)
{
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
}

FailingSaves::FailingSaves(bool readOnly, const QStringList& files, qint64 room)
{
    if (!readOnly)
        full_.emplace(room);
    else
        for (const QString& f : files)
            MakeReadOnly(f);
}
