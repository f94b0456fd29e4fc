#include "cli/imagefiles.h"

#include <array>
#include <zlib.h>

namespace quil::cli {

namespace {

void put32(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x >> 24));
    v.push_back(uint8_t(x >> 16));
    v.push_back(uint8_t(x >> 8));
    v.push_back(uint8_t(x));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + start, uInt(out.size() - start));
    put32(out, uint32_t(crc));
}

void le(std::FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        std::fputc(int((v >> (8 * i)) & 0xFF), f);
    }
}

} // namespace

bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
    if (width <= 0 || height <= 0 || pixels.size() < size_t(width) * size_t(height)) {
        return false;
    }
    std::vector<uint8_t> raw;
    raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0); // no filter
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[size_t(y) * size_t(width) + size_t(x)];
            raw.push_back(uint8_t(p >> 16));
            raw.push_back(uint8_t(p >> 8));
            raw.push_back(uint8_t(p));
        }
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 6) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put32(header, uint32_t(width));
    put32(header, uint32_t(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, deflate, no filter set, no interlace
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", {});

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

WavWriter::~WavWriter() {
    if (m_file) {
        std::fclose(m_file);
    }
}

bool WavWriter::open(const std::string& path, int samplesPerSecond) {
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) {
        return false;
    }
    std::fwrite("RIFF\0\0\0\0WAVEfmt ", 1, 16, m_file);
    le(m_file, 16, 4);
    le(m_file, 1, 2); // PCM
    le(m_file, 1, 2); // mono
    le(m_file, uint32_t(samplesPerSecond), 4);
    le(m_file, uint32_t(samplesPerSecond) * 2, 4);
    le(m_file, 2, 2);
    le(m_file, 16, 2);
    std::fwrite("data\0\0\0\0", 1, 8, m_file);
    return !std::ferror(m_file);
}

bool WavWriter::write(const int16_t* samples, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        le(m_file, uint16_t(samples[i]), 2);
    }
    m_bytes += count * 2;
    return !std::ferror(m_file);
}

bool WavWriter::finish() {
    if (!m_file) {
        return false;
    }
    const uint32_t data = m_bytes > 0xFFFFFFF0u ? 0xFFFFFFF0u : uint32_t(m_bytes);
    bool ok = std::fseek(m_file, 4, SEEK_SET) == 0;
    le(m_file, data + 36, 4);
    ok = ok && std::fseek(m_file, 40, SEEK_SET) == 0;
    le(m_file, data, 4);
    ok = !std::ferror(m_file) && ok;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    return ok;
}

} // namespace quil::cli
