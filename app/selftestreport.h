#pragma once

#include <QString>

#include <functional>

class MainWindow;
class PdfCanvas;
class QColor;
class QSizeF;
class QWidget;

// The PASS/FAIL lines of one area self-test ("PASS ink: …") and its exit
// code. Lines go to standard output at once, so a technician watching a
// slow check sees how far it got.
class SelfTestReport
{
public:
    explicit SelfTestReport(const QString &area);

    // One check: a PASS or FAIL line naming what was checked; detail (the
    // figures) follows in parentheses. Returns ok.
    bool check(bool ok, const QString &what, const QString &detail = QString());
    // A line that is no verdict ("ink: screen 1920x1080 @2").
    void note(const QString &text);
    // The closing line and the exit code: 0 when every check passed and
    // there was at least one.
    int finish();
    int failures() const { return m_failures; }

private:
    QString m_area;
    int m_checks = 0;
    int m_failures = 0;
};

// Runs the event loop until done() holds or timeoutMs pass; done()'s last answer.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
// A PDF of pageCount pages of sizePt points, each filled edge to edge with
// fill, so any seam or gap shows on screen.
bool writeSelfTestPdf(const QString &path, int pageCount, const QSizeF &sizePt, const QColor &fill);
// Saves widget's picture as folder/name.png when folder is set; the path or an empty string.
QString saveScreenshot(QWidget *widget, const QString &folder, const QString &name);
// Shows window, opens path in it and waits until the page transition is
// over and the first page lies in the viewport; reports it as one check.
// The canvas, or null when it did not show.
PdfCanvas *openAndShow(MainWindow *window, const QString &path, SelfTestReport *report);
// Writes an A4 PDF of pageCount filled pages to path (see writeSelfTestPdf)
// and opens it as openAndShow does; a failed write is reported too.
PdfCanvas *openFilledPdf(MainWindow *window, const QString &path, int pageCount, const QColor &fill,
                         SelfTestReport *report);
