// Save as through the real dialog: the three kinds with their proposed
// names, the refusals and failures, a name that only gets its extension
// afterwards, a cancel in the progress box, and opens that arrive while an
// export runs.
#include "app/exportprogress.h"
#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "ui/uimetrics.h"
#include "app/wordquestion.h"
#include "canvas/pdfcanvas.h"
#include "files/package.h"
#include "modalhelpers.h"
#include "system/diaglog.h"
#include "system/settings.h"
#include "testutil.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPdfDocument>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/QPDF.hh>

#include <memory>

namespace {

using TestUtil::onNextModal;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Picks filter `index` as a user would (the type box takes focus and moves
// by key), remembering every proposal shown on the way, then saves target.
QTimer *answerSaveAs(int index, const QString &target, QStringList *proposals = nullptr)
{
    return onNextModal<QFileDialog>([index, target, proposals](QFileDialog *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        if (!edit || !types) {
            dialog->reject();
            return;
        }
        if (proposals)
            proposals->append(edit->text());
        types->setFocus();
        while (types->currentIndex() < 2) {
            QTest::keyClick(types, Qt::Key_Down);
            if (proposals)
                proposals->append(edit->text());
        }
        while (types->currentIndex() > index)
            QTest::keyClick(types, Qt::Key_Up);
        TestUtil::chooseFile(dialog, target);
    });
}

// Records the next warning box's title and text and closes it.
void answerWarning(QStringList *seen)
{
    onNextModal<QMessageBox>([seen](QMessageBox *box) {
        *seen << box->windowTitle() << box->text();
        box->accept();
    });
}

// Answers still waiting when a test ends early point into its locals: this
// drops them with the test.
class PendingAnswers
{
public:
    PendingAnswers() = default;
    PendingAnswers(const PendingAnswers &) = delete;
    PendingAnswers &operator=(const PendingAnswers &) = delete;
    ~PendingAnswers()
    {
        for (const QPointer<QTimer> &timer : std::as_const(m_timers))
            delete timer.data();
    }
    void operator<<(QTimer *timer) { m_timers.append(timer); }

private:
    QList<QPointer<QTimer>> m_timers;
};

// Answers the next "已存在，要替换吗？" box with the button labelled choice.
QTimer *answerReplace(const QString &choice, QString *text)
{
    return onNextModal<QMessageBox>([choice, text](QMessageBox *box) {
        *text = box->text();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == choice)
                QTest::mouseClick(button, Qt::LeftButton);
        }
    });
}

// Calls act with the export's progress box on every tick while it is up,
// until act returns true. No watchdog: the export ends on its own, and a
// slow one must not be cancelled by the test.
QTimer *whileExporting(std::function<bool(ExportProgress *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        auto *progress = qobject_cast<ExportProgress *>(QApplication::activeModalWidget());
        if (progress && act(progress)) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
    return timer;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestExportSaveAs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    std::unique_ptr<MainWindow> openWindow(const QString &pdf)
    {
        auto window = std::make_unique<MainWindow>();
        window->resize(900, 700);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("window not exposed");
        window->openPath(pdf);
        return window;
    }

private slots:
    void cleanup() { TestUtil::closeStrayModals(); }

    void kindsAndProposedNames()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("第1课.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        auto window = openWindow(pdf);
        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas()));

        QStringList proposals;
        answerSaveAs(1, m_dir.filePath(QStringLiteral("x")), &proposals);
        QVERIFY(window->saveAs(0));
        QCOMPARE(proposals, (QStringList{QStringLiteral("第1课.dpz"), QStringLiteral("第1课-已批注.pdf"),
                                         QStringLiteral("第1课-1.png")}));
        QPdfDocument injected;
        injected.load(m_dir.filePath(QStringLiteral("x.pdf")));
        QCOMPARE(injected.pageCount(), 2);
        QVERIFY(!window->document(0).dirty);
        QVERIFY(window->document(0).packagePath.isEmpty());
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已注入 PDF x.pdf"));

        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas(), 0.5));
        answerSaveAs(2, m_dir.filePath(QStringLiteral("y.PNG")));
        QVERIFY(window->saveAs(0));
        QVERIFY(QFileInfo::exists(m_dir.filePath(QStringLiteral("y-1.png"))));
        QVERIFY(QFileInfo::exists(m_dir.filePath(QStringLiteral("y-2.png"))));
        QVERIFY(window->document(0).dirty);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已导出 2 张 PNG：y-1.png …"));
    }

    void refusalsAndFailures()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("a.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 1));
        const QByteArray source = readAll(pdf);
        auto window = openWindow(pdf);
        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas()));

        // The dialog's own overwrite question is answered yes; the flow refuses.
        answerSaveAs(1, pdf);
        onNextModal<QMessageBox>([](QMessageBox *box) {
            if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                QTest::mouseClick(yes, Qt::LeftButton);
        });
        QVERIFY(!window->saveAs(0));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("不能用源文件本身作为导出目标，请换一个文件名"));
        QCOMPARE(readAll(pdf), source);

        QStringList seen;
        answerSaveAs(1, pdf + QStringLiteral("/under.pdf"));
        answerWarning(&seen);
        QVERIFY(!window->saveAs(0));
        answerSaveAs(2, pdf + QStringLiteral("/under"));
        answerWarning(&seen);
        QVERIFY(!window->saveAs(0));
        QCOMPARE(seen.size(), 4);
        QCOMPARE(seen.at(0), QStringLiteral("保存失败"));
        QVERIFY(seen.at(1).startsWith(QStringLiteral("无法写入 ")));
        QCOMPARE(seen.at(2), QStringLiteral("导出失败"));
        QVERIFY(seen.at(3).startsWith(QStringLiteral("无法写入 ")));
        QVERIFY(window->document(0).dirty);
    }

    void cancelInTheProgressDialog()
    {
        // Large pages as pictures make every page take a while, so the
        // cancel lands mid-way.
        QVERIFY(setPdfExportMode(1));
        const auto keepOriginal = qScopeGuard([] { setPdfExportMode(0); });
        const QString pdf = m_dir.filePath(QStringLiteral("big.pdf"));
        QVERIFY(TestUtil::writePdf(pdf, QList<QSizeF>(5, QSizeF(3000, 3000))));
        auto window = openWindow(pdf);
        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas()));
        const QString folder = m_dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(folder));

        answerSaveAs(1, folder + QStringLiteral("/big.pdf"));
        QString label;
        bool buttonWhole = false;
        PendingAnswers pending;
        pending << onNextModal<ExportProgress>([&label, &buttonWhole](ExportProgress *progress) {
            label = progress->labelText();
            // The whole button is on screen and big enough for a finger.
            QPushButton *cancel = progress->cancelButton();
            buttonWhole = progress->rect().contains(cancel->geometry())
                && cancel->height() >= uiMetrics(cancel->font()).touchTarget
                && cancel->visibleRegion().boundingRect() == cancel->rect();
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        QVERIFY(!window->saveAs(0));
        QVERIFY2(label.startsWith(QStringLiteral("正在导出 第 ")) && label.endsWith(QStringLiteral(" / 5 页")),
                 qPrintable(label));
        QVERIFY(buttonWhole);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("导出已取消"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(window->document(0).dirty);
    }

    // "注入 PDF" keeps the original by default (its text is still text),
    // writes page images when the setting asks for them, and falls back to
    // page images, saying so, for a source qpdf reads differently.
    void pdfFollowsTheSettingAndFallsBack()
    {
        QVERIFY(setDebugLogEnabled(true));
        const QString pdf = m_dir.filePath(QStringLiteral("原文.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2, QStringLiteral("Lectern keeps text")));
        auto window = openWindow(pdf);
        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas()));
        const auto textOf = [](const QString &file) {
            QPdfDocument document;
            document.load(file);
            return document.pageCount() == 2 ? document.getAllText(0).text() : QStringLiteral("?");
        };

        answerSaveAs(1, m_dir.filePath(QStringLiteral("kept.pdf")));
        QVERIFY(window->saveAs(0));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已注入 PDF kept.pdf"));
        QVERIFY(textOf(m_dir.filePath(QStringLiteral("kept.pdf"))).contains(QStringLiteral("Lectern keeps text")));

        QVERIFY(setPdfExportMode(1));
        const auto keepOriginal = qScopeGuard([] { setPdfExportMode(0); });
        answerSaveAs(1, m_dir.filePath(QStringLiteral("pictures.pdf")));
        QVERIFY(window->saveAs(0));
        QCOMPARE(textOf(m_dir.filePath(QStringLiteral("pictures.pdf"))), QString());
        QVERIFY(setPdfExportMode(0));

        // Its /Count says one page while its kids hold two: PDFium shows one.
        const QString tree = m_dir.filePath(QStringLiteral("tree.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(tree, 2));
        QVERIFY(TestUtil::editPdf(tree, [](QPDF &document) {
            document.getRoot().getKey("/Pages").replaceKey("/Count", QPDFObjectHandle::newInteger(1));
        }));
        window->openPath(tree);
        QCOMPARE(window->documentCount(), 2);
        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas()));
        answerSaveAs(1, m_dir.filePath(QStringLiteral("tree-out.pdf")));
        QVERIFY(window->saveAs(1));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("原文无法保留，已按整页图片导出"));
        QVERIFY(!window->document(1).dirty);
        QPdfDocument out;
        QCOMPARE(out.load(m_dir.filePath(QStringLiteral("tree-out.pdf"))), QPdfDocument::Error::None);
        QCOMPARE(out.pageCount(), 1);
        QFile log(logFilePath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(log.readAll()).contains(QStringLiteral("原文无法保留，已按整页图片导出：")));
    }

    // The dialog asked about "数学"; the extension added afterwards names
    // another lesson, which is asked about before it is replaced.
    void nameWithoutExtensionAsksBeforeReplacing()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("新课.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 1));
        const QString lesson = m_dir.filePath(QStringLiteral("数学.dpz"));
        QVERIFY(writePackage(lesson, readAll(pdf), QJsonObject{{QStringLiteral("version"), 1}}));
        const QByteArray before = readAll(lesson);
        auto window = openWindow(pdf);
        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas()));

        QString asked;
        PendingAnswers pending;
        pending << answerSaveAs(0, m_dir.filePath(QStringLiteral("数学")));
        pending << answerReplace(QStringLiteral("取消"), &asked);
        QVERIFY(!window->saveAs(0));
        QCOMPARE(asked, QStringLiteral("数学.dpz 已存在，要替换吗？"));
        QCOMPARE(readAll(lesson), before);
        QVERIFY(window->document(0).dirty);
        QVERIFY(window->document(0).packagePath.isEmpty());

        asked.clear();
        pending << answerSaveAs(0, m_dir.filePath(QStringLiteral("数学")));
        pending << answerReplace(QStringLiteral("替换"), &asked);
        QVERIFY(window->saveAs(0));
        QCOMPARE(asked, QStringLiteral("数学.dpz 已存在，要替换吗？"));
        QVERIFY(readAll(lesson) != before);
        QCOMPARE(window->document(0).packagePath, lesson);
    }

    // A re-export over twelve earlier pages, cancelled half-way: every
    // earlier page is still there, byte for byte, and nothing else is.
    void cancelledPngReexportKeepsTheEarlierExport()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("十二页.pdf"));
        QVERIFY(TestUtil::writePdf(pdf, QList<QSizeF>(12, QSizeF(1500, 1500))));
        auto window = openWindow(pdf);
        const QString folder = m_dir.filePath(QStringLiteral("pages"));
        QVERIFY(QDir().mkpath(folder));
        PendingAnswers pending;
        pending << answerSaveAs(2, folder + QStringLiteral("/课"));
        QVERIFY(window->saveAs(0));
        // The real first file: with 12 pages it is "-01".
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已导出 12 张 PNG：课-01.png …"));
        const QStringList earlier = filesIn(folder);
        QCOMPARE(earlier.size(), 12);
        QList<QByteArray> bytes;
        for (const QString &name : earlier)
            bytes.append(readAll(folder + QLatin1Char('/') + name));

        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas(), 0.5));
        QString asked;
        pending << answerSaveAs(2, folder + QStringLiteral("/课"));
        pending << answerReplace(QStringLiteral("替换"), &asked);
        int doneWhenCancelled = -1;
        pending << whileExporting([&doneWhenCancelled](ExportProgress *progress) {
            if (progress->progressBar()->value() < 4)
                return false;
            doneWhenCancelled = progress->progressBar()->value();
            QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
            return true;
        });
        QVERIFY(!window->saveAs(0));
        QCOMPARE(asked, QStringLiteral("课-01.png 等 12 个文件 已存在，要替换吗？"));
        QVERIFY2(doneWhenCancelled >= 4 && doneWhenCancelled < 12, qPrintable(QString::number(doneWhenCancelled)));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("导出已取消"));
        QCOMPARE(filesIn(folder), earlier);
        for (int i = 0; i < earlier.size(); ++i)
            QVERIFY2(readAll(folder + QLatin1Char('/') + earlier.at(i)) == bytes.at(i), qPrintable(earlier.at(i)));
    }

    // A Word document double-clicked while an export runs: a second real
    // process forwards it, the export finishes, and only then is the
    // teacher asked how to open it (never a question no one can answer).
    void forwardedOpenWaitsForTheExport()
    {
        QVERIFY(setWordOpenMode(0));
        // Page images: the export that runs long enough to show its box.
        QVERIFY(setPdfExportMode(1));
        const auto keepOriginal = qScopeGuard([] { setPdfExportMode(0); });
        const QString pdf = m_dir.filePath(QStringLiteral("长课.pdf"));
        QVERIFY(TestUtil::writePdf(pdf, QList<QSizeF>(6, QSizeF(1500, 1500))));
        const QString docx = m_dir.filePath(QStringLiteral("通知.docx"));
        QFile word(docx);
        QVERIFY(word.open(QIODevice::WriteOnly) && word.write("PK\x03\x04") == 4);
        word.close();
        auto window = openWindow(pdf);
        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas()));
        SingleInstanceServer server(window.get());
        connect(&server, &SingleInstanceServer::openRequested, window.get(), &MainWindow::openPath);
        QVERIFY(server.listen());

        const QString target = m_dir.filePath(QStringLiteral("长课-已批注.pdf"));
        bool forwarded = false;
        bool askedDuringExport = true;
        PendingAnswers pending;
        pending << answerSaveAs(1, target);
        pending << whileExporting([&](ExportProgress *progress) {
            // The export cannot end while this runs: the open arrives mid-way.
            QProcess second;
            second.start(TestUtil::lecternBinary(), {docx});
            forwarded = second.waitForFinished(60000) && second.exitCode() == 0;
            const bool held = QTest::qWaitFor([&] {
                return window->statusBar()->currentMessage() == QStringLiteral("导出完成后打开 通知.docx");
            }, 10000);
            askedDuringExport = !held || QApplication::activeModalWidget() != progress;
            return true;
        });
        QString question;
        pending << onNextModal<WordQuestion>([&question](WordQuestion *box) {
            question = box->findChild<QLabel *>()->text();
            box->reject();
        });
        QVERIFY(window->saveAs(0));
        QVERIFY(forwarded);
        QVERIFY(!askedDuringExport);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已注入 PDF 长课-已批注.pdf"));
        QPdfDocument written;
        written.load(target);
        QCOMPARE(written.pageCount(), 6);
        QTRY_COMPARE(question, QStringLiteral("「通知.docx」要如何打开？"));
        QCOMPARE(window->documentCount(), 1);
    }
};

QTEST_MAIN(TestExportSaveAs)
#include "tst_export_saveas.moc"
