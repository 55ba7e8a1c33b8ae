#include "Schedule.h"

#include "AuthorInfo.h"
#include "FrmAbout.h"
#include "InputCodes.h"
#include "Int32.h"
#include "LeadingNumber.h"
#include "MessageLoop.h"
#include "OleColor.h"
#include "PictureBox.h"
#include "PropertyBag.h"
#include "ScheduleAccessible.h"
#include "TextHolder.h"
#include "WindowlessLabel.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>

#include <cmath>

using namespace ScheduleControl;

namespace {

constexpr int DefaultWidth = 308;   // 4620 twips
constexpr int DefaultHeight = 131;  // 1965 twips
constexpr int FillHeight = 105;     // 1575 twips
constexpr qint16 DefaultBorderStyle = 1;
constexpr qint16 DefaultAppearance = 1;

// The locale's text-to-number conversion; a text that is no number is a type mismatch.
double localeNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        throw SystemError(SystemError::TypeMismatch);
    return value;
}

double ratio(double value, double max)
{
    if (max == 0) {
        if (value == 0)
            throw SystemError(SystemError::Overflow);
        throw SystemError(SystemError::DivisionByZero);
    }
    return value / max;
}

// Whole percent, halves away from zero, locale grouping, negatives in parentheses.
QString percentText(double fraction)
{
    const double percent = std::round(fraction * 100);
    const double magnitude = std::fabs(percent);
    const QLocale locale;
    QString text = magnitude < 9e15 ? locale.toString(qint64(magnitude))
                                    : locale.toString(magnitude, 'f', 0);
    text += u'%';
    return percent < 0 ? u'(' + text + u')' : text;
}

// Conversions of what a property bag returns, as the runtime would coerce it.
double bagNumber(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return 0;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? -1 : 0;
    if (PropertyBag::isNumber(value))
        return value.toDouble();
    if (value.typeId() == QMetaType::QString)
        return localeNumber(value.toString());
    throw SystemError(SystemError::TypeMismatch);
}

quint32 bagColor(const QVariant &value)
{
    const double number = std::round(bagNumber(value));
    if (number < -2147483648.0 || number > 4294967295.0)
        throw SystemError(SystemError::Overflow);
    return quint32(qint64(number));
}

qint16 bagShort(const QVariant &value)
{
    return toInt16(bagNumber(value));
}

bool bagBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(u"true", Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(u"false", Qt::CaseInsensitive) == 0)
            return false;
    }
    return bagNumber(value) != 0;
}

QString bagText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (value.typeId() == QMetaType::QString || PropertyBag::isNumber(value))
        return value.toString();
    throw SystemError(SystemError::TypeMismatch);
}

Picture bagPicture(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return Picture();
    if (value.typeId() == qMetaTypeId<Picture>())
        return value.value<Picture>();
    throw SystemError(SystemError::TypeMismatch);
}

QFont bagFont(const QVariant &value, const QFont &fallback)
{
    if (!value.isValid() || value.isNull())
        return fallback;
    if (value.typeId() == QMetaType::QFont)
        return value.value<QFont>();
    throw SystemError(SystemError::TypeMismatch);
}

QVariant pictureValue(const Picture &picture)
{
    return picture.isNull() ? QVariant() : QVariant::fromValue(picture);
}

} // namespace

Schedule::Schedule(QWidget *parent)
    : ControlBase(parent)
{
    ScheduleAccessible::install();
    setFocusPolicy(Qt::StrongFocus);

    m_valuel = new TextHolder(this, QStringLiteral("Valuel"), QStringLiteral("0"), true);
    m_maxl = new TextHolder(this, QStringLiteral("Maxl"), QStringLiteral("100"));

    m_pc1 = new PictureBox(this, QStringLiteral("Pc1"));
    m_pc1->setBackColor(OleColor::ButtonFace);
    m_pc1->setBorderStyle(DefaultBorderStyle);
    m_pc1->setAppearance(DefaultAppearance);

    m_pc2 = new PictureBox(m_pc1->inner(), QStringLiteral("Pc2"));
    m_pc2->setBackColor(OleColor::ActiveCaption);
    m_pc2->setPaneGeometry(QRect(0, 0, 0, FillHeight));

    const QFont font = QWidget::font();
    const auto makeLabel = [&font](PictureBox *pane, const char *name, WindowlessLabel::Sizing sizing,
                                   quint32 color) {
        auto *label = new WindowlessLabel(pane, QString::fromLatin1(name), sizing);
        label->setFont(font);
        label->setColor(color);
        if (sizing == WindowlessLabel::Sizing::Fixed) {
            label->setCaption(QStringLiteral("0%"));
            label->resize(24, 12); // 360 x 180 twips until the first font change
        }
        return label;
    };
    m_label3 = makeLabel(m_pc1, "Label3", WindowlessLabel::Sizing::Fixed, OleColor::ButtonText);
    m_label1 = makeLabel(m_pc1, "Label1", WindowlessLabel::Sizing::AutoSize, OleColor::ButtonText);
    m_label4 = makeLabel(m_pc2, "Label4", WindowlessLabel::Sizing::Fixed, OleColor::HighlightText);
    m_label2 = makeLabel(m_pc2, "Label2", WindowlessLabel::Sizing::AutoSize, OleColor::HighlightText);

    connect(m_pc1, &PictureBox::mousePressed, this, &Schedule::MouseDown);
    connect(m_pc1, &PictureBox::mouseReleased, this, &Schedule::MouseUp);
    connect(m_pc2, &PictureBox::mousePressed, this, &Schedule::MouseDown);
    // A click on the fill is a whole click too: its release is reported as well.
    connect(m_pc2, &PictureBox::mouseReleased, this, &Schedule::MouseUp);

    resize(DefaultWidth, DefaultHeight);
    (void)relayout();
}

Schedule::~Schedule() = default;

QString Schedule::errorTitle()
{
    return QStringLiteral("Schedule");
}

// --- Properties ---------------------------------------------------------

quint32 Schedule::BackColor() const
{
    return m_pc1->backColor();
}

void Schedule::setBackColor(quint32 color)
{
    guarded([&] {
        m_pc1->setBackColor(color);
        (void)notify(QStringLiteral("BackColor"));
    });
}

qint16 Schedule::BorderStyle() const
{
    return m_pc1->borderStyle();
}

void Schedule::setBorderStyle(qint16 style)
{
    guarded([&] {
        m_pc1->setBorderStyle(style);
        placeTextLabels();
        if (relayout())
            (void)notify(QStringLiteral("BorderStyle"));
    });
}

qint32 Schedule::Max() const
{
    return const_cast<Schedule *>(this)->guarded([&] { return toInt32(localeNumber(m_maxl->text())); });
}

void Schedule::setMax(qint32 max)
{
    guarded([&] {
        if (max <= 0)
            return;
        try {
            storeMaxText(QString::number(max));
            m_pc1->repaintNow();
            (void)notify(QStringLiteral("Max"));
        } catch (const SystemError &error) {
            (void)reportError(error);
        }
    });
}

qint32 Schedule::Value() const
{
    return const_cast<Schedule *>(this)->guarded([&] { return toInt32(localeNumber(m_valuel->text())); });
}

void Schedule::setValue(qint32 value)
{
    guarded([&] { assignValue(value); });
}

quint32 Schedule::ForeColor() const
{
    return m_pc2->backColor();
}

void Schedule::setForeColor(quint32 color)
{
    guarded([&] {
        m_pc2->setBackColor(color);
        (void)notify(QStringLiteral("ForeColor"));
    });
}

qint32 Schedule::hwnd() const
{
    // Asking an alien widget for its own handle would make it native; the
    // bar is drawn in the handle of its nearest native ancestor.
    return qint32(quint32(effectiveWinId()));
}

QVariant Schedule::About()
{
    return guarded([&] {
        FrmAbout::showModal();
        return QVariant();
    });
}

QVariant Schedule::WriteLetter()
{
    return guarded([&] {
        AuthorInfo::writeLetter(this);
        return QVariant();
    });
}

QVariant Schedule::VisitHomepage()
{
    return guarded([&] {
        AuthorInfo::visitHomePage(this);
        return QVariant();
    });
}

Picture Schedule::MouseIcon() const
{
    return m_pc1->mouseIcon();
}

void Schedule::setMouseIcon(const Picture &icon)
{
    guarded([&] { (void)applyMouseIcon(icon); });
}

qint16 Schedule::MousePointer() const
{
    return m_pc1->mousePointer();
}

void Schedule::setMousePointer(qint16 pointer)
{
    guarded([&] {
        try {
            m_pc1->setMousePointer(pointer);
            m_pc2->setMousePointer(pointer);
            (void)notify(QStringLiteral("MousePointer"));
        } catch (const SystemError &error) {
            (void)reportError(error);
        }
    });
}

QString Schedule::Author() const
{
    return AuthorInfo::name();
}

void Schedule::setAuthor(const QString &)
{
    (void)notify(QStringLiteral("作者"));
}

QString Schedule::Mailbox() const
{
    return AuthorInfo::mail();
}

void Schedule::setMailbox(const QString &)
{
    (void)notify(QStringLiteral("信箱"));
}

QString Schedule::Homepage() const
{
    return AuthorInfo::homePage();
}

void Schedule::setHomepage(const QString &)
{
    (void)notify(QStringLiteral("主页"));
}

bool Schedule::ShowText() const
{
    return m_label1->isVisible();
}

void Schedule::setShowText(bool show)
{
    m_label1->setVisible(show);
    m_label2->setVisible(show);
    nameChanged();
    (void)notify(QStringLiteral("ShowText"));
}

QString Schedule::Text() const
{
    return m_label1->caption();
}

void Schedule::setText(const QString &text)
{
    m_label1->setCaption(text);
    m_label2->setCaption(text);
    nameChanged();
    (void)notify(QStringLiteral("Text"));
}

quint32 Schedule::BkFontColor() const
{
    return m_label1->color();
}

void Schedule::setBkFontColor(quint32 color)
{
    guarded([&] {
        m_label1->setColor(color);
        m_label3->setColor(color);
        (void)notify(QStringLiteral("BkFontColor"));
    });
}

quint32 Schedule::ForeFontColor() const
{
    return m_label2->color();
}

void Schedule::setForeFontColor(quint32 color)
{
    guarded([&] {
        m_label2->setColor(color);
        m_label4->setColor(color);
        (void)notify(QStringLiteral("ForeFontColor"));
    });
}

bool Schedule::ShowPercent() const
{
    return m_label3->isVisible();
}

void Schedule::setShowPercent(bool show)
{
    m_label3->setVisible(show);
    m_label4->setVisible(show);
    (void)notify(QStringLiteral("ShowPercent"));
}

QFont Schedule::Font() const
{
    return m_label1->font();
}

void Schedule::setFont(const QFont &font)
{
    guarded([&] { (void)fontChange(font); });
}

Picture Schedule::BkPicture() const
{
    return m_pc1->picture();
}

void Schedule::setBkPicture(const Picture &picture)
{
    m_pc1->setPicture(picture);
    (void)notify(QStringLiteral("BkPicture"));
}

Picture Schedule::ForePicture() const
{
    return m_pc2->picture();
}

void Schedule::setForePicture(const Picture &picture)
{
    m_pc2->setPicture(picture);
    (void)notify(QStringLiteral("ForePicture"));
}

qint16 Schedule::Appearance() const
{
    return m_pc1->appearance();
}

void Schedule::setAppearance(qint16 appearance)
{
    guarded([&] {
        m_pc1->setAppearance(appearance);
        (void)notify(QStringLiteral("Appearance"));
    });
}

bool Schedule::Doevent() const
{
    return m_valuel->flag();
}

void Schedule::setDoevent(bool yield)
{
    m_valuel->setFlag(yield);
    (void)notify(QStringLiteral("Doevent"));
}

// --- Value and Max ------------------------------------------------------

void Schedule::assignValue(qint32 value)
{
    if (localeNumber(m_maxl->text()) < value)
        throw SystemError(SystemError::InvalidPropertyValue);
    const QString remembered = m_valuel->text();
    try {
        (void)valueUpdate(value);
    } catch (const SystemError &error) {
        if (error.number() == SystemError::InvalidPropertyValue)
            throw;
        if (!reportError(error))
            return;
        try {
            if (storeValueText(remembered) && notify(QStringLiteral("Value")))
                fillWidth(LeadingNumber(m_valuel->text()), LeadingNumber(m_maxl->text()));
        } catch (const SystemError &) {
            // Reported once already; the caller sees no error.
        }
    }
}

bool Schedule::valueUpdate(qint32 value)
{
    if (!storeValueText(QString::number(value)))
        return false;
    m_pc2->setVisible(LeadingNumber(m_valuel->text()) > 0);
    percentageText();
    if (!notify(QStringLiteral("Value")))
        return false;
    fillWidth();
    return true;
}

bool Schedule::storeValueText(const QString &text)
{
    if (!m_valuel->setText(text))
        return true;
    if (isVisible()) {
        QAccessibleValueChangeEvent event(this, ScheduleAccessible::number(text));
        QAccessible::updateAccessibility(&event);
    }
    if (!raise(&Schedule::Change))
        return false;
    if (!m_valuel->flag()) {
        m_pc1->repaintNow();
        return true;
    }
    const QPointer<Schedule> alive(this);
    MessageLoop::yield();
    return !alive.isNull();
}

void Schedule::storeMaxText(const QString &text)
{
    if (m_maxl->setText(text))
        fillWidth();
}

void Schedule::fillWidth()
{
    fillWidth(localeNumber(m_valuel->text()), localeNumber(m_maxl->text()));
}

void Schedule::fillWidth(double value, double max)
{
    m_pc2->setWidthFromDouble(ratio(value, max) * m_pc1->innerWidth());
}

void Schedule::percentageText()
{
    m_label3->setCaption(percentText(ratio(localeNumber(m_valuel->text()),
                                           localeNumber(m_maxl->text()))));
    m_label4->setCaption(m_label3->caption());
}

// --- Layout -------------------------------------------------------------

void Schedule::placeTextLabels()
{
    const double innerHeight = m_pc1->innerHeight();
    const double lower = m_pc1->borderStyle() == 1 ? 0 : 2;
    m_label1->move(0, innerHeight / 2 - m_label1->height() / 2.0 + lower);
    m_label2->move(0, innerHeight / 2 - m_label2->height() / 2.0 + lower);
}

bool Schedule::relayout()
{
    try {
        m_pc1->setPaneGeometry(QRect(0, 0, width(), height()));
        fillWidth();
        placeTextLabels();
        const double innerWidth = m_pc1->innerWidth();
        // On the text's baseline, which a taller fallback font may move down.
        m_label3->move(innerWidth / 2 - m_label3->width() / 2.0,
                       m_label1->top() + m_label1->baseline() - m_label3->baseline());
        m_label4->move(innerWidth / 2 - m_label4->width() / 2.0,
                       m_label2->top() + m_label2->baseline() - m_label4->baseline());
        placeFocusRing();
    } catch (const SystemError &error) {
        return reportError(error);
    }
    return true;
}

void Schedule::percentageLabelSize()
{
    m_label3->resize(WindowlessLabel::measure(QWidget::font(), QStringLiteral("100%")));
    m_label4->resize(m_label3->width(), m_label3->height());
}

bool Schedule::fontChange(const QFont &font)
{
    for (WindowlessLabel *label : {m_label1, m_label2, m_label3, m_label4})
        label->setFont(font);
    QWidget::setFont(font);
    percentageLabelSize();
    return relayout() && notify(QStringLiteral("Font"));
}

bool Schedule::applyMouseIcon(const Picture &icon)
{
    try {
        m_pc1->setMouseIcon(icon);
        m_pc2->setMouseIcon(icon);
        return notify(QStringLiteral("MouseIcon"));
    } catch (const SystemError &error) {
        return reportError(error);
    }
}

void Schedule::nameChanged()
{
    if (accessibleName().isEmpty()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

bool Schedule::notify(const QString &name)
{
    return raise(&ControlBase::propertyChanged, name);
}

bool Schedule::reportError(const SystemError &error)
{
    return showErrorBox(error.description(), errorTitle());
}

// --- Host notifications -------------------------------------------------

void Schedule::readProperties(PropertyBag &bag)
{
    try {
        m_aboutShown = true;
        m_pc1->setBackColor(bagColor(bag.ReadProperty(QStringLiteral("BackColor"), OleColor::ButtonFace)));
        storeMaxText(bagText(bag.ReadProperty(QStringLiteral("Max"), 100)));
        m_pc1->setBorderStyle(bagShort(bag.ReadProperty(QStringLiteral("BorderStyle"), DefaultBorderStyle)));
        if (!storeValueText(bagText(bag.ReadProperty(QStringLiteral("Value"), 0))))
            return;
        fillWidth();
        m_pc2->setBackColor(bagColor(bag.ReadProperty(QStringLiteral("ForeColor"), OleColor::ActiveCaption)));
        if (!applyMouseIcon(bagPicture(bag.ReadProperty(QStringLiteral("MouseIcon"), QVariant()))))
            return;
        const qint16 pointer = bagShort(bag.ReadProperty(QStringLiteral("MousePointer"), qint16(0)));
        m_pc1->setMousePointer(pointer);
        m_pc2->setMousePointer(pointer);
        const bool showText = bagBool(bag.ReadProperty(QStringLiteral("ShowText"), false));
        m_label1->setVisible(showText);
        m_label2->setVisible(showText);
        const QString text = bagText(bag.ReadProperty(QStringLiteral("Text"), QString()));
        m_label1->setCaption(text);
        m_label2->setCaption(text);
        m_label1->setColor(bagColor(bag.ReadProperty(QStringLiteral("BkFontColor"), OleColor::ButtonText)));
        m_label2->setColor(bagColor(bag.ReadProperty(QStringLiteral("ForeFontColor"), OleColor::HighlightText)));
        m_label3->setColor(m_label1->color());
        m_label4->setColor(m_label2->color());
        const bool showPercent = bagBool(bag.ReadProperty(QStringLiteral("ShowPercent"), false));
        m_label3->setVisible(showPercent);
        m_label4->setVisible(showPercent);
        m_pc1->setAppearance(bagShort(bag.ReadProperty(QStringLiteral("Appearance"), DefaultAppearance)));
        const QFont font = bagFont(bag.ReadProperty(QStringLiteral("Font"), ambientFont()), ambientFont());
        for (WindowlessLabel *label : {m_label1, m_label2, m_label3, m_label4})
            label->setFont(font);
        m_valuel->setFlag(bagBool(bag.ReadProperty(QStringLiteral("Doevent"), true)));
        QWidget::setFont(m_label1->font());
        percentageLabelSize();
        m_pc1->setPicture(bagPicture(bag.ReadProperty(QStringLiteral("BkPicture"), QVariant())));
        m_pc2->setPicture(bagPicture(bag.ReadProperty(QStringLiteral("ForePicture"), QVariant())));
        (void)relayout();
    } catch (const SystemError &error) {
        (void)reportError(error);
    }
}

void Schedule::writeProperties(PropertyBag &bag)
{
    bag.WriteProperty(QStringLiteral("BackColor"), m_pc1->backColor(), OleColor::ButtonFace);
    bag.WriteProperty(QStringLiteral("BorderStyle"), m_pc1->borderStyle(), DefaultBorderStyle);
    bag.WriteProperty(QStringLiteral("Max"), m_maxl->text(), 100);
    bag.WriteProperty(QStringLiteral("Value"), m_valuel->text(), 0);
    bag.WriteProperty(QStringLiteral("ForeColor"), m_pc2->backColor(), OleColor::ActiveCaption);
    bag.WriteProperty(QStringLiteral("MouseIcon"), pictureValue(MouseIcon()), QVariant());
    bag.WriteProperty(QStringLiteral("MousePointer"), m_pc1->mousePointer(), qint16(0));
    bag.WriteProperty(QStringLiteral("ShowText"), m_label1->isVisible(), false);
    bag.WriteProperty(QStringLiteral("Text"), m_label1->caption(), QString());
    bag.WriteProperty(QStringLiteral("BkFontColor"), m_label1->color(), OleColor::ButtonText);
    bag.WriteProperty(QStringLiteral("ForeFontColor"), m_label2->color(), OleColor::HighlightText);
    bag.WriteProperty(QStringLiteral("ShowPercent"), m_label3->isVisible(), false);
    bag.WriteProperty(QStringLiteral("Font"), m_label1->font(), ambientFont());
    bag.WriteProperty(QStringLiteral("BkPicture"), pictureValue(m_pc1->picture()), QVariant());
    bag.WriteProperty(QStringLiteral("ForePicture"), pictureValue(m_pc2->picture()), QVariant());
    bag.WriteProperty(QStringLiteral("Appearance"), m_pc1->appearance(), DefaultAppearance);
    bag.WriteProperty(QStringLiteral("Doevent"), m_valuel->flag(), true);
}

void Schedule::controlShown()
{
    if (m_aboutShown)
        return;
    const QPointer<Schedule> alive(this);
    try {
        FrmAbout::showModal();
    } catch (const SystemError &) {
        // Showing the bar never fails because of its about box.
    }
    if (alive)
        m_aboutShown = true;
}

void Schedule::controlResized()
{
    (void)relayout();
}

// --- Input --------------------------------------------------------------

void Schedule::keyPressEvent(QKeyEvent *event)
{
    const qint16 code = qint16(InputCodes::keyCode(event));
    if (code == 0) {
        ControlBase::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    if (!raise(&Schedule::KeyDown, code, qint16(InputCodes::shift(event))))
        return;
    // The window's default and cancel buttons answer these, as over any other control.
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)
        event->ignore();
}

void Schedule::keyReleaseEvent(QKeyEvent *event)
{
    const qint16 code = qint16(InputCodes::keyCode(event));
    if (code == 0 || event->isAutoRepeat()) {
        ControlBase::keyReleaseEvent(event);
        return;
    }
    (void)raise(&Schedule::KeyUp, code, qint16(InputCodes::shift(event)));
}

void Schedule::focusInEvent(QFocusEvent *event)
{
    ControlBase::focusInEvent(event);
    placeFocusRing();
}

void Schedule::focusOutEvent(QFocusEvent *event)
{
    ControlBase::focusOutEvent(event);
    placeFocusRing();
}

// Both panes draw it, over their labels, along the inner edge of Pc1: the
// fill pane lies at that edge's origin, so the two halves meet at the fill's edge.
void Schedule::placeFocusRing()
{
    const QRect ring = hasFocus() ? QRect(0, 0, m_pc1->innerWidth(), m_pc1->innerHeight()) : QRect();
    m_pc1->setFocusRing(ring);
    m_pc2->setFocusRing(ring);
}
