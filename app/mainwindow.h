#pragma once

#include <QMainWindow>

class QStackedWidget;

// The program's main window: one canvas per opened PDF in a page stack.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

public slots:
    void openPath(const QString &path);

private:
    QStackedWidget *m_stack = nullptr;
};
