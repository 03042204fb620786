#include "mapping/nearest.h"

#include <algorithm>
#include <cstring>

#include "quantize/tone_table.h"
#include "platform/alloc.h"

namespace bmp256 {
namespace {

// Each cell's list holds the nodes the grid walk examines for a query in that
// cell, in the order it meets them (own cell, then shell 1 when the own cell
// has nodes, else every shell up to and including the first that has any):
// keeping the first strictly smaller distance over the list is the walk
// exactly. Lists are padded to whole blocks of eight; a block's tones lie
// together, int16 side by side (the eight blue tones, then green, then red),
// so the distances of a block are one vector operation and one search
// touches few cache lines.

// Lists are padded to whole blocks of kBlock entries with filler candidates
// whose tones are so far from every query tone (at least 1000 - 255 in each
// channel, a distance above 555000 against at most 195075 for a real one)
// that they are never the nearest, while a filler's key (distance times 256
// plus position) still fits 32 bits: 3 * 1000^2 * 256 + 255.
constexpr int32_t kBlock = 8;
constexpr int16_t kFillerTone = 1000;

typedef int16_t Tones __attribute__((vector_size(2 * kBlock)));
typedef int32_t Keys __attribute__((vector_size(4 * kBlock)));

// Entry `at` of the table: its block of kBlock entries holds their blue
// tones, then their green, then their red.
void SetTones(CandidateTable* table, int32_t at, int16_t blue, int16_t green, int16_t red) {
    int16_t* block = table->tones + 3 * size_t(at - at % kBlock);
    block[at % kBlock] = blue;
    block[kBlock + at % kBlock] = green;
    block[2 * kBlock + at % kBlock] = red;
}

int CountNodes(const GridNode* node) {
    int n = 0;
    for (; node; node = node->next) ++n;
    return n;
}

// The cells that hold nodes, in ascending cell index, with their three
// coordinates apart so that distances to all of them are one simple loop.
struct OccupiedCells {
    int count;
    int16_t cell[kGridCells];
    int16_t blue[kGridCells], green[kGridCells], red[kGridCells];
    int16_t distance[kGridCells];  // to the cell being filled in, in shells
};

void AddOccupied(OccupiedCells* occupied, int cell) {
    const int i = occupied->count++;
    occupied->cell[i] = int16_t(cell);
    occupied->blue[i] = int16_t(cell >> 8);
    occupied->green[i] = int16_t((cell >> 4) & 15);
    occupied->red[i] = int16_t(cell & 15);
}

inline int16_t Apart(int16_t a, int16_t b) { return int16_t(a > b ? a - b : b - a); }

// Calls visit(cell index) for every cell holding nodes that FindNearestColor
// examines for a query in cell `own`, in the same order: the own cell, then
// one whole shell, which is shell 1 when the own cell holds nodes and else
// the nearest shell holding any. A shell is walked in ascending cell index,
// so taking its occupied cells in ascending index order meets the same nodes
// in the same order; empty cells add nothing. Shell r is the cells at
// Chebyshev distance r.
template <typename Visit>
void VisitSearchedCells(const PaletteGrid* grid, OccupiedCells* occupied, int own, Visit visit) {
    const int16_t ob = int16_t(own >> 8), og = int16_t((own >> 4) & 15), orr = int16_t(own & 15);
    const int n = occupied->count;
    int16_t nearest = 16;  // beyond every shell: an empty grid yields nothing
    for (int i = 0; i < n; ++i) {
        const int16_t db = Apart(ob, occupied->blue[i]), dg = Apart(og, occupied->green[i]),
                      dr = Apart(orr, occupied->red[i]);
        const int16_t d = std::max(db, std::max(dg, dr));
        occupied->distance[i] = d;
        nearest = std::min(nearest, d);
    }
    int16_t radius = nearest;
    if (grid->heads[own]) {
        visit(own);
        radius = 1;
    }
    for (int i = 0; i < n; ++i)
        if (occupied->distance[i] == radius) visit(occupied->cell[i]);
}

}  // namespace

int BuildCandidateTable(CandidateTable* table, const PaletteGrid* grid) {
    *table = CandidateTable{};
    for (int c = 0; c < kGridCells; ++c)
        for (const GridNode* n = grid->heads[c]; n; n = n->next) {
            if (n->slot < 0 || n->slot > 255) return 0;
            for (int k = 0; k < 3; ++k) table->slotTones[n->slot][k] = ToneTable[(n->color >> (8 * k)) & 0xFF];
        }
    table->listStart = static_cast<int32_t*>(AllocateBytes(sizeof(int32_t) * (kGridCells + 1)));
    if (!table->listStart) return 0;
    OccupiedCells* occupied = static_cast<OccupiedCells*>(AllocateBytes(sizeof(OccupiedCells)));
    if (!occupied) {
        ReleaseCandidateTable(table);
        return 0;
    }
    occupied->count = 0;
    int nodesIn[kGridCells];
    for (int c = 0; c < kGridCells; ++c) {
        nodesIn[c] = CountNodes(grid->heads[c]);
        if (nodesIn[c] > 0) AddOccupied(occupied, c);
    }
    int64_t total = 0;
    for (int c = 0; c < kGridCells; ++c) {
        table->listStart[c] = int32_t(total);
        int n = 0;
        VisitSearchedCells(grid, occupied, c, [&](int cell) { n += nodesIn[cell]; });
        n = (n + kBlock - 1) / kBlock * kBlock;
        total += n;
    }
    table->listStart[kGridCells] = int32_t(total);
    table->tones = static_cast<int16_t*>(AllocateBytes(3 * sizeof(int16_t) * size_t(total)));
    table->slot = static_cast<uint8_t*>(AllocateBytes(size_t(total)));
    if (!table->tones || !table->slot) {
        FreeBytes(occupied);
        ReleaseCandidateTable(table);
        return 0;
    }
    for (int c = 0; c < kGridCells; ++c) {
        int32_t at = table->listStart[c];
        VisitSearchedCells(grid, occupied, c, [&](int cell) {
            for (const GridNode* n = grid->heads[cell]; n; n = n->next, ++at) {
                SetTones(table, at, ToneTable[n->color & 0xFF], ToneTable[(n->color >> 8) & 0xFF],
                         ToneTable[(n->color >> 16) & 0xFF]);
                table->slot[at] = uint8_t(n->slot);
            }
        });
        for (; at < table->listStart[c + 1]; ++at) {
            SetTones(table, at, kFillerTone, kFillerTone, kFillerTone);
            table->slot[at] = 0;
        }
    }
    FreeBytes(occupied);
    return 1;
}

// The distance loop is plain integer arithmetic, the same in every
// instruction set: where the toolchain can pick one at run time (ELF targets),
// a copy for the wider vectors of newer x86 processors is built beside the
// baseline one.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__) && !defined(__clang__)
#define BMP256_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define BMP256_WIDE_VECTORS
#endif

namespace {

// Position in the list of `count` entries at `tones` of the entry nearest to
// the tones (qb, qg, qr): the least distance, and of equal ones the first.
inline int32_t NearestPosition(const int16_t* tones, int32_t count, int32_t qb, int32_t qg, int32_t qr) {
    // Each distance goes with its list position in the low byte (a list holds
    // at most 256 entries: one node per slot, padded to whole blocks), so the
    // least of these keys is the least distance met first, which is the node
    // the grid walk keeps. A block of tones at a time, widened to 32 bits.
    Keys best = {};
    best += 2147483647;
    Keys position = {};
    for (int32_t i = 0; i < kBlock; ++i) position[i] = i;
    for (int32_t i = 0; i < count; i += kBlock, position += kBlock, tones += 3 * kBlock) {
        Tones blue, green, red;
        std::memcpy(&blue, tones, sizeof blue);
        std::memcpy(&green, tones + kBlock, sizeof green);
        std::memcpy(&red, tones + 2 * kBlock, sizeof red);
        const Keys db = qb - __builtin_convertvector(blue, Keys);
        const Keys dg = qg - __builtin_convertvector(green, Keys);
        const Keys dr = qr - __builtin_convertvector(red, Keys);
        const Keys key = (db * db + dg * dg + dr * dr) << 8 | position;
        best = key < best ? key : best;
    }
    int32_t least = best[0];
    for (int32_t i = 1; i < kBlock; ++i) least = best[i] < least ? best[i] : least;
    return least & 0xFF;
}

typedef int32_t Line __attribute__((vector_size(4 * kBlockSide * kBlockSide)));

}  // namespace

BMP256_WIDE_VECTORS
int32_t FindNearestColor(const uint8_t* query, const CandidateTable* table) {
    const int cell = GridCellIndex(query[0], query[1], query[2]);
    const int32_t first = table->listStart[cell];
    const int32_t count = table->listStart[cell + 1] - first;
    if (count == 0) return -1;
    const int16_t* tones = table->tones + 3 * size_t(first);
    return table->slot[first + NearestPosition(tones, count, ToneTable[query[0]], ToneTable[query[1]],
                                               ToneTable[query[2]])];
}

BMP256_WIDE_VECTORS
int FindNearestInBlock(const uint8_t* query, const CandidateTable* table, uint8_t* slots) {
    const int cell = GridCellIndex(query[0], query[1], query[2]);
    const int32_t first = table->listStart[cell];
    const int32_t count = table->listStart[cell + 1] - first;
    if (count == 0) return 0;
    const int16_t* tones = table->tones + 3 * size_t(first);
    // The tones of the block's values, channel by channel; the tone table
    // never falls, so the first of each channel is its least, the last its greatest.
    int32_t tone[3][kBlockSide];
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < kBlockSide; ++v) tone[c][v] = ToneTable[(query[c] & ~(kBlockSide - 1)) + v];
    const int32_t low[3] = {tone[0][0], tone[1][0], tone[2][0]};
    const int32_t high[3] = {tone[0][kBlockSide - 1], tone[1][kBlockSide - 1], tone[2][kBlockSide - 1]};

    // The entry nearest to the query wins over entry i at every colour of the
    // block unless some colour has d(i) < d(w), or d(i) = d(w) with i first.
    // d(i) - d(w) adds up, channel by channel, (w - i)(2t - i - w) for the
    // colour's tone t, a line in t: its least over the block is at the least
    // or the greatest tone of that channel, and the channels are apart, so
    // the least over the block is exact. Entries that never win are left out
    // of the search below; fillers are far enough never to be kept.
    const int32_t p = NearestPosition(tones, count, ToneTable[query[0]], ToneTable[query[1]], ToneTable[query[2]]);
    const int16_t* wp = tones + 3 * size_t(p - p % kBlock) + p % kBlock;
    const int32_t wb = wp[0], wg = wp[kBlock], wr = wp[2 * kBlock];
    int16_t keep[256];
    int32_t kept = 0;
    Keys position = {};
    for (int32_t i = 0; i < kBlock; ++i) position[i] = i;
    const int16_t* at = tones;
    for (int32_t i = 0; i < count; i += kBlock, position += kBlock, at += 3 * kBlock) {
        Tones blue, green, red;
        std::memcpy(&blue, at, sizeof blue);
        std::memcpy(&green, at + kBlock, sizeof green);
        std::memcpy(&red, at + 2 * kBlock, sizeof red);
        const Keys ib = __builtin_convertvector(blue, Keys), ig = __builtin_convertvector(green, Keys),
                   ir = __builtin_convertvector(red, Keys);
        const Keys ab = wb - ib, ag = wg - ig, ar = wr - ir;
        const Keys tb = ab >= 0 ? low[0] : high[0], tg = ag >= 0 ? low[1] : high[1], tr = ar >= 0 ? low[2] : high[2];
        const Keys least = ab * (2 * tb - ib - wb) + ag * (2 * tg - ig - wg) + ar * (2 * tr - ir - wr);
        const Keys kept8 = least < 0 || (least == 0 && position <= p);
        for (int32_t j = 0; j < kBlock; ++j)
            if (kept8[j]) keep[kept++] = int16_t(i + j);
    }

    // Every colour of the block against the kept entries, by the same keys
    // as the search: distance, then list position.
    Line best[kBlockSide];
    for (int b = 0; b < kBlockSide; ++b) best[b] = Line{} + 2147483647;
    for (int32_t k = 0; k < kept; ++k) {
        const int32_t i = keep[k];
        const int16_t* e = tones + 3 * size_t(i - i % kBlock) + i % kBlock;
        Line greenRed;
        for (int g = 0; g < kBlockSide; ++g)
            for (int r = 0; r < kBlockSide; ++r) {
                const int32_t dg = tone[1][g] - e[kBlock], dr = tone[2][r] - e[2 * kBlock];
                greenRed[g * kBlockSide + r] = dg * dg + dr * dr;
            }
        for (int b = 0; b < kBlockSide; ++b) {
            const int32_t db = tone[0][b] - e[0];
            const Line key = (greenRed + db * db) << 8 | i;
            best[b] = key < best[b] ? key : best[b];
        }
    }
    for (int b = 0; b < kBlockSide; ++b)
        for (int gr = 0; gr < kBlockSide * kBlockSide; ++gr)
            slots[b * kBlockSide * kBlockSide + gr] = table->slot[first + (best[b][gr] & 0xFF)];
    return 1;
}

int32_t FirstInList(const uint8_t* query, const CandidateTable* table, int32_t a, int32_t b) {
    const int cell = GridCellIndex(query[0], query[1], query[2]);
    for (int32_t i = table->listStart[cell]; i < table->listStart[cell + 1]; ++i)
        if (table->slot[i] == a || table->slot[i] == b) return table->slot[i];
    return a;
}

void ReleaseCandidateTable(CandidateTable* table) {
    FreeBytes(table->listStart);
    FreeBytes(table->tones);
    FreeBytes(table->slot);
    *table = CandidateTable{};
}

int BuildPaletteCandidates(CandidateTable* table, const PaletteEntry* palette, int firstSlot, int endSlot) {
    PaletteGrid* grid = static_cast<PaletteGrid*>(AllocateBytes(sizeof(PaletteGrid)));
    if (!grid) return 0;
    if (!BuildPaletteGrid(grid, palette, firstSlot, endSlot)) {
        FreeBytes(grid);
        return 0;
    }
    const int built = BuildCandidateTable(table, grid);
    ReleasePaletteGrid(grid);
    FreeBytes(grid);
    return built;
}

}  // namespace bmp256
