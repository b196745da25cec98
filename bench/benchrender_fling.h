#pragma once

class PdfCanvas;

// A steady fling at a reader's pace, frame by frame at 60 frames a second.
struct FlingFigures
{
    int frames = 0;
    double slowFramePct = 0;     // frames whose paint took over 16.7 ms
    double frameMsP95 = 0;
    int syncRenders = 0;         // pages rendered on screen during a frame
    int pages = 0;               // pages travelled
};

FlingFigures runFling(PdfCanvas &canvas, int pages, double pagesPerSecond);
