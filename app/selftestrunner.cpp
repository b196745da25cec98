#include "app/selftestrunner.h"

#include "app/mainwindow.h"
#include "app/selftestcanvas.h"
#include "app/selftestreport.h"
#include "app/selftestshell.h"
#include "canvas/pdfcanvas.h"
#include "system/diaglog.h"
#include "ui/uimetrics.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdio>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Points the log at path (empty: back to the teacher's own setting).
void useLog(const QByteArray &path)
{
    if (path.isEmpty())
        qunsetenv("LECTERN_LOG");
    else
        qputenv("LECTERN_LOG", path);
    initLog();
}

// In a private folder: the teacher's own log is neither written nor rotated.
int runLogSelfTest()
{
    SelfTestReport report(QStringLiteral("log"));
    const QByteArray kept = qgetenv("LECTERN_LOG");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("诊断.log"));
    useLog(path.toLocal8Bit());
    report.check(isLogEnabled() && logFilePath() == path, QStringLiteral("日志可以打开"), logFilePath());
    const QString marker = QUuid::createUuid().toString(QUuid::WithoutBraces);
    logInfo(QStringLiteral("selftest"), QStringLiteral("自检 %1").arg(marker));
    const QString text = QString::fromUtf8(readFile(path));
    const QRegularExpression line(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} .*selftest: 自检 %1$")
                                      .arg(marker), QRegularExpression::MultilineOption);
    report.check(line.match(text).hasMatch(), QStringLiteral("写入的行带时间读得回来"));

    // Past the size limit the next start moves the log aside.
    const QString filler(1000, QLatin1Char('x'));
    constexpr int kFillerLines = 2300;
    for (int i = 0; i < kFillerLines; ++i)
        logInfo(QStringLiteral("selftest"), filler);
    const qint64 full = QFileInfo(path).size();
    useLog(dir.filePath(QStringLiteral("other.log")).toLocal8Bit());
    useLog(path.toLocal8Bit());
    logInfo(QStringLiteral("selftest"), QStringLiteral("轮换之后"));
    const QByteArray previous = readFile(path + QStringLiteral(".1"));
    const qint64 fresh = QFileInfo(path).size();
    report.check(previous.contains(marker.toUtf8()) && fresh > 0 && fresh < 4096, QStringLiteral("超过上限后轮换"),
                 QStringLiteral("轮换前 %1 字节，轮换后 %2 字节").arg(full).arg(fresh));
    useLog(kept);

    // Where the teacher's log goes when it is switched on: creatable and writable.
    const QString own = kept.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
            + QStringLiteral("/logs")
                                       : QFileInfo(QString::fromLocal8Bit(kept)).absolutePath();
    QString folder = own;
    while (!QFileInfo::exists(folder) && folder != QFileInfo(folder).absolutePath())
        folder = QFileInfo(folder).absolutePath();
    report.check(QFileInfo(folder).isDir() && QFileInfo(folder).isWritable(), QStringLiteral("日志文件夹可写"), own);
    return report.finish();
}

QString millimetres(double mm)
{
    return QString::number(mm, 'f', 1) + QStringLiteral(" mm");
}

int runUiSelfTest()
{
    SelfTestReport report(QStringLiteral("ui"));
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!report.check(screen != nullptr, QStringLiteral("找到显示器")))
        return report.finish();
    const double ratio = screen->devicePixelRatio();
    const QFont font = QApplication::font();
    const UiMetrics metrics = uiMetrics(font);
    const double fontHeight = QFontMetricsF(font).height();
    report.note(QStringLiteral("屏幕 %1×%2 @DPR %3，逻辑 %4 dpi，物理 %5 dpi，%6×%7 mm；字高 %8 像素，触摸目标 %9 像素")
                    .arg(screen->geometry().width()).arg(screen->geometry().height()).arg(ratio)
                    .arg(qRound(screen->logicalDotsPerInch())).arg(qRound(screen->physicalDotsPerInch()))
                    .arg(qRound(screen->physicalSize().width())).arg(qRound(screen->physicalSize().height()))
                    .arg(fontHeight, 0, 'f', 1).arg(metrics.touchTarget));
    // A finger needs about 7 mm; a screen that reports no physical size cannot be judged.
    constexpr double kFingerMm = 7.0;
    constexpr double kReadableMm = 2.2;
    const double dpi = screen->physicalDotsPerInch();
    if (screen->physicalSize().width() > 0 && dpi > 0) {
        const double target = metrics.touchTarget * ratio / dpi * 25.4;
        const double text = fontHeight * ratio / dpi * 25.4;
        report.check(target >= kFingerMm, QStringLiteral("触摸目标够手指点"), millimetres(target));
        report.check(text >= kReadableMm, QStringLiteral("文字够大"), QStringLiteral("字高 %1").arg(millimetres(text)));
    } else {
        report.note(QStringLiteral("显示器没有报告物理尺寸，跳过毫米检查"));
    }
    report.check(metrics.touchTarget >= 48 && metrics.iconSize >= 22 && metrics.touchTarget > fontHeight,
                 QStringLiteral("尺寸随字高放大"), QStringLiteral("字高 %1，触摸目标 %2，图标 %3")
                     .arg(fontHeight, 0, 'f', 1).arg(metrics.touchTarget).arg(metrics.iconSize));

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("界面自检.pdf"));
    MainWindow window;
    window.show();
    if (writeSelfTestPdf(pdf, 2, QSizeF(595, 842), QColor(250, 250, 245)))
        window.openPath(pdf);
    const bool opened = waitUntil([&] { return window.documentCount() == 1 && window.isVisible(); }, 10000);
    report.check(opened && screen->availableGeometry().contains(window.frameGeometry()),
                 QStringLiteral("窗口在屏幕内"), QStringLiteral("%1×%2").arg(window.width()).arg(window.height()));
    // The island's buttons are drawn at 0.8 scale; nothing a finger uses may be smaller.
    const int smallest = uiMetrics(font, 0.8).touchTarget;
    QStringList small;
    QStringList clipped;
    int buttons = 0;
    for (QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
        if (!button->isVisible() || !button->isEnabled())
            continue;
        ++buttons;
        const QString name = button->text().isEmpty() ? button->toolTip().isEmpty() ? button->objectName() : button->toolTip()
                                                      : button->text();
        if (std::min(button->width(), button->height()) < smallest - 1)
            small << QStringLiteral("%1 %2×%3").arg(name).arg(button->width()).arg(button->height());
        if (!button->text().isEmpty() && button->sizeHint().width() > button->width() + 1)
            clipped << name;
    }
    report.check(buttons > 0 && small.isEmpty(), QStringLiteral("%1 个按钮都不小于 %2 像素").arg(buttons).arg(smallest),
                 small.join(QStringLiteral("；")));
    report.check(clipped.isEmpty(), QStringLiteral("按钮文字完整"), clipped.join(QStringLiteral("；")));
    return report.finish();
}

// Every self-test that needs no argument, each in a process of its own so
// one that crashes or hangs is a failure and not the end of the run.
int runAllSelfTests()
{
    constexpr int kChildTimeoutMs = 180000;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("笔迹自检.pdf"));
    writeSelfTestPdf(pdf, 2, QSizeF(595, 842), QColor(250, 250, 245));
    const QList<QStringList> runs = {
        { QStringLiteral("--selftest-ui") },
        { QStringLiteral("--selftest-ink"), pdf },
        { QStringLiteral("--selftest-tileclip"), dir.path() },
        { QStringLiteral("--selftest-scroll"), dir.path() },
        { QStringLiteral("--selftest-popup"), dir.path() },
        { QStringLiteral("--selftest-dialog") },
        { QStringLiteral("--selftest-home") },
        { QStringLiteral("--selftest-log") },
        { QStringLiteral("--selftest-theme") },
        { QStringLiteral("--selftest-image") },
        { QStringLiteral("--selftest-docx") },
    };
    QStringList failed;
    for (const QStringList &run : runs) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), run);
        const bool finished = child.waitForFinished(kChildTimeoutMs);
        if (!finished) {
            child.kill();
            child.waitForFinished();
        }
        const bool pass = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
        const QString verdict = !finished ? QStringLiteral("FAIL（超时）")
            : child.exitStatus() != QProcess::NormalExit ? QStringLiteral("FAIL（崩溃）")
            : pass ? QStringLiteral("PASS") : QStringLiteral("FAIL（退出码 %1）").arg(child.exitCode());
        std::fputs(QStringLiteral("== %1 %2\n").arg(run.first(), verdict).toUtf8().constData(), stdout);
        std::fflush(stdout);
        if (!pass)
            failed << run.first();
    }
    const QString summary = failed.isEmpty()
        ? QStringLiteral("自检汇总：%1 项全部通过\n").arg(runs.size())
        : QStringLiteral("自检汇总：%1 项中 %2 项未通过：%3\n").arg(runs.size()).arg(failed.size()).arg(failed.join(QLatin1Char(' ')));
    std::fputs(summary.toUtf8().constData(), stdout);
    std::fflush(stdout);
    return failed.isEmpty() ? 0 : 1;
}

} // namespace

int runAreaSelfTest(const QString &name, const QString &argument)
{
    if (name == QLatin1String("--selftest"))
        return runAllSelfTests();
    if (name == QLatin1String("--selftest-ink"))
        return runInkSelfTest(argument);
    if (name == QLatin1String("--selftest-tileclip"))
        return runTileClipSelfTest(argument);
    if (name == QLatin1String("--selftest-popup"))
        return runPopupSelfTest(argument);
    if (name == QLatin1String("--selftest-scroll"))
        return runScrollSelfTest(argument);
    if (name == QLatin1String("--selftest-log"))
        return runLogSelfTest();
    if (name == QLatin1String("--selftest-ui"))
        return runUiSelfTest();
    if (name == QLatin1String("--selftest-dialog"))
        return runDialogSelfTest();
    if (name == QLatin1String("--selftest-home"))
        return runHomeSelfTest();
    return -1;
}
