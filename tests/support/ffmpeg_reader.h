// Reads AVI files back through ffprobe and ffmpeg, so that tests check files
// the way an independent player sees them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ffmpeg {

struct StreamInfo {
    int videoStreams = 0;
    std::string codecName, pixFmt;  // of the first video stream
    int width = 0, height = 0;
    std::string frameRate;       // r_frame_rate, e.g. "4/1"
    // Frame counts; ffprobe prints a zero count as N/A, read here as 0.
    long long headerFrames = -1;   // nb_frames, from the stream header
    long long decodedFrames = -1;  // nb_read_frames, counted by decoding
    std::string title;             // the stream's name
    std::vector<long long> packetSizes;  // the stored frames' sizes, in file order
    int keyPackets = 0;                  // how many of them are key frames
};

// Probes the file. On failure returns false with ffprobe's complaint in
// `error`.
bool Probe(const std::string& path, StreamInfo* info, std::string* error);

// Decodes every frame of the first video stream to top-down rows of B, G, R
// bytes. A file that does not decode gives no frames, and the reason goes to
// `error` (if given) and to stderr.
std::vector<std::vector<uint8_t>> DecodeBgr24(const std::string& path, std::string* error = nullptr);

}  // namespace ffmpeg
