#include "ControlHost.h"

#include "ControlBase.h"
#include "ControlLibrary.h"
#include "EventRelay.h"
#include "HostValues.h"
#include "ModalRunner.h"
#include "Picture.h"
#include "PropertyBag.h"
#include "Shell.h"
#include "SystemError.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QHash>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {
// The runtime's numbers for what a host can get wrong.
constexpr int InvalidCall = 5;
constexpr int NoSuchMember = 438;
constexpr int WrongArguments = 450;
constexpr int ReadOnlyProperty = 383;

SystemError noSuchMember(const QString &name)
{
    return SystemError(NoSuchMember,
                       QStringLiteral("Object doesn't support this property or method: %1").arg(name));
}

SystemError wrongArguments(const QString &command)
{
    return SystemError(WrongArguments,
                       QStringLiteral("Wrong number of arguments or invalid property assignment: %1")
                           .arg(command));
}

QString textArgument(const QJsonArray &args, int index, const QString &command)
{
    if (index >= args.size() || !args.at(index).isString())
        throw wrongArguments(command);
    return args.at(index).toString();
}

double numberArgument(const QJsonArray &args, int index, const QString &command)
{
    if (index >= args.size() || !args.at(index).isDouble())
        throw wrongArguments(command);
    return args.at(index).toDouble();
}

QJsonObject ok()
{
    return QJsonObject{{QStringLiteral("ok"), true}};
}

QJsonObject ok(const QJsonValue &value)
{
    return QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("value"), value}};
}

QJsonObject failure(const SystemError &error)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), error.number()}, {QStringLiteral("description"), error.description()}};
}

QString withoutMnemonic(QString text)
{
    return text.remove(u'&');
}

// The button that closes a dialog as OK would.
QAbstractButton *acceptButton(QDialog *dialog)
{
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        if (box->defaultButton())
            return box->defaultButton();
        if (QAbstractButton *okButton = box->button(QMessageBox::Ok))
            return okButton;
        const QList<QAbstractButton *> buttons = box->buttons();
        return buttons.isEmpty() ? nullptr : buttons.first();
    }
    QList<QPushButton *> buttons;
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->isVisibleTo(dialog) && button->isEnabled())
            buttons.append(button);
    }
    for (QPushButton *button : std::as_const(buttons)) {
        if (button->isDefault())
            return button;
    }
    for (QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>()) {
        for (QAbstractButton *button : box->buttons()) {
            if (box->buttonRole(button) == QDialogButtonBox::AcceptRole)
                return button;
        }
    }
    if (buttons.size() == 1)
        return buttons.first();
    for (QPushButton *button : std::as_const(buttons)) {
        const QString text = withoutMnemonic(button->text());
        if (text.startsWith(QLatin1String("OK"), Qt::CaseInsensitive) || text.startsWith(u"确定"))
            return button;
    }
    return nullptr;
}
} // namespace

ControlHost::ControlHost(const ControlClass &controlClass, const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_window(std::make_unique<QWidget>())
{
    m_pendingTimer.setSingleShot(true);
    m_window->setWindowTitle(QStringLiteral("ctlhost - %1").arg(QLatin1String(controlClass.name)));
    m_window->installEventFilter(this);

    ModalRunner::setHandler([this](QDialog *dialog) { return onModal(dialog); });
    Shell::setHandler([](const QString &verb, const QString &target, QWidget *) {
        print(QJsonObject{{QStringLiteral("shell"),
                           QJsonObject{{QStringLiteral("verb"), verb}, {QStringLiteral("target"), target}}}});
        return true;
    });

    m_control = controlClass.create(m_window.get());
    m_control->hide();
    m_control->move(0, 0);
    connect(m_control, &ControlBase::propertyChanged, this, [](const QString &name) {
        print(QJsonObject{{QStringLiteral("changed"), name}});
    });
    m_events = ControlBase::events(m_control->metaObject());
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

void ControlHost::print(const QJsonObject &line)
{
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

int ControlHost::run()
{
    QEventLoop loop;
    m_mainLoop = &loop;
    scheduleQueue();
    if (!m_finished)
        loop.exec();
    m_mainLoop = nullptr;
    return 0;
}

void ControlHost::enqueue(const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return;
    m_queue.enqueue(line);
    scheduleQueue();
}

void ControlHost::endOfInput()
{
    m_inputEnded = true;
    scheduleQueue();
}

void ControlHost::scheduleQueue()
{
    // Runs from whichever event loop turns next: the host's own, or one that a
    // control runs while it waits, as a host window's handlers would.
    QMetaObject::invokeMethod(this, &ControlHost::runQueue, Qt::QueuedConnection);
}

void ControlHost::runQueue()
{
    // A command that is still running goes on with the queue once it returns.
    if (m_running || m_finished)
        return;
    m_running = true;
    while (!m_quit && !m_pending && !m_queue.isEmpty())
        executeNext();
    m_running = false;
    if (m_quit || (m_inputEnded && m_queue.isEmpty() && !m_pending))
        finish();
}

void ControlHost::finish()
{
    if (std::exchange(m_finished, true))
        return;
    m_pendingTimer.stop();
    // A control may be waiting in an event loop of its own; unloading it, as
    // closing a host window does, ends that wait so the host loop can return.
    m_window.reset();
    if (m_mainLoop)
        m_mainLoop->quit();
}

bool ControlHost::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close) {
        m_quit = true;
        scheduleQueue();
    }
    return QObject::eventFilter(watched, event);
}

void ControlHost::executeNext()
{
    const QByteArray line = m_queue.dequeue();
    const QJsonObject answer = execute(line);
    if (!m_pending)
        answerWith(answer);
}

void ControlHost::answerWith(const QJsonObject &answer)
{
    print(answer);
    m_raisedSinceAnswer.clear();
}

void ControlHost::finishPending(const QJsonObject &answer)
{
    if (!m_pending)
        return;
    m_pending = false;
    m_waitingFor.clear();
    m_pendingTimer.stop();
    answerWith(answer);
    scheduleQueue();
}

QJsonObject ControlHost::execute(const QByteArray &line)
{
    try {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError)
            throw SystemError(InvalidCall, QStringLiteral("Malformed command line (%1 at byte %2)")
                                               .arg(error.errorString())
                                               .arg(error.offset));
        if (!document.isArray() || document.array().isEmpty() || !document.array().first().isString())
            throw SystemError(InvalidCall,
                              QStringLiteral("Malformed command line: not an array starting with a command"));
        QJsonArray args = document.array();
        const QString command = args.takeAt(0).toString();
        if (!m_control)
            throw SystemError(InvalidCall, QStringLiteral("The control is gone"));
        return dispatch(command, args);
    } catch (const SystemError &error) {
        return failure(error);
    } catch (const std::exception &error) {
        return failure(SystemError(51, QString::fromLocal8Bit(error.what())));
    }
}

QJsonObject ControlHost::dispatch(const QString &command, const QJsonArray &args)
{
    if (command == QLatin1String("quit")) {
        m_quit = true;
        return ok();
    }
    if (command == QLatin1String("members"))
        return members();
    if (command == QLatin1String("load"))
        return load(args);

    using Command = QJsonObject (ControlHost::*)(const QJsonArray &);
    static const QHash<QString, Command> commands{
        {QStringLiteral("save"), &ControlHost::save}, {QStringLiteral("show"), &ControlHost::show},
        {QStringLiteral("hide"), &ControlHost::hide}, {QStringLiteral("resize"), &ControlHost::resize},
        {QStringLiteral("size"), &ControlHost::size}, {QStringLiteral("get"), &ControlHost::get},
        {QStringLiteral("set"), &ControlHost::set}, {QStringLiteral("call"), &ControlHost::call},
        {QStringLiteral("wait"), &ControlHost::wait}, {QStringLiteral("pump"), &ControlHost::pump},
        {QStringLiteral("mouse"), &ControlHost::mouse}, {QStringLiteral("key"), &ControlHost::key},
        {QStringLiteral("screenshot"), &ControlHost::screenshot},
    };
    ensureInitialised();
    if (const Command run = commands.value(command))
        return (this->*run)(args);
    throw SystemError(InvalidCall, QStringLiteral("Unknown command: %1").arg(command));
}

void ControlHost::ensureInitialised()
{
    if (m_initialised)
        return;
    m_initialised = true;
    m_control->hostInitProperties();
    checkControlError();
}

void ControlHost::checkControlError()
{
    if (!m_control)
        throw SystemError(InvalidCall, QStringLiteral("The control is gone"));
    if (std::optional<SystemError> error = m_control->takeError())
        throw *error;
}

QJsonObject ControlHost::load(const QJsonArray &args)
{
    if (args.size() != 1 || !(args.at(0).isObject() || args.at(0).isString()))
        throw wrongArguments(QStringLiteral("load"));
    if (m_initialised)
        throw SystemError(InvalidCall, QStringLiteral("The control has been initialised already"));
    PropertyBag bag;
    if (args.at(0).isString()) {
        bag = PropertyBag::load(args.at(0).toString());
    } else {
        const QJsonObject saved = args.at(0).toObject();
        for (auto it = saved.begin(); it != saved.end(); ++it) {
            // A property's own type says whether a text is a picture's path.
            const QMetaProperty property = findProperty(it.key());
            const int type = property.isValid() ? property.metaType().id() : QMetaType::UnknownType;
            if (type == qMetaTypeId<Picture>() || (type == QMetaType::QFont && it.value().isObject()))
                bag.setValue(it.key(), HostValues::fromJson(it.value(), property.metaType()));
            else
                bag.setValue(it.key(), PropertyBag::fromJsonValue(it.value()));
        }
    }
    m_initialised = true;
    m_control->takeError();
    m_control->hostReadProperties(bag);
    checkControlError();
    return ok();
}

QJsonObject ControlHost::save(const QJsonArray &args)
{
    if (args.size() > 1 || (args.size() == 1 && !args.at(0).isString()))
        throw wrongArguments(QStringLiteral("save"));
    PropertyBag bag;
    m_control->takeError();
    m_control->hostWriteProperties(bag);
    checkControlError();
    QJsonArray writes;
    for (const PropertyBag::Write &write : bag.writes())
        writes.append(QJsonArray{write.name, HostValues::toJson(write.value),
                                 HostValues::toJson(write.defaultValue)});
    if (args.size() == 1 && !bag.save(args.at(0).toString()))
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1").arg(args.at(0).toString()));
    return ok(writes);
}

QJsonObject ControlHost::show(const QJsonArray &)
{
    m_control->takeError();
    m_control->show();
    fitWindow();
    if (!m_window->isVisible())
        m_window->show();
    checkControlError();
    return ok();
}

QJsonObject ControlHost::hide(const QJsonArray &)
{
    m_control->hide();
    return ok();
}

QJsonObject ControlHost::size(const QJsonArray &)
{
    const QSize size = m_control->sizeTwips();
    return ok(QJsonArray{size.width(), size.height()});
}

QJsonObject ControlHost::resize(const QJsonArray &args)
{
    if (args.size() != 2)
        throw wrongArguments(QStringLiteral("resize"));
    const int width = HostValues::fromJson(args.at(0), QMetaType::fromType<int>()).toInt();
    const int height = HostValues::fromJson(args.at(1), QMetaType::fromType<int>()).toInt();
    m_control->takeError();
    m_control->hostResize(width, height);
    checkControlError();
    fitWindow();
    return ok();
}

QJsonObject ControlHost::get(const QJsonArray &args)
{
    if (args.size() != 1 || !args.at(0).isString())
        throw wrongArguments(QStringLiteral("get"));
    const QString name = args.at(0).toString();
    const QMetaProperty property = findProperty(name);
    if (!property.isValid() || !property.isReadable())
        throw noSuchMember(name);
    m_control->takeError();
    const QVariant value = property.read(m_control);
    checkControlError();
    return ok(HostValues::toJson(value));
}

QJsonObject ControlHost::set(const QJsonArray &args)
{
    if (args.size() != 2 || !args.at(0).isString())
        throw wrongArguments(QStringLiteral("set"));
    const QString name = args.at(0).toString();
    const QMetaProperty property = findProperty(name);
    if (!property.isValid())
        throw noSuchMember(name);
    if (!property.isWritable())
        throw SystemError(ReadOnlyProperty,
                          QStringLiteral("Can't assign to read-only property: %1").arg(name));
    const QVariant value = HostValues::fromJson(args.at(1), property.metaType());
    m_control->takeError();
    property.write(m_control, value);
    checkControlError();
    return ok();
}

QJsonObject ControlHost::call(const QJsonArray &args)
{
    if (args.isEmpty() || !args.at(0).isString())
        throw wrongArguments(QStringLiteral("call"));
    const QString name = args.at(0).toString();
    const QList<QMetaMethod> methods = findMethods(name);
    if (methods.isEmpty())
        throw noSuchMember(name);
    const int count = int(args.size()) - 1;
    QMetaMethod method;
    for (const QMetaMethod &candidate : methods) {
        if (candidate.parameterCount() == count) {
            method = candidate;
            break;
        }
    }
    if (!method.isValid())
        throw wrongArguments(name);

    // Every parameter in storage of its exact type; a QVariant parameter is the variant itself.
    std::vector<QVariant> values(size_t(count) + 1);
    std::vector<void *> argv(size_t(count) + 1, nullptr);
    for (int i = 0; i < count; ++i) {
        QMetaType type = method.parameterMetaType(i);
        if (!type.isValid()) {
            QByteArray typeName = method.parameterTypeName(i);
            if (typeName.endsWith('&'))
                typeName.chop(1);
            type = QMetaType::fromName(typeName);
        }
        QVariant &value = values[size_t(i) + 1];
        value = HostValues::fromJson(args.at(i + 1), type);
        if (type.id() == QMetaType::QVariant) {
            argv[size_t(i) + 1] = &value;
            continue;
        }
        if (value.metaType() != type && !value.convert(type))
            throw SystemError(SystemError::TypeMismatch);
        argv[size_t(i) + 1] = value.data();
    }
    const QMetaType returnType = method.returnMetaType();
    QVariant &result = values[0];
    if (returnType.id() == QMetaType::QVariant) {
        argv[0] = &result;
    } else if (returnType.isValid() && returnType.id() != QMetaType::Void) {
        result = QVariant(returnType);
        argv[0] = result.data();
    }
    m_control->takeError();
    QMetaObject::metacall(m_control, QMetaObject::InvokeMetaMethod, method.methodIndex(), argv.data());
    checkControlError();
    return ok(HostValues::toJson(result));
}

// wait and pump answer later, from the event loop, so that the host keeps
// taking commands and keeps time while a control waits in a loop of its own.
QJsonObject ControlHost::wait(const QJsonArray &args)
{
    const QString event = textArgument(args, 0, QStringLiteral("wait"));
    const double timeout = numberArgument(args, 1, QStringLiteral("wait"));
    if (!m_events.contains(event))
        throw SystemError(InvalidCall, QStringLiteral("No such event: %1").arg(event));
    if (m_raisedSinceAnswer.contains(event))
        return ok();
    m_waitingFor = event;
    startPending(timeout, QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("timeout"), true}});
    return {};
}

QJsonObject ControlHost::pump(const QJsonArray &args)
{
    const double ms = numberArgument(args, 0, QStringLiteral("pump"));
    startPending(ms, ok());
    return {};
}

void ControlHost::startPending(double ms, const QJsonObject &answerAtEnd)
{
    m_pending = true;
    m_pendingTimer.disconnect();
    connect(&m_pendingTimer, &QTimer::timeout, this, [this, answerAtEnd] { finishPending(answerAtEnd); });
    m_pendingTimer.start(int(qBound(0.0, ms, 2147483647.0)));
}

QJsonObject ControlHost::members()
{
    const QMetaObject *meta = m_control->metaObject();
    return ok(QJsonObject{{QStringLiteral("members"), QJsonArray::fromStringList(ControlBase::members(meta))}, {QStringLiteral("events"), QJsonArray::fromStringList(m_events)}});
}

QJsonObject ControlHost::mouse(const QJsonArray &args)
{
    const QString kind = textArgument(args, 0, QStringLiteral("mouse"));
    if (args.size() != 5 || (kind != QLatin1String("down") && kind != QLatin1String("up")))
        throw wrongArguments(QStringLiteral("mouse"));
    const QPointF at(numberArgument(args, 1, kind), numberArgument(args, 2, kind));
    const int buttonCode = HostValues::fromJson(args.at(3), QMetaType::fromType<int>()).toInt();
    const int shift = HostValues::fromJson(args.at(4), QMetaType::fromType<int>()).toInt();
    const bool down = kind == QLatin1String("down");

    QWidget *target = nullptr;
    if (!down && m_mouseGrab && m_control->isAncestorOf(m_mouseGrab))
        target = m_mouseGrab;
    if (!target)
        target = m_control->childAt(at.toPoint());
    if (!target)
        target = m_control;
    m_mouseGrab = down ? target : nullptr;

    const Qt::MouseButtons buttons = ControlBase::buttonsForCode(buttonCode);
    Qt::MouseButton button = Qt::NoButton;
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        if (buttons & b) {
            button = b;
            break;
        }
    }
    const QPointF local = at - QPointF(target == m_control.data() ? QPoint() : target->mapTo(m_control, QPoint()));
    const QPointF scene = local + QPointF(target->mapTo(target->window(), QPoint()));
    const QPointF global = local + QPointF(target->mapToGlobal(QPoint()));
    QMouseEvent event(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, local, scene, global,
                      button, down ? buttons : Qt::MouseButtons(), ControlBase::modifiersForShiftState(shift));
    return deliver(target, &event);
}

QJsonObject ControlHost::key(const QJsonArray &args)
{
    const QString kind = textArgument(args, 0, QStringLiteral("key"));
    if (args.size() != 3 || (kind != QLatin1String("down") && kind != QLatin1String("up")))
        throw wrongArguments(QStringLiteral("key"));
    const int virtualKey = HostValues::fromJson(args.at(1), QMetaType::fromType<int>()).toInt();
    const int shift = HostValues::fromJson(args.at(2), QMetaType::fromType<int>()).toInt();
    const int qtKey = ControlBase::qtKeyForVirtualKey(virtualKey);
    Qt::KeyboardModifiers modifiers = ControlBase::modifiersForShiftState(shift);
    if (virtualKey >= 0x60 && virtualKey <= 0x6F)
        modifiers |= Qt::KeypadModifier;
    QString text;
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        text = QChar(shift & 1 ? qtKey : qtKey + ('a' - 'A'));
    else if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || qtKey == Qt::Key_Space)
        text = QChar(qtKey);
    else if (qtKey == Qt::Key_Return)
        text = QStringLiteral("\r");
    QKeyEvent event(kind == QLatin1String("down") ? QEvent::KeyPress : QEvent::KeyRelease, qtKey, modifiers,
                    0, quint32(virtualKey), 0, text);
    QWidget *target = m_control->focusWidget();
    if (!target || !m_control->isAncestorOf(target))
        target = m_control;
    return deliver(target, &event);
}

QJsonObject ControlHost::deliver(QWidget *target, QEvent *event)
{
    m_control->takeError();
    QCoreApplication::sendEvent(target, event);
    checkControlError();
    return ok();
}

QJsonObject ControlHost::screenshot(const QJsonArray &args)
{
    const QString path = textArgument(args, 0, QStringLiteral("screenshot"));
    if (args.size() != 1)
        throw wrongArguments(QStringLiteral("screenshot"));
    const QPixmap pixmap = m_control->grab();
    if (!pixmap.save(path, "PNG"))
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1").arg(path));
    return ok();
}

QMetaProperty ControlHost::findProperty(const QString &hostName) const
{
    const QMetaObject *meta = m_control->metaObject();
    const QByteArray member = ControlBase::memberForHostName(meta, hostName);
    const int first = ControlBase::staticMetaObject.propertyCount();
    for (int i = first; i < meta->propertyCount(); ++i) {
        if (member == meta->property(i).name())
            return meta->property(i);
    }
    // Host names are not case sensitive.
    for (int i = first; i < meta->propertyCount(); ++i) {
        if (QString::fromLatin1(member).compare(QLatin1String(meta->property(i).name()), Qt::CaseInsensitive) == 0)
            return meta->property(i);
    }
    return QMetaProperty();
}

QList<QMetaMethod> ControlHost::findMethods(const QString &hostName) const
{
    const QMetaObject *meta = m_control->metaObject();
    const QByteArray member = ControlBase::memberForHostName(meta, hostName);
    QList<QMetaMethod> exact;
    QList<QMetaMethod> caseless;
    for (int i = ControlBase::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal || method.access() != QMetaMethod::Public)
            continue;
        if (method.name() == member)
            exact.append(method);
        else if (QString::fromLatin1(method.name()).compare(QString::fromLatin1(member), Qt::CaseInsensitive) == 0)
            caseless.append(method);
    }
    return exact.isEmpty() ? caseless : exact;
}

void ControlHost::fitWindow()
{
    if (m_control)
        m_window->resize(m_control->size().expandedTo(QSize(1, 1)));
}

void ControlHost::onEvent(const QString &name, const QVariantList &args)
{
    QJsonArray values;
    for (const QVariant &arg : args)
        values.append(HostValues::toJson(arg));
    print(QJsonObject{{QStringLiteral("event"), name}, {QStringLiteral("args"), values}});
    m_raisedSinceAnswer.insert(name);
    if (m_pending && name == m_waitingFor)
        finishPending(ok());
}

int ControlHost::onModal(QDialog *dialog)
{
    QPointer<QDialog> guard(dialog);
    if (!m_options.keepModals)
        dialog->show();
    QJsonObject modal{{QStringLiteral("title"), dialog->windowTitle()}, {QStringLiteral("texts"), QJsonArray::fromStringList(ModalRunner::texts(dialog))}};
    ++m_modals;
    if (!m_options.modalScreenshots.isEmpty()) {
        const QString path = m_options.modalScreenshots + QStringLiteral("/modal-%1.png").arg(m_modals);
        if (QDir().mkpath(m_options.modalScreenshots) && dialog->grab().save(path, "PNG"))
            modal.insert(QStringLiteral("screenshot"), path);
    }
    print(QJsonObject{{QStringLiteral("modal"), modal}});
    if (m_options.keepModals)
        return dialog->exec();

    bool finished = false;
    const QMetaObject::Connection connection =
        connect(dialog, &QDialog::finished, this, [&finished] { finished = true; });
    if (QAbstractButton *button = acceptButton(dialog))
        button->click();
    if (guard && !finished)
        guard->accept();
    disconnect(connection);
    if (!guard)
        return QDialog::Accepted;
    guard->hide();
    return guard->result();
}
