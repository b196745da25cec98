// The home page: greeting by the hour, the recent list with missing files,
// removing and clearing, and broken entries in the settings file.
#include "modalhelpers.h"
#include "pages/homepage.h"
#include "pages/homepage_probe.h"
#include "pages/homepage_row.h"
#include "system/settings.h"
#include "testutil.h"

#include <QDir>
#include <QScopeGuard>
#include <QThread>
#include <QFile>
#include <QLabel>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void answer(const QString &choice, QString *title = nullptr)
{
    TestUtil::onNextModal<QMessageBox>([choice, title](QMessageBox *box) {
        if (title)
            *title = box->windowTitle();
        if (QAbstractButton *yes = box->button(QMessageBox::Yes); yes && choice == QLatin1String("Yes")) {
            QTest::mouseClick(yes, Qt::LeftButton);
            return;
        }
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == choice) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        box->reject();
    });
}

RecentRow *rowFor(const HomePage &page, const QString &path)
{
    for (RecentRow *row : page.rows()) {
        if (row->path() == path)
            return row;
    }
    return nullptr;
}

} // namespace

class TestHomePage : public QObject
{
    Q_OBJECT

    // Outside the temporary folder, which the recent list refuses.
    QTemporaryDir m_dir{QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                        + QStringLiteral("/homeXXXXXX")};

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(clearRecentFiles());
    }

    void greetingFollowsTheHour()
    {
        HomePage page;
        const auto at = [&page](int h, int m) {
            page.setClock([h, m] { return QDateTime(QDate(2026, 3, 2), QTime(h, m)); });
            return page.greetingLabel()->text();
        };
        qputenv("USER", "  王芳 ");
        QCOMPARE(at(4, 59), QStringLiteral("夜深了，王芳，该睡了"));
        QCOMPARE(at(5, 0), QStringLiteral("早上好，王芳，今天看些什么？"));
        QCOMPARE(at(10, 59), QStringLiteral("早上好，王芳，今天看些什么？"));
        QCOMPARE(at(11, 0), QStringLiteral("中午好，王芳，今天看些什么？"));
        QCOMPARE(at(12, 59), QStringLiteral("中午好，王芳，今天看些什么？"));
        QCOMPARE(at(13, 0), QStringLiteral("下午好，王芳，今天看些什么？"));
        QCOMPARE(at(17, 59), QStringLiteral("下午好，王芳，今天看些什么？"));
        QCOMPARE(at(18, 0), QStringLiteral("晚上好，王芳，今天看些什么？"));
        qputenv("USER", "   ");
        QCOMPARE(at(9, 0), QStringLiteral("早上好，老师，今天看些什么？"));
        QVERIFY(page.quoteLabel()->text().contains(QStringLiteral(" —— 《")));
    }

    void missingRowsNeverOpenAndRowsRemoveThemselves()
    {
        const QString live = m_dir.filePath(QStringLiteral("第1课.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(live, 1));
        const QString gone = m_dir.filePath(QStringLiteral("已删除/第2课.pdf"));
        const QString other = m_dir.filePath(QStringLiteral("第3课.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(other, 1));
        for (const QString &path : {other, gone, live})
            QVERIFY(addRecentFile(path));
        HomePage page;
        page.resize(900, 800);
        page.show();
        QSignalSpy opened(&page, &HomePage::openPathRequested);
        QCOMPARE(page.rows().size(), 3);
        QTRY_VERIFY(rowFor(page, gone)->isMissing());
        QVERIFY(!rowFor(page, live)->isMissing());
        QVERIFY(page.findChild<QLabel *>(QStringLiteral("homeRecentMissing")));

        // The missing row asks instead of opening; "保留" keeps it.
        QString title;
        answer(QStringLiteral("保留"), &title);
        QTest::mouseClick(rowFor(page, gone), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("文件不存在"));
        QCOMPARE(opened.count(), 0);
        QCOMPARE(readRecentFiles().size(), 3);

        QTest::mouseClick(rowFor(page, live), Qt::LeftButton);
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), live);

        // A file that vanished after the list was built is caught by the second look.
        QVERIFY(QFile::remove(other));
        answer(QStringLiteral("移除"));
        QTest::mouseClick(rowFor(page, other), Qt::LeftButton);
        QCOMPARE(opened.count(), 1);
        QTRY_COMPARE(page.rows().size(), 2);

        // The row whose button was tapped goes, after its click handler returns.
        QTest::mouseClick(rowFor(page, live)->removeButton(), Qt::LeftButton);
        QTRY_COMPARE(page.rows().size(), 1);
        QCOMPARE(readRecentFiles(), QStringList{gone});

        // Clearing asks first (No is the default), then empties the list.
        answer(QStringLiteral("Yes"), &title);
        QTest::mouseClick(page.clearButton(), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("清空最近项目"));
        QVERIFY(readRecentFiles().isEmpty());
        QVERIFY(page.findChild<QLabel *>(QStringLiteral("homeRecentEmpty")));
        QVERIFY(!page.clearButton()->isEnabled());
    }

    // A share that answers slowly never holds the page: the row is shown at
    // once and a tap on it acts when the answer comes.
    void slowAnswersNeitherBlockNorLoseATap()
    {
        const QString live = m_dir.filePath(QStringLiteral("慢.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(live, 1));
        QVERIFY(addRecentFile(live));
        FileExistenceProbe::instance()->setCheck([](const QString &path) {
            QThread::msleep(1000);
            return QFileInfo::exists(path);
        });
        auto restore = qScopeGuard([] { FileExistenceProbe::instance()->setCheck({}); });
        HomePage page;
        QCOMPARE(page.rows().size(), 1);
        bool exists = false;
        QVERIFY(!FileExistenceProbe::instance()->answer(live, &exists));
        QSignalSpy opened(&page, &HomePage::openPathRequested);
        QTest::mouseClick(page.rows().value(0), Qt::LeftButton);
        QCOMPARE(opened.count(), 0);
        QTRY_COMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), live);
    }

    // A tap that waits for a slow share shows it was taken, and gives way
    // when the teacher does anything else: the late answer opens nothing
    // and warns about nothing over whatever is in use by then.
    void aWaitingTapShowsAndGivesWay()
    {
        const QString live = m_dir.filePath(QStringLiteral("慢的共享.pdf"));
        const QString gone = m_dir.filePath(QStringLiteral("已拔出的U盘.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(live, 1));
        QVERIFY(addRecentFile(gone));
        QVERIFY(addRecentFile(live));
        FileExistenceProbe::instance()->setCheck([](const QString &path) {
            QThread::msleep(600);
            return QFileInfo::exists(path);
        });
        auto restore = qScopeGuard([] { FileExistenceProbe::instance()->setCheck({}); });
        HomePage page;
        page.resize(900, 800);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QSignalSpy opened(&page, &HomePage::openPathRequested);
        const auto answered = [](const QString &path) {
            bool exists = false;
            return FileExistenceProbe::instance()->answer(path, &exists);
        };
        // Both rows wait for their first answers.
        QTRY_VERIFY_WITH_TIMEOUT(answered(live) && answered(gone), 5000);

        // A key press gives way.
        RecentRow *row = rowFor(page, live);
        QTest::mouseClick(page.windowHandle(), Qt::LeftButton, {}, row->mapTo(&page, row->rect().center()));
        QVERIFY(row->isWaiting());
        QLabel *note = row->findChild<QLabel *>(QStringLiteral("homeRecentWaiting"));
        QVERIFY(note && note->isVisible() && note->text() == QStringLiteral("正在查找文件…"));
        QTest::keyClick(page.windowHandle(), Qt::Key_Down);
        QVERIFY(!row->isWaiting());
        QTRY_VERIFY_WITH_TIMEOUT(answered(live), 5000);
        QCoreApplication::processEvents();
        QCOMPARE(opened.count(), 0);

        // So does another page coming to the front, for a missing file too:
        // no "文件不存在" box over the lesson.
        row = rowFor(page, gone);
        QTest::mouseClick(page.windowHandle(), Qt::LeftButton, {}, row->mapTo(&page, row->rect().center()));
        QVERIFY(row->isWaiting());
        page.hide();
        QVERIFY(!row->isWaiting());
        QTRY_VERIFY_WITH_TIMEOUT(answered(gone), 5000);
        QCoreApplication::processEvents();
        QVERIFY(!QApplication::activeModalWidget());

        // Left alone, the tap acts when the answer comes.
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        row = rowFor(page, live);
        QTest::mouseClick(page.windowHandle(), Qt::LeftButton, {}, row->mapTo(&page, row->rect().center()));
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, 5000);
        QVERIFY(!row->isWaiting());
    }

    void brokenEntriesInTheSettingsFileAreShown()
    {
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                               + QStringLiteral("/Lectern/Lectern.conf");
        QDir().mkpath(QFileInfo(config).absolutePath());
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QByteArray longPath = "/mnt/" + QByteArray(6000, 'x') + ".pdf";
        file.write("[General]\nRecentFiles=/tmp/a\\nb.pdf, /tmp/\xff\xfe\xc3(.pdf, " + longPath + "\n");
        file.close();
        HomePage page;
        page.resize(700, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.rows().size(), 3);
        const auto allMissing = [&page] {
            const QList<RecentRow *> rows = page.rows();
            return std::all_of(rows.cbegin(), rows.cend(), [](const RecentRow *row) { return row->isMissing(); });
        };
        QTRY_VERIFY(allMissing());
        // Nothing is wider than the page: long names are shortened, not stretched.
        for (RecentRow *row : page.rows())
            QVERIFY2(row->width() <= page.width(), qPrintable(QString::number(row->width())));
        QVERIFY(RecentRow::displayText(QStringLiteral("a\nb"), 50) == QStringLiteral("a\u21B5b"));
        QVERIFY(!page.grab().isNull());
    }
};

QTEST_MAIN(TestHomePage)
#include "tst_homepage.moc"
