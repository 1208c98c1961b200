#pragma once
// The text of a message box. It wraps at blanks, and a run without one
// that is longer than a line (a quoted path, a number quoted whole, a line
// of a file cut to its start and end) breaks where the line is full, never
// inside one character: the whole text is shown within the box's width.
// The wrapping is done in the layout alone, so that what is selected and
// copied, and what a screen reader reads (the label's text), is the text
// itself, character for character. The user selects with the mouse or
// Ctrl+A and copies with Ctrl+C or the context menu.
#include <QLabel>
#include <QStringList>
#include <QTextLayout>
#include <memory>
#include <vector>

namespace mb {

class BoxText : public QLabel {
    Q_OBJECT
public:
    BoxText(const QString& text, QWidget* parent);
    ~BoxText() override;

    // The text as it stands in the label's present width, one entry per
    // line shown.
    QStringList shownLines() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    struct Paragraph {
        qsizetype start; // in the text
        std::unique_ptr<QTextLayout> layout;
    };
    // Lays the text out in `width` (the contents' width); returns the
    // height it takes.
    qreal layOut(int width) const;
    qsizetype positionAt(const QPoint& at) const;
    QString selectedText() const;
    bool hasSelectedText() const { return anchor_ != cursor_; }
    void selectAll();
    void copySelection() const;
    // The width of the widest paragraph left unwrapped.
    int naturalWidth() const;

    mutable std::vector<Paragraph> paragraphs_;
    mutable int laidOutWidth_ = -1;
    mutable qreal laidOutHeight_ = 0;
    qsizetype anchor_ = 0, cursor_ = 0;
};

} // namespace mb
