#pragma once

#include <QPdfDocumentRenderOptions>

// How every page is rendered, on the canvas and in the exports alike.
QPdfDocumentRenderOptions pageRenderOptions();
