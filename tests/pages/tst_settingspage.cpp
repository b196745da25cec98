#include "app/mainwindow.h"
#include "ui/theme.h"
#include "canvas/pdfcanvas.h"
#include "island/inktoolbar.h"
#include "modalhelpers.h"
#include "pages/settingspage.h"
#include "pages/settingspage_chrome.h"
#include "pages/settingspage_controls.h"
#include "platform/fileassoc.h"
#include "system/diaglog.h"
#include "system/settings.h"
#include "system/settingsstore.h"
#include "testutil.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScrollArea>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// The settings page driven through its own controls inside the real window
// with two documents open.
class TestSettingsPage : public QObject
{
    Q_OBJECT
public slots:
    void openUrl(const QUrl &url) { m_opened.append(url); }

private:
    QList<QUrl> m_opened;
    MainWindow *m_window = nullptr;

    SettingsPage *page() const { return m_window->settingsPage(); }
    template <typename T> T *control(const char *name) const
    {
        return page()->findChild<T *>(QString::fromLatin1(name));
    }
    QLabel *rowBody(QWidget *control) const
    {
        return control->parentWidget()->findChild<QLabel *>(QStringLiteral("settingsRowBody"));
    }
    void show(SettingsPage::Category category)
    {
        QTest::mouseClick(page()->rail()->item(category), Qt::LeftButton);
        QTRY_VERIFY(!page()->fadeThrough()->isVisible());
    }
    // Opens the select's menu with a click and clicks entry index in it.
    static void pick(SettingsSelect *select, int index)
    {
        QTest::mouseClick(select, Qt::LeftButton);
        QTRY_VERIFY(select->menu()->isVisible());
        QTest::mouseClick(select->menu(), Qt::LeftButton, {},
                          select->menu()->actionGeometry(select->menu()->entry(index)).center());
        QTRY_VERIFY(!select->menu()->isVisible());
    }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
    }

    void init()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
        QFile::remove(openSettingsStore()->fileName());
        // Registration and sign-in files of an earlier run in this sandbox.
        QVERIFY(unregisterFileAssociations());
        QVERIFY(setAutoStart(false));
        QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                      + QStringLiteral("/applications/lectern.desktop"));
        setReduceMotion(false);
        recomputeTheme();
        m_window = new MainWindow;
        m_window->resize(1400, 900);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        for (const char *name : {"a.pdf", "b.pdf"}) {
            const QString pdf = QDir::tempPath() + QLatin1Char('/') + QLatin1String(name);
            QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
            m_window->openPath(pdf);
        }
        QCOMPARE(m_window->documentCount(), 2);
        m_window->onSettings();
        QVERIFY(m_window->settingsShowing());
    }

    void cleanup()
    {
        TestUtil::closeStrayModals();
        delete m_window;
        m_window = nullptr;
    }

    void layoutAndNavigation()
    {
        for (int i = 0; i < SettingsPage::kCategoryCount; ++i)
            QVERIFY(!page()->categoryWidget(i)->findChildren<QFrame *>(QStringLiteral("settingsCard")).isEmpty());
        const int target = uiMetrics(page()->font()).touchTarget;
        QVERIFY(page()->width() >= 18 * target);
        QVERIFY(!page()->rail()->isFolded());
        m_window->resize(18 * target - 40, 700);
        QTRY_VERIFY(page()->rail()->isFolded());

        // Switching animates, then lands with the overlay hidden.
        QTest::mouseClick(page()->rail()->item(SettingsPage::About), Qt::LeftButton);
        QVERIFY(page()->fadeThrough()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!page()->fadeThrough()->isVisible(), 2000);
        QCOMPARE(page()->currentCategory(), int(SettingsPage::About));

        // Reduced motion, switched on through its own switch: instant from then on.
        show(SettingsPage::General);
        QTest::mouseClick(control<ToggleSwitch>("reduceMotionSwitch"), Qt::LeftButton);
        QVERIFY(reduceMotionSetting());
        QVERIFY(reduceMotion());
        QTest::mouseClick(page()->rail()->item(SettingsPage::Debug), Qt::LeftButton);
        QVERIFY(!page()->fadeThrough()->isVisible());
        QCOMPARE(page()->currentCategory(), int(SettingsPage::Debug));
    }

    // The identity card shows the program's own icon: green tile, pale slips.
    void badgeIsTheProgramIcon()
    {
        show(SettingsPage::About);
        AppBadge *badge = page()->findChild<AppBadge *>();
        QVERIFY(badge && badge->isVisible());
        const QImage image = badge->grab().toImage();
        const QSize size = image.size();
        const auto near = [&](double x, double y, QColor want) {
            const QColor have = image.pixelColor(int(size.width() * x), int(size.height() * y));
            return qAbs(have.red() - want.red()) + qAbs(have.green() - want.green()) + qAbs(have.blue() - want.blue()) < 90;
        };
        QVERIFY(near(0.12, 0.5, QColor(0x1a, 0x88, 0x6a)));
        QVERIFY(near(0.5, 0.24, QColor(0xfb, 0xf6, 0xe6)));
    }

    void controlsWriteAndReachTheCanvases()
    {
        QSignalSpy themeSpy(page(), &SettingsPage::themeChanged);
        show(SettingsPage::General);
        QTest::mouseClick(control<ToggleSwitch>("palmEraserSwitch"), Qt::LeftButton);
        QVERIFY(palmEraser());
        QVERIFY(m_window->canvas(0)->palmEraserEnabled() && m_window->canvas(1)->palmEraserEnabled());
        QTest::mouseClick(control<ToggleSwitch>("autoStartSwitch"), Qt::LeftButton);
        QVERIFY(isAutoStartEnabled());

        show(SettingsPage::Appearance);
        pick(control<SettingsSelect>("toolbarStyleSelect"), 1);
        QCOMPARE(toolbarStyle(), 1);
        QCOMPARE(m_window->canvas(0)->inkToolbar()->toolbarStyle(), 1);
        QCOMPARE(m_window->canvas(1)->inkToolbar()->toolbarStyle(), 1);

        // Dark mode recolours the page at once.
        const QPoint probe(3, 3);
        QWidget *viewport = page()->findChild<QScrollArea *>(QStringLiteral("settingsScroll"))->viewport();
        const QColor lightDesk = viewport->grab().toImage().pixelColor(probe);
        pick(control<SettingsSelect>("themeModeSelect"), 2);
        QCOMPARE(themeMode(), 2);
        QVERIFY(theme().dark);
        QCOMPARE(rowBody(control<SettingsSelect>("themeModeSelect"))->text(), QStringLiteral("已固定为深色"));
        const QColor darkDesk = viewport->grab().toImage().pixelColor(probe);
        QVERIFY(darkDesk != lightDesk);
        QCOMPARE(darkDesk, theme().desk);
        QTest::mouseClick(control<SeedSwatch>("seedSwatch5"), Qt::LeftButton);
        QCOMPARE(themePreset(), 5);
        pick(control<SettingsSelect>("paletteStyleSelect"), 3);
        QCOMPARE(themeStyle(), 3);
        QCOMPARE(themeSpy.size(), 3);

        show(SettingsPage::Word);
        pick(control<SettingsSelect>("wordModeSelect"), 2);
        QCOMPARE(wordOpenMode(), 2);
        pick(control<SettingsSelect>("wordEngineSelect"), 2);
        QCOMPARE(wordConvertEngine(), 2);
        QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("Word 转换引擎已切换，重新打开文档后生效"));
        QTest::mouseClick(control<ToggleSwitch>("wordNagFixSwitch"), Qt::LeftButton);
        QVERIFY(!wordNagFix());

        show(SettingsPage::Debug);
        QTest::mouseClick(control<ToggleSwitch>("debugLogSwitch"), Qt::LeftButton);
        QVERIFY(debugLogSetting() && isLogEnabled());
        QCOMPARE(rowBody(control<QPushButton>("openLogDirButton"))->text(), QDir::toNativeSeparators(logFilePath()));
        QTest::mouseClick(control<ToggleSwitch>("debugLogSwitch"), Qt::LeftButton);
        QVERIFY(!isLogEnabled());
        QCOMPARE(rowBody(control<QPushButton>("openLogDirButton"))->text(), QStringLiteral("已关闭（不写入任何日志）"));

        show(SettingsPage::Files);
        QCOMPARE(control<SettingsSelect>("pdfExportModeSelect")->currentIndex(), 0);
        pick(control<SettingsSelect>("pdfExportModeSelect"), 1);
        QCOMPARE(pdfExportMode(), 1);
        pick(control<SettingsSelect>("pdfExportModeSelect"), 0);
        QCOMPARE(pdfExportMode(), 0);
        const QString folder = QDir::tempPath() + QStringLiteral("/lessons");
        QDir().mkpath(folder);
        TestUtil::onNextModal<QFileDialog>([folder](QFileDialog *d) { TestUtil::chooseFile(d, folder); });
        QTest::mouseClick(control<QPushButton>("chooseSaveDirButton"), Qt::LeftButton);
        QCOMPARE(defaultSavePath(), folder);
        QVERIFY(control<QPushButton>("resetSaveDirButton")->isEnabled());
        QTest::mouseClick(control<QPushButton>("resetSaveDirButton"), Qt::LeftButton);
        QCOMPARE(defaultSavePath(), QString());
        QVERIFY(rowBody(control<QPushButton>("resetSaveDirButton"))->text().startsWith(QStringLiteral("跟随源文件所在目录（默认）")));
    }

    void failedWriteIsShownAndReverted()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("blocker"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker + QStringLiteral("/config"));
        QSignalSpy spy(page(), &SettingsPage::palmEraserChanged);
        QString shown;
        TestUtil::onNextModal<QMessageBox>([&shown](QMessageBox *box) {
            shown = box->windowTitle() + QLatin1Char('|') + box->text();
            box->accept();
        });
        show(SettingsPage::General);
        auto *toggle = control<ToggleSwitch>("palmEraserSwitch");
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(shown, QStringLiteral("设置失败|无法写入设置文件（手掌擦除设置）"));
        QVERIFY(!toggle->isChecked());
        QCOMPARE(spy.size(), 0);
        QVERIFY(!m_window->canvas(0)->palmEraserEnabled());
    }

    void libreOfficeChooserTakesOnlySoffice()
    {
        show(SettingsPage::Word);
        const QString wrong = QDir::tempPath() + QStringLiteral("/writer");
        const QString right = QDir::tempPath() + QStringLiteral("/program/soffice");
        for (const QString &path : {wrong, right}) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QString refusal;
        TestUtil::onNextModal<QFileDialog>([wrong](QFileDialog *d) { TestUtil::chooseFile(d, wrong); });
        TestUtil::onNextModal<QMessageBox>([&refusal](QMessageBox *box) {
            refusal = box->windowTitle() + QLatin1Char('|') + box->text();
            box->accept();
        });
        QTest::mouseClick(control<QPushButton>("chooseSofficeButton"), Qt::LeftButton);
        QCOMPARE(refusal, QStringLiteral("选择失败|请选择 LibreOffice 的 soffice，通常位于 /usr/bin 或 LibreOffice 的 "
                                         "program 目录下"));
        QCOMPARE(libreOfficePath(), QString());

        TestUtil::onNextModal<QFileDialog>([right](QFileDialog *d) { TestUtil::chooseFile(d, right); });
        QTest::mouseClick(control<QPushButton>("chooseSofficeButton"), Qt::LeftButton);
        QCOMPARE(libreOfficePath(), right);
        QCOMPARE(rowBody(control<QPushButton>("chooseSofficeButton"))->text(), QStringLiteral("已检测到：%1").arg(right));
        QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("LibreOffice 路径已保存"));
        // One without its presentation part says so: decks need it.
        const QString registry = QDir::tempPath() + QStringLiteral("/share/registry");
        QVERIFY(QDir().mkpath(registry));
        TestUtil::onNextModal<QFileDialog>([right](QFileDialog *d) { TestUtil::chooseFile(d, right); });
        QTest::mouseClick(control<QPushButton>("chooseSofficeButton"), Qt::LeftButton);
        const QString said = rowBody(control<QPushButton>("chooseSofficeButton"))->text();
        QVERIFY2(said.startsWith(QStringLiteral("已检测到：%1\n").arg(right))
                     && said.contains(QStringLiteral("缺少演示文稿组件（Impress）")),
                 qPrintable(said));
        QVERIFY(QDir(QDir::tempPath() + QStringLiteral("/share")).removeRecursively());
        QTest::mouseClick(control<QPushButton>("clearSofficeButton"), Qt::LeftButton);
        QCOMPARE(libreOfficePath(), QString());
        QVERIFY(!control<QPushButton>("clearSofficeButton")->isEnabled());
    }

    void registerAsksBeforeTakingOver()
    {
        show(SettingsPage::Files);
        const QString entry = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/applications/lectern.desktop");
        QDir().mkpath(QFileInfo(entry).absolutePath());
        QFile other(entry);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("[Desktop Entry]\nType=Application\nName=Other\nExec=other\n");
        other.close();
        QString asked;
        TestUtil::onNextModal<QMessageBox>([&asked](QMessageBox *box) {
            asked = box->text();
            box->button(QMessageBox::No)->click();
        });
        QTest::mouseClick(control<QPushButton>("registerButton"), Qt::LeftButton);
        QVERIFY(asked.contains(QDir::toNativeSeparators(entry)));
        QVERIFY(!foreignAssociationFiles().isEmpty()); // still theirs

        QStringList answers;
        TestUtil::onNextModal<QMessageBox>([&answers](QMessageBox *box) {
            answers << box->windowTitle();
            box->button(QMessageBox::Yes)->click();
        });
        QTest::mouseClick(control<QPushButton>("registerButton"), Qt::LeftButton);
        QCOMPARE(answers, QStringList{QStringLiteral("注册为打开方式")});
        // The registration itself runs off this thread; its box follows.
        TestUtil::onNextModal<QMessageBox>([&answers](QMessageBox *box) {
            answers << box->windowTitle();
            box->reject();
        });
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 2, 60000);
        QCOMPARE(answers.last(), QStringLiteral("已注册为打开方式"));
        QVERIFY(foreignAssociationFiles().isEmpty());
    }

    // The desktop's database tools can take seconds: the window keeps
    // painting meanwhile, and the box then says what to do on this desktop.
    void registrationKeepsTheWindowResponsive()
    {
        show(SettingsPage::Files);
        QTemporaryDir tools;
        const QString slow = tools.filePath(QStringLiteral("update-desktop-database"));
        QFile script(slow);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nsleep 2\nexec /usr/bin/update-desktop-database \"$@\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", tools.path().toLocal8Bit() + ':' + path);
        auto restore = qScopeGuard([path] { qputenv("PATH", path); });

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(20);
        int ticksAtBox = -1;
        QString advice;
        QStringList buttons;
        TestUtil::onNextModal<QMessageBox>([&](QMessageBox *box) {
            ticksAtBox = ticks;
            advice = box->informativeText();
            for (QAbstractButton *b : box->buttons())
                buttons << b->text();
            box->reject();
        });
        auto *button = control<QPushButton>("registerButton");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("正在注册…"));
        QTRY_VERIFY_WITH_TIMEOUT(ticksAtBox >= 0, 60000);
        QVERIFY2(ticksAtBox >= 40, qPrintable(QString::number(ticksAtBox)));
        QVERIFY(button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("注册…"));
        // No page of this desktop sets a PDF default: the box alone guides.
        QVERIFY(!hasDefaultAppsSettings());
        QCOMPARE(buttons, QStringList{QStringLiteral("知道了")});
        QVERIFY(advice.contains(QStringLiteral("文件管理器")));
        QVERIFY(!advice.contains(QStringLiteral("Windows")));
    }

    // Nothing on the page speaks of Windows, its registry or its .exe files.
    void linuxWords()
    {
        QStringList texts;
        for (QLabel *label : page()->findChildren<QLabel *>())
            texts << label->text() << label->toolTip();
        for (QAbstractButton *button : page()->findChildren<QAbstractButton *>())
            texts << button->text() << button->toolTip();
        for (const QString &text : std::as_const(texts)) {
            for (const char *word : {"Windows", "HKCU", ".exe", "注册表", "\\"})
                QVERIFY2(!text.contains(QString::fromUtf8(word)), qPrintable(text));
        }
        QVERIFY(texts.contains(QStringLiteral("登录桌面后自动打开本程序")));
    }

    // A log file that cannot be opened: the switch goes back to off and says why.
    void debugLogThatCannotOpenSaysWhy()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("blocker"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QByteArray data = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
        auto restore = qScopeGuard([data] { qputenv("XDG_DATA_HOME", data); });
        QString shown;
        TestUtil::onNextModal<QMessageBox>([&shown](QMessageBox *box) {
            shown = box->windowTitle() + QLatin1Char('|') + box->text();
            box->accept();
        });
        show(SettingsPage::Debug);
        auto *toggle = control<ToggleSwitch>("debugLogSwitch");
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY2(shown.startsWith(QStringLiteral("设置失败|无法打开诊断日志文件：") + blocker), qPrintable(shown));
        QVERIFY(!toggle->isChecked());
        QVERIFY(!isLogEnabled());
        QVERIFY(!debugLogSetting());
    }

    void updateCheckThroughTheButton()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&server] {
            QTcpSocket *socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->write("HTTP/1.1 302 Found\r\nLocation: /o/p/releases/tag/v9.0\r\nContent-Length: 0\r\n\r\n");
                socket->disconnectFromHost();
            });
        });
        qputenv("LECTERN_UPDATE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(server.serverPort())
                                          + "/o/p/releases/latest");
        show(SettingsPage::About);
        auto *button = control<QPushButton>("settingsPrimary");
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), QStringLiteral("正在检查…"));
        QVERIFY(!button->isEnabled());
        QTRY_COMPARE(button->text(), QStringLiteral("前往下载"));
        QCOMPARE(rowBody(button)->text(),
                 QStringLiteral("发现新版本 v9.0（当前 %1）。点击「前往下载」在浏览器中打开发布页面。").arg(QStringLiteral(LECTERN_VERSION)));
        QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("发现新版本 v9.0"));
        m_opened.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:%1/o/p/releases/tag/v9.0").arg(server.serverPort()))});
        qunsetenv("LECTERN_UPDATE_URL");
    }

    void wrongTypesEverywhereReadAsDefaults()
    {
        delete m_window;
        m_window = nullptr;
        QFile store(openSettingsStore()->fileName());
        QVERIFY(store.open(QIODevice::WriteOnly | QIODevice::Truncate));
        store.write("[General]\nThemeMode=dark\nThemePreset=@Invalid()\nThemeStyle=2.5\nToolbarStyle=-1\n"
                    "WordOpenMode=\nWordConvertEngine=9\nWordNagFix=maybe\nPalmEraser=42\nReduceMotion=@ByteArray(\\0)\n"
                    "DebugLog=\"a, b\"\nDefaultSavePath=1, 2\nLibreOfficePath=@Variant(\\0\\0\\0\\x7f)\nRecentFiles=7\n");
        store.close();
        SettingsPage page;
        page.show();
        QCOMPARE(page.findChild<SettingsSelect *>(QStringLiteral("themeModeSelect"))->currentIndex(), 0);
        QVERIFY(page.findChild<SeedSwatch *>(QStringLiteral("seedSwatch0"))->isChecked());
        QCOMPARE(page.findChild<SettingsSelect *>(QStringLiteral("paletteStyleSelect"))->currentIndex(), 0);
        QCOMPARE(page.findChild<SettingsSelect *>(QStringLiteral("toolbarStyleSelect"))->currentIndex(), 0);
        QCOMPARE(page.findChild<SettingsSelect *>(QStringLiteral("wordEngineSelect"))->currentIndex(), 0);
        QVERIFY(page.findChild<ToggleSwitch *>(QStringLiteral("wordNagFixSwitch"))->isChecked());
        QVERIFY(!page.findChild<ToggleSwitch *>(QStringLiteral("palmEraserSwitch"))->isChecked());
        QVERIFY(!page.findChild<ToggleSwitch *>(QStringLiteral("reduceMotionSwitch"))->isChecked());
        QVERIFY(!page.findChild<ToggleSwitch *>(QStringLiteral("debugLogSwitch"))->isChecked());
        QVERIFY(!page.findChild<QPushButton *>(QStringLiteral("resetSaveDirButton"))->isEnabled());
        QVERIFY(!page.findChild<QPushButton *>(QStringLiteral("clearSofficeButton"))->isEnabled());
        // Nothing of Word's was ever changed here: nothing to restore.
        QVERIFY(!page.findChild<QPushButton *>(QStringLiteral("restoreWordNagButton"))->isEnabled());
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
