#include "platform/app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace App {
namespace {
QString gPath;
QString gExeName;
QString gCommandLine;
int gPrevOverride = -1;
std::function<void(int)> gEndHandler;
int gPrevInstance = -1;
int gExitStatus = 0;

// A folder only this user can reach: the runtime folder when it is one of
// ours, else <temp>/quinrex3-<uid> made (or found) with mode 0700 and owned
// by us. "" when neither can be had: a folder someone else made, a link, an
// unwritable temporary folder.
QString privateFolder()
{
    const auto ours = [](const QByteArray& dir, bool fix) {
        struct stat st {};
        if (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            return false;
        if ((st.st_mode & 077) != 0 && (!fix || ::chmod(dir.constData(), 0700) != 0))
            return false;
        return ::access(dir.constData(), W_OK | X_OK) == 0;
    };
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && ours(runtime, false))
        return QFile::decodeName(runtime);
    const QByteArray own = QFile::encodeName(QDir::tempPath()) + "/quinrex3-" + QByteArray::number(::geteuid());
    ::mkdir(own.constData(), 0700);
    return ours(own, true) ? QFile::decodeName(own) : QString();
}

// ---- the end, however it comes ----
std::array<void (*)(), 8> gAtEnd{};
volatile sig_atomic_t gAtEndCount = 0;

void runAtEnd()
{
    for (sig_atomic_t i = 0; i < gAtEndCount; ++i)
        gAtEnd[std::size_t(i)]();
}

void endBySignal(int sig)
{
    runAtEnd();
    std::signal(sig, SIG_DFL);
    ::raise(sig);
}
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
        gPrevInstance = 0;
        // One lock per program file: another copy of the same executable holds it.
        const QString exe = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                         : QStringLiteral("Quinrex3");
        const QString key = QString::fromLatin1(
            QCryptographicHash::hash(exe.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
        const QString dir = privateFolder();
        if (!dir.isEmpty()) {
            const QByteArray name = QFile::encodeName(dir + QStringLiteral("/quinrex3-") + key + QStringLiteral(".lock"));
            // Kept open for the whole run (and not handed to programs it starts).
            const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                gPrevInstance = errno == EWOULDBLOCK ? 1 : 0;
                ::close(fd);
            }
        }
    }
    return gPrevInstance == 1;
}

void setPrevInstanceOverride(int value) { gPrevOverride = value; }

QString commandLine() { return gCommandLine; }
void setCommandLine(const QString& text) { gCommandLine = text; }

void ignoreDesktopSettings() { QGuiApplication::setDesktopSettingsAware(false); }

namespace {
// Fusion, with the answers it would otherwise take from the platform theme
// even though the desktop's settings are ignored. A dialog's button order
// is the theme's, and a theme that keeps the desktop's settings to itself
// then (qt6ct) answers with whatever its unread setting holds: an order
// that lays out no button at all, so that a box's buttons lie on top of one
// another and a click answers the wrong one or none, or one out of range,
// which brings the program down as the box is made. Whether standard
// buttons wear icons is the theme's too (Qt's own desktop theme says yes),
// and changes their height and so the box's. The program's boxes have
// their buttons in its own order, left to right, without icons, under
// every desktop.
class DesignStyle : public QProxyStyle {
public:
    explicit DesignStyle(QStyle* base) : QProxyStyle(base) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        switch (hint) {
        case SH_DialogButtonLayout: return QDialogButtonBox::WinLayout;
        case SH_DialogButtonBox_ButtonsHaveIcons: return 0;
        default: return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    }
};
} // namespace

void useDesignLook()
{
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (!fusion)
        return;
    QApplication::setStyle(new DesignStyle(fusion));
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

QString commandLineOf(const QStringList& arguments)
{
    QStringList quoted = arguments;
    for (QString& a : quoted)
        if (a.isEmpty() || a.contains(QLatin1Char(' ')))
            a = QLatin1Char('"') + a + QLatin1Char('"');
    return quoted.join(QLatin1Char(' '));
}

void end(int code)
{
    if (code == 0)
        code = gExitStatus;
    if (gEndHandler)
        gEndHandler(code);
    // Immediate: no window's unload handler runs and nothing more is saved.
    // Log lines are flushed as they are written, so nothing is lost here.
    runAtEnd();
    std::fflush(nullptr);
    ::_exit(code);
}

void setEndHandler(std::function<void(int)> handler) { gEndHandler = std::move(handler); }

int exitStatus() { return gExitStatus; }
void setExitStatus(int status) { gExitStatus = status; }

void atEnd(void (*routine)())
{
    for (sig_atomic_t i = 0; i < gAtEndCount; ++i)
        if (gAtEnd[std::size_t(i)] == routine)
            return;
    if (std::size_t(gAtEndCount) == gAtEnd.size())
        return;
    if (gAtEndCount == 0) {
        std::atexit(&runAtEnd);
        // Signals that would end the program without a word; one that is
        // ignored (nohup) stays ignored.
        for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) {
                struct sigaction sa {};
                sa.sa_handler = &endBySignal;
                sigemptyset(&sa.sa_mask);
                ::sigaction(sig, &sa, nullptr);
            }
        }
    }
    gAtEnd[std::size_t(gAtEndCount)] = routine;
    gAtEndCount = gAtEndCount + 1;
}

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
