// Speed of a Wire World generation (WireBoard::step, in place in the cells'
// high four bits) against the plain way with a second board to write into,
// on the sample adder tiled over a 984 x 984 board.
#include "gui/wireboard.h"
#include "ratio.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

constexpr int iTiles = 24;

const WireBoard &tiledBoard() {
    static const WireBoard board = [] {
        std::optional<WireBoard> tile = WireBoard::load(":/wireworld/binary_adder.wires", nullptr);
        if (!tile) {
            std::fprintf(stderr, "bench_wires: the sample board is missing\n");
            std::exit(1);
        }
        const int iW = tile->width(), iH = tile->height();
        WireBoard big(iW * iTiles, iH * iTiles);
        for (int iY = 0; iY < big.height(); ++iY)
            for (int iX = 0; iX < big.width(); ++iX)
                big.setCell(iX, iY, tile->cell(iX % iW, iY % iH));
        return big;
    }();
    return board;
}

void BM_StepInPlace(benchmark::State &state) {
    WireBoard board = tiledBoard();
    for (auto _ : state) {
        board.step();
        benchmark::DoNotOptimize(&board);
    }
}

// The reference: read one board, write the next into another, swap.
void BM_StepTwoBoards(benchmark::State &state) {
    const WireBoard &start = tiledBoard();
    const int iW = start.width(), iH = start.height();
    std::vector<uint8_t> aNow(size_t(iW) * iH), aNext(aNow.size());
    for (int iY = 0; iY < iH; ++iY)
        for (int iX = 0; iX < iW; ++iX)
            aNow[size_t(iY) * iW + iX] = start.cell(iX, iY);
    for (auto _ : state) {
        for (int iY = 0; iY < iH; ++iY)
            for (int iX = 0; iX < iW; ++iX) {
                const uint8_t iCell = aNow[size_t(iY) * iW + iX];
                uint8_t iNew = iCell;
                if (iCell == WireBoard::Head)
                    iNew = WireBoard::Tail;
                else if (iCell == WireBoard::Tail)
                    iNew = WireBoard::Wire;
                else if (iCell == WireBoard::Wire) {
                    int iHeads = 0;
                    for (int iDy = -1; iDy <= 1; ++iDy)
                        for (int iDx = -1; iDx <= 1; ++iDx) {
                            const int iNx = iX + iDx, iNy = iY + iDy;
                            if (iNx >= 0 && iNy >= 0 && iNx < iW && iNy < iH &&
                                aNow[size_t(iNy) * iW + iNx] == WireBoard::Head)
                                ++iHeads;
                        }
                    iNew = iHeads == 1 || iHeads == 2 ? WireBoard::Head : WireBoard::Wire;
                }
                aNext[size_t(iY) * iW + iX] = iNew;
            }
        std::swap(aNow, aNext);
        benchmark::DoNotOptimize(aNow.data());
    }
}

} // namespace

BENCHMARK(BM_StepInPlace)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_StepTwoBoards)->Unit(benchmark::kMillisecond)->MinTime(1.0);

PELIMUND_BENCH_RATIO("WireBoard::step on 984 x 984, vs a two-board step",
                     "BM_StepInPlace/min_time:1.000", "BM_StepTwoBoards/min_time:1.000");
