#include "platform/textfile.h"

#include "platform/rterror.h"
#include "platform/runtime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStringDecoder>

#include <climits>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rt {

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool folderExists(const QString& path) { return QFileInfo(path).absoluteDir().exists(); }

QByteArray nativePath(const QString& path) { return QFile::encodeName(QDir::toNativeSeparators(path)); }

QString withReason(int number, const char* reason)
{
    return describe(number) + QStringLiteral(" (") + QLatin1String(reason) + QLatin1Char(')');
}

// What stands where a file was expected.
RtError notAFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return SystemError(EISDIR);
    const char* what = S_ISFIFO(mode) ? "a named pipe, not a file"
        : S_ISSOCK(mode)               ? "a socket, not a file"
        : S_ISCHR(mode) || S_ISBLK(mode) ? "a device, not a file"
                                         : "not a file";
    return RtError(ErrPathFileAccess, withReason(ErrPathFileAccess, what));
}

QString sizeText(qint64 bytes)
{
    if (bytes >= qint64(1) << 30)
        return QString::number(double(bytes) / double(qint64(1) << 30), 'f', 1) + QStringLiteral(" GB");
    if (bytes >= qint64(1) << 20)
        return QString::number(double(bytes) / double(1 << 20), 'f', 1) + QStringLiteral(" MB");
    return QString::number((bytes + 1023) / 1024) + QStringLiteral(" KB");
}

QString tooLarge(qint64 bytes, qint64 maxBytes)
{
    return describe(ErrPathFileAccess) + QStringLiteral(" (a file of ") + sizeText(bytes) +
           QStringLiteral(", more than the ") + sizeText(maxBytes) + QStringLiteral(" such a file can hold)");
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

} // namespace

// ---- InputFile ----

InputFile::~InputFile() = default;

void InputFile::open(const QString& path, qint64 maxBytes)
{
    close();
    const int fd = OpenForReading(path);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat st{};
    if (::fstat(fd, &st) == 0 && qint64(st.st_size) > maxBytes)
        raise(ErrPathFileAccess, tooLarge(qint64(st.st_size), maxBytes));
    // Read to the end, but never more than the bound: the file may still
    // grow, or report no size at all.
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min<qint64>(qint64(st.st_size), maxBytes)) + 1);
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw SystemError(errno);
        if (n == 0)
            break;
        if (qint64(bytes.size()) + n > maxBytes)
            raise(ErrPathFileAccess, tooLarge(qint64(bytes.size()) + n, maxBytes));
        bytes.append(buf, n);
    }
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

RtError SystemError(int sysError, Concerning what)
{
    if (what == Concerning::Folder && (sysError == EACCES || sysError == EPERM))
        return RtError(ErrPermissionDenied, withReason(ErrPermissionDenied, "the folder cannot be written"));
    switch (sysError) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return RtError(ErrDiskFull); // no room left for the file, whichever limit was met
    case ENOENT:
    case ENOTDIR: return RtError(ErrPathNotFound);
    case ELOOP: return RtError(ErrPathNotFound, withReason(ErrPathNotFound, "a loop of symbolic links"));
    case EISDIR: return RtError(ErrPermissionDenied, withReason(ErrPermissionDenied, "a folder, not a file"));
    case EACCES:
    case EPERM:
    case ETXTBSY:
    case EBUSY: return RtError(ErrPermissionDenied);
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ: return RtError(ErrBadFileName);
    case EROFS: return RtError(ErrPathFileAccess, withReason(ErrPathFileAccess, "the file system is read-only"));
    case EMFILE:
    case ENFILE: return RtError(ErrTooManyFiles);
    default: return RtError(ErrDeviceIO);
    }
}

int OpenForReading(const QString& path)
{
    const QByteArray name = nativePath(path);
    // A look before opening, so that no device is opened at all; the open
    // never waits (a named pipe put there meanwhile opens at once), and
    // what was opened is looked at again.
    struct stat st{};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw notAFile(st.st_mode);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            raise(folderExists(path) ? ErrFileNotFound : ErrPathNotFound);
        throw SystemError(err);
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw notAFile(st.st_mode);
    }
    return fd;
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
// A save in progress holds a lock on its temporary file; one that can be
// locked has no writer any more.
void removeStaleTemporaries(const QString& path)
{
    const QFileInfo target(path);
    const QDir dir = target.absoluteDir();
    const QString stem = temporaryStem(target.fileName());
    const QStringList names = dir.entryList({QString(stem).replace(QLatin1Char('['), QLatin1String("[[]")) +
                                             QStringLiteral("*") + kTempSuffix},
                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!OutputFile::isTemporaryOf(path, name))
            continue;
        const QByteArray file = nativePath(dir.filePath(name));
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        int fd = ::open(file.constData(), O_RDONLY | flags);
        if (fd < 0)
            fd = ::open(file.constData(), O_WRONLY | flags);
        if (fd < 0)
            continue;
        struct stat held{}, now{};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(file.constData(), &now) == 0 && now.st_ino == held.st_ino && now.st_dev == held.st_dev)
            ::unlink(file.constData());
        ::close(fd);
    }
}

// The file a save of `path` writes: links followed as an ordinary open in
// a shared folder would follow them, up to the system's limit of links in
// a row.
QString resolveForWriting(const QString& path)
{
    constexpr int kMaxLinks = 40;
    QString p = path;
    for (int hops = 0;; ++hops) {
        const QByteArray name = nativePath(p);
        struct stat link{};
        if (::lstat(name.constData(), &link) != 0 || !S_ISLNK(link.st_mode))
            return p;
        if (hops == kMaxLinks)
            throw SystemError(ELOOP);
        // The folder the link lies in, as the system finds it.
        const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
        const QString folderPart =
            slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : p.left(slash);
        char real[PATH_MAX];
        if (!::realpath(nativePath(folderPart).constData(), real))
            return p; // the save itself reports what is wrong with the folder
        const QString folder = QFile::decodeName(real);
        struct stat dir{};
        if (::stat(real, &dir) == 0 && (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH) &&
            link.st_uid != ::geteuid() && link.st_uid != dir.st_uid)
            raise(ErrPermissionDenied, withReason(ErrPermissionDenied, "a link another user made in a shared folder"));
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(name.constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size())
            throw SystemError(n < 0 ? errno : ENAMETOOLONG);
        target.truncate(n);
        const QString next = QFile::decodeName(target);
        p = next.startsWith(QLatin1Char('/')) ? next
            : folder.endsWith(QLatin1Char('/')) ? folder + next
                                                : folder + QLatin1Char('/') + next;
    }
}

// Whether the user may write the file `st` describes. The superuser may
// write any file; one without write permission for anyone was made
// read-only on purpose, and is left alone all the same.
bool mayWrite(const QByteArray& name, const struct stat& st)
{
    if (::geteuid() == 0)
        return (st.st_mode & 0222) != 0;
    return ::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) == 0 || (errno != EACCES && errno != EPERM);
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
    // The name goes before the lock, so no other save finds it unlocked.
    if (!temp_.isEmpty())
        ::unlink(nativePath(temp_).constData());
    temp_.clear();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    pending_.clear();
}

void OutputFile::open(const QString& path, Mode mode)
{
    discard();
    mode_ = mode;
    if (path.isEmpty())
        raise(ErrBadFileName);
    path_ = resolveForWriting(path);
    if (!folderExists(path_))
        raise(ErrPathNotFound);
    const QByteArray target = nativePath(path_);
    struct stat old{};
    const bool exists = ::lstat(target.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        throw notAFile(old.st_mode);
    if (exists && !mayWrite(target, old))
        raise(ErrPermissionDenied);
    if (mode == Replace) {
        removeStaleTemporaries(path_);
        const QFileInfo info(path_);
        const QString stem = info.absoluteDir().filePath(temporaryStem(info.fileName()));
        static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            QString name = stem;
            for (int k = 0; k < kRandomChars; ++k)
                name += QLatin1Char(kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))]);
            name += kTempSuffix;
            const int fd = ::open(nativePath(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST)
                continue;
            if (fd < 0)
                throw SystemError(errno, Concerning::Folder);
            // Held until the file is in place. Another save may have taken
            // it for a stale one in the moment before: then it is gone.
            while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            struct stat own{};
            if (::fstat(fd, &own) == 0 && own.st_nlink == 0) {
                ::close(fd);
                continue;
            }
            fd_ = fd;
            temp_ = name;
        }
        if (fd_ < 0)
            raise(ErrPermissionDenied);
        // The new file keeps the old one's permissions.
        if (exists)
            ::fchmod(fd_, old.st_mode & 07777);
    } else {
        // Never waits: a named pipe put there meanwhile is refused below.
        fd_ = ::open(target.constData(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                     0666);
        if (fd_ < 0)
            throw SystemError(errno, exists ? Concerning::File : Concerning::Folder);
        struct stat st{};
        if (::fstat(fd_, &st) != 0)
            fail(errno);
        if (!S_ISREG(st.st_mode)) {
            ::close(std::exchange(fd_, -1));
            throw notAFile(st.st_mode);
        }
        startSize_ = qint64(st.st_size);
    }
}

void OutputFile::fail(int sysError, Concerning what)
{
    // Nothing of a failed write may stay: the temporary file goes, and an
    // append is cut back to where it began.
    if (mode_ == Append && fd_ >= 0)
        while (::ftruncate(fd_, startSize_) != 0 && errno == EINTR) {
        }
    discard();
    throw SystemError(sysError, what);
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
        // or a full disk later never leaves a cut or empty file there; the
        // lock is held until then.
        if (::fsync(fd_) != 0 && errno != EINVAL)
            fail(errno);
        if (::rename(nativePath(temp_).constData(), nativePath(path_).constData()) != 0)
            fail(errno, Concerning::Folder);
        temp_.clear();
        ::close(std::exchange(fd_, -1));
        syncFolder(path_);
    } else {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR) {
            const int err = errno;
            fd_ = ::open(nativePath(path_).constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
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
        throw SystemError(errno, Concerning::Folder);
}

} // namespace rt
