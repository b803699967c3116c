#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tolvane {

// A row-major view of a 2-D array: entry (x, y) at y * stride + x. The stride is counted in
// entries and equals the width unless the view looks into a wider buffer (an image's scan
// lines, for instance).
template <typename T> struct Plane
{
    T *data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    Plane() = default;
    Plane(T *data, int width, int height, std::ptrdiff_t stride)
        : data(data)
        , width(width)
        , height(height)
        , stride(stride)
    {
        assert(width >= 0 && height >= 0 && stride >= width);
    }
    Plane(std::span<T> pixels, int width, int height)
        : Plane(pixels.data(), width, height, width)
    {
        assert(pixels.size() >= std::size_t(width) * std::size_t(height));
    }

    // A view of the same pixels that cannot change them.
    operator Plane<const T>() const { return Plane<const T>(data, width, height, stride); }

    T &at(int x, int y) const
    {
        assert(x >= 0 && x < width && y >= 0 && y < height);
        return data[std::ptrdiff_t(y) * stride + x];
    }
    T *rowData(int y) const { return data + std::ptrdiff_t(y) * stride; }
    std::span<T> row(int y) const { return {rowData(y), std::size_t(width)}; }
    std::size_t pixelCount() const { return std::size_t(width) * std::size_t(height); }
    bool isEmpty() const { return width == 0 || height == 0; }
};

// An owned, tightly packed plane. Its memory is not initialised: large working planes are
// written completely by whoever fills them, and zeroing them first would cost a full pass.
template <typename T> class PlaneBuffer
{
public:
    PlaneBuffer() = default;
    PlaneBuffer(int width, int height)
        : m_pixels(std::make_unique_for_overwrite<T[]>(std::size_t(width) * std::size_t(height)))
        , m_width(width)
        , m_height(height)
    { }

    Plane<T> view() { return Plane<T>(m_pixels.get(), m_width, m_height, m_width); }
    Plane<const T> view() const
    {
        return Plane<const T>(m_pixels.get(), m_width, m_height, m_width);
    }
    T *data() { return m_pixels.get(); }
    const T *data() const { return m_pixels.get(); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    std::size_t pixelCount() const { return std::size_t(m_width) * std::size_t(m_height); }

private:
    std::unique_ptr<T[]> m_pixels;
    int m_width = 0;
    int m_height = 0;
};

} // namespace tolvane
