// LZFSE blocks ("bvx1", "bvx2"); see lzfse_blocks.h.
//
// A block is its header, the literal payload and the match payload. The header gives the
// literal and match counts, both payloads' sizes, how many high bits of each payload's last byte
// are unused, the decoders' initial states and four frequency tables: literal lengths (L, 20
// symbols), match lengths (M, 20), distances (D, 64) and literals (256). "bvx1" stores them as
// plain fields (772 bytes); "bvx2" packs the fields into three 64-bit words and the frequencies
// into variable-length codes. Each table of N states gives symbol s freq[s] consecutive states.
//
// Both payloads are bit streams read backwards from their end. The literals come first, decoded
// by four interleaved states; then each (L, M, D) triple copies L literals to the output and M
// bytes from D bytes back (D = 0 repeats the last distance). L, M and D are a symbol's base value
// plus its extra bits. The encoder pads the match payload with 8 zero bytes at its start, which
// are all that may be left of it at the end; of the literal payload nothing may be left.
#include <algorithm>
#include <array>
#include <bit>

#include "tools/byte_io.h"
#include "tools/lzfse_blocks.h"

namespace vu::lzfse {

namespace {

constexpr unsigned LengthSymbols = 20, DistanceSymbols = 64, LiteralSymbols = 256;
constexpr unsigned FrequencyCount = 2 * LengthSymbols + DistanceSymbols + LiteralSymbols;
constexpr size_t PlainHeaderSize = 772, PackedFixedSize = 32;

constexpr uint8_t LengthExtraBits[LengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 5, 8};
constexpr uint8_t MatchExtraBits[LengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 5, 8, 11};
constexpr auto DistanceExtraBits = [] {
    std::array<uint8_t, DistanceSymbols> bits{};
    for (unsigned s = 0; s < DistanceSymbols; ++s) bits[s] = uint8_t(s / 4);
    return bits;
}();

struct Header {
    uint32_t literals = 0, matches = 0, literalBytes = 0, matchBytes = 0;
    int literalBits = 0, matchBits = 0;  // minus the unused high bits of the payload's last byte
    uint32_t literalState[4] = {}, lState = 0, mState = 0, dState = 0;
    uint16_t frequencies[FrequencyCount] = {};  // L, M, D, literals
    size_t size = 0;
};

uint32_t Field(uint64_t word, unsigned at, unsigned bits) { return uint32_t(word >> at) & ((1u << bits) - 1); }

void ReadPlainHeader(const uint8_t* p, Header& h) {
    h.literals = Le32(p + 12), h.matches = Le32(p + 16), h.literalBytes = Le32(p + 20), h.matchBytes = Le32(p + 24);
    h.literalBits = int32_t(Le32(p + 28)), h.matchBits = int32_t(Le32(p + 40));
    for (unsigned i = 0; i < 4; ++i) h.literalState[i] = Le16(p + 32 + 2 * i);
    h.lState = Le16(p + 44), h.mState = Le16(p + 46), h.dState = Le16(p + 48);
    for (unsigned i = 0; i < FrequencyCount; ++i) h.frequencies[i] = Le16(p + 50 + 2 * i);
    h.size = PlainHeaderSize;
}

// The codes, read from the low bits up: x0 gives x (2 bits), x01 2 + x (3 bits), xx011 4 + xx
// (5 bits), xxxx0111 8 + xxxx (8 bits), ten bits x above 1111 24 + x (14 bits). They must end
// in the header's last byte.
bool ReadFrequencies(const uint8_t* p, const uint8_t* end, uint16_t* frequencies) {
    uint64_t bits = 0;
    unsigned count = 0;
    for (unsigned i = 0; i < FrequencyCount; ++i) {
        while (count <= 56 && p < end) bits |= uint64_t(*p++) << count, count += 8;
        unsigned size, value;
        switch (std::countr_one(unsigned(bits) & 15u)) {
            case 0: size = 2, value = (bits >> 1) & 1; break;
            case 1: size = 3, value = 2 + ((bits >> 2) & 1); break;
            case 2: size = 5, value = 4 + ((bits >> 3) & 3); break;
            case 3: size = 8, value = 8 + ((bits >> 4) & 15); break;
            default: size = 14, value = 24 + ((bits >> 4) & 1023); break;
        }
        if (size > count) return false;
        frequencies[i] = uint16_t(value);
        bits >>= size, count -= size;
    }
    return p == end && count < 8;
}

bool ReadPackedHeader(const uint8_t* p, size_t available, Header& h, std::string& why) {
    uint64_t w0 = Le64(p + 8), w1 = Le64(p + 16), w2 = Le64(p + 24);
    h.literals = Field(w0, 0, 20), h.literalBytes = Field(w0, 20, 20), h.matches = Field(w0, 40, 20);
    h.literalBits = int(Field(w0, 60, 3)) - 7;
    for (unsigned i = 0; i < 4; ++i) h.literalState[i] = Field(w1, 10 * i, 10);
    h.matchBytes = Field(w1, 40, 20), h.matchBits = int(Field(w1, 60, 3)) - 7;
    h.size = uint32_t(w2), h.lState = Field(w2, 32, 10), h.mState = Field(w2, 42, 10), h.dState = Field(w2, 52, 10);
    if (h.size <= PackedFixedSize || h.size > available)
        return why = "its header size " + std::to_string(h.size) + " does not fit the data", false;
    if (!ReadFrequencies(p + PackedFixedSize, p + h.size, h.frequencies))
        return why = "its frequency tables are damaged", false;
    return true;
}

bool CheckHeader(const Header& h, size_t available, std::string& why) {
    if (h.literals > MaxLiterals || h.literals % 4 != 0)
        return why = "it declares " + std::to_string(h.literals) + " literals (at most 40000, a multiple of 4)", false;
    if (h.matches > MaxMatches)
        return why = "it declares " + std::to_string(h.matches) + " matches (at most 10000)", false;
    if (h.literalBits < -7 || h.literalBits > 0 || h.matchBits < -7 || h.matchBits > 0)
        return why = "its bit counts are damaged", false;
    bool statesFit = h.lState < LengthStates && h.mState < LengthStates && h.dState < DistanceStates;
    for (uint32_t state : h.literalState) statesFit = statesFit && state < LiteralStates;
    if (!statesFit) return why = "its initial states are damaged", false;
    if (uint64_t(h.literalBytes) + h.matchBytes > available - h.size) return why = "the data ends inside it", false;
    return true;
}

// Fills the `states` entries of a decoding table. A symbol of frequency f owns f states: the
// first j0 read k bits, the others k - 1, where k makes f << k fall in [states, 2 * states), so
// that every next state stays below `states`. The frequencies must sum to `states`, or to 0 in
// a table the block does not use.
template <typename Entry, typename Fill>
bool BuildTable(const uint16_t* frequencies, unsigned symbols, unsigned states, bool used, Entry* table, Fill fill) {
    unsigned sum = 0;
    for (unsigned s = 0; s < symbols; ++s) sum += frequencies[s];
    if (sum != states) return sum == 0 && !used;
    for (unsigned s = 0; s < symbols; ++s) {
        unsigned f = frequencies[s];
        if (f == 0) continue;
        unsigned k = unsigned(std::countl_zero(f) - std::countl_zero(states));
        unsigned j0 = ((2 * states) >> k) - f;
        for (unsigned j = 0; j < f; ++j)
            *table++ = j < j0 ? fill(s, k, ((f + j) << k) - states) : fill(s, k - 1, (j - j0) << (k - 1));
    }
    return true;
}

bool BuildValueTable(const uint16_t* frequencies, const uint8_t* extraBits, unsigned symbols, unsigned states,
                     bool used, ValueEntry* table) {
    uint32_t base[DistanceSymbols];
    for (uint32_t s = 0, value = 0; s < symbols; value += 1u << extraBits[s], ++s) base[s] = value;
    return BuildTable(frequencies, symbols, states, used, table, [&](unsigned s, unsigned k, unsigned delta) {
        return ValueEntry{uint8_t(k + extraBits[s]), extraBits[s], uint16_t(delta), base[s]};
    });
}

bool BuildTables(const Header& h, FseWorkspace& space, std::string& why) {
    const uint16_t* f = h.frequencies;
    bool matches = h.matches > 0;
    const char* table = nullptr;
    if (!BuildValueTable(f, LengthExtraBits, LengthSymbols, LengthStates, matches, space.lengthTable))
        table = "literal lengths";
    else if (!BuildValueTable(f + 20, MatchExtraBits, LengthSymbols, LengthStates, matches, space.matchTable))
        table = "match lengths";
    else if (!BuildValueTable(f + 40, DistanceExtraBits.data(), DistanceSymbols, DistanceStates, matches,
                              space.distanceTable))
        table = "distances";
    else if (!BuildTable(f + 104, LiteralSymbols, LiteralStates, h.literals > 0, space.literalTable,
                         [](unsigned s, unsigned k, unsigned delta) {
                             return LiteralEntry{uint8_t(k), uint8_t(s), uint16_t(delta)};
                         }))
        table = "literals";
    if (table) return why = std::string("its frequency table for ") + table + " does not sum to its states", false;
    return true;
}

// A bit stream read from its end towards `begin`: the next bits are the top `count` bits held.
class BackwardBits {
public:
    // The stream is [begin, end); the top `-lastBits` bits of its last byte must be zero.
    bool Start(const uint8_t* begin, const uint8_t* end, int lastBits) {
        begin_ = begin, next_ = end, bits_ = 0, count_ = 0;
        Refill();
        unsigned unused = unsigned(-lastBits);
        if (count_ < unused) return false;
        count_ -= unused;
        return (bits_ >> count_) == 0;
    }

    // Loads whole bytes while fewer than 57 bits are held: enough for one group of symbols.
    void Refill() {
        size_t n = std::min<size_t>((63 - count_) / 8, size_t(next_ - begin_));
        if (n == 0) return;
        next_ -= n;
        uint64_t incoming = 0;
        if (next_ + n - begin_ >= 8) incoming = Le64(next_ + n - 8) >> (64 - 8 * n);
        else
            for (size_t i = n; i-- > 0;) incoming = incoming << 8 | next_[i];
        bits_ = bits_ << (8 * n) | incoming;
        count_ += unsigned(8 * n);
    }

    // False when the stream has fewer than n bits left before its start.
    bool Pull(unsigned n, uint32_t& value) {
        if (n > count_) return false;
        count_ -= n;
        value = uint32_t(bits_ >> count_);
        bits_ &= (uint64_t(1) << count_) - 1;
        return true;
    }

    uint64_t BitsLeft() const { return count_ + 8 * uint64_t(next_ - begin_); }

private:
    const uint8_t *begin_ = nullptr, *next_ = nullptr;
    uint64_t bits_ = 0;
    unsigned count_ = 0;
};

bool DecodeLiterals(const Header& h, const uint8_t* payload, FseWorkspace& space) {
    BackwardBits in;
    if (!in.Start(payload, payload + h.literalBytes, h.literalBits)) return false;
    uint32_t state[4] = {h.literalState[0], h.literalState[1], h.literalState[2], h.literalState[3]};
    for (uint32_t i = 0; i < h.literals; i += 4) {
        in.Refill();  // four symbols take at most 40 bits
        for (unsigned j = 0; j < 4; ++j) {
            const LiteralEntry& e = space.literalTable[state[j]];
            space.literals[i + j] = e.symbol;
            uint32_t bits;
            if (!in.Pull(e.bits, bits)) return false;
            state[j] = e.delta + bits;
        }
    }
    return in.BitsLeft() == 0;
}

// Inlined: three calls per match are the decoder's inner loop.
[[gnu::always_inline]] inline bool NextValue(const ValueEntry* table, uint32_t& state, BackwardBits& in,
                                             uint32_t& value) {
    const ValueEntry& e = table[state];
    uint32_t bits;
    if (!in.Pull(e.bits, bits)) return false;
    state = e.delta + (bits >> e.extraBits);
    value = e.base + (bits & ((1u << e.extraBits) - 1));
    return true;
}

bool DecodeMatches(const Header& h, const uint8_t* payload, FseWorkspace& space, Output& out, std::string& why) {
    BackwardBits in;
    if (h.matchBytes < 8 || !in.Start(payload, payload + h.matchBytes, h.matchBits))
        return why = "its match stream is damaged", false;
    uint32_t l = h.lState, m = h.mState, d = h.dState, distance = 0;
    const uint8_t *literal = space.literals, *literalsEnd = space.literals + h.literals;
    const uint8_t* limit = out.data + out.size;
    for (uint32_t i = 0; i < h.matches; ++i) {
        in.Refill();  // L, M and D take at most 14 + 17 + 23 bits
        uint32_t L, M, D;
        if (!NextValue(space.lengthTable, l, in, L) || !NextValue(space.matchTable, m, in, M) ||
            !NextValue(space.distanceTable, d, in, D))
            return why = "its match stream is damaged", false;
        if (D) distance = D;
        if (L > size_t(literalsEnd - literal)) return why = "its matches use more literals than it holds", false;
        if (L + M > out.end - out.at) return why = "it decodes to more bytes than it claims", false;
        uint8_t* to = out.data + out.at;
        if (size_t(limit - to) >= L + 16)
            for (size_t k = 0; k < L; k += 16) std::memcpy(to + k, literal + k, 16);
        else if (L)
            std::memcpy(to, literal, L);
        literal += L, out.at += L;
        if (M) {
            if (distance == 0 || distance > out.at)
                return why = "a match reaches before the start of the output", false;
            CopyMatch(out.data + out.at, distance, M, limit);
            out.at += M;
        }
    }
    if (in.BitsLeft() != 64 || Le64(payload) != 0) return why = "its match stream is damaged", false;
    return true;
}

}  // namespace

bool DecodeFseBlock(const uint8_t* block, size_t available, bool packed, FseWorkspace& space, Output& out,
                    size_t& used, std::string& why) {
    Header h;
    if (available < (packed ? PackedFixedSize : PlainHeaderSize)) return why = "the data ends inside its header", false;
    if (packed) {
        if (!ReadPackedHeader(block, available, h, why)) return false;
    } else {
        ReadPlainHeader(block, h);
    }
    if (!CheckHeader(h, available, why) || !BuildTables(h, space, why)) return false;
    const uint8_t* literalPayload = block + h.size;
    if (!DecodeLiterals(h, literalPayload, space)) return why = "its literal stream is damaged", false;
    if (!DecodeMatches(h, literalPayload + h.literalBytes, space, out, why)) return false;
    used = h.size + h.literalBytes + h.matchBytes;
    return true;
}

}  // namespace vu::lzfse
