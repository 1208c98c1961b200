#include "captions.h"

#include "config/frmConfig.h"
#include "monitor/frmGraph.h"
#include "monitor/frmStatus.h"
#include "shell/frmFind.h"
#include "shell/frmMain.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTextDocumentFragment>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

#include "platform/controls.h"

namespace {

// The caption as shown: "&&" is one '&', a single '&' marks the access key
// and takes no room.
QString withoutMnemonic(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'&' && ++i == s.size())
            break;
        out += s[i];
    }
    return out;
}

// A caption laid out in the control: its text, the area the control draws it
// in and the drawing flags; `drawn`, when set, is where the style puts it.
struct Placement {
    QString text;
    QRect area;
    int flags = 0;
    std::optional<QRect> drawn;
    std::optional<QFont> font;
};

std::optional<Placement> placementOf(QWidget* w)
{
    if (auto* cb = qobject_cast<CommandButton*>(w))
        return Placement{withoutMnemonic(cb->captionText()), cb->captionRect(),
                         CommandButton::kCaptionFlags & ~Qt::TextShowMnemonic, {}, cb->captionFont()};
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.icon = b->icon();
        opt.iconSize = b->iconSize();
        QStyle::SubElement element;
        int flags;
        if (qobject_cast<QRadioButton*>(b)) {
            element = QStyle::SE_RadioButtonContents;
            flags = Qt::AlignLeft | Qt::AlignVCenter;
        } else if (qobject_cast<QCheckBox*>(b)) {
            element = QStyle::SE_CheckBoxContents;
            flags = Qt::AlignLeft | Qt::AlignVCenter;
        } else if (qobject_cast<QPushButton*>(b)) {
            element = QStyle::SE_PushButtonContents;
            flags = Qt::AlignCenter;
        } else {
            return std::nullopt; // tool buttons and the like carry no captions here
        }
        return Placement{withoutMnemonic(b->text()), b->style()->subElementRect(element, &opt, b), flags, {}};
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        QString text = l->text();
        if (l->textFormat() == Qt::RichText || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text)))
            text = QTextDocumentFragment::fromHtml(text).toPlainText();
        if (l->buddy())
            text = withoutMnemonic(text);
        const int m = l->margin();
        QRect area = l->contentsRect().adjusted(m, m, -m, -m);
        int indent = l->indent();
        if (indent < 0 && l->frameWidth() > 0)
            indent = QFontMetrics(l->font()).horizontalAdvance(u'x') / 2;
        if (indent > 0)
            area.adjust(indent, 0, -indent, 0);
        return Placement{text, area, int(l->alignment()) | (l->wordWrap() ? Qt::TextWordWrap : 0), {}};
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.lineWidth = 1;
        opt.textAlignment = g->alignment();
        opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        if (g->isCheckable())
            opt.subControls |= QStyle::SC_GroupBoxCheckBox;
        if (g->isFlat())
            opt.features |= QStyleOptionFrame::Flat;
        const QRect label = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        return Placement{withoutMnemonic(g->title()), g->rect(), 0, label};
    }
    return std::nullopt;
}

// The part of `w` not cut off by a frame or the form holding it, in w's own
// coordinates.
QRect visiblePart(QWidget* w, QWidget* form)
{
    const QPoint origin = w->mapTo(form, QPoint(0, 0));
    QRect visible(origin, w->size());
    for (QWidget* a = w->parentWidget(); a && a != form; a = a->parentWidget())
        visible &= QRect(a->mapTo(form, QPoint(0, 0)), a->size());
    visible &= form->rect();
    return visible.translated(-origin);
}

// A caption as laid out in its control, in the control's coordinates: the
// box the layout gives it, the ink that must be seen (a line box reaching a
// pixel past a low control, or a side bearing past its edge, hides nothing)
// and the ink in pieces: each run of non-blank characters of a one-line
// caption (its blanks may make room for a neighbour), else the whole block.
struct Laid {
    QString text;
    QRect drawn;
    QRect ink;
    std::vector<QRect> pieces;
};

std::optional<Laid> layOut(QWidget* w)
{
    const std::optional<Placement> p = placementOf(w);
    if (!p || p->text.trimmed().isEmpty())
        return std::nullopt;
    const QFontMetrics fm(p->font ? *p->font : w->font());
    Laid l{p->text, p->drawn ? *p->drawn : fm.boundingRect(p->area, p->flags, p->text), {}, {}};
    l.ink = l.drawn;
    if (p->drawn) { // a frame's title as its style places it
        l.pieces = {l.drawn};
        return l;
    }
    const bool oneLine = l.drawn.height() < 2 * fm.lineSpacing() && !l.text.contains(u'\n');
    const QRect tight = fm.tightBoundingRect(QString(l.text).replace(u'\n', u' '));
    if (!oneLine) {
        l.ink = l.drawn.adjusted(0, fm.ascent() + tight.top(), 0, tight.bottom() - fm.descent());
        l.pieces = {l.ink};
        return l;
    }
    l.ink = tight.translated(l.drawn.x(), l.drawn.y() + fm.ascent()) & l.drawn;
    for (qsizetype i = 0; i < l.text.size();) {
        if (l.text[i].isSpace()) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < l.text.size() && !l.text[end].isSpace())
            ++end;
        l.pieces.emplace_back(l.drawn.x() + fm.horizontalAdvance(l.text.left(i)), l.ink.y(),
                              fm.horizontalAdvance(l.text.mid(i, end - i)), l.ink.height());
        i = end;
    }
    return l;
}

// Controls whose empty parts show what lies beneath: only their own caption
// can hide another.
bool seeThrough(const QWidget* w)
{
    if (w->autoFillBackground() || w->testAttribute(Qt::WA_OpaquePaintEvent))
        return false;
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QCheckBox*>(w) ||
           qobject_cast<const QRadioButton*>(w) || qobject_cast<const QGroupBox*>(w);
}

bool overlaps(const std::vector<QRect>& a, const std::vector<QRect>& b)
{
    for (const QRect& x : a)
        for (const QRect& y : b)
            if (x.intersects(y))
                return true;
    return false;
}

// A shown sibling stacked above `w` that lies over part of its caption:
// an opaque control anywhere over it, a see-through one with its caption.
QWidget* coveringSibling(QWidget* w, QWidget* form, const std::vector<QRect>& pieces)
{
    QWidget* parent = w->parentWidget();
    if (!parent || !w->isVisibleTo(form))
        return nullptr;
    const QObjectList& siblings = parent->children();
    for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i) {
        auto* s = qobject_cast<QWidget*>(siblings[i]);
        if (!s || s->isWindow() || !s->isVisibleTo(form))
            continue;
        const QPoint offset = s->pos() - w->pos();
        std::vector<QRect> over;
        if (!seeThrough(s)) {
            over = {s->rect().translated(offset)};
        } else if (const std::optional<Laid> l = layOut(s)) {
            for (const QRect& r : l->pieces)
                over.push_back(r.translated(offset));
        }
        if (overlaps(over, pieces))
            return s;
    }
    return nullptr;
}

QString describe(const QWidget* w)
{
    QString name = w->objectName();
    if (name.isEmpty())
        name = QString::fromLatin1(w->metaObject()->className());
    return name;
}

QString sizeText(const QRect& r) { return QStringLiteral("%1x%2").arg(r.width()).arg(r.height()); }

// What a closed list shows of an item: all of it, but for a tail put out of
// sight on purpose behind a long run of blanks (the model list's ID).
QString shownPart(const QString& item)
{
    const qsizetype hidden = item.indexOf(QString(20, u' '));
    return (hidden < 0 ? item : item.left(hidden)).trimmed();
}

QRect editField(const QComboBox* list)
{
    QStyleOptionComboBox opt;
    opt.initFrom(list);
    opt.editable = list->isEditable();
    return list->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, list);
}

// The items of a closed list that its field cannot show whole: the style
// draws the chosen item one pixel inside the field and cuts it off one pixel
// before the field's end, so an item is whole, and clear of the edge, with
// a pixel to spare after that.
void cutItems(QComboBox* list, QWidget* form, QStringList& cut)
{
    const QRect field = editField(list) & visiblePart(list, form);
    const int room = field.width() - 2 - 1;
    const QFontMetrics fm(list->font());
    for (int i = 0; i < list->count(); ++i) {
        const QString text = shownPart(list->itemText(i));
        const int needs = fm.horizontalAdvance(text);
        if (needs > room)
            cut << QStringLiteral("%1 item \"%2\": needs %3 wide, has %4").arg(describe(list), text).arg(needs).arg(room);
    }
}

} // namespace

QStringList cutCaptions(QWidget* form)
{
    QStringList cut;
    form->ensurePolished();
    const auto children = form->findChildren<QWidget*>();
    for (QWidget* w : children) {
        w->ensurePolished();
        if (auto* list = qobject_cast<QComboBox*>(w))
            cutItems(list, form, cut);
        const std::optional<Laid> l = layOut(w);
        if (!l)
            continue;
        const QRect room = placementOf(w)->area & visiblePart(w, form);
        if (!room.contains(l->ink)) {
            cut << QStringLiteral("%1 \"%2\": needs %3 at (%4,%5), has %6 at (%7,%8)")
                       .arg(describe(w), l->text, sizeText(l->ink))
                       .arg(l->ink.x())
                       .arg(l->ink.y())
                       .arg(sizeText(room))
                       .arg(room.x())
                       .arg(room.y());
            continue;
        }
        if (QWidget* s = coveringSibling(w, form, l->pieces))
            cut << QStringLiteral("%1 \"%2\": covered by %3 at (%4,%5) %6")
                       .arg(describe(w), l->text, describe(s))
                       .arg(s->x())
                       .arg(s->y())
                       .arg(sizeText(s->geometry()));
    }
    return cut;
}

QString grabForm(QWidget* form, const QString& name)
{
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/grabs");
    QDir().mkpath(dir);
    const QString file = dir + QLatin1Char('/') + (name.isEmpty() ? describe(form) : name) + QStringLiteral(".png");
    form->grab().save(file);
    return file;
}

void expectCaptionsFit(QWidget* form, const QString& name)
{
    const QString file = grabForm(form, name);
    for (const QString& c : cutCaptions(form))
        ADD_FAILURE() << "caption cut on " << file.toStdString() << ": " << c.toStdString();
}

// ---- contrast ----

namespace {

double luminance(const QColor& c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

// The places (in w's coordinates) where `w` draws its text, one list per
// text a reader tells apart (a list box's items); none when it shows no text.
std::vector<std::vector<QRect>> textAreas(QWidget* w)
{
    if (auto* list = qobject_cast<QComboBox*>(w)) {
        if (list->isEditable() || list->currentText().trimmed().isEmpty())
            return {}; // an editable list's text is its line edit's
        return {{editField(list)}};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text().trimmed().isEmpty() || edit->echoMode() != QLineEdit::Normal)
            return {};
        return {{edit->rect().adjusted(3, 3, -3, -3)}};
    }
    if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
        std::vector<std::vector<QRect>> items;
        const QAbstractItemModel* model = view->model();
        const QRect shown = view->viewport()->rect();
        for (int row = 0; model && row < model->rowCount(view->rootIndex()); ++row) {
            const QModelIndex i = model->index(row, 0, view->rootIndex());
            const QRect r = view->visualRect(i) & shown;
            if (!r.isEmpty() && !i.data().toString().trimmed().isEmpty())
                items.push_back({r.translated(view->viewport()->pos())});
        }
        return items;
    }
    const std::optional<Laid> l = layOut(w);
    if (!l)
        return {};
    // The ink with a little of the ground about it.
    std::vector<QRect> around;
    for (const QRect& r : l->pieces)
        around.push_back(r.adjusted(-2, -2, 2, 2) & w->rect());
    return {around};
}

// Ground and ink of the pixels of `areas` (form pixels).
std::pair<QColor, QColor> groundAndInk(const QImage& image, const std::vector<QRect>& areas)
{
    QHash<QRgb, int> count;
    for (const QRect& r : areas)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.rect().contains(x, y))
                    ++count[image.pixel(x, y) & 0xFFFFFF];
    QRgb ground = 0;
    int most = -1;
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        if (it.value() > most)
            most = it.value(), ground = it.key();
    QRgb ink = ground;
    double best = 1;
    for (auto it = count.cbegin(); it != count.cend(); ++it) {
        const double c = contrastRatio(QColor(ground), QColor(it.key()));
        if (c > best)
            best = c, ink = it.key();
    }
    return {QColor(ground), QColor(ink)};
}

QString placeOf(const QWidget* w, const QWidget* form)
{
    QStringList path;
    for (const QWidget* a = w; a && a != form; a = a->parentWidget()) {
        const QString name = describe(a);
        int nth = 0;
        if (const QWidget* p = a->parentWidget())
            for (const QObject* o : p->children()) {
                if (o == a)
                    break;
                if (auto* s = qobject_cast<const QWidget*>(o); s && describe(s) == name)
                    ++nth;
            }
        path.prepend(nth ? QStringLiteral("%1#%2").arg(name).arg(nth) : name);
    }
    return path.join(u'/');
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::vector<TextContrast> textContrasts(QWidget* form)
{
    form->ensurePolished();
    const QPixmap grab = form->grab();
    const QImage image = grab.toImage();
    const qreal ratio = grab.devicePixelRatio();
    std::vector<TextContrast> found;
    for (QWidget* w : form->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(form))
            continue;
        TextContrast worst{placeOf(w, form), {}, {}, 1e9, w->isEnabled()};
        for (const std::vector<QRect>& text : textAreas(w)) {
            std::vector<QRect> pixels;
            for (const QRect& r : text) {
                const QRect inForm = QRect(w->mapTo(form, r.topLeft()), r.size()) & form->rect();
                if (!inForm.isEmpty())
                    pixels.push_back(QRect((inForm.topLeft() * ratio), inForm.size() * ratio));
            }
            if (pixels.empty())
                continue;
            // Only what stands on top: another control above it hides it.
            const QPoint centre = w->mapTo(form, text.front().center());
            QWidget* top = form->childAt(centre);
            if (top != w && !w->isAncestorOf(top))
                continue;
            const auto [ground, ink] = groundAndInk(image, pixels);
            const double c = contrastRatio(ground, ink);
            if (c < worst.ratio)
                worst.text = ink, worst.ground = ground, worst.ratio = c;
        }
        if (worst.ratio < 1e9)
            found.push_back(worst);
    }
    return found;
}

const std::vector<NamedScreen>& mainScreens()
{
    static const std::vector<NamedScreen> screens = {
        {"frmMain", [] () -> MainScreen& { return frmMain(); }},
        {"frmStatus", [] () -> MainScreen& { return frmStatus(); }},
        {"frmFind", [] () -> MainScreen& { return frmFind(); }},
        {"frmGraph", [] () -> MainScreen& { return frmGraph(); }},
        {"frmConfig", [] () -> MainScreen& { return frmConfig(); }},
    };
    return screens;
}
