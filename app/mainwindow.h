#pragma once

#include <QMainWindow>

// The program's main window. For now it only reports what it was asked to open.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

public slots:
    void openPath(const QString &path);
};
