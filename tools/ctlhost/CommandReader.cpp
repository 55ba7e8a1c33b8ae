#include "CommandReader.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

CommandReader::CommandReader(int fd, QObject *parent)
    : QObject(parent)
    , m_fd(fd)
    , m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &CommandReader::readAvailable);
}

void CommandReader::readAvailable()
{
    char chunk[65536];
    const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n > 0)
        m_buffer.append(chunk, n);
    qsizetype eol;
    while ((eol = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(eol);
        m_buffer.remove(0, eol + 1);
        Q_EMIT lineRead(line);
    }
    if (n <= 0) {
        m_notifier->setEnabled(false);
        if (!m_buffer.isEmpty())
            Q_EMIT lineRead(std::exchange(m_buffer, QByteArray()));
        Q_EMIT finished();
    }
}
