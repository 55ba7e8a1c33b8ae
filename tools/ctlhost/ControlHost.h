#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QSet>

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

    Order: commands run one at a time, in the order read, and only from the
    host's own idle loop. Lines that arrive while a command or a control's
    handler runs an event loop (a yield, a modal window, wait, pump) are
    queued, never run inside that loop; so every answer comes in command
    order and no command runs in the middle of a control's handler. A
    command that blocks (a modal window kept open with --keep-modals) holds
    the commands after it until it returns.

    wait: satisfied by the event raised after the previous command was
    answered (while the host was idle, or during the wait itself); an event
    raised during an earlier command does not count, since it was printed
    before that command's answer.

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
    void wakeUp();
    void executeNext();
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
    bool m_anyCommand = false;
    QEventLoop *m_idleLoop = nullptr;

    QSet<QString> m_raisedSinceAnswer;
    QString m_waitingFor;
    QEventLoop *m_waitLoop = nullptr;

    QPointer<QWidget> m_mouseGrab;
    int m_modals = 0;
};
