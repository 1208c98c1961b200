#pragma once
// The serial port control: one object with the eight properties the program
// uses (CommPort, Settings, RTSEnable, PortOpen, InputLen, Input, Output,
// InBufferCount) and one wait primitive for the protocol drivers.
//
// COM<n> opens the device named by the environment variable QUINREX3_COM<n>
// when it is set, else /dev/ttyS<n-1>.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QSerialPort;

class SerialPortControl : public QObject {
    Q_OBJECT
public:
    explicit SerialPortControl(QObject* parent = nullptr);
    ~SerialPortControl() override;

    // 1..16; outside raises ErrCommInvalidPort. Raises ErrCommPortOpen while open.
    void setCommPort(int n);
    int commPort() const { return commPort_; }

    // "9600,N,8,1": baud, parity letter N/E/O/M/S, data bits 5..8, stop bits
    // 1, 1.5 or 2. A malformed text raises ErrInvalidPropertyValue (380) and
    // keeps the old settings. Applied at once when the port is open.
    void setSettings(const QString& text);
    QString settings() const { return settings_; }

    void setRTSEnable(bool on);
    bool rtsEnable() const { return rts_; }

    // Reading tells whether the port is open. A device that went away
    // (unplugged adapter, closed pseudo-terminal) reads as closed.
    bool portOpen();
    // Opening a missing device raises ErrCommInvalidPort (8002); a device that
    // is busy or not accessible raises ErrCommHardware (8010); other failures
    // ErrDeviceUnavailable (68). Setting True while open raises ErrCommPortOpen.
    void setPortOpen(bool open);

    // The most characters the next read of input() takes; 0 means all.
    void setInputLen(int n) { inputLen_ = n < 0 ? 0 : n; }
    int inputLen() const { return inputLen_; }

    // Takes and returns waiting characters ("" when none). Raises
    // ErrCommNotOpen when the port is closed.
    QByteArray input();
    // Sends the whole text. Raises ErrCommNotOpen when the port is closed.
    void output(const QByteArray& data);
    // Number of received characters waiting (0 when closed).
    int inBufferCount();

    // Blocks until at least one received character waits or `msecs` pass,
    // without running other events and without spinning. Returns
    // inBufferCount() > 0. Returns false at once when the port is closed or
    // its device goes away during the wait.
    bool waitForInput(int msecs);

    // ---- the drivers' exchange (one call each, the fewest system calls) ----
    // Drops every received character, in our buffer and in the driver's.
    // False when the port is closed. It does not look for a device that has
    // gone: the next output() or wait finds that out.
    bool discardInput();
    // Takes at most `max` waiting characters without waiting ("" when none
    // waits or the port is closed).
    QByteArray take(int max);

    // The device path COM<n> maps to.
    static QString devicePath(int n);

private:
    void applySettings();
    // Looks at the line without waiting: takes what has arrived, closes the
    // port when its device has gone.
    void service();
    // Reads once what the driver holds (the device must be readable or the
    // read returns at once); closes the port when the device has gone.
    void readDriver();
    void vanished();
    bool isOpen() const;

    std::unique_ptr<QSerialPort> port_;
    QByteArray rx_; // received and not yet taken
    int commPort_ = 1;
    QString settings_ = QStringLiteral("9600,N,8,1");
    bool rts_ = false;
    int inputLen_ = 0;
    qint32 baud_ = 9600;
    char parity_ = 'N';
    int dataBits_ = 8;
    int stopBits_ = 1; // 1, 2, or 3 meaning 1.5
};
