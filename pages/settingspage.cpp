#include "pages/settingspage.h"

#include "ui/theme.h"
#include "ui/uimetrics.h"
#include "pages/settingspage_chrome.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

// The rail folds to glyphs below this many touch targets of page width.
constexpr int kUnfoldedRailTargets = 18;

} // namespace

SettingsPage::SettingsPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("settingsPage"));
    setAttribute(Qt::WA_StyledBackground);
    const UiMetrics m = uiMetrics(font());

    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *root = new QWidget(this);
    root->setObjectName(QStringLiteral("settingsRoot"));
    outer->addWidget(root);
    auto *pair = new QHBoxLayout(root);
    pair->setContentsMargins(0, 0, 0, 0);
    pair->setSpacing(0);

    m_rail = new RailPane(root);
    pair->addWidget(m_rail);
    m_scroll = new QScrollArea(root);
    m_scroll->setObjectName(QStringLiteral("settingsScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pair->addWidget(m_scroll, 1);

    auto *body = new QWidget;
    body->setObjectName(QStringLiteral("settingsBody"));
    auto *bodyColumn = new QVBoxLayout(body);
    bodyColumn->setContentsMargins(m.gapXl * 2, m.gapXl, m.gapXl * 2, m.gapXl);
    bodyColumn->setSpacing(m.gapXl);
    bodyColumn->addWidget(buildIdentityCard());
    m_categories = new QStackedWidget(body);
    bodyColumn->addWidget(m_categories);
    bodyColumn->addStretch(1);
    m_scroll->setWidget(body);
    m_fade = new FadeThrough(m_scroll->viewport());

    struct CategorySpec
    {
        Glyph glyph;
        const char *label;
        void (SettingsPage::*build)(QVBoxLayout *);
    };
    const CategorySpec categories[kCategoryCount] = {
        {Glyph::Settings, "通用", &SettingsPage::buildGeneral},
        {Glyph::PenStroke, "外观", &SettingsPage::buildAppearance},
        {Glyph::Document, "Word 文档", &SettingsPage::buildWord},
        {Glyph::Save, "保存与文件", &SettingsPage::buildFiles},
        {Glyph::PageGrid, "调试", &SettingsPage::buildDebug},
        {Glyph::Dot, "关于", &SettingsPage::buildAbout},
    };
    for (const CategorySpec &spec : categories) {
        auto *page = new QWidget;
        page->setObjectName(QStringLiteral("settingsCategory"));
        auto *column = new QVBoxLayout(page);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(m.gapM);
        (this->*spec.build)(column);
        column->addStretch(1);
        m_categories->addWidget(page);
        m_rail->addItem(spec.glyph, QString::fromUtf8(spec.label));
    }
    connect(m_rail, &RailPane::picked, this, &SettingsPage::showCategory);
    m_rail->item(0)->setChecked(true);

    refresh();
    applyTheme();
}

QWidget *SettingsPage::categoryWidget(int index) const { return m_categories->widget(index); }

int SettingsPage::currentCategory() const { return m_categories->currentIndex(); }

void SettingsPage::showCategory(int index)
{
    if (index < 0 || index >= kCategoryCount)
        return;
    for (int i = 0; i < kCategoryCount; ++i)
        m_rail->item(i)->setChecked(i == index);
    if (index == m_categories->currentIndex())
        return;
    const int duration = motionDuration(FadeThrough::kDurationMs);
    const bool animate = duration > 0 && isVisible();
    const QPixmap before = animate ? m_scroll->viewport()->grab() : QPixmap();
    m_categories->setCurrentIndex(index);
    m_scroll->verticalScrollBar()->setValue(0);
    if (!animate) {
        m_fade->run(QPixmap(), QPixmap(), 0);
        return;
    }
    // The new category has to be laid out before it can be captured.
    m_scroll->widget()->layout()->activate();
    m_fade->hide();
    const QPixmap after = m_scroll->viewport()->grab();
    m_fade->run(before, after, duration);
}

void SettingsPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    updateRailFold();
}

void SettingsPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateRailFold();
}

void SettingsPage::updateRailFold()
{
    const bool folded = width() < kUnfoldedRailTargets * uiMetrics(font()).touchTarget;
    if (folded != m_rail->isFolded())
        m_rail->setFolded(folded);
}

void SettingsPage::applyTheme()
{
    const Theme &c = theme();
    const UiMetrics m = uiMetrics(font());
    const double radius = m.gapL + m.gapXs;
    setStyleSheet(
        QStringLiteral(
            "#settingsPage, #settingsRoot, #settingsScroll, #settingsBody, #settingsCategory { background: %1; }"
            "#settingsScroll > QWidget > QWidget { background: %1; }"
            "QLabel { color: %2; background: transparent; }"
            "QLabel#settingsRowBody { color: %3; }"
            "QLabel#settingsAppName { color: %4; }"
            "QLabel#settingsSectionHeader { color: %5; font-weight: 600; padding-top: %6; }"
            "QFrame#settingsCard { background: transparent; }"
            "QFrame#settingsIdentity { background: %7; border: 1px solid %8; border-radius: %9; }"
            "QFrame#settingsRow { background: %7; border: 1px solid %8; border-top-width: 0px; border-radius: 0px; }"
            "QFrame#settingsRow[position=\"first\"] { border-top-width: 1px; border-top-left-radius: %9;"
            " border-top-right-radius: %9; }"
            "QFrame#settingsRow[position=\"last\"] { border-bottom-left-radius: %9; border-bottom-right-radius: %9; }"
            "QFrame#settingsRow[position=\"single\"] { border-top-width: 1px; border-radius: %9; }"
            "QPushButton { background: %10; color: %2; border: 1px solid %8; border-radius: %11;"
            " padding: 0px %12; min-height: %13; }"
            "QPushButton:hover { background: %14; }"
            "QPushButton:pressed { background: %15; }"
            "QPushButton:disabled { color: %16; border-color: %17; }"
            "QPushButton#settingsPrimary { background: %5; color: %18; border: 1px solid %5; border-radius: %11; font-weight: 600; }"
            "QPushButton#settingsPrimary:hover { background: %19; }"
            "QPushButton#settingsPrimary:disabled { background: %15; color: %16; }"
            "QMenu#settingsSelectMenu { background: %7; color: %2; border: 1px solid %8; padding: %20; }"
            "QMenu#settingsSelectMenu::item { padding: %20 %12; min-height: %21; }"
            "QMenu#settingsSelectMenu::item:selected { background: %14; }"
            "QMenu#settingsSelectMenu::item:checked { color: %5; font-weight: 600; }")
            .arg(cssColor(c.desk), cssColor(c.text), cssColor(c.textMuted), cssColor(c.onSurface), cssColor(c.accent), cssPx(m.gapL), cssColor(c.bar), cssColor(c.border), cssPx(radius))
            .arg(cssColor(c.bar), cssPx(m.touchTarget / 2.0), cssPx(m.gapXl), cssPx(m.touchTarget - 2),
                 cssColor(c.hover), cssColor(c.pressed), cssColor(c.textDisabled), cssColor(c.divider),
                 cssColor(c.onAccent), cssColor(c.accentHover))
            .arg(cssPx(m.gapXs), cssPx(m.touchTarget * 0.7)));
    // Painted controls read the record when they paint.
    for (QWidget *child : findChildren<QWidget *>())
        child->update();
}
