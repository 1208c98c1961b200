#include "platform/app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QLockFile>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
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

void useDesignLook()
{
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (!fusion)
        return;
    QApplication::setStyle(fusion);
    // Every role of every group set, so that nothing falls back to the
    // desktop's scheme (nor follows it when the desktop changes scheme).
    const QPalette standard = fusion->standardPalette();
    QPalette light;
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const auto group = QPalette::ColorGroup(g);
            const auto role = QPalette::ColorRole(r);
            if (role == QPalette::NoRole)
                continue;
            light.setBrush(group, role, standard.brush(group, role));
        }
    QApplication::setPalette(light);
    QFont text(QStringLiteral("DejaVu Sans"));
    text.setStyleHint(QFont::SansSerif);
    text.setPointSizeF(9);
    QApplication::setFont(text);
}

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

QIcon icon()
{
    static const QIcon drawn = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64}) {
            QPixmap p(size, size);
            p.fill(Qt::transparent);
            QPainter g(&p);
            g.setRenderHint(QPainter::Antialiasing);
            g.scale(size / 32.0, size / 32.0);
            g.setPen(Qt::NoPen);
            g.setBrush(QColor(192, 64, 0));
            g.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
            g.setPen(QPen(Qt::white, 1.5));
            g.drawLine(QPointF(6, 25), QPointF(26, 25));
            QPainterPath trend(QPointF(6, 21));
            for (const QPointF pt : {QPointF(11, 14), QPointF(15, 17), QPointF(20, 8), QPointF(26, 11)})
                trend.lineTo(pt);
            g.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            g.setBrush(Qt::NoBrush);
            g.drawPath(trend);
            g.end();
            i.addPixmap(p);
        }
        return i;
    }();
    return drawn;
}

} // namespace App
