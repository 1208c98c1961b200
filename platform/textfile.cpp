#include "platform/textfile.h"

#include "platform/rterror.h"
#include "platform/runtime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rt {

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool folderExists(const QString& path) { return QFileInfo(path).absoluteDir().exists(); }

QByteArray nativePath(const QString& path) { return QFile::encodeName(QDir::toNativeSeparators(path)); }

QString decodeBytes(const QByteArray& bytes, bool utf8)
{
    if (utf8)
        return QString::fromUtf8(bytes);
    QStringDecoder cp1252("windows-1252");
    if (cp1252.isValid())
        return cp1252.decode(bytes);
    return QString::fromLatin1(bytes);
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
        raise(OpenError(path));
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

// ---- what the system said ----

int OpenError(const QString& path)
{
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    const int err = fd < 0 ? errno : EIO;
    if (fd >= 0)
        ::close(fd);
    if (err == ENOENT)
        return folderExists(path) ? ErrFileNotFound : ErrPathNotFound;
    return SystemError(err);
}

int SystemError(int sysError)
{
    switch (sysError) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ErrDiskFull; // no room left for the file, whichever limit was met
    case ENOENT:
    case ENOTDIR: return ErrPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
    case EBUSY: return ErrPermissionDenied;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ: return ErrBadFileName;
    case EROFS: return ErrPathFileAccess;
    case EMFILE:
    case ENFILE: return ErrTooManyFiles;
    default: return ErrDeviceIO;
    }
}

// ---- OutputFile ----

namespace {

constexpr int kRandomChars = 6;
const QLatin1StringView kTempSuffix(".tmp");
// Pending text is handed to the system in pieces of this size at most.
constexpr qsizetype kWriteChunk = 64 * 1024;

// The start of the temporary names of a target: its file name, shortened
// so that the temporary name stays within the usual 255-byte name limit.
QString temporaryStem(const QString& fileName)
{
    QString stem = fileName;
    const qsizetype room = 255 - 1 - kRandomChars - kTempSuffix.size();
    while (QFile::encodeName(stem).size() > room)
        stem.chop(1);
    return stem + QLatin1Char('.');
}

// Removes the temporary files that saves of `path` killed part-way left.
void removeStaleTemporaries(const QString& path)
{
    const QFileInfo target(path);
    const QDir dir = target.absoluteDir();
    const QString stem = temporaryStem(target.fileName());
    const QStringList names = dir.entryList({QString(stem).replace(QLatin1Char('['), QLatin1String("[[]")) +
                                             QStringLiteral("*") + kTempSuffix},
                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        if (OutputFile::isTemporaryOf(path, name))
            ::unlink(nativePath(dir.filePath(name)).constData());
}

void syncFolder(const QString& path)
{
    const QByteArray dir = nativePath(QFileInfo(path).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd); // best effort: the rename itself has succeeded
        ::close(dirFd);
    }
}

} // namespace

bool OutputFile::isTemporaryOf(const QString& path, const QString& name)
{
    const QString stem = temporaryStem(QFileInfo(path).fileName());
    if (name.size() != stem.size() + kRandomChars + kTempSuffix.size() || !name.startsWith(stem) ||
        !name.endsWith(kTempSuffix))
        return false;
    for (qsizetype i = stem.size(); i < stem.size() + kRandomChars; ++i)
        if (!name[i].isLetterOrNumber() || name[i].unicode() > 0x7f)
            return false;
    return true;
}

OutputFile::OutputFile(const QString& path, Mode mode) { open(path, mode); }

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.isEmpty())
        ::unlink(nativePath(temp_).constData());
    temp_.clear();
    pending_.clear();
}

void OutputFile::open(const QString& path, Mode mode)
{
    discard();
    // A link is followed: the file it names is the one replaced.
    const QFileInfo link(path);
    path_ = link.isSymLink() ? link.symLinkTarget() : path;
    mode_ = mode;
    if (path_.isEmpty())
        raise(ErrBadFileName);
    if (!folderExists(path_))
        raise(ErrPathNotFound);
    if (QFileInfo(path_).isDir())
        raise(ErrPermissionDenied);
    if (mode == Replace) {
        removeStaleTemporaries(path_);
        const QFileInfo target(path_);
        const QString stem = target.absoluteDir().filePath(temporaryStem(target.fileName()));
        static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            QString name = stem;
            for (int k = 0; k < kRandomChars; ++k)
                name += QLatin1Char(kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))]);
            name += kTempSuffix;
            fd_ = ::open(nativePath(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0)
                temp_ = name;
            else if (errno != EEXIST)
                raise(SystemError(errno));
        }
        if (fd_ < 0)
            raise(ErrPermissionDenied);
        // The new file keeps the old one's permissions.
        struct stat old{};
        if (::stat(nativePath(path_).constData(), &old) == 0)
            ::fchmod(fd_, old.st_mode & 07777);
    } else {
        fd_ = ::open(nativePath(path_).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (fd_ < 0)
            raise(SystemError(errno));
        struct stat st{};
        if (::fstat(fd_, &st) != 0)
            fail(errno);
        regular_ = S_ISREG(st.st_mode);
        startSize_ = regular_ ? qint64(st.st_size) : 0;
    }
}

void OutputFile::fail(int sysError)
{
    // Nothing of a failed write may stay: the temporary file goes, and an
    // append is cut back to where it began.
    if (mode_ == Append && fd_ >= 0 && regular_)
        while (::ftruncate(fd_, startSize_) != 0 && errno == EINTR) {
        }
    discard();
    raise(SystemError(sysError));
}

void OutputFile::writeOut(const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size_t(std::min(size, kWriteChunk)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            fail(EIO);
        data += n;
        size -= n;
    }
}

void OutputFile::write(const QString& text)
{
    if (fd_ < 0)
        raise(ErrBadFileNumber);
    pending_ += text.toUtf8();
    if (pending_.size() >= kWriteChunk) {
        const QByteArray bytes = std::exchange(pending_, {});
        writeOut(bytes.constData(), bytes.size());
    }
}

void OutputFile::printLine(const QString& text) { write(text + QStringLiteral("\r\n")); }
void OutputFile::printNumberLine(double v) { printLine(PrintNumber(v)); }
void OutputFile::printSingleLine(float v) { printLine(PrintSingle(v)); }

void OutputFile::flush()
{
    if (fd_ < 0)
        raise(ErrBadFileNumber);
    const QByteArray bytes = std::exchange(pending_, {});
    writeOut(bytes.constData(), bytes.size());
}

void OutputFile::close()
{
    if (fd_ < 0)
        return;
    flush();
    if (mode_ == Replace) {
        // On the disk before it takes the old file's place, so that a crash
        // or a full disk later never leaves a cut or empty file there.
        if (::fsync(fd_) != 0 && errno != EINVAL)
            fail(errno);
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR)
            fail(errno);
        if (::rename(nativePath(temp_).constData(), nativePath(path_).constData()) != 0)
            fail(errno);
        temp_.clear();
        syncFolder(path_);
    } else {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR) {
            const int err = errno;
            fd_ = ::open(nativePath(path_).constData(), O_WRONLY | O_CLOEXEC);
            fail(err);
        }
    }
}

bool FileExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isFile(); }

void Kill(const QString& path)
{
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.isFile())
        raise(folderExists(path) ? ErrFileNotFound : ErrPathNotFound);
    if (::unlink(nativePath(path).constData()) != 0)
        raise(SystemError(errno));
}

} // namespace rt
