#include "ControlBase.h"

#include "ModalRunner.h"
#include "PropertyBag.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QMetaClassInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QShowEvent>

ControlBase::ControlBase(QWidget *parent)
    : QWidget(parent)
    , m_ambientFont(QApplication::font())
{
}

ControlBase::~ControlBase() = default;

void ControlBase::hostInitProperties()
{
    guarded([&] { initProperties(); });
}

void ControlBase::hostReadProperties(PropertyBag &bag)
{
    guarded([&] { readProperties(bag); });
}

void ControlBase::hostWriteProperties(PropertyBag &bag)
{
    guarded([&] { writeProperties(bag); });
}

void ControlBase::hostResize(int widthTwips, int heightTwips)
{
    const int before = m_resizeEvents;
    m_sizeTwips = QSize(qMax(0, widthTwips), qMax(0, heightTwips));
    resize(twipsToPixels(m_sizeTwips.width()), twipsToPixels(m_sizeTwips.height()));
    // A hidden widget gets its resize event only when shown, and a resize to
    // the same extent gets none; the host's notification must not depend on that.
    if (m_resizeEvents == before)
        notifyResized();
}

QSize ControlBase::sizeTwips() const
{
    // The extent given in twips, as long as the pixels are still the ones it gave.
    if (m_sizeTwips.isValid()
        && size() == QSize(twipsToPixels(m_sizeTwips.width()), twipsToPixels(m_sizeTwips.height())))
        return m_sizeTwips;
    return QSize(pixelsToTwips(width()), pixelsToTwips(height()));
}

std::optional<SystemError> ControlBase::takeError()
{
    return std::exchange(m_error, std::nullopt);
}

void ControlBase::setSizeTwips(int widthTwips, int heightTwips)
{
    m_sizeTwips = QSize(widthTwips, heightTwips);
    resize(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
}

int ControlBase::showModal(QDialog *dialog)
{
    if (dialog->parentWidget() != this)
        dialog->setParent(this, dialog->windowFlags() | Qt::Dialog);
    dialog->setWindowModality(Qt::ApplicationModal);
    return ModalRunner::exec(dialog);
}

void ControlBase::showErrorBox(const QString &text, const QString &title)
{
    ModalRunner::messageBox(this, QMessageBox::Critical, text,
                            title.isEmpty() ? QString::fromLatin1(metaObject()->className())
                                            : title);
}

void ControlBase::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        guarded([&] { controlShown(); });
}

void ControlBase::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ++m_resizeEvents;
    notifyResized();
}

void ControlBase::notifyResized()
{
    // The handler usually resizes the control back to its fixed extent.
    if (m_inResize)
        return;
    m_inResize = true;
    const QPointer<ControlBase> alive(this);
    guarded([&] { controlResized(); });
    if (alive)
        m_inResize = false;
}

static QList<std::pair<QString, QByteArray>> aliases(const QMetaObject *meta)
{
    QList<std::pair<QString, QByteArray>> result;
    const int index = meta->indexOfClassInfo("Aliases");
    if (index < 0)
        return result;
    const QString list = QString::fromUtf8(meta->classInfo(index).value());
    for (const QString &pair : list.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq > 0)
            result.append({pair.left(eq).trimmed(), pair.mid(eq + 1).trimmed().toUtf8()});
    }
    return result;
}

QByteArray ControlBase::memberForHostName(const QMetaObject *meta, const QString &hostName)
{
    for (const auto &[host, member] : aliases(meta)) {
        if (host == hostName)
            return member;
    }
    return hostName.toUtf8();
}

QString ControlBase::hostNameForMember(const QMetaObject *meta, const QByteArray &member)
{
    for (const auto &[host, cpp] : aliases(meta)) {
        if (cpp == member)
            return host;
    }
    return QString::fromUtf8(member);
}

static QStringList classInfoList(const QMetaObject *meta, const char *name)
{
    const int index = meta->indexOfClassInfo(name);
    if (index < 0)
        return {};
    QStringList result;
    for (const QString &item : QString::fromUtf8(meta->classInfo(index).value()).split(u',', Qt::SkipEmptyParts))
        result.append(item.trimmed());
    return result;
}

QStringList ControlBase::members(const QMetaObject *meta)
{
    QStringList result;
    if (meta->indexOfClassInfo("Members") >= 0) {
        for (const QString &name : classInfoList(meta, "Members"))
            result.append(hostNameForMember(meta, name.toUtf8()));
        return result;
    }
    for (int i = ControlBase::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        result.append(hostNameForMember(meta, meta->property(i).name()));
    for (int i = ControlBase::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Method && method.access() == QMetaMethod::Public) {
            const QString name = hostNameForMember(meta, method.name());
            if (!result.contains(name))
                result.append(name);
        }
    }
    return result;
}

QStringList ControlBase::events(const QMetaObject *meta)
{
    if (meta->indexOfClassInfo("Events") >= 0)
        return classInfoList(meta, "Events");
    QStringList result;
    for (int i = ControlBase::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() == QMetaMethod::Signal && !result.contains(name))
            result.append(name);
    }
    return result;
}

namespace {
struct KeyPair {
    int virtualKey;
    int qtKey;
};

// Keys whose virtual code is not their character code.
constexpr KeyPair keyTable[] = {
    {0x08, Qt::Key_Backspace}, {0x09, Qt::Key_Tab}, {0x0C, Qt::Key_Clear},
    {0x0D, Qt::Key_Return}, {0x10, Qt::Key_Shift}, {0x11, Qt::Key_Control},
    {0x12, Qt::Key_Alt}, {0x13, Qt::Key_Pause}, {0x14, Qt::Key_CapsLock},
    {0x1B, Qt::Key_Escape}, {0x20, Qt::Key_Space}, {0x21, Qt::Key_PageUp},
    {0x22, Qt::Key_PageDown}, {0x23, Qt::Key_End}, {0x24, Qt::Key_Home},
    {0x25, Qt::Key_Left}, {0x26, Qt::Key_Up}, {0x27, Qt::Key_Right}, {0x28, Qt::Key_Down},
    {0x2C, Qt::Key_Print}, {0x2D, Qt::Key_Insert}, {0x2E, Qt::Key_Delete},
    {0x2F, Qt::Key_Help}, {0x5B, Qt::Key_Meta}, {0x5D, Qt::Key_Menu},
    {0x90, Qt::Key_NumLock}, {0x91, Qt::Key_ScrollLock}, {0xBA, Qt::Key_Semicolon},
    {0xBB, Qt::Key_Equal}, {0xBB, Qt::Key_Plus},
    {0xBC, Qt::Key_Comma}, {0xBD, Qt::Key_Minus}, {0xBE, Qt::Key_Period},
    {0xBF, Qt::Key_Slash}, {0xC0, Qt::Key_QuoteLeft}, {0xDB, Qt::Key_BracketLeft},
    {0xDC, Qt::Key_Backslash}, {0xDD, Qt::Key_BracketRight}, {0xDE, Qt::Key_Apostrophe},
};

constexpr KeyPair keypadTable[] = {
    {0x6A, Qt::Key_Asterisk}, {0x6B, Qt::Key_Plus}, {0x6D, Qt::Key_Minus},
    {0x6E, Qt::Key_Period}, {0x6F, Qt::Key_Slash},
};

// The other member of the first pair whose \a from member is \a value, or -1.
template<size_t N>
int lookUp(const KeyPair (&table)[N], int KeyPair::*from, int KeyPair::*to, int value)
{
    for (const KeyPair &pair : table) {
        if (pair.*from == value)
            return pair.*to;
    }
    return -1;
}
} // namespace

int ControlBase::virtualKeyCode(const QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Enter)
        return 0x0D;
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) {
        // Keypad digits have codes of their own.
        if (event->modifiers() & Qt::KeypadModifier && key <= Qt::Key_9)
            return 0x60 + key - Qt::Key_0;
        return key;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70 + key - Qt::Key_F1;
    int code = -1;
    if (event->modifiers() & Qt::KeypadModifier)
        code = lookUp(keypadTable, &KeyPair::qtKey, &KeyPair::virtualKey, key);
    if (code < 0)
        code = lookUp(keyTable, &KeyPair::qtKey, &KeyPair::virtualKey, key);
    return qMax(code, 0);
}

int ControlBase::qtKeyForVirtualKey(int virtualKey)
{
    if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z'))
        return virtualKey;
    if (virtualKey >= 0x60 && virtualKey <= 0x69)
        return Qt::Key_0 + virtualKey - 0x60;
    if (virtualKey >= 0x70 && virtualKey <= 0x87)
        return Qt::Key_F1 + virtualKey - 0x70;
    int key = lookUp(keypadTable, &KeyPair::virtualKey, &KeyPair::qtKey, virtualKey);
    if (key < 0)
        key = lookUp(keyTable, &KeyPair::virtualKey, &KeyPair::qtKey, virtualKey);
    return key < 0 ? int(Qt::Key_unknown) : key;
}

namespace {
// Bit 0, 1, 2 of the runtime's Shift and Button codes.
constexpr Qt::KeyboardModifier shiftBits[] = {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier};
constexpr Qt::MouseButton buttonBits[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};

template<typename Flag, size_t N>
int codeOf(QFlags<Flag> flags, const Flag (&bits)[N])
{
    int code = 0;
    for (size_t i = 0; i < N; ++i)
        code |= flags.testFlag(bits[i]) ? 1 << i : 0;
    return code;
}

template<typename Flag, size_t N>
QFlags<Flag> flagsOf(int code, const Flag (&bits)[N])
{
    QFlags<Flag> flags;
    for (size_t i = 0; i < N; ++i) {
        if (code & (1 << i))
            flags |= bits[i];
    }
    return flags;
}
} // namespace

int ControlBase::shiftState(Qt::KeyboardModifiers modifiers)
{
    return codeOf(modifiers, shiftBits);
}

Qt::KeyboardModifiers ControlBase::modifiersForShiftState(int shift)
{
    return flagsOf(shift, shiftBits);
}

int ControlBase::buttonCode(Qt::MouseButtons buttons)
{
    return codeOf(buttons, buttonBits);
}

Qt::MouseButtons ControlBase::buttonsForCode(int button)
{
    return flagsOf(button, buttonBits);
}
