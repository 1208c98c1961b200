#include "support/simulator.h"

#include <QFile>

SimProcess::SimProcess(const QStringList& instruments)
{
    QFile line(dir_.filePath(QStringLiteral("line.txt")));
    if (!line.open(QIODevice::WriteOnly))
        return;
    line.write(instruments.join(QLatin1Char('\n')).toUtf8() + '\n');
    line.close();
    proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc_.start(QStringLiteral(QX_SIM_PATH),
                {QStringLiteral("--log"), dir_.filePath(QStringLiteral("requests.log")), line.fileName()});
    if (!proc_.waitForStarted(5000))
        return;
    while (!proc_.canReadLine() && proc_.waitForReadyRead(5000)) {
    }
    path_ = QString::fromLocal8Bit(proc_.readLine()).trimmed();
}

SimProcess::~SimProcess()
{
    // The simulator ends when its standard input closes.
    proc_.closeWriteChannel();
    if (!proc_.waitForFinished(2000)) {
        proc_.kill();
        proc_.waitForFinished(2000);
    }
}

QStringList SimProcess::requests() const
{
    QFile f(dir_.filePath(QStringLiteral("requests.log")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
