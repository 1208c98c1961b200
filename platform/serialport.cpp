#include "platform/serialport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QStringList>

#include <cerrno>
#include <poll.h>

#include "platform/rterror.h"

namespace {

// The longest an output may take to leave the driver before we give up on
// it; a line that cannot take a short frame in this time is not working.
constexpr int kOutputDrainMs = 2000;

struct ParsedSettings {
    qint32 baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1; // 3 means 1.5
};

bool parseSettings(const QString& text, ParsedSettings& out)
{
    const QStringList items = text.split(QLatin1Char(','));
    if (items.size() != 4)
        return false;
    bool ok = false;
    const qint64 baud = items[0].trimmed().toLongLong(&ok);
    if (!ok || baud <= 0 || baud > 4000000)
        return false;
    const QString par = items[1].trimmed().toUpper();
    if (par.size() != 1 || !QStringLiteral("NEOMS").contains(par[0]))
        return false;
    const int data = items[2].trimmed().toInt(&ok);
    if (!ok || data < 5 || data > 8)
        return false;
    const QString stop = items[3].trimmed();
    int stopBits = 0;
    if (stop == QLatin1String("1"))
        stopBits = 1;
    else if (stop == QLatin1String("1.5"))
        stopBits = 3;
    else if (stop == QLatin1String("2"))
        stopBits = 2;
    else
        return false;
    out.baud = qint32(baud);
    out.parity = par[0].toLatin1();
    out.dataBits = data;
    out.stopBits = stopBits;
    return true;
}

QSerialPort::Parity toQtParity(char p)
{
    switch (p) {
    case 'E': return QSerialPort::EvenParity;
    case 'O': return QSerialPort::OddParity;
    case 'M': return QSerialPort::MarkParity;
    case 'S': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toQtStopBits(int s)
{
    switch (s) {
    case 2: return QSerialPort::TwoStop;
    case 3: return QSerialPort::OneAndHalfStop;
    default: return QSerialPort::OneStop;
    }
}

} // namespace

SerialPortControl::SerialPortControl(QObject* parent) : QObject(parent) {}

SerialPortControl::~SerialPortControl()
{
    if (port_ && port_->isOpen())
        port_->close();
}

QString SerialPortControl::devicePath(int n)
{
    const QByteArray env = qgetenv(QStringLiteral("QUINREX3_COM%1").arg(n).toLatin1().constData());
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

void SerialPortControl::setCommPort(int n)
{
    if (n < 1 || n > 16)
        rt::raise(rt::ErrCommInvalidPort);
    if (portOpen())
        rt::raise(rt::ErrCommPortOpen);
    commPort_ = n;
}

void SerialPortControl::setSettings(const QString& text)
{
    ParsedSettings p;
    if (!parseSettings(text, p))
        rt::raise(rt::ErrInvalidPropertyValue);
    settings_ = text;
    baud_ = p.baud;
    parity_ = p.parity;
    dataBits_ = p.dataBits;
    stopBits_ = p.stopBits;
    if (portOpen())
        applySettings();
}

void SerialPortControl::applySettings()
{
    // A pseudo-terminal or an adapter may refuse a rate or a parity mode; the
    // line then keeps what it had, as a real port would keep its last mode.
    port_->setBaudRate(baud_);
    port_->setParity(toQtParity(parity_));
    port_->setDataBits(QSerialPort::DataBits(dataBits_));
    port_->setStopBits(toQtStopBits(stopBits_));
    port_->setFlowControl(QSerialPort::NoFlowControl);
    port_->clearError();
}

void SerialPortControl::setRTSEnable(bool on)
{
    rts_ = on;
    if (portOpen()) {
        // Pseudo-terminals have no modem lines; the request fails there and
        // is of no consequence.
        port_->setRequestToSend(on);
        port_->clearError();
    }
}

// A read that fails or meets the end of the stream means the device has gone
// (a hung-up pseudo-terminal reads as end of stream, an unplugged adapter as an
// I/O error); from then on the port reads as closed instead of failing again
// and again.
static bool isVanishedError(QSerialPort::SerialPortError e)
{
    return e == QSerialPort::ResourceError || e == QSerialPort::ReadError;
}

void SerialPortControl::dropVanished()
{
    if (port_ && port_->isOpen() && isVanishedError(port_->error()))
        port_->close();
}

// Moves whatever the driver holds into the port's buffer without waiting, so
// that counts and reads see characters that arrived while no event loop ran.
// A hung-up line (the other end of a pseudo-terminal closed, an adapter
// unplugged) closes the port.
static void pumpInput(QSerialPort& port)
{
    if (!port.isOpen())
        return;
    pollfd p{};
    p.fd = int(port.handle());
    p.events = POLLIN;
    int r;
    do {
        r = ::poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    if (r <= 0)
        return;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        port.close();
        return;
    }
    if ((p.revents & POLLIN) && !port.waitForReadyRead(0) && port.error() == QSerialPort::TimeoutError)
        port.clearError();
}

bool SerialPortControl::portOpen()
{
    if (!port_ || !port_->isOpen())
        return false;
    pumpInput(*port_);
    dropVanished();
    return port_->isOpen();
}

void SerialPortControl::setPortOpen(bool open)
{
    if (!open) {
        if (port_ && port_->isOpen())
            port_->close();
        return;
    }
    if (portOpen())
        rt::raise(rt::ErrCommPortOpen);

    const QString path = devicePath(commPort_);
    if (!QFileInfo::exists(path))
        rt::raise(rt::ErrCommInvalidPort);

    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(path);
    port_->setBaudRate(baud_);
    port_->setParity(toQtParity(parity_));
    port_->setDataBits(QSerialPort::DataBits(dataBits_));
    port_->setStopBits(toQtStopBits(stopBits_));
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError e = port_->error();
        const QString why = port_->errorString();
        port_.reset();
        switch (e) {
        case QSerialPort::DeviceNotFoundError:
            rt::raise(rt::ErrCommInvalidPort);
        case QSerialPort::PermissionError:
        case QSerialPort::OpenError:
            rt::raise(rt::ErrCommHardware);
        default:
            rt::raise(rt::ErrDeviceUnavailable, rt::describe(rt::ErrDeviceUnavailable) + QStringLiteral(" (") + why
                                                   + QLatin1Char(')'));
        }
    }
    // A vanished device shows up as ResourceError while an event loop runs;
    // close it then, not on every later read.
    connect(port_.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) {
                if (isVanishedError(e))
                    dropVanished();
            },
            Qt::QueuedConnection);
    if (rts_)
        port_->setRequestToSend(true);
    port_->clearError();
}

QByteArray SerialPortControl::input()
{
    if (!portOpen())
        rt::raise(rt::ErrCommNotOpen);
    QByteArray data = inputLen_ == 0 ? port_->readAll() : port_->read(inputLen_);
    dropVanished();
    return data;
}

void SerialPortControl::output(const QByteArray& data)
{
    if (!portOpen())
        rt::raise(rt::ErrCommNotOpen);
    if (data.isEmpty())
        return;
    port_->write(data);
    // Without an event loop the port only writes when asked to; push the
    // whole text out now.
    while (port_->isOpen() && port_->bytesToWrite() > 0) {
        if (!port_->waitForBytesWritten(kOutputDrainMs))
            break;
    }
    if (port_->error() == QSerialPort::TimeoutError)
        port_->clearError();
    dropVanished();
}

int SerialPortControl::inBufferCount()
{
    if (!portOpen())
        return 0;
    return int(port_->bytesAvailable());
}

bool SerialPortControl::waitForInput(int msecs)
{
    if (!portOpen())
        return false;
    if (port_->bytesAvailable() > 0)
        return true;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = qMax<qint64>(0, msecs - clock.elapsed());
        pollfd p{};
        p.fd = int(port_->handle());
        p.events = POLLIN;
        const int r = ::poll(&p, 1, int(left));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0)
            return false;
        pumpInput(*port_);
        dropVanished();
        if (!port_->isOpen())
            return false;
        if (port_->bytesAvailable() > 0)
            return true;
        if (left == 0)
            return false;
    }
}
