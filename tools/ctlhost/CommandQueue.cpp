#include "CommandQueue.h"

#include "HostReply.h"

#include <QEventLoop>

#include <limits>

CommandQueue::CommandQueue(Executor execute, QObject *parent)
    : QObject(parent)
    , m_execute(std::move(execute))
{
    m_pendingTimer.setSingleShot(true);
}

void CommandQueue::run()
{
    QEventLoop loop;
    m_loop = &loop;
    schedule();
    if (!m_finished)
        loop.exec();
    m_loop = nullptr;
}

void CommandQueue::enqueue(const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return;
    m_lines.enqueue(line);
    schedule();
}

void CommandQueue::endOfInput()
{
    m_inputEnded = true;
    schedule();
}

void CommandQueue::quit()
{
    m_quit = true;
    schedule();
}

void CommandQueue::schedule()
{
    // Runs from whichever event loop turns next: the host's own, or one that a
    // control runs while it waits, as a host window's handlers would.
    QMetaObject::invokeMethod(this, &CommandQueue::runQueue, Qt::QueuedConnection);
}

void CommandQueue::runQueue()
{
    // A command that is still running goes on with the queue once it returns.
    if (m_running || m_finished)
        return;
    m_running = true;
    while (!m_quit && !m_pending && !m_lines.isEmpty()) {
        const QJsonObject reply = m_execute(m_lines.dequeue());
        if (!m_pending)
            answer(reply);
    }
    m_running = false;
    if (m_quit || (m_inputEnded && m_lines.isEmpty() && !m_pending))
        finish();
}

void CommandQueue::finish()
{
    if (std::exchange(m_finished, true))
        return;
    m_pendingTimer.stop();
    // A control may be waiting in an event loop of its own; unloading it, as
    // closing a host window does, ends that wait so the host loop can return.
    Q_EMIT finishing();
    if (m_loop)
        m_loop->quit();
}

void CommandQueue::answer(const QJsonObject &reply)
{
    HostReply::print(reply);
    m_raisedSinceAnswer.clear();
}

QJsonObject CommandQueue::wait(const QString &event, double timeoutMs)
{
    if (m_raisedSinceAnswer.contains(event))
        return HostReply::ok();
    m_waitingFor = event;
    startPending(timeoutMs, QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("timeout"), true}});
    return {};
}

QJsonObject CommandQueue::pump(double ms)
{
    startPending(ms, HostReply::ok());
    return {};
}

void CommandQueue::eventRaised(const QString &event)
{
    m_raisedSinceAnswer.insert(event);
    if (m_pending && event == m_waitingFor)
        finishPending(HostReply::ok());
}

void CommandQueue::startPending(double ms, const QJsonObject &answerAtEnd)
{
    m_pending = true;
    m_pendingTimer.disconnect();
    connect(&m_pendingTimer, &QTimer::timeout, this, [this, answerAtEnd] { finishPending(answerAtEnd); });
    m_pendingTimer.start(int(qBound(0.0, ms, double(std::numeric_limits<int>::max()))));
}

void CommandQueue::finishPending(const QJsonObject &reply)
{
    if (!m_pending)
        return;
    m_pending = false;
    m_waitingFor.clear();
    m_pendingTimer.stop();
    answer(reply);
    schedule();
}
