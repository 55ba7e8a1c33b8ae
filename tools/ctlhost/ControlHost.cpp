#include "ControlHost.h"

#include "ControlBase.h"
#include "ControlLibrary.h"
#include "EventRelay.h"
#include "HostReply.h"
#include "HostValues.h"
#include "ModalRunner.h"
#include "Shell.h"
#include "SystemError.h"

#include <QEvent>
#include <QJsonDocument>
#include <QPixmap>

using namespace HostReply;

ControlHost::ControlHost(const ControlClass &controlClass, const Options &options, QObject *parent)
    : QObject(parent)
    , m_window(std::make_unique<QWidget>())
    , m_control(controlClass.create(m_window.get()))
    , m_events(ControlBase::events(m_control->metaObject()))
    , m_members(m_control)
    , m_input(m_control)
    , m_bags(m_control, m_members)
    , m_modals(options.keepModals, options.modalScreenshots)
    , m_queue([this](const QByteArray &line) { return execute(line); })
{
    m_window->setWindowTitle(QStringLiteral("ctlhost - %1").arg(QLatin1String(controlClass.name)));
    m_window->installEventFilter(this);
    connect(&m_queue, &CommandQueue::finishing, this, [this] { m_window.reset(); });

    ModalRunner::setHandler([this](QDialog *dialog) { return m_modals.answer(dialog); });
    Shell::setHandler([](const QString &verb, const QString &target, QWidget *) {
        print(QJsonObject{{QStringLiteral("shell"),
                           QJsonObject{{QStringLiteral("verb"), verb}, {QStringLiteral("target"), target}}}});
        return true;
    });

    m_control->hide();
    m_control->move(0, 0);
    connect(m_control, &ControlBase::propertyChanged, this, [](const QString &name) {
        print(QJsonObject{{QStringLiteral("changed"), name}});
    });
    m_relay = new EventRelay(m_control, m_events,
                             [this](const QString &name, const QVariantList &args) { onEvent(name, args); },
                             this);
    for (const QString &name : m_relay->missing())
        qWarning("ctlhost: the event %s has no signal", qPrintable(name));
    fitWindow();
}

ControlHost::~ControlHost()
{
    ModalRunner::setHandler({});
    Shell::setHandler({});
    delete m_relay;
    m_relay = nullptr;
    m_window.reset();
}

int ControlHost::run()
{
    m_queue.run();
    return 0;
}

void ControlHost::enqueue(const QByteArray &line)
{
    m_queue.enqueue(line);
}

void ControlHost::endOfInput()
{
    m_queue.endOfInput();
}

bool ControlHost::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close)
        m_queue.quit();
    return QObject::eventFilter(watched, event);
}

QJsonObject ControlHost::execute(const QByteArray &line)
{
    try {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError)
            throw invalidCall(QStringLiteral("Malformed command line (%1 at byte %2)")
                                  .arg(error.errorString())
                                  .arg(error.offset));
        if (!document.isArray() || document.array().isEmpty() || !document.array().first().isString())
            throw invalidCall(QStringLiteral("Malformed command line: not an array starting with a command"));
        QJsonArray args = document.array();
        const QString command = args.takeAt(0).toString();
        if (!m_control)
            throw invalidCall(QStringLiteral("The control is gone"));
        return dispatch(command, args);
    } catch (const SystemError &error) {
        return failure(error);
    } catch (const std::exception &error) {
        return failure(SystemError(SystemError::InternalError, QString::fromLocal8Bit(error.what())));
    }
}

QJsonObject ControlHost::dispatch(const QString &command, const QJsonArray &args)
{
    if (command == QLatin1String("quit")) {
        m_queue.quit();
        return ok();
    }
    if (command == QLatin1String("members"))
        return members();
    if (command == QLatin1String("load"))
        return m_bags.load(args);

    m_bags.ensureInitialised();
    if (command == QLatin1String("save"))
        return m_bags.save(args);
    if (command == QLatin1String("show"))
        return show();
    if (command == QLatin1String("hide")) {
        m_control->hide();
        return ok();
    }
    if (command == QLatin1String("size"))
        return ok(QJsonArray{m_control->sizeTwips().width(), m_control->sizeTwips().height()});
    if (command == QLatin1String("resize"))
        return resize(args);
    if (command == QLatin1String("get"))
        return m_members.get(args);
    if (command == QLatin1String("set"))
        return m_members.set(args);
    if (command == QLatin1String("call"))
        return m_members.call(args);
    if (command == QLatin1String("wait"))
        return wait(args);
    if (command == QLatin1String("pump"))
        return m_queue.pump(numberArgument(args, 0, command));
    if (command == QLatin1String("mouse"))
        return m_input.mouse(args);
    if (command == QLatin1String("key"))
        return m_input.key(args);
    if (command == QLatin1String("screenshot"))
        return screenshot(args);
    throw invalidCall(QStringLiteral("Unknown command: %1").arg(command));
}

QJsonObject ControlHost::show()
{
    callControl(m_control, [&] {
        m_control->show();
        fitWindow();
        if (!m_window->isVisible())
            m_window->show();
    });
    return ok();
}

QJsonObject ControlHost::resize(const QJsonArray &args)
{
    if (args.size() != 2)
        throw wrongArguments(QStringLiteral("resize"));
    const int width = HostValues::fromJson(args.at(0), QMetaType::fromType<int>()).toInt();
    const int height = HostValues::fromJson(args.at(1), QMetaType::fromType<int>()).toInt();
    callControl(m_control, [&] { m_control->hostResize(width, height); });
    fitWindow();
    return ok();
}

QJsonObject ControlHost::wait(const QJsonArray &args)
{
    const QString event = textArgument(args, 0, QStringLiteral("wait"));
    const double timeout = numberArgument(args, 1, QStringLiteral("wait"));
    if (!m_events.contains(event))
        throw invalidCall(QStringLiteral("No such event: %1").arg(event));
    return m_queue.wait(event, timeout);
}

QJsonObject ControlHost::members() const
{
    return ok(QJsonObject{
        {QStringLiteral("members"), QJsonArray::fromStringList(ControlBase::members(m_control->metaObject()))},
        {QStringLiteral("events"), QJsonArray::fromStringList(m_events)}});
}

QJsonObject ControlHost::screenshot(const QJsonArray &args) const
{
    const QString path = textArgument(args, 0, QStringLiteral("screenshot"));
    if (args.size() != 1)
        throw wrongArguments(QStringLiteral("screenshot"));
    if (!m_control->grab().save(path, "PNG"))
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1").arg(path));
    return ok();
}

void ControlHost::fitWindow()
{
    if (m_control && m_window)
        m_window->resize(m_control->size().expandedTo(QSize(1, 1)));
}

void ControlHost::onEvent(const QString &name, const QVariantList &args)
{
    QJsonArray values;
    for (const QVariant &arg : args)
        values.append(HostValues::toJson(arg));
    print(QJsonObject{{QStringLiteral("event"), name}, {QStringLiteral("args"), values}});
    m_queue.eventRaised(name);
}
