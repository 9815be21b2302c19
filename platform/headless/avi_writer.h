// The on-disk side of the headless AVIFile library: an AVI 1.0 file (RIFF,
// little-endian) with one stream, whose frame chunks go to disk as they are
// written and whose headers and index are written when the file is finished.
//
// Layout:
//   RIFF 'AVI '
//     LIST 'hdrl'  avih, LIST 'strl' (strh, strf, strn)
//     JUNK         fills the fixed header area
//     LIST 'movi'  at kMoviListOffset: '00db' / '00dc' frame chunks
//     idx1         one entry per frame, offsets from the 'movi' fourcc
// The header area has a fixed size, so the frames' place is known before the
// stream's format is, and the headers can be written last over the area.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win_types.h"

namespace avi {

// Where the 'movi' list starts; the headers must fit in front of it.
constexpr uint64_t kMoviListOffset = 2036;
// Bytes in front of the first frame chunk: the header area and the 'movi'
// list's own header.
constexpr uint64_t kHeaderAreaBytes = kMoviListOffset + 12;
constexpr uint32_t kIndexEntryBytes = 16;

constexpr uint32_t kUncompressedChunk = mmioFOURCC('0', '0', 'd', 'b');
constexpr uint32_t kCompressedChunk = mmioFOURCC('0', '0', 'd', 'c');

// What the stream header says about the one stream; the length and buffer
// sizes come from the frames written.
struct StreamHeader {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DWORD flags = 0;
    WORD priority = 0;
    WORD language = 0;
    DWORD initialFrames = 0;
    DWORD scale = 1;
    DWORD rate = 1;
    DWORD start = 0;
    DWORD quality = 0;
    DWORD sampleSize = 0;
    RECT frame = {0, 0, 0, 0};
    std::string name;
    std::vector<BYTE> format;  // the strf chunk's contents
};

struct IndexEntry {
    uint32_t chunkId;
    uint32_t flags;
    uint32_t offset;  // from the 'movi' fourcc
    uint32_t size;
};

struct Writer {
    int fd = -1;
    uint64_t end = kHeaderAreaBytes;  // where the next chunk goes
    std::vector<IndexEntry> index;
    uint32_t largestChunk = 0;
};

// Creates (or truncates) the file and writes the placeholder header area.
bool Create(Writer& writer, const std::string& path);

// Bytes a chunk of this size takes in the file: header, data, pad byte.
uint64_t ChunkFileBytes(uint32_t size);
// The size the finished file would have after one more chunk of this size.
uint64_t FinishedSizeWithChunk(const Writer& writer, uint32_t size);
// The largest format the fixed header area has room for next to this name.
size_t LargestFormatBytes(const std::string& name);

// Appends one chunk and its index entry. On a failed write the file is cut
// back to where it was, so the chunk is not in it and the file stays whole.
bool AppendChunk(Writer& writer, uint32_t chunkId, const void* data, uint32_t size, uint32_t flags);

// Writes the index and the headers (when there is a stream) and closes the
// file. Returns false when a write failed.
bool Finish(Writer& writer, const StreamHeader* stream);

// Closes the file as it is, without headers or index.
void Abandon(Writer& writer);

}  // namespace avi
