// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "outputfile.h"

#include "exporterror.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <atomic>
#include <climits>
#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFile>
#include <QSaveFile>

#include <cstdio>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#endif

QString fileNameFromBytes(const QByteArray &bytes)
{
    QString name;
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const int n = int(bytes.size());
    for (int i = 0; i < n;) {
        const unsigned char c = b[i];
        int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        char32_t code = length == 1 ? c
            : length == 2           ? c & 0x1f
            : length == 3           ? c & 0x0f
                                    : c & 0x07;
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            valid = (b[i + k] & 0xc0) == 0x80;
            code = code << 6 | (b[i + k] & 0x3f);
        }
        // No overlong forms, no surrogates, nothing past U+10FFFF.
        static const char32_t smallest[5] = { 0, 0, 0x80, 0x800, 0x10000 };
        valid = valid && code >= smallest[length] && code <= 0x10ffff
            && !(code >= 0xd800 && code <= 0xdfff);
        if (!valid) {
            name += QChar(char16_t(0xdc00 + c));
            ++i;
            continue;
        }
        name += QString::fromUcs4(&code, 1);
        i += length;
    }
    return name;
}

QByteArray fileNameToBytes(const QString &name)
{
    QByteArray bytes;
    QString run;
    const auto flush = [&] {
        bytes += run.toUtf8();
        run.clear();
    };
    for (const QChar c : name) {
        if (c.unicode() >= 0xdc80 && c.unicode() <= 0xdcff) {
            flush();
            bytes += char(c.unicode() - 0xdc00);
        } else {
            run += c;
        }
    }
    flush();
    return bytes;
}

#ifdef Q_OS_UNIX

// Writes straight to the descriptor and keeps the system's reason for a failure. The temporary
// file can also seek and read back, as TIFF's writer needs; a pipe or a device cannot.
class OutputFile::Device : public QIODevice
{
public:
    Device(int fd, bool seekable) : fd(fd), seekable(seekable)
    {
        open((seekable ? QIODevice::ReadWrite : QIODevice::WriteOnly) | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return !seekable; }
    bool seek(qint64 pos) override
    {
        return seekable && ::lseek(fd, off_t(pos), SEEK_SET) == off_t(pos) && QIODevice::seek(pos);
    }
    qint64 size() const override
    {
        struct stat info;
        return seekable && ::fstat(fd, &info) == 0 ? qint64(info.st_size) : QIODevice::size();
    }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        if (!seekable)
            return -1;
        ssize_t n;
        do {
            n = ::read(fd, data, size_t(size));
        } while (n < 0 && errno == EINTR);
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size_t(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                setErrorString(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
                return -1;
            }
            done += n;
        }
        return done;
    }

private:
    int fd;
    bool seekable;
};

namespace {

// The temporary files being written, for the signal handler: plain bytes in static storage,
// since a handler may neither allocate nor lock. A slot is 0 free, 1 being filled or emptied,
// 2 holding a name to remove.
constexpr int pendingSlots = 4;
std::atomic<int> pendingState[pendingSlots];
char pendingName[pendingSlots][PATH_MAX];

extern "C" void removePendingAndDie(int signal)
{
    for (int i = 0; i < pendingSlots; ++i) {
        if (pendingState[i].load() == 2)
            ::unlink(pendingName[i]);
    }
    // SA_RESETHAND has put back the default action: the program ends as the signal asked.
    ::raise(signal);
}

// Once per process, and only where nobody chose another action (nohup ignores SIGHUP).
void installSignalCleanup()
{
    static const bool installed = [] {
        for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
            struct sigaction old
            {
            };
            if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler != SIG_DFL)
                continue;
            struct sigaction action
            {
            };
            action.sa_handler = removePendingAndDie;
            action.sa_flags = SA_RESETHAND;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
        }
        return true;
    }();
    (void)installed;
}

int registerPending(const QByteArray &name)
{
    if (name.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < pendingSlots; ++i) {
        int expected = 0;
        if (pendingState[i].compare_exchange_strong(expected, 1)) {
            std::memcpy(pendingName[i], name.constData(), size_t(name.size()) + 1);
            pendingState[i].store(2);
            return i;
        }
    }
    return -1; // more files at once than slots: those are only removed on a normal exit
}

void releasePending(int slot)
{
    if (slot < 0)
        return;
    pendingState[slot].store(1);
    pendingName[slot][0] = '\0';
    pendingState[slot].store(0);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The file a chain of symbolic links ends in, existing or not, so that a link (even a dangling
// one) stays a link and its target is what gets written. Only the last component is followed:
// the temporary file and the target share a folder either way.
bool followLinks(QByteArray *path, int *error)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(path->constData(), &info) != 0) {
            *error = errno;
            return *error == ENOENT;
        }
        if (!S_ISLNK(info.st_mode))
            return true;
        QByteArray link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path->constData(), link.data(), size_t(link.size()));
        if (n < 0 || n >= link.size()) {
            *error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        link.truncate(n);
        const int slash = path->lastIndexOf('/');
        *path = link.startsWith('/') || slash < 0 ? link : path->left(slash + 1) + link;
    }
    *error = ELOOP;
    return false;
}

}

OutputFile::OutputFile(const QString &fileName) : fileName(fileName) { }

OutputFile::~OutputFile()
{
    cancel();
}

QString OutputFile::failure(const QString &reason) const
{
    return cantWrite(fileName == QLatin1String("-") ? QStringLiteral("standard output") : fileName,
               reason)
        + (inPlace ? QStringLiteral(" (written in place, as its folder takes no temporary "
                                    "file: the old contents are lost)")
                   : QString());
}

void (*OutputFile::warningHandler)(const QString &) = nullptr;

void OutputFile::setWarningHandler(void (*handler)(const QString &))
{
    warningHandler = handler;
}

bool OutputFile::open(QString *error)
{
    if (fileName.isEmpty()) {
        *error = failure(systemReason(ENOENT));
        return false;
    }
    if (fileName == QLatin1String("-")) {
        fd = STDOUT_FILENO;
        direct = true;
        out = std::make_unique<Device>(fd, false);
        return true;
    }
    target = fileNameToBytes(fileName);
    int why = 0;
    if (!followLinks(&target, &why)) {
        *error = failure(systemReason(why)); // a loop of links, no permission, ...
        return false;
    }
    struct stat info;
    const bool exists = ::stat(target.constData(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        *error = failure(systemReason(EISDIR));
        return false;
    }
    if (exists && !S_ISREG(info.st_mode)) {
        // A FIFO, a device or a socket is written into; replacing it would lose it.
        fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            *error = failure(systemReason(errno));
            return false;
        }
        direct = true;
        out = std::make_unique<Device>(fd, false);
        return true;
    }

    installSignalCleanup();
    // A short name, so that a target name up to the system's limit still leaves room for it.
    const int slash = target.lastIndexOf('/');
    temporary = (slash < 0 ? QByteArray() : target.left(slash + 1)) + ".qv.XXXXXX";
    // No signal between making the file and noting it for the handler.
    sigset_t stop, previous;
    sigemptyset(&stop);
    for (const int signal : { SIGINT, SIGTERM, SIGHUP })
        sigaddset(&stop, signal);
    pthread_sigmask(SIG_BLOCK, &stop, &previous);
    fd = ::mkstemp(temporary.data());
    why = errno;
    if (fd >= 0)
        pendingSlot = registerPending(temporary);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (fd < 0) {
        temporary.clear();
        if (exists && (why == EACCES || why == EPERM) && openInPlace())
            return true;
        *error = failure(systemReason(why));
        return false;
    }
    // The permissions, owner and group of the file replaced (as far as we may set them), or
    // those of a new file.
    mode_t mode = 0666;
    if (exists) {
        mode = info.st_mode & 07777;
        if (::fchown(fd, info.st_uid, info.st_gid) != 0)
            (void)::fchown(fd, uid_t(-1), info.st_gid);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    ::fchmod(fd, mode);
    out = std::make_unique<Device>(fd, true);
    return true;
}

// A folder that takes no new files may still hold a file we may write: then it is written in
// place, as Qt's save file falls back to, and a failure part-way cannot keep the old contents.
bool OutputFile::openInPlace()
{
    bool readable = true;
    fd = ::open(target.constData(), O_RDWR | O_TRUNC | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        readable = false;
        fd = ::open(target.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    if (fd < 0)
        return false;
    direct = true;
    inPlace = true;
    out = std::make_unique<Device>(fd, readable);
    return true;
}

QIODevice *OutputFile::device()
{
    return out.get();
}

bool OutputFile::commit(QString *error)
{
    if (fd < 0)
        return false;
    out.reset();
    if (direct) {
        const bool closed = fd == STDOUT_FILENO || ::close(fd) == 0;
        const int why = errno;
        fd = -1;
        if (!closed) {
            *error = failure(systemReason(why));
        } else if (inPlace) {
            // Said once the file is there, so that a failure stays one line.
            const QString text = QStringLiteral("the folder of %1 takes no temporary file; the "
                                                "file was written in place")
                                     .arg(fileName);
            if (warningHandler)
                warningHandler(text);
            else
                qWarning("%s", qPrintable(text));
        }
        return closed;
    }
    const bool closed = ::close(fd) == 0;
    int why = errno;
    fd = -1;
    if (closed && ::rename(temporary.constData(), target.constData()) == 0) {
        temporary.clear();
        releasePending(pendingSlot);
        pendingSlot = -1;
        return true;
    }
    if (closed)
        why = errno;
    *error = failure(systemReason(why));
    cancel();
    return false;
}

void OutputFile::cancel()
{
    out.reset();
    if (fd >= 0 && fd != STDOUT_FILENO)
        ::close(fd);
    fd = -1;
    if (!temporary.isEmpty()) {
        ::unlink(temporary.constData());
        temporary.clear();
    }
    releasePending(pendingSlot);
    pendingSlot = -1;
}

#else

// Elsewhere Qt's own atomic save does the work; special files are a Unix matter. "-" is
// standard output, switched to binary so that an image's bytes are not turned into CR LF.
class OutputFile::Device
{
public:
    explicit Device(const QString &fileName)
    {
        if (fileName == QLatin1String("-"))
            standardOutput = std::make_unique<QFile>();
        else
            saved = std::make_unique<QSaveFile>(fileName);
    }
    QIODevice *io() const
    {
        return saved ? static_cast<QIODevice *>(saved.get()) : standardOutput.get();
    }
    bool open()
    {
        if (saved)
            return saved->open(QIODevice::WriteOnly);
#ifdef _WIN32
        std::fflush(stdout);
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        return standardOutput->open(stdout, QIODevice::WriteOnly);
    }
    bool commit() { return saved ? saved->commit() : standardOutput->flush(); }
    void cancel()
    {
        if (saved)
            saved->cancelWriting();
    }

private:
    std::unique_ptr<QSaveFile> saved;
    std::unique_ptr<QFile> standardOutput;
};

OutputFile::OutputFile(const QString &fileName) : fileName(fileName) { }

OutputFile::~OutputFile()
{
    cancel();
}

QString OutputFile::failure(const QString &reason) const
{
    return cantWrite(fileName, reason);
}

void (*OutputFile::warningHandler)(const QString &) = nullptr;

void OutputFile::setWarningHandler(void (*handler)(const QString &))
{
    warningHandler = handler;
}

bool OutputFile::open(QString *error)
{
    if (fileName.isEmpty()) {
        *error = failure(QStringLiteral("the name is empty"));
        return false;
    }
    out = std::make_unique<Device>(fileName);
    if (!out->open()) {
        *error = failure(out->io()->errorString());
        out.reset();
        return false;
    }
    return true;
}

QIODevice *OutputFile::device()
{
    return out ? out->io() : nullptr;
}

bool OutputFile::commit(QString *error)
{
    if (!out)
        return false;
    const bool ok = out->commit();
    if (!ok)
        *error = failure(out->io()->errorString());
    out.reset();
    return ok;
}

void OutputFile::cancel()
{
    if (out)
        out->cancel();
    out.reset();
}

#endif

bool saveFile(const QByteArray &data, const QString &fileName, QString *error)
{
    OutputFile file(fileName);
    if (!file.open(error))
        return false;
    if (file.device()->write(data) != data.size()) {
        *error = file.failure(file.device()->errorString());
        file.cancel();
        return false;
    }
    return file.commit(error);
}
