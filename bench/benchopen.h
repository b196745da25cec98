#pragma once

#include <QHash>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>

class MainWindow;
class PdfCanvas;

// Shared by the open and forward benchmarks.

// Runs the event loop until the window has sent out a frame with its
// current canvas in front and the canvas has rendered a tile of its own
// (the first page on screen); false after timeoutMs.
bool waitForFirstTile(MainWindow &window, int timeoutMs);
// Page 1 as the canvas shows it, in device pixels.
QSize firstPageDeviceSize(const PdfCanvas &canvas);
// Runs this program with arguments and returns its key=value lines; empty
// when it failed or outlived timeoutMs (then it is killed).
QHash<QString, QString> runChild(const QStringList &arguments, int timeoutMs,
                                 const QProcessEnvironment &environment);
