#include "platform/textfile.h"

#include "platform/rterror.h"
#include "platform/runtime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace rt {

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool folderExists(const QString& path) { return QFileInfo(path).absoluteDir().exists(); }

// The error for a file that cannot be opened: a missing folder, else the
// given number for a missing file, else no access.
int openError(const QString& path, int missingFile)
{
    if (!folderExists(path))
        return ErrPathNotFound;
    if (!QFileInfo::exists(path))
        return missingFile;
    return ErrPermissionDenied;
}

int deviceError(const QFileDevice& dev, const QString& path)
{
    switch (dev.error()) {
    case QFileDevice::ResourceError: return ErrDiskFull;
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
    case QFileDevice::RenameError:
    case QFileDevice::RemoveError:
    case QFileDevice::CopyError: return openError(path, ErrPermissionDenied);
    default: return ErrDeviceIO;
    }
}

QString decodeBytes(const QByteArray& bytes, bool utf8)
{
    if (utf8)
        return QString::fromUtf8(bytes);
    QStringDecoder cp1252("windows-1252");
    if (cp1252.isValid())
        return cp1252.decode(bytes);
    return QString::fromLatin1(bytes);
}

// A failure to open a file for writing: a full disk, else a missing folder or no access.
int openForWriteError(const QFileDevice& dev, const QString& path)
{
    if (dev.error() == QFileDevice::ResourceError)
        return ErrDiskFull;
    return openError(path, ErrPermissionDenied);
}

} // namespace

// ---- InputFile ----

InputFile::~InputFile() = default;

void InputFile::open(const QString& path)
{
    close();
    QFile f(path);
    if (QFileInfo(path).isDir())
        raise(ErrPermissionDenied);
    if (!f.open(QIODevice::ReadOnly))
        raise(openError(path, ErrFileNotFound));
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        raise(ErrDeviceIO);
    QStringDecoder probe(QStringDecoder::Utf8);
    const QString probed = probe.decode(bytes);
    utf8_ = !probe.hasError();
    data_ = std::move(bytes);
    pos_ = 0;
    path_ = path;
    open_ = true;
}

void InputFile::close()
{
    data_.clear();
    pos_ = 0;
    open_ = false;
    path_.clear();
}

bool InputFile::eof() const
{
    if (!open_)
        return true;
    for (qsizetype i = pos_; i < data_.size(); ++i) {
        const char c = data_[i];
        if (!isBlank(c) && !isLineEnd(c))
            return false;
    }
    return true;
}

namespace {

// Consumes the comma or the line end (CR LF, LF or CR) at pos, if any.
void consumeDelimiter(const QByteArray& d, qsizetype& pos)
{
    if (pos >= d.size())
        return;
    if (d[pos] == ',') {
        ++pos;
    } else if (d[pos] == '\r') {
        ++pos;
        if (pos < d.size() && d[pos] == '\n')
            ++pos;
    } else if (d[pos] == '\n') {
        ++pos;
    }
}

// A quoted item starting at the opening quote: the text to the closing quote
// (or the end of the line when it has none); the rest up to the delimiter is
// skipped.
QByteArray quotedItem(const QByteArray& d, qsizetype& pos)
{
    const qsizetype start = ++pos;
    while (pos < d.size() && d[pos] != '"' && !isLineEnd(d[pos]))
        ++pos;
    const QByteArray item = d.mid(start, pos - start);
    while (pos < d.size() && d[pos] != ',' && !isLineEnd(d[pos]))
        ++pos;
    consumeDelimiter(d, pos);
    return item;
}

void skipBlanks(const QByteArray& d, qsizetype& pos)
{
    while (pos < d.size() && isBlank(d[pos]))
        ++pos;
}

} // namespace

bool InputFile::startItem(QString& quoted)
{
    if (!open_)
        raise(ErrBadFileNumber);
    if (pos_ >= data_.size())
        raise(ErrInputPastEnd);
    skipBlanks(data_, pos_);
    if (pos_ < data_.size() && data_[pos_] == '"') {
        quoted = decodeBytes(quotedItem(data_, pos_), utf8_);
        return true;
    }
    return false;
}

QString InputFile::inputItem()
{
    QString quoted;
    if (startItem(quoted))
        return quoted;
    const qsizetype start = pos_;
    while (pos_ < data_.size() && data_[pos_] != ',' && !isLineEnd(data_[pos_]))
        ++pos_;
    qsizetype end = pos_;
    while (end > start && isBlank(data_[end - 1]))
        --end;
    consumeDelimiter(data_, pos_);
    return decodeBytes(data_.mid(start, end - start), utf8_);
}

double InputFile::inputNumber()
{
    QString quoted;
    if (startItem(quoted))
        return Val(quoted);
    const qsizetype start = pos_;
    while (pos_ < data_.size() && data_[pos_] != ',' && !isLineEnd(data_[pos_]) && !isBlank(data_[pos_]))
        ++pos_;
    const QByteArray text = data_.mid(start, pos_ - start);
    skipBlanks(data_, pos_);
    consumeDelimiter(data_, pos_);
    return Val(QString::fromLatin1(text));
}

QString InputFile::lineInput()
{
    if (!open_)
        raise(ErrBadFileNumber);
    if (pos_ >= data_.size())
        raise(ErrInputPastEnd);
    const qsizetype start = pos_;
    while (pos_ < data_.size() && !isLineEnd(data_[pos_]))
        ++pos_;
    const QByteArray line = data_.mid(start, pos_ - start);
    consumeDelimiter(data_, pos_);
    return decodeBytes(line, utf8_);
}

void InputFile::skipLines(int n)
{
    for (int i = 0; i < n; ++i)
        lineInput();
}

// ---- OutputFile ----

OutputFile::OutputFile() = default;
OutputFile::OutputFile(const QString& path, Mode mode) { open(path, mode); }

OutputFile::~OutputFile()
{
    if (save_)
        save_->cancelWriting();
    save_.reset();
    if (append_)
        append_->close();
    append_.reset();
}

void OutputFile::open(const QString& path, Mode mode)
{
    close();
    path_ = path;
    if (!folderExists(path))
        raise(ErrPathNotFound);
    if (QFileInfo(path).isDir())
        raise(ErrPermissionDenied);
    if (mode == Replace) {
        auto f = std::make_unique<QSaveFile>(path);
        if (!f->open(QIODevice::WriteOnly))
            raise(openForWriteError(*f, path));
        save_ = std::move(f);
    } else {
        auto f = std::make_unique<QFile>(path);
        if (!f->open(QIODevice::WriteOnly | QIODevice::Append))
            raise(openForWriteError(*f, path));
        append_ = std::move(f);
    }
}

void OutputFile::write(const QString& text)
{
    QFileDevice* dev = save_ ? static_cast<QFileDevice*>(save_.get()) : append_.get();
    if (!dev)
        raise(ErrBadFileNumber);
    const QByteArray bytes = text.toUtf8();
    if (dev->write(bytes) != bytes.size()) {
        // Give the file up at once so that a later close() neither raises
        // again nor puts a half-written file in place of the old one.
        const int err = deviceError(*dev, path_);
        if (save_)
            save_->cancelWriting();
        save_.reset();
        append_.reset();
        raise(err);
    }
}

void OutputFile::printLine(const QString& text) { write(text + QStringLiteral("\r\n")); }
void OutputFile::printNumberLine(double v) { printLine(PrintNumber(v)); }
void OutputFile::printSingleLine(float v) { printLine(PrintSingle(v)); }

void OutputFile::flush()
{
    QFileDevice* dev = save_ ? static_cast<QFileDevice*>(save_.get()) : append_.get();
    if (!dev)
        raise(ErrBadFileNumber);
    if (!dev->flush()) {
        const int err = deviceError(*dev, path_);
        if (save_)
            save_->cancelWriting();
        save_.reset();
        append_.reset();
        raise(err);
    }
}

void OutputFile::close()
{
    if (save_) {
        std::unique_ptr<QSaveFile> f = std::move(save_);
        if (!f->commit())
            raise(deviceError(*f, path_));
    } else if (append_) {
        std::unique_ptr<QFile> f = std::move(append_);
        const bool flushed = f->flush();
        const int err = flushed ? 0 : deviceError(*f, path_);
        f->close();
        if (!flushed)
            raise(err);
    }
}

bool FileExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isFile(); }

void Kill(const QString& path)
{
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.isFile())
        raise(folderExists(path) ? ErrFileNotFound : ErrPathNotFound);
    if (!QFile::remove(path))
        raise(ErrPermissionDenied);
}

} // namespace rt
