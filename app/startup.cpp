#include "app/startup.h"

#include "app/cliexport.h"
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/selftestimage.h"
#include "app/selftestdocx.h"
#include "app/selftestsmoke.h"
#include "app/selftestrunner.h"
#include "app/singleinstance.h"
#include "app/startuplog.h"
#include "ui/appicon.h"
#include "ui/theme.h"
#include "app/themecheck.h"
#include "probe/touchprobewindow.h"
#include "app/usage.h"
#include "files/wordconvert.h"
#include "files/workingcopy.h"
#include "platform/fileassoc.h"
#include "platform/startupenv.h"
#include "system/crashreport.h"
#include "system/diaglog.h"
#include "system/settings.h"
#include "system/updatecheck.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

#include <chrono>

namespace {

void logStartupLines(const QStringList &arguments)
{
    const QColor desk = theme().desk;
    logInfo(QStringLiteral("app"),
            QStringLiteral("外观：设置 %1 → 解析 %2（系统 %3）pal=%4 desk=%5,%6,%7")
                .arg(themeMode())
                .arg(resolvedScheme())
                .arg(systemPrefersDark() ? 2 : 1)
                .arg(themeIdentity())
                .arg(desk.red())
                .arg(desk.green())
                .arg(desk.blue()));
    logInfo(QStringLiteral("app"),
            QStringLiteral("启动：Qt %1 | 程序 %2 | 参数 [%3]")
                .arg(QString::fromLatin1(qVersion()), QCoreApplication::applicationFilePath(),
                     arguments.mid(1).join(QLatin1Char(' '))));
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        logInfo(QStringLiteral("app"),
                QStringLiteral("屏幕：%1×%2 @DPR %3")
                    .arg(screen->geometry().width())
                    .arg(screen->geometry().height())
                    .arg(QString::number(screen->devicePixelRatio(), 'g', QLocale::FloatingPointShortest)));
    }
}

} // namespace

qint64 steadyClockNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool installQtTranslation(QTranslator *translator, const QLocale &locale)
{
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(translator);
}

int runDeveloperSwitch(const QString &name, const QString &argument, const QString &secondArgument, bool raster,
                       ExtraSwitchRunner extraSwitches, const StartupMarks &marks)
{
    if (name == QLatin1String("--probe-touch"))
        return runTouchProbe();
    if (name == QLatin1String("--selftest-crash")) {
        installCrashHandler();
        return runCrashSelfTest(argument);
    }
    if (name == QLatin1String("--selftest-smoke"))
        return runSmokeSelfTest(argument);
    if (name == QLatin1String("--selftest-image"))
        return runImageSelfTest();
    if (name == QLatin1String("--selftest-update"))
        return runUpdateSelfTest(argument);
    if (name == QLatin1String("--selftest-docx"))
        return runDocxSelfTest();
    if (name == QLatin1String("--export-pdf") || name == QLatin1String("--export-png"))
        return runExportSwitch(name, argument, secondArgument, raster);
    if (name == QLatin1String("--selftest-theme"))
        return runThemeSelfTest();
    if (name == QLatin1String("--help"))
        return printUsage();
    if (name == QLatin1String("--version"))
        return printVersion();
    if (const int code = runAreaSelfTest(name, argument); code >= 0)
        return code;
    if (extraSwitches) {
        if (const int code = extraSwitches(name, argument, secondArgument, marks); code >= 0)
            return code;
    }
    qWarning("%s: not available", qPrintable(name));
    return 1;
}

int runApplication(int argc, char **argv, ExtraSwitchRunner extraSwitches, qint64 mainNs)
{
    StartupMarks marks;
    marks.mainNs = mainNs;
    qputenv("QT_DEBUG_PLUGINS", "1");
    ignoreFileSizeSignal();
    // Before anything else can fail, so even a start that dies in Qt's
    // plug-in loading leaves its trace.
    writeStartupLog();
    if (systemTooOld()) {
        showSystemTooOldMessage(
            QStringLiteral("青简批注"),
            QStringLiteral("这台电脑的 Windows 版本较旧，本程序无法运行。\n\n「青简批注」需要 Windows 10 版本 1709（内部版本 16299）或更高版本，\n"
                           "当前系统缺少它必须的一个系统接口（UIAutomationCore 的 UiaRaiseNotificationEvent）。\n\n"
                           "请让管理员升级系统后再打开本程序。\n\n（诊断信息已写入 %LOCALAPPDATA%\\Lectern\\logs\\startup.log）"));
        constexpr int kSystemTooOldExit = 2;
        return kSystemTooOldExit;
    }

    // --help, --version and a mistyped switch answer without a display: a
    // technician asks over ssh. Qt's own options are still in this list.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine early = parseCommandLine(rawArguments);
    if (!early.error.isEmpty())
        return printUsageError(early.error);
    if (early.devSwitch == QLatin1String("--help"))
        return printUsage();
    if (early.devSwitch == QLatin1String("--version"))
        return printVersion();
    // The exports never show a window; without a display they still run.
    if (early.devSwitch.startsWith(QLatin1String("--export-")) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Every pointer sample must reach the canvas for smooth strokes.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QApplication app(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);

    appendRuntimeList(QCoreApplication::applicationDirPath() + QStringLiteral("/runtime.txt"));
    QCoreApplication::setApplicationName(QStringLiteral("Lectern"));
    QApplication::setWindowIcon(appIcon());
    // Wayland desktops find the window's menu entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(systemDesktopEntry().isEmpty() ? QStringLiteral("lectern")
                                                                       : QStringLiteral("io.github.lectern.Lectern"));
    installCrashHandler();
    recordOperation("startup", QStringLiteral(LECTERN_VERSION));

    QTranslator qtTranslator;
    installQtTranslation(&qtTranslator, QLocale::system());
    marks.applicationNs = steadyClockNs();

    const QStringList arguments = QCoreApplication::arguments();
    initLog();
    recomputeTheme();
    setReduceMotion(reduceMotionSetting());
    logStartupLines(arguments);

    const CommandLine commandLine = parseCommandLine(arguments);
    if (!commandLine.error.isEmpty())
        return printUsageError(commandLine.error);
    for (const QString &notice : commandLine.notices)
        qWarning("%s", qPrintable(notice));
    marks.themeNs = steadyClockNs();
    const bool boardRequested = commandLine.devSwitch == QLatin1String("--new-board");
    if (!commandLine.devSwitch.isEmpty() && !boardRequested) {
        attachParentConsole();
        return runDeveloperSwitch(commandLine.devSwitch, commandLine.switchArgument,
                                  commandLine.secondArgument, commandLine.raster, extraSwitches, marks);
    }

    // Made absolute here: the running window has its own working folder,
    // and a working copy is named after the path it is given.
    QStringList files = absoluteFilePaths(commandLine.files);
    if (boardRequested)
        files.prepend(newBoardRequest(commandLine.switchArgument));
    if (forwardToRunningInstance(files))
        return 0;

    MainWindow window;
    window.show();
    auto *server = new SingleInstanceServer(&window);
    QObject::connect(server, &SingleInstanceServer::openRequested, &window, &MainWindow::openPath);
    // Only the instance that serves sweeps the temp folder: a start that
    // hands its files over must not delete what the running window holds,
    // and one whose server cannot listen cannot tell that none runs. Ink an
    // earlier version kept below /tmp comes over before anything opens.
    if (server->listen()) {
        migrateLegacyWorkingCopies();
        sweepTempFolder();
        sweepConverterLeftovers();
        window.restoreUnsavedPages();
    }
    if (!files.isEmpty())
        window.openPath(files.first());
    return app.exec();
}
