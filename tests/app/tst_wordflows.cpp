// Word documents and decks in the main window: the conversion runs beside
// the event loop, can be cancelled, is joined by a second open, and ends in
// a tab; a deck is shown one slide at a time and saved as a package.
#include "app/mainwindow.h"
#include "ui/uimetrics.h"
#include "app/wordconversion.h"
#include "app/wordquestion.h"
#include "app/zoombar.h"
#include "files/package.h"
#include "canvas/pdfcanvas.h"
#include "files/officekind.h"
#include "files/wordconvert.h"
#include "files/wordconvertsample.h"
#include "files/workingcopy.h"
#include "platform/fileassoc.h"
#include "system/settings.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QDesktopServices>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Running or stopped; a zombie nobody reaped yet counts as gone.
bool processAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

// Drops straight into the window's handler (a synthesized drop without a
// drag in progress never reaches it through the application).
class DropWindow : public MainWindow
{
public:
    using MainWindow::dropEvent;
};

} // namespace

class TestWordFlows : public QObject
{
    Q_OBJECT
public slots:
    void recordUrl(const QUrl &url) { m_urls.append(url); }

private:
    QTemporaryDir m_dir;
    QString m_docx;
    QList<QUrl> m_urls;

    void useSoffice(const QString &body)
    {
        const QString path = m_dir.filePath(QStringLiteral("soffice.sh"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\necho run >> '" + m_dir.filePath(QStringLiteral("runs")).toUtf8() + "'\n"
                   + body.toUtf8() + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("LECTERN_SOFFICE", path.toUtf8());
    }

    int runs() const
    {
        QFile file(m_dir.filePath(QStringLiteral("runs")));
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

    static bool leftBehind()
    {
        return !QDir(tempFolder()).entryList({QStringLiteral("lo-*"), QStringLiteral("*.part")},
                                             QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_docx = m_dir.filePath(QStringLiteral("第2课 讲义.docx"));
        QVERIFY(writeSampleDocx(m_docx, 1, SamplePictures::None));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "recordUrl");
        QVERIFY(setWordOpenMode(1));
    }

    void init() { QDir(tempFolder()).removeRecursively(); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void convertsBesideTheWindowAndCancels()
    {
        useSoffice(QStringLiteral("sleep 60"));
        const QString pdf = m_dir.filePath(QStringLiteral("other.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 1));
        MainWindow window;
        window.show();
        WordConversions *conversions = window.wordConversions();
        window.openPath(m_docx);
        // openPath returned while LibreOffice runs: the window is free.
        QCOMPARE(conversions->runningCount(), 1);
        WordConvertJob *job = conversions->job(m_docx);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("正在转换 Word 文档…"));
        QVERIFY(conversions->indicator()->isVisible());
        window.openPath(pdf);
        QCOMPARE(window.documentCount(), 1);
        window.openPath(m_docx); // joins the running conversion
        QCOMPARE(conversions->runningCount(), 1);
        QCOMPARE(conversions->job(m_docx), job);
        QTRY_VERIFY_WITH_TIMEOUT(runs() == 1, 5000);
        const qint64 pid = job->processId();

        // A finger can hit it.
        const int target = uiMetrics(conversions->cancelButton()->font()).touchTarget;
        QVERIFY(conversions->cancelButton()->height() >= target && conversions->cancelButton()->width() >= target);
        QTest::mouseClick(conversions->cancelButton(), Qt::LeftButton);
        QCOMPARE(conversions->runningCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!processAlive(pid), 5000);
        QVERIFY(!leftBehind());
        QCOMPARE(window.documentCount(), 1);
        QVERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("已取消转换：")));
        QVERIFY(!conversions->indicator()->isVisible());

        // Closing the window while converting ends LibreOffice too.
        window.openPath(m_docx);
        QTRY_VERIFY_WITH_TIMEOUT(runs() == 2, 5000);
        const qint64 second = conversions->job(m_docx)->processId();
        QVERIFY(window.close());
        QCOMPARE(conversions->runningCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!processAlive(second), 5000);
        QVERIFY(!leftBehind());
    }

    // A deck never meets the Word question, says what it converts, and its
    // cancel leaves no LibreOffice and no file behind.
    void deckConversionCancels()
    {
        QVERIFY(setWordOpenMode(0));
        auto askMode = qScopeGuard([] { setWordOpenMode(1); });
        bool asked = false;
        QTimer *watch = TestUtil::onNextModal<WordQuestion>([&asked](WordQuestion *question) {
            asked = true;
            question->reject();
        });
        auto stopWatching = qScopeGuard([watch] { delete watch; });
        useSoffice(QStringLiteral("sleep 60"));
        const QString deck = m_dir.filePath(QStringLiteral("第4课.pptx"));
        QFile::remove(deck);
        QVERIFY(QFile::copy(TestUtil::dataDir() + QStringLiteral("/lesson-slides.pptx"), deck));
        MainWindow window;
        window.show();
        WordConversions *conversions = window.wordConversions();
        const int before = runs();
        window.openPath(deck);
        QCOMPARE(conversions->runningCount(), 1);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("正在转换演示文稿…"));
        QTRY_VERIFY_WITH_TIMEOUT(runs() == before + 1, 5000);
        const qint64 pid = conversions->job(deck)->processId();
        QTest::mouseClick(conversions->cancelButton(), Qt::LeftButton);
        QCOMPARE(conversions->runningCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!processAlive(pid), 5000);
        QVERIFY(!leftBehind());
        QVERIFY(!QFileInfo::exists(wordCachePath(deck, WordEngine::LibreOffice)));
        QCOMPARE(window.documentCount(), 0);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("已取消转换：第4课.pptx"));
        QVERIFY(!asked);
    }

    // What the teacher does: double-click a .pptx, write on its slides one
    // key press at a time (a presenter remote, after touching the zoom
    // slider), save the lesson, and find it again as a deck.
    void deckIsWrittenOnSlideBySlideAndSaved()
    {
        qunsetenv("LECTERN_SOFFICE");
        const QString soffice = findSoffice();
        if (soffice.isEmpty() || !libreOfficeReadsPresentations(soffice))
            QSKIP("LibreOffice Impress is not installed");
        const QString deck = m_dir.filePath(QStringLiteral("第5课 分数.pptx"));
        QFile::remove(deck);
        QVERIFY(QFile::copy(TestUtil::dataDir() + QStringLiteral("/lesson-slides.pptx"), deck));
        QString package;
        {
            MainWindow window;
            window.resize(1024, 768);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.openPath(deck);
            QTRY_VERIFY2_WITH_TIMEOUT(window.documentCount() == 1, qPrintable(window.statusBar()->currentMessage()),
                                      90000);
            PdfCanvas *canvas = window.canvas(0);
            QCOMPARE(window.document(0).wordSourcePath, deck);
            QCOMPARE(window.document(0).displayName, QStringLiteral("第5课 分数.dpz"));
            QVERIFY(canvas->slideMode());
            QCOMPARE(canvas->pageCount(), 3);
            QTRY_VERIFY(canvas->isVisible() && !window.isTransitionRunning());
            QVERIFY(QRectF(canvas->viewport()->rect()).contains(canvas->pageRect(0)));

            auto *slider = window.zoomBar()->findChild<QSlider *>();
            QVERIFY(slider);
            slider->setFocus();
            const int zoomValue = slider->value();
            QTest::keyClick(slider, Qt::Key_PageDown);
            QTRY_VERIFY(!canvas->isSettling());
            QCOMPARE(canvas->currentSlide(), 1);
            QCOMPARE(slider->value(), zoomValue);
            QWidget *vp = canvas->viewport();
            const auto at = [canvas](double fx) { return TestUtil::pagePoint(*canvas, fx, 0.5, 1).toPoint(); };
            QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, at(0.2));
            for (int i = 1; i <= 6; ++i)
                QTest::mouseMove(vp, at(0.2 + 0.1 * i));
            QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, at(0.8));
            QCOMPARE(canvas->ink().keys(), QList<int>{1});
            QVERIFY(window.document(0).dirty);

            package = m_dir.filePath(QStringLiteral("第5课 分数.dpz"));
            QFile::remove(package);
            QString proposed;
            TestUtil::onNextModal<QFileDialog>([package, &proposed](QFileDialog *dialog) {
                proposed = dialog->selectedFiles().value(0);
                TestUtil::chooseFile(dialog, package);
            });
            QVERIFY(window.save(0));
            QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("第5课 分数.dpz"));
            QCOMPARE(window.document(0).packagePath, package);
            QVERIFY(!window.document(0).dirty);
        }
        QByteArray pdf;
        QJsonObject ink;
        QString error;
        QVERIFY2(readPackage(package, &pdf, &ink, &error), qPrintable(error));
        QVERIFY(pdf.startsWith("%PDF"));

        // Opened again the next day, the lesson is still a deck with its ink.
        MainWindow again;
        again.resize(1024, 768);
        again.show();
        again.openPath(package);
        QCOMPARE(again.documentCount(), 1);
        QVERIFY(again.canvas(0)->slideMode());
        QCOMPARE(again.canvas(0)->ink().keys(), QList<int>{1});
    }

    void dropOpensTheConvertedDocumentOnce()
    {
        const QString result = m_dir.filePath(QStringLiteral("result.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(result, 2));
        useSoffice(QStringLiteral("cp '%1' \"${10}/$(basename \"${11}\" .docx).pdf\"").arg(result));
        DropWindow window;
        window.show();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(m_docx)});
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        window.dropEvent(&drop);
        QTRY_VERIFY2_WITH_TIMEOUT(window.documentCount() == 1, qPrintable(window.statusBar()->currentMessage()),
                                  10000);
        const OpenDocument &doc = window.document(0);
        QCOMPARE(doc.displayName, QStringLiteral("第2课 讲义.dpz"));
        QCOMPARE(doc.wordSourcePath, m_docx);
        QCOMPARE(doc.pdfPath, wordCachePath(m_docx, WordEngine::LibreOffice));
        QCOMPARE(window.canvas(0)->pageCount(), 2);
        window.openPath(m_docx);
        QCOMPARE(window.documentCount(), 1);
        QCOMPARE(window.wordConversions()->runningCount(), 0);
    }

    void asksHandsOverOrExplainsFailure()
    {
        MainWindow window;
        m_urls.clear();
        QVERIFY(setWordOpenMode(0));
        TestUtil::onNextModal<WordQuestion>([](WordQuestion *question) { question->reject(); });
        window.openPath(m_docx);
        TestUtil::onNextModal<WordQuestion>(
            [](WordQuestion *question) { QTest::mouseClick(question->openInWordButton(), Qt::LeftButton); });
        window.openPath(m_docx);
        QVERIFY(setWordOpenMode(2));
        window.openPath(m_docx);
        // Who would open it is asked off the GUI thread first.
        QTRY_COMPARE_WITH_TIMEOUT(m_urls, QList<QUrl>({QUrl::fromLocalFile(m_docx), QUrl::fromLocalFile(m_docx)}),
                                  30000);
        QCOMPARE(window.documentCount(), 0);

        QVERIFY(setWordOpenMode(1));
        useSoffice(QStringLiteral("echo 'Error: source file could not be loaded' >&2; exit 1"));
        window.openPath(m_docx);
        QTRY_VERIFY_WITH_TIMEOUT(window.wordConversions()->runningCount() == 0, 10000);
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("转换失败：LibreOffice 未生成 PDF（退出码 1：Error: source file could not be loaded）。"
                                "请确认这份文档能在 LibreOffice 中单独打开（它可能已损坏或受密码保护），"
                                "或在那里另存为 PDF 后再打开"));

        qunsetenv("LECTERN_SOFFICE");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        window.openPath(m_docx);
        qputenv("PATH", path);
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("未检测到 Word/WPS 或 LibreOffice，无法打开该 Word 文档（可先另存为 PDF）"));
        QCOMPARE(window.documentCount(), 0);
    }

    // Registered as an open-with candidate and nobody else opening Word
    // files, this program is the desktop's default for them: "用 Word 打开"
    // must not hand the file back here (a new process, which hands it on
    // again, without end). It says why instead.
    void handOverNeverComesBack()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
            QSKIP("xdg-utils not installed");
        QString error;
        QVERIFY2(registerFileAssociations(&error), qPrintable(error));
        auto restore = qScopeGuard([] { unregisterFileAssociations(); });
        QVERIFY(setWordOpenMode(2));
        MainWindow window;
        window.show();
        m_urls.clear();
        QString said;
        TestUtil::onNextModal<QMessageBox>([&said](QMessageBox *box) {
            said = box->text();
            box->accept();
        });
        window.openPath(m_docx);
        QTRY_VERIFY_WITH_TIMEOUT(!said.isEmpty(), 30000);
        QVERIFY2(said.contains(QStringLiteral("默认程序就是本程序")), qPrintable(said));
        QVERIFY(m_urls.isEmpty());
        QCOMPARE(window.documentCount(), 0);
        QVERIFY(setWordOpenMode(1));
    }
};

QTEST_MAIN(TestWordFlows)
#include "tst_wordflows.moc"
