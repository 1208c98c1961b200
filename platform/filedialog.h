#pragma once
// File open/save and folder dialogs. Tests answer them through the hook.
#include <QString>
#include <functional>

class QWidget;

namespace fd {

enum Kind { Open, Save, Folder };
struct Request {
    Kind kind = Open;
    QString title;
    QString filter;      // "CSV Files (*.csv);;All Files (*)"
    QString initialDir;
    QString initialName;
};
// Returns the chosen path, or "" when the user cancelled.
QString ask(const Request& r, QWidget* owner = nullptr);

using Handler = std::function<QString(const Request&)>;
void setHandler(Handler h);
void clearHandler();

} // namespace fd
