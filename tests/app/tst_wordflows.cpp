// Word documents in the main window: the conversion runs beside the event
// loop, can be cancelled, is joined by a second open, and ends in a tab.
#include "app/mainwindow.h"
#include "ui/uimetrics.h"
#include "app/wordconversion.h"
#include "app/wordquestion.h"
#include "canvas/pdfcanvas.h"
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
