// Save as through the real dialog: the three kinds with their proposed
// names, the refusals and failures, and a cancel in the progress dialog.
#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QPdfDocument>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

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
void answerSaveAs(int index, const QString &target, QStringList *proposals = nullptr)
{
    onNextModal<QFileDialog>([index, target, proposals](QFileDialog *dialog) {
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
        // Large pages make every page take a while, so the cancel lands mid-way.
        const QString pdf = m_dir.filePath(QStringLiteral("big.pdf"));
        QVERIFY(TestUtil::writePdf(pdf, QList<QSizeF>(5, QSizeF(3000, 3000))));
        auto window = openWindow(pdf);
        QVERIFY(TestUtil::drawMouseStroke(window->currentCanvas()));
        const QString folder = m_dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(folder));

        answerSaveAs(1, folder + QStringLiteral("/big.pdf"));
        QString label;
        onNextModal<QProgressDialog>([&label](QProgressDialog *progress) {
            label = progress->labelText();
            if (auto *cancel = progress->findChild<QPushButton *>())
                QTest::mouseClick(cancel, Qt::LeftButton);
        });
        QVERIFY(!window->saveAs(0));
        QVERIFY2(label.startsWith(QStringLiteral("正在导出 第 ")) && label.endsWith(QStringLiteral(" / 5 页")),
                 qPrintable(label));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("导出已取消"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(window->document(0).dirty);
    }
};

QTEST_MAIN(TestExportSaveAs)
#include "tst_export_saveas.moc"
