#pragma once

#include <QWidget>

class QHBoxLayout;
class QPushButton;
class QTabBar;

// A plain tab strip with the interface of the document tabs: one tab per
// open document, a "+" button, home and settings chips and a trailing widget.
class DocumentTabStrip : public QWidget
{
    Q_OBJECT
public:
    explicit DocumentTabStrip(QWidget *parent = nullptr);

    int addTab(const QString &title);
    void removeTab(int index);
    void setTabTitle(int index, const QString &title);
    QString tabTitle(int index) const;
    void setCurrentIndex(int index);
    int currentIndex() const;
    int count() const;
    void setHomeActive(bool active);
    void setSettingsActive(bool active);
    bool homeActive() const { return m_homeActive; }
    bool settingsActive() const { return m_settingsActive; }
    void setTrailingWidget(QWidget *widget);

signals:
    void currentChanged(int index);
    void closeRequested(int index);
    void addRequested();
    void settingsRequested();
    void homeRequested();

private:
    QTabBar *m_bar = nullptr;
    QHBoxLayout *m_layout = nullptr;
    QPushButton *m_home = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_settings = nullptr;
    QWidget *m_trailing = nullptr;
    bool m_homeActive = false;
    bool m_settingsActive = false;
};
