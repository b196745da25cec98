// The temporary files of a running window (extracted package PDFs, working
// copies) against the start-up sweep of another start, and what a save does
// when one of them has gone anyway.
#include "app/documentwriter.h"
#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "canvas/pdfcanvas.h"
#include "files/package.h"
#include "files/workingcopy.h"
#include "ink/annotationjson.h"
#include "testutil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr int kProcessWaitMs = 60000;
constexpr int kAgedDays = 20; // well past the sweep's limit

bool setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileModificationTime);
}

bool age(const QString &path)
{
    return setModified(path, QDateTime::currentDateTime().addDays(-kAgedDays));
}

bool isFresh(const QString &path)
{
    return QFileInfo(path).lastModified() > QDateTime::currentDateTime().addSecs(-60);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int strokesIn(const QJsonObject &annotations)
{
    int count = 0;
    const InkPages ink = inkFromAnnotations(annotations);
    for (const QVector<Stroke> &strokes : ink)
        count += int(strokes.size());
    return count;
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

using TestUtil::waitForServer;

// Closes every message box that turns up while it lives and keeps its text,
// so a failing save reports instead of waiting for a click.
class MessageBoxCatcher
{
public:
    MessageBoxCatcher()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_seen << box->windowTitle() + QLatin1Char('|') + box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start();
    }
    QStringList seen() const { return m_seen; }

private:
    QTimer m_timer;
    QStringList m_seen;
};

} // namespace

class TestTempFiles : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> newWindow()
    {
        auto window = std::make_unique<MainWindow>();
        window->resize(900, 700);
        window->show();
        QApplication::setActiveWindow(window.get());
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("window not active");
        return window;
    }

    QString makePdf(const QString &name)
    {
        const QString path = m_dir->filePath(name);
        if (!TestUtil::writeA4Pdf(path, 2, name))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

    // A package around a fresh PDF, without ink; its PDF bytes in pdfOut.
    QString makePackage(const QString &name, QByteArray *pdfOut = nullptr)
    {
        const QByteArray pdf = readFile(makePdf(name + QStringLiteral(".pdf")));
        const QString path = m_dir->filePath(name);
        if (!writePackage(path, pdf, annotationsFromInk(InkPages())))
            qWarning("cannot write %s", qPrintable(path));
        if (pdfOut)
            *pdfOut = pdf;
        return path;
    }

    // One mouse stroke across the current canvas's first page.
    void drawStroke(MainWindow &window, double y = 0.2)
    {
        QVERIFY(TestUtil::drawMouseStroke(window.currentCanvas(), y));
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        QDir(tempFolder()).removeRecursively();
        QDir(workingCopyFolder()).removeRecursively();
        m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/课件 XXXXXX"));
        QVERIFY(m_dir->isValid());
    }

    // Double-clicking another PDF while a lesson from a package is open: the
    // second start hands the file over and must leave the lesson's files
    // alone, however old they look.
    void secondStartKeepsTheRunningWindowsFiles()
    {
        auto window = newWindow();
        auto *server = new SingleInstanceServer(window.get());
        connect(server, &SingleInstanceServer::openRequested, window.get(), &MainWindow::openPath);
        QVERIFY(server->listen());

        const QString package = makePackage(QStringLiteral("第一课.dpz"));
        window->openPath(package);
        QCOMPARE(window->documentCount(), 1);
        drawStroke(*window);
        QVERIFY(window->workingCopyWriter()->flush(window->canvas(0)));
        const QString extracted = extractedPdfPath(package);
        const QString copy = workingCopyPath(package);
        QVERIFY(age(extracted));
        QVERIFY(age(copy));

        const QString other = makePdf(QStringLiteral("第二课.pdf"));
        QProcess second;
        second.setProcessEnvironment(childEnvironment());
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(TestUtil::lecternBinary(), { other });
        QVERIFY(second.waitForStarted());
        auto stopSecond = qScopeGuard([&] {
            second.kill();
            second.waitForFinished();
        });
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, kProcessWaitMs);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(window->documentCount(), 2); // it forwarded, it did not open a window

        QVERIFY(QFileInfo::exists(extracted));
        QVERIFY(QFileInfo::exists(copy));
        const MessageBoxCatcher boxes;
        QVERIFY(window->save(0));
        QCOMPARE(boxes.seen(), QStringList());
    }

    // The start that becomes the running window clears out what earlier
    // sessions left behind.
    void serverStartSweepsOldFiles()
    {
        QVERIFY(QDir().mkpath(tempFolder()));
        const QString old = tempFolder() + QStringLiteral("/old.pdf");
        const QString recent = tempFolder() + QStringLiteral("/recent.pdf");
        QVERIFY(QFile(old).open(QIODevice::WriteOnly));
        QVERIFY(QFile(recent).open(QIODevice::WriteOnly));
        QVERIFY(age(old));
        QVERIFY(setModified(recent, QDateTime::currentDateTime().addDays(-13)));

        QProcess first;
        first.setProcessEnvironment(childEnvironment());
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(TestUtil::lecternBinary(), {});
        QVERIFY(first.waitForStarted());
        auto stopFirst = qScopeGuard([&] {
            first.kill();
            first.waitForFinished();
        });
        QVERIFY2(waitForServer(singleInstanceServerName(), &first), "the first start never served");
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(old), kProcessWaitMs);
        QVERIFY(QFileInfo::exists(recent));
    }

    // A package opened again days later: its extracted PDF is reused and
    // must count as new, or the next sweep takes it from under the window.
    void reopenedPackageRefreshesItsExtractedPdf()
    {
        auto window = newWindow();
        const QString package = makePackage(QStringLiteral("复习.dpz"));
        window->openPath(package);
        window->onTabCloseRequested(0);
        QCOMPARE(window->documentCount(), 0);
        const QString extracted = extractedPdfPath(package);
        QVERIFY(age(extracted));

        window->openPath(package);
        QCOMPARE(window->documentCount(), 1);
        QCOMPARE(window->document(0).pdfPath, extracted);
        QVERIFY(isFresh(extracted));
    }

    // A window that runs for weeks, or another instance that could not reach
    // it and swept: whatever an open document keeps in the temp folder is
    // dated again whenever the window opens a document (and every hour);
    // its working copy needs no date, no sweep takes one.
    void openDocumentsKeepTheirTempFilesFresh()
    {
        auto window = newWindow();
        const QString package = makePackage(QStringLiteral("长期.dpz"));
        window->openPath(package);
        drawStroke(*window);
        QVERIFY(window->workingCopyWriter()->flush(window->canvas(0)));
        const QString extracted = extractedPdfPath(package);
        const QString copy = workingCopyPath(package);
        QVERIFY(age(extracted));
        QVERIFY(age(copy));

        window->openPath(makePdf(QStringLiteral("另一课.pdf")));
        QCOMPARE(window->documentCount(), 2);
        window->workingCopyWriter()->waitIdle();
        QVERIFY(isFresh(extracted));
        sweepTempFolder();
        QVERIFY(QFileInfo::exists(extracted));
        QVERIFY(QFileInfo::exists(copy));
    }

    // A picture opened in one tab, and the PDF made from it opened directly
    // in another: that PDF is the second tab's own file, its fingerprint
    // guards the second tab's working copy, and the hourly refresh made
    // for the first tab must not date it.
    void refreshLeavesAFileAnotherTabOpenedAlone()
    {
        auto window = newWindow();
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(Qt::white);
        const QString png = m_dir->filePath(QStringLiteral("板书.png"));
        QVERIFY(picture.save(png));
        window->openPath(png);
        QCOMPARE(window->documentCount(), 1);
        const QString wrapper = window->document(0).pdfPath;
        QVERIFY(isInTempFolder(wrapper));
        QVERIFY(setModified(wrapper, QDateTime::currentDateTime().addSecs(-3600)));
        window->openPath(wrapper);
        QCOMPARE(window->documentCount(), 2);
        drawStroke(*window);
        // Opening a third lesson refreshes what the open ones keep.
        window->openPath(makePdf(QStringLiteral("第三个.pdf")));
        QCOMPARE(window->documentCount(), 3);
        QVERIFY(window->workingCopyWriter()->flush(window->canvas(1)));
        const RestoreResult gate = runRestoreGate(wrapper);
        QCOMPARE(gate.outcome, RestoreResult::Outcome::Restored);
        QCOMPARE(strokesIn(gate.annotations), 1);
    }

    // The extracted PDF went anyway (another program cleaned the temp
    // folder): Ctrl+S still saves the lesson into its package.
    void saveBringsBackAVanishedExtractedPdf()
    {
        auto window = newWindow();
        QByteArray pdf;
        const QString package = makePackage(QStringLiteral("第三课.dpz"), &pdf);
        window->openPath(package);
        drawStroke(*window);
        // Nothing left for the working-copy writer, so only the save can
        // bring the PDF back.
        QVERIFY(window->workingCopyWriter()->flush(window->canvas(0)));
        const QString extracted = window->document(0).pdfPath;
        QVERIFY(QFile::remove(extracted));

        const MessageBoxCatcher boxes;
        QTest::keySequence(window.get(), QKeySequence::Save);
        QCOMPARE(boxes.seen(), QStringList());
        QVERIFY(!window->document(0).dirty);
        QByteArray savedPdf;
        QJsonObject savedInk;
        QVERIFY(readPackage(package, &savedPdf, &savedInk));
        QCOMPARE(savedPdf, pdf);
        QCOMPARE(strokesIn(savedInk), 1);
        QCOMPARE(readFile(extracted), pdf);
    }

    // The same for the background writer of the working copy: ink drawn
    // after the PDF went still reaches the disk.
    void workingCopyWriteBringsBackAVanishedExtractedPdf()
    {
        auto window = newWindow();
        QByteArray pdf;
        const QString package = makePackage(QStringLiteral("第四课.dpz"), &pdf);
        window->openPath(package);
        const QString extracted = window->document(0).pdfPath;
        QVERIFY(QFile::remove(extracted));
        drawStroke(*window);

        QString error;
        QVERIFY2(window->workingCopyWriter()->flush(window->canvas(0), &error), qPrintable(error));
        QByteArray copyPdf;
        QJsonObject copyInk;
        QVERIFY(readPackage(workingCopyPath(package), &copyPdf, &copyInk));
        QVERIFY(copyPdf.isEmpty()); // kept by reference to the package
        QCOMPARE(strokesIn(copyInk), 1);
        QCOMPARE(readFile(extracted), pdf);
    }
};

QTEST_MAIN(TestTempFiles)
#include "tst_tempfiles.moc"
