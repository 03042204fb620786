// Times every conversion stage and the whole ConvertFile on photo-like images
// of 1, 4 and 12 megapixels, in ns per pixel (the palette stage also per
// distinct colour), so that growth with the image size shows.
//
//   bmp256-bench [Google Benchmark flags]
//   bmp256-bench --write-photo PATH [MEGAPIXELS]   (the comparison script's source)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <map>
#include <string>
#include <unistd.h>

#include "desktop/convert_file.h"
#include "input/input.h"
#include "mapping/diffusion.h"
#include "mapping/grid.h"
#include "mapping/nearest.h"
#include "quantize/histogram.h"
#include "quantize/palette.h"
#include "platform/alloc.h"
#include "reference/reference.h"
#include "sample_image.h"

using namespace bmp256;

namespace {

constexpr int kFirstSlot = 10;
constexpr int kEndSlot = 246;

// Odd widths, so every row has pad bytes.
void PhotoSize(int megapixels, int32_t* width, int32_t* height) {
    switch (megapixels) {
        case 1: *width = 1153; *height = 867; break;
        case 4: *width = 2309; *height = 1733; break;
        default: *width = 4001; *height = 2999; break;
    }
}

// The picture of our own making as the stages take it.
struct PhotoImage {
    BITMAPINFOHEADER info;
    std::vector<uint8_t> pixels;
};

PhotoImage MakePhotoImage(int32_t width, int32_t height) {
    PhotoImage image{};
    image.info.biSize = 40;
    image.info.biWidth = width;
    image.info.biHeight = height;
    image.info.biPlanes = 1;
    image.info.biBitCount = 24;
    image.info.biSizeImage = uint32_t(ImageSize(&image.info));
    image.pixels = sample::MakeSampleImage(width, height, 1);
    return image;
}

bool WritePhotoBmp(const char* path, const PhotoImage& image) {
    return sample::WriteSampleBmp(path, image.info.biWidth, image.info.biHeight, image.pixels);
}

struct Fixture {
    PhotoImage image;
    PaletteEntry palette[kPaletteSize];
    BITMAPINFOHEADER indexInfo;
    std::string sourcePath;
    std::string outputPath;
};

Fixture& GetFixture(int megapixels) {
    static std::map<int, Fixture*> fixtures;
    Fixture*& f = fixtures[megapixels];
    if (f) return *f;
    f = new Fixture();
    int32_t w, h;
    PhotoSize(megapixels, &w, &h);
    f->image = MakePhotoImage(w, h);
    std::memset(f->palette, 0, sizeof f->palette);
    BuildPalette(&f->palette[kFirstSlot], kEndSlot - kFirstSlot, f->image.pixels.data(), &f->image.info);
    f->indexInfo = f->image.info;
    f->indexInfo.biBitCount = 8;
    f->indexInfo.biSizeImage = uint32_t(ImageSize(&f->indexInfo));
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
    const std::string stem = dir + "/bmp256-bench-" + std::to_string(getpid()) + "-" + std::to_string(megapixels);
    f->sourcePath = stem + ".bmp";
    f->outputPath = stem + "-out.bmp";
    WritePhotoBmp(f->sourcePath.c_str(), f->image);
    return *f;
}

// Time per pixel, shown with its unit (for example "per_px=7.2ns").
void PerPixel(benchmark::State& state, const Fixture& f) {
    const double pixels = double(f.image.info.biWidth) * double(f.image.info.biHeight);
    state.counters["px"] = pixels;
    state.counters["per_px"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Read(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    for (auto _ : state) {
        BITMAPINFOHEADER info;
        uint8_t* pixels = ReadBitmap24(f.sourcePath.c_str(), &info);
        benchmark::DoNotOptimize(pixels);
        FreeBytes(pixels);
    }
    PerPixel(state, f);
}

void BM_Histogram(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    int32_t k = 0;
    for (auto _ : state) {
        ColorEntry* entries = reference::BuildColorHistogram(f.image.pixels.data(), &f.image.info, &k);
        benchmark::DoNotOptimize(entries);
        FreeBytes(entries);
    }
    state.counters["colours"] = k;
    PerPixel(state, f);
}

// The histogram ConvertFile builds.
void BM_HistogramFast(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    int32_t k = 0;
    for (auto _ : state) {
        ColorEntry* entries = BuildColorHistogram(f.image.pixels.data(), &f.image.info, &k, 0);
        benchmark::DoNotOptimize(entries);
        FreeBytes(entries);
    }
    state.counters["colours"] = k;
    PerPixel(state, f);
}

// Box splitting alone, from a ready histogram: linear in the distinct colours.
void BM_Palette(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    int32_t k = 0;
    ColorEntry* entries = reference::BuildColorHistogram(f.image.pixels.data(), &f.image.info, &k);
    std::vector<const ColorEntry*> refs(static_cast<size_t>(k));
    std::vector<ColorBox> boxes(kMaxBoxes);
    PaletteEntry palette[kEndSlot - kFirstSlot];
    for (auto _ : state) {
        for (int32_t i = 0; i < k; ++i) refs[size_t(i)] = &entries[i];
        std::memset(boxes.data(), 0, sizeof(ColorBox) * boxes.size());
        std::memset(palette, 0, sizeof palette);
        reference::ComputeBoxStats(&boxes[0], refs.data(), 0, k);
        reference::SplitBoxes(palette, kEndSlot - kFirstSlot, boxes.data(), refs.data());
        benchmark::DoNotOptimize(palette);
    }
    FreeBytes(entries);
    state.counters["colours"] = k;
    state.counters["per_colour"] =
        benchmark::Counter(double(k), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The split loop ConvertFile runs, from a ready histogram.
void BM_PaletteFast(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    int32_t k = 0;
    ColorEntry* entries = BuildColorHistogram(f.image.pixels.data(), &f.image.info, &k, 0);
    std::vector<const ColorEntry*> refs(static_cast<size_t>(k)), scratch(static_cast<size_t>(k));
    std::vector<ColorBox> boxes(kMaxBoxes);
    PaletteEntry palette[kEndSlot - kFirstSlot];
    for (auto _ : state) {
        for (int32_t i = 0; i < k; ++i) refs[size_t(i)] = &entries[i];
        std::memset(boxes.data(), 0, sizeof(ColorBox) * boxes.size());
        std::memset(palette, 0, sizeof palette);
        ComputeBoxStats(&boxes[0], refs.data(), 0, k);
        SplitBoxes(palette, kEndSlot - kFirstSlot, boxes.data(), refs.data(), scratch.data());
        benchmark::DoNotOptimize(palette);
    }
    FreeBytes(entries);
    state.counters["colours"] = k;
    state.counters["per_colour"] =
        benchmark::Counter(double(k), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_GridBuild(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    PaletteGrid* grid = new PaletteGrid;
    for (auto _ : state) {
        BuildPaletteGrid(grid, f.palette, kFirstSlot, kEndSlot);
        ReleasePaletteGrid(grid);
    }
    delete grid;
}

// The plain search once per source pixel, without diffusion.
void BM_Search(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    PaletteGrid* grid = new PaletteGrid;
    BuildPaletteGrid(grid, f.palette, kFirstSlot, kEndSlot);
    const int32_t stride = RowStride(&f.image.info);
    for (auto _ : state) {
        int64_t sum = 0;
        for (int32_t y = 0; y < f.image.info.biHeight; ++y) {
            const uint8_t* p = &f.image.pixels[size_t(y) * size_t(stride)];
            for (int32_t x = 0; x < f.image.info.biWidth; ++x, p += 3) sum += reference::FindNearestColor(p, grid);
        }
        benchmark::DoNotOptimize(sum);
    }
    ReleasePaletteGrid(grid);
    delete grid;
    PerPixel(state, f);
}

// The search the fast mapping uses (per-cell candidate lists), once per source pixel.
void BM_SearchFast(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    PaletteGrid* grid = new PaletteGrid;
    BuildPaletteGrid(grid, f.palette, kFirstSlot, kEndSlot);
    CandidateTable table;
    BuildCandidateTable(&table, grid);
    const int32_t stride = RowStride(&f.image.info);
    for (auto _ : state) {
        int64_t sum = 0;
        for (int32_t y = 0; y < f.image.info.biHeight; ++y) {
            const uint8_t* p = &f.image.pixels[size_t(y) * size_t(stride)];
            for (int32_t x = 0; x < f.image.info.biWidth; ++x, p += 3)
                sum += FindNearestColor(p, &table);
        }
        benchmark::DoNotOptimize(sum);
    }
    ReleaseCandidateTable(&table);
    ReleasePaletteGrid(grid);
    delete grid;
    PerPixel(state, f);
}

void BM_Diffusion(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    std::vector<uint8_t> indices(f.indexInfo.biSizeImage);
    for (auto _ : state) {
        reference::DiffuseToIndices(indices.data(), &f.indexInfo, f.palette, kFirstSlot, kEndSlot, f.image.pixels.data(),
                         &f.image.info);
        benchmark::DoNotOptimize(indices.data());
    }
    PerPixel(state, f);
}

// The mapping ConvertFile uses, on 1 thread and on one per processor.
void BM_DiffusionFast(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    std::vector<uint8_t> indices(f.indexInfo.biSizeImage);
    const DiffusionOptions options{int(state.range(1)), 1};
    for (auto _ : state) {
        DiffuseToIndices(indices.data(), &f.indexInfo, f.palette, kFirstSlot, kEndSlot, f.image.pixels.data(),
                             &f.image.info, &options);
        benchmark::DoNotOptimize(indices.data());
    }
    PerPixel(state, f);
}

void BM_Write(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    std::vector<uint8_t> indices(f.indexInfo.biSizeImage, 10);
    for (auto _ : state) benchmark::DoNotOptimize(WriteBitmap8(f.outputPath.c_str(), indices.data(), f.palette, &f.indexInfo));
    PerPixel(state, f);
}

void BM_ConvertFile(benchmark::State& state) {
    Fixture& f = GetFixture(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ConvertFile(f.sourcePath.c_str(), f.outputPath.c_str()));
    PerPixel(state, f);
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1)->Arg(4)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Read)->Apply(Sizes);
BENCHMARK(BM_Histogram)->Apply(Sizes);
BENCHMARK(BM_HistogramFast)->Apply(Sizes);
BENCHMARK(BM_Palette)->Apply(Sizes);
BENCHMARK(BM_PaletteFast)->Apply(Sizes);
BENCHMARK(BM_GridBuild)->Apply(Sizes);
BENCHMARK(BM_Search)->Apply(Sizes);
BENCHMARK(BM_SearchFast)->Apply(Sizes);
BENCHMARK(BM_Diffusion)->Apply(Sizes);
BENCHMARK(BM_DiffusionFast)
    ->ArgsProduct({{1, 4, 12}, {1, 0}})
    ->ArgNames({"mp", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Write)->Apply(Sizes);
BENCHMARK(BM_ConvertFile)->Apply(Sizes);

void RemoveFixtureFiles() {
    for (int mp : {1, 4, 12}) {
        // Only fixtures that were made have files; the names need the pid alone.
        const char* tmp = std::getenv("TMPDIR");
        const std::string dir = tmp && *tmp ? tmp : "/tmp";
        const std::string stem = dir + "/bmp256-bench-" + std::to_string(getpid()) + "-" + std::to_string(mp);
        std::remove((stem + ".bmp").c_str());
        std::remove((stem + "-out.bmp").c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--write-photo") == 0) {
        const int mp = argc >= 4 ? std::atoi(argv[3]) : 12;
        int32_t w, h;
        PhotoSize(mp, &w, &h);
        if (!WritePhotoBmp(argv[2], MakePhotoImage(w, h))) {
            std::fprintf(stderr, "bmp256-bench: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    // Every large block fresh from the system, as in a conversion's own
    // process: without this the allocator keeps freed blocks of the smaller
    // images for the next iteration, and only the largest would pay for
    // fresh pages.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFixtureFiles();
    return 0;
}
