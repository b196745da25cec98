#include "pages/homepage.h"

#include <QPushButton>
#include <QVBoxLayout>

HomePage::HomePage(QWidget *parent)
    : QWidget(parent)
    , m_open(new QPushButton(QStringLiteral("打开文件"), this))
{
    setObjectName(QStringLiteral("homePage"));
    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    m_open->setCursor(Qt::PointingHandCursor);
    m_open->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_open, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    connect(m_open, &QPushButton::clicked, this, &HomePage::openRequested);
}

void HomePage::refreshRecent()
{
    // The recent list arrives with the real home page.
}
