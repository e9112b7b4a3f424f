#pragma once

#include <QThreadPool>

// The application's own worker threads; QThreadPool::globalInstance() stays Qt's. Qt's raster
// engine splits large fills and strokes into jobs on that pool and waits for them, so any long
// job there freezes painting. What runs where:
//   imports()  an import's walk and the header reads and thumbnails it maps over
//   batch()    the batch's pipeline runs, one item at a time
//   views()    previews, the comparison's reductions, SVG parsing and rendering, the studio's
//              decodes and saves, the updater's checks
//   parts()    pieces that a job above splits off and waits for: encoder bands and strips, the
//              comparison's second picture. A part waits for nothing, so a waiting job always
//              gets its parts done; QtConcurrent's blocking calls also work on the calling
//              thread, so a job that maps over its own pool cannot starve either.
namespace WorkPools {

QThreadPool& imports();
QThreadPool& batch();
QThreadPool& views();
QThreadPool& parts();

// Waits for every job and ends the threads, parts last. Runs by itself when the application
// object is destroyed, so no job outlives it into the destruction of statics.
void finish();

// True once finish() has begun: a long job that can end early (an import's remaining files) does,
// so that quitting never waits for it.
bool closing();

} // namespace WorkPools
