#pragma once

#include <QList>
#include <QString>

class QElapsedTimer;

// Shared by the --bench* switches: one key=value line per figure on stdout.
namespace BenchUtil {

void printLine(const char *key, const QString &value);
void printMs(const char *key, double ms, int decimals = 2);
// Nearest-rank percentile (p in 0..1); 0 for no values.
double percentile(QList<double> values, double p);
double msSince(const QElapsedTimer &timer);
// An A4 lesson of numbered pages, each with bodyLines lines of mixed Chinese
// and Latin text, drawn as real lessons are (text, not pictures).
bool writeLessonPdf(const QString &path, int pages, int bodyLines);

} // namespace BenchUtil
