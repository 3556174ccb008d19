// Codec throughput and size in memory: every file given is compressed with
// -lh5-, -lh6- and -lh7-, with the default (lazy) and the thorough (optimal)
// parse, decoded again and compared. Prints one line per file and setting:
//   file method parse orig packed ratio enc_MB/s dec_MB/s
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lzh_decoder.h"
#include "lzh_encoder.h"

using namespace lzh;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lzh_bench file...\n");
        return 2;
    }
    int bad = 0;
    for (int a = 1; a < argc; ++a) {
        std::ifstream f(argv[a], std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        for (Method m : {Method::Lh5, Method::Lh6, Method::Lh7}) {
            for (bool thorough : {false, true}) {
                EncodeOptions opt = thorough ? EncodeOptions::thorough() : EncodeOptions();
                std::vector<uint8_t> packed, back;
                auto t0 = Clock::now();
                MemoryIn in(data);
                VectorOut out(packed);
                EncodeResult er = encode_member(m, in, out, UINT64_MAX, opt);
                auto t1 = Clock::now();
                MemoryIn pin(packed);
                VectorOut bout(back);
                DecodeResult dr = decode_member(m, pin, packed.size(), data.size(), bout);
                auto t2 = Clock::now();
                const bool ok = er.status == Status::Ok && dr.status == Status::Ok && back == data;
                if (!ok) ++bad;
                const double mb = data.size() / 1e6;
                const double enc = std::chrono::duration<double>(t1 - t0).count();
                const double dec = std::chrono::duration<double>(t2 - t1).count();
                std::printf("%s %s %s %zu %zu %.4f %.1f %.1f%s\n", argv[a], method_id(m),
                            thorough ? "optimal" : "lazy", data.size(), packed.size(),
                            data.empty() ? 1.0 : static_cast<double>(packed.size()) / data.size(),
                            enc > 0 ? mb / enc : 0.0, dec > 0 ? mb / dec : 0.0, ok ? "" : " ROUNDTRIP-FAILED");
            }
        }
    }
    return bad ? 1 : 0;
}
