// Locked PDFs: the password question in the open flow, the export of the
// opened document, and that the password never reaches the disk.
#include "app/documenttabstrip.h"
#include "app/mainwindow.h"
#include "app/documentwriter.h"
#include "app/passworddialog.h"
#include "app/pdfshare.h"
#include "canvas/canvasexport.h"
#include "canvas/pdfcanvas.h"
#include "files/package.h"
#include "files/pdfexport.h"
#include "system/diaglog.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kPassword = QStringLiteral("Kreide-4711");

// Types password into the next password question and confirms it; then runs
// next (which may answer the following question).
void answerPassword(const QString &password, bool expectNote, std::function<void()> next = {})
{
    TestUtil::onNextModal<PasswordDialog>([=](PasswordDialog *dialog) {
        const bool note = dialog->findChild<QLabel *>(QStringLiteral("wrongPasswordNote")) != nullptr;
        QCOMPARE(note, expectNote);
        QTest::keyClicks(dialog->passwordEdit(), password);
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
        if (next)
            next();
    });
}

void cancelPassword(bool expectNote)
{
    TestUtil::onNextModal<PasswordDialog>([=](PasswordDialog *dialog) {
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("wrongPasswordNote")) != nullptr, expectNote);
        QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    });
}

// Files under folder whose bytes contain needle.
QStringList filesContaining(const QString &folder, const QByteArray &needle)
{
    QStringList hits;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle))
            hits.append(file.fileName());
    }
    return hits;
}

} // namespace

class TestPassword : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_locked;

    std::unique_ptr<MainWindow> newWindow()
    {
        auto window = std::make_unique<MainWindow>();
        window->resize(900, 700);
        window->show();
        return QTest::qWaitForWindowExposed(window.get()) ? std::move(window) : nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(setDebugLogEnabled(true));
        const QString plain = m_dir.filePath(QStringLiteral("plain.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(plain, 3, QStringLiteral("Prüfung")));
        m_locked = m_dir.filePath(QStringLiteral("试卷.pdf"));
        QCOMPARE(QProcess::execute(QStringLiteral("qpdf"), {QStringLiteral("--encrypt"), kPassword, kPassword,
                                                           QStringLiteral("256"), QStringLiteral("--"), plain,
                                                           m_locked}),
                 0);
    }

    void wrongThenRightOpensExportsAndKeepsSecret()
    {
        auto window = newWindow();
        QVERIFY(window);
        answerPassword(QStringLiteral("falsch"), false, [] { answerPassword(kPassword, true); });
        window->openPath(m_locked);
        QCOMPARE(window->documentCount(), 1);
        PdfCanvas *canvas = window->canvas(0);
        QCOMPARE(canvas->pageCount(), 3);

        // Ink goes to a working copy, which must hold the PDF as it is.
        QVERIFY(TestUtil::drawMouseStroke(canvas, 0.3));
        QVERIFY(window->workingCopyWriter()->flush(canvas));

        const QString out = m_dir.filePath(QStringLiteral("out.pdf"));
        QString error;
        QVERIFY2(exportInjectedPdf(canvas, out, &error), qPrintable(error));
        QPdfDocument exported;
        QCOMPARE(exported.load(out), QPdfDocument::Error::None);
        QCOMPARE(exported.pageCount(), 3);

        // Kept as the original, it stays locked with the same password.
        const QString kept = m_dir.filePath(QStringLiteral("kept.pdf"));
        const PdfShareResult shared = exportSharedPdf(exportSource(canvas), kept, PdfExportWay::KeepOriginal);
        QVERIFY2(shared.ok && !shared.fellBack, qPrintable(shared.error + shared.fallbackReason));
        QPdfDocument locked;
        QCOMPARE(locked.load(kept), QPdfDocument::Error::IncorrectPassword);
        locked.setPassword(kPassword);
        QCOMPARE(locked.load(kept), QPdfDocument::Error::None);
        QCOMPARE(locked.pageCount(), 3);
        QPdfDocument source;
        source.setPassword(kPassword);
        QCOMPARE(source.load(m_locked), QPdfDocument::Error::None);
        QVERIFY(!source.getAllText(0).text().isEmpty());
        QCOMPARE(locked.getAllText(0).text(), source.getAllText(0).text());
        QCOMPARE(QProcess::execute(QStringLiteral("qpdf"), {QStringLiteral("--check"),
                                                           QStringLiteral("--password=") + kPassword, kept}),
                 0);
        QProcess show;
        show.start(QStringLiteral("qpdf"), {QStringLiteral("--show-encryption"),
                                            QStringLiteral("--password=") + kPassword, kept});
        QVERIFY(show.waitForFinished(60000));
        QVERIFY(show.readAllStandardOutput().contains("R = 6"));

        // The wrong try was logged (by path) but no password anywhere on disk.
        QFile log(logFilePath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(log.readAll()).contains(QStringLiteral("PDF 密码不正确")));
        const QString sandbox = qEnvironmentVariable("LECTERN_TEST_SANDBOX");
        QVERIFY(!sandbox.isEmpty());
        QCOMPARE(filesContaining(sandbox, kPassword.toUtf8()), QStringList());
        QCOMPARE(filesContaining(sandbox, QByteArrayLiteral("falsch")), QStringList());
        QCOMPARE(filesContaining(m_dir.path(), kPassword.toUtf8()), QStringList());
    }

    void packageAsksAgainAndCancelLeavesNothing()
    {
        // A package keeps the locked bytes; an empty password is a real try.
        QFile locked(m_locked);
        QVERIFY(locked.open(QIODevice::ReadOnly));
        const QString package = m_dir.filePath(QStringLiteral("试卷.dpz"));
        QVERIFY(writePackage(package, locked.readAll(), QJsonObject()));
        auto window = newWindow();
        QVERIFY(window);
        answerPassword(QString(), false, [] { cancelPassword(true); });
        window->openPath(package);
        QCOMPARE(window->documentCount(), 0);
        QCOMPARE(window->tabStrip()->count(), 0);
        QVERIFY(window->findChildren<PdfCanvas *>().isEmpty());
        QVERIFY(window->statusBar()->currentMessage().startsWith(QStringLiteral("已取消打开")));
    }

    // The file is double-clicked again while its password question is
    // still open: one tab in the end, never two tabs writing one working
    // copy.
    void secondOpenDuringThePasswordQuestionKeepsOneTab()
    {
        auto window = newWindow();
        QVERIFY(window);
        MainWindow *w = window.get();
        const QString locked = m_locked;
        TestUtil::onNextModal<PasswordDialog>([w, locked](PasswordDialog *outer) {
            answerPassword(kPassword, false);
            w->openPath(locked); // answered inside: the file opens meanwhile
            QTest::keyClicks(outer->passwordEdit(), kPassword);
            QTest::mouseClick(outer->okButton(), Qt::LeftButton);
        });
        window->openPath(m_locked);
        QCOMPARE(window->documentCount(), 1);
        QCOMPARE(window->tabStrip()->count(), 1);
        QCOMPARE(window->findChildren<PdfCanvas *>().size(), 1);
        QCOMPARE(window->currentCanvas(), window->canvas(0));
        QCOMPARE(window->canvas(0)->pageCount(), 3);
    }

    void commandLineRefusesLockedPdf()
    {
        const QString out = m_dir.filePath(QStringLiteral("cli.pdf"));
        QProcess process;
        process.start(TestUtil::lecternBinary(), {QStringLiteral("--export-pdf"), m_locked, out});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("受密码保护")));
        QVERIFY(!QFile::exists(out));
    }
};

QTEST_MAIN(TestPassword)
#include "tst_password.moc"
