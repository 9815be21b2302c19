// AVIFile library (AVIFIL32) of the headless platform: AVI files with one
// video stream, written to disk, and compressing streams over them.
#pragma once

#include "gdi32.h"
#include "win_types.h"

// Opaque interfaces; the library hands out pointers to them.
struct IAVIFile;
struct IAVIStream;
typedef struct IAVIFile* PAVIFILE;
typedef struct IAVIStream* PAVISTREAM;

typedef struct _AVISTREAMINFOA {
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;
    DWORD dwCaps;
    WORD wPriority;
    WORD wLanguage;
    DWORD dwScale;
    DWORD dwRate;
    DWORD dwStart;
    DWORD dwLength;
    DWORD dwInitialFrames;
    DWORD dwSuggestedBufferSize;
    DWORD dwQuality;
    DWORD dwSampleSize;
    RECT rcFrame;
    DWORD dwEditCount;
    DWORD dwFormatChangeCount;
    char szName[64];
} AVISTREAMINFOA, *LPAVISTREAMINFOA;

typedef struct {
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwKeyFrameEvery;
    DWORD dwQuality;
    DWORD dwBytesPerSecond;
    DWORD dwFlags;
    LPVOID lpFormat;
    DWORD cbFormat;
    LPVOID lpParms;
    DWORD cbParms;
    DWORD dwInterleaveEvery;
} AVICOMPRESSOPTIONS, *LPAVICOMPRESSOPTIONS;

#define streamtypeVIDEO mmioFOURCC('v', 'i', 'd', 's')

#define AVICOMPRESSF_INTERLEAVE 0x00000001
#define AVICOMPRESSF_DATARATE 0x00000002
#define AVICOMPRESSF_KEYFRAMES 0x00000004
#define AVICOMPRESSF_VALID 0x00000008

#define AVIIF_LIST 0x00000001L
#define AVIIF_KEYFRAME 0x00000010L

// Error results: severity error, facility ITF, code 0x4000 + n.
#define MAKE_AVIERR(error) ((HRESULT)(0x80040000UL | (0x4000 + (error))))
#define AVIERR_OK 0
#define AVIERR_UNSUPPORTED MAKE_AVIERR(101)
#define AVIERR_BADFORMAT MAKE_AVIERR(102)
#define AVIERR_MEMORY MAKE_AVIERR(103)
#define AVIERR_INTERNAL MAKE_AVIERR(104)
#define AVIERR_BADFLAGS MAKE_AVIERR(105)
#define AVIERR_BADPARAM MAKE_AVIERR(106)
#define AVIERR_BADSIZE MAKE_AVIERR(107)
#define AVIERR_BADHANDLE MAKE_AVIERR(108)
#define AVIERR_FILEREAD MAKE_AVIERR(109)
#define AVIERR_FILEWRITE MAKE_AVIERR(110)
#define AVIERR_FILEOPEN MAKE_AVIERR(111)
#define AVIERR_COMPRESSOR MAKE_AVIERR(112)
#define AVIERR_NOCOMPRESSOR MAKE_AVIERR(113)
#define AVIERR_READONLY MAKE_AVIERR(114)
#define AVIERR_NODATA MAKE_AVIERR(115)
#define AVIERR_BUFFERTOOSMALL MAKE_AVIERR(116)
#define AVIERR_CANTCOMPRESS MAKE_AVIERR(117)
#define AVIERR_USERABORT MAKE_AVIERR(198)
#define AVIERR_ERROR MAKE_AVIERR(199)

void WINAPI AVIFileInit(void);
void WINAPI AVIFileExit(void);
HRESULT WINAPI AVIFileOpenA(PAVIFILE* file, LPCSTR path, UINT mode, LPCLSID handler);
ULONG WINAPI AVIFileRelease(PAVIFILE file);
HRESULT WINAPI AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info);
HRESULT WINAPI AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, AVICOMPRESSOPTIONS* options,
                                       CLSID* handler);
HRESULT WINAPI AVIStreamSetFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG formatSize);
HRESULT WINAPI AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG bufferSize,
                              DWORD flags, LONG* samplesWritten, LONG* bytesWritten);
ULONG WINAPI AVIStreamRelease(PAVISTREAM stream);
