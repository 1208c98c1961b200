#include "support/simulator.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtGlobal>

#ifndef QX_SIM_PATH
#error "QX_SIM_PATH must name the instrument simulator"
#endif

extern char** environ;

namespace {

std::string readWhole(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

SimProcess::SimProcess() = default;

SimProcess::~SimProcess() { stop(); }

bool SimProcess::start(const std::string& config, const std::vector<std::string>& extraArgs)
{
    stop();
    error_.clear();
    char tmpl[] = "/tmp/qxsim-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        error_ = "mkdtemp failed";
        return false;
    }
    dir_ = tmpl;
    const std::string configPath = dir_ + "/line.conf";
    const std::string logPath = dir_ + "/sim.log";
    const std::string errPath = dir_ + "/stderr.txt";

    std::vector<std::string> args{QX_SIM_PATH, "--control", "-", "--log", logPath};
    if (!config.empty()) {
        std::ofstream(configPath) << config << '\n';
        args.push_back("--config");
        args.push_back(configPath);
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    toSim_ = in[1];
    fromSim_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        error_ = std::string("cannot start the simulator: ") + std::strerror(rc);
        stop();
        return false;
    }
    const std::string first = readLine(5000);
    if (first.rfind("PTY ", 0) != 0) {
        error_ = "simulator did not come up: " + readWhole(errPath);
        stop();
        return false;
    }
    pty_ = first.substr(4);
    return true;
}

void SimProcess::stop()
{
    if (toSim_ >= 0)
        ::close(toSim_);
    toSim_ = -1;
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    if (fromSim_ >= 0)
        ::close(fromSim_);
    fromSim_ = -1;
    pending_.clear();
    pty_.clear();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        dir_.clear();
    }
}

void SimProcess::bindCom(int n) const
{
    qputenv(("QUINREX3_COM" + std::to_string(n)).c_str(), QByteArray::fromStdString(pty_));
}

std::string SimProcess::readLine(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || fromSim_ < 0)
            return {};
        pollfd p{fromSim_, POLLIN, 0};
        const int r = ::poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return {};
        char buf[512];
        const ssize_t n = ::read(fromSim_, buf, sizeof buf);
        if (n <= 0)
            return {};
        pending_.append(buf, std::size_t(n));
    }
}

std::string SimProcess::command(const std::string& statement, int timeoutMs)
{
    if (toSim_ < 0)
        return {};
    const std::string line = statement + "\n";
    if (::write(toSim_, line.data(), line.size()) != ssize_t(line.size()))
        return {};
    return readLine(timeoutMs);
}

std::string SimProcess::must(const std::string& statement)
{
    const std::string answer = command(statement);
    if (answer.rfind("OK", 0) != 0)
        throw std::runtime_error("simulator refused '" + statement + "': " + answer);
    return answer.size() > 3 ? answer.substr(3) : std::string();
}

std::vector<SimLogEntry> SimProcess::log() const
{
    std::vector<SimLogEntry> out;
    if (dir_.empty())
        return out;
    std::istringstream in(readWhole(dir_ + "/sim.log"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        SimLogEntry e;
        words >> e.time >> e.kind;
        if (e.kind == "--") {
            std::getline(words >> std::ws, e.note);
        } else {
            std::string w;
            while (words >> w && w != "|")
                e.bytes.append(char(std::strtoul(w.c_str(), nullptr, 16)));
        }
        out.push_back(e);
    }
    return out;
}

std::vector<QByteArray> SimProcess::requests() const
{
    std::vector<QByteArray> out;
    for (const SimLogEntry& e : log())
        if (e.kind == "RX")
            out.push_back(e.bytes);
    return out;
}

std::vector<QByteArray> SimProcess::replies() const
{
    std::vector<QByteArray> out;
    for (const SimLogEntry& e : log())
        if (e.kind == "TX")
            out.push_back(e.bytes);
    return out;
}

void SimProcess::clearLog() const
{
    if (!dir_.empty())
        std::ofstream(dir_ + "/sim.log", std::ios::trunc);
}
