#pragma once

#include <QWidget>

class QPushButton;

// Home page placeholder: the open button; the recent list comes later.
class HomePage : public QWidget
{
    Q_OBJECT
public:
    explicit HomePage(QWidget *parent = nullptr);
    void refreshRecent();
    QPushButton *openButton() const { return m_open; }

signals:
    void openRequested();
    void openPathRequested(const QString &path);

private:
    QPushButton *m_open = nullptr;
};
