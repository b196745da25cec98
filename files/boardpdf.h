#pragma once

#include <QByteArray>
#include <QColor>
#include <QLineF>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

// Boards: empty pages with a classroom ruling, written by our own PDF
// writer as vector lines so they stay crisp at any zoom.

enum class BoardKind { Blank, Grid, Lines, Tianzige, Mizige, Pinyin, English, Staff, Graph };

struct BoardStyle
{
    BoardKind kind = BoardKind::Grid;
    bool chalkboard = false; // the dark green board with white chalk
};

// One page fills a 16:9 classroom display.
inline QSizeF boardPageSize()
{
    return QSizeF(1280, 720);
}

// Every kind in the order the chooser shows them.
QList<BoardKind> boardKinds();
// "blank", "grid" … as the command line and the settings spell them.
QString boardKindKey(BoardKind kind);
// "空白", "方格" … as the chooser shows them.
QString boardKindLabel(BoardKind kind);
// Takes the key or the Chinese name (with or without a trailing "格");
// false for anything else.
bool boardKindFromName(const QString &name, BoardKind *kind);
// "blank grid lines …", for messages and the usage text.
QString boardKindKeyList();

QColor boardBackground(bool chalkboard);
// The pen's first colour on this background.
QColor boardFirstPenColor(bool chalkboard);

// One ruling stroke in page points (origin top left).
struct BoardRule
{
    QLineF line;
    QColor color;
    double width = 0.75;
    bool dashed = false;
};
// The ruling of a page of size (points) for style.
QList<BoardRule> boardRules(const BoardStyle &style, const QSizeF &size);
// A band filled behind a ruling (the pinyin grid's middle band).
QList<QRectF> boardBands(const BoardStyle &style, const QSizeF &size);

// The content stream of one page: background, bands and ruling.
QByteArray boardPageContent(const BoardStyle &style, const QSizeF &size);
// The bytes of a PDF of pages pages of size, each with style's ruling.
QByteArray boardPdfBytes(const BoardStyle &style, const QSizeF &size, int pages);
// Writes those bytes to path atomically. False with a Chinese message.
bool writeBoardPdf(const QString &path, const BoardStyle &style, int pages, QString *error = nullptr);
