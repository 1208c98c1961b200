#include "sim-driver/simulator.h"

#include <QDeadlineTimer>
#include <QFile>
#include <sstream>
#include <stdexcept>

#ifndef QX_SIM_PATH
#error "QX_SIM_PATH must name the instrument simulator"
#endif

bool SimProcess::start(const std::string& config, const std::vector<std::string>& options)
{
    stop();
    error_.clear();
    dir_ = std::make_unique<QTemporaryDir>();
    QStringList args{"--control", "-", "--log", dir_->filePath("sim.log")};
    if (!config.empty()) {
        QFile f(dir_->filePath("line.conf"));
        if (f.open(QIODevice::WriteOnly))
            f.write(QByteArray::fromStdString(config) + '\n');
        args << "--config" << f.fileName();
    }
    for (const std::string& o : options)
        args << QString::fromStdString(o);

    proc_ = std::make_unique<QProcess>();
    proc_->setStandardErrorFile(dir_->filePath("stderr.txt"));
    proc_->start(QStringLiteral(QX_SIM_PATH), args);
    const std::string first = proc_->waitForStarted(5000) ? readLine(5000) : std::string();
    if (first.rfind("PTY ", 0) != 0) {
        QFile err(dir_->filePath("stderr.txt"));
        err.open(QIODevice::ReadOnly);
        error_ = "simulator did not come up: " + proc_->errorString().toStdString() + " "
            + err.readAll().toStdString();
        stop();
        return false;
    }
    pty_ = first.substr(4);
    return true;
}

void SimProcess::stop()
{
    if (proc_) {
        proc_->closeWriteChannel();
        proc_->terminate();
        if (!proc_->waitForFinished(3000))
            proc_->kill(), proc_->waitForFinished(3000);
    }
    proc_.reset();
    dir_.reset();
    pty_.clear();
}

void SimProcess::bindCom(int n) const
{
    qputenv(("QUINREX3_COM" + std::to_string(n)).c_str(), QByteArray::fromStdString(pty_));
}

std::string SimProcess::readLine(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (proc_ && !proc_->canReadLine()) {
        if (deadline.hasExpired() || !proc_->waitForReadyRead(int(deadline.remainingTime())))
            return {};
    }
    return proc_ ? proc_->readLine().trimmed().toStdString() : std::string();
}

std::string SimProcess::command(const std::string& statement, int timeoutMs)
{
    if (!proc_ || proc_->write(QByteArray::fromStdString(statement + "\n")) < 0 || !proc_->waitForBytesWritten(timeoutMs))
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

// Log lines: "<seconds> RX|TX <hex bytes> [| <remark>]" or "<seconds> -- <note>".
std::vector<QByteArray> SimProcess::frames(const char* kind) const
{
    std::vector<QByteArray> out;
    QFile f(dir_ ? dir_->filePath("sim.log") : QString());
    if (!f.open(QIODevice::ReadOnly))
        return out;
    std::istringstream in(f.readAll().toStdString());
    std::string line, time, k, w;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        if (!(words >> time >> k) || k != kind)
            continue;
        QByteArray bytes;
        while (words >> w && w != "|")
            bytes.append(char(std::stoul(w, nullptr, 16)));
        out.push_back(bytes);
    }
    return out;
}

void SimProcess::clearLog() const
{
    QFile f(dir_ ? dir_->filePath("sim.log") : QString());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
}
