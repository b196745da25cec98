#include "app/exportprogress.h"

#include "app/uimetrics.h"

#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <limits>

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

} // namespace

ExportProgress::ExportProgress(QWidget *parent, int pageCount)
    : QProgressDialog(parent), m_total(std::max(pageCount, 1))
{
    setObjectName(QStringLiteral("exportProgress"));
    setWindowTitle(QStringLiteral("导出"));
    setLabelText(progressText(1, m_total));
    setCancelButtonText(QStringLiteral("取消"));
    setRange(0, m_total);
    setAutoClose(false);
    setAutoReset(false);
    setWindowModality(Qt::ApplicationModal);
    // Shown by this class only, never by the dialog's own estimate.
    setMinimumDuration(std::numeric_limits<int>::max());
    const UiMetrics metrics = uiMetrics(font());
    setMinimumWidth(metrics.touchTarget * 8);
    if (auto *cancel = findChild<QPushButton *>()) {
        cancel->setMinimumHeight(metrics.touchTarget);
        cancel->setCursor(Qt::PointingHandCursor);
    }
    connect(this, &QProgressDialog::canceled, this, [this] { m_cancelled = true; });
    qApp->installEventFilter(this);
    if (m_total > kFewPages)
        showNow();
    else
        QTimer::singleShot(kShowLateMs, this, &ExportProgress::showNow);
}

ExportProgress::~ExportProgress()
{
    qApp->removeEventFilter(this);
}

void ExportProgress::showNow()
{
    if (!m_cancelled && !isVisible())
        show();
}

void ExportProgress::progress(int done, int total)
{
    setValue(std::min(done, maximum()));
    setLabelText(progressText(std::min(done + 1, total), total));
}

bool ExportProgress::eventFilter(QObject *watched, QEvent *event)
{
    if (!isUserInput(event->type()) || !watched->isWidgetType())
        return false;
    // Input meant for this dialog goes through; the rest of the program
    // waits until the export is over (a close is refused outright).
    auto *widget = static_cast<QWidget *>(watched);
    if (isVisible() && (widget == this || isAncestorOf(widget)))
        return false;
    if (event->type() == QEvent::Close && widget->isWindow() && widget != this) {
        event->ignore();
        return true;
    }
    return true;
}
