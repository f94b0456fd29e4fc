// Temporary stand-ins for the shared payload tables and decoder.
#include "encoder/codec/framecoder_support.h"

#include <array>
#include <cstring>

#include "encoder/codec/framecoder_tmp_tables.h"

namespace quil {

int motionDx(int entry) { return tmp::kMotion[size_t(entry)][0]; }
int motionDy(int entry) { return tmp::kMotion[size_t(entry)][1]; }
uint64_t pattern4x4(int entry) { return tmp::kP4[size_t(entry)]; }
uint64_t pattern8x8(int entry) { return tmp::kP8[size_t(entry)]; }

namespace {
struct Dec {
    const uint8_t* p;
    size_t len;
    size_t pos;
    int W, H;
    uint8_t* out;
    const uint8_t* prev;
    const uint8_t* freq;
    int runCount[3] = {0, 0, 0};
    uint8_t runOp[3] = {0, 0, 0};
    bool bad = false;
    uint8_t byte() {
        if (pos >= len) {
            bad = true;
            return 0;
        }
        return p[pos++];
    }
    uint8_t opcode(int level) {
        if (runCount[level] > 0) {
            --runCount[level];
            return runOp[level];
        }
        uint8_t op = byte();
        if (op == 243) {
            const int n = byte();
            op = byte();
            runCount[level] = n + 3;
            runOp[level] = op;
        }
        return op;
    }
    void fill(int32_t at, int s, uint8_t c) {
        for (int y = 0; y < s; ++y) {
            std::memset(out + at + y * W, c, size_t(s));
        }
    }
    void block(int32_t at, int s, int level, bool noOpcode) {
        if (bad) {
            return;
        }
        const int h = s / 2;
        const int32_t q[4] = {at, at + h, at + h * W + h, at + h * W};
        if (noOpcode) {
            for (int k = 0; k < 4; ++k) {
                block(q[k], h, level - 1, false);
            }
            return;
        }
        const uint8_t op = opcode(level);
        if (bad) {
            return;
        }
        if (op <= 224) {
            const int64_t src = int64_t(at) + int64_t(tmp::kMotion[op][1]) * W + tmp::kMotion[op][0];
            if (src < 0 || src + int64_t(s - 1) * W + s - 1 >= int64_t(W) * H) {
                return;
            }
            for (int y = 0; y < s; ++y) {
                std::memcpy(out + at + y * W, prev + src + y * W, size_t(s));
            }
        } else if (op <= 240) {
            if (level != 2) {
                return;
            }
            const int m = op - 225;
            for (int k = 0; k < 4; ++k) {
                block(q[k], h, 1, (m >> k) & 1);
            }
        } else if (op == 245) {
            if (level == 0) {
                return;
            }
            const uint8_t t = byte(), c0 = byte(), c1 = byte();
            if (bad) {
                return;
            }
            const uint64_t bits = s == 8 ? tmp::kP8[t] : tmp::kP4[t];
            for (int y = 0; y < s; ++y) {
                for (int x = 0; x < s; ++x) {
                    out[at + y * W + x] = ((bits >> (y * s + x)) & 1) ? c1 : c0;
                }
            }
        } else if (op >= 246 && op <= 253) {
            fill(at, s, freq[op - 246]);
        } else if (op == 254) {
            const uint8_t c = byte();
            if (!bad) {
                fill(at, s, c);
            }
        } else if (op == 255) {
            if (level == 0) {
                const uint8_t a = byte(), b = byte(), c = byte(), d = byte();
                if (bad) {
                    return;
                }
                out[at] = a;
                out[at + 1] = b;
                out[at + W] = c;
                out[at + W + 1] = d;
            } else {
                for (int k = 0; k < 4; ++k) {
                    block(q[k], h, level - 1, false);
                }
            }
        }
    }
};
uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
} // namespace

void decodeFrame(const uint8_t* payload, size_t length, int W, int H, uint8_t* output,
                 uint8_t* previous) {
    if (length < 4) {
        return;
    }
    const int kind = payload[0] << 8 | payload[1];
    if (kind == 1 && length >= 16) {
        const size_t off = be32(payload + 12);
        if (W == 160) {
            if (off + size_t(W) * H <= length) {
                std::memcpy(output, payload + off, size_t(W) * H);
            }
        } else if (off + size_t(W / 2) * (H / 2) <= length) {
            const uint8_t* s = payload + off;
            for (int y = 0; y < H; y += 2) {
                for (int x = 0; x < W; x += 2) {
                    const uint8_t c = *s++;
                    output[y * W + x] = output[y * W + x + 1] = output[(y + 1) * W + x] =
                        output[(y + 1) * W + x + 1] = c;
                }
            }
        }
        std::memcpy(previous, output, size_t(W) * H);
    } else if (kind == 2 && length >= 24) {
        Dec d{payload, length, be32(payload + 20), W, H, output, previous, payload + 12};
        for (int y = 0; y < H; y += 8) {
            for (int x = 0; x < W; x += 8) {
                d.block(y * W + x, 8, 2, false);
            }
        }
    }
}

} // namespace quil
