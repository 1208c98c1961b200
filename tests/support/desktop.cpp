#include "desktop.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>
#include <gtest/gtest.h>

#include "captions.h"
#include "platform/app.h"
#include "platform/form.h"

namespace {

// The colours of qt6ct's "darker" scheme: light text on dark grounds.
QPalette darkScheme()
{
    QPalette p(QColor(0x42, 0x42, 0x45), QColor(0x30, 0x30, 0x30));
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        {QPalette::WindowText, Qt::white},           {QPalette::Button, QColor(0x42, 0x42, 0x45)},
        {QPalette::Light, QColor(0x97, 0x97, 0x97)}, {QPalette::Midlight, QColor(0x5e, 0x5c, 0x64)},
        {QPalette::Dark, QColor(0x30, 0x30, 0x30)},  {QPalette::Mid, QColor(0x4a, 0x4a, 0x4f)},
        {QPalette::Text, Qt::white},                 {QPalette::BrightText, Qt::white},
        {QPalette::ButtonText, Qt::white},           {QPalette::Base, QColor(0x2a, 0x2a, 0x2a)},
        {QPalette::Window, QColor(0x42, 0x42, 0x45)}, {QPalette::Shadow, Qt::black},
        {QPalette::Highlight, QColor(0x12, 0x60, 0x8a)}, {QPalette::HighlightedText, Qt::white},
        {QPalette::AlternateBase, QColor(0x3a, 0x3a, 0x3a)}, {QPalette::ToolTipBase, QColor(0x35, 0x35, 0x35)},
        {QPalette::ToolTipText, Qt::white},          {QPalette::PlaceholderText, QColor(0xa0, 0xa0, 0xa0)},
    };
    for (const auto& [role, colour] : roles)
        p.setColor(role, colour);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

void giveDesktop(const QPalette& palette, double points)
{
    QApplication::setPalette(palette);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    QApplication::setFont(f);
}

} // namespace

const std::vector<Desktop>& everyDesktop()
{
    static const std::vector<Desktop> all = {
        {"light-9pt", false, 9}, {"dark-8pt", true, 8}, {"dark-10pt", true, 10},
        {"dark-11pt", true, 11}, {"dark-12pt", true, 12},
    };
    return all;
}

OnDesktop::OnDesktop(const Desktop& d)
{
    giveDesktop(d.dark ? darkScheme() : QApplication::style()->standardPalette(), d.points);
    App::useDesignLook();
}

OnDesktop::~OnDesktop() { App::useDesignLook(); }

void ReadableOnEveryDesktop::run(const std::function<void()>& show)
{
    for (const Desktop& d : everyDesktop()) {
        SCOPED_TRACE(d.name);
        const OnDesktop desktop(d);
        Forms::discardAll();
        on_ = &d;
        show();
    }
    on_ = nullptr;
}

void ReadableOnEveryDesktop::expect(QWidget* form, const QString& name)
{
    ASSERT_TRUE(on_) << "expect() belongs inside run()";
    const Desktop& on = *on_;
    const QString shot = name + QLatin1Char('-') + QLatin1String(on.name);
    expectCaptionsFit(form, shot);
    for (const TextContrast& t : textContrasts(form)) {
        const QString key = name + QLatin1Char(' ') + t.control;
        const auto said = [&] {
            return QStringLiteral("%1 on %2: %3 on %4, %5:1")
                .arg(t.control, shot, t.text.name(), t.ground.name())
                .arg(t.ratio, 0, 'f', 2)
                .toStdString();
        };
        if (t.enabled)
            EXPECT_GE(t.ratio, 2.0) << said();
        if (!on.dark) {
            reference_[key] = t.ratio;
            continue;
        }
        const auto ref = reference_.constFind(key);
        if (ref != reference_.cend())
            EXPECT_GE(t.ratio + 0.01, *ref) << said() << " (light: " << *ref << ":1)";
    }
}
