// What the frame coder takes from the payload format: the motion vector and pattern tables
// and the decoder that rebuilds a picture from a payload.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quil {

int motionDx(int entry);
int motionDy(int entry);
uint64_t pattern4x4(int entry);
uint64_t pattern8x8(int entry);

// Decodes one payload of `length` bytes into `output` (width x rows codes), reading motion
// sources from `previous`; a key frame writes both.
void decodeFrame(const uint8_t* payload, size_t length, int width, int rows, uint8_t* output,
                 uint8_t* previous);

} // namespace quil
