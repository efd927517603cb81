#pragma once
// How the program sets up GTK, WebKit and its own heap for windows that hold
// a web page: chosen by measurement (bench/), for start-up time, memory and
// CPU while the user types. The environment variables are meant for this
// process and its web processes only; launched programs should get the
// environment as it was before tune_before_gtk_init().

namespace tav::gtk {

// Before gtk_init and before any thread starts: GTK's cairo renderer, no GL
// in GTK at all, no DMA-BUF renderer in WebKit (the panes do not composite),
// and heap thresholds that keep the renderer's frame buffers.
void tune_before_gtk_init();

// After gtk_init: scrollbars that stay put instead of overlay ones.
void tune_after_gtk_init();

}  // namespace tav::gtk
