#pragma once

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;
class QVBoxLayout;
class RecentRow;

// The first page: a greeting by the time of day, a classical quotation, the
// large open button and the recently opened files. It opens nothing itself;
// the main window answers its two signals.
class HomePage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kGreetingRefreshMs = 60000;
    // When the recent list is first built: at once, or once the page shows
    // (a start that opens a file never needs it).
    enum class RecentList { Now, WhenShown };

    explicit HomePage(QWidget *parent = nullptr, RecentList recent = RecentList::Now);

    // Greeting, recent list and a new quotation (each time the page is
    // shown); before the window is up the list waits for the page to show.
    void refresh();
    void refreshGreeting();
    void rebuildRecent();
    // Rebuilds the style sheet from the theme.
    void applyTheme();

    // The local time the greeting is chosen by (tests set a fixed clock).
    void setClock(std::function<QDateTime()> clock);
    static QString greetingText(int hour, const QString &name);

    QPushButton *openButton() const { return m_primary; }
    QPushButton *clearButton() const { return m_clear; }
    QPushButton *boardButton() const { return m_board; }
    QLabel *greetingLabel() const { return m_greeting; }
    QLabel *quoteLabel() const { return m_quote; }
    QList<RecentRow *> rows() const;

signals:
    void openRequested();
    void newBoardRequested();
    void openPathRequested(const QString &path);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    // While a tap waits for its file, any other press or key drops it.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void openRow(const QString &path);
    void actOnRow(const QString &path, bool exists);
    void askRemoveMissing(const QString &path);
    void removeEntry(const QString &path);
    void clearAll();
    void pickQuote();
    void onChecked(const QString &path, bool exists);
    void setPendingOpen(const QString &path);
    bool isOnPendingRow(const QPointF &globalPos) const;
    void updateColumnWidth();

    std::function<QDateTime()> m_clock;
    QWidget *m_body = nullptr;
    QWidget *m_column = nullptr;
    QLabel *m_greeting = nullptr;
    QLabel *m_quote = nullptr;
    QPushButton *m_primary = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_board = nullptr;
    QFrame *m_card = nullptr;
    QVBoxLayout *m_list = nullptr;
    QTimer *m_greetingTimer = nullptr;
    // A tap on a row whose file is still being looked for opens (or asks)
    // once the answer comes, unless the teacher has moved on meanwhile.
    QString m_pendingOpen;
    bool m_recentStale = true;
};
