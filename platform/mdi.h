#pragma once
// The multiple-document window: a parent form whose client area holds child
// forms. For the program's activation rules the parent and its children are
// one window: the parent is the active form while it or a child has the
// focus, and only the parent receives Activate and Deactivate. A child's close
// box runs the child's own unload, which may refuse.
#include <QMdiSubWindow>
#include <QPointer>

#include "platform/form.h"

class QMdiArea;
class QVBoxLayout;

class MdiForm : public Form {
    Q_OBJECT
public:
    explicit MdiForm(QWidget* parent = nullptr);
    QMdiArea* area() { return area_; }
    // The form's layout: a menu bar goes in with setMenuBar().
    QVBoxLayout* frameLayout() { return layout_; }

private:
    QMdiArea* area_;
    QVBoxLayout* layout_;
};

class MdiChildForm : public Form {
    Q_OBJECT
public:
    explicit MdiChildForm(QWidget* parent = nullptr);
    // Puts the child in the parent's client area (once).
    void setMdiParent(MdiForm& parent);
    MdiForm* mdiParent() const { return parent_; }
    QMdiSubWindow* subWindow() const { return sub_; }

    // Shows the child in its parent and shows the parent, which becomes the
    // active form.
    void Show() override;
    void Hide() override;

private:
    QPointer<MdiForm> parent_;
    QPointer<QMdiSubWindow> sub_;
};
