#pragma once

#include "docs/pdfexport.h"

#include <QProgressDialog>

// The progress of an export started from the window: "正在导出 第 %1 / %2 页"
// with a cancel button. Shown at once for more than a few pages, and for a
// short export that still runs after a moment. While it exists the rest of
// the program takes no user input (the export keeps the document it reads
// and the window keeps repainting), so nothing can close the document
// under the export.
class ExportProgress : public QProgressDialog, public ExportMonitor
{
    Q_OBJECT
public:
    static constexpr int kFewPages = 3;
    static constexpr int kShowLateMs = 800;

    ExportProgress(QWidget *parent, int pageCount);
    ~ExportProgress() override;

    void progress(int done, int total) override;
    bool cancelRequested() const override { return m_cancelled; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showNow();
    int m_total = 0;
    bool m_cancelled = false;
};
