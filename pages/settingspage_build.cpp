#include "pages/settingspage.h"

#include "ui/uimetrics.h"
#include "pages/settingspage_chrome.h"
#include "pages/settingspage_controls.h"
#include "platform/desktopwords.h"

#include <QButtonGroup>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

// The six categories, their sections and rows, in the order shown.

namespace {

// The eight seed colours of the theme presets, in preset order.
struct Seed
{
    const char *name;
    QRgb rgb;
};
constexpr Seed kSeeds[] = {
    {"蓝（默认）", 0x1a73e8}, {"青绿", 0x008377}, {"绿", 0x268630}, {"琥珀", 0xffb300},
    {"橙", 0xfb8c00},        {"红", 0xdb322f},   {"紫", 0x8e24aa}, {"灰蓝", 0x455a64},
};

} // namespace

void SettingsPage::addSection(QVBoxLayout *column, const QString &title)
{
    auto *header = new QLabel(title);
    header->setObjectName(QStringLiteral("settingsSectionHeader"));
    column->addWidget(header);
}

QFrame *SettingsPage::addCard(QVBoxLayout *column)
{
    auto *card = new QFrame;
    card->setObjectName(QStringLiteral("settingsCard"));
    auto *rows = new QVBoxLayout(card);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    column->addWidget(card);
    return card;
}

QLabel *SettingsPage::addRow(QFrame *card, Glyph glyph, const QString &title, const QString &description,
                             const QList<QWidget *> &controls)
{
    const UiMetrics m = uiMetrics(font());
    auto *row = new QFrame(card);
    row->setObjectName(QStringLiteral("settingsRow"));
    row->setMinimumHeight(m.touchTarget + 2 * m.gapM);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(m.gapXl, m.gapM, m.gapXl, m.gapM);
    line->setSpacing(m.gapL);
    line->addWidget(new GlyphBox(glyph, row), 0, Qt::AlignVCenter);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(m.gapXs);
    auto *titleLabel = new QLabel(title, row);
    titleLabel->setObjectName(QStringLiteral("settingsRowTitle"));
    auto *body = new QLabel(description, row);
    body->setObjectName(QStringLiteral("settingsRowBody"));
    body->setWordWrap(true);
    body->setTextFormat(Qt::PlainText); // status texts carry paths and release tags
    body->setVisible(!description.isEmpty() || controls.isEmpty());
    texts->addWidget(titleLabel);
    texts->addWidget(body);
    line->addLayout(texts, 1);
    for (QWidget *control : controls)
        line->addWidget(control, 0, Qt::AlignVCenter);
    static_cast<QVBoxLayout *>(card->layout())->addWidget(row);
    placeRows(card);
    return body;
}

void SettingsPage::placeRows(QFrame *card)
{
    // Only the outer corners of a card are rounded; each row says where it sits.
    const QList<QFrame *> rows = card->findChildren<QFrame *>(QStringLiteral("settingsRow"), Qt::FindDirectChildrenOnly);
    for (int i = 0; i < rows.size(); ++i) {
        const char *position = rows.size() == 1 ? "single" : i == 0 ? "first" : i == rows.size() - 1 ? "last" : "middle";
        rows.at(i)->setProperty("position", QString::fromLatin1(position));
    }
}

QPushButton *SettingsPage::makeButton(const QString &text, const QString &name, bool primary)
{
    auto *button = new QPushButton(text);
    button->setObjectName(primary ? QStringLiteral("settingsPrimary") : name);
    if (primary)
        button->setProperty("role", name);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumHeight(uiMetrics(font()).touchTarget);
    return button;
}

ToggleSwitch *SettingsPage::makeSwitch(const QString &name, const QString &tip)
{
    auto *toggle = new ToggleSwitch;
    toggle->setObjectName(name);
    toggle->setToolTip(tip);
    return toggle;
}

QWidget *SettingsPage::buildIdentityCard()
{
    const UiMetrics m = uiMetrics(font());
    auto *card = new QFrame;
    card->setObjectName(QStringLiteral("settingsIdentity"));
    auto *line = new QHBoxLayout(card);
    line->setContentsMargins(m.gapXl, m.gapXl, m.gapXl, m.gapXl);
    line->setSpacing(m.gapXl);
    line->addWidget(new AppBadge(card));
    auto *texts = new QVBoxLayout;
    auto *name = new QLabel(QStringLiteral("青简批注"), card);
    name->setObjectName(QStringLiteral("settingsAppName"));
    name->setFont(scaledFont(font(), 1.6, 600));
    auto *version = new QLabel(QStringLiteral("版本 %1").arg(QStringLiteral(LECTERN_VERSION)), card);
    version->setObjectName(QStringLiteral("settingsRowBody"));
    texts->addWidget(name);
    texts->addWidget(version);
    line->addLayout(texts, 1);
    return card;
}

void SettingsPage::buildGeneral(QVBoxLayout *column)
{
    addSection(column, QStringLiteral("启动"));
    m_autoStart = makeSwitch(QStringLiteral("autoStartSwitch"), QString());
    addRow(addCard(column), Glyph::Redo, QStringLiteral("开机自动启动"), autoStartDescription(),
           {m_autoStart});
    connect(m_autoStart, &ToggleSwitch::toggled, this, &SettingsPage::onAutoStartToggled);

    addSection(column, QStringLiteral("书写"));
    m_palmEraser = makeSwitch(QStringLiteral("palmEraserSwitch"),
                              QStringLiteral("默认关：开启后手掌/手背大面积接触才触发擦除；用笔或手指书写不受影响"));
    addRow(addCard(column), Glyph::Eraser, QStringLiteral("手掌/手背当橡皮"),
           QStringLiteral("默认关。开启后大面积接触自动擦除（可撤销）；笔/手指书写不受影响"), {m_palmEraser});
    connect(m_palmEraser, &ToggleSwitch::toggled, this, &SettingsPage::onPalmEraserToggled);

    addSection(column, QStringLiteral("性能"));
    m_reduceMotion = makeSwitch(QStringLiteral("reduceMotionSwitch"),
                                QStringLiteral("界面动画直接跳到结果，适合配置较低的一体机"));
    addRow(addCard(column), Glyph::FitWidth, QStringLiteral("减少动效"),
           QStringLiteral("关闭界面动画，配置较低的一体机上更省资源"), {m_reduceMotion});
    connect(m_reduceMotion, &ToggleSwitch::toggled, this, &SettingsPage::onReduceMotionToggled);
}

void SettingsPage::buildAppearance(QVBoxLayout *column)
{
    addSection(column, QStringLiteral("主题"));
    QFrame *card = addCard(column);
    m_themeMode = new SettingsSelect({QStringLiteral("系统"), QStringLiteral("浅色"), QStringLiteral("深色")});
    m_themeMode->setObjectName(QStringLiteral("themeModeSelect"));
    m_themeStatus = addRow(card, Glyph::Dot, QStringLiteral("颜色模式"), QStringLiteral(" "), {m_themeMode});
    connect(m_themeMode, &SettingsSelect::changed, this, &SettingsPage::onThemePicked);

    auto *swatchRow = new QWidget;
    auto *swatchLine = new QHBoxLayout(swatchRow);
    swatchLine->setContentsMargins(0, 0, 0, 0);
    swatchLine->setSpacing(uiMetrics(font()).gapXs);
    m_swatches = new QButtonGroup(this);
    m_swatches->setExclusive(true);
    for (int i = 0; i < int(std::size(kSeeds)); ++i) {
        auto *swatch = new SeedSwatch(QColor::fromRgb(kSeeds[i].rgb), QString::fromUtf8(kSeeds[i].name), swatchRow);
        swatch->setObjectName(QStringLiteral("seedSwatch%1").arg(i));
        m_swatches->addButton(swatch, i);
        swatchLine->addWidget(swatch);
    }
    addRow(card, Glyph::PenStroke, QStringLiteral("主题色"),
           QStringLiteral("选择界面配色由哪个种子色推导（PDF 纸面始终保持白色）"), {swatchRow});
    connect(m_swatches, &QButtonGroup::idClicked, this, &SettingsPage::onThemePresetPicked);

    m_paletteStyle = new SettingsSelect(
        {QStringLiteral("保真"), QStringLiteral("均衡"), QStringLiteral("中性"), QStringLiteral("单色")},
        {QStringLiteral("保留种子本身彩度、最贴品牌色（默认）"), QStringLiteral("Material 3 默认"),
         QStringLiteral("接近灰、最低调"), QStringLiteral("纯灰阶")});
    m_paletteStyle->setObjectName(QStringLiteral("paletteStyleSelect"));
    addRow(card, Glyph::PageGrid, QStringLiteral("调色板风格"), QStringLiteral("由种子色推导配色的算法"), {m_paletteStyle});
    connect(m_paletteStyle, &SettingsSelect::changed, this, &SettingsPage::onPaletteStylePicked);

    addSection(column, QStringLiteral("工具栏"));
    m_toolbarStyle = new SettingsSelect({QStringLiteral("简约"), QStringLiteral("文字")});
    m_toolbarStyle->setObjectName(QStringLiteral("toolbarStyleSelect"));
    addRow(addCard(column), Glyph::Pen, QStringLiteral("工具栏风格"), QStringLiteral("简约（纯图标）/ 文字（图标+名称）"),
           {m_toolbarStyle});
    connect(m_toolbarStyle, &SettingsSelect::changed, this, &SettingsPage::onToolbarStylePicked);
}

void SettingsPage::buildWord(QVBoxLayout *column)
{
    addSection(column, QStringLiteral("打开"));
    m_wordMode = new SettingsSelect({QStringLiteral("每次询问"), QStringLiteral("批注"), QStringLiteral("用 Word 打开")});
    m_wordMode->setObjectName(QStringLiteral("wordModeSelect"));
    addRow(addCard(column), Glyph::Document, QStringLiteral("打开 Word 文档时"),
           QStringLiteral("每次询问 / 批注 / 用 Word 打开"), {m_wordMode});
    connect(m_wordMode, &SettingsSelect::changed, this, &SettingsPage::onWordModePicked);

    addSection(column, QStringLiteral("转换"));
    QFrame *card = addCard(column);
    m_wordEngine = new SettingsSelect(
        {QStringLiteral("自动（优先 Word）"), QStringLiteral("仅 Word"), QStringLiteral("仅 LibreOffice")});
    m_wordEngine->setObjectName(QStringLiteral("wordEngineSelect"));
    addRow(card, Glyph::Redo, QStringLiteral("转换引擎"),
           QStringLiteral("自动（优先 Word，缺失时用 LibreOffice）/ 仅 Word / 仅 LibreOffice"), {m_wordEngine});
    connect(m_wordEngine, &SettingsSelect::changed, this, &SettingsPage::onWordEnginePicked);

    QPushButton *choose = makeButton(sofficeChooseButtonText(), QStringLiteral("chooseSofficeButton"));
    m_clearSoffice = makeButton(QStringLiteral("清除"), QStringLiteral("clearSofficeButton"));
    QPushButton *download = makeButton(QStringLiteral("打开下载页"), QStringLiteral("openSofficePageButton"));
    m_sofficeStatus = addRow(card, Glyph::Document, QStringLiteral("LibreOffice（可选附加包）"), QStringLiteral(" "),
                             {choose, m_clearSoffice, download});
    connect(choose, &QPushButton::clicked, this, &SettingsPage::onChooseSoffice);
    connect(m_clearSoffice, &QPushButton::clicked, this, &SettingsPage::onClearSoffice);
    connect(download, &QPushButton::clicked, this, &SettingsPage::onOpenSofficePage);

    m_wordNagFix = makeSwitch(QStringLiteral("wordNagFixSwitch"), QStringLiteral("转换前关闭 Word 启动时的「不是默认程序」提醒"));
    addRow(card, Glyph::Clear, QStringLiteral("关闭 Word 的「不是默认程序」提醒"),
           wordReminderDescription(), {m_wordNagFix});
    connect(m_wordNagFix, &ToggleSwitch::toggled, this, &SettingsPage::onWordNagFixToggled);

    m_restoreWordNag = makeButton(QStringLiteral("恢复"), QStringLiteral("restoreWordNagButton"));
    m_wordNagStatus = addRow(card, Glyph::Undo, QStringLiteral("恢复 Word 设置"), QStringLiteral(" "), {m_restoreWordNag});
    connect(m_restoreWordNag, &QPushButton::clicked, this, &SettingsPage::onRestoreWordNag);
}

void SettingsPage::buildFiles(QVBoxLayout *column)
{
    addSection(column, QStringLiteral("保存"));
    QPushButton *choose = makeButton(QStringLiteral("选择文件夹…"), QStringLiteral("chooseSaveDirButton"));
    m_resetSaveDir = makeButton(QStringLiteral("跟随源文件"), QStringLiteral("resetSaveDirButton"));
    m_saveDirStatus = addRow(addCard(column), Glyph::Save, QStringLiteral("默认保存位置"), QStringLiteral(" "),
                             {choose, m_resetSaveDir});
    connect(choose, &QPushButton::clicked, this, &SettingsPage::onChooseSaveDir);
    connect(m_resetSaveDir, &QPushButton::clicked, this, &SettingsPage::onResetSaveDir);

    addSection(column, QStringLiteral("导出"));
    m_pdfExportMode = new SettingsSelect(
        {QStringLiteral("保留原文（推荐，文件小、文字可搜索）"), QStringLiteral("整页图片（兼容性最好）")});
    m_pdfExportMode->setObjectName(QStringLiteral("pdfExportModeSelect"));
    addRow(addCard(column), Glyph::Document, QStringLiteral("导出 PDF 方式"),
           QStringLiteral("另存为「注入 PDF」时：保留原文把批注叠加在原页面上；整页图片把每页连同批注存成一张图片"),
           {m_pdfExportMode});
    connect(m_pdfExportMode, &SettingsSelect::changed, this, &SettingsPage::onPdfExportModePicked);

    addSection(column, QStringLiteral("文件关联"));
    m_registerButton = makeButton(QStringLiteral("注册…"), QStringLiteral("registerButton"));
    addRow(addCard(column), Glyph::SaveAs, QStringLiteral("设为 PDF 默认打开方式"), fileAssociationDescription(),
           {m_registerButton});
    connect(m_registerButton, &QPushButton::clicked, this, &SettingsPage::onRegisterPdf);
}

void SettingsPage::buildDebug(QVBoxLayout *column)
{
    addSection(column, QStringLiteral("诊断日志"));
    m_debugLog = makeSwitch(QStringLiteral("debugLogSwitch"), QStringLiteral("写入诊断日志（默认关闭）"));
    addRow(addCard(column), Glyph::PageGrid, QStringLiteral("写入诊断日志"),
           QStringLiteral("用于排查问题。日志只记录运行状态与耗时，不包含文档内容或批注坐标。默认关闭。"), {m_debugLog});
    connect(m_debugLog, &ToggleSwitch::toggled, this, &SettingsPage::onDebugLogToggled);

    addSection(column, QStringLiteral("日志位置"));
    m_openLogDir = makeButton(QStringLiteral("打开日志文件夹"), QStringLiteral("openLogDirButton"));
    m_logStatus = addRow(addCard(column), Glyph::Document, QStringLiteral("日志位置"), QStringLiteral(" "), {m_openLogDir});
    connect(m_openLogDir, &QPushButton::clicked, this, &SettingsPage::onOpenLogDir);
}

void SettingsPage::buildAbout(QVBoxLayout *column)
{
    addSection(column, QStringLiteral("更新"));
    QFrame *card = addCard(column);
    m_checkUpdate = makeButton(QStringLiteral("检查更新"), QStringLiteral("checkUpdateButton"), true);
    m_updateStatus = addRow(
        card, Glyph::Redo, QStringLiteral("检查更新"),
        QStringLiteral("当前版本 %1。只有点击「检查更新」时才会联网，只访问 GitHub 上本项目的发布页面，不上传任何信息。")
            .arg(QStringLiteral(LECTERN_VERSION)),
        {m_checkUpdate});
    connect(m_checkUpdate, &QPushButton::clicked, this, &SettingsPage::onCheckUpdate);
    QPushButton *releases = makeButton(QStringLiteral("打开"), QStringLiteral("releasePageButton"));
    addRow(card, Glyph::ChevronRight, QStringLiteral("发布页面"),
           QStringLiteral("所有版本的更新说明，安装版与便携版都在这里下载"), {releases});
    connect(releases, &QPushButton::clicked, this, [] { QDesktopServices::openUrl(UpdateCheck::releasesUrl()); });

    addSection(column, QStringLiteral("项目"));
    QPushButton *home = makeButton(QStringLiteral("打开"), QStringLiteral("projectHomeButton"));
    addRow(addCard(column), Glyph::Settings, QStringLiteral("项目主页"), QString(), {home});
    connect(home, &QPushButton::clicked, this, [] { QDesktopServices::openUrl(UpdateCheck::projectHomeUrl()); });
}
