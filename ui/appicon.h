#pragma once

#include <QIcon>

// The program's own icon (the window, the settings page's badge): every
// size rendered at build time from resources/icons/lectern.svg, the same
// files the package installs into the hicolor theme.
QIcon appIcon();
