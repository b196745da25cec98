#include "probe/touchprobewindow.h"
#include "system/diaglog.h"

#include <QFile>
#include <QPointingDevice>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabletEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace TouchProbe;
using TouchInput::TouchKind;

// The touch diagnostics window driven as a technician would: fingers through
// a registered touch screen, pens through tablet events. Qt 6.4 cannot put a
// contact ellipse on a synthesized touch point, so frames with contact sizes
// enter where the window's touch handler hands its points on.
class TestTouchProbe : public QObject
{
    Q_OBJECT

    QPointingDevice *m_touch = nullptr;

    static void showWindow(TouchProbeWindow &window)
    {
        window.resize(1024, 720);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    static ProbePoint sized(int id, TouchInput::ContactState state, QPointF pos, QSizeF ellipse)
    {
        ProbePoint p;
        p.contact.id = id;
        p.contact.state = state;
        p.contact.pos = pos;
        p.contact.ellipse = ellipse;
        return p;
    }

    static const ContactView *contact(const TouchProbeWindow &window, int id)
    {
        for (const ContactView &c : window.lastFrame().contacts) {
            if (c.point.contact.id == id)
                return &c;
        }
        return nullptr;
    }

    static void sendTablet(QWidget *target, const QPointingDevice *device, QEvent::Type type,
                           QPointF pos, double pressure, Qt::MouseButtons buttons)
    {
        const Qt::MouseButton button = type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton;
        QTabletEvent event(type, device, pos, target->mapToGlobal(pos), pressure, 25, -10, 0, 0, 0,
                           Qt::NoModifier, button, buttons);
        QApplication::sendEvent(target, &event);
    }

    static QStringList probeLogLines(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (line.contains(QStringLiteral("input: probe")))
                lines << line;
        }
        return lines;
    }

private slots:
    void initTestCase()
    {
        m_touch = QTest::createTouchDevice(QInputDevice::DeviceType::TouchScreen,
                                           QInputDevice::Capability::Position
                                               | QInputDevice::Capability::Area);
    }

    void oneFingerWritesAndTheEventsListNewestFirst()
    {
        TouchProbeWindow window;
        showWindow(window);
        const QPoint a(200, 400);
        QTest::touchEvent(&window, m_touch).press(0, a, &window);
        QCOMPARE(window.lastFrame().touchClass.kind, TouchKind::Write);
        QVERIFY(window.lastFrame().touchClass.write);
        QCOMPARE(contact(window, 0)->role, ContactRole::Writing);
        for (int i = 1; i <= 5; ++i)
            QTest::touchEvent(&window, m_touch).move(0, a + QPoint(20 * i, 0), &window);
        QCOMPARE(contact(window, 0)->role, ContactRole::Writing);
        QCOMPARE(contact(window, 0)->ghost, GhostReason::None);
        QTest::touchEvent(&window, m_touch).release(0, a + QPoint(100, 0), &window);
        QCOMPARE(window.lastFrame().activeCount, 0);
        QVERIFY(window.eventLines().at(0).startsWith(QStringLiteral("TouchEnd")));
        QVERIFY(window.eventLines().at(6).startsWith(QStringLiteral("TouchBegin")));

        // The registered screen is listed with what it reports.
        window.refreshDevices();
        bool listed = false;
        for (const DeviceText &d : window.devices())
            listed = listed || (d.name == m_touch->name() && d.detail.contains(QStringLiteral("触摸屏"))
                                && d.detail.contains(QStringLiteral("报告接触面积")));
        QVERIFY(listed);
    }

    void bigPalmErasesOnlyFromItsSecondFrameWithTheSwitchOn()
    {
        TouchProbeWindow window;
        showWindow(window);
        using S = TouchInput::ContactState;
        // A finger tap calibrates the finger size.
        window.touchFrame(QEvent::TouchBegin, { sized(0, S::Pressed, { 300, 300 }, { 14, 12 }) }, 1);
        window.touchFrame(QEvent::TouchEnd, { sized(0, S::Released, { 300, 300 }, { 14, 12 }) }, 2);
        QVERIFY(window.touchState().palm.calibrated);

        const auto palmFrame = [](S state, double dx) {
            return QVector<ProbePoint>{ sized(1, state, { 300 + dx, 300 }, { 48, 40 }),
                                        sized(2, state, { 350 + dx, 310 }, { 52, 44 }),
                                        sized(3, state, { 330 + dx, 360 }, { 46, 46 }) };
        };
        for (bool on : { false, true }) {
            QPushButton *toggle = window.findChild<QPushButton *>(QStringLiteral("probePalm"));
            if (window.palmSwitchOn() != on)
                QTest::mouseClick(toggle, Qt::LeftButton);
            QCOMPARE(window.palmSwitchOn(), on);
            window.touchFrame(QEvent::TouchBegin, palmFrame(S::Pressed, 0), 10);
            QCOMPARE(window.lastFrame().touchClass.kind, TouchKind::Write);
            QVERIFY(!window.lastFrame().touchClass.write);
            QVERIFY(window.lastFrame().palmLikeStart);
            window.touchFrame(QEvent::TouchUpdate, palmFrame(S::Moved, 4), 11);
            QCOMPARE(window.lastFrame().touchClass.kind, on ? TouchKind::Palm : TouchKind::Write);
            QCOMPARE(contact(window, 2)->role, on ? ContactRole::Palm : ContactRole::Resting);
            window.touchFrame(QEvent::TouchEnd, palmFrame(S::Released, 4), 12);
        }
    }

    void contactEllipseIsDrawnToScale()
    {
        TouchProbeWindow window;
        showWindow(window);
        const QPointF at(260, 420);
        window.touchFrame(QEvent::TouchBegin,
                          { sized(0, TouchInput::ContactState::Pressed, at, { 80, 40 }) }, 1);
        const QImage image = window.grab().toImage();
        const QPoint c = at.toPoint();
        const QColor background = image.pixelColor(c + QPoint(-60, 0));
        // 80 px wide: inside 36 px left of the centre, outside at 44 px.
        QVERIFY(image.pixelColor(c + QPoint(-36, 0)) != background);
        QCOMPARE(image.pixelColor(c + QPoint(-44, 0)), background);
        // 40 px high: inside 18 px below, outside at 25 px.
        QVERIFY(image.pixelColor(c + QPoint(0, 18)) != background);
        QCOMPARE(image.pixelColor(c + QPoint(0, 25)), background);
    }

    void fingersApartPinchAndAJumpingContactIsAGhost()
    {
        TouchProbeWindow window;
        showWindow(window);
        const QPoint a(150, 350);
        const QPoint b(300, 350);
        // A second finger joining a resting one, 150 px away: a pinch, no ghost.
        QTest::touchEvent(&window, m_touch).press(0, a, &window);
        QTest::touchEvent(&window, m_touch).move(0, a, &window).press(1, b, &window);
        QCOMPARE(window.lastFrame().touchClass.kind, TouchKind::Pinch);
        QCOMPARE(contact(window, 1)->role, ContactRole::Pinch);
        QCOMPARE(contact(window, 1)->ghost, GhostReason::None);
        for (int i = 1; i <= 8; ++i)
            QTest::touchEvent(&window, m_touch).move(0, a - QPoint(6 * i, 0), &window)
                    .move(1, b + QPoint(6 * i, 0), &window);
        QVERIFY(window.lastFrame().pinching);
        QVERIFY(window.lastFrame().pinchZoom > 1.05);
        QCOMPARE(window.touchState().ghostCount, 0);

        // One contact leaps across the board in a single frame.
        const QPoint far(760, 620);
        QTest::touchEvent(&window, m_touch).move(0, a - QPoint(48, 0), &window).move(1, far, &window);
        QCOMPARE(contact(window, 1)->ghost, GhostReason::Jump);
        QCOMPARE(contact(window, 0)->ghost, GhostReason::None);
        QCOMPARE(window.touchState().ghostCount, 1);
        QVERIFY(window.eventLines().first().contains(ghostName(GhostReason::Jump)));
        QTest::touchEvent(&window, m_touch).release(0, a, &window).release(1, far, &window);
        QVERIFY(!window.lastFrame().pinching);
    }

    void contactLandingFarFromAStrokeIsAGhost()
    {
        TouchProbeWindow window;
        showWindow(window);
        const QPoint a(100, 300);
        QTest::touchEvent(&window, m_touch).press(0, a, &window);
        for (int i = 1; i <= 10; ++i)
            QTest::touchEvent(&window, m_touch).move(0, a + QPoint(15 * i, 0), &window);
        // The canvas would take this for a pinch and drop the stroke.
        QTest::touchEvent(&window, m_touch).move(0, a + QPoint(160, 0), &window)
                .press(1, QPoint(640, 120), &window);
        QCOMPARE(contact(window, 1)->ghost, GhostReason::Stray);
        QCOMPARE(window.lastFrame().touchClass.kind, TouchKind::Pinch);
        QTest::touchEvent(&window, m_touch).release(0, a + QPoint(160, 0), &window)
                .release(1, QPoint(640, 120), &window);

        // Clearing forgets the trails, the list and the count.
        QVERIFY(!window.eventLines().isEmpty());
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("probeClear")),
                          Qt::LeftButton);
        QVERIFY(window.eventLines().isEmpty());
        QCOMPARE(window.touchState().ghostCount, 0);
    }

    void penTipAndEraserEnd()
    {
        TouchProbeWindow window;
        showWindow(window);
        const auto caps = QInputDevice::Capability::Position | QInputDevice::Capability::Pressure
                | QInputDevice::Capability::XTilt | QInputDevice::Capability::YTilt;
        QPointingDevice pen(QStringLiteral("test pen"), 4301, QInputDevice::DeviceType::Stylus,
                            QPointingDevice::PointerType::Pen, caps, 1, 2);
        QPointingDevice eraser(QStringLiteral("test pen"), 4302, QInputDevice::DeviceType::Stylus,
                               QPointingDevice::PointerType::Eraser, caps, 1, 2);

        sendTablet(&window, &pen, QEvent::TabletMove, QPointF(200, 300), 0, Qt::NoButton);
        QCOMPARE(window.lastPen().phase, PenPhase::Hover);
        sendTablet(&window, &pen, QEvent::TabletPress, QPointF(210, 300), 0.4, Qt::LeftButton);
        sendTablet(&window, &pen, QEvent::TabletMove, QPointF(260, 320), 0.7, Qt::LeftButton);
        QCOMPARE(window.lastPen().phase, PenPhase::Move);
        QCOMPARE(window.lastPen().pointer, QPointingDevice::PointerType::Pen);
        QCOMPARE(window.lastPen().pressure, 0.7);
        QCOMPARE(window.lastPen().xTilt, 25.0);
        sendTablet(&window, &pen, QEvent::TabletRelease, QPointF(260, 320), 0, Qt::NoButton);

        sendTablet(&window, &eraser, QEvent::TabletPress, QPointF(400, 300), 0.5, Qt::LeftButton);
        QVERIFY(isEraser(window.lastPen()));
        QCOMPARE(window.lastPen().phase, PenPhase::Press);
        QVERIFY(window.eventLines().first().contains(QStringLiteral("橡皮端")));
        sendTablet(&window, &eraser, QEvent::TabletRelease, QPointF(420, 300), 0, Qt::NoButton);
        QCOMPARE(window.penTrail().samples.size(), 6);
        QVERIFY(isEraser(window.penTrail().samples.last()));
        QVERIFY(!isEraser(window.penTrail().samples.first()));
    }

    void closeButtonTakesAFingerAndEscCloses()
    {
        {
            TouchProbeWindow window;
            showWindow(window);
            QSignalSpy closed(&window, &TouchProbeWindow::closed);
            auto *button = window.findChild<QPushButton *>(QStringLiteral("probeClose"));
            QVERIFY(button->height() >= 48);
            const QPoint centre = button->geometry().center();
            QTest::touchEvent(&window, m_touch).press(0, centre, &window);
            QTest::touchEvent(&window, m_touch).release(0, centre, &window);
            QCOMPARE(closed.count(), 1);
            QVERIFY(!window.isVisible());
            // The tap was the button's, not a probe contact.
            QCOMPARE(window.lastFrame().activeCount, 0);
            QCOMPARE(window.touchState().last.type, QEvent::None);
        }
        {
            TouchProbeWindow window;
            showWindow(window);
            QTest::keyClick(&window, Qt::Key_Escape);
            QVERIFY(!window.isVisible());
        }
    }

    void runTouchProbeShowsFullScreenAndEndsWithTheWindow()
    {
        bool fullScreen = false;
        QTimer press;
        press.setSingleShot(true);
        connect(&press, &QTimer::timeout, this, [&fullScreen] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *probe = qobject_cast<TouchProbeWindow *>(w);
                if (!probe || !probe->isVisible())
                    continue;
                fullScreen = probe->isFullScreen();
                QTest::mouseClick(probe->findChild<QPushButton *>(QStringLiteral("probeClose")),
                                  Qt::LeftButton);
            }
        });
        press.start(50);
        // Never waits on input: a stuck window ends the loop with its own code.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(77); });
        guard.start(5000);
        QCOMPARE(runTouchProbe(), 0);
        QVERIFY(fullScreen);
    }

    void throttleKeepsTheChangeOverRoutineLines()
    {
        LogThrottle throttle;
        QCOMPARE(throttle.offer(0, QStringLiteral("begin"), true), QStringLiteral("begin"));
        QVERIFY(throttle.offer(10, QStringLiteral("move 1"), false).isEmpty());
        QVERIFY(throttle.offer(20, QStringLiteral("ghost"), true).isEmpty());
        QVERIFY(throttle.offer(30, QStringLiteral("move 2"), false).isEmpty());
        QCOMPARE(throttle.waitMs(30), 220);
        QVERIFY(throttle.flush(249).isEmpty());
        QCOMPARE(throttle.flush(250), QStringLiteral("ghost（另有 2 条同类事件已合并）"));
        QCOMPARE(throttle.waitMs(250), -1);
        // Past the gap a routine line goes out at once.
        QCOMPARE(throttle.offer(600, QStringLiteral("move 3"), false), QStringLiteral("move 3"));
    }

    void logIsRateLimitedAndKeepsTheGhost()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("probe.log"));
        qputenv("LECTERN_LOG", path.toUtf8());
        initLog();
        QVERIFY(isLogEnabled());
        {
            TouchProbeWindow window;
            showWindow(window);
            QElapsedTimer clock;
            clock.start();
            const QPoint a(100, 300);
            QTest::touchEvent(&window, m_touch).press(0, a, &window);
            for (int i = 1; i <= 60; ++i)
                QTest::touchEvent(&window, m_touch).move(0, a + QPoint(3 * i, 0), &window);
            QTest::touchEvent(&window, m_touch).move(0, a + QPoint(183, 0), &window)
                    .press(1, QPoint(650, 100), &window);
            for (int i = 1; i <= 30; ++i)
                QTest::touchEvent(&window, m_touch).move(0, a + QPoint(183 + i, 0), &window)
                        .move(1, QPoint(650, 100), &window);
            const qint64 spent = clock.elapsed();
            const int written = int(probeLogLines(path).size());
            QVERIFY2(written <= 2 + spent / 250, qPrintable(QString::number(written)));
            // What waited is written once its gap is over.
            QTRY_VERIFY(probeLogLines(path).constLast().contains(ghostName(GhostReason::Stray)));
        }
        // Every merged frame is accounted for in some line.
        QVERIFY(probeLogLines(path).join(QLatin1Char('\n')).contains(QStringLiteral("已合并")));
        qunsetenv("LECTERN_LOG");
        initLog();
    }
};

QTEST_MAIN(TestTouchProbe)
#include "tst_touchprobe.moc"
