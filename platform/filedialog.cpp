#include "platform/filedialog.h"

#include <QFileDialog>

namespace fd {
namespace {
Handler gHandler;
}

QString ask(const Request& r, QWidget* owner)
{
    if (gHandler)
        return gHandler(r);
    QString start = r.initialDir;
    if (!r.initialName.isEmpty())
        start = start.isEmpty() ? r.initialName : start + QLatin1Char('/') + r.initialName;
    switch (r.kind) {
    case Open: return QFileDialog::getOpenFileName(owner, r.title, start, r.filter);
    case Save: return QFileDialog::getSaveFileName(owner, r.title, start, r.filter);
    case Folder: return QFileDialog::getExistingDirectory(owner, r.title, start);
    }
    return QString();
}

void setHandler(Handler h) { gHandler = std::move(h); }
void clearHandler() { gHandler = nullptr; }

} // namespace fd
