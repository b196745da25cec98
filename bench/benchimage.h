#pragma once

#include <QString>

// The picture half of --bench-open.

// A picture that does not exist yet is generated at file as a 4000 × 3000
// photo-like JPEG (smooth shading with sensor-like noise, about the size a
// phone camera writes); madeMs gets the time that took (0 when it existed).
bool ensureBenchPhoto(const QString &file, double *madeMs);

// Wraps file into its PDF exactly as the open flow does. Prints image_px,
// image_bytes, image_wrap_ms, image_wrap_cpu_ms (all threads), wrapper_bytes
// and wrap_rss_peak_mb; false with a message on standard error when it
// cannot be wrapped.
bool wrapImageForBench(const QString &file, QString *pdfPath);
