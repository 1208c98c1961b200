#include "platform/tabstrip.h"

#include <QStackedWidget>
#include <QTabBar>

#include "platform/controls.h"
#include "platform/rterror.h"
#include "platform/twips.h"

TabStrip::TabStrip(QWidget* parent, const QStringList& captions) : QWidget(parent)
{
    bar_ = new QTabBar(this);
    bar_->setExpanding(false);
    bar_->setDrawBase(true);
    stack_ = new QStackedWidget(this);
    stack_->setFrameShape(QFrame::StyledPanel);
    for (const QString& c : captions) {
        bar_->addTab(c);
        stack_->addWidget(new QWidget);
    }
    // The strip and its pages are drawn in the button face, whatever the
    // window they stand on is drawn in.
    ctl::setBackColor(this, color::ButtonFace);
    current_ = captions.isEmpty() ? -1 : 0;
    connect(bar_, &QTabBar::currentChanged, this, [this](int i) {
        const int previous = current_;
        current_ = i;
        stack_->setCurrentIndex(i);
        if (previous != i && Click)
            ctl::guard(window(), ctl::routineName(this, "Click"), [&] { Click(previous); });
    });
}

void TabStrip::check(int i) const
{
    if (i < 0 || i >= Tabs())
        rt::raise(rt::ErrInvalidPropertyValue);
}

int TabStrip::Tab() const { return current_; }

void TabStrip::setTab(int i)
{
    check(i);
    bar_->setCurrentIndex(i);
}

int TabStrip::Tabs() const { return bar_->count(); }

bool TabStrip::TabEnabled(int i) const
{
    check(i);
    return bar_->isTabEnabled(i);
}

void TabStrip::setTabEnabled(int i, bool on)
{
    check(i);
    // QTabBar moves away from a tab that is disabled; the strip keeps the
    // current tab where it is, and only the user is kept off disabled tabs.
    const bool block = bar_->blockSignals(true);
    bar_->setTabEnabled(i, on);
    bar_->setCurrentIndex(current_);
    bar_->blockSignals(block);
    stack_->setCurrentIndex(current_);
}

QWidget* TabStrip::page(int i) const
{
    check(i);
    return stack_->widget(i);
}

void TabStrip::setTabHeight(int twips)
{
    tabHeight_ = tw::px(twips);
    bar_->setStyleSheet(QStringLiteral("QTabBar::tab { height: %1px; }").arg(qMax(1, tabHeight_ - 4)));
    layoutPages();
}

void TabStrip::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    layoutPages();
}

void TabStrip::layoutPages()
{
    const int h = tabHeight_ > 0 ? tabHeight_ : bar_->sizeHint().height();
    bar_->setGeometry(0, 0, width(), h);
    stack_->setGeometry(0, h, width(), qMax(0, height() - h));
}
