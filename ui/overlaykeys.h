#pragma once

class QObject;
class QWidget;

// Floating panels over a page (the palette cards, the page overview) close
// on Escape, but only while they are the front of the active window: an
// Escape meant for a dialog, a menu or another window is not theirs.
// target is the object an application-wide filter saw the key at.
bool panelTakesKey(const QWidget *panel, const QObject *target);
