#include "app/selftestreport.h"

#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QWidget>

#include <cstdio>

namespace {

void printLine(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

SelfTestReport::SelfTestReport(const QString &area)
    : m_area(area)
{
}

bool SelfTestReport::check(bool ok, const QString &what, const QString &detail)
{
    ++m_checks;
    if (!ok)
        ++m_failures;
    printLine(QStringLiteral("%1 %2: %3%4")
                  .arg(ok ? QStringLiteral("PASS") : QStringLiteral("FAIL"), m_area, what,
                       detail.isEmpty() ? QString() : QStringLiteral("（%1）").arg(detail)));
    return ok;
}

void SelfTestReport::note(const QString &text)
{
    printLine(QStringLiteral("%1: %2").arg(m_area, text));
}

int SelfTestReport::finish()
{
    if (m_checks == 0)
        check(false, QStringLiteral("没有做任何检查"));
    printLine(QStringLiteral("%1: %2 项检查，%3 项未通过").arg(m_area).arg(m_checks).arg(m_failures));
    return m_failures == 0 ? 0 : 1;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool writeSelfTestPdf(const QString &path, int pageCount, const QSizeF &sizePt, const QColor &fill)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF());
    writer.setPageSize(QPageSize(sizePt, QPageSize::Point));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    for (int page = 0; page < pageCount; ++page) {
        if (page > 0)
            writer.newPage();
        const QRectF sheet(QPointF(), sizePt);
        painter.fillRect(sheet.adjusted(-2, -2, 2, 2), fill);
    }
    return painter.end();
}

QString saveScreenshot(QWidget *widget, const QString &folder, const QString &name)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return QString();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    return widget->grab().save(path) ? path : QString();
}

PdfCanvas *openAndShow(MainWindow *window, const QString &path, SelfTestReport *report)
{
    window->show();
    window->openPath(path);
    PdfCanvas *canvas = window->documentCount() == 1 ? window->canvas(0) : nullptr;
    const bool shown = canvas && waitUntil([window, canvas] {
        const QRectF page = canvas->pageRect(canvas->currentPage());
        return !window->isTransitionRunning() && canvas->isVisible() && !page.isEmpty()
            && QRectF(canvas->viewport()->rect()).intersects(page);
    }, 10000);
    report->check(shown, QStringLiteral("打开并显示 %1").arg(QFileInfo(path).fileName()),
                  canvas ? QStringLiteral("%1 页").arg(canvas->pageCount()) : QString());
    return shown ? canvas : nullptr;
}

PdfCanvas *openFilledPdf(MainWindow *window, const QString &path, int pageCount, const QColor &fill,
                         SelfTestReport *report)
{
    if (!writeSelfTestPdf(path, pageCount, QSizeF(595, 842), fill)) {
        report->check(false, QStringLiteral("写出测试 PDF"), path);
        return nullptr;
    }
    return openAndShow(window, path, report);
}
