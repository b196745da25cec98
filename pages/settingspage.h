#pragma once

#include <QHash>
#include <QUrl>
#include <QWidget>

#include "ui/glyphs.h"
#include "system/updatecheck.h"

class FadeThrough;
class QAbstractButton;
class QButtonGroup;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;
class RailPane;
class SeedSwatch;
class SettingsSelect;
class ToggleSwitch;

// Every user setting in six categories. Each change is written at once
// through the settings store; a failed write is shown and the control goes
// back to the stored value. The page keeps no settings of its own.
class SettingsPage : public QWidget
{
    Q_OBJECT
public:
    enum Category { General, Appearance, Word, Files, Debug, About, kCategoryCount };

    explicit SettingsPage(QWidget *parent = nullptr);

    // Rebuilds the style sheet from the theme record.
    void applyTheme();
    // Re-reads every control and status text from the store.
    void refresh();
    // The colour-mode row's text, which follows the desktop in mode 0.
    void refreshThemeStatus();
    void showCategory(int index);
    int currentCategory() const;
    RailPane *rail() const { return m_rail; }
    QWidget *categoryWidget(int index) const;
    FadeThrough *fadeThrough() const { return m_fade; }
    UpdateCheck::Checker *updateChecker() const { return m_checker; }

signals:
    void themeChanged();
    void palmEraserChanged();
    void toolbarStyleChanged();
    void statusMessage(const QString &message);

public slots:
    void onAutoStartToggled(bool on);
    void onPalmEraserToggled(bool on);
    void onReduceMotionToggled(bool on);
    void onRegisterPdf();
    void onChooseSaveDir();
    void onResetSaveDir();
    void onPdfExportModePicked(int mode);
    void onDebugLogToggled(bool on);
    void onOpenLogDir();
    void onThemePicked(int mode);
    void onWordModePicked(int mode);
    void onWordEnginePicked(int engine);
    void onChooseSoffice();
    void onClearSoffice();
    void onOpenSofficePage();
    void onToolbarStylePicked(int style);
    void onThemePresetPicked(int preset);
    void onPaletteStylePicked(int style);
    void onWordNagFixToggled(bool on);
    void onRestoreWordNag();
    void onCheckUpdate();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Layout (settingspage_build.cpp).
    void buildGeneral(QVBoxLayout *column);
    void buildAppearance(QVBoxLayout *column);
    void buildWord(QVBoxLayout *column);
    void buildFiles(QVBoxLayout *column);
    void buildDebug(QVBoxLayout *column);
    void buildAbout(QVBoxLayout *column);
    QWidget *buildIdentityCard();
    void addSection(QVBoxLayout *column, const QString &title);
    QFrame *addCard(QVBoxLayout *column);
    QLabel *addRow(QFrame *card, Glyph glyph, const QString &title, const QString &description,
                   const QList<QWidget *> &controls);
    void placeRows(QFrame *card);
    QPushButton *makeButton(const QString &text, const QString &name, bool primary = false);
    ToggleSwitch *makeSwitch(const QString &name, const QString &tip);

    // Behaviour (settingspage.cpp).
    bool reportWrite(bool ok, const QString &error, const QString &title = QString());
    void refreshStatusTexts();
    void onUpdateFinished(const UpdateCheck::Result &result);
    void onRegistered(bool ok, const QString &error);
    void updateRailFold();

    RailPane *m_rail = nullptr;
    QScrollArea *m_scroll = nullptr;
    QStackedWidget *m_categories = nullptr;
    FadeThrough *m_fade = nullptr;

    ToggleSwitch *m_autoStart = nullptr;
    ToggleSwitch *m_palmEraser = nullptr;
    ToggleSwitch *m_reduceMotion = nullptr;
    ToggleSwitch *m_debugLog = nullptr;
    ToggleSwitch *m_wordNagFix = nullptr;
    SettingsSelect *m_themeMode = nullptr;
    SettingsSelect *m_paletteStyle = nullptr;
    SettingsSelect *m_toolbarStyle = nullptr;
    SettingsSelect *m_wordMode = nullptr;
    SettingsSelect *m_wordEngine = nullptr;
    SettingsSelect *m_pdfExportMode = nullptr;
    QButtonGroup *m_swatches = nullptr;
    QLabel *m_themeStatus = nullptr;
    QLabel *m_saveDirStatus = nullptr;
    QPushButton *m_resetSaveDir = nullptr;
    QLabel *m_sofficeStatus = nullptr;
    QPushButton *m_clearSoffice = nullptr;
    QLabel *m_wordNagStatus = nullptr;
    QPushButton *m_restoreWordNag = nullptr;
    QLabel *m_logStatus = nullptr;
    QPushButton *m_openLogDir = nullptr;
    QLabel *m_updateStatus = nullptr;
    QPushButton *m_checkUpdate = nullptr;
    QPushButton *m_registerButton = nullptr;

    UpdateCheck::Checker *m_checker = nullptr;
    QUrl m_releasePage; // held after a newer release was found
};
