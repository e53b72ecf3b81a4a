#pragma once
// A minimal AVI file: one video stream of JPEG frames (MJPG), with the legacy index, which
// every common player reads.

#include <cstdint>
#include <string>
#include <vector>

// frames: the JPEG bytes of each frame, all width x height. Returns the file's bytes.
std::string MakeMjpegAvi(const std::vector<std::vector<std::uint8_t>>& frames, int width,
                         int height, int framesPerSecond);
