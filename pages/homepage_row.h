#pragma once

#include <QFrame>
#include <QLabel>

#include <functional>

class QPushButton;

// A label that shows its text on one line, elided in the middle to the
// width it is given (a file name may be any length).
class ElidedLabel : public QLabel
{
public:
    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// One entry of the home page's recent list: file name, folder, the missing
// note when the file is not there, and the "移除" button. A press and release
// of the left button inside the row opens it.
class RecentRow : public QFrame
{
    Q_OBJECT
public:
    RecentRow(const QString &path, bool missing, std::function<void()> open, std::function<void()> remove,
              QWidget *parent = nullptr);

    QString path() const { return m_path; }
    bool isMissing() const { return m_missing; }
    // A late answer of the existence check restyles the row.
    void setMissing(bool missing);
    // A tap taken while the file is still being looked for.
    void setWaiting(bool waiting);
    bool isWaiting() const { return m_waiting; }
    QPushButton *removeButton() const { return m_remove; }

    // Text fit to show: control characters (a newline in a hand-edited
    // settings file) become visible marks and very long text is shortened.
    static QString displayText(const QString &text, int maxChars);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // A double click is one tap: its second click opens nothing again.
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void restyle();

    QString m_path;
    bool m_missing = false;
    bool m_waiting = false;
    bool m_pressed = false;
    std::function<void()> m_open;
    ElidedLabel *m_name = nullptr;
    QLabel *m_dir = nullptr;
    QLabel *m_note = nullptr;
    QPushButton *m_remove = nullptr;
};
