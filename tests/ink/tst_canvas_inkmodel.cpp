#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The canvas's ink model signals: each change emits exactly what listeners
// (tab dirty mark, status bar, toolbar buttons) rely on.
class TestCanvasInkModel : public QObject
{
    Q_OBJECT

    static QJsonObject twoPages()
    {
        const QJsonArray p = { 0.1, 0.1, 0.5, 0.5 };
        const QJsonObject stroke{ { QStringLiteral("c"), QStringLiteral("#112233") },
                                  { QStringLiteral("w"), 0.004 },
                                  { QStringLiteral("p"), p } };
        return QJsonObject{ { QStringLiteral("version"), 1 },
                            { QStringLiteral("pages"),
                              QJsonObject{ { QStringLiteral("0"), QJsonArray{ stroke, stroke } },
                                           { QStringLiteral("2"), QJsonArray{ stroke } } } } };
    }

private slots:
    void changesEmitTheirSignals()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("a.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 3));
        PdfCanvas canvas;
        canvas.resize(800, 600);
        QVERIFY(canvas.openPdf(pdf));
        QSignalSpy ink(&canvas, &PdfCanvas::inkChanged);
        QSignalSpy undoState(&canvas, &PdfCanvas::undoStateChanged);

        canvas.importAnnotations(twoPages());
        QCOMPARE(ink.size(), 1);
        QCOMPARE(ink.last().at(0).toInt(), 3);
        QCOMPARE(undoState.size(), 1);
        QCOMPARE(canvas.undoDepth(), 0);

        canvas.clearPageInk(); // page 0 is current
        QCOMPARE(canvas.strokeCount(), 1);
        QCOMPARE(canvas.undoDepth(), 1);
        QCOMPARE(ink.size(), 2);
        QCOMPARE(undoState.size(), 2);

        canvas.clearPageInk(); // nothing left on page 0: silent
        QCOMPARE(ink.size(), 2);
        QCOMPARE(undoState.size(), 2);

        canvas.undo();
        QCOMPARE(canvas.strokeCount(), 3);
        QCOMPARE(canvas.redoDepth(), 1);
        QCOMPARE(ink.last().at(0).toInt(), 3);
        canvas.redo();
        QCOMPARE(canvas.strokeCount(), 1);
        QCOMPARE(undoState.size(), 4);

        canvas.clearInk();
        QCOMPARE(canvas.strokeCount(), 0);
        QCOMPARE(canvas.undoDepth(), 2);
        const int undoSignals = undoState.size();
        canvas.clearInk(); // no ink: no step, but still reports the count
        QCOMPARE(canvas.undoDepth(), 2);
        QCOMPARE(undoState.size(), undoSignals);
        QCOMPARE(ink.last().at(0).toInt(), 0);

        canvas.undo();
        canvas.undo();
        canvas.undo(); // stack empty: nothing
        QCOMPARE(canvas.strokeCount(), 3);
        QCOMPARE(canvas.exportAnnotations(), canvas.exportAnnotations());
        QCOMPARE(canvas.exportAnnotations().value(QStringLiteral("pages")).toObject().keys(),
                 QStringList({ QStringLiteral("0"), QStringLiteral("2") }));

        // A new document forgets the ink and both stacks.
        QVERIFY(canvas.openPdf(pdf));
        QCOMPARE(canvas.strokeCount(), 0);
        QCOMPARE(canvas.undoDepth(), 0);
        QCOMPARE(canvas.redoDepth(), 0);
        QCOMPARE(ink.last().at(0).toInt(), 0);
    }

    void penAndToolSettings()
    {
        PdfCanvas canvas;
        QSignalSpy pen(&canvas, &PdfCanvas::penChanged);
        QSignalSpy tool(&canvas, &PdfCanvas::toolChanged);
        canvas.setPenWidth(30);
        QCOMPARE(canvas.penWidth(), 24.0);
        canvas.setPenWidth(24);
        canvas.setPenWidth(qQNaN());
        QCOMPARE(pen.size(), 1);
        canvas.setPenWidth(0.2);
        QCOMPARE(canvas.penWidth(), 1.0);
        canvas.setPenColor(QColor());
        canvas.setPenColor(QColor(211, 47, 47)); // the default: unchanged
        QCOMPARE(pen.size(), 2);
        canvas.setPenColor(Qt::blue);
        QCOMPARE(pen.size(), 3);
        canvas.setTool(PdfCanvas::InkTool::Pen);
        QCOMPARE(tool.size(), 0);
        canvas.setTool(PdfCanvas::InkTool::Move);
        QCOMPARE(tool.size(), 1);
        QCOMPARE(canvas.tool(), PdfCanvas::InkTool::Move);
    }
};

QTEST_MAIN(TestCanvasInkModel)
#include "tst_canvas_inkmodel.moc"
