#pragma once

#include "ink/stroke.h"

#include <QJsonObject>

// The annotation object: the only persistent form of the ink.
//   { "version": 1, "pages": { "<page index>": [ stroke, ... ], ... } }
// A stroke is { "c": "#rrggbb", "w": width, "p": [x0, y0, x1, y1, ...],
// "wf": [factor, ...] } with "wf" present only when a factor really varies.

// Builds the object for the given ink. Colours lose their alpha.
QJsonObject annotationsFromInk(const InkPages &ink);

// Reads an object leniently, member by member: anything malformed degrades
// to its default instead of failing, and nothing is reported. Pages beyond
// the document are kept. Never returns an entry with an empty list.
InkPages inkFromAnnotations(const QJsonObject &annotations);

// One stroke either way (used by the two above).
QJsonObject strokeToJson(const Stroke &stroke);
// A stroke that comes back without points is to be dropped by the caller.
Stroke strokeFromJson(const QJsonValue &value);
