#include "pages/homepage_row.h"

#include "ui/uimetrics.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int kMaxNameChars = 160;
constexpr int kMaxDirChars = 320;

} // namespace

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(1, QLabel::minimumSizeHint().height());
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
}

QString RecentRow::displayText(const QString &text, int maxChars)
{
    QString shown;
    shown.reserve(qMin(int(text.size()), maxChars + 1));
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            shown.append(QChar(0x21B5)); // ↵
        else if (c.category() == QChar::Other_Control)
            shown.append(QChar(0xFFFD));
        else
            shown.append(c);
    }
    if (shown.size() > maxChars) {
        const int half = maxChars / 2;
        shown = shown.left(half) + QChar(0x2026) + shown.right(maxChars - half - 1);
    }
    return shown;
}

RecentRow::RecentRow(const QString &path, bool missing, std::function<void()> open,
                     std::function<void()> remove, QWidget *parent)
    : QFrame(parent)
    , m_path(path)
    , m_missing(missing)
    , m_open(std::move(open))
{
    setObjectName(QStringLiteral("homeRecentRow"));
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_StyledBackground);
    setToolTip(displayText(QDir::toNativeSeparators(path), kMaxDirChars));

    const QFileInfo info(path);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 8, 12, 8);
    row->setSpacing(12);
    auto *pair = new QVBoxLayout;
    pair->setSpacing(4);
    m_name = new ElidedLabel(displayText(info.fileName(), kMaxNameChars), this);
    m_name->setFont(scaledFont(font(), 1.06, 600));
    // Separators become break points so a deep folder wraps instead of
    // widening the page.
    QString dir = displayText(QDir::toNativeSeparators(info.path()), kMaxDirChars);
    dir.replace(QDir::separator(), QString(QDir::separator()) + QChar(0x200B));
    m_dir = new QLabel(dir, this);
    m_dir->setFont(scaledFont(font(), 0.9, 400));
    m_dir->setWordWrap(true);
    m_dir->setTextFormat(Qt::PlainText);
    m_dir->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    pair->addWidget(m_name);
    pair->addWidget(m_dir);
    row->addLayout(pair, 1);

    m_note = new QLabel(QStringLiteral("文件不存在"), this);
    m_note->setObjectName(QStringLiteral("homeRecentNote"));
    m_note->setFont(scaledFont(font(), 0.95, 500));
    row->addWidget(m_note);

    m_remove = new QPushButton(QStringLiteral("移除"), this);
    m_remove->setObjectName(QStringLiteral("homeRecentRemove"));
    m_remove->setFlat(true);
    m_remove->setCursor(Qt::PointingHandCursor);
    m_remove->setFocusPolicy(Qt::NoFocus);
    m_remove->setMinimumHeight(int(0.8 * uiMetrics(font()).touchTarget));
    row->addWidget(m_remove);
    connect(m_remove, &QPushButton::clicked, this, [remove = std::move(remove)] { remove(); });
    restyle();
}

void RecentRow::setMissing(bool missing)
{
    if (m_missing == missing)
        return;
    m_missing = missing;
    restyle();
}

void RecentRow::setWaiting(bool waiting)
{
    if (m_waiting == waiting)
        return;
    m_waiting = waiting;
    setCursor(waiting ? Qt::BusyCursor : Qt::PointingHandCursor);
    restyle();
}

void RecentRow::restyle()
{
    m_name->setObjectName(m_missing ? QStringLiteral("homeRecentMissing") : QStringLiteral("homeRecentName"));
    m_dir->setObjectName(m_missing ? QStringLiteral("homeRecentMissingDir") : QStringLiteral("homeRecentDir"));
    m_note->setObjectName(m_waiting ? QStringLiteral("homeRecentWaiting") : QStringLiteral("homeRecentNote"));
    m_note->setText(m_waiting ? QStringLiteral("正在查找文件…") : QStringLiteral("文件不存在"));
    m_note->setVisible(m_missing || m_waiting);
    for (QWidget *label : {static_cast<QWidget *>(m_name), static_cast<QWidget *>(m_dir),
                           static_cast<QWidget *>(m_note)}) {
        label->style()->unpolish(label);
        label->style()->polish(label);
    }
}

void RecentRow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QFrame::mousePressEvent(event);
}

void RecentRow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QFrame::mouseReleaseEvent(event);
        return;
    }
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (wasPressed && rect().contains(event->position().toPoint()) && m_open)
        m_open();
}

void RecentRow::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}
