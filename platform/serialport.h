#pragma once
// The serial port control: one object with the eight properties the program
// uses (CommPort, Settings, RTSEnable, PortOpen, InputLen, Input, Output,
// InBufferCount) and one wait primitive for the protocol drivers.
//
// COM<n> opens the device named by the environment variable QUINREX3_COM<n>
// when it is set, else /dev/ttyS<n-1>.
//
// The port is never shared with another program. An opening honours every
// lock Linux serial programs take: a UUCP lock file (LCK..<name> in /run/lock
// or /var/lock, the owner's PID in ASCII or as a binary integer) of a process
// that still runs, a flock on the device and the terminal's exclusive mode
// (TIOCEXCL). While open the port holds the same three itself: a lock file
// with its PID in ASCII, a flock and the exclusive mode; closing the port, a
// lost device and the program's end release them (a lock file of a killed
// process names a process that is gone, and the next opener takes it over).
// QUINREX3_LOCK_DIR, when set, is the one folder of lock files instead.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <termios.h>

namespace serial {

// A settings text taken apart: "9600,N,8,1".
struct LineSettings {
    qint32 baud = 9600;
    char parity = 'N'; // N, E, O, M (mark) or S (space)
    int dataBits = 8;
    int stopBits = 1; // 1, 2, or 3 meaning 1.5
    // False for a malformed text (the settings are then left as they were).
    bool parse(const QString& text);
};

// The line mode for `s`, built on the mode the line has: raw, no flow
// control, and with a parity the parity of every character checked, a
// character that fails it (or its framing) marked in the input as the
// bytes FF 00 and the character, a received FF doubled.
termios LineMode(const termios& current, const LineSettings& s);

// What the driver kept of `wanted`, judged from the mode read back (`cflag`)
// and the rate read back: "" when it took everything, else the line that
// names what it refused or changed ("28800 baud is not available on
// /dev/ttyUSB0", "1.5 stop bits and even parity are not available on ...").
// A pseudo-terminal carries no signal and keeps only rate and stop bits:
// its data bits and parity are not judged.
QString RefusedSettings(const LineSettings& wanted, tcflag_t cflag, qint32 baud, bool pseudoTerminal,
                        const QString& device);

// Takes the marks of bad characters out of the input of a line whose mode
// marks them (see LineMode). Marks split across reads are joined.
class ParityMarks {
public:
    // Appends the characters `in` holds to `out`; returns how many of them
    // arrived with a parity or framing error (or were a break).
    int unmark(const char* in, qsizetype n, QByteArray& out);
    void reset() { state_ = 0; }

private:
    int state_ = 0; // 1 after FF, 2 after FF 00
};

} // namespace serial

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
    // is busy (locked or opened by another program) or not accessible raises
    // ErrCommHardware (8010); other failures ErrDeviceUnavailable (68). The
    // error's description is one line, the device and the system's reason
    // ("/dev/ttyUSB0: busy, locked by PID 812 (minicom)"). Setting True while
    // open raises ErrCommPortOpen.
    void setPortOpen(bool open);

    // The most characters the next read of input() takes; 0 means all.
    void setInputLen(int n) { inputLen_ = n < 0 ? 0 : n; }
    int inputLen() const { return inputLen_; }

    // Takes and returns waiting characters ("" when none). Raises
    // ErrCommNotOpen when the port is closed.
    QByteArray input();
    // The longest output() waits for a line to take a text, unless told
    // otherwise: a line that cannot take a short text in this time is not
    // working.
    static constexpr int kOutputWaitMs = 2000;
    // Sends the whole text. Raises ErrCommNotOpen when the port is closed.
    // A line that does not take it within `waitMs` keeps none of it: false.
    // Where none of it went to the driver, what the driver held before is
    // left as it is: a line that was full stays full, and a later text is
    // refused in turn rather than slipping into room a discard made and
    // going out whenever the line moves again.
    bool output(const QByteArray& data, int waitMs = kOutputWaitMs);
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
    // waits). What was read before the device went away is still taken.
    QByteArray take(int max);
    // Writes `data` to the line, waiting for room until `deadline`. False when
    // the port is closed, its device goes away or the line does not take the
    // whole of it in time: whatever of it the driver still holds is then
    // discarded, so that nothing of it goes out later.
    bool send(const QByteArray& data, const QDeadlineTimer& deadline);
    // Drops everything written that has not left yet.
    void discardOutput();
    // True when a character with a parity or framing error arrived since the
    // last call or discardInput(); asking clears it.
    bool takeNoise();
    // Counts the successful openings: what was under way on the line before
    // the last one is no longer.
    int openings() const { return openings_; }

    // The device path COM<n> maps to.
    static QString devicePath(int n);
    // The lock file the open port holds ("" when closed, or when no lock
    // folder could take one).
    QString lockFile() const { return lockFile_; }

private:
    // Sets the line to the settings and reads them back; "" when the driver
    // took them all, else what it did not (RefusedSettings).
    QString applySettings();
    void release();
    // Looks at the line without waiting: takes what has arrived, closes the
    // port when its device has gone.
    void service();
    // Reads once what the driver holds (the device must be readable or the
    // read returns at once); closes the port when the device has gone.
    void readDriver();
    void vanished();
    bool isOpen() const;
    // send(); `keepHeld` leaves what the driver holds when none of `data`
    // went to it.
    bool writeOut(const QByteArray& data, const QDeadlineTimer& deadline, bool keepHeld);

    int fd_ = -1;
    termios saved_{}; // the line's mode before we opened it, put back on close
    QString lockFile_;
    QByteArray rx_; // received and not yet taken
    int commPort_ = 1;
    QString settings_ = QStringLiteral("9600,N,8,1");
    bool rts_ = false;
    int inputLen_ = 0;
    serial::LineSettings line_;
    serial::ParityMarks marks_;
    bool marking_ = false; // the line marks bad characters (PARMRK)
    bool noise_ = false;
    int openings_ = 0;
};
