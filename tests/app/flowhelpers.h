#pragma once

// What the flow tests share: answering the window's dialogs through their
// widgets, a fresh folder of lessons per test, and reading what was written.
#include "app/mainwindow.h"
#include "files/workingcopy.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace FlowHelpers {

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void clickButton(QMessageBox *box, const QString &text)
{
    const QList<QAbstractButton *> buttons = box->buttons();
    for (QAbstractButton *button : buttons) {
        if (button->text() == text) {
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    }
    box->reject();
}

// Answers the next close prompt with choice and remembers what it said.
inline void answerClosePrompt(const QString &choice, QStringList *seen = nullptr)
{
    TestUtil::onNextModal<QMessageBox>([choice, seen](QMessageBox *box) {
        if (seen) {
            QStringList labels;
            for (QAbstractButton *button : box->buttons())
                labels << button->text();
            labels.sort();
            *seen << box->windowTitle() << box->text() << labels.join(QLatin1Char(','));
        }
        clickButton(box, choice);
    });
}

// Answers the next save dialog with target and remembers its proposal.
inline void answerSaveDialog(const QString &target, QString *proposed = nullptr)
{
    TestUtil::onNextModal<QFileDialog>([target, proposed](QFileDialog *dialog) {
        if (proposed)
            *proposed = dialog->selectedFiles().value(0);
        if (target.isEmpty()) {
            dialog->reject();
            return;
        }
        TestUtil::chooseFile(dialog, target);
    });
}

// Answers the next save dialog with target under the given filter, and
// says yes when the dialog asks before replacing a file; returns the
// watcher for that question, to stop when none came.
inline QPointer<QTimer> answerSaveAsFilter(const QString &filter, const QString &target)
{
    TestUtil::onNextModal<QFileDialog>([filter, target](QFileDialog *dialog) {
        dialog->selectNameFilter(filter);
        TestUtil::chooseFile(dialog, target);
    });
    return TestUtil::onNextModal<QMessageBox>([](QMessageBox *box) {
        if (QAbstractButton *yes = box->button(QMessageBox::Yes))
            QTest::mouseClick(yes, Qt::LeftButton);
        else
            box->accept();
    });
}

// Pixels of a page that show the default red ink.
inline int redPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 110 && c.blue() < 110)
                ++count;
        }
    }
    return count;
}

inline QString tempRoot()
{
    return QDir::tempPath() + QStringLiteral("/flows");
}

} // namespace FlowHelpers

// The windows and lessons of one flow test.
class FlowFixture
{
protected:
    std::unique_ptr<MainWindow> newWindow()
    {
        auto window = std::make_unique<MainWindow>();
        window->resize(900, 700);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("window not exposed");
        return window;
    }

    QString makePdf(const QString &name, int pages = 2)
    {
        const QString path = m_dir->filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!TestUtil::writeA4Pdf(path, pages, name))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

    // One mouse stroke across the current canvas's first page.
    void drawStroke(MainWindow &window, double y = 0.2)
    {
        QVERIFY(TestUtil::drawMouseStroke(window.currentCanvas(), y));
    }

    // A fresh lesson folder below an emptied temp root, with no derived
    // files or working copies left from the test before.
    void resetFolders()
    {
        QDir(FlowHelpers::tempRoot()).removeRecursively();
        QDir(tempFolder()).removeRecursively();
        QDir(workingCopyFolder()).removeRecursively();
        QDir().mkpath(FlowHelpers::tempRoot());
        m_dir = std::make_unique<QTemporaryDir>(FlowHelpers::tempRoot() + QStringLiteral("/XXXXXX"));
        QVERIFY(m_dir->isValid());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};
