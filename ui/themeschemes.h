#pragma once

// The colour-scheme table written by tools/genschemes.mjs (themeschemes.cpp):
// 8 presets x 4 styles, each a light and a dark scheme of 31 RGB triples.
constexpr int kThemeSchemeCount = 32;
constexpr int kThemeRoleCount = 31;
extern const unsigned char kThemeSchemes[kThemeSchemeCount][2][kThemeRoleCount * 3];
