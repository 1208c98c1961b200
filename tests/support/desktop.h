#pragma once
// The desktops a screen must read well on: a light scheme at the common
// font size, and a dark scheme (as qt6ct's "darker") at each desktop font
// size from 8 to 12 points. A scheme is handed to the program as the
// platform theme does, before the program's start-up sets its own look.
#include <QMap>
#include <QString>
#include <functional>
#include <vector>

class QWidget;

struct Desktop {
    const char* name;
    bool dark;
    double points;
};

// The light reference first, then the dark ones.
const std::vector<Desktop>& everyDesktop();

// While it lives the application carries the desktop's palette and font,
// then the program's start-up look; afterwards the test default again.
class OnDesktop {
public:
    explicit OnDesktop(const Desktop& d);
    ~OnDesktop();
    OnDesktop(const OnDesktop&) = delete;
    OnDesktop& operator=(const OnDesktop&) = delete;
};

// Shows screens on each desktop in turn and checks what they show: no
// caption, item or title cut (the caption checker), and every text at a
// contrast no lower than on the light reference and, where the control is
// enabled, at least 2:1.
class ReadableOnEveryDesktop {
public:
    // Runs `show` once per desktop, from fresh windows; `show` builds its
    // screens and calls expect() on each.
    void run(const std::function<void()>& show);
    void expect(QWidget* form, const QString& name);

private:
    const Desktop* on_ = nullptr;
    // Contrast of each control under the light reference, by screen and place.
    QMap<QString, double> reference_;
};
