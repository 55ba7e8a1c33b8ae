#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QSet>
#include <QTimer>

#include <memory>

class ControlBase;
class EventRelay;
class QDialog;
class QEventLoop;
struct ControlClass;

/*!
    Hosts one control on a window and runs the commands read from standard
    input, one JSON array per line, answering each with one JSON object on
    one line of standard output. Events, property-change notices, modal
    windows and shell requests are printed as their own lines when they
    happen.

    Order: commands run one at a time, in the order read, from whichever
    event loop turns: the host's own, or one that a control runs while it
    waits (for a server's reply, say), as a host window's handlers run
    there. Lines that arrive while a command runs (a yield inside a call,
    a modal window kept open with --keep-modals) wait until it returns, so
    every answer comes in command order.

    wait and pump do not block: their answer comes from the event loop when
    the event is raised or the time is up, and the commands after them run
    once it has been given. wait is satisfied by the event raised after the
    previous command was answered (while the host was idle, or during the
    wait itself); an event raised during an earlier command does not count,
    since it was printed before that command's answer.

    quit, the end of input or closing the window unload the control (which
    ends any wait of its own) and end the host.

    InitProperties: the control is initialised as new before the first
    command other than load, members and quit, unless load came first.
*/
class ControlHost : public QObject
{
    Q_OBJECT

public:
    struct Options {
        bool keepModals = false;
        //! When set, each modal window is saved there as modal-N.png before it closes.
        QString modalScreenshots;
    };

    ControlHost(const ControlClass &controlClass, const Options &options, QObject *parent = nullptr);
    ~ControlHost() override;

    //! Runs commands until quit or the end of input; returns the exit code.
    int run();

    //! Queues one command line.
    void enqueue(const QByteArray &line);
    //! No more lines will come: quit once the queue is done.
    void endOfInput();

    //! Writes one output line and flushes it.
    static void print(const QJsonObject &line);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void scheduleQueue();
    void runQueue();
    void finish();
    void executeNext();
    void answerWith(const QJsonObject &answer);
    //! The running wait or pump answers \a answer after \a ms unless finished before.
    void startPending(double ms, const QJsonObject &answer);
    void finishPending(const QJsonObject &answer);
    QJsonObject execute(const QByteArray &line);
    QJsonObject dispatch(const QString &command, const QJsonArray &args);
    void ensureInitialised();
    void checkControlError();

    QJsonObject load(const QJsonArray &args);
    QJsonObject save(const QJsonArray &args);
    QJsonObject show(const QJsonArray &args);
    QJsonObject hide(const QJsonArray &args);
    QJsonObject size(const QJsonArray &args);
    QJsonObject resize(const QJsonArray &args);
    QJsonObject get(const QJsonArray &args);
    QJsonObject set(const QJsonArray &args);
    QJsonObject call(const QJsonArray &args);
    QJsonObject wait(const QJsonArray &args);
    QJsonObject pump(const QJsonArray &args);
    QJsonObject members();
    QJsonObject mouse(const QJsonArray &args);
    QJsonObject key(const QJsonArray &args);
    QJsonObject screenshot(const QJsonArray &args);
    //! Sends an input event to \a target in the control, as the control's host call.
    QJsonObject deliver(QWidget *target, QEvent *event);

    QMetaProperty findProperty(const QString &hostName) const;
    QList<QMetaMethod> findMethods(const QString &hostName) const;
    void fitWindow();

    void onEvent(const QString &name, const QVariantList &args);
    int onModal(QDialog *dialog);

    Options m_options;
    std::unique_ptr<QWidget> m_window;
    QPointer<ControlBase> m_control;
    EventRelay *m_relay = nullptr;
    QStringList m_events;

    QQueue<QByteArray> m_queue;
    bool m_inputEnded = false;
    bool m_quit = false;
    bool m_initialised = false;
    bool m_running = false; // a command is being executed
    bool m_pending = false; // a wait or pump has not answered yet
    bool m_finished = false;
    QEventLoop *m_mainLoop = nullptr;

    QSet<QString> m_raisedSinceAnswer;
    QString m_waitingFor;
    QTimer m_pendingTimer;

    QPointer<QWidget> m_mouseGrab;
    int m_modals = 0;
};
