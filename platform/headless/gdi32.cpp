// The graphics model behind gdi32.h: the screen's pixels, the own surfaces
// of layered windows, device contexts, bitmaps, pens and brushes. USER32's
// GetDC and ReleaseDC live here too, since they hand out device contexts.
//
// Handles are fresh numbers that are never used again, so a handle kept
// after it was released or deleted is recognised and reported as misuse
// instead of reaching something else.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "desktop.h"
#include "raster.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kDefaultScreenWidth = 1920;
constexpr int kDefaultScreenHeight = 1080;
// Pixel memory larger than this is refused as not available.
constexpr long long kMaxDibBytes = 512LL << 20;

// --- Handles ------------------------------------------------------------------

std::uintptr_t lastHandle = 0x10000;

template <typename Handle>
Handle NewHandle()
{
    lastHandle += 4;
    return reinterpret_cast<Handle>(lastHandle);
}

std::string Describe(const void* handle)
{
    return std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

// --- Graphics objects -----------------------------------------------------------

enum class ObjectKind { Bitmap, Pen, Brush };

struct Bitmap {
    std::unique_ptr<BYTE[]> memory;  // lowest address of the pixels
    BITMAPINFOHEADER header{};       // as created, with biSizeImage filled in
    bool dibSection = false;
    int stride = 0;
    raster::Surface surface;
};

struct GdiObject {
    ObjectKind kind = ObjectKind::Bitmap;
    bool stock = false;
    COLORREF colour = kBlack;  // pens and brushes
    bool hollow = false;       // the null brush paints nothing
    std::unique_ptr<Bitmap> bitmap;
};

// Stock objects exist for the whole run and are never deleted; the
// monochrome 1 x 1 bitmap is the one every new memory device context holds.
struct StockObjects {
    std::map<HGDIOBJ, GdiObject> objects;
    std::map<int, HGDIOBJ> byIndex;
    HGDIOBJ defaultBitmap = nullptr;
};

std::unique_ptr<Bitmap> MonochromeBitmap()
{
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->memory.reset(new BYTE[1]());
    bitmap->stride = 2;  // device-dependent rows are padded to 16 bits
    bitmap->surface = raster::Surface{bitmap->memory.get(), 1, 1, 1, raster::PixelFormat::Monochrome};
    return bitmap;
}

HGDIOBJ AddStock(StockObjects& stock, ObjectKind kind, COLORREF colour, bool hollow = false)
{
    GdiObject object;
    object.kind = kind;
    object.stock = true;
    object.colour = colour;
    object.hollow = hollow;
    HGDIOBJ handle = NewHandle<HGDIOBJ>();
    stock.objects.emplace(handle, std::move(object));
    return handle;
}

StockObjects& Stock()
{
    static StockObjects stock = [] {
        StockObjects made;
        made.byIndex[WHITE_BRUSH] = AddStock(made, ObjectKind::Brush, kWhite);
        made.byIndex[BLACK_BRUSH] = AddStock(made, ObjectKind::Brush, kBlack);
        made.byIndex[NULL_BRUSH] = AddStock(made, ObjectKind::Brush, kBlack, true);
        made.byIndex[WHITE_PEN] = AddStock(made, ObjectKind::Pen, kWhite);
        made.byIndex[BLACK_PEN] = AddStock(made, ObjectKind::Pen, kBlack);
        made.defaultBitmap = AddStock(made, ObjectKind::Bitmap, kBlack);
        made.objects[made.defaultBitmap].bitmap = MonochromeBitmap();
        return made;
    }();
    return stock;
}

// --- Device contexts ----------------------------------------------------------

enum class DcKind {
    Screen,  // from GetDC(NULL): the whole screen
    Memory,  // from CreateCompatibleDC: whatever bitmap is selected
};

struct DeviceContext {
    DcKind kind = DcKind::Screen;
    int rop2 = R2_COPYPEN;
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ bitmap = nullptr;  // memory device contexts only
};

// --- The model's state --------------------------------------------------------

// A layered window's own pixels, the size of its outer rectangle. Parts
// that appear when the window grows take its background colour.
struct WindowSurface {
    int width = 0;
    int height = 0;
    COLORREF background = kWhite;
    std::vector<COLORREF> pixels;
};

struct Graphics {
    int screenWidth = kDefaultScreenWidth;
    int screenHeight = kDefaultScreenHeight;
    std::vector<COLORREF> screen =
        std::vector<COLORREF>(static_cast<std::size_t>(kDefaultScreenWidth) * kDefaultScreenHeight, kBlack);
    std::map<HWND, WindowSurface> windowSurfaces;
    std::map<HDC, DeviceContext> dcs;
    std::set<HDC> finishedDcs;  // released or deleted
    std::map<HGDIOBJ, GdiObject> objects;
    std::set<HGDIOBJ> deletedObjects;
    bool failNextDibSection = false;
};

Graphics& State()
{
    static Graphics graphics;
    return graphics;
}

raster::Surface ColorrefSurface(std::vector<COLORREF>& pixels, int width, int height)
{
    return raster::Surface{reinterpret_cast<BYTE*>(pixels.data()), static_cast<std::ptrdiff_t>(width) * 4, width,
                           height, raster::PixelFormat::Colorref};
}

raster::Surface ScreenSurface()
{
    Graphics& g = State();
    return ColorrefSurface(g.screen, g.screenWidth, g.screenHeight);
}

GdiObject* FindObject(HGDIOBJ handle)
{
    auto created = State().objects.find(handle);
    if (created != State().objects.end()) {
        return &created->second;
    }
    auto stock = Stock().objects.find(handle);
    return stock != Stock().objects.end() ? &stock->second : nullptr;
}

void ReportStaleObject(HGDIOBJ handle, const char* caller)
{
    bool deleted = State().deletedObjects.count(handle) != 0;
    desktop::ReportMisuse(std::string(caller) + ": graphics object " + Describe(handle) +
                          (deleted ? " was already deleted" : " is not a graphics object"));
}

// The device context behind a handle, or NULL (reported as misuse) for a
// handle that is not a live device context.
DeviceContext* FindDc(HDC dc, const char* caller)
{
    auto found = State().dcs.find(dc);
    if (found != State().dcs.end()) {
        return &found->second;
    }
    std::string problem;
    if (dc == nullptr) {
        problem = "NULL device context";
    } else if (State().finishedDcs.count(dc) != 0) {
        problem = "device context " + Describe(dc) + " was already released or deleted";
    } else {
        problem = "device context " + Describe(dc) + " is not a device context";
    }
    desktop::ReportMisuse(std::string(caller) + ": " + problem);
    return nullptr;
}

// The device context an object is selected into, or NULL.
HDC HolderOf(HGDIOBJ object)
{
    for (const auto& [handle, dc] : State().dcs) {
        if (dc.pen == object || dc.brush == object || dc.bitmap == object) {
            return handle;
        }
    }
    return nullptr;
}

raster::Surface SurfaceOf(const DeviceContext& dc)
{
    if (dc.kind == DcKind::Memory) {
        return FindObject(dc.bitmap)->bitmap->surface;
    }
    return ScreenSurface();
}

HDC AddDc(DcKind kind)
{
    DeviceContext dc;
    dc.kind = kind;
    dc.pen = Stock().byIndex[BLACK_PEN];
    dc.brush = Stock().byIndex[WHITE_BRUSH];
    if (kind == DcKind::Memory) {
        dc.bitmap = Stock().defaultBitmap;
    }
    HDC handle = NewHandle<HDC>();
    State().dcs.emplace(handle, dc);
    return handle;
}

void FinishDc(HDC dc)
{
    State().dcs.erase(dc);
    State().finishedDcs.insert(dc);
}

// --- Layered windows ----------------------------------------------------------

void ResizeWindowSurface(WindowSurface& surface, int width, int height)
{
    if (surface.width == width && surface.height == height) {
        return;
    }
    std::vector<COLORREF> pixels(static_cast<std::size_t>(width) * height, surface.background);
    for (int y = 0; y < std::min(height, surface.height); ++y) {
        auto row = surface.pixels.begin() + static_cast<std::ptrdiff_t>(y) * surface.width;
        std::copy(row, row + std::min(width, surface.width), pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
    }
    surface.pixels = std::move(pixels);
    surface.width = width;
    surface.height = height;
}

// A window's own surface, sized to its outer rectangle (a fresh one is white).
WindowSurface& SurfaceOfWindow(HWND hwnd, const RECT& outer)
{
    WindowSurface& surface = State().windowSurfaces[hwnd];
    ResizeWindowSurface(surface, std::max<LONG>(0, outer.right - outer.left), std::max<LONG>(0, outer.bottom - outer.top));
    return surface;
}

struct LayeredLayer {
    RECT outer;
    raster::Surface surface;
};

// The visible layered windows, bottom to top, each with its own pixels.
std::vector<LayeredLayer> LayeredLayers()
{
    std::vector<LayeredLayer> layers;
    for (const auto& [hwnd, outer] : desktop::LayeredWindows()) {
        WindowSurface& surface = SurfaceOfWindow(hwnd, outer);
        layers.push_back({outer, ColorrefSurface(surface.pixels, surface.width, surface.height)});
    }
    return layers;
}

// Lays the layered windows over `count` screen pixels of row y from column x.
// Parts of a window off the screen show nowhere: those pixels stay black.
void ComposeLayers(const std::vector<LayeredLayer>& layers, int x, int y, int count, COLORREF* row)
{
    if (y < 0 || y >= State().screenHeight) {
        return;
    }
    for (const LayeredLayer& layer : layers) {
        if (y < layer.outer.top || y >= layer.outer.bottom) {
            continue;
        }
        int first = std::max<int>({x, layer.outer.left, 0});
        int end = std::min<int>({x + count, layer.outer.right, State().screenWidth});
        if (first < end) {
            raster::ReadRow(layer.surface, first - layer.outer.left, y - layer.outer.top, end - first, row + (first - x));
        }
    }
}

// --- Block transfers ------------------------------------------------------------

// The part of a width x height block at (x, y) that lies on the surface.
struct Span {
    int first = 0;
    int end = 0;
    bool Empty() const { return first >= end; }
};

Span Clip(int start, int length, int limit)
{
    long long first = std::max<long long>(start, 0);
    long long end = std::min<long long>(static_cast<long long>(start) + length, limit);
    return Span{static_cast<int>(first), static_cast<int>(std::max(first, end))};
}

void FillBlock(const raster::Surface& target, Span columns, Span rows, COLORREF colour)
{
    for (int y = rows.first; y < rows.end; ++y) {
        raster::FillRow(target, columns.first, y, columns.end - columns.first, colour);
    }
}

void CopyBlock(const raster::Surface& target, int x, int y, Span columns, Span rows, const raster::Surface& source,
               int srcX, int srcY, const std::vector<LayeredLayer>& layers)
{
    int count = columns.end - columns.first;
    int sourceColumn = srcX + (columns.first - x);
    std::vector<COLORREF> row(static_cast<std::size_t>(count));
    // Within one surface, a block moving down is copied from the bottom up
    // so that no row is overwritten before it is read.
    bool bottomUp = target.topRow == source.topRow && y > srcY;
    for (int i = 0; i < rows.end - rows.first; ++i) {
        int targetRow = bottomUp ? rows.end - 1 - i : rows.first + i;
        int sourceRow = srcY + (targetRow - y);
        raster::ReadRow(source, sourceColumn, sourceRow, count, row.data());
        ComposeLayers(layers, sourceColumn, sourceRow, count, row.data());
        raster::WriteRow(target, columns.first, targetRow, count, row.data());
    }
}

bool InCoordinateSpace(const POINT& p)
{
    return p.x >= raster::kMinCoordinate && p.x <= raster::kMaxCoordinate && p.y >= raster::kMinCoordinate &&
           p.y <= raster::kMaxCoordinate;
}

// --- Bitmaps ------------------------------------------------------------------

bool IsSupportedDib(const BITMAPINFO* info, UINT usage, HANDLE section)
{
    if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr) {
        return false;  // colour tables and file mappings are not modelled
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    return header.biSize >= sizeof(BITMAPINFOHEADER) && header.biWidth > 0 && header.biHeight != 0 &&
           header.biPlanes == 1 && (header.biBitCount == 24 || header.biBitCount == 32) &&
           header.biCompression == BI_RGB;
}

std::unique_ptr<Bitmap> NewDibSection(const BITMAPINFOHEADER& requested)
{
    long long stride = raster::DibRowBytes(requested.biWidth, requested.biBitCount);
    long long height = std::llabs(static_cast<long long>(requested.biHeight));
    long long bytes = stride * height;
    if (bytes > kMaxDibBytes) {
        return nullptr;
    }
    // The system's pixel memory starts out zeroed.
    std::unique_ptr<BYTE[]> memory(new (std::nothrow) BYTE[static_cast<std::size_t>(bytes)]());
    if (!memory) {
        return nullptr;
    }
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->dibSection = true;
    bitmap->stride = static_cast<int>(stride);
    bitmap->header = requested;
    bitmap->header.biSize = sizeof(BITMAPINFOHEADER);
    bitmap->header.biSizeImage = static_cast<DWORD>(bytes);
    bool bottomUp = requested.biHeight > 0;
    bitmap->surface.topRow = memory.get() + (bottomUp ? (height - 1) * stride : 0);
    bitmap->surface.rowStep = bottomUp ? -stride : stride;
    bitmap->surface.width = requested.biWidth;
    bitmap->surface.height = static_cast<int>(height);
    bitmap->surface.format = requested.biBitCount == 24 ? raster::PixelFormat::Bgr24 : raster::PixelFormat::Bgrx32;
    bitmap->memory = std::move(memory);
    return bitmap;
}

BITMAP DescribeBitmap(const Bitmap& bitmap)
{
    BITMAP info{};
    info.bmType = 0;
    info.bmWidth = bitmap.surface.width;
    info.bmHeight = bitmap.surface.height;
    info.bmWidthBytes = bitmap.stride;
    info.bmPlanes = 1;
    info.bmBitsPixel = bitmap.dibSection ? bitmap.header.biBitCount : 1;
    // Only a DIB section's pixels are open to the program.
    info.bmBits = bitmap.dibSection ? bitmap.memory.get() : nullptr;
    return info;
}

int CopyOut(const void* record, int size, LPVOID buffer)
{
    std::copy_n(static_cast<const BYTE*>(record), size, static_cast<BYTE*>(buffer));
    return size;
}

}  // namespace

// --- The platform's functions ---------------------------------------------------

HDC WINAPI GetDC(HWND hwnd)
{
    if (hwnd != nullptr) {
        return nullptr;  // a window's own device context is not modelled yet
    }
    return AddDc(DcKind::Screen);
}

int WINAPI ReleaseDC(HWND hwnd, HDC dc)
{
    DeviceContext* context = FindDc(dc, "ReleaseDC");
    if (context == nullptr) {
        return 0;
    }
    if (context->kind == DcKind::Memory) {
        desktop::ReportMisuse("ReleaseDC: device context " + Describe(dc) + " was created; it takes DeleteDC");
        return 0;
    }
    if (hwnd != nullptr) {
        desktop::ReportMisuse("ReleaseDC: device context " + Describe(dc) + " does not belong to that window");
        return 0;
    }
    FinishDc(dc);
    return 1;
}

HDC WINAPI CreateCompatibleDC(HDC dc)
{
    if (dc != nullptr && FindDc(dc, "CreateCompatibleDC") == nullptr) {
        return nullptr;
    }
    return AddDc(DcKind::Memory);
}

BOOL WINAPI DeleteDC(HDC dc)
{
    DeviceContext* context = FindDc(dc, "DeleteDC");
    if (context == nullptr) {
        return FALSE;
    }
    if (context->kind != DcKind::Memory) {
        desktop::ReportMisuse("DeleteDC: device context " + Describe(dc) + " came from GetDC; it takes ReleaseDC");
        return FALSE;
    }
    // The selected bitmap stays alive and is free to be selected elsewhere.
    FinishDc(dc);
    return TRUE;
}

HBITMAP WINAPI CreateDIBSection(HDC /*dc: used for palette colours only*/, const BITMAPINFO* info, UINT usage,
                                void** bits, HANDLE section, DWORD /*offset*/)
{
    if (bits != nullptr) {
        *bits = nullptr;
    }
    if (std::exchange(State().failNextDibSection, false) || !IsSupportedDib(info, usage, section)) {
        return nullptr;
    }
    std::unique_ptr<Bitmap> bitmap = NewDibSection(info->bmiHeader);
    if (!bitmap) {
        return nullptr;
    }
    if (bits != nullptr) {
        *bits = bitmap->memory.get();
    }
    GdiObject object;
    object.kind = ObjectKind::Bitmap;
    object.bitmap = std::move(bitmap);
    HBITMAP handle = NewHandle<HBITMAP>();
    State().objects.emplace(handle, std::move(object));
    return handle;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ handle)
{
    DeviceContext* context = FindDc(dc, "SelectObject");
    if (context == nullptr || handle == nullptr) {
        return nullptr;
    }
    GdiObject* object = FindObject(handle);
    if (object == nullptr) {
        ReportStaleObject(handle, "SelectObject");
        return nullptr;
    }
    HGDIOBJ* slot = nullptr;
    switch (object->kind) {
    case ObjectKind::Pen:
        slot = &context->pen;
        break;
    case ObjectKind::Brush:
        slot = &context->brush;
        break;
    case ObjectKind::Bitmap: {
        // Bitmaps go into memory device contexts only, and into one at a time.
        if (context->kind != DcKind::Memory) {
            return nullptr;
        }
        HDC holder = object->stock ? nullptr : HolderOf(handle);
        if (holder != nullptr && holder != dc) {
            return nullptr;
        }
        slot = &context->bitmap;
        break;
    }
    }
    return std::exchange(*slot, handle);
}

BOOL WINAPI DeleteObject(HGDIOBJ handle)
{
    if (handle == nullptr) {
        return FALSE;
    }
    GdiObject* object = FindObject(handle);
    if (object == nullptr) {
        ReportStaleObject(handle, "DeleteObject");
        return FALSE;
    }
    if (object->stock) {
        return TRUE;  // deleting a stock object is allowed and does nothing
    }
    if (HDC holder = HolderOf(handle)) {
        desktop::ReportMisuse("DeleteObject: graphics object " + Describe(handle) +
                              " is still selected into device context " + Describe(holder));
        return FALSE;
    }
    State().objects.erase(handle);
    State().deletedObjects.insert(handle);
    return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int index)
{
    auto found = Stock().byIndex.find(index);
    return found != Stock().byIndex.end() ? found->second : nullptr;
}

int WINAPI GetObjectA(HGDIOBJ handle, int size, LPVOID buffer)
{
    GdiObject* object = handle != nullptr ? FindObject(handle) : nullptr;
    if (object == nullptr) {
        if (handle != nullptr) {
            ReportStaleObject(handle, "GetObjectA");
        }
        return 0;
    }
    if (object->kind != ObjectKind::Bitmap) {
        return 0;  // pen and brush records are not part of this platform layer
    }
    const Bitmap& bitmap = *object->bitmap;
    const int dibSectionSize = static_cast<int>(sizeof(DIBSECTION));
    const int bitmapSize = static_cast<int>(sizeof(BITMAP));
    if (buffer == nullptr) {
        return bitmap.dibSection ? dibSectionSize : bitmapSize;
    }
    if (bitmap.dibSection && size >= dibSectionSize) {
        DIBSECTION section{};
        section.dsBm = DescribeBitmap(bitmap);
        section.dsBmih = bitmap.header;
        section.dshSection = nullptr;
        section.dsOffset = 0;
        return CopyOut(&section, dibSectionSize, buffer);
    }
    if (size >= bitmapSize) {
        BITMAP info = DescribeBitmap(bitmap);
        return CopyOut(&info, bitmapSize, buffer);
    }
    return 0;
}

int WINAPI SetROP2(HDC dc, int rop2)
{
    DeviceContext* context = FindDc(dc, "SetROP2");
    if (context == nullptr || !raster::IsRop2(rop2)) {
        return 0;
    }
    return std::exchange(context->rop2, rop2);
}

int WINAPI GetROP2(HDC dc)
{
    DeviceContext* context = FindDc(dc, "GetROP2");
    return context != nullptr ? context->rop2 : 0;
}

BOOL WINAPI Polyline(HDC dc, const POINT* points, int count)
{
    DeviceContext* context = FindDc(dc, "Polyline");
    if (context == nullptr || points == nullptr || count < 2) {
        return FALSE;
    }
    if (!std::all_of(points, points + count, InCoordinateSpace)) {
        return FALSE;
    }
    COLORREF pen = FindObject(context->pen)->colour;
    raster::Surface surface = SurfaceOf(*context);
    for (int i = 0; i + 1 < count; ++i) {
        for (const POINT& p : raster::LinePixels(points[i], points[i + 1], surface.width, surface.height)) {
            COLORREF under = raster::ReadPixel(surface, p.x, p.y);
            raster::WritePixel(surface, p.x, p.y, raster::ApplyRop2(context->rop2, pen, under));
        }
    }
    return TRUE;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop)
{
    DeviceContext* target = FindDc(dest, "BitBlt");
    if (target == nullptr) {
        return FALSE;
    }
    bool withLayeredWindows = (rop & CAPTUREBLT) != 0;
    DWORD operation = rop & ~static_cast<DWORD>(CAPTUREBLT);
    if (operation != SRCCOPY && operation != BLACKNESS && operation != WHITENESS) {
        return FALSE;  // other raster operations are not modelled
    }
    raster::Surface to = SurfaceOf(*target);
    Span columns = Clip(x, width, to.width);
    Span rows = Clip(y, height, to.height);
    if (operation != SRCCOPY) {
        if (!columns.Empty() && !rows.Empty()) {
            FillBlock(to, columns, rows, operation == BLACKNESS ? kBlack : kWhite);
        }
        return TRUE;
    }
    DeviceContext* source = FindDc(src, "BitBlt");
    if (source == nullptr) {
        return FALSE;
    }
    if (columns.Empty() || rows.Empty()) {
        return TRUE;
    }
    // Layered windows are not part of the screen's own pixels: only a copy
    // that asks for them with CAPTUREBLT sees them.
    std::vector<LayeredLayer> layers;
    if (withLayeredWindows && source->kind == DcKind::Screen) {
        layers = LayeredLayers();
    }
    CopyBlock(to, x, y, columns, rows, SurfaceOf(*source), srcX, srcY, layers);
    return TRUE;
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y)
{
    DeviceContext* context = FindDc(dc, "GetPixel");
    if (context == nullptr) {
        return CLR_INVALID;
    }
    raster::Surface surface = SurfaceOf(*context);
    return raster::Contains(surface, x, y) ? raster::ReadPixel(surface, x, y) : CLR_INVALID;
}

COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF colour)
{
    DeviceContext* context = FindDc(dc, "SetPixel");
    if (context == nullptr) {
        return CLR_INVALID;
    }
    raster::Surface surface = SurfaceOf(*context);
    if (!raster::Contains(surface, x, y)) {
        return CLR_INVALID;
    }
    raster::WritePixel(surface, x, y, colour);
    return raster::StoredColour(surface.format, colour);
}

// --- The model's side, for tests ----------------------------------------------

namespace desktop {

void ResetGraphics()
{
    State() = Graphics{};
    // Drawing into a fresh memory device context lands in the shared
    // default bitmap; start it black again.
    Stock().objects[Stock().defaultBitmap].bitmap->memory[0] = 0;
}

void ResizeScreen(int width, int height)
{
    Graphics& g = State();
    g.screenWidth = std::max(width, 0);
    g.screenHeight = std::max(height, 0);
    g.screen.assign(static_cast<std::size_t>(g.screenWidth) * g.screenHeight, kBlack);
}

int ScreenWidth()
{
    return State().screenWidth;
}

int ScreenHeight()
{
    return State().screenHeight;
}

void FillScreen(COLORREF colour)
{
    std::fill(State().screen.begin(), State().screen.end(), colour & kWhite);
}

void PaintScreen(const std::function<COLORREF(int x, int y)>& colourAt)
{
    Graphics& g = State();
    for (int y = 0; y < g.screenHeight; ++y) {
        for (int x = 0; x < g.screenWidth; ++x) {
            g.screen[static_cast<std::size_t>(y) * g.screenWidth + x] = colourAt(x, y) & kWhite;
        }
    }
}

COLORREF ScreenPixel(int x, int y)
{
    raster::Surface screen = ScreenSurface();
    return raster::Contains(screen, x, y) ? raster::ReadPixel(screen, x, y) : CLR_INVALID;
}

void SetScreenPixel(int x, int y, COLORREF colour)
{
    raster::Surface screen = ScreenSurface();
    if (raster::Contains(screen, x, y)) {
        raster::WritePixel(screen, x, y, colour);
    }
}

COLORREF VisiblePixel(int x, int y)
{
    raster::Surface screen = ScreenSurface();
    if (!raster::Contains(screen, x, y)) {
        return CLR_INVALID;
    }
    COLORREF pixel = raster::ReadPixel(screen, x, y);
    ComposeLayers(LayeredLayers(), x, y, 1, &pixel);
    return pixel;
}

void FillLayeredWindow(HWND hwnd, COLORREF colour)
{
    WindowSurface& surface = State().windowSurfaces[hwnd];
    surface.background = colour & kWhite;
    RECT outer;
    if (IsWindow(hwnd) && GetWindowRect(hwnd, &outer)) {
        ResizeWindowSurface(surface, std::max<LONG>(0, outer.right - outer.left),
                            std::max<LONG>(0, outer.bottom - outer.top));
    }
    std::fill(surface.pixels.begin(), surface.pixels.end(), surface.background);
}

void FailNextDibSection()
{
    State().failNextDibSection = true;
}

int LiveDeviceContexts()
{
    return static_cast<int>(State().dcs.size());
}

int LiveGdiObjects()
{
    return static_cast<int>(State().objects.size());
}

}  // namespace desktop
