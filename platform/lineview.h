#pragma once
// A read-only view of a text file's lines as the file stood when it was
// opened. Only the lines on screen are read from the file; the line index is
// built in short slices between other events, so a file of millions of lines
// shows its first screenful at once, holds a few bytes per line in memory,
// and never keeps timers or input waiting.
#include <QAbstractScrollArea>
#include <QFile>
#include <QTimer>
#include <utility>
#include <vector>

class LineView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LineView(QWidget* parent = nullptr);

    // Shows the file's lines up to its present end. A file that cannot be
    // opened raises the error the system gave (rt::OpenForReading).
    void open(const QString& path);
    void clear();

    // Lines indexed so far; all of them once loading() is false.
    qint64 lineCount() const { return qint64(starts_.size()); }
    bool loading() const { return indexed_ < size_; }
    // Indexes the rest of the file now.
    void finishLoading();
    // Line i as it stands in the file, without its line end.
    QString line(qint64 i) const;
    // All lines, joined by line feeds (the whole file is indexed first).
    QString toPlainText();
    // The first line shown at the top.
    qint64 topLine() const;
    // Whole lines are selected with the mouse (Shift extends) or all with
    // Ctrl+A; Ctrl+C copies them (copySelection).
    void selectLines(qint64 from, qint64 to);
    // The selected lines, joined by line feeds.
    QString selectedText() const;
    // Puts the selected lines on the clipboard, joined by line feeds. They
    // are read from the file in short slices between other events, so a
    // selection of any size holds up neither the window nor the timers, and
    // the clipboard gets them at once when they are all read; a copy that is
    // still being read when the next begins is dropped.
    void copySelection();
    // A copy is still being read.
    static bool copying();

    // What assistive technology is offered (a screen reader reads the log
    // through it): the lines on screen, from topLine(), and the selected
    // lines, first and last (-1 and -1 when none are).
    QStringList shownLines() const;
    std::pair<qint64, qint64> selectedLines() const;
    // The area line `i` is drawn in, in the view's own coordinates.
    QRect lineRect(qint64 i) const;

signals:
    void loaded();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;

private:
    void offerToAssistiveTechnology();
    void indexSlice();
    // Indexes up to `limit` bytes more; false when the file is done.
    bool indexChunk(qint64 limit);
    void updateScrollBars();
    QByteArray readBytes(qint64 from, qint64 to) const;
    qint64 lineAt(int y) const;
    // Reads lines first to last (the last one past the end: all of them).
    class LineCopy* startCopy(qint64 first, qint64 last) const;

    mutable QFile file_;
    qint64 size_ = 0;    // the file's length when it was opened
    qint64 indexed_ = 0; // bytes scanned for line ends
    std::vector<qint64> starts_;
    bool lastWasCR_ = false;
    qint64 longest_ = 0; // bytes in the longest line so far
    qint64 anchor_ = -1, cursor_ = -1; // the selected lines, both ends included
    QTimer slice_;
};
