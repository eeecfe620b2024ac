#include "TextFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

TextFile::~TextFile()
{
    close();
}

bool TextFile::open(const QString &path, Mode mode)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    // O_NOFOLLOW refuses a link in the last place; O_NONBLOCK keeps a FIFO
    // without a reader from holding the open. Truncation waits until the file
    // is known to be a regular one.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        m_error = errno == ELOOP ? QStringLiteral("%1 is a symbolic link").arg(path)
                                 : QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        m_error = QStringLiteral("%1 is not a regular file").arg(path);
        return false;
    }
    if (mode == Mode::Replace && ::ftruncate(fd, 0) != 0) {
        m_error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    // Back to blocking writes: a full disk must not lose half a line.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_error.clear();
    return true;
}

bool TextFile::write(const QByteArray &bytes)
{
    if (m_fd < 0) {
        m_error = QStringLiteral("the file is not open");
        return false;
    }
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

void TextFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace platform
