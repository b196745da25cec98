#include "pages/settingspage.h"

#include "files/officekind.h"
#include "files/wordconvert.h"
#include "ui/theme.h"
#include "pages/settingspage_controls.h"
#include "platform/desktopwords.h"
#include "platform/fileassoc.h"
#include "system/diaglog.h"
#include "system/offthread.h"
#include "system/settings.h"
#include "system/wordreminder.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

// What each control does, and the status texts it leaves behind.

namespace {

// Deployment setting: where LibreOffice is offered for download.
constexpr char kSofficeDownload[] = "https://www.libreoffice.org/download/download-libreoffice/";

QString chooseWithDialog(QWidget *parent, const QString &title, const QString &folder,
                         QFileDialog::FileMode mode, const QString &filter = QString())
{
    QFileDialog dialog(parent, title, folder, filter);
    dialog.setFileMode(mode);
    if (mode == QFileDialog::Directory)
        dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

} // namespace

void SettingsPage::refresh()
{
    m_autoStart->setCheckedQuietly(isAutoStartEnabled());
    m_palmEraser->setCheckedQuietly(palmEraser());
    m_reduceMotion->setCheckedQuietly(reduceMotionSetting());
    m_debugLog->setCheckedQuietly(isLogEnabled());
    m_wordNagFix->setCheckedQuietly(wordNagFix());
    m_themeMode->setCurrentIndex(themeMode());
    m_paletteStyle->setCurrentIndex(themeStyle());
    m_toolbarStyle->setCurrentIndex(toolbarStyle());
    m_wordMode->setCurrentIndex(wordOpenMode());
    m_wordEngine->setCurrentIndex(wordConvertEngine());
    m_pdfExportMode->setCurrentIndex(pdfExportMode());
    if (QAbstractButton *swatch = m_swatches->button(themePreset()))
        swatch->setChecked(true);
    refreshStatusTexts();
}

void SettingsPage::refreshThemeStatus()
{
    switch (themeMode()) {
    case 1: m_themeStatus->setText(QStringLiteral("已固定为浅色")); break;
    case 2: m_themeStatus->setText(QStringLiteral("已固定为深色")); break;
    default:
        m_themeStatus->setText(systemPrefersDark() ? QStringLiteral("当前跟随系统：深色")
                                                   : QStringLiteral("当前跟随系统：浅色"));
    }
}

void SettingsPage::refreshStatusTexts()
{
    refreshThemeStatus();

    const QString saveDir = defaultSavePath();
    m_saveDirStatus->setText((saveDir.isEmpty() ? QStringLiteral("跟随源文件所在目录（默认）") : saveDir)
                             + QStringLiteral("\n选择「跟随源文件」则批注与源文件保存在同一目录。"));
    m_resetSaveDir->setEnabled(!saveDir.isEmpty());

    const QString soffice = findSoffice();
    // One LibreOffice converts Word documents and presentations; decks need its Impress part.
    QString sofficeText = soffice.isEmpty() ? sofficeMissingText() : QStringLiteral("已检测到：%1").arg(soffice);
    if (!soffice.isEmpty() && !libreOfficeReadsPresentations(soffice))
        sofficeText += QStringLiteral("\n缺少演示文稿组件（Impress），演示文稿无法转换；请一并安装 LibreOffice Impress。");
    m_sofficeStatus->setText(sofficeText);
    m_clearSoffice->setEnabled(!libreOfficePath().isEmpty());

    switch (wordReminderRestoreMode()) {
    case WordReminderRestore::FromBackup:
        m_wordNagStatus->setText(QStringLiteral("可用备份精确还原。"));
        m_restoreWordNag->setToolTip(QStringLiteral("可用备份精确还原：改动过的写回原值，原本不存在的删除"));
        m_restoreWordNag->setEnabled(true);
        break;
    case WordReminderRestore::ToWordDefaults:
        m_wordNagStatus->setText(QStringLiteral("无备份记录：将恢复为 Word 默认（会重新提醒）。"));
        m_restoreWordNag->setToolTip(QStringLiteral("无备份记录：将恢复为 Word 默认（会重新提醒）"));
        m_restoreWordNag->setEnabled(true);
        break;
    case WordReminderRestore::Nothing:
        m_wordNagStatus->setText(QStringLiteral("Word 设置未被修改，无需恢复。"));
        m_restoreWordNag->setToolTip(QStringLiteral("Word 设置未被修改，无需恢复"));
        m_restoreWordNag->setEnabled(false);
        break;
    }

    const bool logging = isLogEnabled();
    if (!logging)
        m_logStatus->setText(QStringLiteral("已关闭（不写入任何日志）"));
    else if (!logPathFromEnvironment().isEmpty())
        m_logStatus->setText(QStringLiteral("本次由环境变量 LECTERN_LOG 指定路径：%1（只决定启动时默认开启，上面的开关随时可以关闭）")
                                 .arg(QDir::toNativeSeparators(logFilePath())));
    else
        m_logStatus->setText(QDir::toNativeSeparators(logFilePath()));
    m_openLogDir->setEnabled(logging);
}

bool SettingsPage::reportWrite(bool ok, const QString &error, const QString &title)
{
    if (!ok)
        QMessageBox::warning(this, title.isEmpty() ? QStringLiteral("设置失败") : title, error);
    // Success refreshes the status texts; failure also puts every control
    // back on what the store holds, without a second write.
    refresh();
    return ok;
}

void SettingsPage::onAutoStartToggled(bool on)
{
    QString error;
    reportWrite(setAutoStart(on, &error), error);
}

void SettingsPage::onPalmEraserToggled(bool on)
{
    QString error;
    if (reportWrite(setPalmEraser(on, &error), error))
        emit palmEraserChanged();
}

void SettingsPage::onReduceMotionToggled(bool on)
{
    QString error;
    if (reportWrite(setReduceMotionSetting(on, &error), error))
        setReduceMotion(on);
}

void SettingsPage::onDebugLogToggled(bool on)
{
    QString error;
    reportWrite(setDebugLogEnabled(on, &error), error);
}

void SettingsPage::onOpenLogDir()
{
    const QString folder = logFolder();
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void SettingsPage::onThemePicked(int mode)
{
    QString error;
    if (!reportWrite(setThemeMode(mode, &error), error))
        return;
    recomputeTheme();
    emit themeChanged();
}

void SettingsPage::onThemePresetPicked(int preset)
{
    QString error;
    if (!reportWrite(setThemePreset(preset, &error), error))
        return;
    recomputeTheme();
    emit themeChanged();
}

void SettingsPage::onPaletteStylePicked(int style)
{
    QString error;
    if (!reportWrite(setThemeStyle(style, &error), error))
        return;
    recomputeTheme();
    emit themeChanged();
}

void SettingsPage::onToolbarStylePicked(int style)
{
    QString error;
    if (reportWrite(setToolbarStyle(style, &error), error))
        emit toolbarStyleChanged();
}

void SettingsPage::onWordModePicked(int mode)
{
    QString error;
    reportWrite(setWordOpenMode(mode, &error), error);
}

void SettingsPage::onPdfExportModePicked(int mode)
{
    QString error;
    reportWrite(setPdfExportMode(mode, &error), error);
}

void SettingsPage::onWordEnginePicked(int engine)
{
    QString error;
    if (reportWrite(setWordConvertEngine(engine, &error), error))
        emit statusMessage(QStringLiteral("Word 转换引擎已切换，重新打开文档后生效"));
}

void SettingsPage::onWordNagFixToggled(bool on)
{
    QString error;
    reportWrite(setWordNagFix(on, &error), error);
}

void SettingsPage::onChooseSaveDir()
{
    const QString stored = defaultSavePath();
    const QString start = !stored.isEmpty() && QFileInfo(stored).isDir() ? stored : QDir::homePath();
    const QString chosen = chooseWithDialog(this, QStringLiteral("选择默认保存位置"), start, QFileDialog::Directory);
    if (chosen.isEmpty())
        return;
    QString error;
    reportWrite(setDefaultSavePath(chosen, &error), error);
}

void SettingsPage::onResetSaveDir()
{
    QString error;
    reportWrite(setDefaultSavePath(QString(), &error), error);
}

void SettingsPage::onRestoreWordNag()
{
    const WordReminderRestore mode = wordReminderRestoreMode();
    if (mode == WordReminderRestore::Nothing) {
        refreshStatusTexts();
        return;
    }
    const QString question = mode == WordReminderRestore::FromBackup
        ? QStringLiteral("用备份把 Word 的两个「不是默认程序」开关值恢复到本程序第一次写入之前的状态：\n"
                         "改动过的写回原值，原本不存在的删除。\n\n是否继续？")
        : QStringLiteral("没有可用的备份（可能由旧版本或手动修改造成）：\n"
                         "将把两个开关值恢复为 Word 默认设置，Word 会重新弹出「不是默认程序」提醒。\n\n是否继续？");
    if (QMessageBox::question(this, QStringLiteral("恢复 Word 设置"), question) == QMessageBox::Yes) {
        QString text;
        if (restoreWordReminder(&text))
            emit statusMessage(QStringLiteral("已恢复 Word 的「不是默认程序」开关"));
        else
            QMessageBox::warning(this, QStringLiteral("恢复失败"), text);
    }
    refreshStatusTexts();
}

void SettingsPage::onChooseSoffice()
{
    const QString stored = libreOfficePath();
    const QString chosen = chooseWithDialog(this, sofficeChooseTitle(),
                                            stored.isEmpty() ? QString() : QFileInfo(stored).absolutePath(),
                                            QFileDialog::ExistingFile, sofficeFileFilter());
    if (chosen.isEmpty())
        return;
    if (QFileInfo(chosen).fileName().compare(sofficeFileName(), Qt::CaseInsensitive) != 0) {
        QMessageBox::warning(this, QStringLiteral("选择失败"), sofficeWrongFileText());
        return;
    }
    QString error;
    if (reportWrite(setLibreOfficePath(chosen, &error), error))
        emit statusMessage(QStringLiteral("LibreOffice 路径已保存"));
}

void SettingsPage::onClearSoffice()
{
    QString error;
    if (reportWrite(setLibreOfficePath(QString(), &error), error, QStringLiteral("保存失败")))
        emit statusMessage(QStringLiteral("已清除 LibreOffice 路径"));
}

void SettingsPage::onOpenSofficePage()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kSofficeDownload)));
}

void SettingsPage::onRegisterPdf()
{
    // A registration already running answers for this tap too.
    if (!m_registerButton->isEnabled())
        return;
    ForeignFiles foreign = ForeignFiles::Keep;
    const QStringList others = foreignAssociationFiles();
    if (!others.isEmpty()) {
        // Another program's file of the same name is replaced only on the user's word.
        const auto answer = QMessageBox::question(
            this, QStringLiteral("注册为打开方式"),
            QStringLiteral("下面的文件不是本程序写入的：\n%1\n\n是否用本程序的打开方式替换它？").arg(others.join(QLatin1Char('\n'))),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        foreign = ForeignFiles::Replace;
    }
    // The desktop's database tools may take seconds each: they run beside
    // the event loop, and the button says so meanwhile.
    m_registerButton->setEnabled(false);
    m_registerButton->setText(QStringLiteral("正在注册…"));
    struct Outcome
    {
        bool ok = false;
        QString error;
    };
    runOffThread<Outcome>(
        this,
        [foreign] {
            Outcome outcome;
            outcome.ok = registerFileAssociations(&outcome.error, foreign);
            return outcome;
        },
        [this](const Outcome &outcome) { onRegistered(outcome.ok, outcome.error); });
}

void SettingsPage::onRegistered(bool ok, const QString &error)
{
    m_registerButton->setEnabled(true);
    m_registerButton->setText(QStringLiteral("注册…"));
    if (!ok) {
        QMessageBox::warning(this, QStringLiteral("设置失败"), error);
        return;
    }
    // A system-wide install has registered the program for every user already.
    const QString systemEntry = systemDesktopEntry();
    QMessageBox box(QMessageBox::Information, QStringLiteral("已注册为打开方式"),
                    systemEntry.isEmpty()
                        ? QStringLiteral("已把本程序注册为 PDF、批注包 (.dpz)、Word 文档 (.docx/.doc) 以及演示文稿 (.pptx/.ppt/.odp 等) 的打开方式。")
                        : QStringLiteral("本程序已随系统安装注册为 PDF、批注包 (.dpz)、Word 文档 (.docx/.doc) 以及演示文稿 (.pptx/.ppt/.odp 等) 的打开方式"
                                         "（%1），不必再为本用户注册。")
                              .arg(systemEntry),
                    QMessageBox::NoButton, this);
    // Only a page that sets a default per file type earns the button.
    const bool settingsPage = hasDefaultAppsSettings();
    box.setInformativeText(registrationAdvice(settingsPage));
    QPushButton *open = settingsPage ? box.addButton(QStringLiteral("打开设置"), QMessageBox::AcceptRole) : nullptr;
    box.addButton(settingsPage ? QStringLiteral("稍后") : QStringLiteral("知道了"), QMessageBox::RejectRole);
    box.exec();
    if (open && box.clickedButton() == open && !openDefaultAppsSettings())
        emit statusMessage(QStringLiteral("无法打开系统设置"));
}

void SettingsPage::onCheckUpdate()
{
    if (m_releasePage.isValid()) {
        QDesktopServices::openUrl(m_releasePage);
        return;
    }
    if (!m_checker) {
        m_checker = new UpdateCheck::Checker(this);
        connect(m_checker, &UpdateCheck::Checker::finished, this, &SettingsPage::onUpdateFinished);
    }
    if (m_checker->isBusy())
        return;
    m_checkUpdate->setEnabled(false);
    m_checkUpdate->setText(QStringLiteral("正在检查…"));
    m_updateStatus->setText(QStringLiteral("正在连接 GitHub…"));
    m_checker->check(QStringLiteral(LECTERN_VERSION));
}

void SettingsPage::onUpdateFinished(const UpdateCheck::Result &result)
{
    const QString current = QStringLiteral(LECTERN_VERSION);
    m_checkUpdate->setEnabled(true);
    switch (result.status) {
    case UpdateCheck::Result::Failed:
        m_updateStatus->setText(QStringLiteral("检查失败：%1。也可以打开下方的「发布页面」手动查看。").arg(result.error));
        m_checkUpdate->setText(QStringLiteral("重试"));
        break;
    case UpdateCheck::Result::NewerFound:
        m_releasePage = result.releasePage;
        m_updateStatus->setText(QStringLiteral("发现新版本 %1（当前 %2）。点击「前往下载」在浏览器中打开发布页面。")
                                    .arg(result.latestTag, current));
        m_checkUpdate->setText(QStringLiteral("前往下载"));
        emit statusMessage(QStringLiteral("发现新版本 %1").arg(result.latestTag));
        break;
    case UpdateCheck::Result::UpToDate:
        m_updateStatus->setText(QStringLiteral("已是最新版本（当前 %1，最新发布 %2）。").arg(current, result.latestTag));
        m_checkUpdate->setText(QStringLiteral("再次检查"));
        break;
    }
}
