#include "platform/printing.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/filedialog.h"
#include "platform/rterror.h"
#include "platform/textfile.h"

namespace printing {
namespace {
int gOverride = -1;

// Whether a PDF file is whole. The PDF writer does not tell of a failed
// write, so the file is checked: it must end with its end marker, and the
// cross-reference table must stand at the offset the end names (a piece lost
// on the way shifts everything after it).
bool isWholePdf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    const QByteArray tail = data.right(64).trimmed();
    if (!tail.endsWith("%%EOF"))
        return false;
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        return false;
    bool ok = false;
    const qint64 offset = tail.mid(at + 9, tail.size() - 5 - at - 9).trimmed().toLongLong(&ok);
    return ok && offset >= 0 && data.mid(offset, 4) == "xref";
}
} // namespace

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

bool print(QWidget* owner, const std::function<void(QPrinter&)>& draw)
{
    QPrinter printer(QPrinter::HighResolution);
    if (!choosePrinter(printer, owner))
        return false;
    if (printer.outputFormat() != QPrinter::PdfFormat) {
        draw(printer);
        return true;
    }
    rt::OutputFile file(QDir::fromNativeSeparators(printer.outputFileName()), rt::OutputFile::Replace);
    printer.setOutputFileName(QDir::toNativeSeparators(file.temporaryPath()));
    draw(printer);
    if (!isWholePdf(file.temporaryPath()))
        rt::raise(rt::ErrDiskFull);
    file.close();
    return true;
}

} // namespace printing
