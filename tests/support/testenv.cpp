#include "testenv.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <csignal>
#include <sys/resource.h>

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

RealBoxKeys::RealBoxKeys(Qt::Key key)
{
    mb::setHandler(nullptr);
    QObject::connect(&timer_, &QTimer::timeout, [this, key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || QGuiApplication::focusWindow() != box->windowHandle() || box->property("qxKeyed").toBool())
            return;
        box->setProperty("qxKeyed", true);
        titles << box->windowTitle();
        QTest::keyClick(QApplication::focusWidget(), key);
    });
    timer_.start(1);
}

RealBoxKeys::~RealBoxKeys()
{
    if (gActiveAnswers)
        gActiveAnswers->install();
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
