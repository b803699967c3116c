#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/plane.h"
#include <fuzzer/FuzzedDataProvider.h>

// Stops the run on a broken invariant; libFuzzer then saves the input as a crash file.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void(0) : tolvane::fuzz::fail(#condition, __FILE__, __LINE__))

namespace tolvane::fuzz {

[[noreturn]] inline void fail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

struct Size
{
    int width = 0;
    int height = 0;
};

// A picture size: mostly up to 300 x 200; now and then 0 to 3 columns (up to 600 rows) or rows,
// or a strip up to `stripWidth` columns wide and 60 rows high.
inline Size consumeSize(FuzzedDataProvider &in, int stripWidth)
{
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 5:
        return {in.ConsumeIntegralInRange(1, stripWidth), in.ConsumeIntegralInRange(1, 60)};
    case 6:
        return {in.ConsumeIntegralInRange(0, 3), in.ConsumeIntegralInRange(0, 600)};
    case 7:
        return {in.ConsumeIntegralInRange(0, 300), in.ConsumeIntegralInRange(0, 3)};
    default:
        return {in.ConsumeIntegralInRange(1, 300), in.ConsumeIntegralInRange(1, 200)};
    }
}

// Bytes read round and round, so that a short input still fills a large picture; zeros when
// there are none.
class CyclicBytes
{
public:
    explicit CyclicBytes(std::vector<std::uint8_t> bytes)
        : m_bytes(std::move(bytes))
    { }
    std::uint8_t next()
    {
        if (m_bytes.empty())
            return 0;
        const std::uint8_t byte = m_bytes[m_next];
        m_next = (m_next + 1) % m_bytes.size();
        return byte;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_next = 0;
};

// Draws a picture as wires over a textured ground: up to 8 palette values, up to 6 strokes
// (1 to 6 rows thick, sloping by a quarter row per column and step), then the remaining input
// read round and round as palette indices for the ground. Consumes the rest of `in`.
template <typename T> void drawPicture(FuzzedDataProvider &in, Plane<T> picture)
{
    std::array<T, 8> palette {};
    const int colours = in.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < colours; ++i)
        palette[i] = in.ConsumeIntegral<T>();
    struct Stroke
    {
        int x, y, length, thickness, slope, colour;
    };
    std::vector<Stroke> strokes(in.ConsumeIntegralInRange(0, 6));
    for (Stroke &s : strokes) {
        s = {in.ConsumeIntegralInRange(-20, picture.width), in.ConsumeIntegralInRange(-5, 205),
            in.ConsumeIntegralInRange(0, 1200), in.ConsumeIntegralInRange(1, 6),
            in.ConsumeIntegralInRange(-12, 12), in.ConsumeIntegralInRange(0, colours - 1)};
    }
    CyclicBytes ground(in.ConsumeRemainingBytes<std::uint8_t>());
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x)
            picture.at(x, y) = palette[ground.next() % colours];
    }
    for (const Stroke &s : strokes) {
        for (int i = 0; i < s.length; ++i) {
            const int x = s.x + i, top = s.y + s.slope * i / 4;
            for (int y = std::max(top, 0); y < std::min(top + s.thickness, picture.height); ++y) {
                if (x >= 0 && x < picture.width)
                    picture.at(x, y) = palette[s.colour];
            }
        }
    }
}

} // namespace tolvane::fuzz
