// instrument-sim: a line of process controllers on a serial line, for tests
// and for trying the program without hardware.
//
// Usage:
//   instrument-sim [--device PATH] [--config FILE] [--control FIFO|-]
//                  [--log FILE|-] [--gap MS] [--baud N]
//
// Without --device it opens a pseudo-terminal and prints "PTY <slave path>"
// as the first line on stdout; with --device it prints "DEVICE <path>".
// Point the program's COM port at that path (QUINREX3_COM<n>=<path>).
//
//   --config FILE  the line description (below); without it a demonstration
//                  line is served: address 50 (32H) group 0 "Zarn Link",
//                  address 1 group 1 Modbus RTU, address 2 group 2 Modbus ASCII.
//   --control SRC  statements read at run time, one a line, from a FIFO or
//                  from stdin ("-"); each is answered on stdout with
//                  "OK", "OK <value>" or "ERR <message>". With stdin, end of
//                  input ends the simulator.
//   --log FILE     every frame received and sent, with the seconds since
//                  start: "<t> RX <hex bytes> | <text>", "<t> TX ...",
//                  "<t> -- <note>". "-" is stderr (the default). A request to
//                  an instrument with settings notes the line's settings:
//                  "line at 19200,N/E,?,2: answers" or "...: silent, answers
//                  at 9600,E,7,1".
//   --gap MS       silence that ends a Modbus RTU frame whose length is not
//                  known from its function code (default 10). Text frames
//                  (Modbus ASCII ':' ... CR LF, "Zarn Link" STX ... ETX) end
//                  only at their end characters; their characters may come
//                  up to a second apart, as typed by hand.
//   --baud N       line speed for --device (default 9600, 8 data bits, no
//                  parity, 1 stop bit).
//   --delay MS     every answer leaves MS milliseconds (fractions allowed)
//                  after its request came in; requests that come meanwhile
//                  are taken and answered in their own time, as an
//                  instrument slower than the program's time-out would.
//   --in-turn      with --delay: each instrument works on one request at a
//                  time; a request to an instrument that is working on
//                  another waits for it, and its own answer leaves MS
//                  milliseconds after that one. Instruments do not wait for
//                  each other.
//   --wire         answers no sooner than a real line at the line's speed
//                  would carry them: each reply leaves when the request's
//                  characters, the Modbus RTU end-of-frame silence (3.5
//                  characters) and the reply's characters would have passed
//                  on the wire, counted from the request's first character.
//
// Line description (config file and control channel), one statement a line,
// '#' starts a comment, numbers are decimal or 0x-hexadecimal:
//   instrument ADDR [group 0|1|2] [protocol Z|R|A|ZR...] [name TEXT]
//              [settings BAUD,N|E|O,DATA,STOP|*]
//       declares (or changes) an instrument; the protocol defaults to Z in
//       group 0, R in group 1, A in group 2. It answers only requests in one
//       of its protocols; all other addresses stay silent. With settings
//       (e.g. 19200,E,7,2) it answers only while the line is set to them;
//       "*" (the default) answers at any. A pseudo-terminal carries no line
//       signal, so the simulator reads the settings the program put on its
//       slave side: Linux keeps the speed (28800 included), the stop bits and
//       the odd-parity flag there, but forces 8 data bits and no parity, so
//       data bits and even-versus-none cannot be told apart and are taken to
//       agree. Queued faults are used only by answers at the settings.
//   reg ADDR REG VALUE     holding register, as the register field on the
//                          wire (functions 3, 6, 16; also 4 and 103 unless
//                          overridden by ireg / preg)
//   ireg ADDR REG VALUE    input register (function 4)
//   preg ADDR REG VALUE    product-type register (function 103)
//   coil ADDR N 0|1        coil (functions 1 and 5; also 2 unless dinput)
//   dinput ADDR N 0|1      discrete input (function 2)
//   zcmd ADDR CMD VALUE [unit=F|C|Er|none] [status=HH]
//       "Zarn Link" read command. A quoted VALUE is the data part of the
//       reply as it is; a number is laid out as that command carries it:
//       command 0: status byte (status=, alarm bits) and data field;
//       100H-1FFH: data field (sign, decimals 0-3, unit, four digits);
//       5: four hex digits; 701H: digits 3-6; 730H-735H: digits 1-4;
//       other commands: two decimal digits.
//   zwrite ADDR CMD READ [data=dec|hex|pairs] [negate] [value=N [bit=B]]
//       what write command CMD does: the value its data carries (four
//       decimal digits and 00/FF, or with data=hex four hex digits and 00;
//       data=pairs spreads a 16-bit word over READ, READ+2 ... READ+14, two
//       bits in bits 6-7 of each status byte), or for a command without
//       data (400H-4FFH) value=N, is answered from then on by read command
//       READ, laid out as that read carries it (a data field keeps its
//       decimals and unit); negate turns the sign; bit=B sets (value=1) or
//       clears (value=0) bit B of the first four data characters as a hex
//       word. Undeclared, a write of 2xxH answers on 1xxH when the
//       instrument serves that read.
//   setpoint ADDR reg|zcmd WORKING SP [ramp RUN]
//       the working set point WORKING takes the value of the set point SP
//       whenever that changes, while RUN (the ramp/soak run flag) reads 0 or
//       is unset; without ramp always.
//   fault ADDR [next=]KIND [count=N]
//       spoils the instrument's next N answers (default 1, 0 = until
//       cleared); faults queue in order. KIND is one of
//         silence        no answer
//         short          answer without its last two characters
//         badcrc|badlrc|badsum  answer with a wrong check (any protocol)
//         wrongaddr      answer from the next address up
//         wrongfunc      Modbus answer with another function code
//         exception:N    Modbus exception N / "Zarn Link" refusal N
//         nak:NN         the same
//         noack          answer without its last character (ACK, LF, CRC)
//         slow:MS        answer after MS milliseconds
//         split:N        answer in N pieces a few milliseconds apart
//         flood:MS       'A's instead of the answer, as fast as the line takes them, for MS ms
//   clear [ADDR]           drops queued faults
//   get ADDR reg|ireg|preg|coil|dinput|zcmd|zwrite N
//                          answers the current value ("none" when unset);
//                          zwrite gives the data last written to a command
//   list                   answers "ADDR:GROUP PROTOCOLS ..."
//
// Requests: Modbus RTU and ASCII functions 1-6, 16 and 103; unknown
// registers give exception 2, bad values exception 3, other functions
// exception 1; frames with a bad CRC or LRC are ignored. "Zarn Link": reads
// answer STX "Z" address data checksum ACK, writes (commands 200H-2FFH with
// six data characters, 400H-4FFH without) answer STX "Z" address checksum
// ACK; refusals are STX "Z" address "N" and a two-digit code, ACK (02 bad
// checksum, 03 a value the read it goes to cannot hold, 04 bad characters,
// 05 bad length, 10 undefined command).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "line.h"
#include "linesettings.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point gStart = Clock::now();
FILE* gLog = stderr;

constexpr int kTextFrameIdleMs = 1000; // an unfinished ASCII or "Zarn Link" frame is dropped after this
constexpr int kSplitPauseMs = 5;
constexpr std::size_t kMaxFrame = 600;

double now() { return std::chrono::duration<double>(Clock::now() - gStart).count(); }

void logLine(const char* tag, const std::string& what)
{
    if (!gLog)
        return;
    std::fprintf(gLog, "%.6f %s %s\n", now(), tag, what.c_str());
    std::fflush(gLog);
}

void logFrame(const char* tag, const std::string& raw)
{
    logLine(tag, sim::hexSpaced(raw) + " | " + sim::printable(raw));
}

// Writes what the line takes of `n` bytes at once; when it takes nothing,
// waits up to `waitMs` for room. The count written, or -1 when the line fails.
ssize_t writeSome(int fd, const char* data, std::size_t n, int waitMs)
{
    const ssize_t w = ::write(fd, data, n);
    if (w >= 0)
        return w;
    if (errno != EAGAIN && errno != EINTR)
        return -1;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, waitMs);
    return 0;
}

bool writeAll(int fd, const std::string& s)
{
    for (std::size_t done = 0; done < s.size();) {
        const ssize_t n = writeSome(fd, s.data() + done, s.size() - done, 100);
        if (n < 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void makeRaw(int fd, speed_t speed)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (speed) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }
    ::tcsetattr(fd, TCSANOW, &t);
}

speed_t speedOf(long baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return 0;
    }
}

struct Options {
    std::string device, config, control, log = "-";
    int gapMs = 10;
    double delayMs = 0;
    long baud = 9600;
    bool wire = false;
    bool inTurn = false;
};

// Seconds one character takes on a line with these settings: a start bit,
// the data bits (8 where a pseudo-terminal cannot tell), a parity bit unless
// there is none (or it cannot be told from none), the stop bits.
double charSeconds(const sim::LineSettings& s, long fallbackBaud)
{
    const long baud = s.baud > 0 ? s.baud : fallbackBaud;
    const int bits = 1 + (s.dataBits > 0 ? s.dataBits : 8) + (s.parity == 'E' || s.parity == 'O' ? 1 : 0) +
                     (s.stopBits > 0 ? s.stopBits : 1);
    return baud > 0 ? double(bits) / double(baud) : 0;
}

[[noreturn]] void usage(const char* msg)
{
    std::fprintf(stderr, "instrument-sim: %s\n", msg);
    std::fprintf(stderr, "usage: instrument-sim [--device PATH] [--config FILE] [--control FIFO|-] [--log FILE|-] "
                         "[--gap MS] [--baud N] [--delay MS] [--in-turn] [--wire]\n");
    std::exit(2);
}

Options parseArgs(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(("missing value after " + a).c_str());
            return argv[++i];
        };
        if (a == "--device")
            o.device = value();
        else if (a == "--config")
            o.config = value();
        else if (a == "--control")
            o.control = value();
        else if (a == "--log")
            o.log = value();
        else if (a == "--gap")
            o.gapMs = std::atoi(value().c_str());
        else if (a == "--baud")
            o.baud = std::atol(value().c_str());
        else if (a == "--wire")
            o.wire = true;
        else if (a == "--in-turn")
            o.inTurn = true;
        else if (a == "--delay")
            o.delayMs = std::atof(value().c_str());
        else
            usage(("unknown argument " + a).c_str());
    }
    if (o.gapMs < 1)
        o.gapMs = 1;
    return o;
}

// Frames on the line are told apart by their first characters: ':' and a
// hex digit open Modbus ASCII, STX and 'Z' open "Zarn Link", anything else is
// Modbus RTU (whose address may well be 02H or 3AH).
enum class Start { NeedMore, Rtu, Ascii, Zarn };

Start classify(const std::string& buf, bool idle)
{
    const char c0 = buf[0];
    if (c0 != ':' && c0 != 2)
        return Start::Rtu;
    if (buf.size() < 2)
        return idle ? Start::Rtu : Start::NeedMore;
    if (c0 == ':' && sim::isHexDigit(buf[1]))
        return Start::Ascii;
    if (c0 == 2 && buf[1] == 'Z')
        return Start::Zarn;
    return Start::Rtu;
}

// Length of an RTU request judged from its function code; 0 while unknown.
std::size_t rtuLength(const std::string& buf)
{
    if (buf.size() < 2)
        return 0;
    const unsigned fn = std::uint8_t(buf[1]);
    if ((fn >= 1 && fn <= 6) || fn == 103)
        return 8;
    if (fn == 16 && buf.size() >= 7)
        return 9 + std::uint8_t(buf[6]);
    return 0;
}

class Server {
public:
    // `settingsFd` shows the settings the line is set to (the slave side of
    // a pseudo-terminal, or the device itself).
    Server(int lineFd, int settingsFd, bool pseudoTerminal, sim::Line& line, int gapMs, bool wire, long baud)
        : fd_(lineFd), settingsFd_(settingsFd), pty_(pseudoTerminal), line_(line), gapMs_(gapMs), wire_(wire),
          baud_(baud)
    {
    }

    void received(const char* data, std::size_t n)
    {
        if (buf_.empty())
            first_ = Clock::now();
        buf_.append(data, n);
        last_ = Clock::now();
        process(false);
    }

    // Milliseconds until an unfinished frame has to be judged or a delayed
    // answer is due; -1 for none.
    int idleTimeout() const
    {
        long left = -1;
        if (!buf_.empty()) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_).count();
            left = std::max(0L, idleFor() - long(waited));
        }
        if (!delayed_.empty()) {
            const auto due = std::chrono::duration_cast<std::chrono::microseconds>(delayed_.front().due - Clock::now());
            const long ms = std::max(0L, long((due.count() + 999) / 1000));
            left = left < 0 ? ms : std::min(left, ms);
        }
        return int(left);
    }

    void tick()
    {
        if (!buf_.empty() && idleTimeout() == 0)
            process(true);
        while (!delayed_.empty() && delayed_.front().due <= Clock::now()) {
            const Delayed d = delayed_.front();
            delayed_.pop_front();
            send(d.kind, d.frame, d.answer, d.seen);
        }
    }

    void setDelay(double ms, bool inTurn)
    {
        delay_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
        inTurn_ = inTurn;
    }

private:
    // A text frame (and a first character that may open one) waits up to a
    // second for its next character, as text typed by hand comes; only a
    // Modbus RTU frame is ended by a short silence.
    long idleFor() const { return classify(buf_, false) == Start::Rtu ? gapMs_ : kTextFrameIdleMs; }

    void process(bool idle)
    {
        while (!buf_.empty()) {
            const Start s = classify(buf_, idle);
            if (s == Start::NeedMore)
                return;
            if (s == Start::Ascii || s == Start::Zarn) {
                // Modbus ASCII ends with CR LF, "Zarn Link" with ETX.
                const char end = s == Start::Ascii ? '\n' : 3;
                const std::size_t pos = buf_.find(end);
                if (pos == std::string::npos) {
                    if (idle || buf_.size() > kMaxFrame) {
                        logFrame("RX", buf_);
                        logLine("--", "dropped: unfinished frame");
                        buf_.clear();
                    }
                    return;
                }
                const std::string frame = buf_.substr(0, pos + 1);
                buf_.erase(0, pos + 1);
                if (s == Start::Ascii && (pos == 0 || frame[pos - 1] != '\r')) {
                    logFrame("RX", frame);
                    logLine("--", "dropped: LF without the CR before it");
                    continue;
                }
                answer(s == Start::Ascii ? sim::FrameKind::Ascii : sim::FrameKind::Zarn, frame);
                continue;
            }
            const std::size_t len = rtuLength(buf_);
            if (len && buf_.size() >= len) {
                const std::string frame = buf_.substr(0, len);
                buf_.erase(0, len);
                answer(sim::FrameKind::Rtu, frame);
                continue;
            }
            if (idle || buf_.size() > kMaxFrame) {
                const std::string frame = buf_;
                buf_.clear();
                answer(sim::FrameKind::Rtu, frame);
            }
            return;
        }
    }

    void answer(sim::FrameKind kind, const std::string& frame)
    {
        logFrame("RX", frame);
        // Read when the frame is complete: the sender keeps its settings
        // until it has had its answer or given up waiting.
        sim::LineSettings seen;
        const bool known = sim::readLineSettings(settingsFd_, pty_, seen);
        const sim::Answer a = line_.handle(kind, frame, known ? &seen : nullptr);
        for (const std::string& note : a.notes)
            logLine("--", note);
        if (!a.send)
            return;
        if (delay_.count() > 0) {
            // The loop goes on taking requests meanwhile. In turn, an
            // instrument starts on a request only once its answer to the one
            // before has left; the other instruments work on their own.
            Clock::time_point start = last_;
            if (inTurn_) {
                Clock::time_point& busyUntil = busyUntil_[a.address];
                start = std::max(start, busyUntil);
                busyUntil = start + delay_;
            }
            const Delayed d{start + delay_, kind, frame, a, seen};
            // Answers leave in the order they are due, those due together in
            // the order their requests came.
            const auto at = std::upper_bound(delayed_.begin(), delayed_.end(), d.due,
                                             [](Clock::time_point due, const Delayed& x) { return due < x.due; });
            delayed_.insert(at, d);
            return;
        }
        send(kind, frame, a, seen);
    }

    void send(sim::FrameKind kind, const std::string& frame, const sim::Answer& a, const sim::LineSettings& seen)
    {
        if (wire_) {
            // The reply is complete on a real line only once the request, the
            // end-of-frame silence of an RTU request and the reply have had
            // their characters' time.
            const double perChar = charSeconds(seen, baud_);
            const double chars = double(frame.size() + a.bytes.size()) + (kind == sim::FrameKind::Rtu ? 3.5 : 0);
            const auto due = first_ + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(chars * perChar));
            std::this_thread::sleep_until(due);
            first_ = Clock::now();
        }
        if (a.delayMs > 0)
            sleepMs(a.delayMs);
        if (a.floodMs > 0) {
            flood(a.floodMs);
            return;
        }
        logFrame("TX", a.bytes);
        const std::size_t pieces = std::size_t(a.pieces < 1 ? 1 : a.pieces);
        const std::size_t step = (a.bytes.size() + pieces - 1) / pieces;
        for (std::size_t at = 0; at < a.bytes.size(); at += step) {
            if (at > 0)
                sleepMs(kSplitPauseMs);
            writeAll(fd_, a.bytes.substr(at, step));
        }
    }

    // A line that never ends its answer: 'A's as fast as the other side
    // takes them (or throws them away), for `ms` milliseconds.
    void flood(int ms)
    {
        const std::string chunk(4096, 'A');
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        std::size_t sent = 0;
        while (Clock::now() < end) {
            const ssize_t n = writeSome(fd_, chunk.data(), chunk.size(), 10);
            if (n < 0)
                break;
            sent += std::size_t(n);
        }
        logLine("--", "flooded " + std::to_string(sent) + " bytes");
    }

    int fd_;
    int settingsFd_;
    bool pty_;
    sim::Line& line_;
    int gapMs_;
    bool wire_;
    long baud_;
    struct Delayed {
        Clock::time_point due;
        sim::FrameKind kind;
        std::string frame;
        sim::Answer answer;
        sim::LineSettings seen;
    };
    Clock::duration delay_{};
    bool inTurn_ = false;
    std::map<int, Clock::time_point> busyUntil_; // in turn: when each instrument's last answer leaves
    std::deque<Delayed> delayed_;
    Clock::time_point first_ = Clock::now(); // first character of the frame being received
    std::string buf_;
    Clock::time_point last_ = Clock::now();
};

void runStatement(sim::Line& line, const std::string& text)
{
    std::string reply, error;
    if (line.command(text, reply, error)) {
        std::printf(reply.empty() ? "OK\n" : "OK %s\n", reply.c_str());
        logLine("--", "control: " + text);
    } else {
        std::printf("ERR %s\n", error.c_str());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    const Options opt = parseArgs(argc, argv);

    if (opt.log != "-") {
        gLog = std::fopen(opt.log.c_str(), "a");
        if (!gLog)
            usage(("cannot open log " + opt.log).c_str());
    }

    sim::Line line;
    if (opt.config.empty()) {
        line.loadDemo();
    } else {
        std::ifstream in(opt.config);
        if (!in)
            usage(("cannot read " + opt.config).c_str());
        std::string text, reply, error;
        int number = 0;
        while (std::getline(in, text)) {
            ++number;
            if (!line.command(text, reply, error)) {
                std::fprintf(stderr, "instrument-sim: %s:%d: %s\n", opt.config.c_str(), number, error.c_str());
                return 2;
            }
        }
    }

    int lineFd = -1;
    int slaveHold = -1;
    if (opt.device.empty()) {
        lineFd = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (lineFd < 0 || ::grantpt(lineFd) != 0 || ::unlockpt(lineFd) != 0) {
            std::perror("instrument-sim: pseudo-terminal");
            return 1;
        }
        const char* name = ::ptsname(lineFd);
        if (!name) {
            std::perror("instrument-sim: ptsname");
            return 1;
        }
        const std::string slave = name;
        // Settings made through the master are the slave's: a raw line, so
        // that nothing is echoed or translated while the program has the
        // port closed.
        makeRaw(lineFd, 0);
        // Keeping the slave open ourselves means the master never reads a
        // hang-up when the program closes and reopens its port.
        slaveHold = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        std::printf("PTY %s\n", slave.c_str());
    } else {
        lineFd = ::open(opt.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (lineFd < 0) {
            std::perror(("instrument-sim: " + opt.device).c_str());
            return 1;
        }
        makeRaw(lineFd, speedOf(opt.baud));
        std::printf("DEVICE %s\n", opt.device.c_str());
    }
    std::fflush(stdout);
    ::fcntl(lineFd, F_SETFL, ::fcntl(lineFd, F_GETFL) | O_NONBLOCK);

    int controlFd = -1;
    if (opt.control == "-") {
        controlFd = STDIN_FILENO;
    } else if (!opt.control.empty()) {
        // Read-write, so that the FIFO stays open between writers.
        controlFd = ::open(opt.control.c_str(), O_RDWR | O_NONBLOCK);
        if (controlFd < 0) {
            std::perror(("instrument-sim: " + opt.control).c_str());
            return 1;
        }
    }

    Server server(lineFd, slaveHold >= 0 ? slaveHold : lineFd, opt.device.empty(), line, opt.gapMs, opt.wire,
                  opt.baud);
    server.setDelay(opt.delayMs, opt.inTurn);
    std::string controlBuf;
    for (;;) {
        pollfd fds[2] = {{lineFd, POLLIN, 0}, {controlFd, POLLIN, 0}};
        const int r = ::poll(fds, controlFd >= 0 ? 2 : 1, server.idleTimeout());
        if (r < 0 && errno != EINTR) {
            std::perror("instrument-sim: poll");
            return 1;
        }
        if (r > 0 && (fds[0].revents & POLLIN)) {
            char buf[512];
            const ssize_t n = ::read(lineFd, buf, sizeof buf);
            if (n > 0)
                server.received(buf, std::size_t(n));
        } else if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
            // A device whose other end went away: nothing more will come.
            logLine("--", "line hung up");
            sleepMs(100);
        }
        if (controlFd >= 0 && r > 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buf[512];
            const ssize_t n = ::read(controlFd, buf, sizeof buf);
            if (n == 0 && controlFd == STDIN_FILENO)
                break;
            if (n > 0) {
                controlBuf.append(buf, std::size_t(n));
                std::size_t pos;
                while ((pos = controlBuf.find('\n')) != std::string::npos) {
                    const std::string text = controlBuf.substr(0, pos);
                    controlBuf.erase(0, pos + 1);
                    runStatement(line, text);
                }
            }
        }
        server.tick();
    }
    if (slaveHold >= 0)
        ::close(slaveHold);
    ::close(lineFd);
    return 0;
}
