#include "video_compressors.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "desktop.h"
#include "raster.h"
#include "run_length.h"

namespace compressors {

namespace {

// What a run-length state block holds: a tag and a version, as a compressor
// would keep to recognise its own state.
constexpr BYTE kRunLengthState[8] = {'L', 'R', 'L', 'E', 1, 0, 0, 0};
constexpr BYTE kPoison = 0xDD;

struct StateBlock {
    std::vector<BYTE> bytes;
    bool freed = false;
};

std::vector<std::unique_ptr<StateBlock>> stateBlocks;

StateBlock* FindStateBlock(LPCVOID address)
{
    for (auto& block : stateBlocks) {
        if (block->bytes.data() == address) return block.get();
    }
    return nullptr;
}

bool IsUncompressed24(const BITMAPINFOHEADER& input)
{
    return input.biCompression == BI_RGB && input.biBitCount == 24;
}

}  // namespace

const std::vector<DWORD>& Handlers()
{
    static const std::vector<DWORD> handlers = {desktop::kUncompressedHandler, desktop::kRunLengthHandler};
    return handlers;
}

bool Exists(DWORD handler)
{
    const std::vector<DWORD>& all = Handlers();
    return std::find(all.begin(), all.end(), handler) != all.end();
}

uint32_t UncompressedFrameBytes(const BITMAPINFOHEADER& format)
{
    if (format.biCompression != BI_RGB || format.biWidth <= 0 || format.biHeight <= 0) return 0;
    uint64_t stride = static_cast<uint64_t>(raster::DibRowBytes(format.biWidth, format.biBitCount));
    uint64_t bytes = stride * static_cast<uint64_t>(format.biHeight);
    // Frames are handed over with a LONG size.
    return bytes <= INT32_MAX ? static_cast<uint32_t>(bytes) : 0;
}

bool TakesFormat(DWORD handler, const BITMAPINFOHEADER& input)
{
    uint32_t frameBytes = UncompressedFrameBytes(input);
    if (frameBytes == 0 || input.biPlanes != 1) return false;
    if (input.biSizeImage != 0 && input.biSizeImage != frameBytes) return false;
    if (handler == desktop::kUncompressedHandler) {
        return input.biBitCount == 16 || input.biBitCount == 24 || input.biBitCount == 32;
    }
    if (handler == desktop::kRunLengthHandler) return IsUncompressed24(input);
    return false;
}

std::vector<BYTE> StoredFormat(DWORD handler, const BYTE* input, size_t inputSize)
{
    std::vector<BYTE> format(input, input + inputSize);
    if (handler != desktop::kRunLengthHandler) return format;
    BITMAPINFOHEADER header;
    std::memcpy(&header, input, sizeof header);
    header.biCompression = desktop::kRunLengthHandler;
    size_t worstCase = rle24::MaxEncodedBytes(header.biWidth, header.biHeight);
    header.biSizeImage = worstCase <= UINT32_MAX ? static_cast<DWORD>(worstCase) : 0;
    std::memcpy(format.data(), &header, sizeof header);
    return format;
}

const BYTE* CompressFrame(DWORD handler, const BITMAPINFOHEADER& input, const BYTE* frame,
                          std::vector<BYTE>& scratch, uint32_t* storedSize, uint32_t* chunkId)
{
    if (handler != desktop::kRunLengthHandler) {
        *storedSize = UncompressedFrameBytes(input);
        *chunkId = mmioFOURCC('0', '0', 'd', 'b');
        return frame;
    }
    size_t stride = UncompressedFrameBytes(input) / static_cast<size_t>(input.biHeight);
    scratch.resize(rle24::MaxEncodedBytes(input.biWidth, input.biHeight));
    size_t encoded = rle24::EncodeFrame(frame, input.biWidth, input.biHeight, stride, scratch.data());
    *storedSize = static_cast<uint32_t>(encoded);
    *chunkId = mmioFOURCC('0', '0', 'd', 'c');
    return scratch.data();
}

bool HasState(DWORD handler)
{
    return handler == desktop::kRunLengthHandler;
}

LPVOID NewState(DWORD handler, LONG* size)
{
    *size = 0;
    if (!HasState(handler)) return nullptr;
    auto block = std::make_unique<StateBlock>();
    block->bytes.assign(std::begin(kRunLengthState), std::end(kRunLengthState));
    *size = static_cast<LONG>(block->bytes.size());
    stateBlocks.push_back(std::move(block));
    return stateBlocks.back()->bytes.data();
}

StateCheck CheckState(DWORD handler, LPCVOID parms, DWORD size)
{
    if (parms == nullptr && size == 0) return StateCheck::Valid;
    if (!HasState(handler)) return StateCheck::Valid;  // nothing to read: ignored
    StateBlock* block = FindStateBlock(parms);
    if (block && block->freed) return StateCheck::Freed;
    if (parms == nullptr || size != sizeof kRunLengthState) return StateCheck::Foreign;
    // Not one of ours (say, a copy the program keeps): its contents decide.
    return std::memcmp(parms, kRunLengthState, size) == 0 ? StateCheck::Valid : StateCheck::Foreign;
}

FreeResult FreeState(LPVOID state)
{
    StateBlock* block = FindStateBlock(state);
    if (!block) return FreeResult::Unknown;
    if (block->freed) return FreeResult::AlreadyFreed;
    std::fill(block->bytes.begin(), block->bytes.end(), kPoison);
    block->freed = true;
    return FreeResult::Freed;
}

void ResetStates()
{
    stateBlocks.clear();
}

}  // namespace compressors
