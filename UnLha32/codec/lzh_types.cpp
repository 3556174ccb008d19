#include "lzh_types.h"

#include <cstring>

namespace lzh {

const char* status_text(Status s) {
    switch (s) {
    case Status::Ok: return "ok";
    case Status::ReadError: return "read error";
    case Status::WriteError: return "write error";
    case Status::Truncated: return "data truncated";
    case Status::BadData: return "corrupt data";
    case Status::CrcMismatch: return "CRC mismatch";
    case Status::Unsupported: return "unsupported method or header";
    case Status::TooLarge: return "size limit exceeded";
    }
    return "unknown";
}

bool lzh_params(Method m, LzhParams& out) {
    switch (m) {
    case Method::Lh4: out = {12, 14, 4}; return true;
    case Method::Lh5: out = {13, 14, 4}; return true;
    case Method::Lh6: out = {15, 16, 5}; return true;
    case Method::Lh7: out = {16, 17, 5}; return true;
    default: return false;
    }
}

const char* method_id(Method m) {
    switch (m) {
    case Method::Lh0: return "-lh0-";
    case Method::Lh4: return "-lh4-";
    case Method::Lh5: return "-lh5-";
    case Method::Lh6: return "-lh6-";
    case Method::Lh7: return "-lh7-";
    case Method::Lhd: return "-lhd-";
    default: return nullptr;
    }
}

Method method_from_id(const uint8_t id[5]) {
    static const Method all[] = {Method::Lh0, Method::Lh4, Method::Lh5,
                                 Method::Lh6, Method::Lh7, Method::Lhd};
    for (Method m : all)
        if (std::memcmp(id, method_id(m), 5) == 0) return m;
    return Method::Unknown;
}

}  // namespace lzh
