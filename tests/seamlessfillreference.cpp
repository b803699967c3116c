#include "seamlessfillreference.h"

#include <algorithm>
#include <cmath>

#include "removal/seamlessfill.h"

namespace reference {

namespace {

using namespace tolvane::seamless;

float channel(Argb pixel, int c)
{
    return float((pixel >> (8 * c)) & 0xFFu);
}

Argb pack(const float *value)
{
    Argb pixel = 0;
    for (int c = 0; c < 4; ++c)
        pixel |= Argb(int(std::clamp(value[c], 0.0f, 255.0f) + 0.5f)) << (8 * c);
    return pixel;
}

} // namespace

std::vector<Argb> seamlessFill(
    const std::vector<Argb> &photo, const std::vector<Argb> &mask, int width, int height)
{
    std::vector<Argb> result = photo;
    auto index = [&](int x, int y) { return std::size_t(y) * std::size_t(width) + std::size_t(x); };
    auto inside = [&](int x, int y) { return x >= 0 && x < width && y >= 0 && y < height; };
    auto markedInMask
        = [&](int x, int y) { return inside(x, y) && tolvane::isMarked(mask[index(x, y)]); };
    auto nextToMark = [&](int x, int y) {
        return markedInMask(x - 1, y) || markedInMask(x + 1, y) || markedInMask(x, y - 1)
            || markedInMask(x, y + 1);
    };

    // The fringe joins the marks: a clean pixel p next to a marked pixel m, with clean q and
    // then r beyond p on the other side, where m is darker than q (its channels' sum lower) and
    // at least fringeContrast apart from it, whose colour lies between fringeShare and
    // fringeUpTo of the way from q to m, no farther off that line than along it, and whose step
    // from q is fringeSharpness times that from r to q or more.
    std::vector<char> taken(photo.size(), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (markedInMask(x, y)) {
                taken[index(x, y)] = 1;
                continue;
            }
            const int steps[4][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
            for (const auto &step : steps) {
                const int mx = x + step[0], my = y + step[1];
                const int qx = x - step[0], qy = y - step[1];
                const int rx = x - 2 * step[0], ry = y - 2 * step[1];
                if (!markedInMask(mx, my) || !inside(rx, ry) || markedInMask(qx, qy))
                    continue;
                const Argb p = photo[index(x, y)], m = photo[index(mx, my)];
                const Argb q = photo[index(qx, qy)], r = photo[index(rx, ry)];
                float dot = 0, contrast = 0, own = 0, beyond = 0, darker = 0;
                for (int c = 0; c < 3; ++c) {
                    darker -= channel(m, c) - channel(q, c);
                    dot += (channel(p, c) - channel(q, c)) * (channel(m, c) - channel(q, c));
                    contrast += (channel(m, c) - channel(q, c)) * (channel(m, c) - channel(q, c));
                    own += (channel(p, c) - channel(q, c)) * (channel(p, c) - channel(q, c));
                    beyond += (channel(q, c) - channel(r, c)) * (channel(q, c) - channel(r, c));
                }
                if (darker <= 0 || contrast < fringeContrast * fringeContrast)
                    continue;
                const float along = dot * dot / contrast;
                if (dot >= fringeShare * contrast && dot <= fringeUpTo * contrast
                    && own >= fringeSharpness * beyond && own - along <= along)
                    taken[index(x, y)] = 1;
            }
            // Or it stands out from the clean pixels within fringeReach that are not next to a
            // mark: a channel farther than fringeStandOut from their mean, and than
            // fringeTextures times their mean distance from it, with a marked neighbour
            // farther still (all in units of 1 / count, to stay in whole numbers).
            if (!nextToMark(x, y) || taken[index(x, y)])
                continue;
            std::vector<Argb> around;
            for (int qy = y - fringeReach; qy <= y + fringeReach; ++qy) {
                for (int qx = x - fringeReach; qx <= x + fringeReach; ++qx) {
                    if (inside(qx, qy) && !markedInMask(qx, qy) && !nextToMark(qx, qy))
                        around.push_back(photo[index(qx, qy)]);
                }
            }
            const int count = int(around.size());
            for (int c = 0; c < 3 && count > 0; ++c) {
                int sum = 0;
                for (Argb q : around)
                    sum += int(channel(q, c));
                int spread = 0;
                for (Argb q : around)
                    spread += std::abs(int(channel(q, c)) * count - sum);
                const int signedOff = int(channel(photo[index(x, y)], c)) * count - sum;
                const int off = std::abs(signedOff);
                // A marked neighbour on the same side, fringeBeyond times as far out.
                bool beyond = false;
                const int steps[4][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
                for (const auto &step : steps) {
                    const int mx = x + step[0], my = y + step[1];
                    if (!markedInMask(mx, my))
                        continue;
                    const int m = int(channel(photo[index(mx, my)], c)) * count - sum;
                    if ((m > 0) == (signedOff > 0) && std::abs(m) > fringeBeyond * off)
                        beyond = true;
                }
                if (beyond && off > fringeStandOut * count && off * count > fringeTextures * spread)
                    taken[index(x, y)] = 1;
            }
        }
    }
    auto marked = [&](int x, int y) { return inside(x, y) && taken[index(x, y)]; };

    // The marked stretch through each pixel: rows top ... bottom - 1 of its column, columns
    // first ... last - 1 of its row.
    const std::size_t size = photo.size();
    std::vector<int> top(size), bottom(size), first(size), last(size);
    bool anyMarked = false, anyClean = false;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!marked(x, y)) {
                anyClean = true;
                continue;
            }
            anyMarked = true;
            int t = y, b = y, f = x, l = x;
            while (marked(x, t - 1))
                --t;
            while (marked(x, b + 1))
                ++b;
            while (marked(f - 1, y))
                --f;
            while (marked(l + 1, y))
                ++l;
            top[index(x, y)] = t;
            bottom[index(x, y)] = b + 1;
            first[index(x, y)] = f;
            last[index(x, y)] = l + 1;
        }
    }
    if (!anyMarked)
        return result;

    // Start: the straight interpolation along the shorter stretch.
    std::vector<float> u(size * 4, 0.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!marked(x, y))
                continue;
            const std::size_t i = index(x, y);
            const int columnLength = bottom[i] - top[i], rowLength = last[i] - first[i];
            bool alongColumn = columnLength <= rowLength;
            if (alongColumn && top[i] == 0 && bottom[i] == height)
                alongColumn = false;
            else if (!alongColumn && first[i] == 0 && last[i] == width)
                alongColumn = true;
            int ax = x, ay = y, bx = x, by = y;
            float t;
            if (alongColumn) {
                ay = top[i] - 1;
                by = bottom[i];
                t = float(y - top[i] + 1) / float(columnLength + 1);
            } else {
                ax = first[i] - 1;
                bx = last[i];
                t = float(x - first[i] + 1) / float(rowLength + 1);
            }
            const bool hasA = inside(ax, ay), hasB = inside(bx, by);
            for (int c = 0; c < 4; ++c) {
                if (!hasA && !hasB) {
                    u[i * 4 + c] = channel(photo[i], c);
                    continue;
                }
                const float a = channel(photo[index(hasA ? ax : bx, hasA ? ay : by)], c);
                const float b = channel(photo[index(hasB ? bx : ax, hasB ? by : ay)], c);
                u[i * 4 + c] = a + t * (b - a);
            }
        }
    }

    // Red-black over-relaxation of the membrane; clean neighbours are fixed, those outside
    // the photo left out.
    auto neighbour = [&](int x, int y, int c) {
        if (!inside(x, y))
            return 0.0f;
        return marked(x, y) ? u[index(x, y) * 4 + c] : channel(photo[index(x, y)], c);
    };
    for (int sweep = 0; anyClean && sweep < sweepCount; ++sweep) {
        for (int colour = 0; colour < 2; ++colour) {
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (!marked(x, y) || ((x + y) & 1) != colour)
                        continue;
                    const int count
                        = inside(x, y - 1) + inside(x, y + 1) + inside(x - 1, y) + inside(x + 1, y);
                    const float weight = count > 0 ? 1.0f / float(count) : 0.0f;
                    for (int c = 0; c < 4; ++c) {
                        const float sum = neighbour(x, y - 1, c) + neighbour(x, y + 1, c)
                            + neighbour(x - 1, y, c) + neighbour(x + 1, y, c);
                        float &value = u[index(x, y) * 4 + c];
                        value += relaxation * (sum * weight - value);
                    }
                }
            }
        }
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (taken[i])
            result[i] = pack(&u[i * 4]);
    }

    // Texture: the high-pass (pixel minus a 5 x 5 binomial blur, border repeated) of the smooth
    // picture at the mirror pixels beyond both ends of the shorter stretch.
    auto highPass = [&](int x, int y, int c) {
        static constexpr float taps[5] = {1, 4, 6, 4, 1};
        float sum = 0.0f;
        for (int j = 0; j < 5; ++j) {
            for (int k = 0; k < 5; ++k) {
                const int sx = std::clamp(x + k - 2, 0, width - 1);
                const int sy = std::clamp(y + j - 2, 0, height - 1);
                sum += taps[j] * taps[k] * channel(result[index(sx, sy)], c);
            }
        }
        return channel(result[index(x, y)], c) - sum * (1.0f / 256.0f);
    };
    std::vector<float> texture(size * 4, 0.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!marked(x, y))
                continue;
            const std::size_t i = index(x, y);
            const bool alongColumn = bottom[i] - top[i] <= last[i] - first[i];
            const int length = alongColumn ? bottom[i] - top[i] : last[i] - first[i];
            const int offset = alongColumn ? y - top[i] : x - first[i];
            const int up = 2 * offset + 1, down = 2 * (length - 1 - offset) + 1;
            const int ax = alongColumn ? x : x - up, ay = alongColumn ? y - up : y;
            const int bx = alongColumn ? x : x + down, by = alongColumn ? y + down : y;
            const bool hasA = inside(ax, ay) && !marked(ax, ay);
            const bool hasB = inside(bx, by) && !marked(bx, by);
            if (!hasA && !hasB)
                continue;
            float wb = (float(offset) + 0.5f) / float(length), wa = 1.0f - wb;
            if (!hasA) {
                wa = 0.0f;
                wb = 1.0f;
            } else if (!hasB) {
                wa = 1.0f;
                wb = 0.0f;
            }
            const float norm = 1.0f / std::sqrt(wa * wa + wb * wb);
            for (int c = 0; c < 4; ++c) {
                const float ha = hasA ? highPass(ax, ay, c) : 0.0f;
                const float hb = hasB ? highPass(bx, by, c) : 0.0f;
                texture[i * 4 + c] = (wa * ha + wb * hb) * norm;
            }
        }
    }

    // Unmixing: the wire's colour from the marked pixel of the 7 x 7 window (first in row order)
    // farthest from the membrane among those on the side of it (darker: channel sum not above
    // the membrane's; lighter: above) that holds more of the window's marked pixels (the darker
    // on a tie); the coverage from the projection onto it, then its median over the pixel and as
    // many marked neighbours on either side along the wire (up to three).
    std::vector<float> wire(size * 3, 0.0f), raw(size, 0.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!marked(x, y))
                continue;
            const auto offMembrane = [&](int wx, int wy, float &sum) {
                float d2 = 0.0f;
                sum = 0.0f;
                for (int c = 0; c < 3; ++c) {
                    const float d = channel(photo[index(wx, wy)], c) - u[index(wx, wy) * 4 + c];
                    d2 += d * d;
                    sum += d;
                }
                return d2;
            };
            int darker = 0, lighter = 0;
            for (int wy = y - 3; wy <= y + 3; ++wy) {
                for (int wx = x - 3; wx <= x + 3; ++wx) {
                    float sum = 0.0f;
                    if (marked(wx, wy)) {
                        offMembrane(wx, wy, sum);
                        ++(sum > 0.0f ? lighter : darker);
                    }
                }
            }
            float best = -1.0f;
            Argb colour = 0;
            for (int wy = y - 3; wy <= y + 3; ++wy) {
                for (int wx = x - 3; wx <= x + 3; ++wx) {
                    if (!marked(wx, wy))
                        continue;
                    float sum = 0.0f;
                    const float d2 = offMembrane(wx, wy, sum);
                    if ((sum > 0.0f) == (lighter > darker) && d2 > best) {
                        best = d2;
                        colour = photo[index(wx, wy)];
                    }
                }
            }
            const std::size_t i = index(x, y);
            float dot = 0.0f, norm = 0.0f;
            for (int c = 0; c < 3; ++c) {
                const float v = channel(colour, c) - u[i * 4 + c];
                wire[i * 3 + c] = channel(colour, c);
                dot += (channel(photo[i], c) - u[i * 4 + c]) * v;
                norm += v * v;
            }
            raw[i] = std::clamp(dot / (norm + coverageFloor), 0.0f, 1.0f);
        }
    }
    std::vector<float> coverage(size, 0.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!marked(x, y))
                continue;
            const std::size_t i = index(x, y);
            const bool alongRow = bottom[i] - top[i] <= last[i] - first[i];
            // As many neighbours on either side: up to three, as far as both stay marked.
            int reach = 0;
            while (reach < 3) {
                const int k = reach + 1;
                if (alongRow ? !marked(x - k, y) || !marked(x + k, y)
                             : !marked(x, y - k) || !marked(x, y + k))
                    break;
                reach = k;
            }
            std::vector<float> near {raw[i]};
            for (int k = 1; k <= reach; ++k) {
                near.push_back(alongRow ? raw[index(x - k, y)] : raw[index(x, y - k)]);
                near.push_back(alongRow ? raw[index(x + k, y)] : raw[index(x, y + k)]);
            }
            std::sort(near.begin(), near.end());
            const std::size_t count = near.size();
            coverage[i]
                = count % 2 ? near[count / 2] : 0.5f * (near[count / 2 - 1] + near[count / 2]);
        }
    }

    // Less the texture's mean over each 8 x 8 tile of marks: the unmixed colour where the
    // coverage is low, the membrane with texture where it is high.
    std::vector<Argb> filled = result;
    for (int ty = 0; ty < height; ty += tileSize) {
        for (int tx = 0; tx < width; tx += tileSize) {
            double sums[6] = {0, 0, 0, 0, 0, 0}; // four channels, count, colours' deviations
            const int yEnd = std::min(ty + tileSize, height), xEnd = std::min(tx + tileSize, width);
            for (int y = ty; y < yEnd; ++y) {
                for (int x = tx; x < xEnd; ++x) {
                    if (!marked(x, y))
                        continue;
                    for (int c = 0; c < 4; ++c)
                        sums[c] += texture[index(x, y) * 4 + c];
                    sums[4] += 1.0;
                }
            }
            for (int y = ty; y < yEnd; ++y) {
                for (int x = tx; x < xEnd; ++x) {
                    if (!marked(x, y))
                        continue;
                    for (int c = 0; c < 3; ++c)
                        sums[5]
                            += std::abs(double(texture[index(x, y) * 4 + c]) - sums[c] / sums[4]);
                }
            }
            for (int y = ty; y < yEnd; ++y) {
                for (int x = tx; x < xEnd; ++x) {
                    if (!marked(x, y))
                        continue;
                    const std::size_t i = index(x, y);
                    const float a = coverage[i];
                    const float spread = 1.0f / std::max(1.0f - a, 1e-3f);
                    // The unmixed detail along the wire's colour held to a few levels more
                    // than the texture's strength over the tile.
                    float own[3], along = 0.0f, contrast = 0.0f;
                    for (int c = 0; c < 3; ++c) {
                        const float v = wire[i * 3 + c] - u[i * 4 + c];
                        own[c] = (channel(photo[i], c) - u[i * 4 + c] - a * v) * spread;
                        along += own[c] * v;
                        contrast += v * v;
                    }
                    // The coverage that decides on unmixing, freed of the floor's pull towards 0
                    // where the wire's contrast is low.
                    const float cover = std::min(
                        1.0f, a * (contrast + coverageFloor) / std::max(contrast, coverageFloor));
                    const float unmixed
                        = std::clamp((unmixedUpTo - cover) / unmixedFade, 0.0f, 1.0f);
                    // The texture's mean distance from its mean over the tile, per colour.
                    const float limit
                        = parallelFloor + parallelPerTexture * float(sums[5] / (3.0 * sums[4]));
                    if (contrast > 0.0f) {
                        const float length = std::sqrt(contrast);
                        const float projected = along / length;
                        const float held = std::clamp(projected, -limit, limit);
                        for (int c = 0; c < 3; ++c)
                            own[c]
                                += (held - projected) * (wire[i * 3 + c] - u[i * 4 + c]) / length;
                    }
                    // The detail across the wire's colour held to the same limit.
                    {
                        float across[3], size = 0.0f, dot = 0.0f;
                        for (int c = 0; c < 3; ++c)
                            dot += own[c] * (wire[i * 3 + c] - u[i * 4 + c]);
                        for (int c = 0; c < 3; ++c) {
                            const float v = wire[i * 3 + c] - u[i * 4 + c];
                            across[c] = contrast > 0.0f ? own[c] - dot * v / contrast : own[c];
                            size += across[c] * across[c];
                        }
                        size = std::sqrt(size);
                        if (size > limit) {
                            for (int c = 0; c < 3; ++c)
                                own[c] -= across[c] * (1.0f - limit / size);
                        }
                    }
                    float value[4];
                    for (int c = 0; c < 4; ++c) {
                        const float detail = texture[i * 4 + c] - float(sums[c] / sums[4]);
                        value[c] = u[i * 4 + c] + (c < 3 ? unmixed * own[c] : 0.0f)
                            + (1.0f - unmixed) * textureGain * detail;
                    }
                    filled[i] = pack(value);
                }
            }
        }
    }
    return filled;
}

} // namespace reference
