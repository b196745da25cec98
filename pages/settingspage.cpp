#include "pages/settingspage.h"

#include <QLabel>
#include <QVBoxLayout>

SettingsPage::SettingsPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("settingsPage"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("设置"), this);
    title->setObjectName(QStringLiteral("settingsTitle"));
    layout->addWidget(title, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addStretch(1);
}
