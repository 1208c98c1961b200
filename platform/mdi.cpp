#include "platform/mdi.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QVBoxLayout>

#include "platform/app.h"

MdiForm::MdiForm(QWidget* parent) : Form(parent)
{
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    area_ = new QMdiArea(this);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout_->addWidget(area_);
}

MdiChildForm::MdiChildForm(QWidget* parent) : Form(parent) {}

void MdiChildForm::setMdiParent(MdiForm& parent)
{
    if (sub_)
        return;
    parent_ = &parent;
    sub_ = parent.area()->addSubWindow(this);
    // Its frame draws its own icon, which else is the toolkit's.
    sub_->setWindowIcon(App::icon());
    // The subwindow lives as long as the child: the child's close box asks the
    // child (its unload may refuse), and an unloaded child takes its frame along.
    sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(this, &QObject::destroyed, sub_, &QObject::deleteLater);
}

void MdiChildForm::Show()
{
    if (!sub_) {
        Form::Show();
        return;
    }
    sub_->show();
    show();
    parent_->Show();
    parent_->area()->setActiveSubWindow(sub_);
}

void MdiChildForm::Hide()
{
    if (!sub_) {
        Form::Hide();
        return;
    }
    sub_->hide();
    Form::Hide();
}
