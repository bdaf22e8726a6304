// Decoding of one LZFSE stream, the compression of the chunks of "ULFO" disk images: a run of
// blocks, each raw ("bvx-"), LZVN ("bvxn") or LZFSE with plain ("bvx1") or packed ("bvx2")
// frequency tables, up to the end-of-stream block ("bvx$"). Matches may reach back into the
// output of earlier blocks. Callable from any thread; each call keeps its own state.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vu {

// Decodes `in` into `out`, which the stream must fill exactly, with nothing after its end of
// stream. Every length, table and bit stream is checked before it is used: nothing outside the
// two buffers is read or written. False with `error` naming LZFSE and the fault ("LZFSE block 3:
// its literal stream is damaged").
bool DecodeLzfse(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength, std::string& error);

}  // namespace vu
