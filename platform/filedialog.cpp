#include "platform/filedialog.h"

#include <QFileDialog>
#include <QPointer>

#include "platform/form.h"

namespace fd {
namespace {
Handler gHandler;
}

QString ask(const Request& r, QWidget* owner)
{
    owner = Forms::ownerFor(owner);
    if (gHandler) {
        const Forms::ModalScope open(owner, nullptr);
        return gHandler(r);
    }
    QString start = r.initialDir;
    if (!r.initialName.isEmpty())
        start = start.isEmpty() ? r.initialName : start + QLatin1Char('/') + r.initialName;
    // On the heap and watched, as a message box: the owner's unload closes
    // it as Cancel would, and should the owner go the dialog goes with it.
    QPointer<QFileDialog> dialog = new QFileDialog(owner, r.title, start, r.filter);
    switch (r.kind) {
    case Open: dialog->setFileMode(QFileDialog::ExistingFile); break;
    case Save:
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        break;
    case Folder:
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        break;
    }
    int result = QDialog::Rejected;
    {
        const Forms::ModalScope open(owner, dialog);
        result = dialog->exec();
    }
    QString chosen;
    if (dialog) {
        if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
            chosen = dialog->selectedFiles().constFirst();
        delete dialog;
    }
    return chosen;
}

void setHandler(Handler h) { gHandler = std::move(h); }
void clearHandler() { gHandler = nullptr; }

} // namespace fd
