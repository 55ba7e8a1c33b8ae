#include "SyntheticInput.h"

#include "ControlBase.h"
#include "HostReply.h"
#include "HostValues.h"
#include "InputCodes.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

using namespace HostReply;

namespace {
int integerArgument(const QJsonArray &args, int index)
{
    return HostValues::fromJson(args.at(index), QMetaType::fromType<int>()).toInt();
}
} // namespace

SyntheticInput::SyntheticInput(ControlBase *control)
    : m_control(control)
{
}

QJsonObject SyntheticInput::mouse(const QJsonArray &args)
{
    const QString kind = textArgument(args, 0, QStringLiteral("mouse"));
    if (args.size() != 5 || (kind != QLatin1String("down") && kind != QLatin1String("up")))
        throw wrongArguments(QStringLiteral("mouse"));
    const QPointF at(numberArgument(args, 1, kind), numberArgument(args, 2, kind));
    const int buttonCode = integerArgument(args, 3);
    const int shift = integerArgument(args, 4);
    const bool down = kind == QLatin1String("down");

    QWidget *target = nullptr;
    if (!down && m_mouseGrab && m_control->isAncestorOf(m_mouseGrab))
        target = m_mouseGrab;
    if (!target)
        target = m_control->childAt(at.toPoint());
    if (!target)
        target = m_control;
    m_mouseGrab = down ? target : nullptr;

    const Qt::MouseButtons buttons = InputCodes::buttons(buttonCode);
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
                      button, down ? buttons : Qt::MouseButtons(), InputCodes::modifiers(shift));
    return deliver(target, &event);
}

QJsonObject SyntheticInput::key(const QJsonArray &args)
{
    const QString kind = textArgument(args, 0, QStringLiteral("key"));
    if (args.size() != 3 || (kind != QLatin1String("down") && kind != QLatin1String("up")))
        throw wrongArguments(QStringLiteral("key"));
    const int virtualKey = integerArgument(args, 1);
    const int shift = integerArgument(args, 2);
    const int qtKey = InputCodes::qtKey(virtualKey);
    Qt::KeyboardModifiers modifiers = InputCodes::modifiers(shift);
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

QJsonObject SyntheticInput::deliver(QWidget *target, QEvent *event)
{
    callControl(m_control, [&] { QCoreApplication::sendEvent(target, event); });
    return ok();
}
