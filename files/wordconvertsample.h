#pragma once

#include <QByteArray>
#include <QString>

// A real Word document made from scratch: the minimal OOXML parts in a
// stored ZIP, one A4 page per entry (a heading, a few lines and, when asked,
// a picture of its own). For the self-test and the benchmark, which need a
// .docx of a known page count without shipping one.
enum class SamplePictures { None, OnePerPage };

QByteArray sampleDocx(int pages, SamplePictures pictures);
// Writes sampleDocx to path; false with error set when it cannot.
bool writeSampleDocx(const QString &path, int pages, SamplePictures pictures, QString *error = nullptr);
