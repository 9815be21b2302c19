#include "ffmpeg_reader.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace ffmpeg {

namespace {

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

struct CommandResult {
    bool ran = false;
    int status = -1;
    std::string output;  // standard output
    std::string errors;  // standard error
};

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a shell command, keeping its standard output and standard error apart.
CommandResult Run(const std::string& command)
{
    CommandResult result;
    char errorsPath[] = "/tmp/ffmpeg_reader_XXXXXX";
    int errorsFd = mkstemp(errorsPath);
    if (errorsFd < 0) return result;
    close(errorsFd);

    std::string full = command + " 2>" + ShellQuoted(errorsPath);
    FILE* pipe = popen(full.c_str(), "r");
    if (pipe) {
        char buffer[1 << 16];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
        result.status = pclose(pipe);
        result.ran = true;
    }
    result.errors = ReadWholeFile(errorsPath);
    unlink(errorsPath);
    return result;
}

std::string Describe(const std::string& what, const CommandResult& run)
{
    if (!run.ran) return what + ": could not run";
    return what + " failed (status " + std::to_string(run.status) + "): " + run.errors;
}

long long NumberOr(const std::string& text, long long fallback)
{
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    return (!text.empty() && end && *end == '\0') ? value : fallback;
}

// Takes one "key=value" line of ffprobe's [STREAM] block into the info of the
// first video stream.
void TakeStreamField(const std::string& key, const std::string& value, StreamInfo* info)
{
    if (key == "codec_name") info->codecName = value;
    if (key == "pix_fmt") info->pixFmt = value;
    if (key == "width") info->width = static_cast<int>(NumberOr(value, 0));
    if (key == "height") info->height = static_cast<int>(NumberOr(value, 0));
    if (key == "r_frame_rate") info->frameRate = value;
    // ffprobe prints a count of zero as N/A (an AVI stream header always
    // holds its length, and the frames are always counted here).
    if (key == "nb_frames") info->headerFrames = NumberOr(value, 0);
    if (key == "nb_read_frames") info->decodedFrames = NumberOr(value, 0);
    if (key == "TAG:title") info->title = value;
}

std::string FieldValue(const std::vector<std::pair<std::string, std::string>>& fields, const std::string& key)
{
    for (const auto& [name, value] : fields) {
        if (name == key) return value;
    }
    return "";
}

using Fields = std::vector<std::pair<std::string, std::string>>;

// ffprobe's [PACKET] and [STREAM] blocks, in the order it prints them.
std::vector<std::pair<std::string, Fields>> Blocks(const std::string& output)
{
    std::vector<std::pair<std::string, Fields>> blocks;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() > 2 && line[0] == '[' && line[1] != '/') {
            blocks.push_back({line, {}});
        } else if (size_t equals = line.find('='); equals != std::string::npos && !blocks.empty()) {
            blocks.back().second.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        }
    }
    return blocks;
}

void ParseProbe(const std::string& output, StreamInfo* info)
{
    auto blocks = Blocks(output);
    std::string videoIndex;
    for (const auto& [kind, fields] : blocks) {
        if (kind != "[STREAM]" || FieldValue(fields, "codec_type") != "video") continue;
        if (++info->videoStreams > 1) continue;
        videoIndex = FieldValue(fields, "index");
        for (const auto& [key, value] : fields) TakeStreamField(key, value, info);
    }
    for (const auto& [kind, fields] : blocks) {
        if (kind != "[PACKET]" || FieldValue(fields, "stream_index") != videoIndex) continue;
        info->packetSizes.push_back(NumberOr(FieldValue(fields, "size"), -1));
        if (FieldValue(fields, "flags").find('K') != std::string::npos) ++info->keyPackets;
    }
}

}  // namespace

bool Probe(const std::string& path, StreamInfo* info, std::string* error)
{
    *info = StreamInfo{};
    CommandResult run = Run(
        "ffprobe -v error -count_frames -show_entries "
        "stream=index,codec_type,codec_name,pix_fmt,width,height,r_frame_rate,nb_frames,nb_read_frames"
        ":stream_tags=title:packet=stream_index,size,flags " +
        ShellQuoted(path));
    if (!run.ran || run.status != 0) {
        if (error) *error = Describe("ffprobe " + path, run);
        return false;
    }
    ParseProbe(run.output, info);
    if (error) *error = run.errors;
    return true;
}

namespace {

// Splits ffmpeg's raw output into frames; returns what went wrong, if anything.
std::string DecodeFrames(const std::string& path, std::vector<std::vector<uint8_t>>* frames)
{
    StreamInfo info;
    std::string problem;
    if (!Probe(path, &info, &problem)) return problem;
    if (info.videoStreams == 0 || info.width <= 0 || info.height <= 0) {
        return "ffprobe " + path + ": no video stream with a size";
    }
    // Every frame as it is stored: none dropped or repeated for timing.
    CommandResult run = Run("ffmpeg -v error -nostdin -i " + ShellQuoted(path) +
                            " -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt bgr24 -");
    if (!run.ran || run.status != 0 || !run.errors.empty()) return Describe("ffmpeg " + path, run);
    size_t frameBytes = static_cast<size_t>(info.width) * static_cast<size_t>(info.height) * 3;
    if (run.output.size() % frameBytes != 0) return "ffmpeg " + path + ": output is not whole frames";
    for (size_t at = 0; at < run.output.size(); at += frameBytes) {
        frames->emplace_back(run.output.begin() + static_cast<std::ptrdiff_t>(at),
                             run.output.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
    }
    return "";
}

}  // namespace

std::vector<std::vector<uint8_t>> DecodeBgr24(const std::string& path, std::string* error)
{
    std::vector<std::vector<uint8_t>> frames;
    std::string problem = DecodeFrames(path, &frames);
    if (!problem.empty()) {
        std::cerr << "DecodeBgr24: " << problem << "\n";
        frames.clear();
    }
    if (error) *error = problem;
    return frames;
}

}  // namespace ffmpeg
