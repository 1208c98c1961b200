// instrument-sim: a line of instruments on a pseudo-terminal.
//
//   instrument-sim [--log FILE] LINE_FILE
//
// Opens a new pseudo-terminal, prints its slave path on the first line of
// standard output and answers requests on it until standard input closes.
// LINE_FILE names one instrument per line ('#' starts a comment):
//
//   <address> <group> <protocol Z|R|A> <settings|*> <model>
//
//   address   decimal 1..255
//   settings  the line settings the instrument answers at, as "9600,E,7,1";
//             "*" answers at any
//   model     the two-character model ID held in the model register, or
//             "refuse": the instrument refuses that register (Modbus
//             exception 2, "Zarn Link" refusal code 10)
//
// Only reads are served: Modbus functions 3, 4 and 103 (RTU and ASCII) and
// "Zarn Link" read commands. Every register reads as the model value.
//
// A pseudo-terminal carries no line signal, so the simulator looks at the line
// settings the program put on the slave side. Linux keeps the speed, the
// stop bits and the odd-parity flag of a pseudo-terminal but forces 8 data
// bits and no parity, so data bits and even-versus-none parity cannot be told
// apart here: an instrument answers whatever they are.
//
// With --log every request is appended to FILE as one line:
//   <protocol> <address> <baud>,<odd|even-or-none>,<stop> <answered 0|1>
//
// Written from the wire description alone; it shares no code with the program.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

// Defined in linespeed.cpp (it needs the kernel's termios2, which cannot share
// a translation unit with <termios.h>).
long slaveLineSpeed(int fd);

namespace {

struct Instrument {
    int address = 0;
    int group = 0;
    char protocol = 'R';
    bool anySettings = true;
    long baud = 9600;
    bool odd = false;
    int stopBits = 1;
    std::string model; // two characters, or "refuse"
};

struct SeenLine {
    long baud = 0;
    bool odd = false;
    int stopBits = 1;
};

std::vector<Instrument> gLine;
std::string gLogPath;
int gMaster = -1;
int gSlave = -1;

bool parseSettings(const std::string& text, Instrument& in)
{
    if (text == "*") {
        in.anySettings = true;
        return true;
    }
    std::vector<std::string> parts;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ','))
        parts.push_back(item);
    if (parts.size() != 4 || parts[1].empty())
        return false;
    in.anySettings = false;
    in.baud = std::strtol(parts[0].c_str(), nullptr, 10);
    in.odd = parts[1][0] == 'O' || parts[1][0] == 'o';
    in.stopBits = std::atoi(parts[3].c_str());
    return true;
}

bool readLineFile(const char* path)
{
    std::ifstream f(path);
    if (!f)
        return false;
    std::string line;
    while (std::getline(f, line)) {
        const auto hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::stringstream ss(line);
        Instrument in;
        std::string proto, settings;
        if (!(ss >> in.address >> in.group >> proto >> settings >> in.model))
            continue;
        in.protocol = proto.empty() ? 'R' : proto[0];
        if (!parseSettings(settings, in) || (in.model != "refuse" && in.model.size() != 2)) {
            std::fprintf(stderr, "instrument-sim: bad line: %s\n", line.c_str());
            return false;
        }
        gLine.push_back(in);
    }
    return true;
}

SeenLine seenLine()
{
    SeenLine s;
    termios t{};
    if (::tcgetattr(gSlave, &t) == 0) {
        s.odd = (t.c_cflag & PARODD) != 0;
        s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    }
    s.baud = slaveLineSpeed(gSlave);
    return s;
}

const Instrument* find(char protocol, int address)
{
    for (const Instrument& in : gLine)
        if (in.protocol == protocol && in.address == address)
            return &in;
    return nullptr;
}

bool answersAt(const Instrument& in, const SeenLine& s)
{
    return in.anySettings || (in.baud == s.baud && in.odd == s.odd && in.stopBits == s.stopBits);
}

void logRequest(char protocol, int address, const SeenLine& s, bool answered)
{
    if (gLogPath.empty())
        return;
    std::ofstream f(gLogPath, std::ios::app);
    f << protocol << ' ' << address << ' ' << s.baud << ',' << (s.odd ? "odd" : "even-or-none") << ','
      << s.stopBits << ' ' << (answered ? 1 : 0) << '\n';
}

void send(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(gMaster, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                pollfd p{gMaster, POLLOUT, 0};
                ::poll(&p, 1, 50);
                continue;
            }
            return;
        }
        done += size_t(n);
    }
}

int modelValue(const Instrument& in)
{
    return (static_cast<unsigned char>(in.model[0]) << 8) | static_cast<unsigned char>(in.model[1]);
}

// The product-type register of group 1 answers a small code, not the ID.
int productTypeCode(const Instrument& in)
{
    if (in.model == "XG")
        return 1;
    if (in.model == "TQ")
        return 2;
    return 7;
}

// ---- Modbus RTU ----
unsigned crc16(const std::string& bytes)
{
    unsigned crc = 0xFFFF;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

std::string withCrc(std::string frame)
{
    const unsigned crc = crc16(frame);
    frame += char(crc & 0xFF);
    frame += char(crc >> 8);
    return frame;
}

// Returns the number of bytes used from `buf` (0 when more are needed).
size_t serveRtu(const std::string& buf)
{
    if (buf.size() < 8)
        return 0;
    const std::string req = buf.substr(0, 8);
    if (crc16(req.substr(0, 6)) != (unsigned char)req[6] + ((unsigned char)req[7] << 8))
        return buf.size(); // noise: drop it all
    const int address = (unsigned char)req[0];
    const int function = (unsigned char)req[1];
    const SeenLine s = seenLine();
    const Instrument* in = find('R', address);
    const bool answers = in && answersAt(*in, s) && (function == 3 || function == 4 || function == 103);
    logRequest('R', address, s, answers);
    if (!answers)
        return 8;
    std::string reply;
    reply += char(address);
    if (in->model == "refuse") {
        reply += char(function | 0x80);
        reply += char(2);
    } else {
        const int v = function == 103 ? productTypeCode(*in) : modelValue(*in);
        reply += char(function);
        reply += char(2);
        reply += char((v >> 8) & 0xFF);
        reply += char(v & 0xFF);
    }
    send(withCrc(reply));
    return 8;
}

// ---- Modbus ASCII ----
std::string hex2(int v)
{
    char b[3];
    std::snprintf(b, sizeof b, "%02X", v & 0xFF);
    return b;
}

std::string asciiFrame(const std::vector<int>& bytes)
{
    int sum = 0;
    std::string out = ":";
    for (int b : bytes) {
        out += hex2(b);
        sum += b;
    }
    out += hex2(-sum);
    return out + "\r\n";
}

void serveAscii(const std::string& line)
{
    // ":" AA FF RRRR CCCC LL
    if (line.size() < 15)
        return;
    std::vector<int> bytes;
    for (size_t i = 1; i + 1 < line.size() && bytes.size() < 7; i += 2)
        bytes.push_back(std::stoi(line.substr(i, 2), nullptr, 16));
    int sum = 0;
    for (size_t i = 0; i < 6; ++i)
        sum += bytes[i];
    if (((-sum) & 0xFF) != bytes[6])
        return;
    const int address = bytes[0];
    const int function = bytes[1];
    const SeenLine s = seenLine();
    const Instrument* in = find('A', address);
    const bool answers = in && answersAt(*in, s) && (function == 3 || function == 4 || function == 103);
    logRequest('A', address, s, answers);
    if (!answers)
        return;
    if (in->model == "refuse") {
        send(asciiFrame({address, function | 0x80, 2}));
        return;
    }
    const int v = function == 103 ? productTypeCode(*in) : modelValue(*in);
    send(asciiFrame({address, function, 2, (v >> 8) & 0xFF, v & 0xFF}));
}

// ---- "Zarn Link" ----
void serveZarn(const std::string& frame)
{
    // STX "Z" AA command(2|4) [data] CC ETX; the frame here has no STX/ETX.
    if (frame.size() < 7 || frame[0] != 'Z')
        return;
    const std::string body = frame.substr(1, frame.size() - 3);
    int sum = 0;
    for (unsigned char c : body)
        sum += c;
    if (hex2(sum) != frame.substr(frame.size() - 2))
        return;
    const int address = std::stoi(body.substr(0, 2), nullptr, 16);
    const SeenLine s = seenLine();
    const Instrument* in = find('Z', address);
    const bool answers = in && answersAt(*in, s);
    logRequest('Z', address, s, answers);
    if (!answers)
        return;
    const std::string head = std::string("\x02Z") + body.substr(0, 2);
    if (in->model == "refuse") {
        send(head + "N10\x06");
        return;
    }
    // Data: two status digits, the model value as four hex digits, padding.
    const int v = modelValue(*in);
    const std::string data = "00" + hex2(v >> 8) + hex2(v) + "0000";
    int csum = 0;
    for (unsigned char c : (head.substr(1) + data))
        csum += c;
    send(head + data + hex2(csum) + "\x06");
}

int openLine()
{
    gMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (gMaster < 0 || ::grantpt(gMaster) != 0 || ::unlockpt(gMaster) != 0)
        return -1;
    char name[128];
    if (::ptsname_r(gMaster, name, sizeof name) != 0)
        return -1;
    termios t{};
    if (::tcgetattr(gMaster, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(gMaster, TCSANOW, &t);
    }
    ::fcntl(gMaster, F_SETFL, ::fcntl(gMaster, F_GETFL) | O_NONBLOCK);
    // Holding the slave open keeps the line up while the program closes and
    // reopens its port, and lets us read the settings it puts on the line.
    gSlave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (gSlave < 0)
        return -1;
    std::printf("%s\n", name);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* linePath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc)
            gLogPath = argv[++i];
        else
            linePath = argv[i];
    }
    if (!linePath) {
        std::fprintf(stderr, "usage: instrument-sim [--log FILE] LINE_FILE\n");
        return 2;
    }
    if (!readLineFile(linePath)) {
        std::fprintf(stderr, "instrument-sim: cannot read %s\n", linePath);
        return 2;
    }
    if (openLine() != 0) {
        std::perror("instrument-sim");
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    std::string buf;
    Clock::time_point lastByte = Clock::now();
    for (;;) {
        pollfd fds[2] = {{gMaster, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        ::poll(fds, 2, 200);
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char c;
            if (::read(STDIN_FILENO, &c, 1) <= 0)
                return 0; // our owner has gone
        }
        if (!(fds[0].revents & POLLIN))
            continue;
        char chunk[512];
        const ssize_t n = ::read(gMaster, chunk, sizeof chunk);
        if (n <= 0)
            continue;
        // A pause between bytes ends whatever was half received.
        const Clock::time_point now = Clock::now();
        if (now - lastByte > std::chrono::milliseconds(20))
            buf.clear();
        lastByte = now;
        buf.append(chunk, size_t(n));

        for (bool more = true; more && !buf.empty();) {
            more = false;
            // An RTU request may begin with any byte, ':' and STX included:
            // a whole one with a good CRC goes first.
            if (buf.size() >= 8 && crc16(buf.substr(0, 6)) ==
                    unsigned((unsigned char)buf[6] + ((unsigned char)buf[7] << 8))) {
                buf.erase(0, serveRtu(buf));
                more = true;
            } else if (buf[0] == ':') {
                const auto lf = buf.find('\n');
                if (lf == std::string::npos)
                    break;
                std::string line = buf.substr(0, lf);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                buf.erase(0, lf + 1);
                serveAscii(line);
                more = true;
            } else if (buf[0] == '\x02') {
                const auto etx = buf.find('\x03');
                if (etx == std::string::npos)
                    break;
                const std::string frame = buf.substr(1, etx - 1);
                buf.erase(0, etx + 1);
                serveZarn(frame);
                more = true;
            } else {
                const size_t used = serveRtu(buf);
                if (used) {
                    buf.erase(0, used);
                    more = true;
                }
            }
        }
    }
}
