// Closing: a tab, the current lesson, the window; unsaved ink is asked about
// first.
#include "app/mainwindow.h"

#include "app/choicebox.h"
#include "app/documentwriter.h"
#include "app/documenttabstrip.h"
#include "app/sourceguard.h"
#include "app/wordconversion.h"
#include "canvas/pdfcanvas.h"
#include "files/workingcopy.h"
#include "system/crashreport.h"
#include "system/diaglog.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>

MainWindow::CloseChoice MainWindow::askCloseChoice(int index)
{
    QMessageBox box(this);
    // Discarding also drops what came back from the working copy: the
    // teacher must know before choosing.
    const QString question = m_docs.at(index).restoredInk
        ? QStringLiteral("关闭前要保存吗？选择「舍弃」会连同上次恢复的批注一起删除。")
        : QStringLiteral("关闭前要保存吗？");
    setUpChoiceBox(box, QStringLiteral("closePrompt"), QMessageBox::Question, QStringLiteral("未保存的批注"),
                   QStringLiteral("「%1」有未保存的批注。").arg(m_docs.at(index).displayName), question);
    QPushButton *save = box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton *saveAs = box.addButton(QStringLiteral("另存为"), QMessageBox::ActionRole);
    QPushButton *discard = box.addButton(QStringLiteral("舍弃"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    execForTouch(box);
    QAbstractButton *clicked = box.clickedButton();
    if (clicked == save)
        return CloseChoice::Save;
    if (clicked == saveAs)
        return CloseChoice::SaveAs;
    if (clicked == discard)
        return CloseChoice::Discard;
    return CloseChoice::Cancel;
}

bool MainWindow::confirmClose(int index)
{
    if (!m_docs.at(index).dirty)
        return true;
    switch (askCloseChoice(index)) {
    case CloseChoice::Save:
        return save(index);
    case CloseChoice::SaveAs:
        return saveAs(index);
    case CloseChoice::Discard:
        m_writer->discard(m_canvases.at(index));
        return true;
    case CloseChoice::Cancel:
        break;
    }
    return false;
}

void MainWindow::onCloseCurrent()
{
    const int index = currentIndex();
    if (index >= 0)
        onTabCloseRequested(index);
}

void MainWindow::onTabCloseRequested(int index)
{
    if (index < 0 || index >= m_docs.size())
        return;
    finishTransition();
    if (!confirmClose(index))
        return;
    removeDocument(index);
}

void MainWindow::removeDocument(int index)
{
    finishTransition();
    PdfCanvas *closed = m_canvases.at(index);
    // Ink the teacher kept (not discarded) reaches its working copy first.
    m_writer->flush(closed);
    m_writer->untrack(closed);
    m_guard->untrack(closed);
    // Saved or discarded: the pages made here go with the tab.
    dropPageRecord(index);

    const bool pageInFront = m_homeShowing || m_settingsShowing;
    const bool wasCurrent = closed == m_current;
    m_closeDirection = wasCurrent && !pageInFront ? (index < m_canvases.size() - 1 ? 1 : -1) : 0;
    m_canvases.removeAt(index);
    m_docs.removeAt(index);
    m_lastRender.remove(closed);
    {
        // With a page in front the strip's own current change must not pull
        // a canvas forward; the current canvas changes silently below.
        const QSignalBlocker quiet(pageInFront ? m_tabs : nullptr);
        m_tabs->removeTab(index);
    }
    m_closeDirection = 0;

    if (!m_canvases.isEmpty() && wasCurrent) {
        const int next = qMin(index, int(m_canvases.size()) - 1);
        if (pageInFront) {
            m_current = m_canvases.at(next);
        } else {
            if (m_tabs->currentIndex() != next)
                m_tabs->setCurrentIndex(next);
            if (m_current != m_canvases.at(next))
                onTabCurrentChanged(next);
        }
    }
    if (m_canvases.isEmpty()) {
        m_current = nullptr;
        // The home page comes in while the closed document is still in
        // front: removed first, the stack would put the settings page there
        // and the transition would slide that away instead.
        if (!m_settingsShowing)
            showHomePage();
    }
    m_stack->removeWidget(closed);
    if (m_bound == closed)
        bind(nullptr);
    if (m_canvases.isEmpty())
        closed->closeDocument();
    delete closed;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    for (int i = 0; i < m_docs.size(); ++i) {
        if (!confirmClose(i)) {
            event->ignore();
            return;
        }
    }
    // A conversion still running would only open a tab nobody sees.
    m_conversions->cancelAll();
    // Every document the teacher kept has its newest ink in its working copy.
    for (PdfCanvas *canvas : std::as_const(m_canvases))
        m_writer->flush(canvas);
    for (int i = 0; i < m_docs.size(); ++i)
        dropPageRecord(i);
    event->accept();
}
