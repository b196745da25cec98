#pragma once

#include <QByteArray>
#include <QString>

// A real deck made from scratch, for the benchmark and the self-tests: a
// flat OpenDocument presentation of 16:9 slides, each with a title and a
// picture of its own, which LibreOffice then saves in the format the file
// name asks for (.pptx, .odp, .ppt…).

QByteArray sampleFlatDeck(int slides);
// Writes the deck to path through soffice; false with error set when it
// cannot (no LibreOffice, a failed conversion, an unwritable folder).
bool writeSampleDeck(const QString &path, int slides, const QString &soffice, QString *error = nullptr);
