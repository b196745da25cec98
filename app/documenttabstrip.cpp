#include "app/documenttabstrip.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabBar>

DocumentTabStrip::DocumentTabStrip(QWidget *parent)
    : QWidget(parent)
    , m_bar(new QTabBar(this))
    , m_layout(new QHBoxLayout(this))
    , m_home(new QPushButton(QStringLiteral("首页"), this))
    , m_add(new QPushButton(QStringLiteral("+"), this))
    , m_settings(new QPushButton(QStringLiteral("设置"), this))
{
    setObjectName(QStringLiteral("documentTabs"));
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_bar->setTabsClosable(true);
    m_bar->setExpanding(false);
    m_bar->setDocumentMode(true);
    m_bar->setFocusPolicy(Qt::NoFocus);
    for (QPushButton *button : {m_home, m_add, m_settings}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
        button->setCheckable(button != m_add);
    }
    m_home->setObjectName(QStringLiteral("tabsHome"));
    m_add->setObjectName(QStringLiteral("tabsAdd"));
    m_settings->setObjectName(QStringLiteral("tabsSettings"));
    m_layout->addWidget(m_home);
    m_layout->addWidget(m_bar, 1);
    m_layout->addWidget(m_add);
    m_layout->addWidget(m_settings);

    connect(m_bar, &QTabBar::currentChanged, this, &DocumentTabStrip::currentChanged);
    connect(m_bar, &QTabBar::tabCloseRequested, this, &DocumentTabStrip::closeRequested);
    connect(m_add, &QPushButton::clicked, this, &DocumentTabStrip::addRequested);
    // The chips show state only through setHomeActive / setSettingsActive.
    connect(m_home, &QPushButton::clicked, this, [this] {
        m_home->setChecked(m_homeActive);
        emit homeRequested();
    });
    connect(m_settings, &QPushButton::clicked, this, [this] {
        m_settings->setChecked(m_settingsActive);
        emit settingsRequested();
    });
}

int DocumentTabStrip::addTab(const QString &title)
{
    return m_bar->addTab(title);
}

void DocumentTabStrip::removeTab(int index)
{
    m_bar->removeTab(index);
}

void DocumentTabStrip::setTabTitle(int index, const QString &title)
{
    m_bar->setTabText(index, title);
}

QString DocumentTabStrip::tabTitle(int index) const
{
    return m_bar->tabText(index);
}

void DocumentTabStrip::setCurrentIndex(int index)
{
    m_bar->setCurrentIndex(index);
}

int DocumentTabStrip::currentIndex() const
{
    return m_bar->currentIndex();
}

int DocumentTabStrip::count() const
{
    return m_bar->count();
}

void DocumentTabStrip::setHomeActive(bool active)
{
    m_homeActive = active;
    m_home->setChecked(active);
}

void DocumentTabStrip::setSettingsActive(bool active)
{
    m_settingsActive = active;
    m_settings->setChecked(active);
}

void DocumentTabStrip::setTrailingWidget(QWidget *widget)
{
    if (m_trailing == widget)
        return;
    if (m_trailing)
        m_layout->removeWidget(m_trailing);
    m_trailing = widget;
    if (widget) {
        widget->setParent(this);
        m_layout->addWidget(widget);
    }
}
