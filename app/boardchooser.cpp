#include "app/boardchooser.h"

#include "system/diaglog.h"
#include "system/settings.h"
#include "ui/uimetrics.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A small picture of the ruling, drawn from the same lines as the page.
QPixmap preview(BoardKind kind, bool chalkboard, const QSize &size, double ratio)
{
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    const QSizeF page = boardPageSize();
    pixmap.fill(boardBackground(chalkboard));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size.width() / page.width(), size.height() / page.height());
    const BoardStyle style{ kind, chalkboard };
    for (const BoardRule &rule : boardRules(style, page)) {
        QPen pen(rule.color.darker(115), 4);
        pen.setCosmetic(false);
        painter.setPen(pen);
        painter.drawLine(rule.line);
    }
    painter.setPen(QPen(QColor(0, 0, 0, 40), 6));
    painter.drawRect(QRectF(QPointF(0, 0), page));
    return pixmap;
}

} // namespace

BoardChooser::BoardChooser(const QString &title, const QString &confirm, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("boardChooser"));
    setWindowTitle(title);
    const UiMetrics ui = uiMetrics(font());
    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    const QSize iconSize(int(ui.touchTarget * 1.6), int(ui.touchTarget * 0.9));
    const QList<BoardKind> kinds = boardKinds();
    for (int i = 0; i < kinds.size(); ++i) {
        auto *button = new QToolButton(this);
        button->setObjectName(QStringLiteral("boardKind-") + boardKindKey(kinds.at(i)));
        button->setText(boardKindLabel(kinds.at(i)));
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIconSize(iconSize);
        button->setMinimumSize(iconSize.width() + ui.gapM * 2, iconSize.height() + ui.touchTarget / 2 + ui.gapM);
        group->addButton(button);
        grid->addWidget(button, i / 3, i % 3);
        m_kinds.append(button);
    }
    layout->addLayout(grid);
    m_chalk = new QCheckBox(QStringLiteral("黑板绿（白色粉笔）"), this);
    m_chalk->setObjectName(QStringLiteral("boardChalk"));
    m_chalk->setMinimumHeight(int(ui.touchTarget * 0.72));
    layout->addWidget(m_chalk);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(confirm, QDialogButtonBox::AcceptRole);
    QPushButton *cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    for (QPushButton *b : { ok, cancel })
        b->setMinimumHeight(int(ui.touchTarget * 0.72));
    ok->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_chalk, &QCheckBox::toggled, this, [this] { setStyle(style()); });
    // A double tap on a kind takes it at once.
    for (QAbstractButton *button : std::as_const(m_kinds))
        connect(button, &QAbstractButton::clicked, this, [this, button] {
            if (button->property("armed").toBool())
                accept();
            for (QAbstractButton *b : std::as_const(m_kinds))
                b->setProperty("armed", b == button);
        });
    setStyle(rememberedBoardStyle());
}

BoardStyle BoardChooser::style() const
{
    BoardStyle style;
    const QList<BoardKind> kinds = boardKinds();
    for (int i = 0; i < m_kinds.size(); ++i) {
        if (m_kinds.at(i)->isChecked())
            style.kind = kinds.at(i);
    }
    style.chalkboard = m_chalk->isChecked();
    return style;
}

void BoardChooser::setStyle(const BoardStyle &style)
{
    const QList<BoardKind> kinds = boardKinds();
    const double ratio = devicePixelRatioF();
    for (int i = 0; i < m_kinds.size(); ++i) {
        QAbstractButton *button = m_kinds.at(i);
        button->setChecked(kinds.at(i) == style.kind);
        button->setIcon(QIcon(preview(kinds.at(i), style.chalkboard, button->iconSize(), ratio)));
    }
    if (m_chalk->isChecked() != style.chalkboard)
        m_chalk->setChecked(style.chalkboard);
}

QAbstractButton *BoardChooser::kindButton(BoardKind kind) const
{
    return m_kinds.value(int(boardKinds().indexOf(kind)));
}

bool BoardChooser::ask(const QString &title, const QString &confirm, QWidget *parent, BoardStyle *style)
{
    BoardChooser chooser(title, confirm, parent);
    if (chooser.exec() != QDialog::Accepted)
        return false;
    *style = chooser.style();
    rememberBoardStyle(*style);
    return true;
}

BoardStyle rememberedBoardStyle()
{
    BoardStyle style;
    if (!boardKindFromName(boardKindSetting(), &style.kind))
        style.kind = BoardKind::Grid;
    style.chalkboard = boardChalkSetting();
    return style;
}

void rememberBoardStyle(const BoardStyle &style)
{
    QString error;
    if (!setBoardKindSetting(boardKindKey(style.kind), &error) || !setBoardChalkSetting(style.chalkboard, &error))
        logInfo(QStringLiteral("settings"), error);
}
