#include "platform/app.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace App {
namespace {
QString gPath;
QString gExeName;
QString gCommandLine;
int gPrevOverride = -1;
std::function<void(int)> gEndHandler;
std::unique_ptr<QLockFile> gInstanceLock;
int gPrevInstance = -1;
} // namespace

QString path()
{
    if (gPath.isEmpty() && QCoreApplication::instance())
        gPath = QCoreApplication::applicationDirPath();
    return gPath;
}

void setPath(const QString& folder) { gPath = QDir::cleanPath(folder); }

QString file(const QString& name) { return path() + QLatin1Char('/') + name; }

QString exeName()
{
    if (gExeName.isEmpty()) {
        // argv[0] rather than the resolved executable, so that a link named
        // after the private-label edition starts that edition.
        const QStringList args = QCoreApplication::arguments();
        gExeName = args.isEmpty() ? QStringLiteral("Quinrex3") : QFileInfo(args.first()).completeBaseName();
    }
    return gExeName;
}

void setExeName(const QString& name) { gExeName = name; }

int major() { return QX_VERSION_MAJOR; }
int minor() { return QX_VERSION_MINOR; }
int revision() { return QX_VERSION_REVISION; }

bool prevInstance()
{
    if (gPrevOverride >= 0)
        return gPrevOverride != 0;
    if (gPrevInstance < 0) {
        // One lock per program file: another copy of the same executable holds it.
        const QString exe = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                         : QStringLiteral("Quinrex3");
        const QString key = QString::fromLatin1(
            QCryptographicHash::hash(exe.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
        gInstanceLock = std::make_unique<QLockFile>(dir + QStringLiteral("/quinrex3-") + key + QStringLiteral(".lock"));
        gInstanceLock->setStaleLockTime(0);
        gPrevInstance = gInstanceLock->tryLock(0) ? 0 : 1;
    }
    return gPrevInstance == 1;
}

void setPrevInstanceOverride(int value) { gPrevOverride = value; }

QString commandLine() { return gCommandLine; }
void setCommandLine(const QString& text) { gCommandLine = text; }

void end(int code)
{
    if (gEndHandler)
        gEndHandler(code);
    // Immediate: no window's unload handler runs and nothing more is saved.
    // Log lines are flushed as they are written, so nothing is lost here.
    std::fflush(nullptr);
    ::_exit(code);
}

void setEndHandler(std::function<void(int)> handler) { gEndHandler = std::move(handler); }

} // namespace App
