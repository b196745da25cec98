#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include "files/boardstore.h"
#include "files/package.h"
#include "files/workingcopy.h"

#include <QMainWindow>
#include <QPointF>
#include <QPointer>
#include <QSize>

#include <functional>
#include <memory>

class DocumentTabs;
class HomePage;
class PageTransitionLayer;
class PdfCanvas;
class QLabel;
class QMimeData;
class QPushButton;
class QStackedWidget;
class QTimer;
class QVariantAnimation;
class SettingsPage;
class SourceGuard;
class WorkingCopyWriter;
class WordConversions;
struct WordConversionResult;
class ZoomBar;

// One per tab, parallel to the list of canvases and the tabs.
struct OpenDocument
{
    QString packagePath;
    QString wordSourcePath; // the office document converted: Word, presentation or other text
    QString imageSourcePath;
    QString pdfPath;
    QString displayName;
    bool dirty = false;
    // The package failed its checks when opened: the first save asks
    // before writing over it.
    bool damagedPackage = false;
    // Holds ink restored from a working copy that no save has kept yet:
    // discarding drops it too, and the close question says so.
    bool restoredInk = false;
    // The last write of the working copy failed: this lesson's ink is not
    // protected against a crash until a write succeeds again.
    bool unprotected = false;
    // Pages made here (a board, or a lesson with inserted pages): their
    // record in the state folder (empty id: none).
    PageRecord record;
    int nextRevision = 1;
};

// The program's only top-level window: page stack with the home page, the
// settings page and one canvas per open document, the tab strip, the status
// bar, and every document flow (open, save, save as, close, drop).
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    enum class CloseChoice { Save, SaveAs, Discard, Cancel };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    bool save(int index);
    bool saveAs(int index);

    // Read access for the status bar's owner and for tests.
    int documentCount() const { return int(m_docs.size()); }
    const OpenDocument &document(int index) const { return m_docs.at(index); }
    PdfCanvas *canvas(int index) const { return m_canvases.value(index); }
    PdfCanvas *currentCanvas() const { return m_current; }
    int currentIndex() const;
    DocumentTabs *tabStrip() const { return m_tabs; }
    ZoomBar *zoomBar() const { return m_zoomBar; }
    HomePage *homePage() const { return m_home; }
    // Built on first use.
    SettingsPage *settingsPage();
    QStackedWidget *pageStack() const { return m_stack; }
    bool homeShowing() const { return m_homeShowing; }
    bool settingsShowing() const { return m_settingsShowing; }
    WorkingCopyWriter *workingCopyWriter() const { return m_writer; }
    SourceGuard *sourceGuard() const { return m_guard; }
    WordConversions *wordConversions() const { return m_conversions; }
    QLabel *pageLabel() const { return m_pageLabel; }
    QLabel *renderLabel() const { return m_renderLabel; }
    QLabel *strokesLabel() const { return m_strokesLabel; }
    QLabel *memoryLabel() const { return m_memLabel; }
    // Shown while the current lesson's working copy cannot be written.
    QLabel *unprotectedLabel() const { return m_unprotectedLabel; }
    QPushButton *fullscreenExitButton() const { return m_exitButton; }
    // Canvases out of sight still to take the theme applied last.
    int canvasesAwaitingTheme() const { return int(m_unstyled.size()); }
    // Boards and blank pages (mainwindow_boards.cpp). Each false, after
    // telling the teacher, when nothing changed.
    bool newBoard(const BoardStyle &style);
    bool addBoardPage(int index);
    // Puts the page in on a worker thread (a big book takes seconds); the
    // canvas shows it when pageInsertFinished comes. One at a time.
    bool insertBlankPage(int index, int afterPage, const BoardStyle &style);
    bool isInsertingPage() const { return m_insert != nullptr; }
    // Brings back the boards and edited lessons a crash left unsaved.
    void restoreUnsavedPages();
    // Guarded zoom of the current canvas (the zoom bar's request).
    void requestZoom(double zoom);

    // Where start-up time went, for the open benchmark: the pages built in
    // the constructor, and the last open's canvas and PDF load (ns).
    struct OpenSteps
    {
        qint64 canvasNs = 0;
        qint64 loadNs = 0;
    };
    qint64 pagesBuildNs() const { return m_pagesBuildNs; }
    OpenSteps lastOpenSteps() const { return m_lastOpenSteps; }

    // Page transitions (mainwindow_transition.cpp). Ends any running
    // transition at once; safe when none runs.
    void finishTransition();
    bool isTransitionRunning() const { return m_transition.running; }
    int transitionKind() const { return m_transition.kind; }
    int transitionDirection() const { return m_transition.direction; }
    PageTransitionLayer *transitionLayer() const { return m_transitionLayer; }
    QVariantAnimation *transitionAnimation() const { return m_transitionAnimation; }

public slots:
    void openPath(const QString &path);
    // "新建白板": the card, then a board of the chosen kind.
    void chooseNewBoard();
    void onOpen();
    void onSave();
    void onSaveAs();
    void onSettings();
    void onFullscreen();
    void onTabCurrentChanged(int index);
    void onTabCloseRequested(int index);
    void onCloseCurrent();
    void onPageChanged(int page, int count);
    void onRenderMeasured(qlonglong ms, QSize size);
    void onInkChanged(int strokes);
    void updateMemLabel();
    void applyTheme();
    void onSystemColorSchemeChanged();
    void showHomePage();
    void showSettingsPage();

signals:
    void pageInsertFinished(bool ok);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Kind { Pdf, Package, Office, Image };
    struct LastRender
    {
        qlonglong ms = 0;
        QSize size;
    };

    // Window (mainwindow.cpp).
    void buildStatusBar();
    void buildShortcuts();
    void placeInitialGeometry();
    void bind(PdfCanvas *canvas);
    void refreshTitle();
    void markDirty(PdfCanvas *canvas);
    void markClean(int index);
    void wireCanvas(PdfCanvas *canvas);
    void refreshOpenTempFiles();

    // Working copies and the sources under them (mainwindow_safety.cpp).
    void onWorkingCopyWritten(PdfCanvas *canvas, bool ok, const QString &error, bool sourceMatched);
    void onOriginalChanged(PdfCanvas *canvas, bool vanished);
    void refreshProtection();

    // Theme (mainwindow_theme.cpp).
    void restyleComponents();
    void restyleNextHidden();
    void restyleCanvasNow(PdfCanvas *canvas);

    // Keys, full screen, drops and the idle islands (mainwindow_input.cpp).
    void placeExitButton();
    void onToolbarIdle();
    bool isOnInkToolbar(const QWidget *widget) const;
    void wakeToolbars();
    static QString firstDroppablePath(const QMimeData *mime);

    // Transitions (mainwindow_transition.cpp). direction 0: the close hint
    // or the tab order decides.
    void buildTransition();
    void transitionTo(QWidget *page, PdfCanvas *previous, int direction = 0);
    void setProgress(double t);
    bool isPageWidget(const QWidget *widget) const;
    void refreshZoomBar();

    // Flows (mainwindow_flows.cpp).
    int findOpen(const QString &path, Kind kind) const;
    // The load step every kind ends in, once its PDF is at doc.pdfPath:
    // canvas, restore, recent list, record and tab.
    void loadDocument(const QString &path, Kind kind, OpenDocument doc, const QJsonObject &packageInk,
                      const QList<PackageDamage> &damage, const QElapsedTimer &clock);
    // Word documents, presentations and other text: converted, then loaded.
    void openOfficeDocument(const QString &path, const QElapsedTimer &clock);
    // "用 Word 打开": the desktop's default program, unless that is this one.
    void handWordDocumentOver(const QString &path);
    void onWordConverted(const WordConversionResult &result);
    bool confirmClose(int index);
    void removeDocument(int index);
    CloseChoice askCloseChoice(int index);
    void showSaveFailure(const QString &message);
    // The document just appended to the lists: its tab, in front.
    void showAddedDocument(PdfCanvas *canvas, const QString &statusText, int statusTimeout);
    void restorePackageWorkingCopy(PdfCanvas *canvas, const QString &packagePath,
                                   const QJsonObject &fingerprint, RestoreResult *result);
    enum class DamagedChoice { SaveAs, Overwrite, Cancel };
    DamagedChoice askOverwriteDamaged(int index);
    // The PDF bytes the ink of document index belongs to; false, after
    // telling the teacher, when they cannot be had.
    bool readInkPdf(int index, QByteArray *bytes);
    // Another document than except whose files include path, or -1.
    int openElsewhere(const QString &path, int except) const;

    // Boards and blank pages (mainwindow_boards.cpp).
    bool loadRecord(const PageRecord &record, bool restoring);
    void onPagesReplaced(PdfCanvas *canvas, const QString &pdfPath);
    void onAddPageRequested(PdfCanvas *canvas);
    void onInsertPageRequested(PdfCanvas *canvas, int afterPage);
    void finishBlankPageInsert();
    QString nextBoardName() const;
    // The record of document index goes with its tab (saved or discarded).
    void dropPageRecord(int index);
    // A package now holds the pages as they stand.
    void notePagesSaved(int index, const QString &packagePath);

    // Save as (mainwindow_saveas.cpp).
    enum class SaveKind { Package, Pdf, Png };
    bool askSaveAsTarget(int index, QString *target, SaveKind *kind);
    bool saveAsPackage(int index, const QString &target);
    bool injectPdf(int index, const QString &target);
    bool exportPng(int index, const QString &target);
    bool confirmReplace(const QString &existing);
    // While an export runs its progress box holds the window: opens that
    // arrive meanwhile (a forwarded double click, a finished conversion)
    // would show questions no one could answer, so they wait for its end.
    void deferUntilExported(std::function<void()> step);
    void runDeferredSteps();

    QStackedWidget *m_stack = nullptr;
    struct TransitionState
    {
        int kind = 0;      // 0 none, 1 vertical, 2 horizontal
        int direction = 0; // +1: the incoming page enters from the right
        int span = 0;
        int sink = 0;
        bool running = false;
        double pictureRatio = 1.0;
    };

    DocumentTabs *m_tabs = nullptr;
    ZoomBar *m_zoomBar = nullptr;
    PageTransitionLayer *m_transitionLayer = nullptr;
    QVariantAnimation *m_transitionAnimation = nullptr;
    TransitionState m_transition;
    HomePage *m_home = nullptr;
    SettingsPage *m_settings = nullptr;
    QLabel *m_pageLabel = nullptr;
    QLabel *m_renderLabel = nullptr;
    QLabel *m_strokesLabel = nullptr;
    QLabel *m_memLabel = nullptr;
    QLabel *m_unprotectedLabel = nullptr;
    QPushButton *m_exitButton = nullptr;
    QTimer *m_memTimer = nullptr;
    QTimer *m_idleTimer = nullptr;
    QTimer *m_tempTimer = nullptr;
    QTimer *m_restyleTimer = nullptr;
    WorkingCopyWriter *m_writer = nullptr;
    SourceGuard *m_guard = nullptr;
    WordConversions *m_conversions = nullptr;

    QList<PdfCanvas *> m_canvases;
    // Canvases out of sight that have not yet taken the current theme.
    QList<QPointer<PdfCanvas>> m_unstyled;
    QList<OpenDocument> m_docs;
    QHash<PdfCanvas *, LastRender> m_lastRender;
    qint64 m_pagesBuildNs = 0;
    OpenSteps m_lastOpenSteps;
    PdfCanvas *m_current = nullptr;
    QPointer<PdfCanvas> m_bound;
    QList<QMetaObject::Connection> m_boundConnections;
    bool m_homeShowing = false;
    bool m_settingsShowing = false;
    bool m_wasMaximized = false;
    int m_zoomDepth = 0;
    int m_closeDirection = 0;
    // The newest press on the window, any device: a canvas it brings to the
    // front learns where its second tap would land.
    QElapsedTimer m_pressClock;
    qint64 m_lastPressMs = -1;                 // m_pressClock
    QPointF m_lastPressGlobal;
    int m_exporting = 0;
    int m_boardSerial = 0;
    // The blank page being put in; its destruction waits for the worker.
    struct PageInsertJob;
    std::unique_ptr<PageInsertJob> m_insert;
    QList<std::function<void()>> m_afterExport;
};
