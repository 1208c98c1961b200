#pragma once
// A strip of tabs over a stack of pages, one page per tab. The current tab is
// Tab; choosing a tab, by the user or by code, raises Click with the tab that
// was current before, once per change. Controls go on page(i) and are placed
// in twips relative to that page. Several strips may stand at one place; the
// form shows the one it wants (setVisible / raise).
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QTabBar;
class QStackedWidget;

class TabStrip : public QWidget {
    Q_OBJECT
public:
    TabStrip(QWidget* parent, const QStringList& captions);

    int Tab() const;
    // Out of range: run-time error 380.
    void setTab(int i);
    int Tabs() const;
    bool TabEnabled(int i) const;
    void setTabEnabled(int i, bool on);
    QWidget* page(int i) const;
    // The height of the tabs themselves, in twips.
    void setTabHeight(int twips);

    std::function<void(int previousTab)> Click;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void check(int i) const;
    void layoutPages();

    QTabBar* bar_;
    QStackedWidget* stack_;
    int current_ = 0;
    int tabHeight_ = 0;
};
