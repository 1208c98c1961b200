#include "platform/printing.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/filedialog.h"

namespace printing {
namespace {
int gOverride = -1;
}

void setPrinterInstalledOverride(int value) { gOverride = value; }

bool printerInstalled()
{
    if (gOverride >= 0)
        return gOverride == 1;
    return !QPrinterInfo::defaultPrinter().isNull() || !QPrinterInfo::availablePrinters().isEmpty();
}

bool choosePrinter(QPrinter& printer, QWidget* owner)
{
    if (printerInstalled()) {
        const QPrinterInfo def = QPrinterInfo::defaultPrinter();
        if (!def.isNull())
            printer.setPrinterName(def.printerName());
        printer.setOutputFormat(QPrinter::NativeFormat);
        return true;
    }
    fd::Request r;
    r.kind = fd::Save;
    r.title = QStringLiteral("Print to PDF File");
    r.filter = QStringLiteral("PDF Files (*.pdf)");
    r.initialName = QStringLiteral("Graph.pdf");
    QString file = fd::ask(r, owner);
    if (file.isEmpty())
        return false;
    if (!file.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        file += QStringLiteral(".pdf");
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QDir::toNativeSeparators(file));
    return true;
}

} // namespace printing
