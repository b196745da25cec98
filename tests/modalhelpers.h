#pragma once

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <functional>

// Answering the program's modal dialogs from a test. Every answer comes with
// a watchdog: a dialog still open seconds later is closed with a warning, so
// an answer that did not take fails the test instead of hanging it.
namespace TestUtil {

constexpr int kModalWatchdogMs = 5000;

// Closes every modal window still open (innermost first).
inline void closeStrayModals()
{
    while (QWidget *modal = QApplication::activeModalWidget()) {
        qWarning("closing a modal window the test left open: %s",
                 qPrintable(modal->windowTitle()));
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
}

// Runs act on the next modal widget of type T once its event loop runs.
template <typename T>
QTimer *onNextModal(std::function<void(T *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        auto *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!widget)
            return;
        timer->stop();
        timer->deleteLater();
        const QPointer<QWidget> answered(widget);
        act(widget);
        QTimer::singleShot(kModalWatchdogMs, [answered] {
            if (answered && answered->isVisible())
                closeStrayModals();
        });
    });
    timer->start();
    return timer;
}

// Chooses path in a file dialog and accepts it. selectFile() is not enough:
// it leaves the name field alone while that has focus, and the folder model
// may not list a file made a moment ago, so accept() would see no selection.
inline void chooseFile(QFileDialog *dialog, const QString &path)
{
    if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        edit->setText(path);
    else
        dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept");
}

} // namespace TestUtil
