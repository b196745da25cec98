#include "app/exportprogress.h"

#include "ui/uimetrics.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString progressText(int page, int total)
{
    return QStringLiteral("正在导出 第 %1 / %2 页").arg(page).arg(total);
}

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Drop:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

bool isWithin(const QWidget *widget, const QWidget *window)
{
    return widget == window || window->isAncestorOf(widget);
}

} // namespace

ExportProgress::ExportProgress(QWidget *parent, int pageCount, bool quick)
    : QDialog(parent)
    , m_total(std::max(pageCount, 1))
{
    setObjectName(QStringLiteral("exportProgress"));
    setWindowTitle(QStringLiteral("导出"));
    setWindowModality(Qt::ApplicationModal);
    const UiMetrics metrics = uiMetrics(font());

    // A real layout, so the box grows around a touch-sized button instead
    // of cutting it off.
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    m_label = new QLabel(progressText(1, m_total), this);
    m_label->setObjectName(QStringLiteral("exportProgressLabel"));
    column->addWidget(m_label);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("exportProgressBar"));
    m_bar->setRange(0, m_total);
    m_bar->setValue(0);
    column->addWidget(m_bar);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_cancel->setObjectName(QStringLiteral("exportCancel"));
    m_cancel->setMinimumSize(2 * metrics.touchTarget, metrics.touchTarget);
    m_cancel->setCursor(Qt::PointingHandCursor);
    m_cancel->setAutoDefault(false);
    row->addWidget(m_cancel);
    column->addLayout(row);
    setMinimumWidth(metrics.touchTarget * 8);
    connect(m_cancel, &QPushButton::clicked, this, &ExportProgress::reject);

    qApp->installEventFilter(this);
    if (m_total > kFewPages && !quick)
        showNow();
    else
        QTimer::singleShot(kShowLateMs, this, &ExportProgress::showNow);
}

ExportProgress::~ExportProgress()
{
    qApp->removeEventFilter(this);
}

QString ExportProgress::labelText() const
{
    return m_label->text();
}

void ExportProgress::showNow()
{
    if (!m_cancelled && !isVisible())
        show();
}

void ExportProgress::progress(int done, int total)
{
    m_bar->setValue(std::clamp(done, 0, m_bar->maximum()));
    if (!m_cancelled)
        m_label->setText(progressText(std::min(done + 1, total), total));
}

void ExportProgress::reject()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    m_cancel->setEnabled(false);
    m_label->setText(QStringLiteral("正在取消…"));
}

bool ExportProgress::eventFilter(QObject *watched, QEvent *event)
{
    if (!isUserInput(event->type()) || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    // Input meant for this box goes through, and so does input for any box
    // shown over it: nothing may ever be on screen that cannot be answered.
    if (isVisible() && isWithin(widget, this))
        return false;
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != this && isWithin(widget, modal))
        return false;
    // The rest of the program waits until the export is over; a close is
    // refused outright.
    if (event->type() == QEvent::Close && widget->isWindow() && widget != this) {
        event->ignore();
        return true;
    }
    return true;
}
