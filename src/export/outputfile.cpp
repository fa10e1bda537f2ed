#include "outputfile.h"

#include "exporterror.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
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

OutputFile::OutputFile(const QString &fileName) : fileName(fileName) { }

OutputFile::~OutputFile()
{
    cancel();
}

QString OutputFile::failure(const QString &reason) const
{
    return cantWrite(
        fileName == QLatin1String("-") ? QStringLiteral("standard output") : fileName, reason);
}

static QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool OutputFile::open(QString *error)
{
    if (fileName == QLatin1String("-")) {
        fd = STDOUT_FILENO;
        direct = true;
        out = std::make_unique<Device>(fd, false);
        return true;
    }
    target = fileNameToBytes(fileName);
    struct stat info;
    if (::stat(target.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            *error = failure(systemReason(EISDIR));
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
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
        if (char *real = ::realpath(target.constData(), nullptr)) {
            target = real; // a link to the file stays a link
            std::free(real);
        }
    } else if (errno != ENOENT) {
        *error = failure(systemReason(errno)); // a loop of links, no permission, ...
        return false;
    }

    const int slash = target.lastIndexOf('/');
    temporary = (slash < 0 ? QByteArray() : target.left(slash + 1)) + '.' + target.mid(slash + 1)
        + ".XXXXXX";
    fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        const int why = errno;
        temporary.clear();
        *error = failure(systemReason(why));
        return false;
    }
    // The permissions of the file replaced, or those of a new file.
    mode_t mode = 0666;
    if (::stat(target.constData(), &info) == 0) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    ::fchmod(fd, mode);
    out = std::make_unique<Device>(fd, true);
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
        if (!closed)
            *error = failure(systemReason(why));
        return closed;
    }
    const bool closed = ::close(fd) == 0;
    int why = errno;
    fd = -1;
    if (closed && ::rename(temporary.constData(), target.constData()) == 0) {
        temporary.clear();
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
}

#else

// Elsewhere Qt's own atomic save does the work; special files are a Unix matter.
class OutputFile::Device : public QSaveFile
{
public:
    using QSaveFile::QSaveFile;
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

bool OutputFile::open(QString *error)
{
    out = std::make_unique<Device>(fileName);
    if (!out->open(QIODevice::WriteOnly)) {
        *error = failure(out->errorString());
        out.reset();
        return false;
    }
    return true;
}

QIODevice *OutputFile::device()
{
    return out.get();
}

bool OutputFile::commit(QString *error)
{
    if (!out)
        return false;
    const bool ok = out->commit();
    if (!ok)
        *error = failure(out->errorString());
    out.reset();
    return ok;
}

void OutputFile::cancel()
{
    if (out)
        out->cancelWriting();
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
