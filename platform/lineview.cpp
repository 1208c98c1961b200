#include "platform/lineview.h"

#include "platform/rterror.h"
#include "platform/textfile.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <limits>
#include <memory>
#include <unistd.h>

namespace {

// One slice of indexing gives way to other events after this long.
constexpr qint64 kSliceNs = 8'000'000;
constexpr qint64 kChunk = 1 << 20;
// A copy to the clipboard reads in smaller steps, which cost more each.
constexpr qint64 kCopyStep = 256 << 10;

} // namespace

LineView::LineView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    setFont(fixed);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    slice_.setInterval(0);
    slice_.setSingleShot(true);
    connect(&slice_, &QTimer::timeout, this, [this] { indexSlice(); });
    offerToAssistiveTechnology();
}

void LineView::clear()
{
    slice_.stop();
    file_.close();
    size_ = indexed_ = longest_ = 0;
    starts_.clear();
    starts_.shrink_to_fit();
    lastWasCR_ = false;
    anchor_ = cursor_ = -1;
    updateScrollBars();
    viewport()->update();
}

void LineView::open(const QString& path)
{
    clear();
    const int fd = rt::OpenForReading(path);
    if (!file_.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        rt::raise(rt::ErrDeviceIO);
    }
    size_ = file_.size();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    // The first slice runs now, so the first screenful is there at once.
    indexSlice();
}

bool LineView::indexChunk(qint64 limit)
{
    const qint64 want = std::min({limit, kChunk, size_ - indexed_});
    if (want <= 0)
        return false;
    QByteArray buf(want, Qt::Uninitialized);
    file_.seek(indexed_);
    const qint64 got = file_.read(buf.data(), want);
    if (got <= 0) {
        size_ = indexed_; // the file was cut short meanwhile: show what was read
        return false;
    }
    if (starts_.empty())
        starts_.push_back(0);
    const char* d = buf.constData();
    for (qint64 k = 0; k < got; ++k) {
        const char c = d[k];
        if (c == '\n') {
            if (lastWasCR_)
                starts_.back() = indexed_ + k + 1; // CR LF is one line end
            else
                starts_.push_back(indexed_ + k + 1);
            lastWasCR_ = false;
        } else if (c == '\r') {
            starts_.push_back(indexed_ + k + 1);
            lastWasCR_ = true;
        } else {
            lastWasCR_ = false;
        }
    }
    if (indexed_ == 0 && starts_.size() > 1 && got < size_) {
        // Room for the whole index at once, judged by the first lines, so
        // that it is not copied over and over while it grows.
        const qint64 perLine = std::max<qint64>(1, got / qint64(starts_.size() - 1));
        starts_.reserve(std::size_t(size_ / perLine + size_ / perLine / 8 + 16));
    }
    indexed_ += got;
    return indexed_ < size_;
}

void LineView::indexSlice()
{
    const qint64 before = lineCount();
    QElapsedTimer t;
    t.start();
    bool more = true;
    while (more && t.nsecsElapsed() < kSliceNs)
        more = indexChunk(kChunk);
    if (!more) {
        // A line end at the very end of the file starts no further line.
        if (!starts_.empty() && starts_.back() >= size_)
            starts_.pop_back();
    }
    for (qint64 i = std::max<qint64>(before - 1, 0); i + 1 < lineCount(); ++i)
        longest_ = std::max(longest_, starts_[std::size_t(i + 1)] - starts_[std::size_t(i)]);
    if (!more && lineCount() > 0)
        longest_ = std::max(longest_, size_ - starts_.back());
    updateScrollBars();
    viewport()->update();
    if (more)
        slice_.start();
    else
        emit loaded();
}

void LineView::finishLoading()
{
    while (loading()) {
        slice_.stop();
        indexSlice();
    }
}

QByteArray LineView::readBytes(qint64 from, qint64 to) const
{
    if (to <= from || !file_.isOpen())
        return {};
    file_.seek(from);
    return file_.read(to - from);
}

namespace {

QString lineText(QByteArray bytes)
{
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

} // namespace

QString LineView::line(qint64 i) const
{
    if (i < 0 || i >= lineCount())
        return {};
    const qint64 end = i + 1 < lineCount() ? starts_[std::size_t(i + 1)] : indexed_;
    return lineText(readBytes(starts_[std::size_t(i)], end));
}

// Lines of the file as the view copies them: from the start of one line
// up to the end of another, each line end (CR LF, LF or CR) made one line
// feed, without the last line's own line end. Read in steps of a bounded
// size, into one buffer the size of the bytes copied.
class LineCopy {
public:
    // `lastStart`: where the last line begins (`end` for the rest of the
    // file); `end`: the file's length as the view knows it.
    LineCopy(int fd, qint64 from, qint64 lastStart, qint64 end, qint64 room)
        : fd_(::dup(fd)), pos_(from), lastStart_(lastStart), end_(end)
    {
        out_.resize(qsizetype(std::max<qint64>(room, 0)));
    }
    ~LineCopy()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LineCopy(const LineCopy&) = delete;
    LineCopy& operator=(const LineCopy&) = delete;

    // Copies up to `bytes` more; false once the last line is done.
    bool step(qint64 bytes)
    {
        if (done_)
            return false;
        const qint64 want = std::min(bytes, end_ - pos_);
        QByteArray buf(qsizetype(std::max<qint64>(want, 0)), Qt::Uninitialized);
        const ssize_t got = want > 0 && fd_ >= 0 ? ::pread(fd_, buf.data(), size_t(want), off_t(pos_)) : 0;
        if (got <= 0)
            return finish(true); // the file's end, or cut short meanwhile: what was read
        if (used_ + got > out_.size())
            out_.resize(used_ + got);
        // Locals, not members, in the loop: the bytes written may alias them.
        char* const start = out_.data();
        char* out = start + used_;
        const char* const base = buf.constData();
        const char* in = base;
        const char* const stop = in + got;
        const qint64 lastEnd = lastStart_ - pos_; // a line end from here on ends the copy
        bool cr = lastWasCR_;
        while (in < stop) {
            const char c = *in++;
            if (c != '\r' && c != '\n') {
                *out++ = c;
                cr = false;
                continue;
            }
            const bool second = c == '\n' && cr; // CR LF is one line end
            cr = c == '\r';
            if (second)
                continue;
            if (in - 1 - base >= lastEnd) {
                used_ = out - start;
                return finish(false);
            }
            *out++ = '\n';
        }
        lastWasCR_ = cr;
        used_ = out - start;
        pos_ += got;
        return true;
    }
    QByteArray take() { return std::exchange(out_, {}); }

private:
    bool finish(bool atEnd)
    {
        // The line end of the file's last line starts no further line.
        if (atEnd && used_ > 0 && out_[used_ - 1] == '\n')
            --used_;
        out_.truncate(used_);
        out_.squeeze();
        done_ = true;
        return false;
    }

    int fd_;
    qint64 pos_, lastStart_, end_;
    QByteArray out_;
    qsizetype used_ = 0;
    bool lastWasCR_ = false;
    bool done_ = false;
};

LineCopy* LineView::startCopy(qint64 first, qint64 last) const
{
    if (!file_.isOpen() || lineCount() == 0 || first >= lineCount())
        return nullptr;
    first = std::max<qint64>(first, 0);
    const qint64 from = starts_[std::size_t(first)];
    // Lines past those indexed so far (all of them, while loading) run to
    // the end of the file as it stood when opened.
    const bool toEnd = last >= lineCount() - (loading() ? 0 : 1);
    const qint64 lastStart = toEnd ? size_ : starts_[std::size_t(last)];
    const qint64 room = (toEnd || last + 1 >= lineCount() ? size_ : starts_[std::size_t(last + 1)]) - from;
    return new LineCopy(file_.handle(), from, lastStart, size_, room);
}

namespace {

QString copyAll(LineCopy* c)
{
    if (!c)
        return {};
    while (c->step(kChunk)) {
    }
    const QString text = QString::fromUtf8(c->take());
    delete c;
    return text;
}

// A copy to the clipboard being read, slice by slice; it outlives the
// view, so that closing the window does not lose what was copied.
class ClipboardJob : public QObject {
public:
    explicit ClipboardJob(LineCopy* c) : QObject(QCoreApplication::instance()), copy_(c)
    {
        delete std::exchange(current_, this);
        timer_.setInterval(0);
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { slice(); });
    }
    ~ClipboardJob() override
    {
        if (current_ == this)
            current_ = nullptr;
    }
    static bool running() { return current_ != nullptr; }
    // Reads for one slice of time; the clipboard gets the text when done.
    void slice()
    {
        QElapsedTimer t;
        t.start();
        bool more = true;
        while (more && t.nsecsElapsed() < kSliceNs)
            more = copy_->step(kCopyStep);
        if (more) {
            timer_.start();
            return;
        }
        auto* data = new QMimeData;
        data->setData(QStringLiteral("text/plain"), copy_->take());
        QGuiApplication::clipboard()->setMimeData(data);
        current_ = nullptr;
        deleteLater();
    }

private:
    static inline ClipboardJob* current_ = nullptr;
    std::unique_ptr<LineCopy> copy_;
    QTimer timer_;
};

} // namespace

QString LineView::toPlainText()
{
    finishLoading();
    return copyAll(startCopy(0, std::numeric_limits<qint64>::max()));
}

qint64 LineView::topLine() const { return verticalScrollBar()->value(); }

void LineView::updateScrollBars()
{
    const int rowHeight = std::max(1, fontMetrics().lineSpacing());
    const int rows = std::max(1, viewport()->height() / rowHeight);
    // A scroll bar counts in int, far beyond any log the program writes.
    const qint64 lines = lineCount();
    verticalScrollBar()->setRange(0, int(std::min<qint64>(std::max<qint64>(lines - rows, 0), INT_MAX)));
    verticalScrollBar()->setPageStep(rows);
    verticalScrollBar()->setSingleStep(1);
    const qint64 width = longest_ * fontMetrics().horizontalAdvance(QLatin1Char('0')) + 8;
    const qint64 hidden = std::max<qint64>(width - viewport()->width(), 0);
    horizontalScrollBar()->setRange(0, int(std::min<qint64>(hidden, INT_MAX)));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

void LineView::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

void LineView::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    const QFontMetrics fm = fontMetrics();
    const int rowHeight = std::max(1, fm.lineSpacing());
    const qint64 first = topLine();
    const qint64 last = std::min(lineCount(), first + viewport()->height() / rowHeight + 2);
    if (first >= last)
        return;
    // The lines on screen come from the file in one read.
    const qint64 from = starts_[std::size_t(first)];
    const qint64 to = last < lineCount() ? starts_[std::size_t(last)] : indexed_;
    const QByteArray block = readBytes(from, to);
    const int x = 4 - horizontalScrollBar()->value();
    const qint64 selFirst = std::min(anchor_, cursor_), selLast = std::max(anchor_, cursor_);
    for (qint64 i = first; i < last; ++i) {
        const qint64 a = starts_[std::size_t(i)] - from;
        const qint64 b = (i + 1 < lineCount() ? starts_[std::size_t(i + 1)] : indexed_) - from;
        const QString text = lineText(block.mid(a, b - a));
        const int y = int(i - first) * rowHeight;
        const bool selected = selFirst >= 0 && i >= selFirst && i <= selLast;
        if (selected)
            p.fillRect(0, y, viewport()->width(), rowHeight, palette().color(QPalette::Highlight));
        p.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        p.drawText(x, y + fm.ascent(), text);
    }
}

void LineView::selectLines(qint64 from, qint64 to)
{
    anchor_ = from;
    cursor_ = to;
    viewport()->update();
}

QString LineView::selectedText() const
{
    if (anchor_ < 0)
        return {};
    return copyAll(startCopy(std::min(anchor_, cursor_), std::max(anchor_, cursor_)));
}

void LineView::copySelection()
{
    if (anchor_ < 0)
        return;
    LineCopy* c = startCopy(std::min(anchor_, cursor_), std::max(anchor_, cursor_));
    if (!c) {
        QGuiApplication::clipboard()->setText(QString());
        return;
    }
    // The first slice now: a few lines are on the clipboard at once.
    (new ClipboardJob(c))->slice();
}

bool LineView::copying() { return ClipboardJob::running(); }

qint64 LineView::lineAt(int y) const
{
    const qint64 i = topLine() + std::max(0, y) / std::max(1, fontMetrics().lineSpacing());
    return std::min(i, lineCount() - 1);
}

void LineView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || lineCount() == 0)
        return;
    const qint64 i = lineAt(int(e->position().y()));
    selectLines((e->modifiers() & Qt::ShiftModifier) && anchor_ >= 0 ? anchor_ : i, i);
}

void LineView::mouseMoveEvent(QMouseEvent* e)
{
    if ((e->buttons() & Qt::LeftButton) && anchor_ >= 0)
        selectLines(anchor_, lineAt(int(e->position().y())));
}

void LineView::keyPressEvent(QKeyEvent* e)
{
    if (e->matches(QKeySequence::SelectAll))
        selectLines(0, std::numeric_limits<qint64>::max());
    else if (e->matches(QKeySequence::Copy))
        copySelection();
    else if (e->matches(QKeySequence::MoveToStartOfDocument))
        verticalScrollBar()->setValue(0);
    else if (e->matches(QKeySequence::MoveToEndOfDocument))
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    else if (e->key() == Qt::Key_Home)
        horizontalScrollBar()->setValue(0);
    else if (e->key() == Qt::Key_End)
        horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
    else
        QAbstractScrollArea::keyPressEvent(e);
}

// ---- assistive technology ----

QStringList LineView::shownLines() const
{
    const int rowHeight = std::max(1, fontMetrics().lineSpacing());
    const qint64 first = topLine();
    const qint64 rows = (viewport()->height() + rowHeight - 1) / rowHeight;
    QStringList lines;
    for (qint64 i = first; i < std::min(lineCount(), first + rows); ++i)
        lines << line(i);
    return lines;
}

std::pair<qint64, qint64> LineView::selectedLines() const
{
    if (anchor_ < 0)
        return {-1, -1};
    return {std::min(anchor_, cursor_), std::min(std::max(anchor_, cursor_), lineCount() - 1)};
}

QRect LineView::lineRect(qint64 i) const
{
    const int rowHeight = std::max(1, fontMetrics().lineSpacing());
    const QPoint origin = viewport()->mapTo(this, QPoint(4 - horizontalScrollBar()->value(), 0));
    return QRect(origin.x(), origin.y() + int(i - topLine()) * rowHeight, viewport()->width(), rowHeight);
}

namespace {

// The view as a read-only multi-line text whose text is the lines on screen:
// offsets count from the top line shown, a line feed between lines.
class AccessibleLineView : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit AccessibleLineView(LineView* v) : QAccessibleWidget(v, QAccessible::EditableText) {}

    LineView* view() const { return static_cast<LineView*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return shown();
        return QAccessibleWidget::text(t);
    }

    // Text
    QString text(int start, int end) const override
    {
        const QString all = shown();
        start = std::clamp(start, 0, int(all.size()));
        end = std::clamp(end < 0 ? int(all.size()) : end, start, int(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return int(shown().size()); }

    // Selection: the selected lines that are on screen, as one stretch.
    int selectionCount() const override
    {
        int a, b;
        selection(0, &a, &b);
        return a < b ? 1 : 0;
    }
    void selection(int index, int* start, int* end) const override
    {
        *start = *end = 0;
        const auto [first, last] = view()->selectedLines();
        if (index != 0 || first < 0)
            return;
        const QStringList lines = view()->shownLines();
        const qint64 top = view()->topLine();
        const qint64 from = std::max(first, top), to = std::min(last, top + lines.size() - 1);
        if (from > to)
            return;
        *start = offsetOfLine(lines, from - top);
        *end = offsetOfLine(lines, to - top) + int(lines[int(to - top)].size());
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { view()->selectLines(-1, -1); }
    void setSelection(int, int start, int end) override
    {
        const qint64 top = view()->topLine();
        view()->selectLines(top + lineOf(start), top + lineOf(std::max(start, end - 1)));
    }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}

    // Geometry, on the screen.
    QRect characterRect(int offset) const override
    {
        const QStringList lines = view()->shownLines();
        const int i = lineOf(offset);
        const int column = offset - offsetOfLine(lines, i);
        const int advance = view()->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        const QRect row = view()->lineRect(view()->topLine() + i);
        return QRect(view()->mapToGlobal(QPoint(row.x() + column * advance, row.y())), QSize(advance, row.height()));
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QStringList lines = view()->shownLines();
        const QPoint p = view()->mapFromGlobal(point);
        for (int i = 0; i < lines.size(); ++i) {
            const QRect row = view()->lineRect(view()->topLine() + i);
            if (p.y() >= row.top() && p.y() <= row.bottom()) {
                const int advance = std::max(1, view()->fontMetrics().horizontalAdvance(QLatin1Char('0')));
                const int column = std::clamp((p.x() - row.x()) / advance, 0, int(lines[i].size()));
                return offsetOfLine(lines, i) + column;
            }
        }
        return -1;
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override
    {
        *start = *end = offset;
        return {};
    }

private:
    QString shown() const { return view()->shownLines().join(QLatin1Char('\n')); }
    static int offsetOfLine(const QStringList& lines, qint64 i)
    {
        int offset = 0;
        for (int k = 0; k < i && k < lines.size(); ++k)
            offset += int(lines[k].size()) + 1;
        return offset;
    }
    // The shown line that holds `offset`.
    int lineOf(int offset) const
    {
        const QStringList lines = view()->shownLines();
        int start = 0;
        for (int i = 0; i < lines.size(); ++i) {
            start += int(lines[i].size()) + 1;
            if (offset < start)
                return i;
        }
        return std::max(0, int(lines.size()) - 1);
    }
};

QAccessibleInterface* lineViewFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("LineView") && object && object->isWidgetType())
        return new AccessibleLineView(static_cast<LineView*>(object));
    return nullptr;
}

} // namespace

void LineView::offerToAssistiveTechnology()
{
    static const bool installed = [] {
        QAccessible::installFactory(lineViewFactory);
        return true;
    }();
    (void)installed;
    // What is on screen changes as the view scrolls and the file is read.
    auto tell = [this] {
        if (QAccessible::isActive()) {
            QAccessibleEvent e(this, QAccessible::VisibleDataChanged);
            QAccessible::updateAccessibility(&e);
        }
    };
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, tell);
    connect(this, &LineView::loaded, this, tell);
}
