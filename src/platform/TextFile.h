#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// A text file the program writes, opened so that it can do no harm when run as
// root: never through a symbolic link, never into a FIFO, a device or anything
// else that is not a regular file, and without blocking on one.
class TextFile
{
public:
    enum class Mode {
        Append,  // created when missing, otherwise added to
        Replace, // created when missing, otherwise emptied first
    };

    TextFile() = default;
    ~TextFile();
    TextFile(const TextFile &) = delete;
    TextFile &operator=(const TextFile &) = delete;

    bool open(const QString &path, Mode mode);
    bool isOpen() const { return m_fd >= 0; }
    // The reason the last open or write failed, in words.
    QString errorString() const { return m_error; }
    // Writes all of it at once (a trace line reaches the file whole, at once).
    bool write(const QByteArray &bytes);
    void close();

private:
    int m_fd = -1;
    QString m_error;
};

} // namespace platform
