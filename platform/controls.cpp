#include "platform/controls.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace color {
QColor toQColor(quint32 c)
{
    if (c & 0x80000000u) {
        // System colours: only the button face is used by the program.
        return QApplication::palette().color(QPalette::Button);
    }
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
} // namespace color

Shape::Shape(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setMinimumSize(16, 16);
}

void Shape::setFillColor(quint32 c)
{
    fill_ = c;
    update();
}

void Shape::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    p.fillRect(rect(), color::toQColor(fill_));
    p.end();
    QFrame::paintEvent(e);
}

CommandButton::CommandButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

QRect CommandButton::captionRect() const
{
    QStyleOptionButton opt;
    initStyleOption(&opt);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this).adjusted(2, 0, -2, 0);
}

QFont CommandButton::captionFont() const
{
    QFont f = font();
    const qreal designed = f.pointSizeF();
    if (designed <= 0)
        return f; // a face sized in pixels is drawn as set
    const QRect room = captionRect();
    const QString text = captionText();
    constexpr qreal kStep = 0.5;
    for (qreal size = designed;; size -= kStep) {
        f.setPointSizeF(size);
        const QSize need = QFontMetrics(f).boundingRect(room, kCaptionFlags, text).size();
        if ((need.width() <= room.width() && need.height() <= room.height()) || size - kStep < designed * 0.75)
            return f;
    }
}

void CommandButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    p.setFont(captionFont());
    p.drawItemText(captionRect(), kCaptionFlags, opt.palette, isEnabled(), captionText(), QPalette::ButtonText);
}

Timer::Timer(int intervalMs, std::function<void()> onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick))
{
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

void Timer::setEnabled(bool on)
{
    enabled_ = on;
    if (on)
        timer_.start();
    else
        timer_.stop();
}

void Timer::setInterval(int ms)
{
    timer_.setInterval(ms);
    if (enabled_)
        timer_.start();
}

namespace Screen {
namespace {
int gPointer = Default;
}
void setMousePointer(int p)
{
    if (p == gPointer)
        return;
    if (gPointer == Hourglass && QGuiApplication::instance())
        QGuiApplication::restoreOverrideCursor();
    gPointer = p;
    if (p == Hourglass && QGuiApplication::instance())
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}
int mousePointer() { return gPointer; }
} // namespace Screen
