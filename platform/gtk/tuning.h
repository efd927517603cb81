#pragma once
// How the program sets up GTK, WebKit and its own heap for a window that holds
// one web page: chosen by measurement (bench/), for start-up time, memory and
// CPU while the user types. Programs the program launches get the environment
// it was started with, not these choices.

#include <string>
#include <vector>

namespace tav::gtk {

// Before gtk_init and before any thread starts: GTK's cairo renderer, no GL
// in GTK at all, no DMA-BUF renderer in WebKit (the panes do not composite),
// and heap thresholds that keep the renderer's frame buffers. Remembers the
// environment as it was.
void tune_before_gtk_init();

// After gtk_init: scrollbars that stay put instead of overlay ones.
void tune_after_gtk_init();

// NAME=VALUE entries of the environment as it was before
// tune_before_gtk_init() (the current one if it was never called).
std::vector<std::string> launch_environment();

}  // namespace tav::gtk
