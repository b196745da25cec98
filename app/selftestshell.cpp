#include "app/selftestshell.h"

#include "app/exportprogress.h"
#include "app/mainwindow.h"
#include "app/passworddialog.h"
#include "app/selftestreport.h"
#include "app/wordquestion.h"
#include "canvas/pdfcanvas.h"
#include "island/inktoolbar.h"
#include "island/palettecard.h"
#include "pages/homepage.h"
#include "pages/homepage_row.h"
#include "system/settings.h"
#include "ui/uimetrics.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr QRgb kFill = qRgb(240, 240, 232);
// A long name, so the dialogs must wrap or widen for it.
QString longName() { return QStringLiteral("第十二课 二次函数的图像与性质（复习课，含课堂练习与参考答案）.pdf"); }

QRect globalRect(const QWidget *widget)
{
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

QString rectText(const QRect &r)
{
    return QStringLiteral("%1,%2 %3×%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString describe(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget); button && !button->text().isEmpty())
        return QStringLiteral("「%1」").arg(button->text());
    if (const auto *label = qobject_cast<const QLabel *>(widget); label && !label->text().isEmpty())
        return QStringLiteral("「%1」").arg(label->text().left(12));
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className()) : widget->objectName();
}

// What does not fit in one dialog: clipped labels and buttons, buttons a
// finger cannot hit.
QStringList dialogFaults(QDialog *dialog)
{
    QStringList faults;
    for (QLabel *label : dialog->findChildren<QLabel *>()) {
        if (!label->isVisibleTo(dialog) || label->text().isEmpty())
            continue;
        const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height() + 1
                                            : label->sizeHint().width() <= label->width() + 1;
        if (!fits)
            faults << QStringLiteral("%1 被截断").arg(describe(label));
    }
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        if (!button->isVisibleTo(dialog))
            continue;
        const int target = uiMetrics(button->font()).touchTarget;
        if (button->height() < target - 1)
            faults << QStringLiteral("%1 高 %2，不足 %3").arg(describe(button)).arg(button->height()).arg(target);
        if (!button->text().isEmpty() && button->sizeHint().width() > button->width() + 1)
            faults << QStringLiteral("%1 文字被截断").arg(describe(button));
    }
    return faults;
}

} // namespace

int runPopupSelfTest(const QString &folder)
{
    SelfTestReport report(QStringLiteral("popup"));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("弹出自检.pdf"));
    if (!writeSelfTestPdf(pdf, 2, QSizeF(595, 842), kFill)) {
        report.check(false, QStringLiteral("写出测试 PDF"), pdf);
        return report.finish();
    }
    MainWindow window;
    if (!openAndShow(&window, pdf, &report))
        return report.finish();
    InkToolbar *island = nullptr;
    waitUntil([&] {
        for (InkToolbar *candidate : window.findChildren<InkToolbar *>()) {
            if (candidate->isVisible())
                island = candidate;
        }
        return island != nullptr;
    }, 10000);
    if (!report.check(island != nullptr, QStringLiteral("工具岛已显示")))
        return report.finish();
    const QRect screen = window.screen()->availableGeometry();
    report.note(QStringLiteral("屏幕可用区域 %1，窗口 %2").arg(rectText(screen), rectText(globalRect(&window))));
    struct Corner
    {
        const char *name;
        QPoint push;
    };
    const Corner corners[] = { { "左上", QPoint(-100000, -100000) }, { "右上", QPoint(100000, -100000) },
                               { "左下", QPoint(-100000, 100000) }, { "右下", QPoint(100000, 100000) } };
    using Opener = void (InkToolbar::*)();
    const std::pair<const char *, Opener> cards[] = { { "笔", &InkToolbar::showPenPalette },
                                                      { "橡皮", &InkToolbar::showEraserPalette },
                                                      { "清除", &InkToolbar::showClearPalette } };
    for (const Corner &corner : corners) {
        island->moveBy(corner.push);
        QCoreApplication::processEvents();
        for (const auto &[name, open] : cards) {
            (island->*open)();
            // Open, and still for a moment: a card that grows in is judged at its full size.
            PaletteCard *card = nullptr;
            QRect last;
            QElapsedTimer still;
            still.start();
            waitUntil([&] {
                card = nullptr;
                for (PaletteCard *candidate : window.findChildren<PaletteCard *>()) {
                    if (candidate->isVisible())
                        card = candidate;
                }
                const QRect now = card ? globalRect(card) : QRect();
                if (now != last)
                    still.restart();
                last = now;
                return card != nullptr && still.elapsed() >= 300;
            }, 3000);
            const QString what = QStringLiteral("工具岛在%1时「%2」卡片在屏幕内").arg(QString::fromUtf8(corner.name),
                                                                         QString::fromUtf8(name));
            if (!card) {
                report.check(false, what, QStringLiteral("卡片没有弹出"));
                continue;
            }
            // The card's visible frame; around it lies its soft shadow.
            const QFrame *frame = card->findChild<QFrame *>(QString(), Qt::FindDirectChildrenOnly);
            const QRect rect = globalRect(frame ? static_cast<const QWidget *>(frame) : card);
            report.check(screen.contains(rect) && globalRect(&window).contains(rect), what,
                         QStringLiteral("卡片 %1，工具岛 %2").arg(rectText(rect), rectText(globalRect(island))));
            if (open == &InkToolbar::showPenPalette)
                saveScreenshot(&window, folder, QStringLiteral("popup-%1").arg(&corner - corners + 1));
            card->hide();
        }
    }
    return report.finish();
}

int runDialogSelfTest()
{
    SelfTestReport report(QStringLiteral("dialog"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    std::vector<std::pair<QString, std::unique_ptr<QDialog>>> dialogs;
    dialogs.emplace_back(QStringLiteral("密码（首次）"), std::make_unique<PasswordDialog>(longName(), false));
    dialogs.emplace_back(QStringLiteral("密码（重试）"), std::make_unique<PasswordDialog>(longName(), true));
    dialogs.emplace_back(QStringLiteral("Word 文档的打开方式"), std::make_unique<WordQuestion>(longName()));
    auto progress = std::make_unique<ExportProgress>(nullptr, 40);
    progress->progress(17, 40);
    dialogs.emplace_back(QStringLiteral("导出进度"), std::move(progress));
    for (auto &[name, dialog] : dialogs) {
        dialog->show();
        const bool shown = waitUntil([&dialog = dialog] { return dialog->isVisible() && dialog->width() > 0; }, 3000);
        const QRect rect = dialog->frameGeometry();
        report.check(shown && screen.contains(rect), QStringLiteral("「%1」在屏幕内").arg(name), rectText(rect));
        const QStringList faults = dialogFaults(dialog.get());
        report.check(faults.isEmpty(), QStringLiteral("「%1」文字完整、按钮够大").arg(name), faults.join(QStringLiteral("；")));
        dialog->hide();
    }
    return report.finish();
}

int runHomeSelfTest()
{
    SelfTestReport report(QStringLiteral("home"));
    const QStringList kept = readRecentFiles();
    // Files in the temp folder never join the list: these live beside the program's own data.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(data);
    QTemporaryDir dir(data + QStringLiteral("/selftest-XXXXXX"));
    const QString first = dir.filePath(QStringLiteral("主页自检 甲.pdf"));
    const QString second = dir.filePath(QStringLiteral("主页自检 乙.pdf"));
    const QString missing = dir.filePath(QStringLiteral("已删除的课件.pdf"));
    QString error;
    bool ok = writeSelfTestPdf(first, 1, QSizeF(595, 842), kFill) && writeSelfTestPdf(second, 1, QSizeF(595, 842), kFill)
        && writeSelfTestPdf(missing, 1, QSizeF(595, 842), kFill) && clearRecentFiles(&error);
    // The newest entry comes first.
    for (const QString &path : { missing, second, first })
        ok = ok && addRecentFile(path, &error);
    ok = ok && QFile::remove(missing);
    if (report.check(ok, QStringLiteral("准备最近文件"), error)) {
        MainWindow window;
        window.show();
        HomePage *home = window.homePage();
        report.check(window.homeShowing() && home && home->isVisible(), QStringLiteral("启动后显示主页"));
        home->rebuildRecent();
        QList<RecentRow *> rows;
        const bool listed = waitUntil([&] {
            rows = home->findChildren<RecentRow *>();
            rows.erase(std::remove_if(rows.begin(), rows.end(), [](RecentRow *row) { return !row->isVisible(); }), rows.end());
            std::sort(rows.begin(), rows.end(), [](RecentRow *a, RecentRow *b) { return a->y() < b->y(); });
            return rows.size() == 3 && rows.at(2)->isMissing() && !rows.at(0)->isMissing() && !rows.at(1)->isMissing();
        }, 8000);
        QStringList shown;
        for (RecentRow *row : rows)
            shown << QFileInfo(row->path()).fileName() + (row->isMissing() ? QStringLiteral("（找不到）") : QString());
        report.check(listed && rows.at(0)->path() == first && rows.at(1)->path() == second,
                     QStringLiteral("最近文件按时间排列，找不到的已标出"), shown.join(QStringLiteral("、")));
        const int target = uiMetrics(home->font()).touchTarget;
        const bool big = !rows.isEmpty()
            && std::all_of(rows.begin(), rows.end(), [&](RecentRow *row) {
                   return row->height() >= target - 1 && globalRect(&window).contains(globalRect(row));
               });
        report.check(big, QStringLiteral("每一行在窗口内、手指点得中"),
                     rows.isEmpty() ? QString() : QStringLiteral("行高 %1，触摸目标 %2").arg(rows.first()->height()).arg(target));
        if (!rows.isEmpty()) {
            RecentRow *row = rows.first();
            const QPointF centre = QRectF(row->rect()).center();
            for (const QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease }) {
                QMouseEvent event(type, centre, row->mapToGlobal(centre), Qt::LeftButton,
                                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(row, &event);
            }
            const bool opened = waitUntil([&] { return window.documentCount() == 1; }, 10000);
            report.check(opened && window.document(0).pdfPath == first, QStringLiteral("点一下最近文件即打开"));
        }
    }
    bool restored = clearRecentFiles(&error);
    for (auto it = kept.crbegin(); it != kept.crend(); ++it)
        restored = addRecentFile(*it, &error) && restored;
    report.check(restored && readRecentFiles() == kept, QStringLiteral("原来的最近文件列表已恢复"),
                 QStringLiteral("%1 项").arg(kept.size()));
    return report.finish();
}
