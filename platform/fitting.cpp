#include "platform/fitting.h"

#include <QComboBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>
#include <numeric>
#include <vector>

#include "platform/controls.h"

namespace ctl {
namespace {

constexpr int kGap = 2;          // pixels kept free before a neighbour
constexpr qreal kSmallest = 6.0; // points: the smallest font a text is shrunk to

// Whether two controls stand in one row: lists a little taller than the row
// pitch touch the next row's controls without sharing the row.
bool sameRow(const QRect& a, const QRect& b)
{
    return std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) >= 3;
}

// The other controls of `w`'s parent that stand in its row.
std::vector<QWidget*> rowOf(const QWidget* w)
{
    std::vector<QWidget*> row;
    for (QObject* o : w->parentWidget()->children()) {
        auto* n = qobject_cast<QWidget*>(o);
        if (n && n != w && !n->isWindow() && sameRow(n->geometry(), w->geometry()))
            row.push_back(n);
    }
    return row;
}

int advance(const QFont& font, const QString& text) { return QFontMetrics(font).horizontalAdvance(text); }

int widestItem(const QComboBox* list, const QFont& font)
{
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, advance(font, list->itemText(i)));
    return widest;
}

// Where a label's text begins and ends within its parent: a caption's blank
// part is room for a neighbour.
std::pair<int, int> textSpan(const QLabel* l)
{
    const QRect g = l->geometry();
    const int w = std::min(g.width(), advance(l->font(), l->text()));
    if (l->alignment() & Qt::AlignRight)
        return {g.right() + 1 - w, g.right() + 1};
    if (l->alignment() & Qt::AlignHCenter)
        return {g.center().x() - w / 2, g.center().x() + (w + 1) / 2};
    return {g.left(), g.left() + w};
}

// Shrinks `w`'s font until `fits` holds for it, down to the smallest size.
template <class Fits>
void shrinkFont(QWidget* w, Fits fits)
{
    QFont f = w->font();
    while (!fits(f) && f.pointSizeF() - 0.25 >= kSmallest)
        f.setPointSizeF(f.pointSizeF() - 0.25);
    w->setFont(f);
}

} // namespace

int listTextRoom(const QComboBox* list)
{
    QStyleOptionComboBox opt;
    opt.initFrom(list);
    opt.editable = list->isEditable();
    opt.frame = list->hasFrame();
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, list);
    constexpr int kInset = 1; // each side, where the style draws the chosen item
    constexpr int kClear = 1;
    return field.width() - 2 * kInset - kClear;
}

void fitList(QComboBox* list)
{
    QWidget* parent = list->parentWidget();
    if (!parent)
        return;
    list->ensurePolished();
    // Fitted from its own size each time: a list refilled with shorter items
    // takes its full size again.
    if (const QVariant own = list->property("qxOwnFont"); own.isValid())
        list->setFont(own.value<QFont>());
    else
        list->setProperty("qxOwnFont", list->font());
    const int chrome = list->width() - listTextRoom(list);
    const int need = list->count() ? widestItem(list, list->font()) + chrome : 0;
    QRect r = list->geometry();
    if (need <= r.width())
        return;

    // The room on the right, and the caption in front, in the list's row.
    int limit = parent->width();
    QLabel* caption = nullptr;
    for (QWidget* w : rowOf(list)) {
        const QRect g = w->geometry();
        auto* l = qobject_cast<QLabel*>(w);
        const auto [begins, ends] = l ? textSpan(l) : std::pair{g.left(), g.right() + 1};
        if (begins >= r.left())
            limit = std::min(limit, begins - kGap);
        else if (l && ends <= r.left() && (l->alignment() & Qt::AlignRight) &&
                 (!caption || g.right() > caption->geometry().right()))
            caption = l;
    }
    r.setWidth(std::max(r.width(), std::min(need, limit - r.left())));
    if (caption && r.width() < need) {
        const int slack = textSpan(caption).first - caption->x() - kGap;
        const int shift = std::clamp(need - r.width(), 0, std::max(0, slack));
        caption->resize(caption->width() - shift, caption->height());
        r.adjust(-shift, 0, 0, 0);
    }
    list->setGeometry(r);
    const int room = r.width() - chrome;
    shrinkFont(list, [&](const QFont& f) { return widestItem(list, f) <= room; });
}

void evenListFonts(QWidget* parent)
{
    std::vector<QComboBox*> lists;
    for (QObject* o : parent->children())
        if (auto* l = qobject_cast<QComboBox*>(o))
            lists.push_back(l);
    // Columns: lists joined by overlapping spans, one group per column.
    std::vector<std::size_t> column(lists.size());
    std::iota(column.begin(), column.end(), std::size_t(0));
    auto root = [&](std::size_t i) {
        while (column[i] != i)
            i = column[i] = column[column[i]];
        return i;
    };
    for (std::size_t i = 0; i < lists.size(); ++i)
        for (std::size_t j = i + 1; j < lists.size(); ++j) {
            const QRect a = lists[i]->geometry(), b = lists[j]->geometry();
            if (a.left() <= b.right() && b.left() <= a.right())
                column[root(j)] = root(i);
        }
    std::vector<qreal> smallest(lists.size(), 1e9);
    for (std::size_t i = 0; i < lists.size(); ++i)
        smallest[root(i)] = std::min(smallest[root(i)], lists[i]->font().pointSizeF());
    for (std::size_t i = 0; i < lists.size(); ++i) {
        QFont f = lists[i]->font();
        if (f.pointSizeF() > smallest[root(i)]) {
            f.setPointSizeF(smallest[root(i)]);
            lists[i]->setFont(f);
        }
    }
}

void evenCaptionFonts(const std::vector<CommandButton*>& row)
{
    qreal smallest = 1e9;
    for (const CommandButton* b : row)
        smallest = std::min(smallest, b->captionFont().pointSizeF());
    for (CommandButton* b : row) {
        QFont f = b->font();
        if (smallest > 0 && f.pointSizeF() != smallest) {
            f.setPointSizeF(smallest);
            b->setFont(f);
        }
    }
}

void fitCentred(QLabel* label)
{
    QWidget* parent = label->parentWidget();
    if (!parent)
        return;
    const int need = advance(label->font(), label->text()) + 2 * label->margin();
    QRect r = label->geometry();
    if (need > r.width()) {
        // The free room of its row, between the controls either side.
        int left = 0, right = parent->width();
        for (QWidget* w : rowOf(label)) {
            const QRect g = w->geometry();
            if (g.center().x() < r.center().x())
                left = std::max(left, g.right() + 1 + kGap);
            else
                right = std::min(right, g.left() - kGap);
        }
        const int width = std::min(need, right - left);
        const int x = std::clamp(r.center().x() - width / 2, left, right - width);
        r = QRect(x, r.y(), width, r.height());
        label->setGeometry(r);
    }
    shrinkFont(label, [&](const QFont& f) { return advance(f, label->text()) + 2 * label->margin() <= r.width(); });
}

} // namespace ctl
