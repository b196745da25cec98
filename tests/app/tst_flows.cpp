// The document flows of the main window on real files, with the real file
// dialogs and message boxes driven through their widgets.
#include "app/documenttabstrip.h"
#include "app/documentwriter.h"
#include "app/mainwindow.h"
#include "app/sourceguard.h"
#include "canvas/pdfcanvas.h"
#include "files/package.h"
#include "files/workingcopy.h"
#include "ink/annotationjson.h"
#include "system/settings.h"
#include "flowhelpers.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QStackedWidget>
#include "pages/homepage.h"
#include "pages/homepage_row.h"
#include "pages/settingspage.h"
#include <QMessageBox>
#include <QPdfDocument>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabletEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace FlowHelpers;
using TestUtil::onNextModal;

class TestFlows : public QObject, private FlowFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        resetFolders();
    }

    void startsOnHomeWithTitles()
    {
        auto window = newWindow();
        QVERIFY(window->homeShowing());
        QCOMPARE(window->windowTitle(), QStringLiteral("青简批注"));
        QCOMPARE(window->pageLabel()->text(), QStringLiteral("页码 -/-"));
        QCOMPARE(window->strokesLabel()->text(), QStringLiteral("笔画 0"));
        QVERIFY(QRegularExpression(QStringLiteral("^内存 WS \\d+\\.\\d MB / Private \\d+\\.\\d MB$"))
                    .match(window->memoryLabel()->text())
                    .hasMatch());
        QVERIFY(!window->memoryLabel()->text().startsWith(QStringLiteral("内存 WS 0.0")));

        window->openPath(makePdf(QStringLiteral("a.pdf"), 3));
        QCOMPARE(window->documentCount(), 1);
        QCOMPARE(window->windowTitle(), QStringLiteral("a.pdf — 青简批注"));
        QCOMPARE(window->pageLabel()->text(), QStringLiteral("页码 1/3"));
        drawStroke(*window);
        QCOMPARE(window->tabStrip()->tabTitle(0), QStringLiteral("*a.pdf"));
        QCOMPARE(window->windowTitle(), QStringLiteral("a.pdf — 青简批注"));
        QCOMPARE(window->strokesLabel()->text(), QStringLiteral("笔画 1"));

        window->onSettings();
        QCOMPARE(window->windowTitle(), QStringLiteral("设置 — 青简批注"));
        window->onSettings();
        QCOMPARE(window->windowTitle(), QStringLiteral("a.pdf — 青简批注"));
        QCOMPARE(window->pageStack()->currentWidget(), window->canvas(0));
        window->showHomePage();
        QCOMPARE(window->windowTitle(), QStringLiteral("青简批注"));
        QCOMPARE(window->pageLabel()->text(), QStringLiteral("页码 -/-"));
        answerClosePrompt(QStringLiteral("舍弃"));
        window->onTabCloseRequested(0);
        QCOMPARE(window->documentCount(), 0);
    }

    void homeOpenButtonOpensThroughTheDialog()
    {
        auto window = newWindow();
        const QString pdf = makePdf(QStringLiteral("home.pdf"));
        QString caption;
        QStringList filters;
        onNextModal<QFileDialog>([pdf, &caption, &filters](QFileDialog *dialog) {
            caption = dialog->windowTitle();
            filters = dialog->nameFilters();
            TestUtil::chooseFile(dialog, pdf);
        });
        QTest::mouseClick(window->homePage()->openButton(), Qt::LeftButton);
        QCOMPARE(caption, QStringLiteral("打开 PDF / 批注包 / Word 文档"));
        // Everything the program opens is offered first; decks have their own line.
        QVERIFY2(filters.value(0).startsWith(QStringLiteral("所有支持的文件 (*.pdf *.dpz *.docx *.doc *.pptx")),
                 qPrintable(filters.join(QLatin1Char('|'))));
        for (const char *pattern : {"*.odp", "*.rtf", "*.png", "*.jpg"})
            QVERIFY2(filters.value(0).contains(QLatin1String(pattern)), pattern);
        QVERIFY(filters.contains(QStringLiteral("Word 文档 (*.docx *.doc)")));
        QVERIFY(filters.contains(QStringLiteral("演示文稿 (*.pptx *.ppt *.pps *.ppsx *.pptm *.odp)")));
        QCOMPARE(window->documentCount(), 1);
        QCOMPARE(window->document(0).pdfPath, pdf);
        QVERIFY(!window->homeShowing());
        QCOMPARE(window->pageStack()->currentWidget(), window->canvas(0));
    }

    // The PDF on the USB stick is deleted, or replaced by another lesson,
    // after the teacher has started writing: the ink still belongs to the
    // pages she wrote on, and save and export keep exactly those. The
    // status bar says so once.
    void inkKeepsItsPagesWhenTheSourceGoes_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("deleted right after the first stroke") << false;
        QTest::newRow("copied over with another PDF") << true;
    }

    void inkKeepsItsPagesWhenTheSourceGoes()
    {
        QFETCH(bool, replaced);
        const QString pdf = makePdf(QStringLiteral("usb/第5课.pdf"), 2);
        const QByteArray original = readAll(pdf);
        auto window = newWindow();
        window->openPath(pdf);
        QSignalSpy copied(window->sourceGuard(), &SourceGuard::copyReady);
        QSignalSpy noticed(window->sourceGuard(), &SourceGuard::originalChanged);
        drawStroke(*window);
        if (replaced) {
            // As cp does: the same file, rewritten in place.
            QTRY_COMPARE(copied.count(), 1);
            const QString other = makePdf(QStringLiteral("other.pdf"), 3);
            QFile target(pdf);
            QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(target.write(readAll(other)) > 0);
            target.close();
        } else {
            QVERIFY(QFile::remove(pdf));
        }
        QTRY_COMPARE(noticed.count(), 1);
        QVERIFY2(window->statusBar()->currentMessage().contains(
                     replaced ? QStringLiteral("原文件已在别处被改动") : QStringLiteral("原文件已被移走或删除")),
                 qPrintable(window->statusBar()->currentMessage()));
        // The working copy now carries the pages too: its ink no longer has
        // a source to point to.
        QTRY_COMPARE(copied.count(), 1);
        drawStroke(*window, 0.3);
        QVERIFY(window->workingCopyWriter()->flush(window->canvas(0)));
        QByteArray copyPdf;
        QVERIFY(readPackage(workingCopyPath(pdf), &copyPdf, nullptr));
        QVERIFY(copyPdf == original);

        const QString package = m_dir->filePath(QStringLiteral("第5课.dpz"));
        answerSaveDialog(package);
        QVERIFY(window->save(0));
        QByteArray savedPdf;
        QJsonObject savedInk;
        QVERIFY(readPackage(package, &savedPdf, &savedInk));
        QVERIFY(savedPdf == original);
        QCOMPARE(strokeCount(inkFromAnnotations(savedInk)), 2);

        drawStroke(*window, 0.5);
        const QString exported = m_dir->filePath(QStringLiteral("第5课-已批注.pdf"));
        const QPointer<QTimer> replaceQuestion = answerSaveAsFilter(QStringLiteral("注入 PDF (*.pdf)"), exported);
        QVERIFY(window->saveAs(0));
        delete replaceQuestion.data();
        QPdfDocument document;
        QCOMPARE(document.load(exported), QPdfDocument::Error::None);
        QCOMPARE(document.pageCount(), 2);
        QImage page = document.render(0, QSize(595, 842));
        QVERIFY(redPixels(page) > 100);
        // Told once, however often the original is looked at again.
        QCOMPARE(noticed.count(), 1);
        QVERIFY(!window->document(0).dirty);
        window->onCloseCurrent();
        QCOMPARE(window->documentCount(), 0);
    }

    void alreadyOpenByAnotherPathForm()
    {
        auto window = newWindow();
        const QString pdf = makePdf(QStringLiteral("sub/lesson.pdf"));
        QVERIFY(QFile::link(pdf, m_dir->filePath(QStringLiteral("link.pdf"))));
        window->openPath(pdf);
        window->openPath(makePdf(QStringLiteral("other.pdf")));
        QCOMPARE(window->currentIndex(), 1);
        window->openPath(m_dir->filePath(QStringLiteral("sub/../sub/./lesson.pdf")));
        QCOMPARE(window->documentCount(), 2);
        QCOMPARE(window->currentIndex(), 0);
        window->onTabCurrentChanged(1);
        window->openPath(m_dir->filePath(QStringLiteral("link.pdf")));
        QCOMPARE(window->documentCount(), 2);
        QCOMPARE(window->currentIndex(), 0);
        QCOMPARE(window->pageStack()->count(), 3); // home, two canvases (settings comes when first opened)
    }

    void failedOpenLeavesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("status");
        QTest::newRow("not a pdf") << QByteArray("hello") << QStringLiteral("x.pdf") << QStringLiteral("打开失败：");
        QTest::newRow("broken package") << QByteArray("PK\x03\x04garbage", 11) << QStringLiteral("x.dpz")
                                        << QStringLiteral("打开失败：");
    }

    void failedOpenLeavesNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(QString, status);
        const QString path = m_dir->filePath(name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        auto window = newWindow();
        window->openPath(path);
        QCOMPARE(window->documentCount(), 0);
        QCOMPARE(window->tabStrip()->count(), 0);
        QCOMPARE(window->pageStack()->count(), 1); // the home page alone
        QVERIFY(window->statusBar()->currentMessage().startsWith(status));
        QVERIFY(window->homeShowing());
    }

    void restoredInkLeavesTabClean()
    {
        const QString pdf = makePdf(QStringLiteral("restore.pdf"));
        InkPages ink;
        Stroke stroke;
        stroke.points = {QPointF(0.1, 0.1), QPointF(0.5, 0.5)};
        ink[0] = {stroke, stroke};
        QVERIFY(writeWorkingCopy(pdf, annotationsFromInk(ink), sourceFingerprint(pdf)));

        auto window = newWindow();
        window->openPath(pdf);
        QCOMPARE(window->documentCount(), 1);
        QCOMPARE(window->canvas(0)->strokeCount(), 2);
        QVERIFY(!window->document(0).dirty);
        QCOMPARE(window->tabStrip()->tabTitle(0), QStringLiteral("restore.pdf"));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已恢复上次未另存的批注"));
        // Clean: closing asks nothing.
        window->onCloseCurrent();
        QCOMPARE(window->documentCount(), 0);

        // A day later: back again, one more stroke, then closed. Discarding
        // would drop yesterday's restored ink too, and the question says so.
        window->openPath(pdf);
        drawStroke(*window);
        QString question;
        onNextModal<QMessageBox>([&question](QMessageBox *box) {
            question = box->informativeText();
            clickButton(box, QStringLiteral("舍弃"));
        });
        window->onCloseCurrent();
        QCOMPARE(question, QStringLiteral("关闭前要保存吗？选择「舍弃」会连同上次恢复的批注一起删除。"));
        QCOMPARE(window->documentCount(), 0);
        QVERIFY(!QFileInfo::exists(workingCopyPath(pdf)));

        // Ink that was not restored gets the plain question.
        window->openPath(pdf);
        QCOMPARE(window->canvas(0)->strokeCount(), 0);
        drawStroke(*window);
        onNextModal<QMessageBox>([&question](QMessageBox *box) {
            question = box->informativeText();
            clickButton(box, QStringLiteral("舍弃"));
        });
        window->onCloseCurrent();
        QCOMPARE(question, QStringLiteral("关闭前要保存吗？"));
    }

    void closePrompt_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("workingCopyKept");
        QTest::newRow("取消 keeps everything") << QStringLiteral("取消") << false << true;
        QTest::newRow("舍弃 closes and forgets the ink") << QStringLiteral("舍弃") << true << false;
        QTest::newRow("保存 writes the package and closes") << QStringLiteral("保存") << true << true;
    }

    void closePrompt()
    {
        QFETCH(QString, choice);
        QFETCH(bool, closes);
        QFETCH(bool, workingCopyKept);
        const QString pdf = makePdf(QStringLiteral("p.pdf"));
        QString package = m_dir->filePath(QStringLiteral("p.dpz"));
        QFile source(pdf);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(writePackage(package, source.readAll(), QJsonObject()));
        auto window = newWindow();
        window->openPath(package);
        drawStroke(*window);
        window->workingCopyWriter()->flush(window->canvas(0));
        QVERIFY(QFileInfo::exists(workingCopyPath(package)));

        QStringList seen;
        answerClosePrompt(choice, &seen);
        window->onTabCloseRequested(0);
        QCOMPARE(seen.value(0), QStringLiteral("未保存的批注"));
        QCOMPARE(seen.value(1), QStringLiteral("「p.dpz」有未保存的批注。"));
        QStringList expected{QStringLiteral("保存"), QStringLiteral("另存为"), QStringLiteral("舍弃"),
                             QStringLiteral("取消")};
        expected.sort();
        QCOMPARE(seen.value(2), expected.join(QLatin1Char(',')));
        QCOMPARE(window->documentCount(), closes ? 0 : 1);
        if (!closes) {
            QVERIFY(window->document(0).dirty);
            QCOMPARE(window->canvas(0)->strokeCount(), 1);
        }
        if (choice == QStringLiteral("保存")) {
            QJsonObject json;
            QVERIFY(readPackage(package, nullptr, &json));
            QCOMPARE(strokeCount(inkFromAnnotations(json)), 1);
            // The package holds the ink now; its stale working copy is gone.
            QVERIFY(!QFileInfo::exists(workingCopyPath(package)));
            return;
        }
        QCOMPARE(QFileInfo::exists(workingCopyPath(package)), workingCopyKept);
        if (!closes) {
            answerClosePrompt(QStringLiteral("舍弃"));
            window->onCloseCurrent();
        }
    }

    // A double click (or a pen's or finger's double tap) on a recent file:
    // the first opens the lesson at once, and the second, landing on the new
    // page, leaves no dot and no "*".
    void doubleTapOnARecentFileLeavesNoInk()
    {
        // Outside the temporary folder, which the recent list refuses.
        const QString pdf = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/lessons/最近的课.pdf");
        QDir().mkpath(QFileInfo(pdf).absolutePath());
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        QVERIFY(clearRecentFiles());
        QVERIFY(addRecentFile(pdf));
        auto window = newWindow();
        QWindow *handle = window->windowHandle();
        // The rows are rebuilt each time the page shows and laid out a turn later.
        const auto rowPoint = [&window] {
            window->finishTransition();
            const auto shown = [&window] {
                const QList<RecentRow *> rows = window->homePage()->rows();
                return rows.size() == 1 && rows.first()->isVisible();
            };
            if (!QTest::qWaitFor(shown))
                return QPoint();
            // A new quotation may rewrap and move the list: let it settle.
            for (int pass = 0; pass < 3; ++pass) {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                QCoreApplication::processEvents();
            }
            RecentRow *row = window->homePage()->rows().first();
            return row->mapTo(window.get(), row->rect().center());
        };
        const auto untouched = [&window] {
            return window->documentCount() == 1 && window->currentCanvas()->strokeCount() == 0
                && !window->currentCanvas()->isDrawing() && !window->document(0).dirty
                && !window->tabStrip()->tabTitle(0).startsWith(QLatin1Char('*'));
        };

        QPoint at = rowPoint();
        QVERIFY(!at.isNull());
        QTest::mouseDClick(handle, Qt::LeftButton, {}, at);
        QVERIFY(untouched());
        QCOMPARE(window->currentCanvas()->pageAt(window->currentCanvas()->viewport()->mapFrom(window.get(), at)), 0);

        // The pen: the row takes no pen input, so Qt turns the first tap
        // into a click; the second reaches the canvas as a pen press.
        window->onCloseCurrent();
        at = rowPoint();
        const QPointingDevice stylus(QStringLiteral("test stylus"), 1001, QInputDevice::DeviceType::Stylus,
                                     QPointingDevice::PointerType::Pen, QInputDevice::Capability::Position, 1, 2);
        const auto pen = [&](QEvent::Type type, Qt::MouseButtons buttons) {
            QTabletEvent event(type, &stylus, at, handle->mapToGlobal(QPointF(at)), buttons ? 0.5 : 0, 0, 0, 0, 0,
                               0, Qt::NoModifier, Qt::LeftButton, buttons);
            QCoreApplication::sendEvent(handle, &event);
            return event.isAccepted();
        };
        if (!pen(QEvent::TabletPress, Qt::LeftButton))
            QTest::mousePress(handle, Qt::LeftButton, {}, at);
        if (!pen(QEvent::TabletRelease, Qt::NoButton))
            QTest::mouseRelease(handle, Qt::LeftButton, {}, at);
        QCOMPARE(window->documentCount(), 1);
        QVERIFY(pen(QEvent::TabletPress, Qt::LeftButton));
        pen(QEvent::TabletRelease, Qt::NoButton);
        QVERIFY(untouched());

        // A finger likewise: Qt turns the first tap into a click on the row.
        // (A little off the pen's spot: the mouse events the test sent
        // above carry made-up times, and Qt must not pair them with this.)
        window->onCloseCurrent();
        at = rowPoint() + QPoint(0, 12);
        QPointingDevice *finger = QTest::createTouchDevice();
        QTest::touchEvent(handle, finger).press(0, at, handle);
        QTest::touchEvent(handle, finger).release(0, at, handle);
        QCOMPARE(window->documentCount(), 1);
        QTest::touchEvent(handle, finger).press(0, at, handle);
        QTest::touchEvent(handle, finger).move(0, at + QPoint(3, 2), handle);
        QTest::touchEvent(handle, finger).release(0, at + QPoint(3, 2), handle);
        QVERIFY(untouched());

        // A deliberate double click on the page is still two presses there.
        window->finishTransition();
        QTRY_VERIFY(!window->currentCanvas()->touchLock());
        QTest::mouseClick(handle, Qt::LeftButton, {}, at);
        QTest::mouseDClick(handle, Qt::LeftButton, {}, at);
        QCOMPARE(window->currentCanvas()->strokeCount(), 3);
    }

    void closingCurrentLastOfThree()
    {
        auto window = newWindow();
        for (const char *name : {"1.pdf", "2.pdf", "3.pdf"})
            window->openPath(makePdf(QString::fromLatin1(name)));
        QCOMPARE(window->currentIndex(), 2);
        window->onCloseCurrent();
        QCOMPARE(window->documentCount(), 2);
        QCOMPARE(window->currentIndex(), 1);
        QCOMPARE(window->tabStrip()->currentIndex(), 1);
        QCOMPARE(window->pageStack()->currentWidget(), window->canvas(1));
        QCOMPARE(window->windowTitle(), QStringLiteral("2.pdf — 青简批注"));
        window->onTabCloseRequested(0);
        QCOMPARE(window->currentIndex(), 0);
        QCOMPARE(window->document(0).displayName, QStringLiteral("2.pdf"));
    }

    void closingLastDocumentOnSettingsKeepsSettings()
    {
        auto window = newWindow();
        window->openPath(makePdf(QStringLiteral("r.pdf")));
        window->openPath(makePdf(QStringLiteral("s.pdf")));
        window->showSettingsPage();
        window->onTabCloseRequested(1);
        QVERIFY(window->settingsShowing());
        QCOMPARE(window->currentCanvas(), window->canvas(0));
        QCOMPARE(window->pageStack()->currentWidget(), static_cast<QWidget *>(window->settingsPage()));
        window->onTabCloseRequested(0);
        QVERIFY(window->settingsShowing());
        QCOMPARE(window->pageStack()->currentWidget(), static_cast<QWidget *>(window->settingsPage()));
        QCOMPARE(window->pageLabel()->text(), QStringLiteral("页码 -/-"));
        window->onSettings();
        QVERIFY(window->homeShowing());
    }

    void windowCloseAsksForEveryDirtyDocument()
    {
        auto window = newWindow();
        window->openPath(makePdf(QStringLiteral("w1.pdf")));
        drawStroke(*window);
        window->openPath(makePdf(QStringLiteral("w2.pdf")));
        drawStroke(*window);

        answerClosePrompt(QStringLiteral("取消"));
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        QCOMPARE(window->documentCount(), 2);
        QVERIFY(window->document(0).dirty && window->document(1).dirty);

        // "舍弃" for the first, "取消" for the second: both stay open, and
        // ink drawn after that on the first still reaches its working copy.
        const QString first = m_dir->filePath(QStringLiteral("w1.pdf"));
        window->workingCopyWriter()->flush(window->canvas(0));
        QVERIFY(QFileInfo::exists(workingCopyPath(first)));
        answerClosePrompt(QStringLiteral("舍弃"));
        QTimer::singleShot(0, window.get(), [] { answerClosePrompt(QStringLiteral("取消")); });
        QVERIFY(!window->close());
        QCOMPARE(window->documentCount(), 2);
        QVERIFY(!QFileInfo::exists(workingCopyPath(first)));
        window->tabStrip()->setCurrentIndex(0);
        drawStroke(*window, 0.5);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(workingCopyPath(first)), 5000);
        window->workingCopyWriter()->waitIdle();

        QStringList seen;
        answerClosePrompt(QStringLiteral("舍弃"), &seen);
        QTimer::singleShot(0, window.get(), [&seen] { answerClosePrompt(QStringLiteral("舍弃"), &seen); });
        QVERIFY(window->close());
        QCOMPARE(seen.size(), 6);
        QCOMPARE(seen.at(4), QStringLiteral("「w2.pdf」有未保存的批注。"));
        // Discarded ink does not come back.
        QVERIFY(!QFileInfo::exists(workingCopyPath(m_dir->filePath(QStringLiteral("w1.pdf")))));
        QVERIFY(!QFileInfo::exists(workingCopyPath(m_dir->filePath(QStringLiteral("w2.pdf")))));
    }

    void dropOpensTheFirstQualifyingFile()
    {
        auto window = newWindow();
        const QString text = m_dir->filePath(QStringLiteral("notes.txt"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();
        const QString pdf = makePdf(QStringLiteral("drop.pdf"));

        QMimeData onlyText;
        onlyText.setUrls({QUrl::fromLocalFile(text)});
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &onlyText, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &refused);
        QVERIFY(!refused.isAccepted());

        QMimeData mixed;
        mixed.setUrls({QUrl::fromLocalFile(text), QUrl::fromLocalFile(pdf),
                       QUrl::fromLocalFile(makePdf(QStringLiteral("second.pdf")))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mixed, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mixed, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
        // Opened once the drop has returned, so no question or password box
        // can appear while the drag is still going on.
        QVERIFY(drop.isAccepted());
        QCOMPARE(window->documentCount(), 0);
        QTRY_COMPARE(window->documentCount(), 1);
        QCOMPARE(window->document(0).displayName, QStringLiteral("drop.pdf"));
    }
};

QTEST_MAIN(TestFlows)
#include "tst_flows.moc"
