#include "app/commandline.h"

#include <QDir>
#include <QtTest>

// Which files and which developer switch a command line asks for.
class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void qualifyingFiles_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("files");
        const QString exe = QStringLiteral("lectern");
        QTest::newRow("none") << QStringList{ exe } << QStringList{};
        QTest::newRow("two pdfs in order")
            << QStringList{ exe, QStringLiteral("a.pdf"), QStringLiteral("b.pdf") }
            << QStringList{ QStringLiteral("a.pdf"), QStringLiteral("b.pdf") };
        QTest::newRow("upper-case suffix") << QStringList{ exe, QStringLiteral("C:/课件/第一课.PDF") }
                                           << QStringList{ QStringLiteral("C:/课件/第一课.PDF") };
        QTest::newRow("package and word")
            << QStringList{ exe, QStringLiteral("x.DPZ"), QStringLiteral("y.docx"), QStringLiteral("z.Doc") }
            << QStringList{ QStringLiteral("x.DPZ"), QStringLiteral("y.docx"), QStringLiteral("z.Doc") };
        QTest::newRow("decks and other documents")
            << QStringList{ exe, QStringLiteral("第3课.PPTX"), QStringLiteral("b.odp"), QStringLiteral("c.pps"),
                            QStringLiteral("d.rtf"), QStringLiteral("e.wps"), QStringLiteral("a.pptx.bak") }
            << QStringList{ QStringLiteral("第3课.PPTX"), QStringLiteral("b.odp"), QStringLiteral("c.pps"),
                            QStringLiteral("d.rtf"), QStringLiteral("e.wps") };
        QTest::newRow("images qualify") << QStringList{ exe, QStringLiteral("photo.PNG"), QStringLiteral("a.webp") }
                                        << QStringList{ QStringLiteral("photo.PNG") };
        QTest::newRow("dash is never a file") << QStringList{ exe, QStringLiteral("-x.pdf"), QStringLiteral("-x") }
                                              << QStringList{};
        QTest::newRow("relative kept unchanged")
            << QStringList{ exe, QStringLiteral("../讲义 2.pdf") } << QStringList{ QStringLiteral("../讲义 2.pdf") };
        QTest::newRow("suffix must end the name")
            << QStringList{ exe, QStringLiteral("a.pdf.txt"), QStringLiteral("pdf"), QStringLiteral("a.docxx") }
            << QStringList{};
        QTest::newRow("program itself is skipped") << QStringList{ QStringLiteral("weird.pdf") } << QStringList{};
    }
    void qualifyingFiles()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, files);
        QCOMPARE(parseCommandLine(args).files, files);
    }

    void switches_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("devSwitch");
        QTest::addColumn<QString>("argument");
        const QString exe = QStringLiteral("lectern");
        const QString temp = QDir::tempPath();
        QTest::newRow("plain start") << QStringList{ exe, QStringLiteral("a.pdf") } << QString() << QString();
        QTest::newRow("bench with file") << QStringList{ exe, QStringLiteral("--bench"), QStringLiteral("a.pdf") }
                                         << QStringLiteral("--bench") << QStringLiteral("a.pdf");
        QTest::newRow("bench last is ignored") << QStringList{ exe, QStringLiteral("a.pdf"), QStringLiteral("--bench") }
                                               << QString() << QString();
        QTest::newRow("ignored bench lets a later switch run")
            << QStringList{ exe, QStringLiteral("--selftest-log"), QStringLiteral("--bench") }
            << QStringLiteral("--selftest-log") << QString();
        QTest::newRow("probe-touch beats everything")
            << QStringList{ exe, QStringLiteral("--bench"), QStringLiteral("a.pdf"), QStringLiteral("--probe-touch") }
            << QStringLiteral("--probe-touch") << QString();
        QTest::newRow("table order, not argument order")
            << QStringList{ exe, QStringLiteral("--selftest-image"), QStringLiteral("--selftest-crash") }
            << QStringLiteral("--selftest-crash") << QStringLiteral("stack");
        QTest::newRow("crash defaults to stack") << QStringList{ exe, QStringLiteral("--selftest-crash") }
                                                 << QStringLiteral("--selftest-crash") << QStringLiteral("stack");
        QTest::newRow("update defaults to 1.0.0") << QStringList{ exe, QStringLiteral("--selftest-update") }
                                                  << QStringLiteral("--selftest-update") << QStringLiteral("1.0.0");
        QTest::newRow("update with version")
            << QStringList{ exe, QStringLiteral("--selftest-update"), QStringLiteral("9.9.9") }
            << QStringLiteral("--selftest-update") << QStringLiteral("9.9.9");
        QTest::newRow("tileclip defaults to temp") << QStringList{ exe, QStringLiteral("--selftest-tileclip") }
                                                   << QStringLiteral("--selftest-tileclip") << temp;
        QTest::newRow("popup defaults to temp") << QStringList{ exe, QStringLiteral("--selftest-popup") }
                                                << QStringLiteral("--selftest-popup") << temp;
        QTest::newRow("scroll with folder") << QStringList{ exe, QStringLiteral("--selftest-scroll"), QStringLiteral("/x") }
                                            << QStringLiteral("--selftest-scroll") << QStringLiteral("/x");
        QTest::newRow("ink needs its argument") << QStringList{ exe, QStringLiteral("--selftest-ink") }
                                                << QString() << QString();
        QTest::newRow("smoke needs its argument") << QStringList{ exe, QStringLiteral("--selftest-smoke") }
                                                  << QString() << QString();
        QTest::newRow("bench-open beats bench-paint")
            << QStringList{ exe, QStringLiteral("--bench-paint"), QStringLiteral("p.pdf"),
                            QStringLiteral("--bench-open"), QStringLiteral("o.pdf") }
            << QStringLiteral("--bench-open") << QStringLiteral("o.pdf");
        QTest::newRow("case-sensitive") << QStringList{ exe, QStringLiteral("--Bench"), QStringLiteral("a.pdf") }
                                        << QString() << QString();
        QTest::newRow("value after equals") << QStringList{ exe, QStringLiteral("--bench=a=b.pdf") }
                                            << QStringLiteral("--bench") << QStringLiteral("a=b.pdf");
        QTest::newRow("optional value after equals") << QStringList{ exe, QStringLiteral("--selftest-update=2.0") }
                                                     << QStringLiteral("--selftest-update") << QStringLiteral("2.0");
        QTest::newRow("optional value is never a switch")
            << QStringList{ exe, QStringLiteral("--selftest-scroll"), QStringLiteral("--selftest-log") }
            << QStringLiteral("--selftest-scroll") << temp;
        QTest::newRow("help beats the other switches")
            << QStringList{ exe, QStringLiteral("--bench"), QStringLiteral("a.pdf"), QStringLiteral("--help") }
            << QStringLiteral("--help") << QString();
        QTest::newRow("new board by its Chinese name")
            << QStringList{ exe, QStringLiteral("--new-board"), QStringLiteral("米字格") }
            << QStringLiteral("--new-board") << QStringLiteral("米字格");
        QTest::newRow("new board of the last kind") << QStringList{ exe, QStringLiteral("--new-board") }
                                                    << QStringLiteral("--new-board") << QString();
        QTest::newRow("unknown dash argument") << QStringList{ exe, QStringLiteral("-x") } << QString() << QString();
        QTest::newRow("switch as program name is not a switch") << QStringList{ QStringLiteral("--selftest-ui") }
                                                                << QString() << QString();
    }
    void switches()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, devSwitch);
        QFETCH(QString, argument);
        const CommandLine line = parseCommandLine(args);
        QCOMPARE(line.devSwitch, devSwitch);
        QCOMPARE(line.switchArgument, argument);
    }

    void everySwitchIsRecognised()
    {
        const QStringList names = developerSwitchNames();
        QCOMPARE(names.size(), 31);
        QCOMPARE(names.first(), QStringLiteral("--probe-touch"));
        for (const QString &name : names) {
            // Give every switch two arguments so the required ones run too.
            const CommandLine line = parseCommandLine(
                { QStringLiteral("lectern"), name, QStringLiteral("x.pdf"), QStringLiteral("y.pdf") });
            QCOMPARE(line.devSwitch, name);
        }
    }

    void pairTakesOneValueAfterEquals()
    {
        const CommandLine line = parseCommandLine({ QStringLiteral("lectern"), QStringLiteral("--export-pdf=第1课.dpz"),
                                                    QStringLiteral("out.pdf"), QStringLiteral("b.pdf") });
        QCOMPARE(line.devSwitch, QStringLiteral("--export-pdf"));
        QCOMPARE(line.switchArgument, QStringLiteral("第1课.dpz"));
        QCOMPARE(line.secondArgument, QStringLiteral("out.pdf"));
        // Switch values are not files to open.
        QCOMPARE(line.files, QStringList{ QStringLiteral("b.pdf") });
    }

    void doubleDashEndsTheSwitches()
    {
        const CommandLine line = parseCommandLine(
            { QStringLiteral("lectern"), QStringLiteral("--"), QStringLiteral("--help.pdf"), QStringLiteral("-x.pdf") });
        QCOMPARE(line.devSwitch, QString());
        QVERIFY(line.error.isEmpty());
        QCOMPARE(line.files, QStringList({ QStringLiteral("--help.pdf"), QStringLiteral("-x.pdf") }));
    }

    void mistakesAreNamed_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown") << QStringList{ QStringLiteral("--frobnicate"), QStringLiteral("a.pdf") }
                                 << QStringLiteral("未知选项 --frobnicate");
        QTest::newRow("unknown with value") << QStringList{ QStringLiteral("--zoom=2") } << QStringLiteral("未知选项 --zoom");
        QTest::newRow("wrong case") << QStringList{ QStringLiteral("--Help") } << QStringLiteral("未知选项 --Help");
        QTest::newRow("value on a plain switch") << QStringList{ QStringLiteral("--version=2") }
                                                 << QStringLiteral("--version 不带参数");
        // Qt's and the session manager's options are theirs, single dash or double.
        QTest::newRow("qt options") << QStringList{ QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                                    QStringLiteral("--style=fusion"), QStringLiteral("-session"),
                                                    QStringLiteral("x") }
                                    << QString();
    }
    void mistakesAreNamed()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        args.prepend(QStringLiteral("lectern"));
        const CommandLine line = parseCommandLine(args);
        QCOMPARE(line.error, error);
    }

    void missingArgumentIsANotice()
    {
        const CommandLine line = parseCommandLine({ QStringLiteral("lectern"), QStringLiteral("a.pdf"), QStringLiteral("--bench") });
        QVERIFY(line.error.isEmpty());
        QCOMPARE(line.notices, QStringList{ QStringLiteral("--bench 缺少参数，已忽略") });
        QCOMPARE(line.files, QStringList{ QStringLiteral("a.pdf") });
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
