// Compression methods and result codes shared by the codec.
#pragma once

#include <cstdint>

namespace lzh {

enum class Method { Lh0, Lh4, Lh5, Lh6, Lh7, Lhd, Unknown };

enum class Status {
    Ok,
    ReadError,       // the input stream failed
    WriteError,      // the output stream refused bytes
    Truncated,       // the input ended before the data did
    BadData,         // the compressed data is inconsistent
    CrcMismatch,     // data decoded fully but its CRC differs
    Unsupported,     // method or header level this codec does not handle
    TooLarge,        // output would exceed a given limit
};

const char* status_text(Status s);

// Parameters of the sliding-dictionary Huffman methods.
struct LzhParams {
    int dict_bits;  // log2 of the dictionary size
    int np;         // number of position codes
    int pbit;       // bits used to send the position code count
};

// Returns false for methods without LZ/Huffman data (-lh0-, -lhd-, unknown).
bool lzh_params(Method m, LzhParams& out);

// "-lh5-" and so on; nullptr for Unknown.
const char* method_id(Method m);
Method method_from_id(const uint8_t id[5]);

}  // namespace lzh
