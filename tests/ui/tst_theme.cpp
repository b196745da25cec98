#include "testutil.h"

#include "app/mainwindow.h"
#include "ui/theme.h"
#include "app/themecheck.h"
#include "canvas/pdfcanvas.h"
#include "pages/settingspage.h"
#include "platform/colorscheme.h"
#include "system/settings.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

const char kPortalService[] = "org.freedesktop.portal.Desktop";
const char kPortalPath[] = "/org/freedesktop/portal/desktop";
const char kPortalInterface[] = "org.freedesktop.portal.Settings";
// Set in the environment of this program started as the fake portal.
const char kPortalRole[] = "LECTERN_TEST_FAKE_PORTAL";

// Stands in for the desktop portal's settings interface on a private bus, in
// a process of its own as the real one is. It holds its answers until told
// to release them (a portal slow to start); the test drives it through the
// last three methods.
class FakePortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public slots:
    QDBusVariant ReadOne(const QString &group, const QString &key)
    {
        const bool ours = group == QLatin1String("org.freedesktop.appearance")
            && key == QLatin1String("color-scheme");
        if (ours && m_holding) {
            setDelayedReply(true);
            m_held.append(message());
            return QDBusVariant(0u);
        }
        return QDBusVariant(ours ? m_scheme : 0u);
    }
    int Held() const { return int(m_held.size()); }
    void Release()
    {
        m_holding = false;
        for (const QDBusMessage &call : std::as_const(m_held))
            connection().send(call.createReply(QVariant::fromValue(QDBusVariant(m_scheme))));
        m_held.clear();
    }
    void Say(uint scheme)
    {
        m_scheme = scheme;
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kPortalPath),
                                                         QString::fromLatin1(kPortalInterface),
                                                         QStringLiteral("SettingChanged"));
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(scheme));
        connection().send(signal);
    }

private:
    uint m_scheme = 1; // freedesktop: 1 dark, 2 light
    bool m_holding = true;
    QList<QDBusMessage> m_held;
};

int runFakePortal(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakePortal portal;
    if (!bus.registerObject(QString::fromLatin1(kPortalPath), &portal, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QString::fromLatin1(kPortalService)))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

// Calls one of the fake portal's methods; its reply.
QDBusMessage askPortal(const char *method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
                                                       QString::fromLatin1(kPortalInterface), QString::fromLatin1(method));
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

int portalHeld()
{
    const QDBusMessage reply = askPortal("Held");
    return reply.arguments().isEmpty() ? -1 : reply.arguments().constFirst().toInt();
}

QColor px(const QImage &image, int x, int y) { return image.pixelColor(x, y); }

// Beyond the labels, where the bar's own background shows.
QColor barColor(MainWindow &window)
{
    const QImage image = window.statusBar()->grab().toImage();
    return image.pixelColor(image.width() - 4, image.height() / 2);
}

bool near(float a, float b) { return qAbs(a - b) < 0.001f; }

int distance(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue());
}

void applySettings(MainWindow &window, int mode, int preset, int style)
{
    QVERIFY(setThemeMode(mode));
    QVERIFY(setThemePreset(preset));
    QVERIFY(setThemeStyle(style));
    emit window.settingsPage()->themeChanged();
}

} // namespace

class TestTheme : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void everySchemeIsSound();
    void statedColours();
    void derivedTokens();
    void storedValuesAreClamped();
    void modeZeroFollowsTheDesktop();
    void switchRestylesWithoutRendering();

private:
    QProcess m_bus;
    QProcess m_portal;
    bool m_haveBus = false;
    QColor m_factoryWindow;
};

void TestTheme::initTestCase()
{
    // A private session bus carrying a fake portal, before anything asks the
    // desktop for its colour scheme.
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!m_bus.waitForStarted(5000) || !m_bus.waitForReadyRead(5000))
        return;
    const QByteArray address = m_bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kPortalRole), QStringLiteral("1"));
    m_portal.setProcessEnvironment(env);
    m_portal.start(QCoreApplication::applicationFilePath(), {});
    m_haveBus = m_portal.waitForStarted(5000) && m_portal.waitForReadyRead(10000)
        && m_portal.readLine().trimmed() == "ready" && QDBusConnection::sessionBus().isConnected();
    m_factoryWindow = QApplication::palette().color(QPalette::Window);
}

void TestTheme::cleanupTestCase()
{
    m_portal.kill();
    m_portal.waitForFinished(5000);
    m_bus.kill();
    m_bus.waitForFinished(5000);
}

void TestTheme::everySchemeIsSound()
{
    for (int preset = 0; preset < 8; ++preset) {
        for (int style = 0; style < 4; ++style) {
            const QStringList faults = themeViolations(computeTheme(false, preset, style),
                                                       computeTheme(true, preset, style));
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
        }
    }
    // The check itself sees a broken scheme: dark swapped for light, and
    // text as pale as its bar.
    Theme light = computeTheme(false, 0, 0);
    light.onSurface = light.bar;
    QCOMPARE(themeViolations(computeTheme(true, 0, 0), light).size(), 3);

    QProcess selftest;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString());
    selftest.setProcessEnvironment(env);
    selftest.start(TestUtil::lecternBinary(), {QStringLiteral("--selftest-theme")});
    QVERIFY(selftest.waitForFinished(60000));
    const QString out = QString::fromUtf8(selftest.readAllStandardOutput());
    QCOMPARE(selftest.exitCode(), 0);
    QCOMPARE(out.count(QRegularExpression(QStringLiteral("^PASS theme preset=\\d style=\\d (light|dark) "),
                                          QRegularExpression::MultilineOption)), 64);
}

void TestTheme::statedColours()
{
    const char *light[31] = {
        "#005bbf", "#ffffff", "#1a73e8", "#ffffff", "#475e8c", "#ffffff", "#b2c9fe", "#3d5481",
        "#9e4300", "#ffffff", "#c55500", "#0e0200", "#ba1a1a", "#ffffff", "#ffdad6", "#93000a",
        "#d8d9e3", "#f9f9ff", "#ffffff", "#f2f3fd", "#ecedf7", "#e6e8f2", "#e0e2ec", "#191c23",
        "#414754", "#727785", "#c1c6d6", "#2d3038", "#eff0fa", "#adc7ff", "#000000"};
    const char *dark[31] = {
        "#adc7ff", "#002e68", "#1a73e8", "#ffffff", "#afc7fb", "#15305b", "#2e4673", "#9eb5e8",
        "#ffb691", "#552100", "#c55500", "#0e0200", "#ffb4ab", "#690005", "#93000a", "#ffdad6",
        "#10131a", "#363941", "#0b0e15", "#191c23", "#1d2027", "#272a31", "#32353c", "#e0e2ec",
        "#c1c6d6", "#8b909f", "#414754", "#e0e2ec", "#2d3038", "#005bc0", "#000000"};
    const Theme l = computeTheme(false, 0, 0);
    const Theme d = computeTheme(true, 0, 0);
    for (int role = 0; role < 31; ++role) {
        QCOMPARE(l.at(role), QColor(QLatin1String(light[role])));
        QCOMPARE(d.at(role), QColor(QLatin1String(dark[role])));
    }
    const char *primaries[8][4][2] = {
        {{"#005bbf", "#adc7ff"}, {"#435e91", "#adc7ff"}, {"#595e6c", "#c2c6d6"}, {"#000000", "#ffffff"}},
        {{"#00685e", "#67d9c9"}, {"#006a60", "#82d5c8"}, {"#51625e", "#b8cac6"}, {"#000000", "#ffffff"}},
        {{"#006b1b", "#7ddc7a"}, {"#3b6939", "#a1d39a"}, {"#566253", "#becab8"}, {"#000000", "#ffffff"}},
        {{"#7e5700", "#ffd79b"}, {"#7d570d", "#f0be6d"}, {"#6a5c48", "#d7c4aa"}, {"#000000", "#ffffff"}},
        {{"#8f4e00", "#ffb77b"}, {"#88511d", "#ffb77b"}, {"#6f5a4a", "#dcc1ae"}, {"#000000", "#ffffff"}},
        {{"#b7131a", "#ffb4ac"}, {"#904a44", "#ffb4ac"}, {"#715856", "#dfbfbb"}, {"#000000", "#ffffff"}},
        {{"#70008b", "#f3aeff"}, {"#794f81", "#e8b5ef"}, {"#685a68", "#d3c1d1"}, {"#000000", "#ffffff"}},
        {{"#2e434c", "#b4cad6"}, {"#106681", "#8ad0ef"}, {"#526068", "#bac9d1"}, {"#000000", "#ffffff"}},
    };
    for (int preset = 0; preset < 8; ++preset) {
        for (int style = 0; style < 4; ++style) {
            QCOMPARE(computeTheme(false, preset, style).primary.name(), QLatin1String(primaries[preset][style][0]));
            QCOMPARE(computeTheme(true, preset, style).primary.name(), QLatin1String(primaries[preset][style][1]));
        }
    }
}

void TestTheme::derivedTokens()
{
    for (const bool isDark : {false, true}) {
        const Theme t = computeTheme(isDark, 5, 1);
        const auto mix = [](const QColor &p, const QColor &o, int channel) {
            const double a[3] = {p.redF(), p.greenF(), p.blueF()};
            const double b[3] = {o.redF(), o.greenF(), o.blueF()};
            return (0.92 * a[channel] + 0.08 * b[channel]) * 255;
        };
        QVERIFY(qAbs(t.accentHover.red() - mix(t.primary, t.onPrimary, 0)) <= 0.51);
        QVERIFY(qAbs(t.accentHover.green() - mix(t.primary, t.onPrimary, 1)) <= 0.51);
        QVERIFY(qAbs(t.accentHover.blue() - mix(t.primary, t.onPrimary, 2)) <= 0.51);
        QCOMPARE(t.accentHover.alpha(), 255);
        QCOMPARE(t.accentSoft.rgb(), t.primary.rgb());
        QVERIFY(near(t.accentSoft.alphaF(), isDark ? 0.18f : 0.12f));
        QVERIFY(near(t.hover.alphaF(), 0.08f));
        QVERIFY(near(t.pressed.alphaF(), 0.10f));
        QVERIFY(near(t.textDisabled.alphaF(), 0.38f));
        QCOMPARE(t.paperEdge.rgb(), isDark ? t.outlineVariant.rgb() : t.onSurface.rgb());
        QVERIFY(near(t.paperEdge.alphaF(), isDark ? 1.0f : 0.14f));
        QCOMPARE(t.desk, isDark ? t.surfaceDim : t.surfaceContainer);
        QCOMPARE(t.deskEdge, isDark ? t.surfaceContainerLowest : t.surfaceContainerHighest);
        QCOMPARE(t.bar, isDark ? t.surfaceContainerHigh : t.surfaceContainerLow);
    }
    QCOMPARE(cssColor(computeTheme(false, 0, 0).accentSoft), QStringLiteral("rgba(0, 91, 191, 0.120)"));
}

void TestTheme::storedValuesAreClamped()
{
    QVERIFY(setThemeMode(7));
    QVERIFY(setThemePreset(9));
    QVERIFY(setThemeStyle(-3));
    recomputeTheme();
    QCOMPARE(appearance().mode, 2);
    QVERIFY(theme().dark);
    QCOMPARE(theme().primary.name(), QStringLiteral("#b4cad6")); // preset 7, style 0, dark
    QVERIFY(setThemeMode(-1));
    recomputeTheme();
    QCOMPARE(appearance().mode, 0);
}

void TestTheme::modeZeroFollowsTheDesktop()
{
    if (!m_haveBus)
        QSKIP("dbus-daemon is not installed");
    QVERIFY(setThemeMode(0));
    QVERIFY(setThemePreset(0));
    QVERIFY(setThemeStyle(0));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("a.pdf"));
    QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
    // A portal slow to answer holds up neither the window nor the lesson:
    // both are up, light as the system palette says, before it speaks.
    MainWindow window;
    window.resize(1000, 800);
    window.show();
    window.openPath(pdf);
    PdfCanvas *canvas = window.currentCanvas();
    QVERIFY(canvas);
    QTRY_VERIFY_WITH_TIMEOUT(portalHeld() > 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(canvas->cachedTileCount(0) > 0, 10000);
    QCOMPARE(desktopColorScheme(), DesktopScheme::Unknown);
    QVERIFY(!theme().dark);
    // Its late answer (dark) restyles the open lesson and the window.
    QCOMPARE(askPortal("Release").type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY_WITH_TIMEOUT(theme().dark, 5000);
    QCOMPARE(desktopColorScheme(), DesktopScheme::Dark);
    QCOMPARE(QApplication::style()->objectName().toLower(), QStringLiteral("fusion"));
    QCOMPARE(QApplication::palette().color(QPalette::Window), theme().desk);
    window.repaint();
    const QImage view = canvas->viewport()->grab().toImage();
    QVERIFY2(distance(px(view, 2, view.height() / 2), theme().desk) <= 6, qPrintable(px(view, 2, view.height() / 2).name()));
    const QPoint paper = TestUtil::pagePoint(*canvas, 0.06, 0.06).toPoint();
    QVERIFY(distance(px(view, paper.x(), paper.y()), Qt::white) <= 6);

    // Not waited for: the desktop speaks while the program goes about its work.
    const auto desktopSays = [](uint scheme) {
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kPortalService),
                                                           QString::fromLatin1(kPortalPath),
                                                           QString::fromLatin1(kPortalInterface), QStringLiteral("Say"));
        call << scheme;
        QVERIFY(QDBusConnection::sessionBus().send(call));
    };
    // The settings page names the scheme the desktop asks for, and the
    // exit button of full screen wears the new colours, like everything else.
    const auto themeStatus = [&window] {
        for (QLabel *label : window.settingsPage()->findChildren<QLabel *>()) {
            const QString text = label->text();
            if (text.startsWith(QStringLiteral("当前跟随系统")) || text.startsWith(QStringLiteral("已固定")))
                return text;
        }
        return QString();
    };
    const auto exitSheet = [&window] {
        return window.findChild<QPushButton *>(QStringLiteral("fullscreenExit"))->styleSheet();
    };
    QCOMPARE(themeStatus(), QStringLiteral("当前跟随系统：深色"));
    QVERIFY(exitSheet().contains(cssColor(theme().bar)));
    desktopSays(2);
    QTRY_VERIFY_WITH_TIMEOUT(!theme().dark, 5000);
    QCOMPARE(themeStatus(), QStringLiteral("当前跟随系统：浅色"));
    QVERIFY(exitSheet().contains(cssColor(theme().bar)));
    QCOMPARE(theme().desk.name(), QStringLiteral("#ecedf7"));
    QCOMPARE(QApplication::palette().color(QPalette::Window), m_factoryWindow);
    QVERIFY2(distance(barColor(window), QColor(0xf2, 0xf3, 0xfd)) <= 3, qPrintable(barColor(window).name()));

    // No preference: the system palette decides (light here).
    desktopSays(1);
    QTRY_VERIFY_WITH_TIMEOUT(theme().dark, 5000);
    desktopSays(0);
    QTRY_VERIFY_WITH_TIMEOUT(!theme().dark, 5000);
    QCOMPARE(QApplication::palette().color(QPalette::Window), m_factoryWindow);

    // A fixed light mode ignores the desktop.
    QVERIFY(setThemeMode(1));
    desktopSays(1);
    QTest::qWait(300);
    QVERIFY(!theme().dark);
    QCOMPARE(themeStatus(), QStringLiteral("已固定为浅色"));
    desktopSays(2);
}

void TestTheme::switchRestylesWithoutRendering()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("a.pdf"));
    QVERIFY(TestUtil::writeA4Pdf(pdf, 3));
    MainWindow window;
    window.resize(1000, 800);
    window.show();
    applySettings(window, 1, 0, 0);
    const QString other = dir.filePath(QStringLiteral("b.pdf"));
    QVERIFY(QFile::copy(pdf, other));
    window.openPath(other);
    window.openPath(pdf);
    QCOMPARE(window.documentCount(), 2);
    PdfCanvas *canvas = window.currentCanvas();
    QTRY_VERIFY_WITH_TIMEOUT(canvas->outstandingRequests() == 0 && canvas->cachedTileCount(0) > 0, 10000);
    QCoreApplication::processEvents();

    const int renders = canvas->syncRenderCount();
    const quint64 generation = canvas->tileGeneration();
    const int tiles = canvas->cachedTileCount(0);
    QVERIFY2(distance(barColor(window), QColor(0xf2, 0xf3, 0xfd)) <= 3, qPrintable(barColor(window).name()));

    applySettings(window, 2, 5, 0);
    window.repaint();
    QCOMPARE(theme().accent.name(), QStringLiteral("#ffb4ac"));
    QVERIFY2(distance(barColor(window), computeTheme(true, 5, 0).bar) <= 3, qPrintable(barColor(window).name()));
    const QImage view = canvas->viewport()->grab().toImage();
    QVERIFY(distance(px(view, 2, view.height() / 2), theme().desk) <= 6);
    const QPoint paper = TestUtil::pagePoint(*canvas, 0.06, 0.06).toPoint();
    QVERIFY(view.rect().contains(paper));
    QVERIFY(distance(px(view, paper.x(), paper.y()), Qt::white) <= 6);
    QCOMPARE(canvas->syncRenderCount(), renders);
    QCOMPARE(canvas->tileGeneration(), generation);
    QCOMPARE(canvas->cachedTileCount(0), tiles);
    QCOMPARE(canvas->outstandingRequests(), 0);

    // The document out of sight takes the new colours before it shows...
    const QString edge = cssColor(theme().deskEdge);
    QCOMPARE(window.canvasesAwaitingTheme(), 1);
    QVERIFY(!window.canvas(0)->styleSheet().contains(edge));
    window.onTabCurrentChanged(0);
    QVERIFY(window.canvas(0)->styleSheet().contains(edge));
    QCOMPARE(window.canvasesAwaitingTheme(), 0);
    // ...and one closed while waiting is just dropped.
    applySettings(window, 1, 2, 1);
    QCOMPARE(window.canvasesAwaitingTheme(), 1);
    window.onTabCloseRequested(1);
    QTRY_COMPARE_WITH_TIMEOUT(window.canvasesAwaitingTheme(), 0, 5000);
    QCOMPARE(window.documentCount(), 1);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(kPortalRole))
        return runFakePortal(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestTheme test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_theme.moc"
