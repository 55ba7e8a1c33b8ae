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

class Schedule::Private
{
public:
    explicit Private(Schedule *q) : q(q) { }

    // The bool results say whether the bar is still there: the host may
    // delete it in an event, a notice, the error box or the yield.
    void assignValue(qint32 value);
    [[nodiscard]] bool valueUpdate(qint32 value);
    [[nodiscard]] bool storeValueText(const QString &text);
    void storeMaxText(const QString &text);
    void fillWidth();
    void fillWidth(double value, double max);
    void percentageText();
    void placeTextLabels();
    [[nodiscard]] bool relayout();
    void percentageLabelSize();
    [[nodiscard]] bool fontChange(const QFont &font);
    [[nodiscard]] bool applyMouseIcon(const Picture &icon);
    void nameChanged();
    void placeFocusRing();
    [[nodiscard]] bool notify(const QString &name);
    [[nodiscard]] bool reportError(const SystemError &error);

    Schedule *const q;

    TextHolder *valuel = nullptr;
    TextHolder *maxl = nullptr;
    PictureBox *pc1 = nullptr;
    PictureBox *pc2 = nullptr;
    WindowlessLabel *label1 = nullptr;
    WindowlessLabel *label2 = nullptr;
    WindowlessLabel *label3 = nullptr;
    WindowlessLabel *label4 = nullptr;
    bool aboutShown = false;
};

Schedule::Schedule(QWidget *parent)
    : ControlBase(parent)
    , d(std::make_unique<Private>(this))
{
    ScheduleAccessible::install();
    setFocusPolicy(Qt::StrongFocus);

    d->valuel = new TextHolder(this, QStringLiteral("Valuel"), QStringLiteral("0"), true);
    d->maxl = new TextHolder(this, QStringLiteral("Maxl"), QStringLiteral("100"));

    d->pc1 = new PictureBox(this, QStringLiteral("Pc1"));
    d->pc1->setBackColor(OleColor::ButtonFace);
    d->pc1->setBorderStyle(DefaultBorderStyle);
    d->pc1->setAppearance(DefaultAppearance);

    d->pc2 = new PictureBox(d->pc1->inner(), QStringLiteral("Pc2"));
    d->pc2->setBackColor(OleColor::ActiveCaption);
    d->pc2->setPaneGeometry(QRect(0, 0, 0, FillHeight));

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
    d->label3 = makeLabel(d->pc1, "Label3", WindowlessLabel::Sizing::Fixed, OleColor::ButtonText);
    d->label1 = makeLabel(d->pc1, "Label1", WindowlessLabel::Sizing::AutoSize, OleColor::ButtonText);
    d->label4 = makeLabel(d->pc2, "Label4", WindowlessLabel::Sizing::Fixed, OleColor::HighlightText);
    d->label2 = makeLabel(d->pc2, "Label2", WindowlessLabel::Sizing::AutoSize, OleColor::HighlightText);

    connect(d->pc1, &PictureBox::mousePressed, this, &Schedule::MouseDown);
    connect(d->pc1, &PictureBox::mouseReleased, this, &Schedule::MouseUp);
    connect(d->pc2, &PictureBox::mousePressed, this, &Schedule::MouseDown);
    // A click on the fill is a whole click too: its release is reported as well.
    connect(d->pc2, &PictureBox::mouseReleased, this, &Schedule::MouseUp);

    resize(DefaultWidth, DefaultHeight);
    (void)d->relayout();
}

Schedule::~Schedule() = default;

QString Schedule::errorTitle()
{
    return QStringLiteral("Schedule");
}

// --- Properties ---------------------------------------------------------

quint32 Schedule::BackColor() const
{
    return d->pc1->backColor();
}

void Schedule::setBackColor(quint32 color)
{
    guarded([&] {
        d->pc1->setBackColor(color);
        (void)d->notify(QStringLiteral("BackColor"));
    });
}

qint16 Schedule::BorderStyle() const
{
    return d->pc1->borderStyle();
}

void Schedule::setBorderStyle(qint16 style)
{
    guarded([&] {
        d->pc1->setBorderStyle(style);
        d->placeTextLabels();
        if (d->relayout())
            (void)d->notify(QStringLiteral("BorderStyle"));
    });
}

qint32 Schedule::Max() const
{
    return const_cast<Schedule *>(this)->guarded([&] { return toInt32(localeNumber(d->maxl->text())); });
}

void Schedule::setMax(qint32 max)
{
    guarded([&] {
        if (max <= 0)
            return;
        try {
            d->storeMaxText(QString::number(max));
            d->pc1->repaintNow();
            (void)d->notify(QStringLiteral("Max"));
        } catch (const SystemError &error) {
            (void)d->reportError(error);
        }
    });
}

qint32 Schedule::Value() const
{
    return const_cast<Schedule *>(this)->guarded([&] { return toInt32(localeNumber(d->valuel->text())); });
}

void Schedule::setValue(qint32 value)
{
    guarded([&] { d->assignValue(value); });
}

quint32 Schedule::ForeColor() const
{
    return d->pc2->backColor();
}

void Schedule::setForeColor(quint32 color)
{
    guarded([&] {
        d->pc2->setBackColor(color);
        (void)d->notify(QStringLiteral("ForeColor"));
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
    return d->pc1->mouseIcon();
}

void Schedule::setMouseIcon(const Picture &icon)
{
    guarded([&] { (void)d->applyMouseIcon(icon); });
}

qint16 Schedule::MousePointer() const
{
    return d->pc1->mousePointer();
}

void Schedule::setMousePointer(qint16 pointer)
{
    guarded([&] {
        try {
            d->pc1->setMousePointer(pointer);
            d->pc2->setMousePointer(pointer);
            (void)d->notify(QStringLiteral("MousePointer"));
        } catch (const SystemError &error) {
            (void)d->reportError(error);
        }
    });
}

QString Schedule::Author() const
{
    return AuthorInfo::name();
}

void Schedule::setAuthor(const QString &)
{
    (void)d->notify(QStringLiteral("作者"));
}

QString Schedule::Mailbox() const
{
    return AuthorInfo::mail();
}

void Schedule::setMailbox(const QString &)
{
    (void)d->notify(QStringLiteral("信箱"));
}

QString Schedule::Homepage() const
{
    return AuthorInfo::homePage();
}

void Schedule::setHomepage(const QString &)
{
    (void)d->notify(QStringLiteral("主页"));
}

bool Schedule::ShowText() const
{
    return d->label1->isVisible();
}

void Schedule::setShowText(bool show)
{
    d->label1->setVisible(show);
    d->label2->setVisible(show);
    d->nameChanged();
    (void)d->notify(QStringLiteral("ShowText"));
}

QString Schedule::Text() const
{
    return d->label1->caption();
}

void Schedule::setText(const QString &text)
{
    d->label1->setCaption(text);
    d->label2->setCaption(text);
    d->nameChanged();
    (void)d->notify(QStringLiteral("Text"));
}

quint32 Schedule::BkFontColor() const
{
    return d->label1->color();
}

void Schedule::setBkFontColor(quint32 color)
{
    guarded([&] {
        d->label1->setColor(color);
        d->label3->setColor(color);
        (void)d->notify(QStringLiteral("BkFontColor"));
    });
}

quint32 Schedule::ForeFontColor() const
{
    return d->label2->color();
}

void Schedule::setForeFontColor(quint32 color)
{
    guarded([&] {
        d->label2->setColor(color);
        d->label4->setColor(color);
        (void)d->notify(QStringLiteral("ForeFontColor"));
    });
}

bool Schedule::ShowPercent() const
{
    return d->label3->isVisible();
}

void Schedule::setShowPercent(bool show)
{
    d->label3->setVisible(show);
    d->label4->setVisible(show);
    (void)d->notify(QStringLiteral("ShowPercent"));
}

QFont Schedule::Font() const
{
    return d->label1->font();
}

void Schedule::setFont(const QFont &font)
{
    guarded([&] { (void)d->fontChange(font); });
}

Picture Schedule::BkPicture() const
{
    return d->pc1->picture();
}

void Schedule::setBkPicture(const Picture &picture)
{
    d->pc1->setPicture(picture);
    (void)d->notify(QStringLiteral("BkPicture"));
}

Picture Schedule::ForePicture() const
{
    return d->pc2->picture();
}

void Schedule::setForePicture(const Picture &picture)
{
    d->pc2->setPicture(picture);
    (void)d->notify(QStringLiteral("ForePicture"));
}

qint16 Schedule::Appearance() const
{
    return d->pc1->appearance();
}

void Schedule::setAppearance(qint16 appearance)
{
    guarded([&] {
        d->pc1->setAppearance(appearance);
        (void)d->notify(QStringLiteral("Appearance"));
    });
}

bool Schedule::Doevent() const
{
    return d->valuel->flag();
}

void Schedule::setDoevent(bool yield)
{
    d->valuel->setFlag(yield);
    (void)d->notify(QStringLiteral("Doevent"));
}

bool Schedule::aboutShown() const
{
    return d->aboutShown;
}

QString Schedule::valueText() const
{
    return d->valuel->text();
}

QString Schedule::maxText() const
{
    return d->maxl->text();
}

QString Schedule::shownPercentage() const
{
    return d->label3->caption();
}

// --- Value and Max ------------------------------------------------------

void Schedule::Private::assignValue(qint32 value)
{
    if (localeNumber(maxl->text()) < value)
        throw SystemError(SystemError::InvalidPropertyValue);
    const QString remembered = valuel->text();
    try {
        (void)valueUpdate(value);
    } catch (const SystemError &error) {
        if (error.number() == SystemError::InvalidPropertyValue)
            throw;
        if (!reportError(error))
            return;
        try {
            if (storeValueText(remembered) && notify(QStringLiteral("Value")))
                fillWidth(LeadingNumber(valuel->text()), LeadingNumber(maxl->text()));
        } catch (const SystemError &) {
            // Reported once already; the caller sees no error.
        }
    }
}

bool Schedule::Private::valueUpdate(qint32 value)
{
    if (!storeValueText(QString::number(value)))
        return false;
    pc2->setVisible(LeadingNumber(valuel->text()) > 0);
    percentageText();
    if (!notify(QStringLiteral("Value")))
        return false;
    fillWidth();
    return true;
}

bool Schedule::Private::storeValueText(const QString &text)
{
    if (!valuel->setText(text))
        return true;
    if (q->isVisible()) {
        QAccessibleValueChangeEvent event(q, ScheduleAccessible::number(text));
        QAccessible::updateAccessibility(&event);
    }
    if (!q->raise(&Schedule::Change))
        return false;
    if (!valuel->flag()) {
        pc1->repaintNow();
        return true;
    }
    const QPointer<Schedule> alive(q);
    MessageLoop::yield();
    return !alive.isNull();
}

void Schedule::Private::storeMaxText(const QString &text)
{
    if (maxl->setText(text))
        fillWidth();
}

void Schedule::Private::fillWidth()
{
    fillWidth(localeNumber(valuel->text()), localeNumber(maxl->text()));
}

void Schedule::Private::fillWidth(double value, double max)
{
    pc2->setWidthFromDouble(ratio(value, max) * pc1->innerWidth());
}

void Schedule::Private::percentageText()
{
    label3->setCaption(percentText(ratio(localeNumber(valuel->text()), localeNumber(maxl->text()))));
    label4->setCaption(label3->caption());
}

// --- Layout -------------------------------------------------------------

void Schedule::Private::placeTextLabels()
{
    const double innerHeight = pc1->innerHeight();
    const double lower = pc1->borderStyle() == 1 ? 0 : 2;
    label1->move(0, innerHeight / 2 - label1->height() / 2.0 + lower);
    label2->move(0, innerHeight / 2 - label2->height() / 2.0 + lower);
}

bool Schedule::Private::relayout()
{
    try {
        pc1->setPaneGeometry(QRect(0, 0, q->width(), q->height()));
        fillWidth();
        placeTextLabels();
        const double innerWidth = pc1->innerWidth();
        // On the text's baseline, which a taller fallback font may move down.
        label3->move(innerWidth / 2 - label3->width() / 2.0,
                     label1->top() + label1->baseline() - label3->baseline());
        label4->move(innerWidth / 2 - label4->width() / 2.0,
                     label2->top() + label2->baseline() - label4->baseline());
        placeFocusRing();
    } catch (const SystemError &error) {
        return reportError(error);
    }
    return true;
}

// Both panes draw it, over their labels, along the inner edge of Pc1: the
// fill pane lies at that edge's origin, so the two halves meet at the fill's edge.
void Schedule::Private::placeFocusRing()
{
    const QRect ring = q->hasFocus() ? QRect(0, 0, pc1->innerWidth(), pc1->innerHeight()) : QRect();
    pc1->setFocusRing(ring);
    pc2->setFocusRing(ring);
}

void Schedule::Private::percentageLabelSize()
{
    label3->resize(WindowlessLabel::measure(q->QWidget::font(), QStringLiteral("100%")));
    label4->resize(label3->width(), label3->height());
}

bool Schedule::Private::fontChange(const QFont &font)
{
    for (WindowlessLabel *label : {label1, label2, label3, label4})
        label->setFont(font);
    q->QWidget::setFont(font);
    percentageLabelSize();
    return relayout() && notify(QStringLiteral("Font"));
}

bool Schedule::Private::applyMouseIcon(const Picture &icon)
{
    try {
        pc1->setMouseIcon(icon);
        pc2->setMouseIcon(icon);
        return notify(QStringLiteral("MouseIcon"));
    } catch (const SystemError &error) {
        return reportError(error);
    }
}

void Schedule::Private::nameChanged()
{
    if (q->accessibleName().isEmpty()) {
        QAccessibleEvent event(q, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

bool Schedule::Private::notify(const QString &name)
{
    return q->raise(&ControlBase::propertyChanged, name);
}

bool Schedule::Private::reportError(const SystemError &error)
{
    return q->showErrorBox(error.description(), errorTitle());
}

// --- Host notifications -------------------------------------------------

void Schedule::readProperties(PropertyBag &bag)
{
    try {
        d->aboutShown = true;
        d->pc1->setBackColor(bagColor(bag.ReadProperty(QStringLiteral("BackColor"), OleColor::ButtonFace)));
        d->storeMaxText(bagText(bag.ReadProperty(QStringLiteral("Max"), 100)));
        d->pc1->setBorderStyle(bagShort(bag.ReadProperty(QStringLiteral("BorderStyle"), DefaultBorderStyle)));
        if (!d->storeValueText(bagText(bag.ReadProperty(QStringLiteral("Value"), 0))))
            return;
        d->fillWidth();
        d->pc2->setBackColor(bagColor(bag.ReadProperty(QStringLiteral("ForeColor"), OleColor::ActiveCaption)));
        if (!d->applyMouseIcon(bagPicture(bag.ReadProperty(QStringLiteral("MouseIcon"), QVariant()))))
            return;
        const qint16 pointer = bagShort(bag.ReadProperty(QStringLiteral("MousePointer"), qint16(0)));
        d->pc1->setMousePointer(pointer);
        d->pc2->setMousePointer(pointer);
        const bool showText = bagBool(bag.ReadProperty(QStringLiteral("ShowText"), false));
        d->label1->setVisible(showText);
        d->label2->setVisible(showText);
        const QString text = bagText(bag.ReadProperty(QStringLiteral("Text"), QString()));
        d->label1->setCaption(text);
        d->label2->setCaption(text);
        d->label1->setColor(bagColor(bag.ReadProperty(QStringLiteral("BkFontColor"), OleColor::ButtonText)));
        d->label2->setColor(bagColor(bag.ReadProperty(QStringLiteral("ForeFontColor"), OleColor::HighlightText)));
        d->label3->setColor(d->label1->color());
        d->label4->setColor(d->label2->color());
        const bool showPercent = bagBool(bag.ReadProperty(QStringLiteral("ShowPercent"), false));
        d->label3->setVisible(showPercent);
        d->label4->setVisible(showPercent);
        d->pc1->setAppearance(bagShort(bag.ReadProperty(QStringLiteral("Appearance"), DefaultAppearance)));
        const QFont font = bagFont(bag.ReadProperty(QStringLiteral("Font"), ambientFont()), ambientFont());
        for (WindowlessLabel *label : {d->label1, d->label2, d->label3, d->label4})
            label->setFont(font);
        d->valuel->setFlag(bagBool(bag.ReadProperty(QStringLiteral("Doevent"), true)));
        QWidget::setFont(d->label1->font());
        d->percentageLabelSize();
        d->pc1->setPicture(bagPicture(bag.ReadProperty(QStringLiteral("BkPicture"), QVariant())));
        d->pc2->setPicture(bagPicture(bag.ReadProperty(QStringLiteral("ForePicture"), QVariant())));
        (void)d->relayout();
    } catch (const SystemError &error) {
        (void)d->reportError(error);
    }
}

void Schedule::writeProperties(PropertyBag &bag)
{
    bag.WriteProperty(QStringLiteral("BackColor"), d->pc1->backColor(), OleColor::ButtonFace);
    bag.WriteProperty(QStringLiteral("BorderStyle"), d->pc1->borderStyle(), DefaultBorderStyle);
    bag.WriteProperty(QStringLiteral("Max"), d->maxl->text(), 100);
    bag.WriteProperty(QStringLiteral("Value"), d->valuel->text(), 0);
    bag.WriteProperty(QStringLiteral("ForeColor"), d->pc2->backColor(), OleColor::ActiveCaption);
    bag.WriteProperty(QStringLiteral("MouseIcon"), pictureValue(MouseIcon()), QVariant());
    bag.WriteProperty(QStringLiteral("MousePointer"), d->pc1->mousePointer(), qint16(0));
    bag.WriteProperty(QStringLiteral("ShowText"), d->label1->isVisible(), false);
    bag.WriteProperty(QStringLiteral("Text"), d->label1->caption(), QString());
    bag.WriteProperty(QStringLiteral("BkFontColor"), d->label1->color(), OleColor::ButtonText);
    bag.WriteProperty(QStringLiteral("ForeFontColor"), d->label2->color(), OleColor::HighlightText);
    bag.WriteProperty(QStringLiteral("ShowPercent"), d->label3->isVisible(), false);
    bag.WriteProperty(QStringLiteral("Font"), d->label1->font(), ambientFont());
    bag.WriteProperty(QStringLiteral("BkPicture"), pictureValue(d->pc1->picture()), QVariant());
    bag.WriteProperty(QStringLiteral("ForePicture"), pictureValue(d->pc2->picture()), QVariant());
    bag.WriteProperty(QStringLiteral("Appearance"), d->pc1->appearance(), DefaultAppearance);
    bag.WriteProperty(QStringLiteral("Doevent"), d->valuel->flag(), true);
}

void Schedule::controlShown()
{
    if (d->aboutShown)
        return;
    const QPointer<Schedule> alive(this);
    try {
        FrmAbout::showModal();
    } catch (const SystemError &) {
        // Showing the bar never fails because of its about box.
    }
    if (alive)
        d->aboutShown = true;
}

void Schedule::controlResized()
{
    (void)d->relayout();
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
    d->placeFocusRing();
}

void Schedule::focusOutEvent(QFocusEvent *event)
{
    ControlBase::focusOutEvent(event);
    d->placeFocusRing();
}
