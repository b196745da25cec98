#include "pages/settingspage_controls.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"

#include <QActionGroup>
#include <QEasingCurve>
#include <QPainter>
#include <QPropertyAnimation>
#include <QSignalBlocker>
#include <QVariantAnimation>

namespace {

constexpr int kKnobMs = 180;
constexpr int kMenuFadeMs = 130;

QEasingCurve knobEasing()
{
    // The standard emphasised curve: quick start, long settle.
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.2, 0.0), QPointF(0.0, 1.0), QPointF(1.0, 1.0));
    return curve;
}

} // namespace

ToggleSwitch::ToggleSwitch(QWidget *parent)
    : QAbstractButton(parent)
    , m_knob(new QVariantAnimation(this))
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_knob->setEasingCurve(knobEasing());
    connect(m_knob, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_position = value.toDouble();
        update();
    });
}

QSize ToggleSwitch::sizeHint() const
{
    const UiMetrics m = uiMetrics(font());
    const int height = qMax(28, m.touchTarget * 2 / 3);
    return QSize(height * 7 / 4, qMax(height, m.touchTarget));
}

void ToggleSwitch::setCheckedQuietly(bool on)
{
    const QSignalBlocker blocker(this);
    setChecked(on);
}

void ToggleSwitch::checkStateSet()
{
    m_knob->stop();
    m_position = isChecked() ? 1.0 : 0.0;
    update();
}

void ToggleSwitch::nextCheckState()
{
    QAbstractButton::nextCheckState();
    animateTo(isChecked());
}

void ToggleSwitch::animateTo(bool on)
{
    m_knob->stop();
    m_knob->setStartValue(m_position);
    m_knob->setEndValue(on ? 1.0 : 0.0);
    m_knob->setDuration(reduceMotion() ? 0 : kKnobMs);
    m_knob->start();
}

void ToggleSwitch::paintEvent(QPaintEvent *)
{
    const Theme &colors = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double trackHeight = qMin(height() - 4.0, width() * 4.0 / 7.0);
    const QRectF track(1, (height() - trackHeight) / 2.0, trackHeight * 7.0 / 4.0 - 2, trackHeight);
    const double radius = track.height() / 2.0;
    const QColor onTrack = isEnabled() ? colors.accent : colors.textDisabled;
    const QColor offTrack = colors.surfaceContainerHighest;
    QColor fill = offTrack;
    fill.setRgbF(offTrack.redF() + (onTrack.redF() - offTrack.redF()) * m_position,
                 offTrack.greenF() + (onTrack.greenF() - offTrack.greenF()) * m_position,
                 offTrack.blueF() + (onTrack.blueF() - offTrack.blueF()) * m_position);
    painter.setPen(m_position < 0.5 ? QPen(colors.outline, 1.5) : Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, radius, radius);
    if (hasFocus()) {
        painter.setPen(QPen(colors.accent, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-1, -1, 1, 1), radius + 1, radius + 1);
    }
    const double knob = track.height() * (0.5 + 0.25 * m_position);
    const double travel = track.width() - track.height();
    const QPointF centre(track.left() + radius + travel * m_position, track.center().y());
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_position < 0.5 ? colors.outline : colors.onAccent);
    painter.drawEllipse(centre, knob / 2.0, knob / 2.0);
}

SelectMenu::SelectMenu(QWidget *parent)
    : QMenu(parent)
    , m_group(new QActionGroup(this))
{
    setObjectName(QStringLiteral("settingsSelectMenu"));
    m_group->setExclusive(true);
    connect(m_group, &QActionGroup::triggered, this,
            [this](QAction *action) { emit picked(int(m_entries.indexOf(action))); });
}

void SelectMenu::setEntries(const QStringList &titles, const QStringList &notes)
{
    for (int i = 0; i < titles.size(); ++i) {
        QString text = titles.at(i);
        if (i < notes.size() && !notes.at(i).isEmpty())
            text += QStringLiteral("  ·  ") + notes.at(i);
        QAction *action = addAction(text);
        action->setCheckable(true);
        m_group->addAction(action);
        m_entries.append(action);
    }
}

void SelectMenu::setCurrent(int index)
{
    if (QAction *action = entry(index))
        action->setChecked(true);
}

QAction *SelectMenu::entry(int index) const { return m_entries.value(index); }

void SelectMenu::popupFaded(const QPoint &pos)
{
    const int duration = reduceMotion() ? 0 : kMenuFadeMs;
    if (duration > 0) {
        auto *fade = new QPropertyAnimation(this, "windowOpacity", this);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        fade->setDuration(duration);
        fade->setEasingCurve(QEasingCurve::OutCubic);
        setWindowOpacity(0.0);
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        setWindowOpacity(1.0);
    }
    popup(pos);
}

SettingsSelect::SettingsSelect(const QStringList &titles, const QStringList &notes, QWidget *parent)
    : QPushButton(parent)
    , m_menu(new SelectMenu(this))
    , m_titles(titles)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    m_menu->setEntries(titles, notes);
    setCurrentIndex(0);
    connect(this, &QPushButton::clicked, this,
            [this] { m_menu->popupFaded(mapToGlobal(QPoint(0, height()))); });
    connect(m_menu, &SelectMenu::picked, this, [this](int index) {
        if (index < 0 || index == m_index) {
            m_menu->setCurrent(m_index);
            return;
        }
        setCurrentIndex(index);
        emit changed(index);
    });
}

void SettingsSelect::setCurrentIndex(int index)
{
    m_index = qBound(0, index, int(m_titles.size()) - 1);
    setText(m_titles.value(m_index) + QStringLiteral("  ▾"));
    m_menu->setCurrent(m_index);
}

SeedSwatch::SeedSwatch(const QColor &seed, const QString &name, QWidget *parent)
    : QAbstractButton(parent)
    , m_seed(seed)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(name);
    setAccessibleName(name);
}

QSize SeedSwatch::sizeHint() const
{
    const int side = uiMetrics(font()).touchTarget;
    return QSize(side, side);
}

void SeedSwatch::paintEvent(QPaintEvent *)
{
    const Theme &colors = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
    const double side = qMin(box.width(), box.height());
    const QRectF circle(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    if (isChecked()) {
        painter.setPen(QPen(colors.onSurface, 2.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circle.adjusted(1.5, 1.5, -1.5, -1.5));
    } else if (underMouse()) {
        painter.setPen(QPen(colors.outline, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circle.adjusted(1, 1, -1, -1));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_seed);
    const double inset = side * 0.18;
    painter.drawEllipse(circle.adjusted(inset, inset, -inset, -inset));
}
