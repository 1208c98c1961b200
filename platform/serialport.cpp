#include "platform/serialport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

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

// The port reads and writes its descriptor itself: each exchange then costs
// a handful of system calls, and bytes never wait in a second buffer for an
// event loop that does not run during an exchange. The serial port object
// opens and sets up the line and may still take bytes while the event loop
// runs; those are taken over first.
namespace {
// Bound on what waits unread in our buffer: a line that streams without end
// cannot grow it further (the drivers never need more than a frame).
constexpr qsizetype kInputCap = 64 * 1024;
constexpr int kReadChunk = 4096;

// errno values of a read or write on a device that is no longer there.
bool isGone(int err)
{
    return err == EIO || err == ENXIO || err == ENODEV || err == EBADF || err == EPIPE;
}
} // namespace

bool SerialPortControl::isOpen() const { return port_ && port_->isOpen(); }

void SerialPortControl::vanished()
{
    rx_.clear();
    if (port_ && port_->isOpen())
        port_->close();
}

void SerialPortControl::readDriver()
{
    if (port_->bytesAvailable() > 0)
        rx_ += port_->readAll();
    if (rx_.size() >= kInputCap)
        return;
    char buf[kReadChunk];
    ssize_t n;
    do {
        n = ::read(int(port_->handle()), buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    if (n > 0)
        rx_.append(buf, n);
    else if (n == 0 || isGone(errno))
        vanished(); // end of stream: the other end hung up
}

void SerialPortControl::service()
{
    if (!isOpen())
        return;
    if (port_->bytesAvailable() > 0)
        rx_ += port_->readAll(); // taken while an event loop ran
    pollfd p{};
    p.fd = int(port_->handle());
    p.events = POLLIN;
    int r;
    do {
        r = ::poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    if (r <= 0)
        return;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        vanished();
    else if (p.revents & POLLIN)
        readDriver();
}

bool SerialPortControl::portOpen()
{
    service();
    return isOpen();
}

void SerialPortControl::setPortOpen(bool open)
{
    if (!open) {
        rx_.clear();
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
    // The serial port object's own reads (while an event loop runs) report a
    // hung-up device, but also a read that found nothing because we had
    // taken the bytes first; only our own look at the line decides.
    connect(port_.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) {
                if (e == QSerialPort::NoError || !isOpen())
                    return;
                port_->clearError();
                service();
            },
            Qt::QueuedConnection);
    rx_.clear();
    if (rts_)
        port_->setRequestToSend(true);
    port_->clearError();
}

QByteArray SerialPortControl::input()
{
    if (!portOpen())
        rt::raise(rt::ErrCommNotOpen);
    return take(inputLen_ == 0 ? int(rx_.size()) : inputLen_);
}

QByteArray SerialPortControl::take(int max)
{
    if (rx_.isEmpty() && isOpen())
        service();
    const qsizetype n = std::min<qsizetype>(std::max(max, 0), rx_.size());
    QByteArray out = rx_.left(n);
    rx_.remove(0, n);
    return out;
}

bool SerialPortControl::discardInput()
{
    rx_.clear();
    if (!isOpen())
        return false;
    if (port_->bytesAvailable() > 0)
        port_->readAll();
    // Asking costs less than flushing, and mostly nothing waits.
    int waiting = 0;
    const int fd = int(port_->handle());
    if (::ioctl(fd, FIONREAD, &waiting) != 0 || waiting > 0)
        ::tcflush(fd, TCIFLUSH);
    return true;
}

void SerialPortControl::output(const QByteArray& data)
{
    // A device that has gone unnoticed shows itself in the write.
    if (!isOpen())
        rt::raise(rt::ErrCommNotOpen);
    QElapsedTimer clock;
    clock.start();
    const int fd = int(port_->handle());
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The driver's buffer is full: wait until it takes more, but not
            // for ever (a line that cannot take a short frame is not working).
            const qint64 left = kOutputDrainMs - clock.elapsed();
            pollfd p{fd, POLLOUT, 0};
            if (left > 0 && ::poll(&p, 1, int(left)) > 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                continue;
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
                vanished();
            return;
        }
        if (n < 0 && isGone(errno))
            vanished();
        return;
    }
}

int SerialPortControl::inBufferCount()
{
    if (!portOpen())
        return 0;
    return int(rx_.size());
}

bool SerialPortControl::waitForInput(int msecs)
{
    if (!isOpen())
        return false;
    if (!rx_.isEmpty())
        return true;
    if (port_->bytesAvailable() > 0) {
        rx_ += port_->readAll();
        return true;
    }
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
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            vanished();
            return false;
        }
        readDriver();
        if (!isOpen())
            return false;
        if (!rx_.isEmpty())
            return true;
        if (left == 0)
            return false;
    }
}
