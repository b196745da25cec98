// Saving and the working copies under the main window, on real files, with
// the real file dialogs and message boxes driven through their widgets:
// save and save as, ink reaching its working copy, packages replaced or
// damaged behind an open tab.
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

class TestSaveFlows : public QObject, private FlowFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        resetFolders();
    }

    void saveAsksOnceThenWritesThePackage()
    {
        auto window = newWindow();
        const QString pdf = makePdf(QStringLiteral("第1课.pdf"));
        window->openPath(pdf);
        drawStroke(*window);
        QString proposed;
        const QString target = m_dir->filePath(QStringLiteral("a"));
        answerSaveDialog(target, &proposed);
        window->onSave();
        QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("第1课.dpz"));
        QCOMPARE(QFileInfo(proposed).absolutePath(), QFileInfo(pdf).absolutePath());
        const QString package = target + QStringLiteral(".dpz");
        QVERIFY(QFileInfo::exists(package));
        QCOMPARE(window->document(0).packagePath, package);
        QCOMPARE(window->tabStrip()->tabTitle(0), QStringLiteral("a.dpz"));
        QCOMPARE(window->windowTitle(), QStringLiteral("a.dpz — 青简批注"));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已打包保存 a.dpz"));

        drawStroke(*window, 0.4);
        QVERIFY(window->document(0).dirty);
        bool dialogShown = false;
        const QPointer<QTimer> watch = onNextModal<QWidget>([&dialogShown](QWidget *modal) {
            dialogShown = true;
            modal->close();
        });
        window->onSave();
        QCoreApplication::processEvents();
        delete watch.data();
        QVERIFY(!dialogShown);
        QVERIFY(!window->document(0).dirty);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已保存 a.dpz"));
        QJsonObject json;
        QVERIFY(readPackage(package, nullptr, &json));
        QCOMPARE(strokeCount(inkFromAnnotations(json)), 2);
    }

    void saveAsProposalAndSuffix_data()
    {
        QTest::addColumn<bool>("useDefaultFolder");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("beside the source, suffix added") << false << QStringLiteral("x") << QStringLiteral("x.dpz");
        QTest::newRow("default folder, suffix kept as typed") << true << QStringLiteral("x.DPZ")
                                                              << QStringLiteral("x.DPZ");
    }

    void saveAsProposalAndSuffix()
    {
        QFETCH(bool, useDefaultFolder);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        const QString saveFolder = m_dir->filePath(QStringLiteral("saves"));
        QVERIFY(QDir().mkpath(saveFolder));
        QVERIFY(setDefaultSavePath(useDefaultFolder ? saveFolder : QString()));
        auto window = newWindow();
        const QString pdf = makePdf(QStringLiteral("src/第2课.pdf"));
        window->openPath(pdf);
        QString proposed;
        const QString folder = useDefaultFolder ? saveFolder : QFileInfo(pdf).absolutePath();
        answerSaveDialog(folder + QLatin1Char('/') + typed, &proposed);
        QVERIFY(window->saveAs(0));
        QCOMPARE(proposed, folder + QStringLiteral("/第2课.dpz"));
        QVERIFY(QFileInfo::exists(folder + QLatin1Char('/') + written));
        QCOMPARE(window->document(0).displayName, written);
        QVERIFY(setDefaultSavePath(QString()));
    }

    void cancelledSaveWritesNothing()
    {
        auto window = newWindow();
        window->openPath(makePdf(QStringLiteral("c.pdf")));
        drawStroke(*window);
        answerSaveDialog(QString());
        QVERIFY(!window->saveAs(0));
        QVERIFY(window->document(0).dirty);
        QVERIFY(window->document(0).packagePath.isEmpty());
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("c.dpz"))));
    }

    void inkReachesTheWorkingCopyWithinASecond()
    {
        const QString pdf = makePdf(QStringLiteral("wc.pdf"));
        {
            auto window = newWindow();
            window->openPath(pdf);
            drawStroke(*window);
            drawStroke(*window, 0.3);
            // Written by the timer alone, without any close.
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(workingCopyPath(pdf)), 5000);
            QJsonObject json;
            QTRY_VERIFY_WITH_TIMEOUT(readPackage(workingCopyPath(pdf), nullptr, &json)
                                         && strokeCount(inkFromAnnotations(json)) == 2, 5000);
            QVERIFY(sameSource(json.value(QStringLiteral("source")).toObject(), sourceFingerprint(pdf)));
            drawStroke(*window, 0.4);
            // Closing the window keeps the ink (no prompt is answered with
            // "舍弃" here): the third stroke is flushed at once.
            answerClosePrompt(QStringLiteral("取消"));
            QVERIFY(!window->close());
            window->workingCopyWriter()->flush(window->canvas(0));
            QVERIFY(readPackage(workingCopyPath(pdf), nullptr, &json));
            QCOMPARE(strokeCount(inkFromAnnotations(json)), 3);
        }
        auto again = newWindow();
        again->openPath(pdf);
        QCOMPARE(again->canvas(0)->strokeCount(), 3);
    }

    void packageWorkingCopyComesBackDirty()
    {
        const QString pdf = makePdf(QStringLiteral("pk.pdf"));
        const QString package = m_dir->filePath(QStringLiteral("pk.dpz"));
        QFile source(pdf);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(writePackage(package, source.readAll(), QJsonObject()));
        {
            auto window = newWindow();
            window->openPath(package);
            drawStroke(*window);
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(workingCopyPath(package)), 5000);
            window->workingCopyWriter()->waitIdle();
        }
        auto window = newWindow();
        window->openPath(package);
        QCOMPARE(window->canvas(0)->strokeCount(), 1);
        QVERIFY(window->document(0).dirty);
        QCOMPARE(window->tabStrip()->tabTitle(0), QStringLiteral("*pk.dpz"));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已恢复上次未保存的批注"));
        QVERIFY(window->save(0));
        QVERIFY(!window->document(0).dirty);
        window->onCloseCurrent();
        QCOMPARE(window->documentCount(), 0);

        // The package changed since that working copy: nothing extra comes back.
        window->openPath(package);
        QCOMPARE(window->canvas(0)->strokeCount(), 1);
        QVERIFY(!window->document(0).dirty);
    }

    // The program died with unsaved ink on a package, and the package was
    // then replaced (a newer version copied over it). That ink does not go
    // onto the new package, is not lost either: kept aside and reported.
    void replacedPackageKeepsTheOldInkAside()
    {
        const QString package = m_dir->filePath(QStringLiteral("换.dpz"));
        QVERIFY(writePackage(package, readAll(makePdf(QStringLiteral("old.pdf"))), QJsonObject()));
        {
            auto window = newWindow();
            window->openPath(package);
            drawStroke(*window);
            QVERIFY(window->workingCopyWriter()->flush(window->canvas(0)));
        } // gone without closing its tab, as in a crash
        QVERIFY(writePackage(package, readAll(makePdf(QStringLiteral("new.pdf"), 3)), QJsonObject()));

        auto window = newWindow();
        window->openPath(package);
        QCOMPARE(window->canvas(0)->pageCount(), 3);
        QCOMPARE(window->canvas(0)->strokeCount(), 0);
        QVERIFY(!window->document(0).dirty);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("工作副本与源文件不一致，未恢复批注"));
        QString aside = workingCopyPath(package);
        aside.replace(QStringLiteral(".dpz"), QStringLiteral("-mismatch.dpz"));
        QJsonObject kept;
        QVERIFY(readPackage(aside, nullptr, &kept));
        QCOMPARE(strokeCount(inkFromAnnotations(kept)), 1);

        // New ink has a working copy of its own; the old one stays.
        drawStroke(*window, 0.5);
        drawStroke(*window, 0.6);
        QVERIFY(window->workingCopyWriter()->flush(window->canvas(0)));
        QJsonObject fresh;
        QVERIFY(readPackage(workingCopyPath(package), nullptr, &fresh));
        QCOMPARE(strokeCount(inkFromAnnotations(fresh)), 2);
        QVERIFY(readPackage(aside, nullptr, &kept));
        QCOMPARE(strokeCount(inkFromAnnotations(kept)), 1);
        answerClosePrompt(QStringLiteral("舍弃"));
        window->onCloseCurrent();
    }

    // Saving one lesson as the package another tab has open would pull that
    // file, and its working copy, from under the other lesson: refused.
    void saveAsOntoAPackageOpenInAnotherTabIsRefused()
    {
        const QString package = m_dir->filePath(QStringLiteral("开着的.dpz"));
        QVERIFY(writePackage(package, readAll(makePdf(QStringLiteral("a.pdf"))), QJsonObject()));
        const QByteArray before = readAll(package);
        auto window = newWindow();
        window->openPath(package);
        drawStroke(*window);
        QVERIFY(window->workingCopyWriter()->flush(window->canvas(0)));
        window->openPath(makePdf(QStringLiteral("b.pdf")));
        QCOMPARE(window->documentCount(), 2);
        drawStroke(*window);

        const QPointer<QTimer> replaceQuestion = answerSaveAsFilter(QStringLiteral("打包保存 (*.dpz)"), package);
        QVERIFY(!window->saveAs(1));
        delete replaceQuestion.data();
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("这个文件正在另一个标签页中打开，请换个文件名"));
        QVERIFY(readAll(package) == before);
        QJsonObject json;
        QVERIFY(readPackage(workingCopyPath(package), nullptr, &json));
        QCOMPARE(strokeCount(inkFromAnnotations(json)), 1);
        QVERIFY(window->document(1).dirty);
        QVERIFY(window->document(1).packagePath.isEmpty());
        for (int i = 0; i < 2; ++i) {
            answerClosePrompt(QStringLiteral("舍弃"));
            window->onCloseCurrent();
        }
        QCOMPARE(window->documentCount(), 0);
    }

    // The working copy cannot be written (the disk is full, the folder
    // gone): the teacher is told at once, and can see that this lesson is
    // unprotected until a write succeeds again.
    void failingWorkingCopyIsShownUntilItWritesAgain()
    {
        const QString pdf = makePdf(QStringLiteral("无备份.pdf"));
        auto window = newWindow();
        window->openPath(pdf);
        const QString blocker = m_dir->filePath(QStringLiteral("plain.txt"));
        QFile plain(blocker);
        QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("x") == 1);
        plain.close();
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        auto restore = qScopeGuard([state] { qputenv("XDG_STATE_HOME", state); });
        qputenv("XDG_STATE_HOME", QFile::encodeName(blocker + QStringLiteral("/state")));
        QVERIFY(!window->unprotectedLabel()->isVisible());

        drawStroke(*window);
        QTRY_VERIFY_WITH_TIMEOUT(window->unprotectedLabel()->isVisible(), 5000);
        QVERIFY2(window->statusBar()->currentMessage().startsWith(QStringLiteral("工作副本写入失败：「无备份.pdf」")),
                 qPrintable(window->statusBar()->currentMessage()));
        QVERIFY(window->document(0).unprotected);
        // Another lesson in front is not this one: the sign follows the tab.
        window->openPath(makePdf(QStringLiteral("另一课.pdf")));
        QVERIFY(!window->unprotectedLabel()->isVisible());
        window->tabStrip()->setCurrentIndex(0);
        QVERIFY(window->unprotectedLabel()->isVisible());

        restore.dismiss();
        qputenv("XDG_STATE_HOME", state);
        drawStroke(*window, 0.5);
        QTRY_VERIFY_WITH_TIMEOUT(!window->unprotectedLabel()->isVisible(), 5000);
        QJsonObject json;
        QVERIFY(readPackage(workingCopyPath(pdf), nullptr, &json));
        QCOMPARE(strokeCount(inkFromAnnotations(json)), 2);
        answerClosePrompt(QStringLiteral("舍弃"));
        window->onTabCloseRequested(0);
        window->onCloseCurrent();
        QCOMPARE(window->documentCount(), 0);
    }

    void replacedPackageShowsItsOwnPdf()
    {
        const QString package = m_dir->filePath(QStringLiteral("swap.dpz"));
        for (int pages : {1, 3}) {
            const QString pdf = makePdf(QStringLiteral("swap%1.pdf").arg(pages), pages);
            QFile source(pdf);
            QVERIFY(source.open(QIODevice::ReadOnly));
            QVERIFY(writePackage(package, source.readAll(), QJsonObject()));
            auto window = newWindow();
            window->openPath(package);
            QCOMPARE(window->documentCount(), 1);
            QCOMPARE(window->canvas(0)->pageCount(), pages);
        }
    }

    // A package damaged in transit opens (the lesson can be rescued), says
    // so, and is not silently written over by the next save.
    void damagedPackageWarnsAndAsksBeforeSave()
    {
        const QString pdf = makePdf(QStringLiteral("d.pdf"));
        QFile source(pdf);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString package = m_dir->filePath(QStringLiteral("d.dpz"));
        QVERIFY(writePackage(package, source.readAll(), QJsonObject()));
        QFile file(package);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        // Inside the PDF's binary comment line: the PDF still loads.
        bytes[30 + 10 + 10] = char(bytes[30 + 10 + 10] ^ 0x01);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();

        auto window = newWindow();
        window->openPath(package);
        QCOMPARE(window->documentCount(), 1);
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("批注包已损坏：source.pdf 校验不符，内容可能不完整"));
        drawStroke(*window);

        QStringList seen;
        answerClosePrompt(QStringLiteral("取消"), &seen);
        QVERIFY(!window->save(0));
        QCOMPARE(seen.value(0), QStringLiteral("批注包已损坏"));
        QCOMPARE(seen.value(2), QStringLiteral("仍然覆盖,取消,另存为"));
        QVERIFY(readAll(package) == bytes);

        answerClosePrompt(QStringLiteral("仍然覆盖"));
        QVERIFY(window->save(0));
        QList<PackageDamage> damage;
        QJsonObject json;
        QByteArray saved;
        QVERIFY(readPackage(package, &saved, &json, nullptr, &damage));
        QVERIFY(damage.isEmpty());
        QCOMPARE(strokeCount(inkFromAnnotations(json)), 1);

        // Once written whole, later saves just save.
        drawStroke(*window, 0.4);
        bool asked = false;
        const QPointer<QTimer> watch = onNextModal<QWidget>([&asked](QWidget *modal) {
            asked = true;
            modal->close();
        });
        QVERIFY(window->save(0));
        delete watch.data();
        QVERIFY(!asked);
    }
};

QTEST_MAIN(TestSaveFlows)
#include "tst_saveflows.moc"
