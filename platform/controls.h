#pragma once
// Small controls the forms share: a lamp (shape with a fill colour), a timer
// with Enabled/Interval, and control arrays indexed by number.
#include <QFrame>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <map>

#include "platform/rterror.h"

namespace color {
// Colours as the program stores them: &HBBGGRR, or a system colour.
constexpr quint32 Green = 0x00FF00;
constexpr quint32 Red = 0x0000FF;
constexpr quint32 Yellow = 0x00FFFF;
constexpr quint32 White = 0xFFFFFF;
constexpr quint32 ButtonFace = 0x8000000F;
QColor toQColor(quint32 c);
} // namespace color

// A filled rectangle (a status lamp).
class Shape : public QFrame {
    Q_OBJECT
public:
    explicit Shape(QWidget* parent = nullptr);
    void setFillColor(quint32 c);
    quint32 fillColor() const { return fill_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    quint32 fill_ = color::ButtonFace;
};

// A push button whose caption wraps over several lines when it does not fit
// on one, as the program's tall menu buttons expect ("   &Configure   Instrument").
// Runs of blanks in the caption count as one: they only steer where the
// caption breaks. A caption that still does not fit (a word wider than the
// button, more lines than its height holds) is drawn in a smaller size of the
// button's face, down to three quarters of it, so it is read whole.
class CommandButton : public QPushButton {
    Q_OBJECT
public:
    explicit CommandButton(const QString& caption, QWidget* parent = nullptr);

    // How the caption is drawn: the text as laid out, the area it is drawn
    // in and the drawing flags (layout checks use the same rule).
    static constexpr int kCaptionFlags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    QString captionText() const { return text().simplified(); }
    QRect captionRect() const;
    QFont captionFont() const;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A timer created disabled; the tick handler is a plain function so tests can
// call it directly.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(int intervalMs, std::function<void()> onTick, QObject* parent = nullptr);
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }
    void setInterval(int ms);
    int interval() const { return timer_.interval(); }
    void tick() { if (onTick_) onTick_(); }

private:
    QTimer timer_;
    std::function<void()> onTick_;
    bool enabled_ = false;
};

// Controls indexed by number (a register number, a controller group). Reaching
// an element that does not exist is run-time error 340.
template <class T>
class ControlArray {
public:
    void add(int index, T* control) { items_[index] = control; }
    bool exists(int index) const { return items_.count(index) != 0; }
    T* operator()(int index) const
    {
        auto it = items_.find(index);
        if (it == items_.end())
            rt::raise(rt::ErrControlArrayElement);
        return it->second;
    }
    const std::map<int, T*>& items() const { return items_; }
    int lBound() const { return items_.empty() ? 0 : items_.begin()->first; }
    int uBound() const { return items_.empty() ? -1 : items_.rbegin()->first; }
    void clear() { items_.clear(); }

private:
    std::map<int, T*> items_;
};

// The screen's mouse pointer: normal or hourglass.
namespace Screen {
enum Pointer { Default = 0, Hourglass = 11 };
void setMousePointer(int p);
int mousePointer();
} // namespace Screen
