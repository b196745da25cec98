#include "app/mainwindow.h"

#include "app/documentwriter.h"
#include "app/documenttabstrip.h"
#include "app/pageinsertjob.h"
#include "app/sourceguard.h"
#include "ui/theme.h"
#include "app/transitionlayer.h"
#include "ui/uimetrics.h"
#include "app/wordconversion.h"
#include "app/zoombar.h"
#include "canvas/pdfcanvas.h"
#include "files/workingcopy.h"
#include "island/inktoolbar.h"
#include "pages/homepage.h"
#include "pages/settingspage.h"
#include "platform/colorscheme.h"
#include "platform/procmemory.h"
#include "system/crashreport.h"
#include "system/settings.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kMemoryIntervalMs = 1500;
constexpr int kToolbarIdleMs = 5000;
// Far below the sweep's 14 days; a touch costs a few file opens.
constexpr int kTempRefreshMs = 60 * 60 * 1000;
const char kAppTitle[] = "青简批注";

QString appTitle()
{
    return QString::fromUtf8(kAppTitle);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_writer(new WorkingCopyWriter(this))
    , m_guard(new SourceGuard(this))
{
    setWindowTitle(appTitle());
    connect(m_writer, &WorkingCopyWriter::written, this, &MainWindow::onWorkingCopyWritten);
    connect(m_guard, &SourceGuard::copyReady, m_writer, &WorkingCopyWriter::setInkPdf);
    connect(m_guard, &SourceGuard::originalChanged, this, &MainWindow::onOriginalChanged);
    setAcceptDrops(true);

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_stack = new QStackedWidget(central);
    m_tabs = new DocumentTabs(central);
    column->addWidget(m_stack, 1);
    column->addWidget(m_tabs, 0);
    setCentralWidget(central);
    buildTransition();
    connect(m_tabs, &DocumentTabs::currentChanged, this, &MainWindow::onTabCurrentChanged);
    connect(m_tabs, &DocumentTabs::closeRequested, this, &MainWindow::onTabCloseRequested);
    connect(m_tabs, &DocumentTabs::addRequested, this, &MainWindow::onOpen);
    connect(m_tabs, &DocumentTabs::settingsRequested, this, &MainWindow::onSettings);
    connect(m_tabs, &DocumentTabs::homeRequested, this, &MainWindow::showHomePage);

    QElapsedTimer pagesClock;
    pagesClock.start();
    m_home = new HomePage(m_stack, HomePage::RecentList::WhenShown);
    m_stack->addWidget(m_home);
    connect(m_home, &HomePage::openRequested, this, &MainWindow::onOpen);
    connect(m_home, &HomePage::newBoardRequested, this, &MainWindow::chooseNewBoard);
    connect(m_home, &HomePage::openPathRequested, this, &MainWindow::openPath);
    m_pagesBuildNs = pagesClock.nsecsElapsed();
    // Qt 6.4 has no colour-scheme signal: the desktop's setting and the
    // system's theme change events stand in for it.
    watchDesktopColorScheme(this, [this] { onSystemColorSchemeChanged(); });

    buildShortcuts();
    buildStatusBar();

    m_zoomBar = new ZoomBar(m_tabs);
    m_tabs->setTrailingWidget(m_zoomBar);
    m_zoomBar->hide();

    m_exitButton = new QPushButton(QStringLiteral("退出全屏（Esc）"), this);
    m_exitButton->setObjectName(QStringLiteral("fullscreenExit"));
    m_exitButton->setCursor(Qt::PointingHandCursor);
    m_exitButton->setFocusPolicy(Qt::NoFocus);
    m_exitButton->hide();
    connect(m_exitButton, &QPushButton::clicked, this, &MainWindow::onFullscreen);
    connect(m_zoomBar, &ZoomBar::zoomRequested, this, &MainWindow::requestZoom);
    connect(m_zoomBar, &ZoomBar::fitWidthRequested, this, [this] {
        if (m_current)
            m_current->fitWidth(true);
    });

    pagesClock.restart();
    showHomePage();
    m_pagesBuildNs += pagesClock.nsecsElapsed();

    m_memTimer = new QTimer(this);
    m_memTimer->setInterval(kMemoryIntervalMs);
    connect(m_memTimer, &QTimer::timeout, this, &MainWindow::updateMemLabel);
    m_memTimer->start();
    updateMemLabel();
    m_idleTimer = new QTimer(this);
    m_idleTimer->setSingleShot(true);
    m_idleTimer->setInterval(kToolbarIdleMs);
    connect(m_idleTimer, &QTimer::timeout, this, &MainWindow::onToolbarIdle);
    m_tempTimer = new QTimer(this);
    m_tempTimer->setInterval(kTempRefreshMs);
    connect(m_tempTimer, &QTimer::timeout, this, &MainWindow::refreshOpenTempFiles);
    m_tempTimer->start();
    // Canvases out of sight take their new colours one per turn of the
    // event loop, after the window has repainted.
    m_restyleTimer = new QTimer(this);
    m_restyleTimer->setInterval(0);
    connect(m_restyleTimer, &QTimer::timeout, this, &MainWindow::restyleNextHidden);

    m_pressClock.start();
    qApp->installEventFilter(this);
    placeInitialGeometry();
    applyTheme();
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    finishTransition();
    // The canvases outlive this body (they die with the stack): nothing
    // they emit may reach the lists destroyed here.
    for (PdfCanvas *canvas : std::as_const(m_canvases))
        disconnect(canvas, nullptr, this, nullptr);
    // Queued writes finish before the writer's thread stops.
    m_writer->waitIdle();
    // A page still being made belongs to no record: nothing would ever
    // find or remove it.
    if (m_insert) {
        m_insert->thread->wait();
        QFile::remove(m_insert->request.target);
    }
}

// The settings page and its rows are built when first asked for: most
// starts open a lesson and never show them.
SettingsPage *MainWindow::settingsPage()
{
    if (m_settings)
        return m_settings;
    m_settings = new SettingsPage(m_stack);
    m_stack->addWidget(m_settings);
    connect(m_settings, &SettingsPage::themeChanged, this, &MainWindow::applyTheme);
    connect(m_settings, &SettingsPage::statusMessage, this,
            [this](const QString &message) { statusBar()->showMessage(message, 6000); });
    connect(m_settings, &SettingsPage::palmEraserChanged, this, [this] {
        const bool on = palmEraser();
        for (PdfCanvas *canvas : std::as_const(m_canvases))
            canvas->setPalmEraserEnabled(on);
    });
    connect(m_settings, &SettingsPage::toolbarStyleChanged, this, [this] {
        const int style = toolbarStyle() != 0 ? 1 : 0;
        for (PdfCanvas *canvas : std::as_const(m_canvases))
            canvas->inkToolbar()->setToolbarStyle(style);
    });
    return m_settings;
}

void MainWindow::buildShortcuts()
{
    const auto add = [this](const QKeySequence &keys, auto slot,
                            Qt::ShortcutContext context = Qt::WindowShortcut) {
        auto *action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(context);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    add(QKeySequence::Open, &MainWindow::onOpen);
    add(QKeySequence(QStringLiteral("Ctrl+T")), &MainWindow::onOpen);
    add(QKeySequence(QStringLiteral("Ctrl+W")), &MainWindow::onCloseCurrent);
    add(QKeySequence::Save, &MainWindow::onSave);
    add(QKeySequence::SaveAs, &MainWindow::onSaveAs);
    add(QKeySequence::ZoomIn, [this] { if (m_current) m_current->zoomIn(); });
    add(QKeySequence::ZoomOut, [this] { if (m_current) m_current->zoomOut(); });
    add(QKeySequence(QStringLiteral("Ctrl+0")), [this] { if (m_current) m_current->fitWidth(true); });
    add(QKeySequence(Qt::Key_F11), &MainWindow::onFullscreen, Qt::WindowShortcut);
}

void MainWindow::buildStatusBar()
{
    const QFont font = scaledFont(this->font(), 0.95, 500);
    const QFontMetrics metrics(font);
    const auto make = [&](const QString &text, const QString &widest) {
        auto *label = new QLabel(text, this);
        label->setFont(font);
        label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        label->setFixedWidth(metrics.horizontalAdvance(widest));
        return label;
    };
    m_pageLabel = make(QStringLiteral("页码 -/-"), QStringLiteral("页码 9999/9999"));
    m_renderLabel = make(QStringLiteral("渲染 -"), QStringLiteral("渲染 9999 ms (99999×99999)"));
    m_strokesLabel = make(QStringLiteral("笔画 0"), QStringLiteral("笔画 99999"));
    m_memLabel = make(QStringLiteral("内存 -"), QStringLiteral("内存 WS 9999.9 MB / Private 9999.9 MB"));
    statusBar()->setSizeGripEnabled(false);
    for (QLabel *label : {m_pageLabel, m_renderLabel, m_strokesLabel, m_memLabel})
        statusBar()->addWidget(label, 0);
    m_unprotectedLabel = new QLabel(QStringLiteral("⚠ 工作副本写不进去：本课批注暂无备份，请尽快保存"), this);
    m_unprotectedLabel->setObjectName(QStringLiteral("unprotectedLabel"));
    m_unprotectedLabel->setFont(font);
    m_unprotectedLabel->hide();
    statusBar()->addPermanentWidget(m_unprotectedLabel, 0);
    m_conversions = new WordConversions(statusBar(), this);
    connect(m_conversions, &WordConversions::finished, this, &MainWindow::onWordConverted);
    statusBar()->addPermanentWidget(m_conversions->indicator(), 0);
}

void MainWindow::placeInitialGeometry()
{
    constexpr int kMaxWidth = 1400;
    constexpr int kMaxHeight = 900;
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        resize(kMaxWidth, kMaxHeight);
        return;
    }
    const QRect available = screen->availableGeometry();
    const int width = qMin(int(available.width() * 0.92), kMaxWidth);
    const int height = qMin(int(available.height() * 0.92), kMaxHeight);
    resize(width, height);
    move(available.center() - QPoint(width / 2, height / 2));
}

int MainWindow::currentIndex() const
{
    return m_current ? int(m_canvases.indexOf(m_current)) : -1;
}

void MainWindow::refreshTitle()
{
    if (m_settingsShowing) {
        setWindowTitle(QStringLiteral("设置 — ") + appTitle());
        return;
    }
    const int index = currentIndex();
    if (m_homeShowing || index < 0 || m_docs.at(index).displayName.isEmpty()) {
        setWindowTitle(appTitle());
        return;
    }
    setWindowTitle(QStringLiteral("%1 — %2").arg(m_docs.at(index).displayName, appTitle()));
}

void MainWindow::bind(PdfCanvas *canvas)
{
    if (canvas != m_bound) {
        for (const QMetaObject::Connection &connection : std::as_const(m_boundConnections))
            disconnect(connection);
        m_boundConnections.clear();
        m_bound = canvas;
        // A slider drag aimed at the old document must not land on the new one.
        m_zoomBar->cancelDrag();
        if (canvas) {
            m_boundConnections
                << connect(canvas, &PdfCanvas::pageChanged, this, &MainWindow::onPageChanged)
                << connect(canvas, &PdfCanvas::renderMeasured, this, &MainWindow::onRenderMeasured)
                << connect(canvas, &PdfCanvas::inkChanged, this, &MainWindow::onInkChanged)
                << connect(canvas, &PdfCanvas::zoomChanged, m_zoomBar, &ZoomBar::setZoom);
        }
    }
    refreshZoomBar();
    refreshProtection();
    if (canvas) {
        onPageChanged(canvas->currentPage(), canvas->pageCount());
        onInkChanged(canvas->strokeCount());
        const LastRender last = m_lastRender.value(canvas);
        if (last.ms > 0)
            onRenderMeasured(last.ms, last.size);
        else
            m_renderLabel->setText(QStringLiteral("渲染 -"));
    } else {
        onPageChanged(0, 0);
        onInkChanged(0);
        m_renderLabel->setText(QStringLiteral("渲染 -"));
    }
}

void MainWindow::refreshZoomBar()
{
    const bool show = m_bound && !m_homeShowing && !m_settingsShowing;
    if (show)
        m_zoomBar->setZoom(m_bound->zoom());
    m_zoomBar->setVisible(show);
}

void MainWindow::onPageChanged(int page, int count)
{
    if (count < 1) {
        m_pageLabel->setText(QStringLiteral("页码 -/-"));
        return;
    }
    m_pageLabel->setText(QStringLiteral("页码 %1/%2").arg(page + 1).arg(count));
}

void MainWindow::onRenderMeasured(qlonglong ms, QSize size)
{
    m_renderLabel->setText(
        QStringLiteral("渲染 %1 ms (%2×%3)").arg(ms).arg(size.width()).arg(size.height()));
}

void MainWindow::onInkChanged(int strokes)
{
    m_strokesLabel->setText(QStringLiteral("笔画 %1").arg(strokes));
}

void MainWindow::updateMemLabel()
{
    constexpr double kMiB = 1048576.0;
    const ProcessMemory memory = readProcessMemory();
    m_memLabel->setText(QStringLiteral("内存 WS %1 MB / Private %2 MB")
                            .arg(memory.workingSetBytes / kMiB, 0, 'f', 1)
                            .arg(memory.privateBytes / kMiB, 0, 'f', 1));
}

void MainWindow::wireCanvas(PdfCanvas *canvas)
{
    connect(canvas, &PdfCanvas::inkChanged, this, [this, canvas] { markDirty(canvas); });
    connect(canvas, &PdfCanvas::pagesReplaced, this,
            [this, canvas](const QString &pdfPath) { onPagesReplaced(canvas, pdfPath); });
    connect(canvas, &PdfCanvas::addPageRequested, this, [this, canvas] { onAddPageRequested(canvas); });
    connect(canvas, &PdfCanvas::insertPageRequested, this,
            [this, canvas](int afterPage) { onInsertPageRequested(canvas, afterPage); });
    InkToolbar *island = canvas->inkToolbar();
    island->setToolbarStyle(toolbarStyle() != 0 ? 1 : 0);
    island->setFullscreenActive(isFullScreen());
    connect(island, &InkToolbar::settingsRequested, this, &MainWindow::onSettings);
    connect(island, &InkToolbar::saveRequested, this, &MainWindow::onSave);
    connect(island, &InkToolbar::saveAsRequested, this, &MainWindow::onSaveAs);
    connect(island, &InkToolbar::fullscreenRequested, this, &MainWindow::onFullscreen);
    connect(canvas, &PdfCanvas::renderMeasured, this, [this, canvas](qlonglong ms, QSize size) {
        m_lastRender.insert(canvas, LastRender{ms, size});
    });
}

void MainWindow::markDirty(PdfCanvas *canvas)
{
    const int index = int(m_canvases.indexOf(canvas));
    // The import right after loading happens before the canvas is listed.
    if (index < 0)
        return;
    m_writer->noteInkChanged(canvas);
    // From the first stroke on, the pages under the ink are kept privately.
    m_guard->noteInk(canvas);
    OpenDocument &doc = m_docs[index];
    if (doc.dirty)
        return;
    doc.dirty = true;
    m_tabs->setTabTitle(index, QStringLiteral("*") + doc.displayName);
}

void MainWindow::markClean(int index)
{
    OpenDocument &doc = m_docs[index];
    doc.dirty = false;
    m_tabs->setTabTitle(index, doc.displayName);
}

void MainWindow::onTabCurrentChanged(int index)
{
    if (index < 0 || index >= m_canvases.size())
        return;
    const bool pageInFront = m_homeShowing || m_settingsShowing;
    m_homeShowing = false;
    m_settingsShowing = false;
    m_tabs->setHomeActive(false);
    m_tabs->setSettingsActive(false);
    PdfCanvas *target = m_canvases.at(index);
    if (target != m_current) {
        PdfCanvas *previous = m_current;
        m_current = target;
        transitionTo(target, previous);
    } else if (pageInFront) {
        transitionTo(target, nullptr);
    }
    bind(target);
    refreshTitle();
}

void MainWindow::showHomePage()
{
    m_homeShowing = true;
    m_settingsShowing = false;
    m_tabs->setSettingsActive(false);
    m_tabs->setHomeActive(true);
    m_home->refresh();
    transitionTo(m_home, nullptr);
    bind(nullptr);
    refreshTitle();
}

void MainWindow::showSettingsPage()
{
    m_settingsShowing = true;
    m_homeShowing = false;
    m_tabs->setSettingsActive(true);
    m_tabs->setHomeActive(false);
    transitionTo(settingsPage(), nullptr);
    bind(nullptr);
    refreshTitle();
}

void MainWindow::onSettings()
{
    if (!m_settingsShowing) {
        showSettingsPage();
        return;
    }
    if (!m_current) {
        showHomePage();
        return;
    }
    m_homeShowing = false;
    m_settingsShowing = false;
    m_tabs->setHomeActive(false);
    m_tabs->setSettingsActive(false);
    transitionTo(m_current, nullptr);
    bind(m_current);
    refreshTitle();
}

void MainWindow::requestZoom(double zoom)
{
    constexpr int kMaxZoomNesting = 4;
    if (!m_current)
        return;
    if (m_zoomDepth >= kMaxZoomNesting) {
        recordOperation("zoom-reentry", QStringLiteral("缩放信号已嵌套 %1 层，本次忽略").arg(m_zoomDepth));
        return;
    }
    ++m_zoomDepth;
    m_current->setZoom(zoom);
    --m_zoomDepth;
}

// Another instance sweeps the temp folder when it cannot reach this window
// (a busy start, a removed socket) and may do so weeks into a long session:
// every file an open document keeps there must look new. A file that any
// tab opened itself keeps its date, since its fingerprint guards that tab's
// working copy (a tab may open another tab's extracted PDF directly).
void MainWindow::refreshOpenTempFiles()
{
    const auto key = [](const QString &path) {
        const QFileInfo info(path);
        const QString canonical = info.canonicalFilePath();
        return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    };
    QSet<QString> guarded;
    for (PdfCanvas *canvas : std::as_const(m_canvases))
        guarded.insert(key(m_writer->keyPath(canvas)));
    QStringList paths = m_guard->privateCopies();
    for (const OpenDocument &doc : std::as_const(m_docs)) {
        for (const QString &path : {doc.packagePath, doc.wordSourcePath, doc.imageSourcePath, doc.pdfPath}) {
            if (!path.isEmpty() && !guarded.contains(key(path)))
                paths.append(path);
        }
    }
    refreshTempFiles(paths);
}
