#pragma once

#include "CommandQueue.h"
#include "ControlMembers.h"
#include "ModalAnswerer.h"
#include "PropertyBagCommands.h"
#include "SyntheticInput.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>

#include <memory>

class ControlBase;
class EventRelay;
struct ControlClass;

/*!
    Hosts one control on a window and runs the commands read from standard
    input, one JSON array per line, answering each with one JSON object on
    one line of standard output (CommandQueue keeps their order). Events,
    property-change notices, modal windows and shell requests are printed
    as their own lines when they happen.

    quit, the end of input or closing the window unload the control (which
    ends any wait of its own) and end the host.

    The control is initialised as new before the first command other than
    load, members and quit, unless load came first.
*/
class ControlHost : public QObject
{
    Q_OBJECT

public:
    struct Options {
        //! Leave modal windows open for the user to close.
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QJsonObject execute(const QByteArray &line);
    QJsonObject dispatch(const QString &command, const QJsonArray &args);

    QJsonObject show();
    QJsonObject resize(const QJsonArray &args);
    QJsonObject wait(const QJsonArray &args);
    QJsonObject members() const;
    QJsonObject screenshot(const QJsonArray &args) const;
    void fitWindow();
    void onEvent(const QString &name, const QVariantList &args);

    std::unique_ptr<QWidget> m_window;
    QPointer<ControlBase> m_control;
    QStringList m_events;
    EventRelay *m_relay = nullptr;
    ControlMembers m_members;
    SyntheticInput m_input;
    PropertyBagCommands m_bags;
    ModalAnswerer m_modals;
    CommandQueue m_queue;
};
