#include "pages/homepage.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"
#include "pages/homepage_probe.h"
#include "pages/homepage_row.h"
#include "platform/username.h"
#include "system/settings.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QTimer>
#include <QTouchEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// How long building the list may wait for existence answers before rows of
// unanswered paths are shown as present and corrected when the answer comes.
constexpr int kBuildWaitMs = 20;
constexpr int kClickWaitMs = 150;

struct Quote
{
    const char *text;
    const char *source;
};

const Quote kQuotes[] = {
    {"书山有路勤为径，学海无涯苦作舟", "增广贤文"},
    {"少壮不努力，老大徒伤悲", "长歌行"},
    {"千里之行，始于足下", "道德经"},
    {"学而不思则罔，思而不学则殆", "论语"},
    {"宝剑锋从磨砺出，梅花香自苦寒来", "警世贤文"},
    {"莫等闲，白了少年头，空悲切", "满江红"},
    {"会当凌绝顶，一览众山小", "望岳"},
    {"天生我材必有用，千金散尽还复来", "将进酒"},
    {"长风破浪会有时，直挂云帆济沧海", "行路难"},
    {"问渠那得清如许？为有源头活水来", "观书有感"},
};

QString quoteText(const Quote &quote)
{
    const QString text = QString::fromUtf8(quote.text);
    const QString source = QString::fromUtf8(quote.source);
    if (source.isEmpty())
        return text;
    if (source.contains(QStringLiteral("《")))
        return QStringLiteral("%1 —— %2").arg(text, source);
    return QStringLiteral("%1 —— 《%2》").arg(text, source);
}

void clearLayout(QVBoxLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget())
            delete widget;
        delete item;
    }
}

} // namespace

HomePage::HomePage(QWidget *parent, RecentList recent)
    : QWidget(parent)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    setObjectName(QStringLiteral("homePage"));
    setAttribute(Qt::WA_StyledBackground);

    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    m_body = new QWidget;
    m_body->setObjectName(QStringLiteral("homeBody"));
    scroll->setWidget(m_body);
    auto *centre = new QHBoxLayout(m_body);
    centre->setContentsMargins(24, 32, 24, 32);
    m_column = new QWidget(m_body);
    centre->addStretch(1);
    centre->addWidget(m_column);
    centre->addStretch(1);

    auto *column = new QVBoxLayout(m_column);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    m_greeting = new QLabel(m_column);
    m_greeting->setObjectName(QStringLiteral("homeGreeting"));
    m_greeting->setFont(scaledFont(font(), 2.48, 600));
    m_greeting->setWordWrap(true);
    m_quote = new QLabel(m_column);
    m_quote->setObjectName(QStringLiteral("homeQuote"));
    m_quote->setFont(scaledFont(font(), 1.35, 400));
    m_quote->setWordWrap(true);
    m_primary = new QPushButton(QStringLiteral("打开"), m_column);
    m_primary->setObjectName(QStringLiteral("homePrimary"));
    m_primary->setFont(scaledFont(font(), 1.25, 600));
    m_primary->setCursor(Qt::PointingHandCursor);
    m_primary->setFocusPolicy(Qt::NoFocus);
    m_primary->setMinimumHeight(int(1.15 * uiMetrics(font()).touchTarget));
    m_board = new QPushButton(QStringLiteral("新建白板"), m_column);
    m_board->setObjectName(QStringLiteral("homeBoard"));
    m_board->setFont(scaledFont(font(), 1.25, 600));
    m_board->setCursor(Qt::PointingHandCursor);
    m_board->setFocusPolicy(Qt::NoFocus);
    m_board->setMinimumHeight(m_primary->minimumHeight());

    auto *header = new QHBoxLayout;
    header->setSpacing(12);
    auto *title = new QLabel(QStringLiteral("最近项目"), m_column);
    title->setObjectName(QStringLiteral("homeSection"));
    title->setFont(scaledFont(font(), 0.95, 600));
    m_clear = new QPushButton(QStringLiteral("清空列表"), m_column);
    m_clear->setObjectName(QStringLiteral("homeClear"));
    m_clear->setFlat(true);
    m_clear->setCursor(Qt::PointingHandCursor);
    m_clear->setFocusPolicy(Qt::NoFocus);
    m_clear->setMinimumHeight(int(0.8 * uiMetrics(font()).touchTarget));
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(m_clear);

    m_card = new QFrame(m_column);
    m_card->setObjectName(QStringLiteral("homeCard"));
    m_list = new QVBoxLayout(m_card);
    m_list->setContentsMargins(0, 4, 0, 4);
    m_list->setSpacing(0);

    column->addWidget(m_greeting);
    column->addWidget(m_quote);
    column->addSpacing(32 - 8);
    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    actions->addWidget(m_primary);
    actions->addWidget(m_board);
    actions->addStretch(1);
    column->addLayout(actions);
    column->addSpacing(16 - 8);
    column->addLayout(header);
    column->addWidget(m_card);
    column->addStretch(1);

    connect(m_primary, &QPushButton::clicked, this, &HomePage::openRequested);
    connect(m_board, &QPushButton::clicked, this, &HomePage::newBoardRequested);
    connect(m_clear, &QPushButton::clicked, this, &HomePage::clearAll);
    connect(FileExistenceProbe::instance(), &FileExistenceProbe::checked, this, &HomePage::onChecked);

    m_greetingTimer = new QTimer(this);
    m_greetingTimer->setInterval(kGreetingRefreshMs);
    connect(m_greetingTimer, &QTimer::timeout, this, &HomePage::refreshGreeting);
    m_greetingTimer->start();

    refreshGreeting();
    pickQuote();
    if (recent == RecentList::Now)
        rebuildRecent();
    applyTheme();
    updateColumnWidth();
}

QString HomePage::greetingText(int hour, const QString &name)
{
    const QString who = name.trimmed().isEmpty() ? QStringLiteral("老师") : name.trimmed();
    if (hour < 5)
        return QStringLiteral("夜深了，%1，该睡了").arg(who);
    if (hour < 11)
        return QStringLiteral("早上好，%1，今天看些什么？").arg(who);
    if (hour < 13)
        return QStringLiteral("中午好，%1，今天看些什么？").arg(who);
    if (hour < 18)
        return QStringLiteral("下午好，%1，今天看些什么？").arg(who);
    return QStringLiteral("晚上好，%1，今天看些什么？").arg(who);
}

void HomePage::setClock(std::function<QDateTime()> clock)
{
    m_clock = clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); };
    refreshGreeting();
}

void HomePage::refreshGreeting()
{
    m_greeting->setText(greetingText(m_clock().time().hour(), loginUserName()));
}

void HomePage::refresh()
{
    refreshGreeting();
    if (window()->isVisible())
        rebuildRecent();
    else
        m_recentStale = true;
    pickQuote();
}

void HomePage::pickQuote()
{
    constexpr int count = int(std::size(kQuotes));
    const quint64 random = QRandomGenerator::global()->generate64();
    const int index = int((random >> 32) * count >> 32);
    const QString text = quoteText(kQuotes[std::clamp(index, 0, count - 1)]);
    if (!text.isEmpty())
        m_quote->setText(text);
}

QList<RecentRow *> HomePage::rows() const
{
    return m_card->findChildren<RecentRow *>();
}

void HomePage::rebuildRecent()
{
    m_recentStale = false;
    clearLayout(m_list);
    const QStringList paths = readRecentFiles();
    m_clear->setEnabled(!paths.isEmpty());
    if (paths.isEmpty()) {
        auto *empty = new QLabel(QStringLiteral("暂无最近项目。打开一份 PDF 或批注包后会出现在这里。"), m_card);
        empty->setObjectName(QStringLiteral("homeRecentEmpty"));
        empty->setFont(scaledFont(font(), 0.95, 400));
        empty->setWordWrap(true);
        empty->setContentsMargins(16, 12, 16, 12);
        m_list->addWidget(empty);
        return;
    }
    FileExistenceProbe *probe = FileExistenceProbe::instance();
    for (const QString &path : paths)
        probe->request(path);
    probe->waitFor(paths, kBuildWaitMs);
    for (int i = 0; i < paths.size(); ++i) {
        const QString &path = paths.at(i);
        if (i > 0) {
            auto *holder = new QWidget(m_card);
            auto *holderLayout = new QHBoxLayout(holder);
            holderLayout->setContentsMargins(16, 0, 16, 0);
            auto *line = new QFrame(holder);
            line->setObjectName(QStringLiteral("homeRowLine"));
            line->setFixedHeight(1);
            holderLayout->addWidget(line);
            m_list->addWidget(holder);
        }
        bool exists = true;
        probe->answer(path, &exists);
        auto *row = new RecentRow(
            path, !exists, [this, path] { openRow(path); }, [this, path] { removeEntry(path); }, m_card);
        m_list->addWidget(row);
    }
}

void HomePage::onChecked(const QString &path, bool exists)
{
    for (RecentRow *row : rows()) {
        if (row->path() == path)
            row->setMissing(!exists);
    }
    if (!m_pendingOpen.isEmpty() && m_pendingOpen == path) {
        setPendingOpen(QString());
        actOnRow(path, exists);
    }
}

void HomePage::setPendingOpen(const QString &path)
{
    if (path == m_pendingOpen)
        return;
    if (m_pendingOpen.isEmpty())
        qApp->installEventFilter(this);
    else if (path.isEmpty())
        qApp->removeEventFilter(this);
    m_pendingOpen = path;
    for (RecentRow *row : rows())
        row->setWaiting(!path.isEmpty() && row->path() == path);
}

bool HomePage::isOnPendingRow(const QPointF &globalPos) const
{
    for (RecentRow *row : rows()) {
        if (row->path() == m_pendingOpen && row->isVisible()
            && row->rect().contains(row->mapFromGlobal(globalPos).toPoint()))
            return true;
    }
    return false;
}

bool HomePage::eventFilter(QObject *watched, QEvent *event)
{
    bool elsewhere = false;
    switch (event->type()) {
    case QEvent::KeyPress:
        elsewhere = true;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TabletPress:
        elsewhere = !isOnPendingRow(static_cast<QSinglePointEvent *>(event)->globalPosition());
        break;
    case QEvent::TouchBegin: {
        const auto &points = static_cast<QTouchEvent *>(event)->points();
        elsewhere = std::any_of(points.cbegin(), points.cend(),
                                [this](const QEventPoint &p) { return !isOnPendingRow(p.globalPosition()); });
        break;
    }
    default:
        break;
    }
    if (elsewhere)
        setPendingOpen(QString());
    return QWidget::eventFilter(watched, event);
}

void HomePage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A turn later: the window's first show may be followed at once by a
    // file opening in front of this page.
    if (m_recentStale) {
        QTimer::singleShot(0, this, [this] {
            if (m_recentStale && isVisible())
                rebuildRecent();
        });
    }
}

void HomePage::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A lesson or the settings page came to the front: a late answer must
    // not open a file or warn over it.
    setPendingOpen(QString());
}

void HomePage::openRow(const QString &path)
{
    // Checked again: the file may have gone since the list was built.
    FileExistenceProbe *probe = FileExistenceProbe::instance();
    probe->request(path);
    probe->waitFor({path}, kClickWaitMs);
    bool exists = false;
    if (!probe->answer(path, &exists)) {
        setPendingOpen(path);
        return;
    }
    setPendingOpen(QString());
    actOnRow(path, exists);
}

void HomePage::actOnRow(const QString &path, bool exists)
{
    if (exists)
        emit openPathRequested(path);
    else
        askRemoveMissing(path);
}

void HomePage::askRemoveMissing(const QString &path)
{
    QMessageBox box(this);
    box.setObjectName(QStringLiteral("homeMissingBox"));
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("文件不存在"));
    box.setText(QStringLiteral("找不到文件：\n%1").arg(RecentRow::displayText(QDir::toNativeSeparators(path), 320)));
    box.setInformativeText(QStringLiteral("它可能已被移动、重命名，或所在磁盘 / U 盘已拔出。\n是否从最近项目中移除？"));
    QPushButton *remove = box.addButton(QStringLiteral("移除"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("保留"), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == remove)
        removeEntry(path);
}

void HomePage::removeEntry(const QString &path)
{
    QString error;
    if (!removeRecentFile(path, &error)) {
        QMessageBox::warning(this, QStringLiteral("操作失败"), error);
        return;
    }
    // The row that asked is still inside its own click handler.
    QTimer::singleShot(0, this, &HomePage::rebuildRecent);
}

void HomePage::clearAll()
{
    if (readRecentFiles().isEmpty())
        return;
    const auto answer = QMessageBox::question(this, QStringLiteral("清空最近项目"),
                                              QStringLiteral("确定要清空最近项目列表吗？（不会删除任何文件）"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    QString error;
    if (!clearRecentFiles(&error)) {
        QMessageBox::warning(this, QStringLiteral("操作失败"), error);
        return;
    }
    rebuildRecent();
}

void HomePage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateColumnWidth();
}

void HomePage::updateColumnWidth()
{
    const int target = uiMetrics(font()).touchTarget;
    const int width = std::min(14 * target, std::max(192, this->width() - 48));
    m_column->setFixedWidth(width);
    m_primary->setFixedWidth(std::max(3 * target, int(0.36 * width)));
    m_board->setFixedWidth(std::max(3 * target, int(0.3 * width)));
}

void HomePage::applyTheme()
{
    const Theme &t = theme();
    const QString sheet =
        QStringLiteral(
            "QWidget#homePage, QWidget#homeBody { background: %1; }"
            "QScrollArea { background: %1; border: none; }"
            "QLabel#homeGreeting { color: %2; }"
            "QLabel#homeQuote { color: %3; }"
            "QLabel#homeSection { color: %3; }"
            "QPushButton#homePrimary { background: %4; color: %5; border: none; border-radius: 14px; "
            "padding: 8px 24px; }"
            "QPushButton#homePrimary:hover { background: %6; }"
            "QPushButton#homeBoard { background: %9; color: %2; border: 1px solid %10; border-radius: 14px; "
            "padding: 8px 24px; }"
            "QPushButton#homeBoard:hover { background: %7; }"
            "QPushButton#homeClear, QPushButton#homeRecentRemove { color: %3; background: transparent; "
            "border: none; border-radius: 10px; padding: 4px 12px; }"
            "QPushButton#homeClear:hover, QPushButton#homeRecentRemove:hover { background: %7; color: %2; }"
            "QPushButton#homeClear:disabled { color: %8; }"
            "QFrame#homeCard { background: %9; border: 1px solid %10; border-radius: 16px; }"
            "QFrame#homeRecentRow { background: transparent; border: none; border-radius: 12px; }"
            "QFrame#homeRecentRow:hover { background: %7; }"
            "QFrame#homeRowLine { background: %11; border: none; }"
            "QLabel#homeRecentName { color: %2; }"
            "QLabel#homeRecentDir { color: %3; }"
            "QLabel#homeRecentMissing { color: %8; text-decoration: line-through; }"
            "QLabel#homeRecentMissingDir { color: %8; }"
            "QLabel#homeRecentNote { color: %12; }"
            "QLabel#homeRecentWaiting { color: %3; }"
            "QLabel#homeRecentEmpty { color: %3; }")
            .arg(cssColor(t.desk), cssColor(t.text), cssColor(t.textMuted), cssColor(t.accent),
                 cssColor(t.onAccent), cssColor(t.accentHover), cssColor(t.hover), cssColor(t.textDisabled),
                 cssColor(t.bar))
            .arg(cssColor(t.border), cssColor(t.divider), cssColor(t.error));
    setStyleSheet(sheet);
}
