#include "testutil.h"

#include <QPdfDocument>
#include <QTemporaryDir>
#include <QtTest>

// The build and the test harness themselves: a PDF written by the helper
// loads with the page sizes asked for.
class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void writtenPdfLoads()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("两页 test.pdf"));
        QVERIFY(TestUtil::writePdf(path, { QSizeF(595, 842), QSizeF(842, 595) }, QStringLiteral("测试")));
        QPdfDocument doc;
        doc.load(path);
        QCOMPARE(doc.status(), QPdfDocument::Status::Ready);
        QCOMPARE(doc.pageCount(), 2);
        QCOMPARE(doc.pagePointSize(1).toSize(), QSize(842, 595));
    }
};

QTEST_MAIN(TestSmoke)
#include "tst_smoke.moc"
