#include "platform/boxtext.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <cmath>

namespace mb {

BoxText::BoxText(const QString& text, QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("boxText"));
    setTextFormat(Qt::PlainText);
    setText(text);
    // Read whole: a label's own name drops its ampersands.
    setAccessibleName(text);
    // The selection is the label's own, and so is the focus a click gives
    // it; Tab leaves it to the buttons.
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

BoxText::~BoxText() = default;

namespace {
// The widest a line of the text may be before it wraps: a box is at most
// about half the screen wide, its icon and margins taken off.
int columnWidth(const QWidget* on)
{
    const QScreen* screen = on->screen() ? on->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    return std::max(120, std::min(screenWidth / 2, 500) - 80);
}
} // namespace

qreal BoxText::layOut(int width) const
{
    if (width == laidOutWidth_)
        return laidOutHeight_;
    paragraphs_.clear();
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(layoutDirection());
    qreal y = 0;
    qsizetype start = 0;
    for (const QString& part : text().split(QLatin1Char('\n'))) {
        auto layout = std::make_unique<QTextLayout>(part, font(), const_cast<BoxText*>(this));
        layout->setTextOption(option);
        layout->setCacheEnabled(true);
        layout->beginLayout();
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        layout->endLayout();
        paragraphs_.push_back(Paragraph{start, std::move(layout)});
        start += part.size() + 1;
    }
    laidOutWidth_ = width;
    laidOutHeight_ = y;
    return y;
}

int BoxText::naturalWidth() const
{
    const QFontMetricsF metrics(font(), const_cast<BoxText*>(this));
    qreal widest = 0;
    for (const QString& part : text().split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(part));
    return int(std::ceil(widest));
}

int BoxText::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    return int(std::ceil(layOut(std::max(1, width - m.left() - m.right())))) + m.top() + m.bottom();
}

QSize BoxText::sizeHint() const
{
    const QMargins m = contentsMargins();
    const int width = std::min(naturalWidth(), columnWidth(this)) + m.left() + m.right();
    return QSize(width, heightForWidth(width));
}

// The box is as wide as its text needs, up to a column: Qt's box takes its
// width from what its contents need at least.
QSize BoxText::minimumSizeHint() const { return sizeHint(); }

QStringList BoxText::shownLines() const
{
    layOut(contentsRect().width());
    QStringList lines;
    for (const Paragraph& p : paragraphs_)
        for (int i = 0; i < p.layout->lineCount(); ++i) {
            const QTextLine line = p.layout->lineAt(i);
            lines << p.layout->text().mid(line.textStart(), line.textLength());
        }
    return lines;
}

void BoxText::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    layOut(area.width());
    painter.setPen(palette().color(foregroundRole()));
    const qsizetype from = std::min(anchor_, cursor_), to = std::max(anchor_, cursor_);
    for (const Paragraph& p : paragraphs_) {
        QList<QTextLayout::FormatRange> selection;
        const qsizetype end = p.start + p.layout->text().size();
        if (from < to && from <= end && to > p.start) {
            QTextLayout::FormatRange range;
            range.start = int(std::max(from, p.start) - p.start);
            range.length = int(std::min(to, end) - p.start) - range.start;
            range.format.setBackground(palette().brush(QPalette::Highlight));
            range.format.setForeground(palette().brush(QPalette::HighlightedText));
            selection << range;
        }
        p.layout->draw(&painter, area.topLeft(), selection);
    }
}

qsizetype BoxText::positionAt(const QPoint& at) const
{
    const QRect area = contentsRect();
    layOut(area.width());
    const QPointF point = at - area.topLeft();
    if (point.y() < 0)
        return 0;
    for (const Paragraph& p : paragraphs_) {
        for (int i = 0; i < p.layout->lineCount(); ++i) {
            const QTextLine line = p.layout->lineAt(i);
            if (point.y() < line.y() + line.height())
                return p.start + line.xToCursor(point.x());
        }
    }
    return text().size();
}

void BoxText::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    anchor_ = cursor_ = positionAt(e->position().toPoint());
    update();
}

void BoxText::mouseMoveEvent(QMouseEvent* e)
{
    if (!(e->buttons() & Qt::LeftButton)) {
        e->ignore();
        return;
    }
    cursor_ = positionAt(e->position().toPoint());
    update();
}

// A double click takes the run between blanks: a path or a number whole.
void BoxText::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    const QString all = text();
    const auto inRun = [&](qsizetype i) { return !all[i].isSpace(); };
    qsizetype start = positionAt(e->position().toPoint()), end = start;
    while (start > 0 && inRun(start - 1))
        --start;
    while (end < all.size() && inRun(end))
        ++end;
    anchor_ = start;
    cursor_ = end;
    update();
}

QString BoxText::selectedText() const
{
    return text().mid(std::min(anchor_, cursor_), std::abs(cursor_ - anchor_));
}

void BoxText::selectAll()
{
    anchor_ = 0;
    cursor_ = text().size();
    update();
}

void BoxText::copySelection() const
{
    if (hasSelectedText())
        QGuiApplication::clipboard()->setText(selectedText());
}

void BoxText::keyPressEvent(QKeyEvent* e)
{
    // Copy without a selection is the box's: it copies its whole text.
    if (e->matches(QKeySequence::Copy) && hasSelectedText()) {
        copySelection();
        return;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    e->ignore();
}

void BoxText::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("&Copy"), this, [this] { copySelection(); });
    copy->setEnabled(hasSelectedText());
    menu.addAction(QStringLiteral("Select All"), this, [this] { selectAll(); });
    menu.exec(e->globalPos());
}

void BoxText::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange || e->type() == QEvent::LayoutDirectionChange) {
        laidOutWidth_ = -1;
        updateGeometry();
    }
    QLabel::changeEvent(e);
}

} // namespace mb
