#pragma once
// What a benchmark of the program's screens starts with: offscreen windows
// (unless QT_QPA_PLATFORM names another platform, e.g. under scripts/with-wm),
// a program folder of its own and the shared state as at the program's start.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "core/state.h"
#include "platform/app.h"

class BenchProgram {
public:
    BenchProgram(int& argc, char** argv) : app_(argc, argv)
    {
        App::useDesignLook();
        App::setPath(dir_.path());
        modZarn::ResetSharedState();
    }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    // Set before the application object exists, which picks the platform
    // and takes the desktop's settings unless told not to.
    struct Offscreen {
        Offscreen()
        {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            App::ignoreDesktopSettings();
        }
    } offscreen_;
    QApplication app_;
    QTemporaryDir dir_;
};

// One of the process's memory figures in MB, as "VmRSS" (-1 where the
// system does not tell).
inline double memoryMB(const QByteArray& figure)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(figure + ':'))
            return line.mid(figure.size() + 1).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

// The process's resident memory in MB.
inline double residentMB() { return memoryMB("VmRSS"); }
