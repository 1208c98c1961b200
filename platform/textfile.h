#pragma once
// Sequential text files as the program's settings and definition files use
// them: item-by-item input, whole-line input, and print output with CR LF
// line ends. Paths are native paths.
#include <QByteArray>
#include <QString>

#include "platform/rterror.h"

namespace rt {

// What a failed step of work on a file concerns: the file itself, or its
// folder's list of files (making, renaming or removing a file in it).
enum class Concerning { File, Folder };

// Reading. Opening a missing file raises ErrFileNotFound (53); reading past
// the end raises ErrInputPastEnd (62). Only a regular file is read (see
// OpenForReading), and only up to `maxBytes`: a larger file is refused
// whole, as no settings, definition or parameter file comes near that size.
class InputFile {
public:
    static constexpr qint64 kMaxBytes = 4 << 20;

    InputFile() = default;
    explicit InputFile(const QString& path, qint64 maxBytes = kMaxBytes) { open(path, maxBytes); }
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    void open(const QString& path, qint64 maxBytes = kMaxBytes);
    void close();
    bool isOpen() const { return open_; }
    // True once nothing but the end of the file is left.
    bool eof() const;

    // One item of the input statement: leading blanks and tabs are skipped; a
    // leading double quote reads up to the closing quote (the quotes dropped,
    // whatever follows up to the next comma or line end is skipped);
    // otherwise the item runs to the next comma or line end and trailing
    // blanks are dropped. The comma or line end that ends the item is
    // consumed. An empty line gives an empty item.
    QString inputItem();
    // One whole line, unchanged, without its line end (CR LF, LF or CR).
    QString lineInput();
    // Skip n whole lines.
    void skipLines(int n);

private:
    // Checks the file, skips leading blanks and reads a quoted item whole
    // (true, text in `quoted`); false leaves an unquoted item to the caller.
    bool startItem(QString& quoted);

    QByteArray data_;
    qsizetype pos_ = 0;
    bool open_ = false;
    bool utf8_ = true; // false: the file is not UTF-8 and is read as Windows-1252
    QString path_;
};

// Writing. Replace mode writes a temporary file beside the target
// ("<name>.XXXXXX.tmp"), pushes it to the disk and renames it over the
// target on close(): the target is either the complete new file or, after
// any failure, the old file byte for byte; the temporary file is removed.
// The writer holds a lock on its temporary file for as long as it writes,
// so a save removes only those left by a save that was killed, never one
// another copy of the program is still writing. Append mode adds to the end
// of the file; a failed append cuts the file back to the length it had when
// opened, so no part of a line is left behind.
//
// Only a regular file is written, and only one the user may write: a file
// without write permission for the user is refused as the system refuses
// it (ErrPermissionDenied), and for the superuser, whom the system lets
// write anything, a file with no write permission for anyone is refused
// the same way, as it was made read-only on purpose. A symbolic link is
// followed only where the system's rule for shared folders would let an
// ordinary open follow it: in a folder that everyone may write and whose
// entries only their owners may remove (as /tmp), only a link of the user's
// own or of the folder's owner. A Replace save needs a folder it may write
// (for its temporary file), even for a file the user may write: in one it
// may not, it is refused saying the folder cannot be written. Every failure
// raises a run-time error naming what the system said (ErrDiskFull,
// ErrPathNotFound, ErrPermissionDenied, ErrBadFileName, ErrPathFileAccess on
// a read-only file system, ErrDeviceIO).
class OutputFile {
public:
    enum Mode { Replace, Append };
    OutputFile() = default;
    OutputFile(const QString& path, Mode mode);
    ~OutputFile(); // discards an uncommitted Replace file
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void open(const QString& path, Mode mode);
    // Text written as it stands.
    void write(const QString& text);
    // Text and CR LF.
    void printLine(const QString& text);
    // One number in the print layout (" 9600 ") and CR LF.
    void printNumberLine(double v);
    void printSingleLine(float v);
    // Pushes what was written to the operating system now.
    void flush();
    // Finishes the file: Replace mode puts the new file in place of the
    // target; Append mode writes what is left and closes. Raises on failure.
    void close();

    // The temporary file a Replace save of `path` writes, and whether a name
    // in the folder is one of them.
    static bool isTemporaryOf(const QString& path, const QString& name);
    // The temporary file this Replace save is writing, for a writer of its
    // own (a printer's PDF) to fill: close() puts it in place all the same.
    QString temporaryPath() const { return temp_; }

private:
    void writeOut(const char* data, qsizetype size);
    [[noreturn]] void fail(int sysError, Concerning what = Concerning::File);
    void discard();

    int fd_ = -1;
    Mode mode_ = Replace;
    QString path_;
    QString temp_;
    QByteArray pending_;
    qint64 startSize_ = 0;
};

// Opens a file for reading and returns its descriptor; raises the run-time
// error when it cannot: a missing file or folder, a folder, a named pipe, a
// device or a socket (none of them a file that can be read as text; the
// opening never waits for a writer), else what the system said.
int OpenForReading(const QString& path);

// The run-time error for an operating-system error number met while
// working on a file, with the system's reason where the number alone
// would mislead. A refusal met while making, renaming or removing a file
// is its folder's, and says so.
RtError SystemError(int sysError, Concerning what = Concerning::File);

bool FileExists(const QString& path);
// Deletes a file; raises ErrFileNotFound / ErrPermissionDenied on failure.
void Kill(const QString& path);

} // namespace rt
