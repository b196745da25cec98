#pragma once

#include "files/pdfexport.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress of an export started from the window: "正在导出 第 %1 / %2 页"
// with a "取消" button a finger can hit. Shown at once for more than a few
// pages, and for a short export that still runs after a moment. While it
// exists the rest of the program takes no user input and no window closes
// (the export keeps the document it reads and the window keeps repainting),
// so nothing can close the document under the export; the window holds
// back every open that arrives meanwhile until the export is over.
class ExportProgress : public QDialog, public ExportMonitor
{
    Q_OBJECT
public:
    static constexpr int kFewPages = 3;
    static constexpr int kShowLateMs = 800;

    // quick: the work takes moments whatever the page count (the PDF that
    // keeps the original), so the box appears only if it still runs late.
    ExportProgress(QWidget *parent, int pageCount, bool quick = false);
    ~ExportProgress() override;

    void progress(int done, int total) override;
    bool cancelRequested() const override { return m_cancelled; }

    QString labelText() const;
    QPushButton *cancelButton() const { return m_cancel; }
    QProgressBar *progressBar() const { return m_bar; }

public slots:
    // "取消", Escape or the window's close button: the export stops after
    // the page in hand; the box stays until it has.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showNow();

    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_cancel = nullptr;
    int m_total = 0;
    bool m_cancelled = false;
};
